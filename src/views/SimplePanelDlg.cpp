#include "views/SimplePanelDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/EventHub.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "session/InstrumentConnection.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"
#include "views/DialogUnits.h"
#include "views/ViewOperations.h"

namespace {

// Display kinds the panel tells apart.
constexpr int32_t kControlGroup = 1;
constexpr int32_t kMeasurementGroup = 4;
constexpr int32_t kProgram = 5;
constexpr int32_t kOverview = 6;

// Control group member kinds.
constexpr int32_t kMeasChannel = 1;
constexpr int32_t kMathChannel = 2;
constexpr int32_t kInternalLoop = 3;
constexpr int32_t kExternalLoop = 4;
constexpr int32_t kDioPoint = 5;

// A control group shows its first six member slots.
constexpr int kControlMembersShown = 6;
// A name of this many characters or more gets a tip with the whole name, of at most kTipLength.
constexpr int kTipFrom = 9;
constexpr int kTipLength = 79;

// The panel as a subscriber of the hub.
constexpr HubSubscriber Own(uint32_t n) {
    return {HUB_CHANNEL_SIMPLE_PANEL, n};
}

template <class W>
W* Caption(W* w, const char* source) {
    return SetCaption(w, "CSimplePanelDlg", source);
}

template <size_t N>
QString Field(const char (&text)[N]) {
    return QString::fromLatin1(text, static_cast<qsizetype>(strnlen(text, N)));
}

bool IsControlKind(int32_t kind) {
    return kind == kControlGroup || kind == kProgram;
}

}  // namespace

QSize CSimplePanelDlg::TemplateSize() {
    return DialogUnitsToPixels(315, 199);
}

