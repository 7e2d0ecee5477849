#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "transport/LinkTransport.h"
#include "transport/ReceiveBuffer.h"

// Bytes of one answer held at a time (for binary answers: one block at a time).
constexpr uint32_t kReceiveAreaSize = 102400;

enum class FrameStatus : int32_t {
    kIncomplete,  // more bytes are needed
    kComplete,    // the answer is complete; later bytes belong to the next answer
    kOverflow,    // the answer does not fit in the receive area
    kMalformed,   // not an answer of the mode: its end cannot be known
    kNoMemory,    // the payload buffer could not grow
    kTooLarge,    // a binary answer's payload grows beyond kLargestAnswerSize
};

// What a feed of bytes came to: the answer's status, and how many of the bytes belong to it (the
// rest belong to the next answer).
struct FrameStep {
    FrameStatus status;
    size_t consumed;
};

// Decides when the answer to one request is complete, given the receive mode the caller named.
// It only looks at bytes: the transport feeds it whatever the socket delivered, in any chunking,
// and gets back how many of them belong to this answer. Completion is found at the earliest byte
// where the mode's rule holds, so the result does not depend on how the stream was cut.
//
// An answer that opens with the line "EA" is a list in every mode and ends with the list, so a
// list that answers a request expecting something else is taken whole and the next answer
// starts in step. An answer whose end cannot be found (a list answer that is neither a status
// line nor a list, a block length that cannot be right) is refused as kMalformed.
class CLinkFraming {
  public:
    CLinkFraming() { area_[0] = '\0'; }
    CLinkFraming(const CLinkFraming&) = delete;
    CLinkFraming& operator=(const CLinkFraming&) = delete;

    void SetMode(int32_t mode) { mode_ = mode; }
    int32_t Mode() const { return mode_; }
    void SetExpectedLength(uint32_t bytes) { expectedLength_ = bytes; }
    uint32_t ExpectedLength() const { return expectedLength_; }

    // Starts a new answer: clears the received bytes and the payload (keeping its capacity).
    void Reset();

    // Takes up to `n` bytes. Once the status is no longer kIncomplete, further calls consume
    // nothing.
    FrameStep Feed(const char* data, size_t n);

    FrameStatus Status() const { return status_; }

    // Bytes received so far. Complete: the answer's length, which counts the NUL after a status
    // line in fixed and binary mode, and is the total payload length of a binary answer.
    uint32_t Received() const { return received_; }

    // Binary blocks in the payload of this answer (0 when a status line or a list took their
    // place).
    uint32_t Blocks() const { return blocks_; }

    // The complete answer's Received() bytes: the payload in binary mode, else the receive area.
    const char* Answer() const;

    const CReceiveBuffer& Payload() const { return payload_; }

  private:
    FrameStep FeedText(const char* data, size_t n);
    FrameStep FeedBinary(const char* data, size_t n);
    // Where a text answer ends (0: not yet), and whether it is a status line.
    struct TextEnd {
        uint32_t stop;
        bool statusLine;
    };
    TextEnd FindTextEnd(uint32_t from, uint32_t end) const;
    uint32_t FindLineEnd(uint32_t from, uint32_t end) const;
    uint32_t FindStatusEnd(uint32_t from, uint32_t end) const;
    bool OpensList(uint32_t end) const;
    uint32_t FindListEnd(uint32_t from, uint32_t end) const;
    bool AtStatusLine() const;
    uint32_t CopyIn(const char* data, size_t n);

    // Allocated, not cleared: only the bytes of the answer being framed are ever read, and an
    // answer of a few bytes leaves the rest of the area untouched.
    std::unique_ptr<char[]> areaStore_{new char[kReceiveAreaSize + 1]};
    char* const area_ = areaStore_.get();
    uint32_t received_ = 0;
    uint32_t blocks_ = 0;
    uint32_t expectedLength_ = 0;
    int32_t mode_ = RECV_LIST;
    FrameStatus status_ = FrameStatus::kIncomplete;
    CReceiveBuffer payload_;
};
