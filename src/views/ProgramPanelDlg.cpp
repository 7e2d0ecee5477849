#include "views/ProgramPanelDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "platform/EventHub.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "session/InstrumentConnection.h"
#include "ui/Widgets.h"
#include "views/DialogUnits.h"
#include "views/ViewOperations.h"

namespace {

constexpr int32_t kProgramDisplay = 5;
// Waits after an action before the pattern's state is read again: the instrument needs them to
// show the action's effect.
constexpr uint32_t kSendWaitMs = 2000;
constexpr uint32_t kHoldWaitMs = 1500;
constexpr uint32_t kAdvanceWaitMs = 1000;

// The panel as a subscriber of the hub.
constexpr HubSubscriber kOnDisplayKind{HUB_CHANNEL_PROGRAM_PANEL, 1};
constexpr HubSubscriber kOnNewData{HUB_CHANNEL_PROGRAM_PANEL, 2};

template <class W>
W* Caption(W* w, const char* source) {
    return SetCaption(w, "CProgramPanelDlg", source);
}

bool Running(int32_t state) {
    return state == 2 || state == 3 || state == 4;
}

// The state read of a pattern, as the operations run it.
RzResult ReadPatternState(CInstrumentConnection& connection, int32_t pattern) {
    return connection.ReloadProgram(0, pattern);
}

}  // namespace

QSize CProgramPanelDlg::TemplateSize() {
    return DialogUnitsToPixels(81, 200);
}

CProgramPanelDlg::CProgramPanelDlg(const CViewContext& context, QWidget* parent)
    : QWidget(parent), context_(context) {
    body_ = new QWidget(this);
    settingFrame_ = Caption(new QGroupBox(body_), QT_TR_NOOP("Setting"));
    patternLabel_ = Caption(new QLabel(settingFrame_), QT_TR_NOOP("PT#:"));
    patternList_ = new QComboBox(settingFrame_);
    runFrame_ = Caption(new QGroupBox(settingFrame_), QT_TR_NOOP("Run"));
    run_ = Caption(new QRadioButton(runFrame_), QT_TR_NOOP("Run"));
    reset_ = Caption(new QRadioButton(runFrame_), QT_TR_NOOP("Reset"));
    send_ = Caption(new QPushButton(settingFrame_), QT_TR_NOOP("Send"));
    hold_ = new QPushButton(settingFrame_);
    SetRzCaption(hold_, RzStr::kHold);
    advance_ = Caption(new QPushButton(settingFrame_), QT_TR_NOOP("Advance"));

    // Laid out by the font in use, as the loop panel it replaces.
    runFrame_->setFlat(true);
    auto* runs = new QVBoxLayout(runFrame_);
    TightLayout(runs);
    runs->addWidget(run_);
    runs->addWidget(reset_);
    auto* pattern = new QHBoxLayout;
    pattern->setSpacing(kPanelSpacing);
    pattern->addWidget(patternLabel_);
    pattern->addWidget(patternList_, 1);
    auto* setting = new QVBoxLayout(settingFrame_);
    TightLayout(setting);
    setting->addLayout(pattern);
    setting->addWidget(runFrame_);
    setting->addSpacing(kPanelSpacing * 3);
    for (QPushButton* button : {send_, hold_, advance_}) {
        setting->addWidget(button);
    }
    setting->addStretch(1);
    auto* body = new QVBoxLayout(body_);
    body->setContentsMargins(0, 0, 0, 0);
    body->addWidget(settingFrame_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(body_);
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    NameAfter(settingFrame_, settingFrame_->title());
    NameAfter(patternLabel_, patternLabel_->text());
    NameAfter(patternList_, patternLabel_->text());
    NameAfter(runFrame_, runFrame_->title());
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{run_, reset_, send_, hold_, advance_}) {
        NameAfter(button, button->text());
    }
    resize(TemplateSize().expandedTo(minimumSizeHint()));

    connect(patternList_, &QComboBox::activated, this, &CProgramPanelDlg::OnPatternChosen);
    connect(send_, &QPushButton::clicked, this, &CProgramPanelDlg::OnSend);
    connect(hold_, &QPushButton::clicked, this, &CProgramPanelDlg::OnHold);
    connect(advance_, &QPushButton::clicked, this, &CProgramPanelDlg::OnAdvance);

    // Until a pattern has been selected only the pattern list is offered.
    ShowPatternButtons(0);

    const std::optional<CInstrumentModel> model = ReadModel();
    if (model) {
        firmwareMajor_ = model->firmwareMajor;
    }
    if (context_.hub != nullptr) {
        context_.hub->Subscribe(kOnDisplayKind, kDisplayKindEvent,
                                [this](int32_t kind) { OnDisplayKind(kind); });
        if (firmwareMajor_ >= 3) {
            context_.hub->Subscribe(kOnNewData, DataRefreshedEvent(context_.connectionId),
                                    [this](uint32_t) { OnNewData(); });
        }
    }

    if (firmwareMajor_ >= 2) {
        const int32_t option = model ? model->programOption : 0;
        const int count = option == 1 ? 4 : (option == 2 ? 30 : 0);
        for (int p = 1; p <= count; ++p) {
            patternList_->addItem(QString::number(p), p);
        }
        patternList_->setCurrentIndex(-1);
    } else {
        EnableControls(false);
    }
}

