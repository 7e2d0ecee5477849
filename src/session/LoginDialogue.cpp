#include "session/LoginDialogue.h"

#include <cstdio>
#include <cstring>

#include "platform/StatusSink.h"

namespace {

bool HasLineBreak(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

bool IsExactlyE0(const char* answer) {
    return std::strcmp(answer, "E0") == 0 || std::strcmp(answer, "E0\r\n") == 0;
}

// An answer as quoted in a failure: without its line end.
std::string Quoted(const char* answer) {
    std::string text = answer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Reads one log-in answer; on failure shows what arrived, or the generic text when nothing did.
RzResult ReceiveLoginAnswer(CLinkTransport* link, char (&answer)[kLoginAnswerCapacity + 1]) {
    answer[0] = '\0';
    uint32_t length = 0;
    const RzResult result = link->Receive(answer, kLoginAnswerCapacity, &length, RECV_LINE);
    if (result != RZ_OK) {
        if (answer[0] == '\0') {
            ShowStatusString(RzStr::kCheckConfiguration);
        } else {
            ShowStatusMessage(answer);
        }
    }
    return result;
}

RzResult SendText(CLinkTransport* link, const char* text) {
    char request[1006];
    const int n = std::snprintf(request, sizeof request, "%s", text);
    if (n < 0 || static_cast<size_t>(n) >= sizeof request) {
        return LINK_E_PARAMETER;
    }
    return link->Send(request, static_cast<uint32_t>(n));
}

// Parses an unsigned decimal number at `p` (no sign), saturating instead of overflowing.
int32_t ReadDecimal(const char* p, const char** end = nullptr) {
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 100000000) {
            value = value * 10 + (*p - '0');
        }
        ++p;
    }
    if (end != nullptr) {
        *end = p;
    }
    return static_cast<int32_t>(value > 0x7FFF ? 0x7FFF : value);
}

}  // namespace

bool IsLoginGreeting(const char* greeting) {
    return std::strstr(greeting, "Input username.") != nullptr ||
           std::strstr(greeting, "Select username from 'admin' or 'user'") != nullptr;
}

std::string LoginExchangeFailure(RzResult result, const std::string& during) {
    if (result == LINK_E_TIMEOUT) {
        return "time-out " + during;
    }
    if (IsLinkBroken(result)) {
        return "connection lost " + during;
    }
    return std::string(ResultCodeName(result)) + " " + during;
}

RzResult RunLoginDialogue(CLinkTransport* link, const char* user, const char* password,
                          std::string* failure) {
    std::string unused;
    std::string& why = failure != nullptr ? *failure : unused;
    why.clear();
    // Each text goes out as one request line: a line break inside it would end the line early
    // and send the rest to the instrument as requests of their own.
    if (HasLineBreak(user) || HasLineBreak(password)) {
        ShowStatusMessage(kLineBreakInLogin);
        why = "the user name or password holds a line break";
        return LINK_E_PARAMETER;
    }
    char answer[kLoginAnswerCapacity + 1];
    RzResult result = ReceiveLoginAnswer(link, answer);
    if (result != RZ_OK) {
        why = LoginExchangeFailure(result, "while waiting for the greeting");
        return result;
    }
    if (!IsLoginGreeting(answer)) {
        ShowStatusMessage(answer);
        why = "unexpected greeting \"" + Quoted(answer) + "\"";
        return LINK_E_LOGIN;
    }

    result = SendText(link, user);
    if (result != RZ_OK) {
        why = LoginExchangeFailure(result, "while sending the user name");
        return result;
    }
    result = ReceiveLoginAnswer(link, answer);
    if (result != RZ_OK) {
        why = LoginExchangeFailure(result, "while waiting for the password prompt");
        return result;
    }
    if (IsExactlyE0(answer)) {
        return RZ_OK;
    }
    if (std::strstr(answer, "Input password.") == nullptr) {
        ShowStatusMessage(answer);
        why = "user name refused (" + Quoted(answer) + ")";
        return LINK_E_LOGIN;
    }

    result = SendText(link, password != nullptr ? password : "");
    if (result != RZ_OK) {
        why = LoginExchangeFailure(result, "while sending the password");
        return result;
    }
    answer[0] = '\0';
    uint32_t length = 0;
    result = link->Receive(answer, kLoginAnswerCapacity, &length, RECV_LINE);
    if (result != RZ_OK) {
        ShowStatusMessage("login Error!");
        why = LoginExchangeFailure(result, "while waiting for the answer to the password");
        return result;
    }
    if (IsExactlyE0(answer)) {
        return RZ_OK;
    }
    ShowStatusMessage(answer);
    why = "password refused (" + Quoted(answer) + ")";
    return LINK_E_LOGIN;
}

