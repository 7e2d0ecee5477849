#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <string>

class CSimServer;
class CConnectionManager;

constexpr const char* kBenchUser = "admin";
constexpr const char* kBenchPassword = "rzadmin";

// One rzsim for the whole benchmark run, on a free loopback port, full profile.
CSimServer& BenchServer();

// The calling thread's CPU clock, in seconds: for single-threaded work on a shared machine,
// where wall time mostly measures the neighbours.
double BenchThreadSeconds();

// A fresh data directory with the given communication cycle, for the lifetime of the object.
class BenchDataDir {
  public:
    explicit BenchDataDir(int cycleMs);
    ~BenchDataDir();
    std::string Path() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

// Logs `manager` in to the bench rzsim as the level-A user; false when that fails.
bool BenchLogIn(CConnectionManager& manager, uint32_t* id);

// A bare blocking socket client: the physical yardstick the console is measured against.
class BareClient {
  public:
    explicit BareClient(uint16_t port);
    ~BareClient();
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    void SendLine(const std::string& text);
    // Whatever one recv returns (at least one byte).
    std::string ReadSome();
    std::string ReadExactly(size_t count);
    // Reads until the bytes read so far end with `terminator`.
    void ReadUntil(const char* terminator);
    // Greeting, user name, password.
    void Login();

  private:
    int fd_ = -1;
    std::string pending_;
};

// A bare client that knows just enough of the answer shapes to tell where each one ends.
class BareInstrumentClient : public BareClient {
  public:
    using BareClient::BareClient;
    void Exchange(const std::string& request);

  private:
    void ReadTextAnswer();
    void ReadBlocks();
};
