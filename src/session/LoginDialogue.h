#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/InstrumentIdentity.h"
#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "transport/LinkTransport.h"

// Receive capacities of the log-in and identification exchanges.
constexpr uint32_t kLoginAnswerCapacity = 200;
constexpr uint32_t kIdentifyAnswerCapacity = 2000;

// Shown when a user name or password holds a CR or LF.
constexpr const char* kLineBreakInLogin = "User name and password must not contain line breaks!";

// The log-in dialogue on a freshly opened link (receive mode RECV_LINE): greeting, user name,
// and the password when the instrument asks for one. A failure says in the operator's words
// where and why the dialogue failed ("time-out while waiting for the password prompt",
// "password refused (E1 Login failed)"), and brings the instrument's answer (or the console's
// own text when none came) as its message. A user name or password with a CR or LF is refused
// with LINK_E_PARAMETER before anything is read or sent.
RzExpected<void> RunLoginDialogue(CLinkTransport* link, const char* user, const char* password);

// Whether `greeting`, the line an instrument sends first, asks for a user name: it holds
// "Input username." or "Select username from 'admin' or 'user'".
bool IsLoginGreeting(const char* greeting);

// How a failed exchange of the log-in reads for the operator: "time-out while waiting for the
// greeting", "connection lost while waiting for the identification", or the code's name
// followed by `during`.
std::string LoginExchangeFailure(RzResult result, const std::string& during);

// Identification: "_C" then "ZSPID_AUX?" (RECV_LIST). An instrument the answer does not name
// is no failure here: the status text says so (a notice, not a failure of this function), the
// identity comes back incomplete and connection start refuses it.
RzExpected<CInstrumentIdentity> RunIdentification(CLinkTransport* link);

// What the answer of "_C" says.
struct CParsedIdentity {
    CInstrumentIdentity identity{};  // the fields it could not establish stay at zero
    bool recognised = false;         // the answer names an RZ 3100 or 3200 and its version
};
CParsedIdentity ParseIdentification(const char* answer);

// The option flags of the "ZSPID_AUX?" answer; flags stay 0 when "PID_AUX" is absent.
using PidAuxFlags = std::array<int32_t, 10>;
PidAuxFlags ParsePidAux(const char* answer);

// True when the identity names an instrument this console supports.
bool IsSupportedIdentity(const CInstrumentIdentity& identity);
