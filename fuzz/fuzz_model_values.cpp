// Value texts and names from arbitrary items, numbers and answers: no text may run past its
// field or lose its terminator, whatever the instrument reports. Fields are heap blocks of
// exactly their size so that the address sanitizer sees any write beyond them.
//
// The first byte picks the case: 0 a raw value item, 1 a number with decimal places, 2 a
// DI/DO default name, 3 the whole values step over the input as the values answer.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "commands/CommandSet.h"
#include "model/InstrumentModel.h"
#include "model/Naming.h"
#include "model/ValueFormat.h"
#include "session/ModelLoader.h"

namespace {

// Consumes input bytes front to back.
struct Input {
    const uint8_t* data;
    size_t size;

    uint8_t Byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    template <typename T>
    T Value() {
        T value{};
        const size_t n = size < sizeof(T) ? size : sizeof(T);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
    // A NUL-terminated text of up to `limit` input bytes, in a block of exactly its size.
    std::unique_ptr<char[]> Text(size_t limit) {
        const size_t length = Byte() % (limit + 1);
        const size_t n = length < size ? length : size;
        auto text = std::make_unique<char[]>(n + 1);
        std::memcpy(text.get(), data, n);
        text[n] = '\0';
        data += n;
        size -= n;
        return text;
    }
};

void CheckField(const char* field, size_t size) {
    if (size > 0 && std::memchr(field, '\0', size) == nullptr) {
        std::abort();  // lost terminator
    }
}

void FuzzItem(Input& in) {
    const uint8_t selector = in.Byte();
    const auto target = static_cast<ValueTarget>(selector % 5);
    const bool exponentForm = (selector & 0x80) != 0;
    const size_t size = (selector & 0x40) != 0 ? kChannelValueTextSize : in.Byte() % 32;
    auto status = in.Text(2);
    auto mantissa = in.Text(24);
    auto exponent = in.Text(12);
    auto field = std::make_unique<char[]>(size == 0 ? 1 : size);
    CValueNumber number{};
    FormatValueItem(target, {status.get(), mantissa.get(), exponent.get()}, exponentForm,
                    field.get(), size, &number);
    CheckField(field.get(), size);
}

void FuzzNumber(Input& in) {
    const size_t size = in.Byte() % 32;
    const auto decimals = in.Value<int32_t>();
    const auto value = in.Value<double>();
    auto field = std::make_unique<char[]>(size == 0 ? 1 : size);
    FormatFixed(value, decimals, field.get(), size);
    CheckField(field.get(), size);
    FormatExponent(value, field.get(), size);
    CheckField(field.get(), size);
    FormatDioState(decimals, field.get(), size);
    CheckField(field.get(), size);
}

void FuzzName(Input& in) {
    const auto kind = in.Value<int32_t>();
    const auto number = in.Value<int32_t>();
    auto text = in.Text(32);
    auto field = std::make_unique<char[]>(kNameSize);
    FormatDioDefaultName(text.get(), kind, number, field.get(), kNameSize);
    CheckField(field.get(), kNameSize);
    StoreTrimmed(field.get(), kNameSize, text.get());
    CheckField(field.get(), kNameSize);
    FormatInternalLoopName(number, field.get(), kNameSize);
    CheckField(field.get(), kNameSize);
}

// Hands the rest of the input out as the one answer.
class InputLink : public CLinkTransport {
  public:
    InputLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char*, uint32_t) override { return RZ_OK; }
    RzExpected<uint32_t> Receive(char* buffer, uint32_t capacity, AnswerShape) override {
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
};

void FuzzValuesStep(Input& in) {
    // One command set for the whole run: it holds megabytes of image buffers.
    static auto* commands = new CCommandSet;
    auto model = std::make_unique<CInstrumentModel>();
    model->modelClass = 3200;
    model->firmwareMajor = 3;
    for (int i = 0; i < kMeasChannels; ++i) {
        model->inputTypes[i] = (i % 2 == 0) ? kInputTypeLog : 0;
    }
    model->internalLoops[0].loopKind = 1;
    InputLink link(in.data, in.size);
    commands->Bind(&link, model.get(), model.get());
    CModelLoader loader(*commands, *model);
    loader.LoadValues();
    if (model->loopCount < 0 || model->loopCount > kInternalLoops || model->extLoopCount < 0 ||
        model->extLoopCount > kExternalLoops || model->measCount < 0 ||
        model->measCount > kMeasChannels || model->mathCount < 0 ||
        model->mathCount > kMathChannels) {
        std::abort();
    }
    for (const auto& channel : model->channels) {
        WholeValueText text;
        GetWholeValueText(channel.display, text);
        CheckField(text, kChannelValueTextSize);
    }
    for (const auto& loop : model->internalLoops) {
        for (const auto& text : loop.display.valueText) {
            CheckField(text, sizeof(text));
        }
    }
    for (const auto& loop : model->externalLoops) {
        for (const auto& text : loop.display.valueText) {
            CheckField(text, sizeof(text));
        }
    }
    CheckField(model->dataDate, sizeof(model->dataDate));
    CheckField(model->dataTime, sizeof(model->dataTime));
    commands->Bind(nullptr, nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    switch (in.Byte() % 4) {
        case 0:
            FuzzItem(in);
            break;
        case 1:
            FuzzNumber(in);
            break;
        case 2:
            FuzzName(in);
            break;
        default:
            FuzzValuesStep(in);
            break;
    }
    return 0;
}
