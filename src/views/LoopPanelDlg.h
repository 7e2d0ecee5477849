#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "views/ViewContext.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class CNumericEdit;
struct CInstrumentModel;

// The loop operation panel: operates one entry of the current control group at a time (an
// internal loop, an external loop or a DI/DO point). It shows the entry's mode, local/remote and
// run/stop states, its set point and manual output, and sends nothing until Send, which then
// sends only what differs from the entry's state, in a fixed order with fixed pauses.
//
// The panel hears the view's display changes and the connection's new data after every cycle on
// the hub; its own selections, clicks and results lead to its handlers by direct calls, in the
// order the chains below state. Every exchange it triggers (the re-read of an entry, Send) runs as
// an operation of the connection; the re-read is a follow-up that runs after an operation already
// running. While one of them runs or waits the panel is disabled, and the entry is shown again when
// the re-read's result arrives.
class CLoopPanelDlg : public QWidget {
    Q_OBJECT
  public:
    // An entry's reference: its kind (3 internal loop, 4 external loop, 5 DI/DO point) in the top
    // 8 bits and its number (from 1) in the low 24, as the control group lists it.
    static constexpr uint32_t EntryRef(int32_t kind, int32_t number) {
        return static_cast<uint32_t>(kind) << 24 | (static_cast<uint32_t>(number) & 0xFFFFFFu);
    }

    // Pauses of Send after a changed state: DI/DO points settle faster than loops.
    static constexpr uint32_t kLoopPauseMs = 2000;
    static constexpr uint32_t kDioPauseMs = 800;
    static constexpr double kSpLimit = 30000.0;

    // Asks the operator whether to send an adjusted value; true for Yes. The text is the whole
    // question; the default shows it in a Yes/No box captioned "Warning".
    using Question = std::function<bool(const QString& text)>;

    // The panel's size from its layout: 81 x 200 dialog units.
    static QSize TemplateSize();

    explicit CLoopPanelDlg(const CViewContext& context, QWidget* parent = nullptr);
    ~CLoopPanelDlg() override;

    void SetQuestion(Question question) { question_ = std::move(question); }

    // Enables or disables every control at once.
    void EnableControls(bool on);

    // Whether an operation of the panel runs or waits (its controls are disabled meanwhile).
    bool Busy() const { return operations_ > 0; }
    // The reference of the selected list entry, 0 when none.
    uint32_t SelectedEntry() const;

    // Send: checks the fields' ranges, then sends what the operator changed as one operation.
    void Send();

  signals:
    // The panel showed the state of entry `ref`, selected or read again.
    void EntryShown(uint32_t ref);
    // The instrument refused the mode, local/remote or run/stop change Send asked for entry
    // `ref`; the buttons show the entry's state again.
    void ModeRefused(uint32_t ref);
    void SpRefRefused(uint32_t ref);
    void RunRefused(uint32_t ref);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // Button ids (kNone: no button of a group checked) and the model's codes the rules use.
    static constexpr int kModeAut = 0;
    static constexpr int kModeMan = 1;
    static constexpr int kModeCas = 2;
    static constexpr int kLocal = 0;
    static constexpr int kRemote = 1;
    static constexpr int kStop = 0;
    static constexpr int kRun = 1;
    static constexpr int kNone = -1;
    static constexpr int32_t kLoopCascade = 2;
    static constexpr int32_t kLoopRetrans = 4;
    static constexpr int32_t kOutputOnOff = 4;
    static constexpr int32_t kControllerOther = 15;
    static constexpr int32_t kDisplayControlGroup = 1;
    static constexpr int32_t kDisplayProgram = 5;
    // A record's `outEdited`: the operator typed the number kept in `outValue`, or typed a text
    // that holds none (emptied, or not a complete number), so that `outValue` is not theirs.
    static constexpr int32_t kTypedNumber = 1;
    static constexpr int32_t kTypedNoNumber = 2;

    static constexpr int32_t KindOf(uint32_t ref) { return static_cast<int32_t>(ref >> 24); }
    static constexpr int32_t NumberOf(uint32_t ref) {
        return static_cast<int32_t>(ref & 0xFFFFFFu);
    }
    static constexpr bool InRange(int32_t value, int32_t low, int32_t high) {
        return value >= low && value <= high;
    }
    // Whether `ref` names a record of the model: a member number straight from the instrument
    // may lie outside the records.
    static bool ValidRef(uint32_t ref);

