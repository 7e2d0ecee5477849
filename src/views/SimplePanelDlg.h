#pragma once

#include <QSize>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "platform/Strings.h"
#include "views/ViewContext.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct CDisplayBlock;
struct CInstrumentModel;

// The panel that takes the screen image's place in the simple-control layout: one group of the
// instrument at a time in six columns (a control group's channels, loops and DI/DO points, or a
// measurement group's channels and loop quantities, six to a page), and memory and math start
// and stop for level-A operators. It shows only texts the model holds; the memory and math
// buttons run their exchanges as operations of the connection.
//
// Kind, group and page live in the model's display state, shared with the view and the image
// window; the panel follows the display events and the new data of the connection, and does
// nothing with them while it is hidden.
class CSimplePanelDlg : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kColumns = 6;

    // The rows of a column, top to bottom.
    enum Row { kNameRow, kTypeRow, kModeRow, kValueRow, kSpRow, kOutRow, kRows };

    // The panel's size from its layout: 315 x 199 dialog units.
    static QSize TemplateSize();

    explicit CSimplePanelDlg(const CViewContext& context, QWidget* parent = nullptr);
    ~CSimplePanelDlg() override;

    // Brings the radio buttons, the group list, the page and the columns in line with the
    // model; called when the panel is shown.
    void Resync();

    // Whether one of the panel's operations runs.
    bool Busy() const { return busy_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // What a column shows of its record.
    enum class Part { kWhole, kPv, kSp, kOut, kBlank };

    struct Column {
        std::array<QLineEdit*, kRows> boxes{};
        std::array<QLabel*, kRows> labels{};  // none for the name row
        QGroupBox* frame = nullptr;
    };

    void OnDisplayKind(int32_t kind);
    void OnGroup();
    void OnKindChosen(int32_t kind);
    void OnGroupChosen(int index);
    void OnMemory();
    void OnMath();
    template <class Choose>
    void StartStop(const char* name, QPushButton* button, RzStr startCaption, RzStr stopCaption,
                   Choose choose);

    // The published model; none without a connection.
    std::optional<CInstrumentModel> ReadModel() const;
    void FillGroupCombo(int32_t kind, int32_t group);
    void ShowMemoryMath(int32_t kind);
    void ShowPageButtons();
    void SetPage(int32_t page);
    void FillColumns();
    void FillColumn(int c, const CDisplayBlock* record, Part part, bool wholeValue = false);
    void SetBox(QLineEdit* box, const QString& text);
    // Gives the boxes of the columns the width of a value at the font in use.
    void SizeColumns();
    void SetBusy(bool busy);
    void Publish(HubEvent<int32_t> event, int32_t value);

    CViewContext context_;
    bool busy_ = false;

    QWidget* body_ = nullptr;
    QRadioButton* control_ = nullptr;
    QRadioButton* measurement_ = nullptr;
    QRadioButton* program_ = nullptr;
    QComboBox* groupList_ = nullptr;
    QLabel* memoryLabel_ = nullptr;
    QPushButton* memory_ = nullptr;
    QLabel* mathLabel_ = nullptr;
    QPushButton* math_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    std::array<Column, kColumns> columns_{};
};
