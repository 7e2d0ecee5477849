#include "views/RzView.h"

#include <QDateTime>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QTimer>
#include <cstring>

#include "platform/EventHub.h"
#include "platform/StatusSink.h"
#include "views/DialogUnits.h"
#include "views/FunctionCommands.h"
#include "views/ImageWindow.h"
#include "views/LoopPanelDlg.h"
#include "views/ProgramPanelDlg.h"
#include "views/SimplePanelDlg.h"
#include "views/ViewOperations.h"

namespace {

// The view and its image window as subscribers of the hub.
constexpr HubSubscriber kViewSubscriber{HUB_CHANNEL_VIEW, 1};
constexpr HubSubscriber kImageSubscriber{HUB_CHANNEL_IMAGE_WINDOW, 1};

// Height of the panels beside a full-size screen.
constexpr int kFullScreenHeight = 482;

int64_t SteadyNs(std::chrono::steady_clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

// The display code that shows what the display state describes.
int32_t CodeForState(const CViewState& s) {
    switch (s.displayKind) {
        case 1:
            return s.controlStyle == 1 ? 7 : (s.controlStyle == 2 ? 9 : 8);
        case 2:
            return 10;
        case 3:
            return 14;
        case 4:
            return s.measurePage >= 0 && s.measurePage <= 2 ? s.measurePage : 0;
        case 5:
            return 11;
        case 6:
            return 3;
        case 7:
            return 12;
        default:
            return 8;
    }
}

}  // namespace

CRZView::CRZView(const CViewContext& context, QWidget* parent)
    : QWidget(parent), context_(context), createdAtNs_(SteadyNs(std::chrono::steady_clock::now())) {
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(tr("Instrument"));
    auto* ageCheck = new QTimer(this);
    ageCheck->setInterval(1000);
    connect(ageCheck, &QTimer::timeout, this,
            [this] { CheckDataAge(std::chrono::steady_clock::now()); });
    ageCheck->start();

    // The hub calls handlers in the order they subscribed: the view first, then the image
    // window and the panels in the order they are made.
    if (context_.hub != nullptr) {
        context_.hub->Subscribe(kViewSubscriber, kDisplayKindEvent,
                                [this](int32_t kind) { OnDisplayKind(kind); });
    }
    image_ = new CImageWindow(this);
    image_->setAccessibleName(tr("Screen"));
    if (context_.hub != nullptr && context_.connection != nullptr) {
        context_.hub->Subscribe(kImageSubscriber, DataRefreshedEvent(context_.connectionId),
                                [this](uint32_t) { OnDataRefreshed(); });
    }
    program_ = new CProgramPanelDlg(context_, this);
    loop_ = new CLoopPanelDlg(context_, this);
    simple_ = new CSimplePanelDlg(context_, this);
    functions_ = std::make_unique<CFunctionCommands>(context_, this);
    connect(functions_.get(), &CFunctionCommands::StatesChanged, this,
            &CRZView::CommandStatesChanged);
    for (QWidget* panel :
         {static_cast<QWidget*>(image_), program_, loop_, static_cast<QWidget*>(simple_)}) {
        panel->hide();
    }

    if (context_.connection != nullptr) {
        const Facts facts = ReadFacts();
        image_->resize(CImageWindow::CreationSize(facts.accessLevel, facts.modelClass));
        if (facts.accessLevel == 'A' && facts.modelClass != 3100) {
            for (QWidget* panel : {program_, loop_}) {
                panel->resize(panel->width(), kFullScreenHeight);
            }
        }
    }
}

CRZView::~CRZView() {
    if (context_.hub != nullptr) {
        context_.hub->Unsubscribe(kViewSubscriber, kDisplayKindEvent);
        context_.hub->Unsubscribe(kImageSubscriber, DataRefreshedEvent(context_.connectionId));
    }
}

CRZView::Facts CRZView::ReadFacts() const {
    Facts facts;
    if (context_.connection == nullptr) {
        return facts;
    }
    const auto model = std::make_unique<CInstrumentModel>(context_.connection->CopyModel());
    facts.accessLevel = model->accessLevel[0];
    facts.modelClass = model->modelClass;
    facts.firmwareMajor = model->firmwareMajor;
    facts.loopCount = model->loopCount;
    facts.programOption = model->programOption;
    return facts;
}

CViewState CRZView::State() const {
    return context_.connection != nullptr ? context_.connection->ViewState() : CViewState{};
}

void CRZView::Publish(HubEvent<int32_t> event, int32_t value) {
    if (context_.hub != nullptr) {
        context_.hub->Publish(event, value);
    }
}

void CRZView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    clearFocus();
}

