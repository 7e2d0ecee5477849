// Feeds arbitrary answers to the shared answer routines of the commands: status lines, field
// lists, field splitting, the line walk, the screen-image fetch and the program exchange.
// The first byte picks the routine, the rest is the answer as the link would deliver it.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "commands/Command.h"
#include "commands/DisplayCommands.h"
#include "commands/OperationCommands.h"

namespace {

// Hands out the fuzz input as the one answer to whatever is sent.
class InputLink : public CLinkTransport {
  public:
    InputLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char*, uint32_t) override { return RZ_OK; }
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape) override {
        if (used_) {
            return RzError(LINK_E_TIMEOUT);
        }
        used_ = true;
        if (size_ > capacity) {
            return RzError(LINK_E_BUFFER_SMALL);
        }
        std::memcpy(buffer, data_, size_);
        buffer[size_] = '\0';
        return static_cast<uint32_t>(size_);
    }
    RzResult SetTimeout(uint32_t) override { return RZ_OK; }
    uint32_t GetTimeout() const override { return kDefaultLinkTimeoutMs; }

  private:
    const uint8_t* data_;
    size_t size_;
    bool used_ = false;
};

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckRows(const FieldRows& rows, int count) {
    Check(count >= 0 && count <= kFieldRows);
    for (int i = 0; i < count; ++i) {
        Check(std::memchr(rows[i], '\0', kFieldRowSize) != nullptr);
    }
}

FieldRows rows;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t selector = data[0];
    const uint8_t parameter = data[1];
    data += 2;
    size -= 2;
    InputLink link(data, size);

    switch (selector % 7) {
        case 0: {
            CCommand command;
            command.Bind(&link, nullptr);
            const RzResult result = command.ReceiveStatus();
            Check(result == RZ_OK || result == REPLY_ERROR || result == REPLY_UNEXPECTED ||
                  result == LINK_E_BUFFER_SMALL);
            break;
        }
        case 1: {
            // A refused list leaves the rows it filled: every row must still be a text.
            CheckRows(rows, ReceiveFieldList(&link, rows).value_or(kFieldRows));
            break;
        }
        case 2: {
            // The line as a text: stop at the input's end.
            static char line[70000];
            const size_t length = size < sizeof(line) - 1 ? size : sizeof(line) - 1;
            std::memcpy(line, data, length);
            line[length] = '\0';
            const int maxRows = static_cast<int>(parameter) + (selector & 0x80 ? 200 : 0);
            SplitFields(rows, line, maxRows);
            CheckRows(rows, kFieldRows);
            break;
        }
        case 3: {
            const LineWalkOptions options{(parameter & 1) ? AnswerErrorTest::kPositiveNumber
                                                          : AnswerErrorTest::kNotListOpener,
                                          (parameter & 2) != 0,
                                          (parameter & 4) ? 256u : kLineWalkCapacity};
            RunLineWalk(&link, "HO?", options, [](const char* line, int length) {
                Check(length > 0 && length < kLineBufferSize);
                Check(std::strlen(line) <= static_cast<size_t>(length));
                return RZ_OK;
            });
            break;
        }
        case 4: {
            static auto fetch = std::make_unique<CCmdFC>();
            fetch->Bind(&link, nullptr);
            const RzResult result = fetch->Query();
            Check(fetch->imageLength <= kImageBufferSize);
            Check(result != RZ_OK || fetch->imageLength == size);
            break;
        }
        case 5: {
            static CCmdDT limits;
            limits.Bind(&link, nullptr);
            limits.loop = parameter;
            limits.pidNumber = selector;
            limits.Query();
            break;
        }
        case 6: {
            if (size >= sizeof(double) + 1) {
                double value = 0;
                std::memcpy(&value, data, sizeof(double));
                const int decimals = static_cast<int8_t>(data[sizeof(double)]);
                const int64_t scaled = ScaleValue(value, decimals);
                if (const RzExpected<int32_t> request = ScaleRequestValue(value, decimals)) {
                    Check(*request == scaled);
                }
                // Within the exactly representable range the result is the nearest integer
                // (ties upwards) of value * 10^d, give or take the value's own rounding.
                if (std::isfinite(value) && decimals >= 0 && decimals <= 6 &&
                    std::fabs(value) < 1e6) {
                    const double exact = value * std::pow(10.0, decimals);
                    Check(std::fabs(static_cast<double>(scaled) - exact) <= 0.5 + 1e-3);
                }
            }
            CCmdPN pattern;
            pattern.Bind(&link, nullptr);
            pattern.pattern = 1 + parameter % 30;
            pattern.Execute();
            break;
        }
    }
    return 0;
}
