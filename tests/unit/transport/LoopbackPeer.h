#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// One accepted connection of a CLoopbackPeer, driven by the test's script on the peer thread.
class CPeerSession {
  public:
    explicit CPeerSession(int fd, int index) : fd_(fd), index_(index) {}

    // Which accepted connection this is, counting from 0.
    int Index() const { return index_; }
    // Reads one request line and strips its CR LF; false at the end of the stream.
    bool ReadLine(std::string* line);
    bool Write(std::string_view bytes);
    // Reads until the client closes; returns the bytes not yet taken by ReadLine.
    std::string ReadToEnd();
    // Ends the connection; the client sees the end of the stream.
    void Close();

  private:
    int fd_;
    int index_;
    std::string pending_;
};

// A scripted TCP peer on 127.0.0.1 (port chosen by the system). Every accepted connection runs
// `script` on the peer thread, one after another; the connection is closed when the script
// returns. The destructor breaks any blocking call and joins the thread.
class CLoopbackPeer {
  public:
    explicit CLoopbackPeer(std::function<void(CPeerSession&)> script);
    ~CLoopbackPeer();
    CLoopbackPeer(const CLoopbackPeer&) = delete;
    CLoopbackPeer& operator=(const CLoopbackPeer&) = delete;

    uint16_t Port() const { return port_; }
    // Stops accepting and waits until the running script has returned.
    void Join();

  private:
    void Run();

    std::function<void(CPeerSession&)> script_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::mutex mutex_;
    int sessionFd_ = -1;
    bool stopping_ = false;
    std::thread thread_;
};

// A listening socket on 127.0.0.1 that never accepts: connections complete in its backlog.
class CSilentListener {
  public:
    CSilentListener();
    ~CSilentListener();
    uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A loopback port with nothing listening on it, so connecting there is refused.
uint16_t UnusedLoopbackPort();

// Descriptors open in this process.
int OpenDescriptorCount();
