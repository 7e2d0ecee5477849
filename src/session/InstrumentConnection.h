#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands/CommandSet.h"
#include "model/InstrumentIdentity.h"
#include "model/InstrumentModel.h"
#include "platform/Event.h"
#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "session/CycleWait.h"
#include "session/GuiDispatcher.h"
#include "session/ModelLoader.h"
#include "session/OperationRunner.h"
#include "session/Sequence.h"
#include "session/ViewState.h"
#include "transport/LinkTransport.h"

class CEventHub;
class QObject;
class QTimer;
struct CInstrumentSummary;

// Numbered steps of the full refresh; its progress is reported as step k of these.
constexpr int kRefreshSteps = 20;
using RefreshProgress = std::function<void(int step, int steps)>;

// Model sizes by model number: display groups, control groups, DI/DO points.
struct CModelSizes {
    int32_t displayGroups;
    int32_t controlGroups;
    int32_t dioPoints;
};
CModelSizes ModelSizesFor(int32_t modelNumber);

// Why the screen shows no new picture when no line of the instrument says so.
constexpr const char* kScreenUnreadable = "Screen image could not be read";

// How current one source of the data the views show is.
struct CSourceFreshness {
    int64_t validAtNs = 0;             // steady clock: when it last brought valid data; 0 never
    char reason[kErrorLineSize] = {};  // why its latest try failed; empty when that succeeded
    // Whether the connection asks for the source: not for the screen image while screen
    // polling is off or below level A. A source not asked for keeps the time and reason of its
    // last try; its age tells how old its data are, not that a fetch failed.
    bool polled = true;
};
// Freshness per source: the values are fresh when their request succeeded, the screen image
// when one arrived (whether it decodes is the view's to judge). A pass of the cycle that brought
// neither is no fresh data, although it ends like any other.
struct CDataFreshness {
    CSourceFreshness values;
    CSourceFreshness image;
};

// Entry kinds of the loop entry points.
constexpr int32_t kEntryInternalLoop = 3;
constexpr int32_t kEntryExternalLoop = 4;
constexpr int32_t kEntryDioPoint = 5;

// Program actions of OperateProgram.
constexpr int32_t kProgramRun = 1;
constexpr int32_t kProgramReset = 2;
constexpr int32_t kProgramHold = 3;
constexpr int32_t kProgramRelease = 4;
constexpr int32_t kProgramAdvance = 5;

// Everything that belongs to one logged-in instrument: its settings model with the identity
// copy, the command set bound to its link, the communication thread that keeps the model
// current, and the GUI timer that tells the views. Always heap-allocated (the command set holds
// the screen-image buffers). The log-in thread makes it once the instrument is identified;
// StartCycle, the timer and the deletion belong to the GUI thread: the thread of the event
// context, or without one the thread that made the connection.
//
// Threads: the GUI thread never waits on the instrument. It starts operations (an entry point,
// the full refresh, a sequence of steps) with StartOperation / StartSequence; they run on the
// connection's worker and their results come back on the GUI thread (see COperationRunner).
// The communication thread runs the polling steps. One connection-wide lock is held around
// every polling step, every entry point and the full refresh, so no command object, no model
// record and the link are ever used by two threads at once. Views never read the working model:
// they read a snapshot that is published whole after every pass of the cycle, every entry point
// and every refresh, and the fields they own (CViewState) under a short lock of their own.
//
// The entry points below are the operations' bodies: called directly they run their exchange
// on the calling thread (the worker, the log-in thread, tests).
class CInstrumentConnection {
  public:
    // `id` names the connection in the hub's event keys for its whole life. `eventContext` is
    // the GUI-thread object through which a lost link is reported (queued, so the connection is
    // never closed under the feet of its own caller).
    CInstrumentConnection(uint32_t id, CEventHub* hub, CLinkTransport* link,
                          QObject* eventContext = nullptr);
    ~CInstrumentConnection();
    CInstrumentConnection(const CInstrumentConnection&) = delete;
    CInstrumentConnection& operator=(const CInstrumentConnection&) = delete;

