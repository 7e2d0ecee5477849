#include "transport/LinkSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, rounded up so that a poll never wakes early and spins.
int RemainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

// The value of `key` in "IP:%s;PORT:%d": after the first ':' following the key, up to ';'.
bool FindValue(std::string_view text, std::string_view key, std::string_view* value) {
    const size_t at = text.find(key);
    if (at == std::string_view::npos) {
        return false;
    }
    const size_t colon = text.find(':', at + key.size());
    if (colon == std::string_view::npos) {
        return false;
    }
    const size_t end = text.find(';', colon + 1);
    *value = text.substr(colon + 1, end == std::string_view::npos ? end : end - colon - 1);
    return true;
}

bool ParsePort(std::string_view text, int32_t* port) {
    int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
        if (value > 65535) {
            return false;
        }
    }
    if (value == 0) {
        return false;
    }
    *port = value;
    return true;
}

// Waits for a non-blocking connect to finish; true when the connection is up.
bool WaitConnected(int fd) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(CLinkSocket::kConnectWaitMs);
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready > 0) {
            break;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

}  // namespace

CLinkSocket::~CLinkSocket() {
    Close();
}

RzResult CLinkSocket::Open(const char* address) {
    if (address == nullptr) {
        return LINK_E_PARAMETER;
    }
    const std::string_view text(address);
    std::string_view hostText;
    std::string_view portText;
    const bool hasHost = FindValue(text, "IP", &hostText) && !hostText.empty();
    const bool hasPort = FindValue(text, "PORT", &portText) && !portText.empty();
    int32_t newPort = port;
    // A host longer than a dotted IPv4 address cannot be one; it is refused, never cut short.
    if ((hasHost && hostText.size() >= sizeof host) ||
        (hasPort && !ParsePort(portText, &newPort))) {
        return LINK_E_OPEN;
    }
    if (hasHost) {
        std::memcpy(host, hostText.data(), hostText.size());
        host[hostText.size()] = '\0';
    }
    port = newPort;
    return Connect();
}

RzResult CLinkSocket::Connect() {
    if (connected.load()) {
        return RZ_OK;
    }
    if (host[0] == '\0') {
        return LINK_E_NOT_INITIALIZED;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (port <= 0 || port > 65535 || ::inet_pton(AF_INET, host, &address.sin_addr) != 1) {
        return LINK_E_OPEN;
    }
    Close();  // a descriptor left from a failed link

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return LINK_E_OPEN;
    }
    // Requests are single short lines; do not hold them back.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool up = wake >= 0;
    if (up && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        up = (errno == EINPROGRESS || errno == EINTR) && WaitConnected(fd);
    }
    if (!up) {
        ::close(fd);
        if (wake >= 0) {
            ::close(wake);
        }
        return LINK_E_OPEN;
    }

    framing.Reset();
    pendingStart = 0;
    pendingLength = 0;
    {
        std::lock_guard guard(lock);
        socketFd = fd;
        wakeFd = wake;
        lockCount = 0;
        lockOwner = std::thread::id();
        responseReady.store(0);
        failed.store(false);
        connected.store(true);
    }
    SetTimeout(GetTimeout());
    return RZ_OK;
}

RzResult CLinkSocket::Close() {
    std::unique_lock guard(lock);
    connected.store(false);
    responseReady.store(0);
    if (closing) {
        changed.wait(guard, [this] { return !closing; });
        return RZ_OK;
    }
    if (socketFd >= 0) {
        // A thread inside poll or recv must leave before the descriptor number can be reused.
        closing = true;
        WakeLocked();
        changed.wait(guard, [this] { return ioUsers == 0; });
        ::close(socketFd);
        ::close(wakeFd);
        socketFd = -1;
        wakeFd = -1;
        closing = false;
    }
    changed.notify_all();
    return RZ_OK;
}

RzResult CLinkSocket::SetMode(int32_t newMode) {
    mode.store(newMode);
    return RZ_OK;
}

RzResult CLinkSocket::SetTimeout(uint32_t ms) {
    timeoutMs.store(ms);
    return RZ_OK;
}

uint32_t CLinkSocket::SetExpectedLength(uint32_t bytes) {
    expectedLength.store(bytes);
    return bytes;
}

RzResult CLinkSocket::Send(const char* request, uint32_t length, int32_t newMode) {
    if (!connected.load()) {
        return LINK_E_NOT_OPEN;
    }
    if (length > kMaxRequestLength || (request == nullptr && length != 0)) {
        return LINK_E_PARAMETER;
    }
    const RzResult taken = AcquireLink(Clock::time_point::max(), false);
    if (taken != RZ_OK) {
        return taken;
    }
    framing.Reset();

    char line[kMaxRequestLength + 3];
    if (length != 0) {
        std::memcpy(line, request, length);
    }
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    SetMode(newMode);
    return SendAll(line, length + 2);
}