CSimplePanelDlg::CSimplePanelDlg(const CViewContext& context, QWidget* parent)
    : QWidget(parent), context_(context) {
    body_ = new QWidget(this);
    const auto label = [](const char* caption, QWidget* parent) {
        auto* l = Caption(new QLabel(parent), caption);
        NameAfter(l, l->text());
        return l;
    };
    const auto button = [this](const QString& caption, const QString& name) {
        auto* b = new QPushButton(caption, body_);
        NameAfter(b, name);
        return b;
    };
    const auto radio = [this](const char* caption) {
        auto* r = Caption(new QRadioButton(body_), caption);
        NameAfter(r, r->text());
        return r;
    };

    auto* view = Caption(new QGroupBox(body_), QT_TR_NOOP("View"));
    NameAfter(view, view->title());
    auto* top = new QHBoxLayout;
    top->setSpacing(kPanelSpacing);
    top->addWidget(label(QT_TR_NOOP("Data:"), body_));
    control_ = radio(QT_TR_NOOP("Control"));
    measurement_ = radio(QT_TR_NOOP("Measurement"));
    program_ = radio(QT_TR_NOOP("Program"));
    for (QWidget* w : {static_cast<QWidget*>(control_), static_cast<QWidget*>(measurement_),
                       static_cast<QWidget*>(program_)}) {
        top->addWidget(w);
    }
    top->addStretch(1);
    groupList_ = new QComboBox(body_);
    // At least as wide as the longest group name.
    groupList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    groupList_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    NameAfter(groupList_, QStringLiteral("Group:"));
    memoryLabel_ = label(QT_TR_NOOP("Memory:"), body_);
    memory_ = button(QString(), QStringLiteral("Memory"));
    SetRzCaption(memory_, RzStr::kMemoryStart);
    mathLabel_ = label(QT_TR_NOOP("Math:"), body_);
    math_ = button(QString(), QStringLiteral("Math"));
    SetRzCaption(math_, RzStr::kMathStart);
    previous_ = button(QStringLiteral("<"), QStringLiteral("Previous page"));
    next_ = button(QStringLiteral(">"), QStringLiteral("Next page"));
    auto* functions = new QHBoxLayout;
    functions->setSpacing(kPanelSpacing);
    functions->addWidget(label(QT_TR_NOOP("Group:"), body_));
    functions->addWidget(groupList_);
    functions->addStretch(1);
    for (QWidget* w : std::initializer_list<QWidget*>{memoryLabel_, memory_, mathLabel_, math_}) {
        functions->addWidget(w);
    }
    for (QPushButton* page : {previous_, next_}) {
        page->setMaximumWidth(page->fontMetrics().horizontalAdvance(u'M') * 3);
        functions->addWidget(page);
    }

    static const char* const kRowCaptions[kRows] = {
        nullptr, QT_TR_NOOP("Type:"), QT_TR_NOOP("MODE:"), "", "", ""};
    static const std::optional<RzStr> kRowStrings[kRows] = {
        {}, {}, {}, RzStr::kPvCaption, RzStr::kSpCaption, RzStr::kOutCaption};
    static const char* const kRowNames[kRows] = {"Name", "Type", "Mode", "Value", "SP", "OUT"};
    auto* columns = new QHBoxLayout(view);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(1);
    for (int c = 0; c < kColumns; ++c) {
        Column& column = columns_[c];
        column.frame = new QGroupBox(view);
        NameAfter(column.frame, QStringLiteral("Column %1").arg(c + 1));
        auto* rows = new QVBoxLayout(column.frame);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(1);
        for (int row = 0; row < kRows; ++row) {
            if (kRowCaptions[row] != nullptr) {
                column.labels[row] = label(kRowCaptions[row], column.frame);
                if (kRowStrings[row]) {
                    SetRzCaption(column.labels[row], *kRowStrings[row]);
                    NameAfter(column.labels[row], column.labels[row]->text());
                }
                rows->addSpacing(row == kTypeRow ? 6 : 2);
                rows->addWidget(column.labels[row]);
            }
            auto* box = new QLineEdit(column.frame);
            box->setReadOnly(true);
            // Without a frame a box gives its text all of the column's narrow width.
            box->setFrame(false);
            box->setAccessibleName(QStringLiteral("%1 %2").arg(kRowNames[row]).arg(c + 1));
            column.boxes[row] = box;
            rows->addWidget(box);
        }
        rows->addStretch(1);
        columns->addWidget(column.frame, 1);
    }
    auto* body = new QVBoxLayout(body_);
    body->setContentsMargins(2, 2, 2, 2);
    body->setSpacing(kPanelSpacing);
    body->addLayout(top);
    body->addLayout(functions);
    body->addWidget(view, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(body_);
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    SizeColumns();
    resize(TemplateSize().expandedTo(minimumSizeHint()));

    connect(control_, &QRadioButton::clicked, this, [this] { OnKindChosen(kControlGroup); });
    connect(measurement_, &QRadioButton::clicked, this,
            [this] { OnKindChosen(kMeasurementGroup); });
    connect(program_, &QRadioButton::clicked, this, [this] { OnKindChosen(kProgram); });
    connect(groupList_, &QComboBox::activated, this, &CSimplePanelDlg::OnGroupChosen);
    connect(memory_, &QPushButton::clicked, this, &CSimplePanelDlg::OnMemory);
    connect(math_, &QPushButton::clicked, this, &CSimplePanelDlg::OnMath);
    connect(previous_, &QPushButton::clicked, this, [this] {
        if (context_.connection != nullptr) {
            SetPage(std::max(0, context_.connection->ViewState().simplePage - 1));
        }
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (context_.connection != nullptr) {
            SetPage(std::min(1, context_.connection->ViewState().simplePage + 1));
        }
    });

    if (context_.hub != nullptr) {
        // Each event action is skipped while the panel is hidden.
        const auto on = [this](HubSubscriber who, auto event, auto react) {
            context_.hub->Subscribe(who, event, [this, react](auto payload) {
                if (isVisible()) {
                    react(payload);
                }
            });
        };
        on(Own(1), kDisplayKindEvent, [this](int32_t kind) { FillGroupCombo(kind, 0); });
        on(Own(2), kDisplayKindEvent, [this](int32_t kind) { ShowMemoryMath(kind); });
        on(Own(3), kDisplayGroupEvent, [this](int32_t) { ShowPageButtons(); });
        on(Own(4), kDisplayGroupEvent, [this](int32_t) { OnGroup(); });
        on(Own(5), DataRefreshedEvent(context_.connectionId), [this](uint32_t) { FillColumns(); });
    }

    if (const std::optional<CInstrumentModel> model = ReadModel()) {
        program_->setVisible(model->firmwareMajor >= 2 && model->loopCount >= 1 &&
                             model->accessLevel[0] == 'A' && model->programOption != 0);
    }
    for (int c = 0; c < kColumns; ++c) {
        FillColumn(c, nullptr, Part::kBlank);
    }
}

void CSimplePanelDlg::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        RetranslateCaptions(this);
    } else if (event->type() == QEvent::FontChange) {
        SizeColumns();
    }
}

void CSimplePanelDlg::SizeColumns() {
    // Wide enough for the longest value the instrument shows, "12345.678", and the box's own
    // 2 pixels either side; longer names get their tip.
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("12345.678")) + 4;
    for (const Column& column : columns_) {
        for (QLineEdit* box : column.boxes) {
            box->setMinimumWidth(width);
        }
    }
}

