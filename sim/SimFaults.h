#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

// How a garbled list answer is spoiled.
enum class SimGarble : uint8_t {
    kDropOpener,  // the "EA" CR LF line is left out
    kCutLineEnd,  // the first data line loses its CR LF and runs into the next one
};

// Faults the simulator injects on demand. Request numbers count the command requests of one
// connection after its log-in, from 1; 0 switches the fault off. All in one struct so that the
// server can hand each session a consistent snapshot.
struct CSimFaults {
    uint32_t answerDelayMs = 0;            // wait before every answer, the greeting included
    uint32_t segmentBytes = 0;             // send answers in pieces of this many bytes (0: whole)
    uint32_t segmentPauseMs = 0;           // pause between two pieces
    uint32_t closeOnRequest = 0;           // close, without answering, when request K arrives
    uint32_t stallFromRequest = 0;         // read request K and all later ones, answer none of them
    uint32_t closeMidAnswerOn = 0;         // send the first half of the answer to request K, close
    uint32_t oversizeAnswerOn = 0;         // answer request K with a list of more than 102400 bytes
    std::set<std::string> errorForKeys{};  // two-letter keys answered with an error line
    std::optional<std::string> greeting{};  // replaces the profile's greeting, sent as given
    bool refuseLogin = false;  // every user name gets an error line and the connection ends

    // Send the first part of the answer to request K (half a list, or half of the first binary
    // block), then nothing more; the connection stays open and later requests go unanswered.
    uint32_t stallMidAnswerOn = 0;
    // Spoil the list answer to request K as garbleKind says (answers that are no list pass).
    uint32_t garbleListOn = 0;
    SimGarble garbleKind = SimGarble::kDropOpener;
    // Binary answers: every block in one write even when segmentBytes is set.
    bool mergeBinaryBlocks = false;
    // Binary answers: each block in two writes with this pause between the halves (0: off).
    uint32_t splitBlockPauseMs = 0;
    // "FC GET": the second half of each block's payload zeroed, so the image, framed as ever,
    // does not decode.
    bool badImage = false;

    // Soak mode: every Nth command request of a connection gets a fault drawn at random from
    // delay, stall, close, error line and garbled list (0: off). Each session draws from its
    // own generator seeded with randomSeed and the session number, so a run repeats.
    uint32_t randomFaultEvery = 0;
    uint32_t randomSeed = 1;
    uint32_t randomDelayMs = 1500;  // the delay the random "delay" fault adds
};