void CRZView::InitialUpdate() {
    if (context_.connection == nullptr) {
        return;
    }
    if (ReadFacts().accessLevel == 'A') {
        ArrangePanels(true, false, true, false);
        const CViewState state = State();
        Publish(kDisplayKindEvent, state.displayKind);
        Publish(kDisplayGroupEvent, state.displayGroup);
    } else {
        ArrangePanels(false, true, true, false);
    }
    OnDataRefreshed();
    if (context_.connection->CycleNote() != nullptr) {
        ShowStatusMessage(context_.connection->CycleNote());
    }
}

void CRZView::ArrangePanels(bool image, bool simple, bool loop, bool program) {
    const QSize old = size();
    const bool layoutChanged = image == image_->isHidden() || simple == simple_->isHidden();
    const uint32_t oldFlags = panelFlags_;
    int x = 0;
    int h = 0;
    uint32_t flags = 0;
    int tallest = 0;

    if (image) {
        h = image_->height();
        image_->move(0, 0);
        x = image_->width();
        flags = kImageShown;
        if (image_->isHidden()) {
            if (context_.connection != nullptr) {
                context_.connection->SetScreenPolling(true);
            }
            image_->show();
            image_->update();
        }
    } else {
        image_->hide();
        if (context_.connection != nullptr) {
            context_.connection->SetScreenPolling(false);
        }
    }
    if (h > 0) {
        tallest = h;
    }

    if (simple) {
        h = simple_->height();
        simple_->move(x, 0);
        x += simple_->width();
        flags = image ? kImageShown | kSimpleShown : kSimpleShown;
        simple_->show();
    } else {
        simple_->hide();
    }
    tallest = std::max(tallest, h);

    // The loop and program panels take the height of the panel placed before them.
    const std::pair<QWidget*, uint32_t> besides[] = {{loop_, kLoopShown},
                                                     {program_, kProgramShown}};
    const bool wanted[] = {loop, program};
    for (size_t i = 0; i < 2; ++i) {
        QWidget* panel = besides[i].first;
        if (wanted[i]) {
            panel->setGeometry(x, 0, panel->width(), h);
            x += panel->width();
            flags |= besides[i].second;
            panel->show();
            // A panel that needs more room than that (a larger font) keeps its own height.
            tallest = std::max(tallest, panel->height());
        } else {
            panel->hide();
        }
        update();
        tallest = std::max(tallest, h);
    }

    panelFlags_ = flags;
    emit ImageShownChanged((flags & kImageShown) != 0);
    if (layoutChanged) {
        arranged_ = QSize(x, tallest);
        resize(arranged_);
        emit SizeChanged(x - old.width(), tallest - old.height());
    } else if (!arranged_.isValid()) {
        arranged_ = QSize(x, tallest);
    }
    if (((oldFlags ^ flags) & kSimpleShown) != 0 && simple) {
        simple_->Resync();
    }
    if (((oldFlags ^ flags) & kImageShown) != 0 && image) {
        ResyncImage();
    }
}

void CRZView::SetTabShown(bool shown) {
    if (context_.connection == nullptr) {
        return;
    }
    CInstrumentConnection& c = *context_.connection;
    c.SetScreenPolling(shown && ImageShownNow());
    const bool again = shown && tabHidden_;
    tabHidden_ = !shown;
    if (again && ImageShownNow()) {
        c.RequestScreenImage();
    }
}

void CRZView::ResyncImage() {
    if (!imageShownOnce_) {
        imageShownOnce_ = true;
        image_->update();
        return;
    }
    const CViewState state = State();
    StartSwitch(CodeForState(state), state.displayGroup + 1, true);
    image_->update();
}

void CRZView::OnDisplayKind(int32_t kind) {
    const bool image = (panelFlags_ & kImageShown) != 0;
    const bool simple = (panelFlags_ & kSimpleShown) != 0;
    if (kind == 5) {
        if (program_ != nullptr && program_->isHidden()) {
            ArrangePanels(image, simple, false, true);
        }
    } else if (loop_ != nullptr && loop_->isHidden()) {
        ArrangePanels(image, simple, true, false);
    }
}

