#pragma once

#include <string>

#include "model/InstrumentIdentity.h"
#include "platform/ResultCodes.h"
#include "transport/LinkTransport.h"

// Receive capacities of the log-in and identification exchanges.
constexpr uint32_t kLoginAnswerCapacity = 200;
constexpr uint32_t kIdentifyAnswerCapacity = 2000;

// Shown when a user name or password holds a CR or LF.
constexpr const char* kLineBreakInLogin = "User name and password must not contain line breaks!";

// The log-in dialogue on a freshly opened link (receive mode RECV_LINE): greeting, user name,
// and the password when the instrument asks for one. Failures are shown in the status text,
// and `failure`, when given, says in the operator's words where and why the dialogue failed
// ("time-out while waiting for the password prompt", "password refused (E1 Login failed)").
// A user name or password with a CR or LF is refused with LINK_E_PARAMETER before anything is
// read or sent.
RzResult RunLoginDialogue(CLinkTransport* link, const char* user, const char* password,
                          std::string* failure = nullptr);

// Whether `greeting`, the line an instrument sends first, asks for a user name: it holds
// "Input username." or "Select username from 'admin' or 'user'".
bool IsLoginGreeting(const char* greeting);

// How a failed exchange of the log-in reads for the operator: "time-out while waiting for the
// greeting", "connection lost while waiting for the identification", or the code's name
// followed by `during`.
std::string LoginExchangeFailure(RzResult result, const std::string& during);

// Identification: "_C" then "ZSPID_AUX?" (RECV_LIST). An unsupported instrument is shown but
// does not fail here; the identity then stays incomplete and connection start refuses it.
RzResult RunIdentification(CLinkTransport* link, CInstrumentIdentity* identity);

// The answer of "_C" read into `identity`. Returns false (and leaves the fields it could not
// establish at zero) when the answer names no supported instrument.
bool ParseIdentification(const char* answer, CInstrumentIdentity* identity);

// The option flags of the "ZSPID_AUX?" answer; flags stay 0 when "PID_AUX" is absent.
void ParsePidAux(const char* answer, int32_t flags[10]);

// True when the identity names an instrument this console supports.
bool IsSupportedIdentity(const CInstrumentIdentity& identity);
