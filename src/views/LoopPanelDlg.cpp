#include "views/LoopPanelDlg.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cstring>

#include "platform/EventHub.h"
#include "platform/Strings.h"
#include "session/InstrumentConnection.h"
#include "ui/Widgets.h"
#include "views/DialogUnits.h"
#include "views/NumericEdit.h"
#include "views/ViewOperations.h"

namespace {

template <size_t N>
QString TextOf(const char (&field)[N]) {
    return QString::fromLatin1(field, static_cast<qsizetype>(strnlen(field, N))).trimmed();
}

// Checks the button of `id` in `group`, or none of them.
void CheckOnly(QButtonGroup* group, int id) {
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) {
        button->setChecked(group->id(button) == id);
    }
    group->setExclusive(true);
}

template <class W>
W* Caption(W* w, const char* source) {
    return SetCaption(w, "CLoopPanelDlg", source);
}

template <class W>
W* Named(W* w, const QString& name) {
    w->setObjectName(name);
    w->setAccessibleName(name);
    return w;
}

// The panel as a subscriber of the hub.
constexpr HubSubscriber kOnDisplayKind{HUB_CHANNEL_LOOP_PANEL, 1};
constexpr HubSubscriber kOnDisplayGroup{HUB_CHANNEL_LOOP_PANEL, 2};
constexpr HubSubscriber kOnNewData{HUB_CHANNEL_LOOP_PANEL, 3};

}  // namespace

bool CLoopPanelDlg::ValidRef(uint32_t ref) {
    const int32_t n = NumberOf(ref);
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            return n >= 1 && n <= kInternalLoops;
        case kEntryExternalLoop:
            return n >= 1 && n <= kExternalLoops;
        case kEntryDioPoint:
            return n >= 1 && n <= kDioPoints;
        default:
            return false;
    }
}

QSize CLoopPanelDlg::TemplateSize() {
    return DialogUnitsToPixels(81, 200);
}