CProgramPanelDlg::~CProgramPanelDlg() {
    if (context_.hub != nullptr) {
        context_.hub->UnsubscribeChannel(HUB_CHANNEL_PROGRAM_PANEL);
    }
}

void CProgramPanelDlg::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        RetranslateCaptions(this);
    }
}

std::optional<CInstrumentModel> CProgramPanelDlg::ReadModel() const {
    if (context_.connection == nullptr) {
        return std::nullopt;
    }
    return context_.connection->CopyModel();
}

void CProgramPanelDlg::EnableControls(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{patternLabel_, patternList_, runFrame_,
                                                            run_, reset_, send_, hold_, advance_}) {
        control->setEnabled(enabled);
    }
}

void CProgramPanelDlg::SetBusy(bool busy) {
    busy_ = busy;
    body_->setEnabled(!busy);
}

int32_t CProgramPanelDlg::PrepareSelect() {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return -1;
    }
    const CInstrumentModel& model = *read;
    if (model.firmwareMajor < 2) {
        EnableControls(false);
        return -1;
    }
    int32_t pattern = 0;
    if (patternList_->currentIndex() >= 0) {
        pattern = patternList_->currentData().toInt();
    } else {
        pattern = model.selectedPattern;
        if (pattern != 0) {
            patternList_->setCurrentIndex(pattern - 1);
        }
    }
    context_.connection->UpdateViewState(
        [pattern](CViewState& state) { state.selectedPattern = pattern; });
    if (pattern > 0) {
        EnableControls(true);
        return pattern;
    }
    EnableControls(false);
    if (isVisible()) {
        patternLabel_->setEnabled(true);
        patternList_->setEnabled(true);
    }
    return 0;
}

void CProgramPanelDlg::FinishSelect(int32_t pattern, RzResult readResult) {
    if (!IsLinkBroken(readResult)) {
        ShowPatternButtons(pattern);
    }
}

void CProgramPanelDlg::StartStateRead(int32_t pattern, bool clearChanged) {
    // A follow-up: it waits for an operation that runs (the display switch that brought the
    // panel up, for one).
    const RzResult started = StartViewFollowUp(
        context_, "Select pattern",
        [pattern, clearChanged](CInstrumentConnection& connection) {
            if (clearChanged) {
                connection.UpdateModel([pattern](CInstrumentModel& model) {
                    model.patterns[pattern - 1].changed = 0;
                });
            }
            return ReadPatternState(connection, pattern);
        },
        [this, pattern](RzResult result) {
            SetBusy(false);
            FinishSelect(pattern, result);
        },
        this, [this] { SetBusy(false); });
    if (started == RZ_OK) {
        SetBusy(true);
    }
}

void CProgramPanelDlg::SelectPattern() {
    if (busy_) {
        return;
    }
    const int32_t pattern = PrepareSelect();
    if (pattern > 0) {
        StartStateRead(pattern, false);
    }
}

void CProgramPanelDlg::StartWithStateRead(const char* name, CSequence sequence, int32_t pattern) {
    // The read's result, handed from its step to the end of the sequence; absent when the
    // sequence ended before it.
    auto read = std::make_shared<std::optional<RzResult>>();
    sequence.Then([pattern](CInstrumentConnection& c) { return ReadPatternState(c, pattern); },
                  [read](RzResult result) { *read = result; });
    const RzResult started = StartViewSequence(
        context_, name, std::move(sequence),
        [this, read](RzResult) {
            SetBusy(false);
            if (!read->has_value()) {
                return;
            }
            const int32_t selected = PrepareSelect();
            if (selected > 0) {
                FinishSelect(selected, **read);
            }
        },
        this, [this] { SetBusy(false); });
    if (started == RZ_OK) {
        SetBusy(true);
    }
}

