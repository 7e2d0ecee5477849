#include "session/InstrumentSummary.h"

#include <cstdio>
#include <cstring>

#include "model/Naming.h"

namespace {

// How many values in alarm a description names; the rest are counted.
constexpr int kNamedAlarms = 3;

const char* const kQuantities[] = {"PV", "SP", "OUT"};

// "channel 1 (1-T-01)": what a value is and, when it has one other than its number, its tag.
std::string ValueName(const char* what, int number, const char* quantity, const char* tag) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d%s%s", what, number, quantity[0] != '\0' ? " " : "",
                  quantity);
    std::string name = text;
    char plain[16];
    std::snprintf(plain, sizeof plain, "%d", number);
    if (tag[0] != '\0' && std::strcmp(tag, plain) != 0) {
        name += " (" + std::string(tag, strnlen(tag, kNameSize)) + ")";
    }
    return name;
}

template <size_t N>
std::string TextOf(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field, length);
}

// The value of display group member `number`; false when it names nothing the model holds.
bool MemberValue(const CInstrumentModel& model, int32_t number, CSummaryValue* out) {
    const CChannelPosition at = LocateChannel(number);
    const CDisplayBlock* display = nullptr;
    const CValueMark* mark = nullptr;
    int part = at.quantity;
    switch (at.object) {
        case ChannelObject::kMeasurement:
        case ChannelObject::kMath: {
            const int channel = at.index + (at.object == ChannelObject::kMath ? kMeasChannels : 0);
            display = &model.channels[channel].display;
            mark = &model.channelMarks[channel];
            WholeValueText whole;
            GetWholeValueText(*display, whole);
            out->value = whole;
            part = -1;
            break;
        }
        case ChannelObject::kInternalLoop:
            display = &model.internalLoops[at.index].display;
            mark = &model.loopMarks[3 * at.index + at.quantity];
            break;
        case ChannelObject::kExternalLoop:
            display = &model.externalLoops[at.index].display;
            mark = &model.extLoopMarks[3 * at.index + at.quantity];
            break;
        case ChannelObject::kNone:
            return false;
    }
    if (part >= 0) {
        out->value = TextOf(display->valueText[part]);
    }
    out->tag = TextOf(display->tag[part >= 0 ? part : 0]);
    out->unit = TextOf(mark->unit);
    return true;
}

}  // namespace

std::string DescribeAlarms(const CInstrumentModel& model) {
    std::string text;
    int count = 0;
    auto note = [&](const CValueMark& mark, auto&& name) {
        if (mark.alarm == 0) {
            return;
        }
        if (++count <= kNamedAlarms) {
            text += (count > 1 ? ", " : "") + name();
        }
    };
    for (int i = 0; i < kChannels; ++i) {
        const bool math = i >= kMeasChannels;
        note(model.channelMarks[i], [&] {
            return ValueName(math ? "math channel" : "channel",
                             math ? i - kMeasChannels + 1 : i + 1, "",
                             model.channels[i].display.tag[0]);
        });
    }
    for (int k = 0; k < 3 * kInternalLoops; ++k) {
        note(model.loopMarks[k], [&] {
            return ValueName("loop", k / 3 + 1, kQuantities[k % 3],
                             model.internalLoops[k / 3].display.tag[k % 3]);
        });
    }
    for (int k = 0; k < 3 * kExternalLoops; ++k) {
        note(model.extLoopMarks[k], [&] {
            return ValueName("external loop", k / 3 + 1, kQuantities[k % 3],
                             model.externalLoops[k / 3].display.tag[k % 3]);
        });
    }
    if (count > kNamedAlarms) {
        text += " and " + std::to_string(count - kNamedAlarms) + " more";
    }
    return text;
}

CInstrumentSummary SummarizeInstrument(const CInstrumentModel& model,
                                       const CDataFreshness& freshness, int valueCount) {
    CInstrumentSummary summary;
    summary.model = TextOf(model.family) + std::to_string(model.modelClass);
    char firmware[32];
    std::snprintf(firmware, sizeof firmware, "%d.%02d", model.firmwareMajor,
                  model.version & 0xFFFF);
    summary.firmware = firmware;
    summary.alarm = DescribeAlarms(model);
    summary.memoryRunning = model.memoryRunning != 0;
    summary.mathRunning = model.mathRunning != 0;
    summary.valuesValidAtNs = freshness.values.validAtNs;
    summary.valuesReason = TextOf(freshness.values.reason);
    if (model.displayGroupCount < 1) {
        return summary;
    }
    // Members in use come first; the first number below 1 ends the group.
    for (const CGroupMember& member : model.displayGroups[0].members) {
        if (member.number < 1 || static_cast<int>(summary.values.size()) >= valueCount) {
            break;
        }
        CSummaryValue value;
        if (MemberValue(model, member.number, &value)) {
            summary.values.push_back(std::move(value));
        }
    }
    return summary;
}
