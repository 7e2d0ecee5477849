#include "transport/LinkSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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

// Waits for a non-blocking connect to finish; true when the connection is up. A readable
// `wake` (Close on another thread) ends the wait at once.
bool WaitConnected(int fd, int wake) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(CLinkSocket::kConnectWaitMs);
    for (;;) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
        const int ready = ::poll(p, 2, RemainingMs(deadline));
        if (ready > 0 && p[1].revents == 0) {
            break;
        }
        if (ready >= 0 || errno != EINTR) {
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

RzResult CLinkSocket::Open(const char* hostText, uint16_t portNumber) {
    const size_t length = hostText != nullptr ? std::strlen(hostText) : 0;
    // A host longer than a dotted IPv4 address cannot be one; it is refused, never cut short.
    if (length >= sizeof host) {
        return LINK_E_OPEN;
    }
    if (port != portNumber ||
        std::strncmp(host, hostText != nullptr ? hostText : "", sizeof host) != 0) {
        Close();  // a link to the old address is no link to the new one
    }
    if (length != 0) {
        std::memcpy(host, hostText, length);
    }
    host[length] = '\0';
    port = portNumber;
    return Connect();
}

RzResult CLinkSocket::Connect() {
    if (connected.load() && !failed.load()) {
        return RZ_OK;
    }
    if (host[0] == '\0') {
        return LINK_E_NOT_INITIALIZED;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (port == 0 || ::inet_pton(AF_INET, host, &address.sin_addr) != 1) {
        return LINK_E_OPEN;
    }
    Close();  // a failed link, or a descriptor left from one
    {
        // From here a Close on another thread ends the connect.
        std::lock_guard guard(lock);
        if (abandoned) {
            return LINK_E_NOT_OPEN;
        }
        connecting = true;
        connectClosed = false;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool up = fd >= 0 && wake >= 0;
    if (up) {
        // Requests are single short lines; do not hold them back.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    bool closedHere = false;
    {
        std::lock_guard guard(lock);
        closedHere = connectClosed;
        if (up && !closedHere) {
            // Close finds the descriptors, wakes the wait below and closes them once it is over.
            socketFd = fd;
            wakeFd = wake;
            ++ioUsers;
        }
    }
    if (up && !closedHere) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            up = (errno == EINPROGRESS || errno == EINTR) && WaitConnected(fd, wake);
        }
        // The answer is read with a blocking recv bounded by the receive time-out (one call per
        // wait instead of a poll and a recv); Close wakes it by shutting the socket down. Sends
        // and the stray-byte check stay non-blocking per call.
        const int flags = up ? ::fcntl(fd, F_GETFL) : -1;
        up = up && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;

        std::lock_guard guard(lock);
        --ioUsers;
        connecting = false;
        if (closing) {
            changed.notify_all();  // Close waits for this connect and closes the descriptors
            return LINK_E_NOT_OPEN;
        }
        if (up) {
            framing.Reset();
            answerOwed = false;
            receiveWaitMs = 0;
            pendingStart = 0;
            pendingLength = 0;
            failed.store(false);
            connected.store(true);
        } else {
            socketFd = -1;
            wakeFd = -1;
        }
    } else {
        std::lock_guard guard(lock);
        connecting = false;
        up = false;
    }
    if (!up) {
        if (fd >= 0) {
            ::close(fd);
        }
        if (wake >= 0) {
            ::close(wake);
        }
        return closedHere ? LINK_E_NOT_OPEN : LINK_E_OPEN;
    }
    SetTimeout(GetTimeout());
    return RZ_OK;
}

RzResult CLinkSocket::Close() {
    std::unique_lock guard(lock);
    connected.store(false);
    connectClosed = connecting;
    if (closing) {
        changed.wait(guard, [this] { return !closing; });
        return RZ_OK;
    }
    if (socketFd >= 0) {
        // A thread inside poll or recv (or a connect's wait) must leave before the descriptor
        // number can be reused: the event wakes a poll, the shutdown a blocking recv.
        closing = true;
        WakeLocked();
        ::shutdown(socketFd, SHUT_RDWR);
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

RzResult CLinkSocket::Abandon() {
    {
        std::lock_guard guard(lock);
        abandoned = true;
    }
    return Close();
}

RzResult CLinkSocket::SetTimeout(uint32_t ms) {
    timeoutMs.store(ms);
    return RZ_OK;
}

RzResult CLinkSocket::Send(const char* request, uint32_t length) {
    if (!connected.load()) {
        return LINK_E_NOT_OPEN;
    }
    if (length > kMaxRequestLength || (request == nullptr && length != 0)) {
        return LINK_E_PARAMETER;
    }
    if (failed.load()) {
        return LINK_E_BROKEN;
    }
    // An answer still owed, or bytes that came before this request, would be read as its
    // answer: the stream is out of step with the requests, and only a new connection is not.
    if (answerOwed || pendingLength != 0 || StrayBytesWaiting()) {
        MarkFailed();
        return LINK_E_BROKEN;
    }

    char line[kMaxRequestLength + 3];
    if (length != 0) {
        std::memcpy(line, request, length);
    }
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    const RzResult result = SendAll(line, length + 2);
    answerOwed = result == RZ_OK;
    return result;
}

RzResult CLinkSocket::Receive(char* buffer, uint32_t capacity, uint32_t* outLength,
                              AnswerShape shape) {
    if (!connected.load()) {
        return LINK_E_NOT_OPEN;
    }
    if (buffer == nullptr || outLength == nullptr) {
        return LINK_E_PARAMETER;
    }
    if (failed.load()) {
        return LINK_E_TIMEOUT;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
    framing.Reset();
    framing.SetMode(shape.mode);
    framing.SetExpectedLength(shape.expectedLength);
    lastBlocks = 0;
    RzResult result = ReadAnswer(deadline);
    if (result != RZ_OK) {
        return result;  // the link is failed or closed
    }
    answerOwed = false;
    lastBlocks = framing.Blocks();

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
    return result;
}

// True when bytes are waiting that no request asked for. A peer that has closed, or a socket
// error, counts too: no exchange can succeed any more.
bool CLinkSocket::StrayBytesWaiting() {
    int fd = -1;
    int wake = -1;
    if (!BeginIo(&fd, &wake)) {
        return false;  // closed meanwhile; the send reports it
    }
    char byte = 0;
    ssize_t got = -1;
    do {
        got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    const int error = got < 0 ? errno : 0;
    EndIo();
    return got >= 0 || (error != EAGAIN && error != EWOULDBLOCK);
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
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
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
                framing.Feed(readBuffer.get() + pendingStart, pendingLength, &used);
            pendingStart += used;
            pendingLength -= used;
            if (status == FrameStatus::kComplete) {
                return RZ_OK;
            }
            if (status != FrameStatus::kIncomplete) {
                MarkFailed();  // the rest of the stream cannot be framed any more
                return status == FrameStatus::kTooLarge ? LINK_E_FORMAT : LINK_E_BROKEN;
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
        // The socket's wait is set to the time left whenever that has changed (from one quick
        // answer to the next it has not), so that no recv outlasts the deadline.
        const int waitMs = RemainingMs(deadline);
        int readError = EAGAIN;
        if (waitMs != receiveWaitMs && waitMs > 0) {
            const timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
            const bool set = ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
            readError = set ? EAGAIN : errno;
            receiveWaitMs = set ? waitMs : 0;
        }
        ssize_t got = -1;
        if (waitMs > 0 && waitMs == receiveWaitMs) {
            got = ::recv(fd, readBuffer.get(), kReceiveAreaSize, 0);
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
        const bool lost =
            got == 0 || (readError != EAGAIN && readError != EWOULDBLOCK && readError != EINTR);
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