RzResult CLinkSocket::Receive(char* buffer, uint32_t capacity, uint32_t* outLength) {
    if (!connected.load()) {
        return LINK_E_NOT_OPEN;
    }
    if (buffer == nullptr || outLength == nullptr) {
        return LINK_E_PARAMETER;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
    RzResult result = AcquireLink(deadline, true);
    if (result != RZ_OK) {
        return result;
    }
    framing.Reset();
    framing.SetMode(mode.load());
    framing.SetExpectedLength(expectedLength.load());
    result = ReadAnswer(deadline);
    if (result != RZ_OK) {
        return result;  // the link stays owned; it is failed or closed
    }

    responseReady.store(1);
    const uint32_t received = framing.Received();
    if (received == 0) {
        result = LINK_E_SEND;
    } else if (received > capacity) {
        result = LINK_E_BUFFER_SMALL;
    } else {
        std::memcpy(buffer, framing.Answer(), received);
        buffer[received] = '\0';
        *outLength = received;
    }
    framing.Reset();
    responseReady.store(0);
    ReleaseLink();
    return result;
}

// Waits until the link is free or already the caller's, then takes it. A Send waits without a
// limit and reports a failed link as LINK_E_BROKEN; a Receive waits until `deadline` and reports
// both as LINK_E_TIMEOUT, marking the link failed when the deadline passes.
RzResult CLinkSocket::AcquireLink(Clock::time_point deadline, bool forReceive) {
    const auto self = std::this_thread::get_id();
    std::unique_lock guard(lock);
    for (;;) {
        if (!connected.load()) {
            return LINK_E_NOT_OPEN;
        }
        if (failed.load()) {
            return forReceive ? LINK_E_TIMEOUT : LINK_E_BROKEN;
        }
        if (lockCount == 0 || lockOwner == self) {
            break;
        }
        if (deadline == Clock::time_point::max()) {
            changed.wait(guard);
        } else if (changed.wait_until(guard, deadline) == std::cv_status::timeout &&
                   lockCount != 0 && lockOwner != self) {
            failed.store(true);
            WakeLocked();
            changed.notify_all();
            return LINK_E_TIMEOUT;
        }
    }
    lockCount = 1;
    lockOwner = self;
    return RZ_OK;
}

void CLinkSocket::ReleaseLink() {
    {
        std::lock_guard guard(lock);
        if (lockCount == 0 || lockOwner != std::this_thread::get_id()) {
            return;
        }
        lockCount = 0;
        lockOwner = std::thread::id();
    }
    changed.notify_all();
}

// Sends the whole request; a full send queue is waited out for at most the receive time-out.
RzResult CLinkSocket::SendAll(const char* data, size_t length) {
    int fd = -1;
    int wake = -1;
    if (!BeginIo(&fd, &wake)) {
        return LINK_E_NOT_OPEN;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
    RzResult result = RZ_OK;
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !failed.load() &&
            connected.load()) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
            const int ready = ::poll(p, 2, RemainingMs(deadline));
            if (ready > 0 || (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        result = LINK_E_SEND;
        break;
    }
    EndIo();
    if (result != RZ_OK) {
        if (!connected.load()) {
            return LINK_E_NOT_OPEN;  // closed here while sending
        }
        MarkFailed();
    }
    return result;
}

// Feeds queued bytes to the framing and reads more until the answer is complete.
RzResult CLinkSocket::ReadAnswer(Clock::time_point deadline) {
    for (;;) {
        if (pendingLength != 0) {
            size_t used = 0;
            const FrameStatus status =
                framing.Feed(readBuffer.data() + pendingStart, pendingLength, &used);
            pendingStart += used;
            pendingLength -= used;
            if (status == FrameStatus::kComplete) {
                return RZ_OK;
            }
            if (status != FrameStatus::kIncomplete) {
                MarkFailed();  // the rest of the stream cannot be framed any more
                return LINK_E_BROKEN;
            }
        }
        if (failed.load()) {
            return LINK_E_TIMEOUT;
        }
        if (!connected.load()) {
            return LINK_E_NOT_OPEN;
        }
        if (Clock::now() >= deadline) {
            MarkFailed();
            return LINK_E_TIMEOUT;
        }

        int fd = -1;
        int wake = -1;
        if (!BeginIo(&fd, &wake)) {
            return LINK_E_NOT_OPEN;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready = ::poll(p, 2, RemainingMs(deadline));
        const int pollError = ready < 0 ? errno : 0;
        ssize_t got = -1;
        int readError = EAGAIN;
        if (ready > 0 && (p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            got = ::recv(fd, readBuffer.data(), readBuffer.size(), 0);
            readError = got < 0 ? errno : 0;
        }
        EndIo();

        if (got > 0) {
            pendingStart = 0;
            pendingLength = static_cast<size_t>(got);
            continue;
        }
        // The peer closed or the socket failed: no answer can come any more, so do not wait for
        // the time-out.
        const bool lost = got == 0 ||
                          (readError != EAGAIN && readError != EWOULDBLOCK && readError != EINTR) ||
                          (pollError != 0 && pollError != EINTR);
        if (lost) {
            if (!connected.load()) {
                return LINK_E_NOT_OPEN;  // closed here, not by the peer
            }
            MarkFailed();
            return LINK_E_BROKEN;
        }
    }
}

void CLinkSocket::MarkFailed() {
    {
        std::lock_guard guard(lock);
        failed.store(true);
        WakeLocked();
    }
    changed.notify_all();
}

void CLinkSocket::WakeLocked() {
    if (wakeFd >= 0) {
        const uint64_t one = 1;
        const ssize_t written = ::write(wakeFd, &one, sizeof one);
        (void)written;  // a full counter is already readable
    }
}

bool CLinkSocket::BeginIo(int* fd, int* wake) {
    std::lock_guard guard(lock);
    if (socketFd < 0 || closing) {
        return false;
    }
    ++ioUsers;
    *fd = socketFd;
    *wake = wakeFd;
    return true;
}

void CLinkSocket::EndIo() {
    bool last = false;
    {
        std::lock_guard guard(lock);
        last = --ioUsers == 0;
    }
    if (last) {
        changed.notify_all();
    }
}
