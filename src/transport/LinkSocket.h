#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "transport/LinkFraming.h"
#include "transport/LinkTransport.h"

// The TCP link to one instrument. There is no reader thread: the thread that waits for an answer
// reads the socket itself (poll and recv on a non-blocking descriptor) until the framing says the
// answer is complete or the time-out passes. Bytes that arrive after a complete answer stay
// queued for the next one, as they are part of the same stream.
//
// Between Send and the Receive of its answer the link belongs to the sending thread; other
// threads' Send and Receive wait (on a condition variable) until it is released. A send error, a
// time-out, a peer close or an answer the framing refuses marks the link failed: the link stays
// owned and connected in name, and every later Send returns LINK_E_BROKEN until it is closed and
// connected again.
class CLinkSocket : public CLinkTransport {
  public:
    // Longest request text; CR LF and a NUL follow it in the 1008-byte request buffer.
    static constexpr uint32_t kMaxRequestLength = 1005;
    // How long Connect waits for the connection to come up.
    static constexpr int kConnectWaitMs = 2000;

    CLinkSocket() = default;
    ~CLinkSocket() override;
    CLinkSocket(const CLinkSocket&) = delete;
    CLinkSocket& operator=(const CLinkSocket&) = delete;

    RzResult Connect() override;
    RzResult Open(const char* address) override;
    RzResult Close() override;
    RzResult SetMode(int32_t newMode) override;
    int32_t GetMode() const override { return mode.load(); }
    RzResult Send(const char* request, uint32_t length, int32_t newMode) override;
    // On failure `buffer` and `*outLength` are left as they were.
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength) override;
    RzResult SetTimeout(uint32_t ms) override;
    uint32_t GetTimeout() const override { return timeoutMs.load(); }
    uint32_t SetExpectedLength(uint32_t bytes) override;

    // The stored address (set by Open); read them from the thread that calls Open.
    const char* Host() const { return host; }
    int32_t Port() const { return port; }

    bool IsConnected() const { return connected.load(); }
    bool IsFailed() const { return failed.load(); }

  private:
    using Clock = std::chrono::steady_clock;

    RzResult AcquireLink(Clock::time_point deadline, bool forReceive);
    void ReleaseLink();
    RzResult SendAll(const char* data, size_t length);
    RzResult ReadAnswer(Clock::time_point deadline);
    void MarkFailed();
    void WakeLocked();
    bool BeginIo(int* fd, int* wakeFd);
    void EndIo();

    std::atomic<int32_t> responseReady{0};  // a complete answer waits to be copied out
    char host[16] = {};
    int32_t port = 0;
    std::atomic<uint32_t> expectedLength{0};
    std::atomic<bool> connected{false};
    std::atomic<uint32_t> timeoutMs{kDefaultLinkTimeoutMs};
    std::atomic<int32_t> mode{RECV_LIST};
    std::atomic<bool> failed{false};

    // Link ownership and the descriptors, guarded by `lock`; `changed` announces a released
    // link, a failure, a close and the end of a socket call.
    std::mutex lock;
    std::condition_variable changed;
    int32_t lockCount = 0;
    std::thread::id lockOwner;
    int socketFd = -1;
    int wakeFd = -1;      // eventfd that interrupts a waiting poll on failure or close
    int32_t ioUsers = 0;  // socket calls in progress; Close waits for them before closing
    bool closing = false;

    // Touched only by the thread that owns the link (and by Connect).
    CLinkFraming framing;
    std::array<char, kReceiveAreaSize> readBuffer{};
    size_t pendingStart = 0;
    size_t pendingLength = 0;
};