    // Checks the identity (LINK_E_UNSUPPORTED, with kUnsupportedHardware as its message, for
    // anything but an RZ 3100/3200 with firmware major version 1 to 3), clears the model, fills
    // its log-in defaults, identity copy and model sizes, and binds the command set.
    RzExpected<void> Prepare(const CInstrumentIdentity& identity);
    // After the first successful refresh: default names and type texts.
    void ApplyStartNames();

    // Full refresh of the settings model; `progress` hears of each numbered step before it runs.
    RzResult Refresh(const RefreshProgress& progress = {});
    // The load steps of the last full refresh that the instrument refused (a positive result:
    // the refresh goes on past them and leaves what they fill empty), in the order they ran,
    // each named by its request key ("FD").
    std::vector<std::string> RefusedLoadSteps() const;
    // Starts the communication thread and the timer. LINK_E_GENERAL when the thread cannot run.
    RzResult StartCycle();
    // Stops timer, thread and operations; returns once both threads have ended. A thread or an
    // operation that waits for an answer is woken by closing the link, so this never waits out
    // the receive time-out; the connection is not used again afterwards, and a result still on
    // its way is never delivered.
    void StopCycle();
    // Runs one pass of the polling steps (what the thread does each cycle) on the calling
    // thread, without the waits. Returns the code that lost the link (see LostLink), else 0.
    RzResult PollOnce();
    // Whether `result` lost the link: a code of the link-broken range, or any failure after
    // which the link is marked failed (an answer too large to frame gives LINK_E_FORMAT). Such
    // a result ends a sequence and closes the connection, whatever its code.
    bool LostLink(RzResult result) const;

    // --- Operations, started on the GUI thread ---
    using OperationBody = COperationRunner::Body;
    using ResultHandler = COperationRunner::ResultHandler;
    // Runs `body` (e.g. one entry point) on the connection's worker; `done` gets its result on
    // the GUI thread, unless `receiver` was given and is gone. A second start while one runs is
    // refused at once with LINK_E_BUSY, with a message that names the running one (`name`).
    RzExpected<void> StartOperation(const char* name, OperationBody body, ResultHandler done = {},
                                    QObject* receiver = nullptr);
    RzExpected<void> StartSequence(const char* name, CSequence sequence, ResultHandler done = {},
                                   QObject* receiver = nullptr);
    // A read the console starts itself as the consequence of an operation: it runs after the
    // running operation (and the follow-ups before it) instead of being refused.
    RzExpected<void> StartFollowUp(const char* name, OperationBody body, ResultHandler done = {},
                                   QObject* receiver = nullptr);
    // Starts an operation and waits for its result (command-line programs, tests): the body's
    // result, or why the start was refused.
    RzExpected<void> RunOperation(const char* name, OperationBody body);
    bool OperationRunning() const { return runner_.Busy(); }
    const std::string& RunningOperation() const { return runner_.Running(); }
    // Replaces the source of the sequences' pauses (tests: a manual clock).
    void SetPauseSource(std::unique_ptr<CPauseSource> source);

    // --- Operation entry points (the request keys they send in comments) ---
    // Starts (non-zero) or stops (0) the memory ("PS").
    RzResult SetMemoryRunning(int32_t running);
    // Math: 1 start, 2 stop, 3 reset ("TL").
    RzResult OperateMath(int32_t action);
    // Runs (1) or stops (0) a loop: internal "OC", external "DV" item "SR".
    RzResult OperateLoopRun(int32_t kind, int32_t loop, int32_t run);
    RzResult OperateLoopMode(int32_t kind, int32_t loop, int32_t mode);
    // Puts a loop in remote (1) or local (0) operation: internal "RL", external "DV" item "RL".
    RzResult OperateLoopRemote(int32_t kind, int32_t loop, int32_t remote);
    RzResult SetLoopSP(int32_t kind, int32_t loop, double value);
    RzResult SetLoopOut(int32_t kind, int32_t loop, double value);
    RzResult SetDigitalOutput(int32_t point, int32_t value);
    // Whether the pattern's state changed (false: it was in that state already, nothing sent).
    RzExpected<bool> OperateProgram(int32_t pattern, int32_t action);
    RzResult ReloadProgram(int32_t index, int32_t pattern);
    RzResult ReadLoopState(int32_t kind, int32_t loop);
    // The log's text.
    RzExpected<std::string> ReadLog(int32_t kind);
    RzResult AcknowledgeAlarm();
    RzResult WriteMessage(int32_t number);
    // Saves data: 0 manual sample, 1 manual trigger, 3 display data, 4 event data ("EV").
    RzResult SaveData(int32_t kind);
    RzResult SwitchDisplay(int32_t kind, int32_t index);
    RzResult SetTrendOptions(int32_t a, int32_t b, int32_t c);
    // Selects the program pattern (1 to 30) the instrument's program display shows ("&4").
    RzResult ShowPattern(int32_t pattern);

