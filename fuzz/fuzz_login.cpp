// Feeds arbitrary bytes to the log-in dialogue and the identification. The first byte picks the
// routine: 0 the "_C" parse, 1 the "PID_AUX" parse, 2 the log-in dialogue, 3 the whole
// identification exchange. For the exchanges the rest is a script of answers separated by
// 0xFF bytes, handed out one per Receive as the socket link would. Every run must stay inside
// its buffers and leave the identity within its documented values.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/StatusSink.h"
#include "session/LoginDialogue.h"

namespace {

class ScriptedLink : public CLinkTransport {
  public:
    explicit ScriptedLink(std::vector<std::string> answers) : answers_(std::move(answers)) {}
    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char* request, uint32_t length) override {
        // A request longer than the transport's line buffer would be a caller's fault.
        if (length > 1005 || std::strlen(request) != length) {
            std::abort();
        }
        return RZ_OK;
    }
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape) override {
        if (next_ >= answers_.size()) {
            return RzError(LINK_E_TIMEOUT);
        }
        const std::string& answer = answers_[next_++];
        if (answer.empty()) {
            return RzError(LINK_E_SEND);
        }
        if (answer.size() > capacity) {
            return RzError(LINK_E_BUFFER_SMALL);
        }
        std::memcpy(buffer, answer.data(), answer.size());
        buffer[answer.size()] = '\0';
        return static_cast<uint32_t>(answer.size());
    }
    RzResult SetTimeout(uint32_t) override { return RZ_OK; }
    uint32_t GetTimeout() const override { return kDefaultLinkTimeoutMs; }

  private:
    std::vector<std::string> answers_;
    size_t next_ = 0;
};

std::vector<std::string> SplitScript(const uint8_t* data, size_t size) {
    std::vector<std::string> answers(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            answers.emplace_back();
        } else {
            answers.back().push_back(static_cast<char>(data[i]));
        }
    }
    return answers;
}

void CheckIdentity(const CInstrumentIdentity& identity) {
    if (std::memchr(identity.family, '\0', sizeof identity.family) == nullptr) {
        std::abort();
    }
    if (identity.programOption < 0 || identity.programOption > 2) {
        std::abort();
    }
    for (const int32_t flag : identity.pidAux) {
        if (flag != 0 && flag != 1) {
            std::abort();
        }
    }
    for (const int32_t word : identity.reserved) {
        if (word != 0) {
            std::abort();
        }
    }
    if (IsSupportedIdentity(identity) &&
        (identity.modelNumber != 3100 && identity.modelNumber != 3200)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // Status texts must be terminated strings; reading each one whole checks that.
    ScopedStatusSink sink([](const std::string& text) {
        if (text.find('\0') != std::string::npos) {
            std::abort();
        }
    });
    const uint8_t routine = data[0] & 3;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (routine) {
        case 0: {
            const CParsedIdentity parsed = ParseIdentification(text.c_str());
            const CInstrumentIdentity& identity = parsed.identity;
            if (parsed.recognised &&
                (identity.modelNumber != 3100 && identity.modelNumber != 3200)) {
                std::abort();
            }
            CheckIdentity(identity);
            break;
        }
        case 1: {
            CInstrumentIdentity identity{};
            const PidAuxFlags flags = ParsePidAux(text.c_str());
            std::copy(flags.begin(), flags.end(), identity.pidAux);
            CheckIdentity(identity);
            break;
        }
        case 2: {
            const std::vector<std::string> answers = SplitScript(data + 1, size - 1);
            ScriptedLink link(answers);
            const RzResult result = RunLoginDialogue(&link, "admin", "rzdemo").code();
            // Success needs a greeting with a prompt and an exact "E0" after it. Answers are
            // read as terminated texts: whatever follows a NUL is not part of them.
            if (result == RZ_OK) {
                const auto isE0 = [](const std::string& a) {
                    const std::string text(a.c_str());
                    return text == "E0" || text == "E0\r\n";
                };
                const std::string greeting(answers[0].c_str());
                const bool prompt =
                    greeting.find("Input username.") != std::string::npos ||
                    greeting.find("Select username from 'admin' or 'user'") != std::string::npos;
                const bool accepted = (answers.size() > 1 && isE0(answers[1])) ||
                                      (answers.size() > 2 && isE0(answers[2]));
                if (!prompt || !accepted) {
                    std::abort();
                }
            } else if (result > 0) {
                std::abort();
            }
            break;
        }
        case 3: {
            ScriptedLink link(SplitScript(data + 1, size - 1));
            const RzExpected<CInstrumentIdentity> identified = RunIdentification(&link);
            if (!identified && identified.code() >= 0) {
                std::abort();
            }
            CheckIdentity(identified.value_or(CInstrumentIdentity{}));
            break;
        }
    }
    return 0;
}
