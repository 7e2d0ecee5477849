#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/GuiDispatcher.h"
#include "transport/LinkTransport.h"

// One instrument to probe: the name its results carry, and where it listens.
struct CProbeTarget {
    std::string name;
    std::string address;  // dotted IPv4 text without blanks
    uint16_t port = 34260;
};

// What one probe found.
struct CProbeResult {
    std::string name;
    std::string address;
    bool reachable = false;  // it connected, and the instrument's greeting asked for a user name
    int64_t tookUs = 0;      // from the start of the connect to the greeting, or to the failure
    std::string reason;      // why it is not reachable, in the operator's words
    int64_t atNs = 0;        // steady clock: when the probe started
};

struct CProbeOptions {
    int intervalMs = 30000;  // from the start of one probe of an instrument to its next
    int workers = 4;         // probes running at once, at most
    uint32_t greetingTimeoutMs = 5000;
};

// Whether instruments answer, without credentials: a connect, the greeting the instrument sends
// first, and a clean disconnect; no request is sent and no connection is held open. Each
// instrument is probed once per interval while the probe is active.
//
// The probes run on a small pool of threads that take whichever instrument is due next, so the
// instruments never wait on each other beyond the pool's size: a silent one holds one thread for
// at most the connect's wait and the greeting's time-out. Results are handed to the GUI thread,
// where `onResult` gets them; everything else is called on the GUI thread too, and never waits on
// an instrument (the destructor closes the links of running probes, which ends them at once).
class CReachabilityProbe {
  public:
    using ResultHandler = std::function<void(const CProbeResult&)>;
    using LinkFactory = std::function<std::unique_ptr<CLinkTransport>()>;

    // `makeLink` makes each thread's link (socket links when empty).
    explicit CReachabilityProbe(ResultHandler onResult, CProbeOptions options = {},
                                LinkFactory makeLink = {});
    ~CReachabilityProbe();
    CReachabilityProbe(const CReachabilityProbe&) = delete;
    CReachabilityProbe& operator=(const CReachabilityProbe&) = delete;

    // The instruments to probe. One kept with the same address and port keeps its schedule; a
    // new one is due at once. The result of a probe still running for one that went is dropped.
    void SetTargets(const std::vector<CProbeTarget>& targets);
    // Probing runs only while active (an instrument whose interval passed meanwhile is due at
    // once); a probe running when it stops still reports.
    void SetActive(bool active);
    bool Active() const;
    // Makes the instrument due at once, unless a probe of it runs.
    void ProbeSoon(const std::string& name);

    // One probe over `link` on the calling thread.
    static CProbeResult ProbeOnce(CLinkTransport& link, const CProbeTarget& target,
                                  uint32_t greetingTimeoutMs);

  private:
    struct Slot {
        uint64_t id = 0;
        CProbeTarget target;
        int64_t dueNs = 0;
        bool running = false;
    };

    void WorkerMain(CLinkTransport* link);
    void StartWorkersLocked();
    Slot* FindLocked(uint64_t id);

    ResultHandler onResult_;
    const CProbeOptions options_;
    LinkFactory makeLink_;
    CGuiDispatcher results_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Slot> slots_;
    uint64_t nextId_ = 1;
    bool active_ = false;
    bool quit_ = false;
    std::vector<std::unique_ptr<CLinkTransport>> links_;  // one per thread
    std::vector<std::thread> workers_;
};
