#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

int ListenOnLoopback(uint16_t* port, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

bool CPeerSession::ReadLine(std::string* line) {
    for (;;) {
        const size_t lf = pending_.find("\r\n");
        if (lf != std::string::npos) {
            *line = pending_.substr(0, lf);
            pending_.erase(0, lf + 2);
            return true;
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

bool CPeerSession::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string CPeerSession::ReadToEnd() {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending_.append(chunk, static_cast<size_t>(n));
    }
    std::string rest;
    rest.swap(pending_);
    return rest;
}

void CPeerSession::Close() {
    ::shutdown(fd_, SHUT_RDWR);
}

CLoopbackPeer::CLoopbackPeer(std::function<void(CPeerSession&)> script)
    : script_(std::move(script)) {
    listenFd_ = ListenOnLoopback(&port_, 8);
    if (listenFd_ >= 0) {
        thread_ = std::thread([this] { Run(); });
    }
}

CLoopbackPeer::~CLoopbackPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (sessionFd_ >= 0) {
            ::shutdown(sessionFd_, SHUT_RDWR);
        }
    }
    Join();
}

void CLoopbackPeer::Join() {
    if (listenFd_ >= 0) {
        ::shutdown(listenFd_, SHUT_RDWR);  // wakes a blocking accept
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void CLoopbackPeer::Run() {
    for (int index = 0;; ++index) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(fd);
                return;
            }
            sessionFd_ = fd;
        }
        CPeerSession session(fd, index);
        script_(session);
        {
            std::lock_guard lock(mutex_);
            sessionFd_ = -1;
        }
        ::close(fd);
    }
}

CSilentListener::CSilentListener() {
    fd_ = ListenOnLoopback(&port_, 16);
}

CSilentListener::~CSilentListener() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

uint16_t UnusedLoopbackPort() {
    uint16_t port = 0;
    const int fd = ListenOnLoopback(&port, 1);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

int OpenDescriptorCount() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count - 1;  // the directory stream itself
}
