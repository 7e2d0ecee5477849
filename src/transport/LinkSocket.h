#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "transport/LinkFraming.h"
#include "transport/LinkTransport.h"

// The TCP link to one instrument. There is no reader thread: the thread that waits for an answer
// reads the socket itself (a blocking recv bounded by the time left) until the framing says the
// answer is complete or the time-out passes.
//
// The link keeps no ownership between Send and Receive: the connection's lock already holds every
// exchange together, and a second lock across two calls would only let a thread that sends and
// never receives stop every other user of the link. What the link does guard is that each answer
// is read in step with its request: a Send while the answer to the previous request is still
// owed, or while bytes that no request asked for are waiting, finds the stream out of step.
//
// A send error, a time-out, a peer close, an answer the framing refuses or a stream out of step
// marks the link failed: it stays connected in name, and every later Send returns LINK_E_BROKEN
// until it is connected again (Connect on a failed link reconnects). Close may be called from any
// thread; it ends a wait in progress at once, the wait of a connect included.
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

    // A host that is not a dotted IPv4 address, or port 0, gives LINK_E_OPEN; an empty host
    // LINK_E_NOT_INITIALIZED. A connect that gets no answer gives up after kConnectWaitMs
    // (LINK_E_OPEN); one ended by Close or Abandon on another thread gives LINK_E_NOT_OPEN.
    RzResult Open(const char* host, uint16_t port) override;
    RzResult Connect() override;
    RzResult Close() override;
    RzResult Abandon() override;
    RzResult Send(const char* request, uint32_t length) override;
    // On failure `buffer` is left as it was.
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape shape) override;
    RzResult SetTimeout(uint32_t ms) override;
    uint32_t GetTimeout() const override { return timeoutMs.load(); }
    uint32_t LastAnswerBlocks() const override { return lastBlocks; }

    std::string FailureReason() const override;

    bool IsConnected() const { return connected.load(); }
    bool IsFailed() const override { return failed.load(); }

  private:
    using Clock = std::chrono::steady_clock;

    // Empty when nothing is waiting; otherwise why no request can be sent.
    std::string StrayBytesWaiting();
    RzResult SendAll(const char* data, size_t length);
    RzResult ReadAnswer(Clock::time_point deadline);
    // Marks the link failed; the cause of the first failure is kept until the next connect.
    void MarkFailed(const std::string& cause);
    void NoteFailure(const std::string& cause);
    // "127.0.0.1:34260"
    std::string Address() const;
    void WakeLocked();
    // The descriptors an exchange step uses, counted as in use until EndIo; none once the link
    // is closed or closing.
    struct IoHandles {
        int fd;
        int wake;
    };
    std::optional<IoHandles> BeginIo();
    void EndIo();

    char host[16] = {};
    uint16_t port = 0;
    std::atomic<bool> connected{false};
    std::atomic<uint32_t> timeoutMs{kDefaultLinkTimeoutMs};
    std::atomic<bool> failed{false};

    // The descriptors, guarded by `lock`; `changed` announces the end of a socket call to Close.
    std::mutex lock;
    std::condition_variable changed;
    int socketFd = -1;
    int wakeFd = -1;      // eventfd that interrupts a send's waiting poll on failure or close
    int32_t ioUsers = 0;  // socket calls in progress; Close waits for them before closing
    bool closing = false;
    bool connecting = false;     // a Connect is under way
    bool connectClosed = false;  // Close was called during it
    bool abandoned = false;

    mutable std::mutex reasonLock;
    std::string reason;  // see FailureReason

    // Touched only by the thread that runs the exchange (and by Connect).
    bool answerOwed = false;  // a request was sent and its answer not yet read
    int receiveWaitMs = 0;
    uint32_t lastBlocks = 0;  // the socket's receive time-out as last set (0: not set)
    CLinkFraming framing;
    // Allocated, not cleared: recv fills what is read.
    std::unique_ptr<char[]> readBuffer{new char[kReceiveAreaSize]};
    size_t pendingStart = 0;
    size_t pendingLength = 0;
};
