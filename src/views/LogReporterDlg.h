#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "platform/Strings.h"
#include "views/ViewContext.h"

class QComboBox;
class QPlainTextEdit;

// The lines of a log, newest first: the text is split after each CR LF and the lines (a last
// one without CR LF included) are put in reverse order. A text without CR LF stays as it is.
std::string NewestLineFirst(std::string_view text);

// The log as the dialog shows it: newest line first, each line as plain text (a lone CR or LF
// inside a line and other control characters do not show as such).
QString LogDisplayText(std::string_view text);

// Shows one of the instrument's logs, newest line first. The operator picks the log in the
// drop-down list; every choice, the same one again included, reads the log anew as an operation
// of the connection, so the dialog keeps answering while the instrument is slow. A read the
// instrument refuses shows an error box and closes the dialog; a lost link closes it without a
// word, since the connection reports that itself.
class CLogReporterDlg : public QDialog {
    Q_OBJECT
  public:
    // Log types in list order: the list text and the log kind read. A list item's value is the
    // string number of its text.
    struct LogType {
        RzStr text;
        int32_t kind;
    };
    static constexpr LogType kLogTypes[] = {
        {RzStr::kLogAlarmSummary, 6}, {RzStr::kLogCommunication, 0}, {RzStr::kLogError, 2},
        {RzStr::kLogKeyLogin, 3},     {RzStr::kLogWebOperation, 4},  {RzStr::kLogEmail, 5},
        {RzStr::kLogFtp, 1},          {RzStr::kLogMessage, 7}};

    explicit CLogReporterDlg(const CViewContext& context, QWidget* parent = nullptr);

    QComboBox* LogTypeList() const { return types_; }
    QPlainTextEdit* LogText() const { return text_; }
    // Whether a read of this dialog is on its way.
    bool Reading() const { return reading_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void Choose(int index);
    void Show(int32_t result, const std::string& text);

    CViewContext context_;
    QComboBox* types_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    bool reading_ = false;
};
