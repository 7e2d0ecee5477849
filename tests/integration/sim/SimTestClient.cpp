#include "SimTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

size_t LineFrame(const std::string& buffer) {
    const auto end = buffer.find("\r\n");
    return end == std::string::npos ? 0 : end + 2;
}

// The list-mode rule: a status line completes at its line end; a list at "EN" CR LF.
size_t ListFrame(const std::string& buffer) {
    if (buffer.size() < 2) {
        return 0;
    }
    if (buffer.compare(0, 4, "EA\r\n") != 0) {
        return LineFrame(buffer);
    }
    const auto end = buffer.find("\r\nEN\r\n");
    return end == std::string::npos ? 0 : end + 6;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

CSimTestClient::~CSimTestClient() {
    Disconnect();
}

bool CSimTestClient::Connect(uint16_t port, const char* host) {
    Disconnect();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Disconnect();
        return false;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void CSimTestClient::Disconnect() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
    peerClosed_ = false;
}

bool CSimTestClient::SendRaw(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool CSimTestClient::ReadSome(Clock::time_point deadline) {
    if (fd_ < 0 || peerClosed_) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, RemainingMs(deadline));
    if (ready <= 0) {
        return false;
    }
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        peerClosed_ = true;  // an orderly close or a reset
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::string CSimTestClient::ReadFramed(Framer framer, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const size_t size = framer(buffer_); size != 0) {
            std::string answer = buffer_.substr(0, size);
            buffer_.erase(0, size);
            return answer;
        }
        if (!ReadSome(deadline)) {
            return {};
        }
    }
}

std::string CSimTestClient::ReadLine(std::chrono::milliseconds timeout) {
    return ReadFramed(LineFrame, timeout);
}

std::string CSimTestClient::ReadList(std::chrono::milliseconds timeout) {
    return ReadFramed(ListFrame, timeout);
}

std::string CSimTestClient::ReadUntilClosed(bool* closed, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (ReadSome(deadline)) {
    }
    *closed = peerClosed_;
    std::string all;
    all.swap(buffer_);
    return all;
}

bool CSimTestClient::StaysQuiet(std::chrono::milliseconds window) {
    const size_t before = buffer_.size();
    ReadSome(Clock::now() + window);
    return buffer_.size() == before && !peerClosed_;
}

bool CSimTestClient::LogIn(const std::string& user, const std::string& password) {
    if (ReadLine().empty() || !SendLine(user)) {
        return false;
    }
    std::string answer = ReadLine();
    if (answer.find("Input password.") != std::string::npos) {
        if (!SendLine(password)) {
            return false;
        }
        answer = ReadLine();
    }
    return answer == "E0\r\n";
}