CSimplePanelDlg::~CSimplePanelDlg() {
    if (context_.hub != nullptr) {
        context_.hub->UnsubscribeChannel(HUB_CHANNEL_SIMPLE_PANEL);
    }
}

std::optional<CInstrumentModel> CSimplePanelDlg::ReadModel() const {
    if (context_.connection == nullptr) {
        return std::nullopt;
    }
    return context_.connection->CopyModel();
}

void CSimplePanelDlg::Publish(HubEvent<int32_t> event, int32_t value) {
    if (context_.hub != nullptr) {
        context_.hub->Publish(event, value);
    }
}

void CSimplePanelDlg::SetBusy(bool busy) {
    busy_ = busy;
    body_->setEnabled(!busy);
}

void CSimplePanelDlg::OnKindChosen(int32_t kind) {
    const std::optional<CInstrumentModel> model = ReadModel();
    if (!model || model->displayKind == kind) {
        return;
    }
    context_.connection->UpdateViewState([kind](CViewState& state) { state.displayKind = kind; });
    Publish(kDisplayKindEvent, kind);
}

void CSimplePanelDlg::OnGroupChosen(int index) {
    if (context_.connection == nullptr || index < 0) {
        return;
    }
    const int32_t group = groupList_->itemData(index).toInt();
    context_.connection->UpdateViewState(
        [group](CViewState& state) { state.displayGroup = group; });
    Publish(kDisplayGroupEvent, group);
}

void CSimplePanelDlg::FillGroupCombo(int32_t kind, int32_t group) {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    groupList_->clear();
    if (IsControlKind(kind)) {
        const int count = std::clamp(model.controlGroupCount, 0, kMaxControlGroups);
        for (int g = 0; g < count; ++g) {
            if (model.controlGroups[g].name[0] != '\0') {
                groupList_->addItem(Field(model.controlGroups[g].name), g);
            }
        }
    } else if (kind == kMeasurementGroup) {
        const int count = std::clamp(model.displayGroupCount, 0, kMaxDisplayGroups);
        for (int g = 0; g < count; ++g) {
            if (model.displayGroups[g].name[0] != '\0') {
                groupList_->addItem(Field(model.displayGroups[g].name), g);
            }
        }
    } else {
        return;
    }
    // Groups without a name are not listed, so a position in the list is not a group: the
    // entry of the group is chosen, or the first one when that group is not listed, and the
    // group the list names is the one stored.
    int index = groupList_->findData(group);
    if (index < 0 && groupList_->count() > 0) {
        index = 0;
    }
    groupList_->setCurrentIndex(index);
    const int32_t chosen = index >= 0 ? groupList_->itemData(index).toInt() : group;
    context_.connection->UpdateViewState(
        [chosen](CViewState& state) { state.displayGroup = chosen; });
    Publish(kDisplayGroupEvent, chosen);
}

void CSimplePanelDlg::ShowMemoryMath(int32_t kind) {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    bool shown = false;
    if (kind == kMeasurementGroup) {
        shown = model.accessLevel[0] == 'A';
    } else if (!IsControlKind(kind)) {
        return;
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{memoryLabel_, memory_, mathLabel_, math_}) {
        control->setVisible(shown);
    }
    if (shown) {
        SetRzCaption(memory_, model.memoryRunning != 0 ? RzStr::kMemoryStop : RzStr::kMemoryStart);
        SetRzCaption(math_, model.mathRunning != 0 ? RzStr::kMathStop : RzStr::kMathStart);
    }
}

// Starts what runs or stops what is stopped; on success the button names the next action.
template <class Choose>
void CSimplePanelDlg::StartStop(const char* name, QPushButton* button, RzStr startCaption,
                                RzStr stopCaption, Choose choose) {
    ShowStatusMessage("");
    const std::optional<CInstrumentModel> read = busy_ ? std::nullopt : ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    // Not a structured binding: clang before 16 cannot capture one.
    auto chosen = choose(model);
    const bool running = chosen.first;
    const RzResult started = StartViewOperation(
        context_, name, std::move(chosen.second),
        [this, button, running, startCaption, stopCaption](RzResult result) {
            SetBusy(false);
            if (result == RZ_OK) {
                SetRzCaption(button, running ? startCaption : stopCaption);
            }
        },
        this, [this] { SetBusy(false); });
    if (started == RZ_OK) {
        SetBusy(true);
    }
}