void CProgramPanelDlg::OnDisplayKind(int32_t kind) {
    if (!isVisible() || kind != kProgramDisplay) {
        return;
    }
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    if (model.accessLevel[0] == 'A' && model.firmwareMajor >= 2) {
        EnableControls(true);
        // The read waits until the handlers of this event are done: whoever changed the
        // display may still start the operation that switches the instrument's screen.
        QTimer::singleShot(0, this, &CProgramPanelDlg::SelectPattern);
    } else {
        EnableControls(false);
    }
}

void CProgramPanelDlg::ShowPatternButtons(int32_t pattern) {
    int32_t state = 0;
    if (pattern >= 1 && pattern <= kPatterns) {
        if (const std::optional<CInstrumentModel> model = ReadModel()) {
            state = model->patterns[pattern - 1].state;
        }
    }
    const bool active = pattern != 0 && Running(state);
    hold_->setEnabled(active);
    SetRzCaption(hold_, active && state == 3 ? RzStr::kUnhold : RzStr::kHold);
    NameAfter(hold_, hold_->text());
    const bool runnable = pattern != 0;
    for (QWidget* control : std::initializer_list<QWidget*>{runFrame_, run_, reset_, send_}) {
        control->setEnabled(runnable);
    }
    if (runnable) {
        (Running(state) ? run_ : reset_)->setChecked(true);
    }
    advance_->setEnabled(active);
}

void CProgramPanelDlg::OnNewData() {
    if (busy_ || context_.connection == nullptr) {
        return;
    }
    const int32_t pattern = context_.connection->ViewState().selectedPattern;
    if (pattern < 1 || pattern > kPatterns) {
        return;
    }
    const std::optional<CInstrumentModel> model = ReadModel();
    if (!model || model->patterns[pattern - 1].changed == 0) {
        return;
    }
    const int32_t selected = PrepareSelect();
    if (selected > 0) {
        StartStateRead(selected, true);
    }
}

void CProgramPanelDlg::OnPatternChosen(int index) {
    if (busy_ || context_.connection == nullptr || index < 0) {
        return;
    }
    const int32_t pattern = patternList_->itemData(index).toInt();
    context_.connection->UpdateViewState(
        [pattern](CViewState& state) { state.selectedPattern = pattern; });
    const RzResult started = StartViewFollowUp(
        context_, "Select pattern",
        [pattern](CInstrumentConnection& c) { return ReadPatternState(c, pattern); },
        [this, pattern](RzResult result) {
            SetBusy(false);
            if (result == RZ_OK) {
                ShowStatusMessage("");
            }
            ShowPatternButtons(pattern);
        },
        this, [this] { SetBusy(false); });
    if (started == RZ_OK) {
        SetBusy(true);
    }
}

void CProgramPanelDlg::OnSend() {
    if (busy_ || context_.connection == nullptr) {
        return;
    }
    const int32_t pattern = context_.connection->ViewState().selectedPattern;
    int32_t action = 0;
    if (run_->isEnabled() && run_->isChecked()) {
        action = kProgramRun;
    } else if (reset_->isEnabled() && reset_->isChecked()) {
        action = kProgramReset;
    }
    if (pattern == 0 || action == 0) {
        return;
    }
    CSequence sequence;
    sequence.Decide([pattern, action](CInstrumentConnection& c) {
        const RzExpected<bool> changed = c.OperateProgram(pattern, action);
        const RzResult result = changed.code();
        return CStepOutcome{result, changed.value_or(false) ? kSendWaitMs : 0, result < 0};
    });
    StartWithStateRead("Send", std::move(sequence), pattern);
}

void CProgramPanelDlg::OnHold() {
    if (busy_ || context_.connection == nullptr) {
        return;
    }
    const int32_t pattern = context_.connection->ViewState().selectedPattern;
    const int32_t action = hold_->text() == RzText(RzStr::kHold) ? kProgramHold : kProgramRelease;
    CSequence sequence;
    sequence.Decide([pattern, action](CInstrumentConnection& c) {
        const RzResult result = c.OperateProgram(pattern, action).code();
        return CStepOutcome{result, result == RZ_OK ? kHoldWaitMs : 0, result != RZ_OK};
    });
    StartWithStateRead("Hold", std::move(sequence), pattern);
}

void CProgramPanelDlg::OnAdvance() {
    if (busy_ || context_.connection == nullptr) {
        return;
    }
    const int32_t pattern = context_.connection->ViewState().selectedPattern;
    CSequence sequence;
    sequence
        .Then([pattern](CInstrumentConnection& c) {
            return c.OperateProgram(pattern, kProgramAdvance).code();
        })
        .Pause(kAdvanceWaitMs);
    StartWithStateRead("Advance", std::move(sequence), pattern);
}
