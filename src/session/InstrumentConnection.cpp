#include "session/InstrumentConnection.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/EventHub.h"
#include "platform/Strings.h"
#include "session/InstrumentSummary.h"
#include "session/LoginDialogue.h"

namespace {

// Size of the screen image a connection can hold.
constexpr size_t kImageCapacity = 1228800;

// Waits on the connection's stop event; the stopwatch runs on the steady clock.
class CSteadyCycleClock : public CCycleClock {
  public:
    explicit CSteadyCycleClock(CEvent* stop) : stop_(stop) {}
    uint32_t Stopwatch() override {
        const auto now = std::chrono::steady_clock::now();
        const auto elapsed =
            started_ ? std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count()
                     : 0;
        started_ = true;
        last_ = now;
        return static_cast<uint32_t>(elapsed);
    }
    bool WaitForStop(uint32_t ms) override { return stop_->WaitFor(std::chrono::milliseconds(ms)); }

  private:
    CEvent* stop_;
    bool started_ = false;
    std::chrono::steady_clock::time_point last_;
};

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Notes a source's load step: valid data now, or why not (the instrument's line, else
// `otherwise`).
RzResult Noted(CSourceFreshness& source, RzResult result, const char* line, const char* otherwise) {
    if (result == RZ_OK) {
        source.validAtNs = SteadyNowNs();
        source.reason[0] = '\0';
    } else {
        KeepErrorLine(source.reason, line != nullptr && *line != '\0' ? line : otherwise);
    }
    return result;
}

template <class Record>
void ApplyLoopEdits(const CLoopEdits& edits, Record& record) {
    record.spEdited = edits.spEdited;
    record.outEdited = edits.outEdited;
    record.outValue = edits.outValue;
}

// Writes the view-owned fields into a model copy.
void ApplyViewState(const CViewState& state, CInstrumentModel& model) {
    model.displayKind = state.displayKind;
    model.displayGroup = state.displayGroup;
    model.simplePage = state.simplePage;
    model.selectedPattern = state.selectedPattern;
    model.controlStyle = state.controlStyle;
    model.trendOptions = state.trendOptions;
    model.measurePage = state.measurePage;
    for (int i = 0; i < kInternalLoops; ++i) {
        ApplyLoopEdits(state.internalLoops[i], model.internalLoops[i]);
    }
    for (int i = 0; i < kExternalLoops; ++i) {
        ApplyLoopEdits(state.externalLoops[i], model.externalLoops[i]);
    }
    for (int i = 0; i < kDioPoints; ++i) {
        model.dio[i].outEdited = state.dio[i].outEdited;
        model.dio[i].outValue = state.dio[i].outValue;
    }
}

}  // namespace

CModelSizes ModelSizesFor(int32_t modelNumber) {
    if (modelNumber == 3100) {
        return {6, 4, 12};
    }
    return {10, 8, 36};
}

CInstrumentConnection::CInstrumentConnection(uint32_t id, CEventHub* hub, CLinkTransport* link,
                                             QObject* eventContext)
    : id_(id),
      hub_(hub),
      link_(link),
      eventContext_(eventContext),
      commands_(std::make_unique<CCommandSet>()),
      loader_(*commands_, model_),
      summary_(std::make_unique<CInstrumentSummary>()),
      clock_(std::make_unique<CSteadyCycleClock>(&stopEvent_)),
      runner_(*this, [this](RzResult result) {
          // The communication-error event follows the result of the operation that lost the
          // link.
          if (LostLink(result)) {
              PublishLinkLostOnce();
          }
      }) {}

CInstrumentConnection::~CInstrumentConnection() {
    StopCycle();
}

RzExpected<void> CInstrumentConnection::Prepare(const CInstrumentIdentity& identity) {
    if (!IsSupportedIdentity(identity)) {
        return RzError(LINK_E_UNSUPPORTED, {}, {RzString(RzStr::kUnsupportedHardware)});
    }
    std::lock_guard lock(commandLock_);
    model_ = CInstrumentModel{};
    std::memcpy(model_.userCode, "E", 2);
    std::memcpy(model_.accessLevel, "U", 2);
    std::memcpy(model_.family, identity.family, sizeof model_.family);
    model_.family[sizeof model_.family - 1] = '\0';
    model_.modelClass = identity.modelNumber;
    model_.firmwareMajor = identity.firmwareMajor;
    model_.version = identity.version;
    model_.programOption = identity.programOption;
    std::memcpy(model_.pidAux, identity.pidAux, sizeof model_.pidAux);
    const CModelSizes sizes = ModelSizesFor(identity.modelNumber);
    model_.displayGroupCount = sizes.displayGroups;
    model_.controlGroupCount = sizes.controlGroups;
    model_.dioCount = sizes.dioPoints;
    const RzResult result = commands_->Bind(link_, &model_, &model_);
    levelPolling_ = 1;
    {
        std::lock_guard view(snapshotLock_);
        viewState_ = CViewState{};
    }
    PublishSnapshot(false);
    return ExpectedOf(result);
}

