#pragma once

#include <cstdint>

#include "platform/ResultCodes.h"

// Shape of the answer expected for a request.
enum RecvMode : int32_t {
    RECV_FIXED = 0,   // an error line, or exactly expectedLength bytes
    RECV_BINARY = 1,  // one or more binary blocks, or an error line
    RECV_LINE = 2,    // one line ending in CR LF
    RECV_LIST = 3,    // a status line, or "EA" ... "EN" / "END:"
};

// Default receive time-out of a new link, in milliseconds.
constexpr uint32_t kDefaultLinkTimeoutMs = 10000;

// One request line at a time to the instrument, and the recognition of its complete answer.
// Between Send and the Receive of its answer the link belongs to the sending thread.
class CLinkTransport {
  public:
    virtual ~CLinkTransport() = default;

    virtual RzResult Connect() = 0;
    // `address` is "IP:%s;PORT:%d"; a key with an empty value keeps the stored value.
    virtual RzResult Open(const char* address) = 0;
    virtual RzResult Close() = 0;
    virtual RzResult SetMode(int32_t mode) = 0;
    virtual int32_t GetMode() const = 0;
    // `request` without line end; the transport appends CR LF.
    virtual RzResult Send(const char* request, uint32_t length, int32_t mode) = 0;
    // Copies the complete answer into `buffer`, which holds capacity + 1 bytes (a NUL is
    // written after the answer), and stores its length in `outLength`.
    virtual RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength) = 0;
    virtual RzResult SetTimeout(uint32_t ms) = 0;
    virtual uint32_t GetTimeout() const = 0;
    virtual uint32_t SetExpectedLength(uint32_t bytes) = 0;
};