CLoopPanelDlg::CLoopPanelDlg(const CViewContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      question_([this](const QString& text) {
          return QMessageBox::question(this, tr("Warning"), text,
                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
      }),
      model_(std::make_unique<CInstrumentModel>()) {
    settingFrame_ = Named(Caption(new QGroupBox(this), QT_TR_NOOP("Setting")), "Setting");
    loopLabel_ = Named(Caption(new QLabel(settingFrame_), QT_TR_NOOP("Loop:")), "Loop:");
    list_ = Named(new QComboBox(settingFrame_), "Loop");
    modeFrame_ = Named(Caption(new QGroupBox(settingFrame_), QT_TR_NOOP("Mode")), "Mode");
    aut_ = Named(Caption(new QRadioButton(modeFrame_), QT_TR_NOOP("AUT")), "AUT");
    man_ = Named(Caption(new QRadioButton(modeFrame_), QT_TR_NOOP("MAN")), "MAN");
    cas_ = Named(Caption(new QRadioButton(modeFrame_), QT_TR_NOOP("CAS")), "CAS");
    spRefFrame_ = Named(Caption(new QGroupBox(settingFrame_), QT_TR_NOOP("SP Ref")), "SP Ref");
    loc_ = Named(Caption(new QRadioButton(spRefFrame_), QT_TR_NOOP("LOC")), "LOC");
    rem_ = Named(new QRadioButton(spRefFrame_), "REM");
    SetRzCaption(rem_, RzStr::kRemCaption);
    runFrame_ = Named(Caption(new QGroupBox(settingFrame_), QT_TR_NOOP("Run")), "Run");
    run_ = Named(Caption(new QRadioButton(runFrame_), QT_TR_NOOP("RUN")), "RUN");
    stop_ = Named(Caption(new QRadioButton(runFrame_), QT_TR_NOOP("STOP")), "STOP");
    spLabel_ = Named(new QLabel(settingFrame_), "SP:");
    SetRzCaption(spLabel_, RzStr::kSpCaption);
    sp_ = Named(new CNumericEdit(settingFrame_), "SP");
    outLabel_ = Named(new QLabel(settingFrame_), "OUT:");
    SetRzCaption(outLabel_, RzStr::kOutCaption);
    out_ = Named(new CNumericEdit(settingFrame_), "OUT");
    send_ = Named(Caption(new QPushButton(settingFrame_), QT_TR_NOOP("Send")), "Send");

    // Laid out by the font in use: at the default font the panel keeps its template's size, at
    // a larger one (or with longer texts) it grows to what its texts need.
    // The frames within the setting frame are flat: a title over their buttons.
    for (QGroupBox* frame : {modeFrame_, spRefFrame_, runFrame_}) {
        frame->setFlat(true);
    }
    const auto column = [](QGroupBox* frame, std::initializer_list<QWidget*> widgets) {
        auto* layout = new QVBoxLayout(frame);
        TightLayout(layout);
        for (QWidget* w : widgets) {
            layout->addWidget(w);
        }
        return layout;
    };
    column(modeFrame_, {aut_, man_, cas_});
    const auto row = [](QGroupBox* frame, QWidget* left, QWidget* right) {
        auto* layout = new QHBoxLayout(frame);
        TightLayout(layout);
        layout->setSpacing(1);
        layout->addWidget(left);
        layout->addWidget(right);
    };
    row(spRefFrame_, loc_, rem_);
    row(runFrame_, run_, stop_);
    auto* fields = new QGridLayout;
    fields->setSpacing(kPanelSpacing);
    fields->addWidget(spLabel_, 0, 0);
    fields->addWidget(sp_, 0, 1);
    fields->addWidget(outLabel_, 1, 0);
    fields->addWidget(out_, 1, 1);
    QVBoxLayout* setting =
        column(settingFrame_, {loopLabel_, list_, modeFrame_, spRefFrame_, runFrame_});
    setting->addLayout(fields);
    setting->addStretch(1);
    setting->addWidget(send_, 0, Qt::AlignHCenter);
    setting->addStretch(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(settingFrame_);
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    list_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    resize(TemplateSize().expandedTo(minimumSizeHint()));

    const auto group = [this](std::initializer_list<std::pair<QRadioButton*, int>> buttons) {
        auto* g = new QButtonGroup(this);
        for (const auto& [button, id] : buttons) {
            g->addButton(button, id);
        }
        return g;
    };
    modeGroup_ = group({{aut_, kModeAut}, {man_, kModeMan}, {cas_, kModeCas}});
    spRefGroup_ = group({{loc_, kLocal}, {rem_, kRemote}});
    runGroup_ = group({{run_, kRun}, {stop_, kStop}});
    // A click on a mode or run button decides whether OUT can be typed; LOC or REM whether SP
    // can.
    connect(modeGroup_, &QButtonGroup::idClicked, this, [this] {
        if (Active()) {
            ShowOutField();
        }
    });
    connect(spRefGroup_, &QButtonGroup::idClicked, this, [this] {
        if (Active()) {
            EnableSpField();
        }
    });
    connect(runGroup_, &QButtonGroup::idClicked, this, [this] {
        if (Active() && context_.connection->ViewState().displayKind != kDisplayProgram) {
            ShowOutField();
        }
    });
    connect(list_, &QComboBox::currentIndexChanged, this, [this] { ReRead(SelectedEntry()); });
    connect(sp_, &CNumericEdit::Changed, this, &CLoopPanelDlg::OnSpChanged);
    connect(out_, &CNumericEdit::Changed, this, &CLoopPanelDlg::OnOutChanged);
    connect(send_, &QPushButton::clicked, this, &CLoopPanelDlg::Send);

    if (context_.hub != nullptr) {
        CEventHub& hub = *context_.hub;
        hub.Subscribe(kOnDisplayKind, kDisplayKindEvent, [this](int32_t kind) {
            if (Active()) {
                OnDisplayKind(kind);
            }
        });
        hub.Subscribe(kOnDisplayGroup, kDisplayGroupEvent, [this](int32_t) {
            if (Active()) {
                FillList();
            }
        });
        hub.Subscribe(kOnNewData, DataRefreshedEvent(context_.connectionId), [this](uint32_t) {
            if (Active()) {
                OnNewData();
            }
        });
    }
    EnableControls(false);
}

CLoopPanelDlg::~CLoopPanelDlg() {
    if (context_.hub != nullptr) {
        context_.hub->UnsubscribeChannel(HUB_CHANNEL_LOOP_PANEL);
    }
}

void CLoopPanelDlg::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        RetranslateCaptions(this);
    }
}

const CInstrumentModel& CLoopPanelDlg::Model() {
    *model_ = context_.connection->CopyModel();
    return *model_;
}

bool CLoopPanelDlg::Active() const {
    return context_.connection != nullptr && isVisible();
}

bool CLoopPanelDlg::On(const QWidget* w) const {
    return w->isEnabledTo(this);
}

uint32_t CLoopPanelDlg::SelectedEntry() const {
    return list_->currentIndex() < 0 ? 0 : list_->currentData().toUInt();
}

void CLoopPanelDlg::EnableControls(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             settingFrame_, loopLabel_, list_, modeFrame_, aut_, man_, cas_, spRefFrame_, loc_,
             rem_, runFrame_, run_, stop_, spLabel_, sp_, outLabel_, out_, send_}) {
        w->setEnabled(on);
    }
}