void CSimplePanelDlg::OnMemory() {
    const auto choose = [](const CInstrumentModel& model) {
        const bool running = model.memoryRunning != 0;
        return std::make_pair(running, [running](CInstrumentConnection& c) {
            return c.SetMemoryRunning(running ? 0 : 1);
        });
    };
    StartStop("Memory", memory_, RzStr::kMemoryStart, RzStr::kMemoryStop, choose);
}

void CSimplePanelDlg::OnMath() {
    const auto choose = [](const CInstrumentModel& model) {
        const bool running = model.mathRunning != 0;
        return std::make_pair(running, [running](CInstrumentConnection& c) {
            return c.OperateMath(running ? 2 : 1);
        });
    };
    StartStop("Math", math_, RzStr::kMathStart, RzStr::kMathStop, choose);
}

void CSimplePanelDlg::OnGroup() {
    // The list names the group shown, also when the group was chosen elsewhere (the view's
    // group commands).
    if (context_.connection != nullptr) {
        const int index = groupList_->findData(context_.connection->ViewState().displayGroup);
        if (index >= 0) {
            groupList_->setCurrentIndex(index);
        }
    }
    FillColumns();
}

void CSimplePanelDlg::ShowPageButtons() {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    const int32_t g = model.displayGroup;
    if (model.displayKind != kMeasurementGroup) {
        previous_->hide();
        next_->hide();
        return;
    }
    int members = 0;
    if (g >= 0 && g < kMaxDisplayGroups) {
        for (const CGroupMember& member : model.displayGroups[g].members) {
            members += member.number != 0 ? 1 : 0;
        }
    }
    const bool paged = members > kColumns;
    previous_->setVisible(paged);
    next_->setVisible(paged);
    if (paged) {
        previous_->setEnabled(false);
        next_->setEnabled(true);
    }
    SetPage(0);
}

void CSimplePanelDlg::SetPage(int32_t page) {
    if (context_.connection == nullptr || context_.connection->ViewState().simplePage == page) {
        return;
    }
    context_.connection->UpdateViewState([page](CViewState& state) { state.simplePage = page; });
    if (page == 0) {
        next_->setEnabled(true);
    } else if (page == 1) {
        next_->setEnabled(false);
    }
    previous_->setEnabled(page != 0);
    if (isVisible()) {
        FillColumns();
    }
}

void CSimplePanelDlg::FillColumns() {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    const int32_t kind = model.displayKind;
    const int32_t g = model.displayGroup;
    int col = 0;
    // Member numbers come from the instrument's answers: one that names no record of the model
    // takes no column.
    if (IsControlKind(kind)) {
        const CGroupMember* members =
            g >= 0 && g < kMaxControlGroups ? model.controlGroups[g].members : nullptr;
        for (int i = 0; members != nullptr && i < kControlMembersShown && col < kColumns; ++i) {
            const int32_t n = members[i].number;
            if (members[i].kind == 0) {
                continue;
            }
            if (n < 1) {
                break;
            }
            switch (members[i].kind) {
                case kMeasChannel:
                case kMathChannel:
                    if (n <= kChannels) {
                        FillColumn(col++, &model.channels[n - 1].display, Part::kPv, true);
                    }
                    break;
                case kInternalLoop:
                    if (n <= kInternalLoops) {
                        FillColumn(col++, &model.internalLoops[n - 1].display, Part::kWhole);
                    }
                    break;
                case kExternalLoop:
                    if (n <= kExternalLoops) {
                        FillColumn(col++, &model.externalLoops[n - 1].display, Part::kWhole);
                    }
                    break;
                case kDioPoint:
                    if (n <= kDioPoints && model.dio[n - 1].present != 0) {
                        FillColumn(col++, &model.dio[n - 1].display, Part::kWhole);
                    }
                    break;
                default:
                    break;
            }
        }
    } else if (kind == kMeasurementGroup) {
        const CGroupMember* members =
            g >= 0 && g < kMaxDisplayGroups ? model.displayGroups[g].members : nullptr;
        int first = 0;
        if (members != nullptr && model.simplePage == 1) {
            // Page 1 starts after the sixth member in use; without one it shows nothing.
            first = kGroupMembers;
            for (int i = 0, inUse = 0; i < kGroupMembers; ++i) {
                if (members[i].number != 0 && ++inUse == kColumns) {
                    first = i + 1;
                    break;
                }
            }
        }
        static const Part kParts[3] = {Part::kPv, Part::kSp, Part::kOut};
        for (int i = first; members != nullptr && i < kGroupMembers && col < kColumns; ++i) {
            const int32_t n = members[i].number;
            if (n < 1) {
                break;
            }
            switch (members[i].kind) {
                case kMeasChannel:
                case kMathChannel:
                    if (n <= kChannels) {
                        FillColumn(col++, &model.channels[n - 1].display, Part::kPv, true);
                    }
                    break;
                case kInternalLoop:
                    if (n >= 101 && (n - 101) / 3 < kInternalLoops) {
                        FillColumn(col++, &model.internalLoops[(n - 101) / 3].display,
                                   kParts[(n - 101) % 3]);
                    }
                    break;
                case kExternalLoop:
                    if (n >= 201 && (n - 201) / 3 < kExternalLoops) {
                        FillColumn(col++, &model.externalLoops[(n - 201) / 3].display,
                                   kParts[(n - 201) % 3]);
                    }
                    break;
                default:
                    break;
            }
        }
    } else {
        return;
    }
    while (col < kColumns) {
        FillColumn(col++, nullptr, Part::kBlank);
    }
}

