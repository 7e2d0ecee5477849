#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ResultCodes.h"

class CInstrumentConnection;

// Where the pauses of a sequence pass: real time on the connection's worker, a manual clock in
// tests. A pause ends early, for good, once the source is interrupted (log-out, lost link).
class CPauseSource {
  public:
    virtual ~CPauseSource() = default;
    // Waits `ms`; false when interrupted (at once when the source already was).
    virtual bool Pause(uint32_t ms) = 0;
    // Ends the current pause and every later one at once. Any thread.
    virtual void Interrupt() = 0;
};

class CSteadyPauseSource : public CPauseSource {
  public:
    bool Pause(uint32_t ms) override;
    void Interrupt() override;

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool interrupted_ = false;
};

// What a step that decides for itself reports: its result, the pause after it, and whether the
// sequence ends with it.
struct CStepOutcome {
    RzResult result = RZ_OK;
    uint32_t pauseMs = 0;
    bool last = false;
};

// Steps with pauses between them, run as one operation of a connection (a panel's Send, the
// program panel's Hold and Advance with their waits, a save-data command with its busy time).
// A step runs on the connection's worker and must capture values only, never a view; its result
// handler runs on the GUI thread, in step order, before the sequence's own result. A result
// that lost the link (CInstrumentConnection::LostLink) ends the sequence; other results go on to
// the next step unless the step decides otherwise. The sequence's result is the result of the step
// it ended with.
class CSequence {
  public:
    using Body = std::function<RzResult(CInstrumentConnection&)>;
    using DecidingBody = std::function<CStepOutcome(CInstrumentConnection&)>;
    using ResultHandler = std::function<void(RzResult)>;

    // A step; `onResult` (GUI thread) gets its result, e.g. to publish a refusal.
    CSequence& Then(Body body, ResultHandler onResult = {});
    // A step that chooses the pause after it and whether the sequence ends with it.
    CSequence& Decide(DecidingBody body, ResultHandler onResult = {});
    // A pause before the next step.
    CSequence& Pause(uint32_t ms);

    size_t size() const { return steps_.size(); }

    struct Step {
        DecidingBody body;     // empty for a pause
        uint32_t pauseMs = 0;  // the pause, for a pause
        bool reports = false;  // has a result handler
    };
    using Report = std::function<void(size_t step, RzResult result)>;
    // Runs `steps` on the calling thread, calling `report` for each step that has a handler.
    // An interrupted pause ends the sequence with LINK_E_BROKEN.
    static RzResult RunSteps(const std::vector<Step>& steps, CInstrumentConnection& connection,
                             CPauseSource& pauses, const Report& report);

  private:
    friend class COperationRunner;

    std::vector<Step> steps_;
    std::vector<ResultHandler> handlers_;  // by step
};
