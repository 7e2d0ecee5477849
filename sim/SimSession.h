#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "SimFaults.h"
#include "SimLineReader.h"
#include "SimProfile.h"

class CSimSessionHost;

inline constexpr std::string_view kSimLoginFailed = "E1 Login failed\r\n";
inline constexpr std::string_view kSimPasswordPrompt = "Input password.\r\n";
inline constexpr std::string_view kSimLoginOk = "E0\r\n";

// A list answer longer than the console's 102400-byte receive area.
std::string SimOversizeAnswer();

// One client connection: greeting, log-in dialogue, then one answer per command line, with the
// host's faults applied. The socket must be non-blocking; the session closes it.
class CSimSession {
  public:
    CSimSession(int fd, int session, CSimSessionHost& host)
        : fd_(fd), session_(session), host_(host) {}
    ~CSimSession();
    CSimSession(const CSimSession&) = delete;
    CSimSession& operator=(const CSimSession&) = delete;

    void Run();

  private:
    enum class ReadOutcome { kLine, kOverlong, kClosed };

    bool LogIn(CSimUser* user);
    void ServeCommands(const CSimUser& user);
    ReadOutcome ReadLine(std::string* line);
    bool SendAnswer(std::string_view answer, const CSimFaults& faults);
    bool SendAll(std::string_view bytes);
    // Waits `ms` unless the server stops first (false).
    bool Pause(uint32_t ms);
    void CloseGracefully();

    int fd_;
    int session_;
    CSimSessionHost& host_;
    CSimLineReader reader_;
};