void CSimplePanelDlg::FillColumn(int c, const CDisplayBlock* record, Part part, bool wholeValue) {
    Column& column = columns_[c];
    auto& box = column.boxes;
    auto& label = column.labels;
    if (record == nullptr || part == Part::kBlank) {
        SetRzCaption(label[kValueRow], RzStr::kPvCaption);
        for (QLineEdit* b : box) {
            SetBox(b, QString());
        }
        for (int row = kTypeRow; row < kRows; ++row) {
            label[row]->setEnabled(false);
        }
        return;
    }
    SetBox(box[kTypeRow], Field(record->typeText));
    SetBox(box[kModeRow], QString());
    label[kTypeRow]->setEnabled(true);
    label[kValueRow]->setEnabled(true);
    const bool whole = part == Part::kWhole;
    for (int row : {kSpRow, kOutRow, kModeRow}) {
        label[row]->setEnabled(whole);
    }
    if (whole) {
        SetBox(box[kNameRow], Field(record->name));
        SetBox(box[kModeRow], Field(record->modeText));
        SetRzCaption(label[kValueRow], RzStr::kPvCaption);
        SetBox(box[kValueRow], Field(record->valueText[0]));
        SetBox(box[kSpRow], Field(record->valueText[1]));
        SetBox(box[kOutRow], Field(record->valueText[2]));
        return;
    }
    static const RzStr kCaptions[3] = {RzStr::kPvCaption, RzStr::kSpCaption, RzStr::kOutCaption};
    const int sub = part == Part::kPv ? 0 : (part == Part::kSp ? 1 : 2);
    SetBox(box[kNameRow], Field(record->tag[sub]));
    SetRzCaption(label[kValueRow], kCaptions[sub]);
    if (wholeValue) {
        // A channel's value text takes all three value fields.
        WholeValueText text;
        GetWholeValueText(*record, text);
        SetBox(box[kValueRow], Field(text));
    } else {
        SetBox(box[kValueRow], Field(record->valueText[sub]));
    }
    SetBox(box[kSpRow], QString());
    SetBox(box[kOutRow], QString());
}

void CSimplePanelDlg::SetBox(QLineEdit* box, const QString& text) {
    box->setText(text);
    // A name too long for the box shows its beginning; its tip shows it whole.
    box->setCursorPosition(0);
    if (text.isEmpty()) {
        box->setPalette(QPalette());
    } else {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Text, QColor(135, 241, 202));
        palette.setColor(QPalette::Base, Qt::black);
        box->setPalette(palette);
    }
    for (const Column& column : columns_) {
        if (column.boxes[kNameRow] == box) {
            box->setToolTip(text.size() >= kTipFrom ? PlainToolTip(text.left(kTipLength))
                                                    : QString());
        }
    }
}

void CSimplePanelDlg::Resync() {
    const std::optional<CInstrumentModel> read = ReadModel();
    if (!read) {
        return;
    }
    const CInstrumentModel& model = *read;
    int32_t kind = model.displayKind;
    int32_t group = model.displayGroup;
    switch (kind) {
        case kControlGroup:
            control_->setChecked(true);
            break;
        case kMeasurementGroup:
            measurement_->setChecked(true);
            break;
        case kOverview:
            measurement_->setChecked(true);
            kind = kMeasurementGroup;
            group = 0;
            break;
        case kProgram:
            program_->setChecked(true);
            break;
        default:
            control_->setChecked(true);
            kind = kControlGroup;
            group = 0;
            break;
    }
    context_.connection->UpdateViewState([kind, group](CViewState& state) {
        state.displayKind = kind;
        state.displayGroup = group;
    });
    SetPage(0);
    ShowMemoryMath(kind);
    FillGroupCombo(kind, group);
}