void CInstrumentConnection::ApplyStartNames() {
    std::lock_guard lock(commandLock_);
    loader_.ApplyDefaultNames();
    PublishSnapshot(false);
}

// --- Snapshot ------------------------------------------------------------------------------

void CInstrumentConnection::PublishSnapshot(bool withImage) {
    std::lock_guard lock(snapshotLock_);
    summaryCurrent_ = false;  // made from this snapshot when a reader asks (Summary)
    snapshot_ = model_;
    if (withImage && model_.imageData != nullptr && model_.imageLength <= kImageCapacity) {
        image_.reserve(kImageCapacity);  // once, at the first image: no later one reallocates
        image_.assign(model_.imageData, model_.imageData + model_.imageLength);
        imageLength_ = model_.imageLength;
    }
    snapshot_.imageData = nullptr;
    snapshot_.imageLength = imageLength_;
    publishedFresh_ = fresh_;
}

RzResult CInstrumentConnection::LoadValuesNoted() {
    const CCmdFD* fd = commands_->Get<CCmdFD>();
    return Noted(fresh_.values, loader_.LoadValues(), fd ? fd->errorLine : nullptr,
                 "Values could not be read");
}

RzResult CInstrumentConnection::LoadScreenImageNoted(bool* outNew) {
    fresh_.image.polled = levelPolling_ == 1 && model_.accessLevel[0] == 'A';
    if (!fresh_.image.polled) {
        return RZ_OK;
    }
    const CCmdFC* fc = commands_->Get<CCmdFC>();
    const RzResult result = Noted(fresh_.image, loader_.LoadScreenImage(),
                                  fc ? fc->errorLine : nullptr, kScreenUnreadable);
    if (outNew != nullptr) {
        *outNew = result == RZ_OK;
    }
    return result;
}

CDataFreshness CInstrumentConnection::Freshness() const {
    std::lock_guard lock(snapshotLock_);
    return publishedFresh_;
}

CInstrumentSummary CInstrumentConnection::Summary() const {
    std::lock_guard lock(snapshotLock_);
    if (!summaryCurrent_) {
        *summary_ = SummarizeInstrument(snapshot_, publishedFresh_);
        summaryCurrent_ = true;
    }
    return *summary_;
}

CInstrumentModel CInstrumentConnection::CopyModel() const {
    std::lock_guard lock(snapshotLock_);
    CInstrumentModel model = snapshot_;
    ApplyViewState(viewState_, model);
    return model;
}

void CInstrumentConnection::WithImage(
    const std::function<void(const uint8_t*, uint32_t)>& reader) const {
    std::lock_guard lock(snapshotLock_);
    reader(imageLength_ != 0 ? image_.data() : nullptr, imageLength_);
}

CViewState CInstrumentConnection::ViewState() const {
    std::lock_guard lock(snapshotLock_);
    return viewState_;
}

void CInstrumentConnection::UpdateViewState(const std::function<void(CViewState&)>& change) {
    std::lock_guard lock(snapshotLock_);
    change(viewState_);
}

void CInstrumentConnection::UpdateModel(const std::function<void(CInstrumentModel&)>& change) {
    std::lock_guard lock(commandLock_);
    change(model_);
    PublishSnapshot(false);
}

// --- Operations ----------------------------------------------------------------------------

RzExpected<void> CInstrumentConnection::StartOperation(const char* name, OperationBody body,
                                                       ResultHandler done, QObject* receiver) {
    return runner_.Start(name != nullptr ? name : "", std::move(body), std::move(done), receiver);
}

RzExpected<void> CInstrumentConnection::StartSequence(const char* name, CSequence sequence,
                                                      ResultHandler done, QObject* receiver) {
    return runner_.StartSequence(name != nullptr ? name : "", std::move(sequence), std::move(done),
                                 receiver);
}

RzExpected<void> CInstrumentConnection::StartFollowUp(const char* name, OperationBody body,
                                                      ResultHandler done, QObject* receiver) {
    return runner_.StartFollowUp(name != nullptr ? name : "", std::move(body), std::move(done),
                                 receiver);
}