    // --- What the views read ---
    // A copy of the latest published model with the view state. Its imageData is null: read
    // the image with WithImage.
    CInstrumentModel CopyModel() const;
    // Calls `reader` with the latest published screen image (nullptr, 0 when there is none).
    void WithImage(const std::function<void(const uint8_t*, uint32_t)>& reader) const;
    // As of the latest published model.
    CDataFreshness Freshness() const;
    // SummarizeInstrument of the latest published model and its freshness, made once per
    // publication: a few hundred bytes for a reader that needs no more (the plant overview, the
    // alarm watch), instead of a copy of the whole model.
    CInstrumentSummary Summary() const;
    // The fields the views own; reading and changing them never waits for an exchange.
    CViewState ViewState() const;
    void UpdateViewState(const std::function<void(CViewState&)>& change);
    // Changes the working model under the connection lock, which waits for a running exchange:
    // for connection start and tests, never for a view.
    void UpdateModel(const std::function<void(CInstrumentModel&)>& change);

    uint32_t id() const { return id_; }

    // --- The communication cycle ---
    // The cycle time (ms) and why the configured one was not used as written (shown once the
    // view is up), or null. Set before StartCycle.
    void SetCycle(int32_t ms, const char* note);
    int32_t Cycle() const { return commCycle_; }
    const char* CycleNote() const { return commCycleNote_; }
    // Whether the full refresh and the cycle fetch the instrument's screen image (at level A):
    // on from Prepare, off after a refresh that found no level-A log-in; the view turns it on
    // and off with its image window, and a connection that only feeds values and state (the
    // plant overview's) has it off from its log-in on (CConnectionManager::SetScreenPolling).
    // While it is off no "FC GET" is sent, and until the first image no image buffer is held.
    // Any thread.
    bool ScreenPolling() const { return levelPolling_ != 0; }
    void SetScreenPolling(bool on) { levelPolling_ = on ? 1 : 0; }
    // Has the communication thread fetch the screen image once at once, between its passes,
    // when the cycle fetches it (see ScreenPolling), and tell the views as after a pass; the
    // next pass keeps its time. Returns at once. Any thread.
    void RequestScreenImage();
    // Whether the cycle reads the DI/DO points' status: every full refresh decides it (their
    // table loaded); tests set it for a connection that ran none.
    void SetDioAvailable(bool available) { dioAvailable_ = available ? 1 : 0; }
    // Asks the communication thread to end after its current step (and a pass of PollOnce at
    // its next check); returns at once. StopCycle asks so too, and then waits.
    void RequestStop();
    // Whether the link was found broken. It stays so for the life of the connection: every
    // operation is refused with LINK_E_BROKEN from then on.
    bool LinkFailed() const { return errorFlag_ != 0; }
    // When the communication thread last finished a pass (steady clock, ns; 0 before the
    // first): how late the views learn of a cycle is measured from here.
    int64_t DataReadyAtNs() const { return dataReadyAtNs_; }
    // The GUI timer's interval (ms): a quarter of the cycle, kept within 500 to 1000 ms; 0
    // before StartCycle. GUI thread.
    uint32_t TimerInterval() const;
    // Whether the GUI timer ticks (on unless turned off; StartCycle starts it only when on).
    // The communication thread's wake-ups tell of every pass and of a lost link without it, so a
    // connection that no view shows (the plant overview's) turns it off, and its view turns it
    // on again. GUI thread.
    void SetTimerTicking(bool on);

  private:
    class EntryFrame;
    friend class EntryFrame;