void CRZView::OnDataRefreshed() {
    if (context_.connection == nullptr) {
        return;
    }
    CInstrumentConnection& c = *context_.connection;
    fresh_ = c.Freshness();
    // An image that arrived since the last look makes the screen fresh once it decodes; bytes
    // equal to the last ones keep their verdict and are not decoded again.
    if (fresh_.image.validAtNs != imageSeenAtNs_) {
        imageSeenAtNs_ = fresh_.image.validAtNs;
        bool same = false;
        c.WithImage([this, &same](const uint8_t* data, uint32_t length) {
            same = length == lastImage_.size() &&
                   (length == 0 || std::memcmp(data, lastImage_.data(), length) == 0);
            if (!same) {
                lastImage_.assign(data, data + length);
            }
        });
        if (!same) {
            imageDecoded_ =
                image_->SetImageBytes(lastImage_.data(), static_cast<uint32_t>(lastImage_.size()));
        }
        if (imageDecoded_) {
            screenValidAtNs_ = fresh_.image.validAtNs;
        }
    }
    // "Updated" moves on once every source shown has brought valid data since the time it
    // tells; a screen not being fetched (its tab hidden) holds it back no longer.
    const bool screen = ImageShownNow() && c.ScreenPolling();
    const auto now = std::chrono::steady_clock::now();
    if (fresh_.values.validAtNs > updatedAtNs_ && (!screen || screenValidAtNs_ > updatedAtNs_)) {
        const int64_t updated =
            screen ? std::max(fresh_.values.validAtNs, screenValidAtNs_) : fresh_.values.validAtNs;
        updatedAtNs_ = updated;
        const QDateTime at =
            QDateTime::currentDateTime().addMSecs(-(SteadyNs(now) - updated) / 1000000);
        emit DataUpdated(tr("Updated %1").arg(at.toString(QStringLiteral("HH:mm:ss"))));
    }
    CheckDataAge(now);
}

void CRZView::CheckDataAge(std::chrono::steady_clock::time_point now) {
    if (context_.connection == nullptr) {
        return;
    }
    // A pass waits at least one slice, whatever the cycle.
    const int64_t limit =
        2LL * std::max<int64_t>(context_.connection->Cycle(), kCycleSliceMs) * 1000000;
    const auto age = [this, now](int64_t validAt) {
        return SteadyNs(now) - (validAt != 0 ? validAt : createdAtNs_);
    };
    const bool valuesStale = age(fresh_.values.validAtNs) > limit;
    const bool screenStale = age(screenValidAtNs_) > limit;
    image_->SetStaleText(
        screenStale ? tr("No data for %1 s").arg(age(screenValidAtNs_) / 1000000000) : QString());
    // The middle pane of the status bar says why, once for each new reason.
    std::string reason = valuesStale ? fresh_.values.reason : "";
    if (screenStale && ImageShownNow()) {
        const std::string screen = fresh_.image.reason[0] != '\0' ? fresh_.image.reason
                                   : imageDecoded_                ? ""
                                                                  : kScreenUnreadable;
        if (!screen.empty() && screen != reason) {
            reason += (reason.empty() ? "" : "; ") + screen;
        }
    }
    if (reason != reasonShown_) {
        reasonShown_ = reason;
        if (!reason.empty()) {
            ShowStatusMessage(reason);
        }
    }
    if (valuesStale == stale_) {
        return;
    }
    stale_ = valuesStale;
    // The panels' values grey out; their controls stay usable.
    for (QWidget* panel : {static_cast<QWidget*>(simple_), loop_, program_}) {
        if (valuesStale) {
            auto* grey = new QGraphicsOpacityEffect(panel);
            grey->setOpacity(0.45);
            panel->setGraphicsEffect(grey);
        } else {
            panel->setGraphicsEffect(nullptr);
        }
    }
}

bool CRZView::RefusedWhileBusy() {
    if (context_.connection == nullptr) {
        return true;
    }
    if (!context_.connection->OperationRunning()) {
        return false;
    }
    // Refused at once; the status text names the operation that runs.
    StartViewOperation(
        context_, "", [](CInstrumentConnection&) { return RZ_OK; }, {}, this);
    return true;
}

bool CRZView::StartSwitch(int32_t code, int32_t group, bool followUp) {
    return (followUp ? StartViewFollowUp : StartViewOperation)(
               context_, "Display switch",
               [code, group](CInstrumentConnection& c) { return c.SwitchDisplay(code, group); },
               [this](RzResult) { emit CommandStatesChanged(); }, this, {}) == RZ_OK;
}