RzExpected<void> CInstrumentConnection::RunOperation(const char* name, OperationBody body) {
    return runner_.RunAndWait(name != nullptr ? name : "", std::move(body));
}

void CInstrumentConnection::SetPauseSource(std::unique_ptr<CPauseSource> source) {
    runner_.SetPauseSource(std::move(source));
}

// --- Lost link -----------------------------------------------------------------------------

void CInstrumentConnection::RaiseErrorFlag() {
    errorFlag_.fetch_add(1);
    // A sequence waiting in a pause ends at once.
    runner_.InterruptPauses();
}

void CInstrumentConnection::ReportLinkLost() {
    RaiseErrorFlag();
    if (OnGuiThread()) {
        PublishLinkLostOnce();
    } else {
        WakeTimer();
    }
}

void CInstrumentConnection::PublishLinkLostOnce() {
    if (hub_ == nullptr || linkLostPublished_.exchange(true)) {
        return;
    }
    // Published from the event loop, so that the manager closes the connection after the
    // operation or the timer tick that found the link broken has returned.
    CEventHub* hub = hub_;
    const uint32_t id = id_;
    auto publish = [hub, id] { hub->Publish(CommErrorEvent(id), id); };
    if (eventContext_ != nullptr) {
        QMetaObject::invokeMethod(eventContext_, publish, Qt::QueuedConnection);
    } else {
        publish();
    }
}

bool CInstrumentConnection::LostLink(RzResult result) const {
    return IsLinkBroken(result) || (result != RZ_OK && link_ != nullptr && link_->IsFailed());
}

template <class Step>
RzResult CInstrumentConnection::RunStep(Step&& step) {
    std::lock_guard lock(commandLock_);
    const RzResult result = step();
    if (LostLink(result)) {
        RaiseErrorFlag();
    }
    return result;
}

// --- Full refresh --------------------------------------------------------------------------

RzResult CInstrumentConnection::Refresh(const RefreshProgress& progress) {
    // The timer belongs to the GUI thread; a refresh on another thread leaves it alone.
    const bool timerWasRunning = PauseTimer();
    RzResult result;
    {
        std::lock_guard lock(commandLock_);
        if (errorFlag_ != 0) {
            result = LINK_E_BROKEN;
        } else {
            result = RefreshSteps(progress);
            PublishSnapshot(true);
        }
    }
    if (LostLink(result)) {
        ReportLinkLost();
        return result;
    }
    if (timerWasRunning) {
        ResumeTimer();
    }
    return result;
}

