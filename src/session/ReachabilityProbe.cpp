#include "session/ReachabilityProbe.h"

#include <algorithm>
#include <chrono>

#include "session/LoginDialogue.h"
#include "transport/LinkSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The greeting as quoted in a reason: without its line end.
std::string Unterminated(const char* text) {
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

}  // namespace

CReachabilityProbe::CReachabilityProbe(ResultHandler onResult, CProbeOptions options,
                                       LinkFactory makeLink)
    : onResult_(std::move(onResult)), options_(options), makeLink_(std::move(makeLink)) {
    if (!makeLink_) {
        makeLink_ = [] { return std::make_unique<CLinkSocket>(); };
    }
    results_.Arm();
}

CReachabilityProbe::~CReachabilityProbe() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    // A probe waiting on a connect or a greeting ends at once, and no later connect starts.
    for (const auto& link : links_) {
        link->Abandon();
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    results_.Clear();
}

void CReachabilityProbe::SetTargets(const std::vector<CProbeTarget>& targets) {
    {
        std::lock_guard lock(mutex_);
        std::vector<Slot> slots;
        for (const CProbeTarget& target : targets) {
            const auto kept = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& slot) {
                return slot.target.name == target.name && slot.target.address == target.address &&
                       slot.target.port == target.port;
            });
            slots.push_back(kept != slots_.end() ? *kept : Slot{nextId_++, target, 0, false});
        }
        slots_ = std::move(slots);
        StartWorkersLocked();
    }
    wake_.notify_all();
}

void CReachabilityProbe::SetActive(bool active) {
    {
        std::lock_guard lock(mutex_);
        active_ = active;
        StartWorkersLocked();
    }
    wake_.notify_all();
}

bool CReachabilityProbe::Active() const {
    std::lock_guard lock(mutex_);
    return active_;
}

void CReachabilityProbe::ProbeSoon(const std::string& name) {
    {
        std::lock_guard lock(mutex_);
        for (Slot& slot : slots_) {
            if (slot.target.name == name && !slot.running) {
                slot.dueNs = 0;
            }
        }
    }
    wake_.notify_all();
}

// Threads are started as probing needs them, up to the pool's size: never more than there are
// instruments.
void CReachabilityProbe::StartWorkersLocked() {
    const size_t wanted =
        active_ ? std::min(slots_.size(), size_t(std::max(options_.workers, 1))) : 0;
    while (workers_.size() < wanted) {
        links_.push_back(makeLink_());
        CLinkTransport* link = links_.back().get();
        workers_.emplace_back([this, link] { WorkerMain(link); });
    }
}

CReachabilityProbe::Slot* CReachabilityProbe::FindLocked(uint64_t id) {
    for (Slot& slot : slots_) {
        if (slot.id == id) {
            return &slot;
        }
    }
    return nullptr;
}

void CReachabilityProbe::WorkerMain(CLinkTransport* link) {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        Slot* next = nullptr;
        if (active_) {
            for (Slot& slot : slots_) {
                if (!slot.running && (next == nullptr || slot.dueNs < next->dueNs)) {
                    next = &slot;
                }
            }
        }
        if (next == nullptr) {
            wake_.wait(lock);
            continue;
        }
        const int64_t now = NowNs();
        if (next->dueNs > now) {
            wake_.wait_for(lock, std::chrono::nanoseconds(next->dueNs - now));
            continue;
        }
        next->running = true;
        const uint64_t id = next->id;
        const CProbeTarget target = next->target;
        lock.unlock();
        const CProbeResult result = ProbeOnce(*link, target, options_.greetingTimeoutMs);
        lock.lock();
        if (Slot* slot = FindLocked(id)) {
            slot->running = false;
            slot->dueNs = result.atNs + int64_t{options_.intervalMs} * 1000000;
            if (!quit_) {
                results_.Post([this, result] { onResult_(result); });
            }
        }
    }
}

CProbeResult CReachabilityProbe::ProbeOnce(CLinkTransport& link, const CProbeTarget& target,
                                           uint32_t greetingTimeoutMs) {
    CProbeResult result;
    result.name = target.name;
    result.address = target.address;
    result.atNs = NowNs();
    link.SetTimeout(greetingTimeoutMs);
    RzResult code = link.Open(target.address.c_str(), target.port);
    if (code == RZ_OK) {
        char greeting[kLoginAnswerCapacity + 1] = {};
        code = link.Receive(greeting, kLoginAnswerCapacity, RECV_LINE).code();
        if (code == RZ_OK) {
            result.reachable = IsLoginGreeting(greeting);
            if (!result.reachable) {
                result.reason = "unexpected greeting \"" + Unterminated(greeting) + "\"";
            }
        }
    }
    result.tookUs = (NowNs() - result.atNs) / 1000;
    if (code != RZ_OK) {
        result.reason = link.FailureReason();
        if (result.reason.empty()) {
            result.reason = LoginExchangeFailure(code, "while waiting for the greeting");
        }
    }
    link.Close();
    return result;
}
