#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "SimFaults.h"
#include "SimLineReader.h"
#include "SimProfile.h"

class CSimSessionHost;

inline constexpr std::string_view kSimLoginFailed = "E1 Login failed\r\n";
inline constexpr std::string_view kSimPasswordPrompt = "Input password.\r\n";
inline constexpr std::string_view kSimLoginOk = "E0\r\n";
// Sent instead of the greeting to a client the server cannot take (too many clients at once, or
// no thread to serve it); the connection is closed after it.
inline constexpr std::string_view kSimBusyLine = "E1 Too many connections\r\n";

// A list answer longer than the console's 102400-byte receive area.
std::string SimOversizeAnswer();

// True for an answer made of binary blocks ("EB" CR LF leads).
bool SimIsBinaryAnswer(std::string_view answer);
// The blocks of a binary answer, each 8 + L bytes as its length field says; a block whose
// length runs past the end takes the rest.
std::vector<std::string_view> SimBinaryBlockSpans(std::string_view answer);
// Where a stalled answer stops: half of a list or line, half of the first binary block's
// payload. Always leaves at least one byte unsent for answers of two bytes or more.
size_t SimStallCut(std::string_view answer);
// The list answer spoiled as `kind` says; anything that is not a list comes back unchanged.
std::string SimGarbleList(std::string_view answer, SimGarble kind);
// A binary answer with the second half of each block's payload zeroed.
std::string SimSpoilBlocks(std::string_view answer);
// The faults one request of a soak run gets: `draw` picks among delay, stall, close, error
// line and garbled list. Request `count` gets one only when it is a multiple of `every`.
enum class SimRandomFault : uint8_t { kNone, kDelay, kStall, kClose, kErrorLine, kGarble };
SimRandomFault SimPickRandomFault(uint32_t count, uint32_t every, uint32_t draw);
const char* SimRandomFaultName(SimRandomFault fault);

// One client connection: greeting, log-in dialogue, then one answer per command line, with the
// host's faults applied. The socket must be non-blocking; the session closes it. A client that
// keeps the session waiting for its user name and password longer than `logInTimeout` in all is
// dropped.
class CSimSession {
  public:
    CSimSession(int fd, int session, CSimSessionHost& host, std::chrono::milliseconds logInTimeout);
    ~CSimSession();
    CSimSession(const CSimSession&) = delete;
    CSimSession& operator=(const CSimSession&) = delete;

    void Run();

  private:
    // kClosed also when the server stops or the wait allowed for the line runs out.
    enum class ReadOutcome { kLine, kOverlong, kClosed };

    bool LogIn(CSimUser* user);
    void ServeCommands(const CSimUser& user);
    // Waits for the next line; with `waitLeft`, at most that long, and the time waited is taken
    // from it.
    ReadOutcome ReadLine(std::string* line,
                         std::chrono::steady_clock::duration* waitLeft = nullptr);
    bool SendAnswer(std::string_view answer, const CSimFaults& faults);
    bool SendPieces(std::string_view bytes, const CSimFaults& faults);
    bool SendAll(std::string_view bytes);
    // Waits `ms` unless the server stops first (false).
    bool Pause(uint32_t ms);
    void CloseGracefully();

    int fd_;
    int session_;
    CSimSessionHost& host_;
    std::chrono::steady_clock::duration logInWaitLeft_;
    CSimLineReader reader_;
    std::mt19937 random_;
};