RzResult CInstrumentConnection::RefreshSteps(const RefreshProgress& progress) {
    CInstrumentModel& m = model_;
    // A refused step (a positive result) is noted once and passed; a link error ends the
    // refresh.
    refusedStepCount_ = 0;
    const auto failed = [this](RzResult r, const char* step) {
        const auto end = refusedSteps_ + refusedStepCount_;
        if (r > 0 && refusedStepCount_ < kMaxRefusedSteps &&
            std::find(refusedSteps_, end, std::string_view(step)) == end) {
            refusedSteps_[refusedStepCount_++] = step;
        }
        return r < 0;
    };
    const auto reach = [&progress](int k) {
        if (progress) {
            progress(k, kRefreshSteps);
        }
    };
    reach(1);
    RzResult r = loader_.LoadLoginInfo();
    if (failed(r, "FU"))
        return r;
    reach(2);
    if (m.accessLevel[0] != 'A') {
        levelPolling_ = 0;
    } else if (levelPolling_ == 1) {
        if (failed(r = SetTrendOptionsLocked(0, 1, 1), "UD"))
            return r;
    }
    reach(3);
    if (failed(r = loader_.LoadRunStatus(), "IF/IS"))
        return r;
    reach(4);
    if (failed(r = loader_.LoadDisplayGroups(), "SX"))
        return r;
    reach(5);
    if (failed(r = loader_.LoadTags(), "ST"))
        return r;
    reach(6);
    if (failed(r = loader_.LoadInputTypes(), "SR"))
        return r;
    reach(7);
    if (failed(r = LoadValuesNoted(), "FD"))
        return r;
    reach(8);
    if (failed(r = loader_.LoadControlGroupNames(), "FG"))
        return r;
    reach(9);
    if (failed(r = loader_.LoadControlGroupMembers(), "GG"))
        return r;
    reach(10);
    if (m.loopCount > 0) {
        if (failed(r = loader_.LoadLoopNames(), "HM"))
            return r;
        if (failed(r = loader_.LoadLoopKinds(), "PC"))
            return r;
    }
    reach(11);
    if (failed(r = LoadValuesNoted(), "FD"))
        return r;
    reach(12);
    if (m.firmwareMajor >= 3 && m.loopCount > 0) {
        if (failed(r = loader_.LoadRetransRanges(), "MT"))
            return r;
    }
    reach(13);
    if (m.firmwareMajor >= 2 && m.loopCount > 0) {
        if (failed(r = loader_.LoadLoopModes(), "FM"))
            return r;
    } else {
        loader_.SetOldFirmwareLoopDefaults();
    }
    reach(14);
    if (m.extLoopCount > 0) {
        if (failed(r = loader_.LoadExtLoops(), "GJ"))
            return r;
    }
    reach(15);
    if (m.firmwareMajor >= 2 && m.extLoopCount > 0) {
        if (failed(r = loader_.LoadExtLoopModes(), "DR"))
            return r;
    }
    reach(16);
    if (m.firmwareMajor >= 3 && m.loopCount > 0) {
        if (failed(r = loader_.LoadDioNames(), "DY"))
            return r;
        if (failed(r = loader_.LoadDioKinds(), "DX"))
            return r;
        r = loader_.LoadDioStatus();
        if (failed(r, "FO"))
            return r;
        dioAvailable_ = r == RZ_OK ? 1 : 0;
    }
    reach(17);
    if (m.programOption != 0 && m.firmwareMajor >= 3) {
        if (failed(r = loader_.LoadPatternStates(), "FW"))
            return r;
    }
    reach(18);
    if (m.loopCount > 0) {
        if (failed(r = loader_.LoadOutputTypes(), "GF"))
            return r;
        if (failed(r = loader_.LoadOutputRanges(), "HO"))
            return r;
    }
    reach(19);
    if (m.firmwareMajor >= 3 && m.extLoopCount > 0) {
        if (failed(r = loader_.LoadExtOutputRanges(), "DQ/DT"))
            return r;
    }
    reach(20);
    if (failed(r = LoadScreenImageNoted(), "FC"))
        return r;
    return RZ_OK;
}

std::vector<std::string> CInstrumentConnection::RefusedLoadSteps() const {
    std::lock_guard lock(commandLock_);
    return std::vector<std::string>(refusedSteps_, refusedSteps_ + refusedStepCount_);
}

// --- Communication cycle -------------------------------------------------------------------

void CInstrumentConnection::SetCycle(int32_t ms, const char* note) {
    commCycle_ = ms;
    commCycleNote_ = note;
}

RzResult CInstrumentConnection::StartCycle() {
    if (thread_.joinable()) {
        return LINK_E_GENERAL;
    }
    stopFlag_ = 0;
    stopEvent_.Reset();
    dataReadyEvent_.Reset();
    try {
        thread_ = std::thread([this] { ThreadMain(); });
    } catch (...) {
        return LINK_E_GENERAL;
    }
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { OnTimer(); });
    }
    timer_->setInterval(static_cast<int>(TimerIntervalForCycle(commCycle_)));
    if (timerTicking_) {
        timer_->start();
    }
    // Wake-ups the thread hands over from now on (or handed over already) reach OnTimer.
    timerCalls_.Arm();
    return RZ_OK;
}

void CInstrumentConnection::RequestStop() {
    stopFlag_.fetch_add(1);
    stopEvent_.Set();
}