void CLoopPanelDlg::AddOperation(int change) {
    operations_ += change;
    setEnabled(operations_ == 0);
}

void CLoopPanelDlg::ReRead(uint32_t ref) {
    if (!ValidRef(ref) || context_.connection == nullptr) {
        return;
    }
    if (reRead_) {
        // A re-read is on its way: it reads this entry if it has not started yet. Meanwhile the
        // entry shows as last known.
        reRead_->wanted = ref;
        ShowEntry(ref);
        return;
    }
    auto target = std::make_shared<ReadTarget>();
    target->wanted = ref;
    const RzResult started = StartViewFollowUp(
        context_, "Read loop state",
        [target](CInstrumentConnection& c) {
            const uint32_t wanted = target->wanted;
            target->read = wanted;
            return c.ReadLoopState(KindOf(wanted), NumberOf(wanted));
        },
        [this, target](RzResult result) {
            reRead_.reset();
            // A lost link closes the connection.
            if (IsLinkBroken(result)) {
                return;
            }
            const uint32_t selected = SelectedEntry();
            if (selected == target->read) {
                ShowEntry(selected);
            } else {
                ReRead(selected);
            }
        },
        this,
        [this, target] {
            if (reRead_ == target) {
                reRead_.reset();
            }
            AddOperation(-1);
        });
    if (started == RZ_OK) {
        reRead_ = target;
        AddOperation(1);
    }
}

// --- What the panel does on an event, and the steps of it ---

void CLoopPanelDlg::OnDisplayKind(int32_t kind) {
    if (kind != kDisplayControlGroup || Model().accessLevel[0] != 'A') {
        EnableControls(false);
        return;
    }
    EnableControls(true);
    // Filled once every subscriber has heard of the change: the simple panel, when shown, chooses
    // the group to show first.
    context_.hub->Defer(HUB_CHANNEL_LOOP_PANEL, [this] {
        if (Active()) {
            FillList();
        }
    });
}

void CLoopPanelDlg::ShowEntry(uint32_t ref) {
    if (!Active()) {
        return;
    }
    // The buttons first: the SP field follows the entry's local/remote state, the OUT field the
    // mode and run buttons.
    ShowModeButtons(ref);
    ShowSpRefButtons(ref);
    ShowRunButtons(ref);
    ShowSpField(ref);
    ShowOutField();
    emit EntryShown(ref);
}

void CLoopPanelDlg::OnModeRefused(uint32_t ref) {
    if (Active()) {
        ShowModeButtons(ref);
        ShowOutField();
    }
    emit ModeRefused(ref);
}

void CLoopPanelDlg::OnSpRefRefused(uint32_t ref) {
    if (Active()) {
        ShowSpRefButtons(ref);
    }
    emit SpRefRefused(ref);
}

void CLoopPanelDlg::OnRunRefused(uint32_t ref) {
    if (Active()) {
        ShowRunButtons(ref);
        ShowOutField();
    }
    emit RunRefused(ref);
}

void CLoopPanelDlg::OnNewData() {
    RefreshSpField();
    RefreshOutField();
}

