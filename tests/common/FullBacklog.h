#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// A listener on 127.0.0.1 that never accepts, with its backlog full: the kernel drops the SYN of
// a further connect, which then gets no answer and waits.
class CFullBacklog {
  public:
    CFullBacklog() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto* at = reinterpret_cast<sockaddr*>(&address);
        // A backlog of 0 holds one connection, which the filler takes.
        if (::bind(listen_, at, size) != 0 || ::listen(listen_, 0) != 0 ||
            ::getsockname(listen_, at, &size) != 0 || ::connect(filler_, at, size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~CFullBacklog() {
        ::close(filler_);
        ::close(listen_);
    }
    CFullBacklog(const CFullBacklog&) = delete;
    CFullBacklog& operator=(const CFullBacklog&) = delete;

    uint16_t Port() const { return port_; }

  private:
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port_ = 0;
};
