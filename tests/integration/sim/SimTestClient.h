#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// A raw POSIX socket client for talking to the simulator byte by byte. Every wait is a poll with
// a time-out; nothing sleeps.
class CSimTestClient {
  public:
    static constexpr std::chrono::milliseconds kWait{5000};

    CSimTestClient() = default;
    ~CSimTestClient();
    CSimTestClient(const CSimTestClient&) = delete;
    CSimTestClient& operator=(const CSimTestClient&) = delete;

    bool Connect(uint16_t port, const char* host = "127.0.0.1");
    void Disconnect();
    bool SendRaw(const std::string& bytes);
    bool SendLine(const std::string& line) { return SendRaw(line + "\r\n"); }

    // Reads until the buffered bytes hold a complete answer of the given shape, then returns
    // and removes it. Empty when the time-out passes or the peer closes first.
    std::string ReadLine(std::chrono::milliseconds timeout = kWait);
    // A status line, or a list from "EA" CR LF to "EN" CR LF.
    std::string ReadList(std::chrono::milliseconds timeout = kWait);
    // Everything until the peer closes; `closed` tells whether it did within the time-out.
    std::string ReadUntilClosed(bool* closed, std::chrono::milliseconds timeout = kWait);
    // True when no byte arrives and the peer stays connected for `window`.
    bool StaysQuiet(std::chrono::milliseconds window);

    // Greeting, user name and, when asked for, password. True when the answer is "E0".
    bool LogIn(const std::string& user, const std::string& password);

  private:
    // Size of the complete answer at the start of buffer_, or 0.
    using Framer = size_t (*)(const std::string&);
    std::string ReadFramed(Framer framer, std::chrono::milliseconds timeout);
    // One poll and read; false on time-out or close.
    bool ReadSome(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::string buffer_;
    bool peerClosed_ = false;
};
