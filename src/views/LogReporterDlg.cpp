#include "views/LogReporterDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "commands/DataQueries.h"
#include "platform/Strings.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"
#include "views/ViewOperations.h"

std::string NewestLineFirst(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t begin = 0; begin < text.size();) {
        const size_t lineEnd = text.find("\r\n", begin);
        const size_t end = lineEnd == std::string_view::npos ? text.size() : lineEnd + 2;
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    std::string shown;
    shown.reserve(text.size());
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        shown.append(*line);
    }
    return shown;
}

QString LogDisplayText(std::string_view text) {
    const std::string newestFirst = NewestLineFirst(text);
    QStringList lines =
        QString::fromLatin1(newestFirst.data(), static_cast<qsizetype>(newestFirst.size()))
            .split(QStringLiteral("\r\n"));
    if (lines.back().isEmpty()) {
        lines.removeLast();  // after the CR LF that ends the last line
    }
    for (QString& line : lines) {
        line = PlainLine(line);
    }
    return lines.join(u'\n');
}

CLogReporterDlg::CLogReporterDlg(const CViewContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    SetCaption(this, "CLogReporterDlg", QT_TR_NOOP("Log Reporter"));
    auto* label = SetCaption(new QLabel(this), "CLogReporterDlg", QT_TR_NOOP("Log Type:"));
    types_ = new QComboBox(this);
    NameAfter(types_, label->text());
    label->setBuddy(types_);
    for (const LogType& type : kLogTypes) {
        types_->addItem(RzText(type.text), RzStringNumber(type.text));
    }
    types_->setCurrentIndex(-1);
    // activated, not currentIndexChanged: choosing the same log again reads it again.
    connect(types_, &QComboBox::activated, this, &CLogReporterDlg::Choose);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QString(), QDialogButtonBox::RejectRole);
    SetCaption(close, "CLogReporterDlg", QT_TR_NOOP("&Close"));
    NameAfter(close, close->text());
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    NameAfter(text_, tr("Log"));

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(types_, 1);
    top->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(text_, 1);
    resize(560, 360);

    if (context_.connection == nullptr) {
        // Nothing to read from: the dialog closes as soon as it opens.
        QTimer::singleShot(0, this, &QDialog::reject);
    }
}

void CLogReporterDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        RetranslateCaptions(this);
        for (int i = 0; i < types_->count(); ++i) {
            types_->setItemText(i, RzText(kLogTypes[i].text));
        }
    }
}

void CLogReporterDlg::Choose(int index) {
    text_->clear();
    const int number = types_->itemData(index).toInt();
    const LogType* type = nullptr;
    for (const LogType& candidate : kLogTypes) {
        if (RzStringNumber(candidate.text) == number) {
            type = &candidate;
        }
    }
    if (type == nullptr) {
        return;
    }
    // The text is read into a string that the operation and its result share; the operation
    // never touches the dialog, which may be closed before the answer comes.
    auto text = std::make_shared<std::string>();
    const int32_t kind = type->kind;
    const RzResult started = StartViewOperation(
        context_, "Log read",
        [text, kind](CInstrumentConnection& c) {
            RzExpected<std::string> log = c.ReadLog(kind);
            if (log) {
                *text = std::move(*log);
            }
            return log.code();
        },
        [this, text](RzResult result) { Show(result, result == RZ_OK ? *text : std::string()); },
        this);
    reading_ = started == RZ_OK;
}

void CLogReporterDlg::Show(int32_t result, const std::string& text) {
    reading_ = false;
    if (result == RZ_OK) {
        text_->setPlainText(LogDisplayText(text));
        return;
    }
    if (!IsLinkBroken(result)) {
        ShowErrorBox(this, RzText(RzStr::kLogReadFailed), tr("Error"));
    }
    reject();
}