void CLoopPanelDlg::FillList() {
    const CInstrumentModel& m = Model();
    const int32_t kind = m.displayKind;
    if (kind == 0 || kind == 4 || kind == kDisplayProgram || m.accessLevel[0] == 'U') {
        EnableControls(false);
        return;
    }
    {
        const QSignalBlocker blocker(list_);
        list_->clear();
        const int32_t g = m.displayGroup;
        const int32_t groups = m.controlGroupCount > 0 ? m.controlGroupCount : kMaxControlGroups;
        if (g >= 0 && g < kMaxControlGroups && g < groups) {
            const CGroupMember* members = m.controlGroups[g].members;
            for (int i = 0; i < kGroupMembers; ++i) {
                const CGroupMember& member = members[i];
                const uint32_t ref = EntryRef(member.kind, member.number);
                if (member.kind < kEntryInternalLoop || member.kind > kEntryDioPoint ||
                    (member.kind == kEntryExternalLoop && m.firmwareMajor < 3) ||
                    member.number == 0 || !ValidRef(ref) || list_->findData(ref) >= 0) {
                    continue;
                }
                const int32_t n = member.number - 1;
                const CDisplayBlock* display = nullptr;
                if (member.kind == kEntryInternalLoop) {
                    const CInternalLoopRecord& loop = m.internalLoops[n];
                    if (loop.operable != 0 && loop.loopKind != 0 &&
                        !(loop.loopKind == kLoopRetrans && loop.retrans == 0)) {
                        display = &loop.display;
                    }
                } else if (member.kind == kEntryExternalLoop) {
                    const CExternalLoopRecord& loop = m.externalLoops[n];
                    if (loop.inUse != 0 && loop.controllerModel != 0 &&
                        loop.controllerModel != kControllerOther) {
                        display = &loop.display;
                    }
                } else if (m.dio[n].present != 0 && m.dio[n].moduleKind != 0) {
                    display = &m.dio[n].display;
                }
                if (display != nullptr) {
                    list_->addItem(TextOf(display->name), ref);
                }
            }
        }
        if (list_->count() == 0) {
            EnableControls(false);
            return;
        }
        EnableControls(true);
        list_->setCurrentIndex(0);
    }
    ReRead(SelectedEntry());
}

void CLoopPanelDlg::ShowModeButtons(uint32_t ref) {
    if (!ValidRef(ref)) {
        return;
    }
    const CInstrumentModel& m = Model();
    const int32_t n = NumberOf(ref) - 1;
    bool aut = true;
    bool man = true;
    bool cas = false;
    bool frame = true;
    int32_t mode = kNone;
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            cas = m.internalLoops[n].loopKind == kLoopCascade;
            mode = m.internalLoops[n].modeCode;
            break;
        case kEntryDioPoint:
            mode = m.dio[n].modeCode;
            break;
        default: {
            const CExternalLoopRecord& loop = m.externalLoops[n];
            const int32_t model = loop.controllerModel;
            mode = loop.modeCode;
            if (model == 0 || model == kControllerOther) {
                aut = man = frame = false;
            } else {
                cas = InRange(model, 11, 14);
                // These controllers change their mode only from their own front panel.
                if (InRange(model, 1, 4)) {
                    aut = mode == kModeAut;
                    man = mode == kModeMan;
                }
            }
            break;
        }
    }
    modeFrame_->setEnabled(frame);
    aut_->setEnabled(aut);
    man_->setEnabled(man);
    cas_->setEnabled(cas);
    CheckOnly(modeGroup_, InRange(mode, kModeAut, kModeCas) ? mode : kNone);
}

void CLoopPanelDlg::ShowSpRefButtons(uint32_t ref) {
    if (!ValidRef(ref)) {
        return;
    }
    const CInstrumentModel& m = Model();
    const int32_t number = NumberOf(ref);
    const int32_t n = number - 1;
    bool loc = false;
    bool rem = false;
    int32_t state = kNone;
    if (KindOf(ref) == kEntryInternalLoop) {
        const CInternalLoopRecord& loop = m.internalLoops[n];
        if (loop.loopKind == kLoopRetrans) {
            // Neither caption nor state applies.
        } else if (number % 2 == 0 && loop.loopKind == kLoopCascade &&
                   m.internalLoops[n - 1].loopKind == kLoopCascade) {
            // The secondary loop of a cascade pair follows its primary.
            SetRzCaption(
                rem_, m.internalLoops[n - 1].bit7 != 0 ? RzStr::kPrgCaption : RzStr::kRemCaption);
        } else {
            loc = rem = true;
            SetRzCaption(rem_, loop.bit7 != 0 ? RzStr::kPrgCaption : RzStr::kRemCaption);
            state = loop.remote;
        }
    } else if (KindOf(ref) == kEntryExternalLoop) {
        const CExternalLoopRecord& loop = m.externalLoops[n];
        SetRzCaption(rem_, RzStr::kRemCaption);
        state = loop.remote;
        loc = rem = true;
        if (InRange(loop.controllerModel, 0, 8) || loop.controllerModel == 14) {
            loc = state != kRemote;
            rem = state != kLocal;
        }
    }
    const bool frame = loc || rem || KindOf(ref) == kEntryExternalLoop;
    spRefFrame_->setEnabled(frame);
    loc_->setEnabled(loc);
    rem_->setEnabled(rem);
    CheckOnly(spRefGroup_, InRange(state, kLocal, kRemote) ? state : kNone);
}