void CInstrumentConnection::StopCycle() {
    if (timer_) {
        timer_->stop();
    }
    RequestStop();
    // The thread or an operation may be waiting for an answer that is slow or never comes;
    // closing the link wakes them now rather than at the end of the receive time-out.
    if ((thread_.joinable() || runner_.Busy()) && link_ != nullptr) {
        link_->Close();
    }
    runner_.Stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

RzResult CInstrumentConnection::PollOnce() {
    const auto stopped = [this] { return stopFlag_ != 0; };
    const auto patterns = [this]() -> RzResult {
        return RunStep([this]() -> RzResult {
            if (model_.firmwareMajor >= 3 && model_.programOption != 0) {
                return loader_.LoadPatternStates();
            }
            return RZ_OK;
        });
    };
    const auto values = [this] { return RunStep([this] { return LoadValuesNoted(); }); };

    RzResult r = patterns();
    if (LostLink(r))
        return r;
    r = values();
    if (LostLink(r))
        return r;
    if (stopped())
        return RZ_OK;
    r = RunStep([this]() -> RzResult {
        if (model_.firmwareMajor >= 3 && model_.loopCount >= 1 && dioAvailable_ != 0) {
            return loader_.LoadDioStatus();
        }
        return RZ_OK;
    });
    if (LostLink(r))
        return r;
    if (stopped())
        return RZ_OK;
    bool newImage = false;
    r = RunStep([this, &newImage] { return LoadScreenImageNoted(&newImage); });
    if (LostLink(r))
        return r;
    r = patterns();
    if (LostLink(r))
        return r;
    r = values();
    if (LostLink(r))
        return r;
    {
        std::lock_guard lock(commandLock_);
        PublishSnapshot(newImage);
    }
    return RZ_OK;
}

void CInstrumentConnection::ThreadMain() {
    CCycleClock& clock = *clock_;
    clock.Stopwatch();
    int32_t remaining = commCycle_;
    while (stopFlag_ == 0) {
        int64_t waited = 0;
        if (!WaitCycle(clock, remaining, &waited) && stopFlag_ == 0 && errorFlag_ == 0) {
            // Woken for the screen image, not stopped (a stop raises its flag before its event).
            stopEvent_.Reset();
            if (stopFlag_ != 0 ||
                (imageRequested_.exchange(0) != 0 && FetchRequestedImage() != RZ_OK)) {
                break;
            }
            remaining = static_cast<int32_t>(
                std::max<int64_t>(0, remaining - waited - int64_t{clock.Stopwatch()}));
            continue;
        }
        if (stopFlag_ != 0 || errorFlag_ != 0) {
            break;
        }
        if (PollOnce() != RZ_OK) {
            break;
        }
        dataReadyAtNs_ = SteadyNowNs();
        dataReadyEvent_.Set();
        WakeTimer();
        if (stopFlag_ != 0 || errorFlag_ != 0) {
            break;
        }
        remaining = NextCycleWait(commCycle_, clock.Stopwatch());
    }
    if (errorFlag_ != 0) {
        // Tell the GUI thread at once rather than at the next tick.
        WakeTimer();
    }
}

void CInstrumentConnection::RequestScreenImage() {
    imageRequested_ = 1;
    stopEvent_.Set();
}

RzResult CInstrumentConnection::FetchRequestedImage() {
    bool newImage = false;
    const RzResult r = RunStep([this, &newImage]() -> RzResult {
        if (levelPolling_ != 1 || model_.accessLevel[0] != 'A') {
            return RZ_OK;
        }
        const RzResult image = LoadScreenImageNoted();
        newImage = image == RZ_OK;
        return image;
    });
    if (LostLink(r)) {
        return r;
    }
    {
        std::lock_guard lock(commandLock_);
        PublishSnapshot(newImage);
    }
    dataReadyEvent_.Set();
    WakeTimer();
    return RZ_OK;
}

// --- GUI timer -----------------------------------------------------------------------------

void CInstrumentConnection::OnTimer() {
    if (errorFlag_ != 0) {
        timer_->stop();
        PublishLinkLostOnce();
        return;
    }
    if (stopFlag_ == 0) {
        if (!dataReadyEvent_.IsSet()) {
            return;
        }
        dataReadyEvent_.Reset();
        if (hub_ != nullptr) {
            hub_->Publish(DataRefreshedEvent(id_), id_);
        }
        return;
    }
    timer_->stop();
}

void CInstrumentConnection::WakeTimer() {
    timerCalls_.Post([this] { OnTimer(); });
}

bool CInstrumentConnection::OnGuiThread() const {
    return eventContext_ != nullptr ? eventContext_->thread() == QThread::currentThread()
                                    : std::this_thread::get_id() == madeOn_;
}

bool CInstrumentConnection::PauseTimer() {
    if (!OnGuiThread() || !timer_ || !timer_->isActive()) {
        return false;
    }
    timer_->stop();
    return true;
}

void CInstrumentConnection::ResumeTimer() {
    if (timer_ && timerTicking_ && !timer_->isActive()) {
        timer_->start();
    }
}

uint32_t CInstrumentConnection::TimerInterval() const {
    return timer_ ? static_cast<uint32_t>(timer_->interval()) : 0;
}

void CInstrumentConnection::SetTimerTicking(bool on) {
    timerTicking_ = on;
    if (!timer_ || !thread_.joinable() || stopFlag_ != 0 || errorFlag_ != 0) {
        return;  // StartCycle starts it; a stopped or broken cycle keeps it stopped
    }
    if (!on) {
        timer_->stop();
    } else if (!timer_->isActive()) {
        timer_->start();
    }
}
