#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// A listener on 127.0.0.1 that never accepts, its backlog (0: one connection) taken by a filler:
// the kernel drops the SYN of a further connect, which gets no answer and waits.
class CFullBacklog {
  public:
    CFullBacklog() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        auto* at = reinterpret_cast<sockaddr*>(&address);
        if (::bind(listen_, at, size) == 0 && ::listen(listen_, 0) == 0 &&
            ::getsockname(listen_, at, &size) == 0 && ::connect(filler_, at, size) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~CFullBacklog() { ::close(filler_), ::close(listen_); }
    uint16_t Port() const { return port_; }

  private:
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port_ = 0;
};
