#include "SimTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// The decimal number at `pos`, as the console reads it (leading digits only).
int DecimalAt(const std::string& text, size_t pos) {
    return pos < text.size() ? std::atoi(text.c_str() + pos) : 0;
}

}  // namespace

CSimTestClient::~CSimTestClient() {
    Disconnect();
}

bool CSimTestClient::Connect(uint16_t port) {
    Disconnect();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
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
    readSizes_.clear();
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
    readSizes_.push_back(static_cast<size_t>(n));
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

CParsedIdentity ParseIdentityAnswers(const std::string& modelAnswer, const std::string& pidAnswer) {
    CParsedIdentity id;
    const auto model = modelAnswer.find("MODEL:\r\n");
    if (model == std::string::npos) {
        return id;
    }
    id.family = modelAnswer.substr(model + 8, 2);
    id.model = DecimalAt(modelAnswer, model + 10);
    if (modelAnswer.find("PROGRAM LARGE\r\n") != std::string::npos) {
        id.programOption = 2;
    } else if (modelAnswer.find("PROGRAM SMALL\r\n") != std::string::npos) {
        id.programOption = 1;
    }
    const auto version = modelAnswer.find("VERSION:\r\n");
    if (version == std::string::npos) {
        return id;
    }
    id.major = DecimalAt(modelAnswer, version + 10);
    const auto dot = modelAnswer.find('.', version + 10);
    id.minor = dot == std::string::npos ? 0 : DecimalAt(modelAnswer, dot + 1);
    id.complete = true;

    const auto pid = pidAnswer.find("PID_AUX");
    if (pid == std::string::npos) {
        return id;
    }
    size_t start = pid + 7;
    for (int i = 0; i < 10; ++i) {
        const auto comma = pidAnswer.find(',', start);
        if (comma == std::string::npos) {
            break;
        }
        id.pidAux[i] = comma - start == 2 ? 1 : 0;
        start = comma + 1;
    }
    return id;
}
