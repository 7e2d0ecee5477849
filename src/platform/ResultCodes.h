#pragma once

#include <cstdint>

// Result codes shared by the link, the connection, the commands and the registry file.
// 0 is success, positive values are reply codes, negative values are 0xFFFF00nn codes.
using RzResult = int32_t;

constexpr RzResult RzCode(uint32_t code) {
    return static_cast<RzResult>(code);
}

constexpr RzResult RZ_OK = 0;
constexpr RzResult REPLY_ERROR = 1;
constexpr RzResult REPLY_UNEXPECTED = 2;

constexpr RzResult LINK_E_GENERAL = RzCode(0xFFFF0000u);
constexpr RzResult LINK_E_NOT_INITIALIZED = RzCode(0xFFFF0001u);
constexpr RzResult LINK_E_EXISTS = RzCode(0xFFFF0003u);
constexpr RzResult LINK_E_NOT_LOGGED_IN = RzCode(0xFFFF0004u);
constexpr RzResult LINK_E_UNSUPPORTED = RzCode(0xFFFF0005u);
constexpr RzResult LINK_E_PARAMETER = RzCode(0xFFFF0006u);
constexpr RzResult LINK_E_FIELDS = RzCode(0xFFFF0007u);
constexpr RzResult LINK_E_KIND = RzCode(0xFFFF0008u);
constexpr RzResult LINK_E_NO_MEMORY = RzCode(0xFFFF0009u);
constexpr RzResult LINK_E_BUFFER_SMALL = RzCode(0xFFFF000Au);
constexpr RzResult LINK_E_FILE = RzCode(0xFFFF000Cu);
constexpr RzResult LINK_E_FILE_FORMAT = RzCode(0xFFFF000Du);
constexpr RzResult LINK_E_OPEN = RzCode(0xFFFF000Eu);
constexpr RzResult LINK_E_NOT_OPEN = RzCode(0xFFFF0010u);
constexpr RzResult LINK_E_BROKEN = RzCode(0xFFFF0011u);
constexpr RzResult LINK_E_LOGIN = RzCode(0xFFFF0013u);
constexpr RzResult LINK_E_SEND = RzCode(0xFFFF0014u);
constexpr RzResult LINK_E_TIMEOUT = RzCode(0xFFFF0015u);
constexpr RzResult LINK_E_FORMAT = RzCode(0xFFFF0016u);
// Another operation of the connection (or another log-in) is still running; nothing was sent.
constexpr RzResult LINK_E_BUSY = RzCode(0xFFFF0017u);

// 0xFFFF0011 to 0xFFFF0015: the link is broken and the connection must be closed.
constexpr bool IsLinkBroken(RzResult code) {
    const auto u = static_cast<uint32_t>(code);
    return u >= 0xFFFF0011u && u <= 0xFFFF0015u;
}

// The code's name ("LINK_E_TIMEOUT"), "OK" for 0, "UNKNOWN" for anything else.
const char* ResultCodeName(RzResult code);
