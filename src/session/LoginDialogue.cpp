#include "session/LoginDialogue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/StatusSink.h"
#include "platform/Strings.h"

namespace {

bool HasLineBreak(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

bool IsExactlyE0(const char* answer) {
    return std::strcmp(answer, "E0") == 0 || std::strcmp(answer, "E0\r\n") == 0;
}

// An answer as a message of a failure: the status line it shows as, without one CR LF at its
// end.
std::string StatusLine(const char* answer) {
    std::string text = answer;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
        text.resize(text.size() - 2);
    }
    return text;
}

// An answer as quoted in a failure: without its line end.
std::string Quoted(const char* answer) {
    std::string text = answer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Reads one log-in answer; a failure brings what arrived as its message, or the generic text
// when nothing did, and says it happened `during` what.
RzExpected<void> ReceiveLoginAnswer(CLinkTransport* link, char (&answer)[kLoginAnswerCapacity + 1],
                                    const char* during) {
    answer[0] = '\0';
    const RzResult result = link->Receive(answer, kLoginAnswerCapacity, RECV_LINE).code();
    if (result == RZ_OK) {
        return {};
    }
    return RzError(result, LoginExchangeFailure(result, during),
                   {answer[0] == '\0' ? std::string(RzString(RzStr::kCheckConfiguration))
                                      : StatusLine(answer)});
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

RzExpected<void> RunLoginDialogue(CLinkTransport* link, const char* user, const char* password) {
    // Each text goes out as one request line: a line break inside it would end the line early
    // and send the rest to the instrument as requests of their own.
    if (HasLineBreak(user) || HasLineBreak(password)) {
        return RzError(LINK_E_PARAMETER, "the user name or password holds a line break",
                       {kLineBreakInLogin});
    }
    char answer[kLoginAnswerCapacity + 1];
    if (RzExpected<void> greeting =
            ReceiveLoginAnswer(link, answer, "while waiting for the greeting");
        !greeting) {
        return greeting;
    }
    if (!IsLoginGreeting(answer)) {
        return RzError(LINK_E_LOGIN, "unexpected greeting \"" + Quoted(answer) + "\"",
                       {StatusLine(answer)});
    }

    RzResult result = SendText(link, user);
    if (result != RZ_OK) {
        return RzError(result, LoginExchangeFailure(result, "while sending the user name"));
    }
    if (RzExpected<void> prompt =
            ReceiveLoginAnswer(link, answer, "while waiting for the password prompt");
        !prompt) {
        return prompt;
    }
    if (IsExactlyE0(answer)) {
        return {};
    }
    if (std::strstr(answer, "Input password.") == nullptr) {
        return RzError(LINK_E_LOGIN, "user name refused (" + Quoted(answer) + ")",
                       {StatusLine(answer)});
    }

    result = SendText(link, password != nullptr ? password : "");
    if (result != RZ_OK) {
        return RzError(result, LoginExchangeFailure(result, "while sending the password"));
    }
    answer[0] = '\0';
    result = link->Receive(answer, kLoginAnswerCapacity, RECV_LINE).code();
    if (result != RZ_OK) {
        return RzError(result,
                       LoginExchangeFailure(result, "while waiting for the answer to the password"),
                       {"login Error!"});
    }
    if (IsExactlyE0(answer)) {
        return {};
    }
    return RzError(LINK_E_LOGIN, "password refused (" + Quoted(answer) + ")", {StatusLine(answer)});
}

CParsedIdentity ParseIdentification(const char* answer) {
    CParsedIdentity parsed;
    CInstrumentIdentity* identity = &parsed.identity;
    const char* model = std::strstr(answer, "MODEL:\r\n");
    if (model == nullptr) {
        return parsed;
    }
    model += std::strlen("MODEL:\r\n");
    if (model[0] != 'R' || model[1] != 'Z') {
        return parsed;
    }
    const int32_t modelNumber = ReadDecimal(model + 2);
    if (modelNumber != 3100 && modelNumber != 3200) {
        return parsed;
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
        return parsed;
    }
    version += std::strlen("VERSION:\r\n");
    const int32_t major = ReadDecimal(version);
    const char* dot = std::strchr(version, '.');
    const int32_t minor = dot != nullptr ? ReadDecimal(dot + 1) : 0;
    identity->firmwareMajor = major;
    identity->version = major * 65536 + minor;
    parsed.recognised = true;
    return parsed;
}

static_assert(sizeof(PidAuxFlags) == sizeof(CInstrumentIdentity::pidAux), "one flag a field");

PidAuxFlags ParsePidAux(const char* answer) {
    PidAuxFlags flags{};
    const char* p = std::strstr(answer, "PID_AUX");
    if (p == nullptr) {
        return flags;
    }
    p += std::strlen("PID_AUX");
    for (int32_t& flag : flags) {
        const char* comma = std::strchr(p, ',');
        if (comma == nullptr) {
            break;
        }
        flag = (comma - p) == 2 ? 1 : 0;
        p = comma + 1;
    }
    return flags;
}

RzExpected<CInstrumentIdentity> RunIdentification(CLinkTransport* link) {
    char answer[kIdentifyAnswerCapacity + 1];
    RzResult result = SendText(link, "_C");
    if (result == RZ_OK) {
        answer[0] = '\0';
        result = link->Receive(answer, kIdentifyAnswerCapacity, RECV_LIST).code();
    }
    if (result != RZ_OK) {
        return RzError(result);
    }
    CParsedIdentity parsed = ParseIdentification(answer);
    if (!parsed.recognised) {
        ShowStatusString(RzStr::kUnsupportedHardware);
        return parsed.identity;
    }

    result = SendText(link, "ZSPID_AUX?");
    if (result == RZ_OK) {
        answer[0] = '\0';
        result = link->Receive(answer, kIdentifyAnswerCapacity, RECV_LIST).code();
    }
    if (result != RZ_OK) {
        return RzError(result);
    }
    const PidAuxFlags flags = ParsePidAux(answer);
    std::copy(flags.begin(), flags.end(), parsed.identity.pidAux);
    return parsed.identity;
}

bool IsSupportedIdentity(const CInstrumentIdentity& identity) {
    return std::strcmp(identity.family, "RZ") == 0 &&
           (identity.modelNumber == 3100 || identity.modelNumber == 3200) &&
           identity.firmwareMajor >= 1 && identity.firmwareMajor <= 3;
}
