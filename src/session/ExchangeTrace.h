#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ResultCodes.h"
#include "transport/LinkTransport.h"

// One exchange with the instrument as the trace keeps it.
struct CTraceEntry {
    int64_t wallMs = 0;       // when the request was sent (ms since the epoch)
    std::string request;      // the request line; "(greeting)" for an answer without a request
    std::string answer;       // the answer's first line, or a summary of a binary answer
    uint32_t durationUs = 0;  // from the request to the end of the answer
    RzResult result = RZ_OK;
};

// The last kCapacity exchanges of a connection, oldest first. Adding reuses the slots of the
// ring, so a full trace allocates nothing more and its memory stays bounded. Any thread.
class CExchangeTrace {
  public:
    static constexpr size_t kCapacity = 1000;
    // Longest request or answer text kept; longer ones end in "...".
    static constexpr size_t kTextLimit = 200;

    void Add(int64_t wallMs, const char* request, size_t requestLength, const char* answer,
             size_t answerLength, uint32_t durationUs, RzResult result);
    std::vector<CTraceEntry> Entries() const;
    // How many exchanges were added in all (a window polls this to see whether it changed).
    uint64_t Added() const;

  private:
    mutable std::mutex mutex_;
    std::vector<CTraceEntry> ring_;
    size_t next_ = 0;
    uint64_t added_ = 0;
};

// How an answer shows in the trace: "PNG 245,312 bytes in 4 blocks" for a screen image,
// otherwise "binary N bytes in K blocks" for a binary answer (without the blocks when `blocks`
// is 0: not known); the first line of an error line or list that came in their place and of
// any other answer.
std::string SummariseAnswer(const char* answer, size_t length, int32_t mode, uint32_t blocks);

// A link that writes every exchange into a trace while recording, and passes everything on to
// the link it wraps. It does not record until told to. A request that is the hidden text (the
// password of the log-in dialogue) is recorded as kHiddenRequest.
class CTraceLink : public CLinkTransport {
  public:
    CTraceLink(std::unique_ptr<CLinkTransport> inner, std::shared_ptr<CExchangeTrace> trace);

    static constexpr const char* kHiddenRequest = "********";

    void SetRecording(bool recording) { recording_.store(recording, std::memory_order_relaxed); }
    // Before the first exchange; an empty text hides nothing.
    void HideRequest(std::string secret) { secret_ = std::move(secret); }
    const std::shared_ptr<CExchangeTrace>& Trace() const { return trace_; }

    RzResult Open(const char* host, uint16_t port) override;
    RzResult Connect() override;
    RzResult Close() override;
    RzResult Abandon() override;
    bool IsFailed() const override;
    RzResult Send(const char* request, uint32_t length) override;
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape shape) override;
    RzResult SetTimeout(uint32_t ms) override;
    uint32_t GetTimeout() const override;
    uint32_t LastAnswerBlocks() const override;
    std::string FailureReason() const override { return inner_->FailureReason(); }

  private:
    std::unique_ptr<CLinkTransport> inner_;
    std::shared_ptr<CExchangeTrace> trace_;
    std::atomic<bool> recording_{false};
    std::string secret_;
    // Only the thread of the running exchange touches these (the connection lock orders them).
    bool sent_ = false;
    std::string request_;
    int64_t sentWallMs_ = 0;
    std::chrono::steady_clock::time_point sentAt_{};
};
