#pragma once

#include <cstdint>
#include <string>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"

// Shape of the answer expected for a request.
enum RecvMode : int32_t {
    RECV_FIXED = 0,   // an error line, or exactly expectedLength bytes
    RECV_BINARY = 1,  // one or more binary blocks, or an error line
    RECV_LINE = 2,    // one line ending in CR LF
    RECV_LIST = 3,    // a status line, or "EA" ... "EN" / "END:"
};

// What a Receive waits for: the receive mode of the answer and, in RECV_FIXED, the length of
// its record. A mode alone converts, so most callers just name the mode.
struct AnswerShape {
    constexpr AnswerShape(int32_t recvMode, uint32_t recordLength = 0)  // NOLINT: implicit
        : mode(recvMode), expectedLength(recordLength) {}

    int32_t mode;
    uint32_t expectedLength;
};

// Default receive time-out of a new link, in milliseconds.
constexpr uint32_t kDefaultLinkTimeoutMs = 10000;

// The largest answer the console takes: the screen image. A binary answer whose payload grows
// beyond it is refused.
constexpr uint32_t kLargestAnswerSize = 1228800;

// One request line at a time to the instrument, and the recognition of its complete answer.
// An exchange is a Send and the Receive of its answer; the caller runs one exchange at a time
// (the connection holds its lock around each), and names the shape of the answer when it
// receives it, so no mode is kept between calls. The greeting that follows a connect is read
// with a Receive alone.
class CLinkTransport {
  public:
    virtual ~CLinkTransport() = default;

    // Stores `host` (a dotted IPv4 address) and `port`, then connects (anew when they changed).
    virtual RzResult Open(const char* host, uint16_t port) = 0;
    // Connects unless the link is up and has not failed.
    virtual RzResult Connect() = 0;
    virtual RzResult Close() = 0;
    // Closes the link for good, from any thread: a connect in progress ends at once and every
    // later Open or Connect is refused.
    virtual RzResult Abandon() { return Close(); }
    // `request` without line end; the transport appends CR LF.
    virtual RzResult Send(const char* request, uint32_t length) = 0;
    // Waits for a complete answer of the given shape and copies it into `buffer`, which holds
    // capacity + 1 bytes (a NUL is written after the answer); returns the answer's length. The
    // caller's buffer is filled in place: every exchange goes through here.
    virtual RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape shape) = 0;
    virtual RzResult SetTimeout(uint32_t ms) = 0;
    virtual uint32_t GetTimeout() const = 0;
    // Whether an exchange has failed the link (whatever code it returned): nothing more can be
    // exchanged on it until it is connected again.
    virtual bool IsFailed() const { return false; }
    // How many blocks the last binary answer came in (0: not a binary answer, or not known).
    virtual uint32_t LastAnswerBlocks() const { return 0; }
    // Why the link failed, or why its last connect did not come up, as a sentence for the
    // operator ("No answer from 127.0.0.1:34260 within 10000 ms"), beside the result code;
    // empty when not known. Any thread.
    virtual std::string FailureReason() const { return {}; }
};
