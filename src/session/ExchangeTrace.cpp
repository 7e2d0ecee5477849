#include "session/ExchangeTrace.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace {

void Keep(std::string& slot, const char* text, size_t length) {
    if (length > CExchangeTrace::kTextLimit) {
        slot.assign(text, CExchangeTrace::kTextLimit);
        slot += "...";
    } else {
        slot.assign(text, length);
    }
}

std::string GroupThousands(uint32_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

int64_t WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void CExchangeTrace::Add(int64_t wallMs, const char* request, size_t requestLength,
                         const char* answer, size_t answerLength, uint32_t durationUs,
                         RzResult result) {
    std::lock_guard lock(mutex_);
    if (ring_.size() < kCapacity) {
        ring_.emplace_back();
        next_ = ring_.size() - 1;
    }
    CTraceEntry& entry = ring_[next_];
    entry.wallMs = wallMs;
    Keep(entry.request, request, requestLength);
    Keep(entry.answer, answer, answerLength);
    entry.durationUs = durationUs;
    entry.result = result;
    next_ = (next_ + 1) % kCapacity;
    ++added_;
}

std::vector<CTraceEntry> CExchangeTrace::Entries() const {
    std::lock_guard lock(mutex_);
    if (ring_.size() < kCapacity) {
        return ring_;
    }
    std::vector<CTraceEntry> entries(ring_.begin() + static_cast<std::ptrdiff_t>(next_),
                                     ring_.end());
    entries.insert(entries.end(), ring_.begin(),
                   ring_.begin() + static_cast<std::ptrdiff_t>(next_));
    return entries;
}

uint64_t CExchangeTrace::Added() const {
    std::lock_guard lock(mutex_);
    return added_;
}

std::string SummariseAnswer(const char* answer, size_t length, int32_t mode, uint32_t blocks) {
    // An error line or a list in place of the blocks shows as text.
    const bool text = blocks == 0 && length > 0 && answer[0] == 'E';
    if (mode == RECV_BINARY && length > 0 && !text) {
        static constexpr char kPngSignature[] = "\x89PNG";
        const bool png = length >= 4 && std::memcmp(answer, kPngSignature, 4) == 0;
        std::string summary = png ? "PNG " : "binary ";
        summary += GroupThousands(static_cast<uint32_t>(length));
        summary += " bytes";
        if (blocks != 0) {
            summary += " in " + std::to_string(blocks) + (blocks == 1 ? " block" : " blocks");
        }
        return summary;
    }
    size_t end = 0;
    while (end < length && answer[end] != '\r' && answer[end] != '\n') {
        ++end;
    }
    return std::string(answer, end);
}

CTraceLink::CTraceLink(std::unique_ptr<CLinkTransport> inner, std::shared_ptr<CExchangeTrace> trace)
    : inner_(std::move(inner)), trace_(std::move(trace)) {}

RzResult CTraceLink::Open(const char* host, uint16_t port) {
    return inner_->Open(host, port);
}

RzResult CTraceLink::Connect() {
    return inner_->Connect();
}

RzResult CTraceLink::Close() {
    return inner_->Close();
}

RzResult CTraceLink::Abandon() {
    return inner_->Abandon();
}

bool CTraceLink::IsFailed() const {
    return inner_->IsFailed();
}

RzResult CTraceLink::Send(const char* request, uint32_t length) {
    const RzResult result = inner_->Send(request, length);
    if (!recording_.load(std::memory_order_relaxed)) {
        return result;
    }
    if (!secret_.empty() && std::string_view(request, length) == secret_) {
        request = kHiddenRequest;
        length = static_cast<uint32_t>(std::strlen(kHiddenRequest));
    }
    if (result != RZ_OK) {
        trace_->Add(WallMs(), request, length, "", 0, 0, result);
        sent_ = false;
        return result;
    }
    request_.assign(request, length);
    sentWallMs_ = WallMs();
    sentAt_ = std::chrono::steady_clock::now();
    sent_ = true;
    return result;
}

RzExpected<uint32_t> CTraceLink::Receive(char* buffer, uint32_t capacity, AnswerShape shape) {
    RzExpected<uint32_t> received = inner_->Receive(buffer, capacity, shape);
    if (!recording_.load(std::memory_order_relaxed)) {
        return received;
    }
    const auto now = std::chrono::steady_clock::now();
    const RzResult result = received.code();
    const size_t length = received.value_or(0);
    const std::string answer =
        SummariseAnswer(buffer, length, shape.mode, inner_->LastAnswerBlocks());
    if (sent_) {
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(now - sentAt_).count();
        trace_->Add(sentWallMs_, request_.data(), request_.size(), answer.data(), answer.size(),
                    static_cast<uint32_t>(us), result);
    } else {
        static constexpr char kGreeting[] = "(greeting)";
        trace_->Add(WallMs(), kGreeting, sizeof kGreeting - 1, answer.data(), answer.size(), 0,
                    result);
    }
    sent_ = false;
    return received;
}

uint32_t CTraceLink::LastAnswerBlocks() const {
    return inner_->LastAnswerBlocks();
}

RzResult CTraceLink::SetTimeout(uint32_t ms) {
    return inner_->SetTimeout(ms);
}

uint32_t CTraceLink::GetTimeout() const {
    return inner_->GetTimeout();
}
