#include "model/Naming.h"

#include <cstdio>

#include "model/InstrumentModel.h"
#include "platform/Strings.h"

namespace {

// Every record of a kind gets the same type text.
template <typename Record, size_t N>
void WriteTypeText(Record (&records)[N], size_t first, size_t count, RzStr type) {
    const char* text = RzString(type);
    for (size_t i = first; i < first + count && i < N; ++i) {
        CopyText(records[i].display.typeText, sizeof(records[i].display.typeText), text);
    }
}

void FormatNumbered(const char* format, int32_t number, char* text, size_t size) {
    if (size == 0) {
        return;
    }
    std::snprintf(text, size, format, number);
    text[size - 1] = '\0';
}

}  // namespace

CChannelPosition LocateChannel(int32_t number) {
    if (number >= 1 && number <= kMeasChannels) {
        return {ChannelObject::kMeasurement, number - 1, 0};
    }
    if (number >= 31 && number <= 30 + kMathChannels) {
        return {ChannelObject::kMath, number - 31, 0};
    }
    if (number >= 101 && number < 101 + 3 * kInternalLoops) {
        return {ChannelObject::kInternalLoop, (number - 101) / 3, (number - 101) % 3};
    }
    if (number >= 201 && number < 201 + 3 * kExternalLoops) {
        return {ChannelObject::kExternalLoop, (number - 201) / 3, (number - 201) % 3};
    }
    return {ChannelObject::kNone, 0, 0};
}

int32_t DisplayMemberKind(int32_t number) {
    if (number <= 30) {
        return 1;
    }
    switch (LocateChannel(number).object) {
        case ChannelObject::kMath:
            return 2;
        case ChannelObject::kInternalLoop:
            return 3;
        case ChannelObject::kExternalLoop:
            return 4;
        case ChannelObject::kMeasurement:
        case ChannelObject::kNone:
            break;
    }
    return 0;
}

void TrimTrailingBlanks(char* text) {
    size_t keep = 0;
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] != ' ') {
            keep = i + 1;
        }
    }
    text[keep] = '\0';
}

bool StoreTrimmed(char* text, size_t size, const char* source) {
    if (size == 0) {
        return false;
    }
    // One pass: copied as far as the field holds, ended after the last non-blank (it runs for
    // every value of every pass).
    size_t kept = 0;
    for (size_t i = 0; source != nullptr && i + 1 < size && source[i] != '\0'; ++i) {
        text[i] = source[i];
        if (source[i] != ' ') {
            kept = i + 1;
        }
    }
    text[kept] = '\0';
    return kept != 0;
}

void FormatDefaultTag(int32_t number, char* text, size_t size) {
    FormatNumbered("%d", number, text, size);
}

void FormatInternalLoopName(int32_t loop, char* text, size_t size) {
    FormatNumbered("INT-%02d", loop, text, size);
}

void FormatExternalLoopName(int32_t loop, char* text, size_t size) {
    FormatNumbered("EXT-%02d", loop, text, size);
}

void FormatDioDefaultName(const char* pointText, int32_t moduleKind, int32_t number, char* text,
                          size_t size) {
    const bool relay = pointText != nullptr && pointText[0] == 'R';
    const char* format = nullptr;
    if (relay) {
        format = moduleKind != 0 ? "RO-%03d" : "RI-%03d";
    } else if (moduleKind == 0) {
        format = "DI-%03d";
    } else if (moduleKind == 1 || moduleKind == 2 || moduleKind == 5) {
        format = "DO-%03d";
    } else if (moduleKind == 7) {
        CopyText(text, size, "");
        return;
    } else {
        format = "DIO-%03d";
    }
    FormatNumbered(format, number, text, size);
}

const char* ModuleKindText(int32_t kind) {
    static const char* const kTexts[] = {"DI-1",   "DO-1",  "DO-2",   "DIO-11",
                                         "DIO-12", "DO-2P", "DIO-12P"};
    if (kind >= 0 && kind < static_cast<int32_t>(sizeof(kTexts) / sizeof(kTexts[0]))) {
        return kTexts[kind];
    }
    return "DIO";
}

void WriteTypeTexts(CInstrumentModel& model) {
    if (model.measCount > 0) {
        WriteTypeText(model.channels, 0, kMeasChannels, RzStr::kMeasType);
    }
    if (model.mathCount > 0) {
        WriteTypeText(model.channels, kMeasChannels, kMathChannels, RzStr::kMathType);
    }
    if (model.loopCount > 0) {
        WriteTypeText(model.internalLoops, 0, kInternalLoops, RzStr::kInternalLoopType);
    }
    if (model.extLoopCount > 0) {
        WriteTypeText(model.externalLoops, 0, kExternalLoops, RzStr::kExternalLoopType);
    }
    if (model.dioCount > 0) {
        WriteTypeText(model.dio, 0, kDioPoints, RzStr::kDioType);
    }
}
