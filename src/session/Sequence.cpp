#include "session/Sequence.h"

#include <chrono>

#include "session/InstrumentConnection.h"

bool CSteadyPauseSource::Pause(uint32_t ms) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return interrupted_; });
    return !interrupted_;
}

void CSteadyPauseSource::Interrupt() {
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
    }
    cv_.notify_all();
}

CSequence& CSequence::Then(Body body, ResultHandler onResult) {
    return Decide(
        [body = std::move(body)](CInstrumentConnection& c) { return CStepOutcome{body(c)}; },
        std::move(onResult));
}

CSequence& CSequence::Decide(DecidingBody body, ResultHandler onResult) {
    steps_.push_back({std::move(body), 0, static_cast<bool>(onResult)});
    handlers_.push_back(std::move(onResult));
    return *this;
}

CSequence& CSequence::Pause(uint32_t ms) {
    steps_.push_back({{}, ms, false});
    handlers_.emplace_back();
    return *this;
}

RzResult CSequence::RunSteps(const std::vector<Step>& steps, CInstrumentConnection& connection,
                             CPauseSource& pauses, const Report& report) {
    RzResult result = RZ_OK;
    for (size_t i = 0; i < steps.size(); ++i) {
        uint32_t pauseMs = steps[i].pauseMs;
        if (steps[i].body) {
            const CStepOutcome outcome = steps[i].body(connection);
            result = outcome.result;
            if (steps[i].reports) {
                report(i, result);
            }
            if (connection.LostLink(result) || outcome.last) {
                break;
            }
            pauseMs = outcome.pauseMs;
        }
        if (pauseMs != 0 && !pauses.Pause(pauseMs)) {
            return LINK_E_BROKEN;
        }
    }
    return result;
}
