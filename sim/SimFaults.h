#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

// Faults the simulator injects on demand. Request numbers count the command requests of one
// connection after its log-in, from 1; 0 switches the fault off. All in one struct so that the
// server can hand each session a consistent snapshot.
struct CSimFaults {
    uint32_t answerDelayMs = 0;           // wait before every answer, the greeting included
    uint32_t segmentBytes = 0;            // send answers in pieces of this many bytes (0: whole)
    uint32_t segmentPauseMs = 0;          // pause between two pieces
    uint32_t closeOnRequest = 0;          // close, without answering, when request K arrives
    uint32_t stallFromRequest = 0;        // read request K and all later ones, answer none of them
    uint32_t closeMidAnswerOn = 0;        // send the first half of the answer to request K, close
    uint32_t oversizeAnswerOn = 0;        // answer request K with a list of more than 102400 bytes
    std::set<std::string> errorForKeys;   // two-letter keys answered with an error line
    std::optional<std::string> greeting;  // replaces the profile's greeting, sent as given
    bool refuseLogin = false;  // every user name gets an error line and the connection ends
};