    // A fresh copy of the connection's model (with the panel's edits).
    const CInstrumentModel& Model();
    // Whether the panel acts: shown, with a connection attached.
    bool Active() const;

    // The view's display kind changed.
    void OnDisplayKind(int32_t kind);
    // Fills the list with the entries of the control group shown, selects the first and reads it.
    void FillList();
    // Entry `ref` was selected or read again: the buttons, then the fields that follow them.
    void ShowEntry(uint32_t ref);
    // The instrument refused a change of Send: the buttons concerned show the entry's state again.
    void OnModeRefused(uint32_t ref);
    void OnSpRefRefused(uint32_t ref);
    void OnRunRefused(uint32_t ref);
    // The connection's new data: the fields the operator has not typed into follow it.
    void OnNewData();

    // The steps of the chains above.
    void ShowModeButtons(uint32_t ref);
    void ShowSpRefButtons(uint32_t ref);
    void ShowRunButtons(uint32_t ref);
    void ShowSpField(uint32_t ref);
    void EnableSpField();
    void ShowOutField();
    void RefreshSpField();
    void RefreshOutField();

    // Re-reads `ref` as a follow-up and shows the entry when its result arrives. While a re-read
    // waits, it is turned to `ref` instead and the entry shows as last known; one that ran for
    // another entry than the one selected when its result arrives is followed by a re-read of
    // that one.
    void ReRead(uint32_t ref);
    // Counts an operation of the panel that starts (1) or has ended (-1).
    void AddOperation(int change);
    void LoadSp(const CInstrumentModel& m, uint32_t ref);
    // The entry's SP or OUT text as the instrument gave it; empty for an unknown entry.
    QString SpText(const CInstrumentModel& m, uint32_t ref) const;
    QString OutText(const CInstrumentModel& m, uint32_t ref) const;
    bool SpEdited(const CInstrumentModel& m, uint32_t ref) const;
    bool OutEdited(const CInstrumentModel& m, uint32_t ref) const;
    void SetSpEdited(uint32_t ref, bool edited);
    void SetOutEdited(uint32_t ref, bool edited, std::optional<double> value);
    // A field report of a change: marks the selected entry's value as typed.
    void OnSpChanged();
    void OnOutChanged();
    // Send's range checks of the enabled fields: a value out of range is replaced by the nearer
    // limit, in the field too, and the operator asked whether to go on (none: No). Gives the
    // values to send; a field that is empty or not a complete number has none, is never taken
    // for 0, and the status bar says why it was not sent.
    struct SendValues {
        std::optional<double> sp;
        std::optional<double> out;
    };
    std::optional<SendValues> CheckRanges(const CInstrumentModel& m, uint32_t ref);
    // Asks question kAdjustedQuestion for `name` with the limits printed with `decimals` places.
    bool AskAdjusted(const char* name, double low, double high, int decimals);
    // Whether `w` is enabled by the panel's rules (leaving aside a running operation).
    bool On(const QWidget* w) const;

    CViewContext context_;
    Question question_;
    std::unique_ptr<CInstrumentModel> model_;
    int operations_ = 0;
    // The entry the panel's re-read is to read and the one it read (on the worker); null while
    // no re-read is on its way.
    struct ReadTarget {
        std::atomic<uint32_t> wanted;
        std::atomic<uint32_t> read{0};
    };
    std::shared_ptr<ReadTarget> reRead_;

    QGroupBox* settingFrame_;
    QLabel* loopLabel_;
    QComboBox* list_;
    QGroupBox* modeFrame_;
    QRadioButton* aut_;
    QRadioButton* man_;
    QRadioButton* cas_;
    QButtonGroup* modeGroup_;
    QGroupBox* spRefFrame_;
    QRadioButton* loc_;
    QRadioButton* rem_;
    QButtonGroup* spRefGroup_;
    QGroupBox* runFrame_;
    QRadioButton* run_;
    QRadioButton* stop_;
    QButtonGroup* runGroup_;
    QLabel* spLabel_;
    CNumericEdit* sp_;
    QLabel* outLabel_;
    CNumericEdit* out_;
    QPushButton* send_;
};