bool ParseIdentification(const char* answer, CInstrumentIdentity* identity) {
    const char* model = std::strstr(answer, "MODEL:\r\n");
    if (model == nullptr) {
        return false;
    }
    model += std::strlen("MODEL:\r\n");
    if (model[0] != 'R' || model[1] != 'Z') {
        return false;
    }
    const int32_t modelNumber = ReadDecimal(model + 2);
    if (modelNumber != 3100 && modelNumber != 3200) {
        return false;
    }
    std::memcpy(identity->family, "RZ", 3);
    identity->modelNumber = modelNumber;

    if (std::strstr(answer, "PROGRAM LARGE\r\n") != nullptr) {
        identity->programOption = 2;
    } else if (std::strstr(answer, "PROGRAM SMALL\r\n") != nullptr) {
        identity->programOption = 1;
    } else {
        identity->programOption = 0;
    }

    const char* version = std::strstr(answer, "VERSION:\r\n");
    if (version == nullptr) {
        return false;
    }
    version += std::strlen("VERSION:\r\n");
    const int32_t major = ReadDecimal(version);
    const char* dot = std::strchr(version, '.');
    const int32_t minor = dot != nullptr ? ReadDecimal(dot + 1) : 0;
    identity->firmwareMajor = major;
    identity->version = major * 65536 + minor;
    return true;
}

void ParsePidAux(const char* answer, int32_t flags[10]) {
    const char* p = std::strstr(answer, "PID_AUX");
    if (p == nullptr) {
        return;
    }
    p += std::strlen("PID_AUX");
    for (int i = 0; i < 10; ++i) {
        const char* comma = std::strchr(p, ',');
        if (comma == nullptr) {
            return;
        }
        flags[i] = (comma - p) == 2 ? 1 : 0;
        p = comma + 1;
    }
}

RzResult RunIdentification(CLinkTransport* link, CInstrumentIdentity* identity) {
    char answer[kIdentifyAnswerCapacity + 1];
    uint32_t length = 0;
    RzResult result = SendText(link, "_C");
    if (result == RZ_OK) {
        answer[0] = '\0';
        result = link->Receive(answer, kIdentifyAnswerCapacity, &length, RECV_LIST);
    }
    if (result != RZ_OK) {
        return result;
    }
    if (!ParseIdentification(answer, identity)) {
        ShowStatusString(RzStr::kUnsupportedHardware);
        return RZ_OK;
    }

    result = SendText(link, "ZSPID_AUX?");
    if (result == RZ_OK) {
        answer[0] = '\0';
        result = link->Receive(answer, kIdentifyAnswerCapacity, &length, RECV_LIST);
    }
    if (result != RZ_OK) {
        return result;
    }
    ParsePidAux(answer, identity->pidAux);
    return RZ_OK;
}

bool IsSupportedIdentity(const CInstrumentIdentity& identity) {
    return std::strcmp(identity.family, "RZ") == 0 &&
           (identity.modelNumber == 3100 || identity.modelNumber == 3200) &&
           identity.firmwareMajor >= 1 && identity.firmwareMajor <= 3;
}
