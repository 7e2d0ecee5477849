#pragma once

#include <atomic>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/TableText.h"
#include "platform/StatusSink.h"
#include "transport/LinkTransport.h"

// A scripted link: records every request with the receive mode its answer was read in, and
// hands out queued answers exactly as the socket would (the answer bytes and length, or a code).
// With recording off a run through it allocates nothing, so allocation checks can use it too.
class FakeLink : public CLinkTransport {
  public:
    struct Request {
        std::string text;
        int32_t mode;  // receive mode of its answer; -1 until the answer is read
    };

    // Queues the bytes of the next answer. For RECV_FIXED and RECV_BINARY status lines the real
    // link counts the terminating NUL into the length; pass the bytes as the link would
    // deliver them (e.g. std::string("E1\r\n\0", 5)).
    void QueueAnswer(const std::string& bytes) { answers_.push_back({bytes, RZ_OK}); }
    // The next Receive fails with `code`; with `failsLink` the link is failed from then on.
    void QueueReceiveError(RzResult code, bool failsLink = false) {
        answers_.push_back({{}, code, failsLink});
    }
    // The answer given when nothing is queued (by default the receive times out). A status line
    // gets the NUL the link counts in the fixed and binary modes.
    void SetDefaultAnswer(const std::string& bytes) { defaultAnswer_ = bytes; }
    // The next Send fails with `code`.
    void FailNextSend(RzResult code) { sendError_ = code; }
    // Sends are counted but not stored from now on.
    void StopRecording() { recording_ = false; }

    const std::vector<Request>& requests() const { return requests_; }
    // The requests sent, "|" between them, for one-line comparisons in tables.
    std::string sentText() const {
        std::vector<std::string> texts;
        for (const auto& request : requests_) {
            texts.push_back(request.text);
        }
        return Joined(texts);
    }
    size_t sendCount() const { return sendCount_; }
    size_t pendingAnswers() const { return answers_.size(); }

    // Open answers `code` from now on.
    void SetOpenResult(RzResult code) { openResult_ = code; }
    // "host:port" of the last Open.
    const std::string& openedAddress() const { return address_; }
    int closeCount() const { return closeCount_; }

    RzResult Connect() override { return openResult_; }
    RzResult Open(const char* host, uint16_t port) override {
        address_ = std::string(host) + ":" + std::to_string(port);
        return openResult_;
    }
    RzResult Close() override {
        ++closeCount_;
        return RZ_OK;
    }
    bool IsFailed() const override { return failed_; }
    RzResult Send(const char* request, uint32_t length) override {
        if (sendError_ != RZ_OK) {
            const RzResult code = sendError_;
            sendError_ = RZ_OK;
            return code;
        }
        ++sendCount_;
        if (recording_) {
            requests_.push_back({std::string(request, length), -1});
        }
        return RZ_OK;
    }
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape shape) override {
        mode_ = shape.mode;
        expectedLength_ = shape.expectedLength;
        if (!requests_.empty() && requests_.back().mode == -1) {
            requests_.back().mode = shape.mode;
        }
        if (answers_.empty()) {
            if (defaultAnswer_.empty()) {
                return RzError(LINK_E_TIMEOUT);
            }
            std::string answer = defaultAnswer_;
            // The link counts a status line's terminating NUL in the fixed and binary modes.
            if ((mode_ == RECV_FIXED || mode_ == RECV_BINARY) && answer.size() >= 2 &&
                answer[0] == 'E' && answer.compare(answer.size() - 2, 2, "\r\n") == 0) {
                answer.push_back('\0');
            }
            answers_.push_back({answer, RZ_OK});
        }
        const Answer& answer = answers_.front();
        RzResult result = answer.code;
        failed_ = failed_ || answer.failsLink;
        const auto length = static_cast<uint32_t>(answer.bytes.size());
        if (result == RZ_OK && answer.bytes.empty()) {
            result = LINK_E_SEND;
        } else if (result == RZ_OK && answer.bytes.size() > capacity) {
            result = LINK_E_BUFFER_SMALL;
        } else if (result == RZ_OK) {
            std::memcpy(buffer, answer.bytes.data(), answer.bytes.size());
            buffer[answer.bytes.size()] = '\0';
        }
        answers_.pop_front();
        if (result != RZ_OK) {
            return RzError(result);
        }
        return length;
    }
    RzResult SetTimeout(uint32_t ms) override {
        timeout_ = ms;
        return RZ_OK;
    }
    uint32_t GetTimeout() const override { return timeout_; }
    // Record length named by the last Receive.
    uint32_t expectedLength() const { return expectedLength_; }

  private:
    struct Answer {
        std::string bytes;
        RzResult code;
        bool failsLink = false;
    };
    std::deque<Answer> answers_;
    std::vector<Request> requests_;
    bool recording_ = true;
    size_t sendCount_ = 0;
    RzResult sendError_ = RZ_OK;
    RzResult openResult_ = RZ_OK;
    std::string defaultAnswer_;
    std::string address_;
    int closeCount_ = 0;
    std::atomic<bool> failed_{false};
    int32_t mode_ = RECV_LIST;
    uint32_t timeout_ = kDefaultLinkTimeoutMs;
    uint32_t expectedLength_ = 0;
};

// A list answer: "EA", the given lines, "EN", each ended by CR LF.
inline std::string List(std::initializer_list<std::string> lines) {
    std::string answer = "EA\r\n";
    for (const auto& line : lines) {
        answer += line + "\r\n";
    }
    return answer + "EN\r\n";
}

// The status texts shown while the object lives.
struct ShownMessages {
    std::vector<std::string> texts;
    ScopedStatusSink sink{[this](const std::string& text) { texts.push_back(text); }};
};