    void ThreadMain();
    // The communication thread's fetch of a requested screen image; the code that lost the
    // link, else 0.
    RzResult FetchRequestedImage();
    // The timer's tick (GUI thread): tells the views of a finished pass, or reports a lost link.
    void OnTimer();
    // Has OnTimer run on the GUI thread as soon as its event loop gets to it; any thread. A wake
    // before StartCycle is delivered once the cycle starts.
    void WakeTimer();
    bool OnGuiThread() const;
    // On the GUI thread with the timer running: stops it for an operation or a refresh and
    // returns true, and ResumeTimer starts it again. Elsewhere it returns false and leaves the
    // timer, which belongs to the GUI thread, alone.
    bool PauseTimer();
    void ResumeTimer();
    // Runs `step` under the connection lock; marks the link lost on a link-broken result.
    template <class Step>
    RzResult RunStep(Step&& step);
    RzResult RefreshSteps(const RefreshProgress& progress);
    // The two load steps whose results make the shown data fresh or not; they note which.
    RzResult LoadValuesNoted();
    // Fetches the screen image when it is polled (screen polling on, level A); notes whether it
    // was asked for. RZ_OK without an exchange when not.
    RzResult LoadScreenImageNoted(bool* outNew = nullptr);
    void PublishSnapshot(bool withImage);
    void RaiseErrorFlag();
    // Raises the error flag and reports the lost link once (from the GUI thread: through the
    // event loop; from another thread: through the timer's wake-up).
    void ReportLinkLost();
    void PublishLinkLostOnce();
    // Whether the instrument has program patterns whose state an operation must re-read.
    bool ProgramReloadApplies() const;
    RzResult ReloadProgramLocked(int32_t index, int32_t pattern);
    RzResult SwitchDisplayLocked(int32_t kind, int32_t index);
    RzResult SetTrendOptionsLocked(int32_t a, int32_t b, int32_t c);

    static constexpr int kMaxRefusedSteps = 32;
    const char* refusedSteps_[kMaxRefusedSteps] = {};
    int refusedStepCount_ = 0;

    uint32_t id_;
    CEventHub* hub_;
    CLinkTransport* link_;
    QObject* eventContext_;
    CInstrumentModel model_{};
    std::unique_ptr<CCommandSet> commands_;
    CModelLoader loader_;

    mutable std::recursive_mutex commandLock_;
    // Guards the snapshot and the view state; held only to copy them, never across an exchange.
    mutable std::mutex snapshotLock_;
    CInstrumentModel snapshot_{};
    CViewState viewState_{};
    CDataFreshness fresh_{};           // under the connection lock
    CDataFreshness publishedFresh_{};  // under the snapshot lock
    // Under the snapshot lock: SummarizeInstrument of the snapshot, made by the first reader
    // after a publication, so that a pass with no reader (a console without the overview)
    // spends nothing on it.
    std::unique_ptr<CInstrumentSummary> summary_;
    mutable bool summaryCurrent_ = false;
    std::vector<uint8_t> image_;  // the published screen image; reserved at the first one
    uint32_t imageLength_ = 0;

    // The cycle's settings and the flags its threads share.
    int32_t commCycle_ = 5000;
    const char* commCycleNote_ = nullptr;
    std::atomic<int32_t> stopFlag_{0};
    std::atomic<int32_t> errorFlag_{0};
    std::atomic<int32_t> levelPolling_{0};
    std::atomic<int32_t> dioAvailable_{0};
    std::atomic<int32_t> imageRequested_{0};  // wakes the thread through the stop event
    CEvent dataReadyEvent_{false};
    std::atomic<int64_t> dataReadyAtNs_{0};

    std::atomic<bool> linkLostPublished_{false};
    std::unique_ptr<CCycleClock> clock_;
    CEvent stopEvent_{false};
    std::thread thread_;
    std::thread::id madeOn_ = std::this_thread::get_id();
    // GUI thread: the timer (made by StartCycle) and the wake-ups the threads hand it.
    std::unique_ptr<QTimer> timer_;
    bool timerTicking_ = true;
    CGuiDispatcher timerCalls_;
    COperationRunner runner_;
};