void CLoopPanelDlg::ShowRunButtons(uint32_t ref) {
    if (!ValidRef(ref)) {
        return;
    }
    const CInstrumentModel& m = Model();
    const int32_t number = NumberOf(ref);
    bool run = false;
    bool stop = false;
    int32_t state = kNone;
    if (KindOf(ref) == kEntryInternalLoop) {
        const CInternalLoopRecord& loop = m.internalLoops[number - 1];
        if (loop.loopKind != kLoopRetrans && !(loop.loopKind == kLoopCascade && number % 2 == 1)) {
            run = stop = true;
            state = loop.run;
        }
    } else if (KindOf(ref) == kEntryExternalLoop) {
        const CExternalLoopRecord& loop = m.externalLoops[number - 1];
        state = loop.run;
        run = stop = true;
        if (InRange(loop.controllerModel, 1, 4)) {
            run = state == kRun;
            stop = state != kRun;
        }
    }
    runFrame_->setEnabled(run || stop);
    run_->setEnabled(run);
    stop_->setEnabled(stop);
    CheckOnly(runGroup_, InRange(state, kStop, kRun) ? state : kNone);
}

void CLoopPanelDlg::LoadSp(const CInstrumentModel& m, uint32_t ref) {
    const int32_t n = NumberOf(ref) - 1;
    const int32_t decimals = KindOf(ref) == kEntryInternalLoop ? m.internalLoops[n].spDecimals
                                                               : m.externalLoops[n].spDecimals;
    sp_->setEnabled(true);
    sp_->SetDecimals(decimals);
    sp_->setText(SpText(m, ref));
    sp_->ClearModified();
    SetSpEdited(ref, false);
}

void CLoopPanelDlg::ShowSpField(uint32_t ref) {
    if (!ValidRef(ref)) {
        return;
    }
    const CInstrumentModel& m = Model();
    const int32_t n = NumberOf(ref) - 1;
    bool local = false;
    if (KindOf(ref) == kEntryInternalLoop) {
        local = m.internalLoops[n].loopKind != kLoopRetrans && m.internalLoops[n].remote == kLocal;
    } else if (KindOf(ref) == kEntryExternalLoop) {
        local = m.externalLoops[n].remote == kLocal;
    }
    if (local) {
        LoadSp(m, ref);
    } else {
        sp_->setEnabled(false);
        sp_->clear();
    }
}

void CLoopPanelDlg::EnableSpField() {
    const uint32_t ref = SelectedEntry();
    if (!loc_->isChecked() || !ValidRef(ref) || KindOf(ref) == kEntryDioPoint) {
        sp_->setEnabled(false);
        sp_->clear();
    } else if (!On(sp_)) {
        LoadSp(Model(), ref);
    }
}

void CLoopPanelDlg::ShowOutField() {
    const uint32_t ref = SelectedEntry();
    if (!ValidRef(ref)) {
        return;
    }
    const CInstrumentModel& m = Model();
    const int32_t number = NumberOf(ref);
    const bool man = modeGroup_->checkedId() == kModeMan;
    const bool running = runGroup_->checkedId() == kRun;
    bool enabled = false;
    int32_t decimals = 0;
    QString text = OutText(m, ref);
    if (m.firmwareMajor <= 1) {
        enabled = false;
    } else if (KindOf(ref) == kEntryInternalLoop) {
        const CInternalLoopRecord& loop = m.internalLoops[number - 1];
        enabled = man && (running || loop.loopKind == kLoopRetrans);
        decimals = loop.outDecimals;
        if (enabled) {
            SetOutEdited(ref, false, std::nullopt);
        }
    } else if (KindOf(ref) == kEntryExternalLoop) {
        const CExternalLoopRecord& loop = m.externalLoops[number - 1];
        enabled = man && running && !InRange(loop.controllerModel, 1, 4);
        decimals = loop.outDecimals;
        if (loop.outEdited != 0) {
            text = loop.outEdited == kTypedNumber ? NumericFieldText(loop.outValue, decimals)
                                                  : QString();
        }
    } else {
        const CDioRecord& point = m.dio[number - 1];
        enabled = man;
        if (point.outEdited != 0) {
            text = point.outEdited == kTypedNumber ? QString::number(point.outValue) : QString();
        }
    }
    if (!enabled) {
        out_->setEnabled(false);
        out_->clear();
        return;
    }
    out_->setEnabled(true);
    out_->SetDecimals(decimals);
    out_->setText(text);
    out_->ClearModified();
}

