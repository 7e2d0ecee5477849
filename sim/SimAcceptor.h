#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One thread that waits on any number of listening sockets and lets each listener's owner take
// the connections that arrive there. A lone server has one of its own; a plant of instruments
// shares one, so an instrument costs no thread until a client connects.
class CSimAcceptor {
  public:
    // Runs on the accept thread when the listener has a connection waiting; false asks for a
    // pause of kBackOffMs before the listeners are watched again (out of descriptors).
    using Readable = std::function<bool()>;
    static constexpr int kBackOffMs = 100;

    CSimAcceptor() = default;
    ~CSimAcceptor();
    CSimAcceptor(const CSimAcceptor&) = delete;
    CSimAcceptor& operator=(const CSimAcceptor&) = delete;

    // Starts the accept thread; false with the reason in `error`.
    bool Start(std::string* error);
    // Ends the accept thread; the listeners stay open (their owners close them).
    void Stop();

    // Watches `fd` from now on.
    void Add(int fd, Readable readable);
    // Returns once the accept thread neither watches `fd` nor runs its function, so that the
    // caller may close it. Never call it from a Readable.
    void Remove(int fd);

  private:
    struct Listener {
        int fd;
        Readable readable;
    };

    void Loop();
    void Wake();

    std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<Listener> listeners_;
    uint64_t changes_ = 0;   // listeners added or removed so far
    uint64_t watching_ = 0;  // the count of changes the current wait began with
    bool waiting_ = false;   // the thread waits on a snapshot of the listeners
    bool stopping_ = false;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
};
