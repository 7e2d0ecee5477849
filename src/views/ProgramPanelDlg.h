#pragma once

#include <QSize>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "platform/ResultCodes.h"
#include "session/Sequence.h"
#include "views/ViewContext.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
struct CInstrumentModel;

// The panel beside the instrument's screen while it shows its program display: it selects one of
// the instrument's program patterns and runs, resets, holds, releases or advances it.
//
// Every exchange runs as an operation of the connection: the state read of a pattern (a
// follow-up, which runs after an operation already running), and Send, Hold and Advance with
// their waits. The panel's controls are disabled while one of its operations runs or waits; the
// buttons follow a pattern once its state read's result has arrived, so they show the state after
// the read.
class CProgramPanelDlg : public QWidget {
    Q_OBJECT
  public:
    // The panel's size from its layout: 81 x 200 dialog units.
    static QSize TemplateSize();

    explicit CProgramPanelDlg(const CViewContext& context, QWidget* parent = nullptr);
    ~CProgramPanelDlg() override;

    // Brings the panel in line with the selected pattern: stores it as the model's selected
    // pattern and, for a pattern, re-reads its state and then sets the buttons for it.
    void SelectPattern();

    // Whether one of the panel's operations runs.
    bool Busy() const { return busy_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void OnDisplayKind(int32_t kind);
    // Hold, Run/Reset and Advance for `pattern` (0: none), after it was selected or re-read.
    void ShowPatternButtons(int32_t pattern);
    void OnNewData();
    void OnPatternChosen(int index);
    void OnSend();
    void OnHold();
    void OnAdvance();

    // The published model; none without a connection.
    std::optional<CInstrumentModel> ReadModel() const;
    void EnableControls(bool enabled);
    // The GUI side of selecting a pattern: the pattern the panel stands on (stored), and the
    // controls enabled for it. -1 when there is nothing to read.
    int32_t PrepareSelect();
    // Re-reads `pattern`'s state, clearing its changed flag first when `clearChanged`.
    void StartStateRead(int32_t pattern, bool clearChanged);
    // Sets the buttons for `pattern` unless the read lost the link.
    void FinishSelect(int32_t pattern, RzResult readResult);
    // Runs `sequence` followed by the state read of `pattern`, then selects the pattern again.
    void StartWithStateRead(const char* name, CSequence sequence, int32_t pattern);
    void SetBusy(bool busy);

    CViewContext context_;
    bool busy_ = false;
    int32_t firmwareMajor_ = 0;

    QWidget* body_ = nullptr;
    QGroupBox* settingFrame_ = nullptr;
    QLabel* patternLabel_ = nullptr;
    QComboBox* patternList_ = nullptr;
    QGroupBox* runFrame_ = nullptr;
    QRadioButton* run_ = nullptr;
    QRadioButton* reset_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* hold_ = nullptr;
    QPushButton* advance_ = nullptr;
};