void CLoopPanelDlg::RefreshSpField() {
    const uint32_t ref = SelectedEntry();
    if (!ValidRef(ref) || !On(sp_) || !sp_->isVisible() || sp_->hasFocus() ||
        list_->view()->isVisible()) {
        return;
    }
    const CInstrumentModel& m = Model();
    if (!SpEdited(m, ref)) {
        sp_->setText(SpText(m, ref));
        sp_->ClearModified();
    }
}

void CLoopPanelDlg::RefreshOutField() {
    const uint32_t ref = SelectedEntry();
    if (!ValidRef(ref) || !On(out_) || !out_->isVisible() || out_->hasFocus() ||
        list_->view()->isVisible()) {
        return;
    }
    const CInstrumentModel& m = Model();
    if (!OutEdited(m, ref)) {
        out_->setText(OutText(m, ref));
        out_->ClearModified();
    }
}

// --- The entry's values and the operator's edits ---

QString CLoopPanelDlg::SpText(const CInstrumentModel& m, uint32_t ref) const {
    const int32_t n = NumberOf(ref) - 1;
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            return TextOf(m.internalLoops[n].display.valueText[1]);
        case kEntryExternalLoop:
            return TextOf(m.externalLoops[n].display.valueText[1]);
        default:
            return {};
    }
}

QString CLoopPanelDlg::OutText(const CInstrumentModel& m, uint32_t ref) const {
    const int32_t n = NumberOf(ref) - 1;
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            return TextOf(m.internalLoops[n].display.valueText[2]);
        case kEntryExternalLoop:
            return TextOf(m.externalLoops[n].display.valueText[2]);
        case kEntryDioPoint:
            return TextOf(m.dio[n].display.valueText[2]);
        default:
            return {};
    }
}

bool CLoopPanelDlg::SpEdited(const CInstrumentModel& m, uint32_t ref) const {
    const int32_t n = NumberOf(ref) - 1;
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            return m.internalLoops[n].spEdited != 0;
        case kEntryExternalLoop:
            return m.externalLoops[n].spEdited != 0;
        default:
            return false;
    }
}

bool CLoopPanelDlg::OutEdited(const CInstrumentModel& m, uint32_t ref) const {
    const int32_t n = NumberOf(ref) - 1;
    switch (KindOf(ref)) {
        case kEntryInternalLoop:
            return m.internalLoops[n].outEdited != 0;
        case kEntryExternalLoop:
            return m.externalLoops[n].outEdited != 0;
        case kEntryDioPoint:
            return m.dio[n].outEdited != 0;
        default:
            return false;
    }
}

void CLoopPanelDlg::SetSpEdited(uint32_t ref, bool edited) {
    if (!ValidRef(ref) || context_.connection == nullptr) {
        return;
    }
    const int32_t n = NumberOf(ref) - 1;
    const int32_t kind = KindOf(ref);
    context_.connection->UpdateViewState([&](CViewState& v) {
        if (kind == kEntryInternalLoop) {
            v.internalLoops[n].spEdited = edited ? 1 : 0;
        } else if (kind == kEntryExternalLoop) {
            v.externalLoops[n].spEdited = edited ? 1 : 0;
        }
    });
}

void CLoopPanelDlg::SetOutEdited(uint32_t ref, bool edited, std::optional<double> value) {
    if (!ValidRef(ref) || context_.connection == nullptr) {
        return;
    }
    const int32_t n = NumberOf(ref) - 1;
    const int32_t kind = KindOf(ref);
    context_.connection->UpdateViewState([&](CViewState& v) {
        CLoopEdits* loop = kind == kEntryInternalLoop   ? &v.internalLoops[n]
                           : kind == kEntryExternalLoop ? &v.externalLoops[n]
                                                        : nullptr;
        const int32_t typed = !edited ? 0 : value ? kTypedNumber : kTypedNoNumber;
        if (loop != nullptr) {
            loop->outEdited = typed;
            if (value) {
                loop->outValue = *value;
            }
        } else {
            v.dio[n].outEdited = typed;
            if (value) {
                v.dio[n].outValue = static_cast<int32_t>(*value);
            }
        }
    });
}

void CLoopPanelDlg::OnSpChanged() {
    SetSpEdited(SelectedEntry(), true);
}

void CLoopPanelDlg::OnOutChanged() {
    // A field that holds no number keeps no value: neither Send nor a refill shows or sends one.
    SetOutEdited(SelectedEntry(), true, out_->Value());
}
