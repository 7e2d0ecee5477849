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
#include "platform/ResultCodes.h"
#include "session/CycleWait.h"
#include "session/ModelLoader.h"
#include "session/TimerObject.h"
#include "transport/LinkTransport.h"

class CEventHub;
class QObject;

// Model sizes by model number: display groups, control groups, DI/DO points.
struct CModelSizes {
    int32_t displayGroups;
    int32_t controlGroups;
    int32_t dioPoints;
};
CModelSizes ModelSizesFor(int32_t modelNumber);

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
// the screen-image buffers); create, use and delete it on the GUI thread.
//
// Threads: the communication thread and the GUI thread both run commands. One connection-wide
// lock is held around every polling step, every entry point and the full refresh, so no command
// object, no model record and the link are ever used by both at once. Views never read the
// working model: they read a snapshot that is published whole after every pass of the cycle,
// every entry point and every refresh.
class CInstrumentConnection : public CTimerObject {
  public:
    // `eventContext` is the GUI-thread object through which a lost link is reported (queued, so
    // the connection is never closed under the feet of its own caller).
    CInstrumentConnection(uint32_t id, CEventHub* hub, CLinkTransport* link,
                          QObject* eventContext = nullptr);
    ~CInstrumentConnection() override;

    // Checks the identity (LINK_E_UNSUPPORTED, shown as string 20004, for anything but an RZ
    // 3100/3200 with firmware major version 1 to 3), clears the model, fills its log-in
    // defaults, identity copy and model sizes, and binds the command set.
    RzResult Prepare(const CInstrumentIdentity& identity);
    // After the first successful refresh: default names and type texts.
    void ApplyStartNames();

    // Full refresh of the settings model.
    RzResult Refresh();
    // The load steps of the last full refresh that the instrument refused (a positive result:
    // the refresh goes on past them and leaves what they fill empty), in the order they ran,
    // each named by its request key ("FD").
    std::vector<std::string> RefusedLoadSteps() const;
    // Starts the communication thread and the timer. LINK_E_GENERAL when the thread cannot run.
    RzResult StartCycle();
    // Stops timer and thread; returns once the thread has ended. A thread that waits for an
    // answer is woken by closing the link, so this never waits out the receive time-out; the
    // connection is not used again afterwards.
    void StopCycle();
    // Runs one pass of the polling steps (what the thread does each cycle) on the calling
    // thread, without the waits. Returns the first link-broken code, else 0.
    RzResult PollOnce();

    // --- Operation entry points (GUI thread) ---
    RzResult ExecPS(int32_t value);
    RzResult ExecTL(int32_t value);
    RzResult OperateLoopSR(int32_t kind, int32_t loop, int32_t value);
    RzResult OperateLoopMode(int32_t kind, int32_t loop, int32_t mode);
    RzResult OperateLoopRL(int32_t kind, int32_t loop, int32_t value);
    RzResult SetLoopSP(int32_t kind, int32_t loop, double value);
    RzResult SetLoopOut(int32_t kind, int32_t loop, double value);
    RzResult SetDigitalOutput(int32_t point, int32_t value);
    RzResult OperateProgram(int32_t pattern, int32_t action, int32_t* outChanged);
    RzResult ReloadProgram(int32_t index, int32_t pattern);
    RzResult ReadLoopState(int32_t kind, int32_t loop);
    RzResult ReadLog(int32_t kind, char* buffer, uint32_t capacity);
    RzResult AcknowledgeAlarm();
    RzResult WriteMessage(int32_t number);
    RzResult ExecEV(int32_t value);
    RzResult SwitchDisplay(int32_t kind, int32_t index);
    RzResult SetTrendOptions(int32_t a, int32_t b, int32_t c);
    RzResult Exec4(int32_t value);

    // --- What the views read ---
    // A copy of the latest published model. Its imageData is null: read the image with
    // WithImage.
    void CopyModel(CInstrumentModel* out) const;
    // Calls `reader` with the latest published screen image (nullptr, 0 when there is none).
    void WithImage(const std::function<void(const uint8_t*, uint32_t)>& reader) const;
    // Changes the working model (display state the views own) and publishes it.
    void UpdateModel(const std::function<void(CInstrumentModel&)>& change);

    uint32_t id() const { return id_; }

    int32_t commCycle = 5000;
    std::atomic<int32_t> stopFlag{0};
    std::atomic<int32_t> errorFlag{0};
    std::atomic<int32_t> levelPolling{0};
    std::atomic<int32_t> dioAvailable{0};
    CEvent dataReadyEvent{false};
    // When the thread last set the data-ready event (steady clock, ns): how late the views
    // learn of a cycle is measured from here.
    std::atomic<int64_t> dataReadyAtNs{0};

  protected:
    void OnTimer() override;

  private:
    class EntryFrame;
    friend class EntryFrame;

    void ThreadMain();
    // Runs `step` under the connection lock; marks the link lost on a link-broken result.
    template <class Step>
    RzResult RunStep(Step&& step);
    RzResult RefreshSteps();
    void PublishSnapshot(bool withImage);
    // Raises the error flag and reports the lost link once.
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
    mutable std::mutex snapshotLock_;
    CInstrumentModel snapshot_{};
    std::vector<uint8_t> image_;  // the published screen image; capacity reserved once
    uint32_t imageLength_ = 0;

    std::atomic<bool> linkLostPublished_{false};
    std::unique_ptr<CCycleClock> clock_;
    CEvent stopEvent_{false};
    std::thread thread_;
};
