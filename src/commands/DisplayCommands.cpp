#include "commands/DisplayCommands.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"

namespace {

enum class GroupRange { kNone, kDisplayGroups, kControlGroups };

struct DisplayCode {
    const char* text;
    GroupRange range;
};

// Display codes of a kind-1 switch, indexed by code; a null text is a code no display has.
constexpr DisplayCode kDisplayCodes[] = {
    {"TREND,", GroupRange::kDisplayGroups},       // 0
    {"DIGITAL,", GroupRange::kDisplayGroups},     // 1
    {"BAR,", GroupRange::kDisplayGroups},         // 2
    {"OVERVIEW", GroupRange::kNone},              // 3
    {"ALARM", GroupRange::kNone},                 // 4
    {"MESSAGE", GroupRange::kNone},               // 5
    {nullptr, GroupRange::kNone},                 // 6
    {"FACEPLATE,", GroupRange::kControlGroups},   // 7
    {"CONTROLLER,", GroupRange::kControlGroups},  // 8
    {"HYBRID,", GroupRange::kControlGroups},      // 9
    {"CTRLOVER", GroupRange::kNone},              // 10
    {"PROGRAM", GroupRange::kNone},               // 11
    {"CTRLDO", GroupRange::kNone},                // 12
    {"CTRLSUMMARY", GroupRange::kNone},           // 13
    {"CTRLSW", GroupRange::kNone},                // 14
    {"EVENTSUMMARY", GroupRange::kNone},          // 15
};

const char* OnOff(int32_t flag, bool comma) {
    if (comma) {
        return flag != 0 ? "ON," : "OFF,";
    }
    return flag != 0 ? "ON" : "OFF";
}

}  // namespace

RzResult CCmdUD::Execute() {
    if (kind != 1 && kind != 4) {
        return LINK_E_KIND;
    }
    char request[64];
    if (kind == 1) {
        const auto code = static_cast<uint32_t>(display);
        if (code >= std::size(kDisplayCodes) || kDisplayCodes[code].text == nullptr) {
            return LINK_E_KIND;
        }
        const DisplayCode& entry = kDisplayCodes[code];
        if (entry.range == GroupRange::kNone) {
            std::snprintf(request, sizeof(request), "UD 1,%s", entry.text);
        } else {
            if (identity_ == nullptr) {
                return LINK_E_NOT_INITIALIZED;
            }
            const int32_t count = entry.range == GroupRange::kDisplayGroups
                                      ? identity_->displayGroupCount
                                      : identity_->controlGroupCount;
            // Unsigned, so that 0 and negative group numbers fail as well.
            const auto number = static_cast<uint32_t>(group);
            if (number < 1 || number > static_cast<uint32_t>(count)) {
                return LINK_E_PARAMETER;
            }
            std::snprintf(request, sizeof(request), "UD 1,%s%d", entry.text, group);
        }
    } else {
        std::snprintf(request, sizeof(request), "UD 4,%s%s%s%s", OnOff(display, true),
                      group != 0 ? "All," : "GROUP,", OnOff(option2, true), OnOff(option3, false));
    }
    return ExchangeStatus(request);
}

RzResult CCmdAmp4::Execute() {
    char request[32];
    std::snprintf(request, sizeof(request), "&4 %d", pattern);
    return ExchangeStatus(request);
}

RzResult CCmdFC::Bind(CLinkTransport* link, const CInstrumentModel* identity) {
    imageData = imageBuffer;
    imageLength = 0;
    return CCommand::Bind(link, identity);
}

RzResult CCmdFC::Query() {
    imageLength = 0;
    errorLine[0] = '\0';
    if (link_ != nullptr && !imageStore_) {
        imageStore_.reset(new (std::nothrow) uint8_t[kImageBufferSize]);
        receiveStore_.reset(new (std::nothrow) char[kImageBufferSize + 1]);
        if (!imageStore_ || !receiveStore_) {
            imageStore_.reset();
            return LINK_E_NO_MEMORY;
        }
        imageBuffer = imageStore_.get();
        imageData = imageBuffer;
    }
    RzResult result = SendRequest("FC GET");
    if (result != RZ_OK) {
        return result;
    }
    char* const receiveBuffer = receiveStore_.get();
    const RzExpected<uint32_t> received =
        link_->Receive(receiveBuffer, kImageBufferSize, RECV_BINARY);
    if (!received) {
        return received.code();
    }
    const uint32_t length = *received;
    if (length > kImageBufferSize) {
        return LINK_E_BUFFER_SMALL;
    }
    receiveBuffer[length] = '\0';
    if (IsBinaryErrorAnswer(receiveBuffer, length)) {
        KeepErrorLine(errorLine, receiveBuffer);
        ShowStatusMessage(receiveBuffer);
        return REPLY_UNEXPECTED;
    }
    std::memcpy(imageBuffer, receiveBuffer, length);
    imageLength = length;
    return RZ_OK;
}
