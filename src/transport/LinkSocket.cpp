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

// Waits for a non-blocking connect to finish; true when the connection is up, otherwise the
// system's reason is in `*error` (ETIMEDOUT when it did not come up in time). A readable `wake`
// (Close on another thread) ends the wait at once.
bool WaitConnected(int fd, int wake, int* error) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(CLinkSocket::kConnectWaitMs);
    for (;;) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
        const int ready = ::poll(p, 2, RemainingMs(deadline));
        if (ready > 0 && p[1].revents == 0) {
            break;
        }
        if (ready >= 0 || errno != EINTR) {
            *error = ready == 0 ? ETIMEDOUT : ready > 0 ? ECANCELED : errno;
            return false;
        }
    }
    socklen_t size = sizeof *error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &size) != 0) {
        *error = errno;
    }
    return *error == 0;
}

// Why an answer was refused, after the peer's address.
std::string UnframedAnswer(FrameStatus status) {
    switch (status) {
        case FrameStatus::kOverflow:
            return " sent an answer longer than " + std::to_string(kReceiveAreaSize) + " bytes";
        case FrameStatus::kTooLarge:
            return " sent an answer larger than " + std::to_string(kLargestAnswerSize) + " bytes";
        case FrameStatus::kNoMemory:
            return " sent an answer there was no memory for";
        default:
            return " sent an answer of a form that cannot be read";
    }
}

std::string SystemReason(int error) {
    char text[128];
    return strerror_r(error, text, sizeof text);
}

}  // namespace

CLinkSocket::~CLinkSocket() {
    Close();
}

RzResult CLinkSocket::Open(const char* hostText, uint16_t portNumber) {
    const size_t length = hostText != nullptr ? std::strlen(hostText) : 0;
    // A host longer than a dotted IPv4 address cannot be one; it is refused, never cut short.
    if (length >= sizeof host) {
        NoteFailure("Cannot connect to " + std::string(hostText) + ": not a dotted IPv4 address");
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
    {
        std::lock_guard guard(reasonLock);
        reason.clear();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (port == 0 || ::inet_pton(AF_INET, host, &address.sin_addr) != 1) {
        NoteFailure("Cannot connect to " + Address() + ": not a dotted IPv4 address and port");
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
    int error = fd < 0 ? errno : wake < 0 ? errno : 0;
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
            error = errno;
            up = (error == EINPROGRESS || error == EINTR) && WaitConnected(fd, wake, &error);
        }
        // The answer is read with a blocking recv bounded by the receive time-out (one call per
        // wait instead of a poll and a recv); Close wakes it by shutting the socket down. Sends
        // and the stray-byte check stay non-blocking per call.
        const int flags = up ? ::fcntl(fd, F_GETFL) : -1;
        if (up && (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
            error = errno;
            up = false;
        }

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
        if (!closedHere) {
            NoteFailure("Cannot connect to " + Address() + ": " + SystemReason(error));
        }
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
    std::string outOfStep;
    if (answerOwed) {
        outOfStep = "A request to " + Address() + " went before the previous answer was read";
    } else if (pendingLength != 0) {
        outOfStep = Address() + " sent bytes that no request asked for";
    } else {
        outOfStep = StrayBytesWaiting();
    }
    if (!outOfStep.empty()) {
        MarkFailed(outOfStep);
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

RzExpected<uint32_t> CLinkSocket::Receive(char* buffer, uint32_t capacity, AnswerShape shape) {
    if (!connected.load()) {
        return RzError(LINK_E_NOT_OPEN);
    }
    if (buffer == nullptr) {
        return RzError(LINK_E_PARAMETER);
    }
    if (failed.load()) {
        return RzError(LINK_E_TIMEOUT);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
    framing.Reset();
    framing.SetMode(shape.mode);
    framing.SetExpectedLength(shape.expectedLength);
    lastBlocks = 0;
    RzResult result = ReadAnswer(deadline);
    if (result != RZ_OK) {
        return RzError(result);  // the link is failed or closed
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
    }
    framing.Reset();
    if (result != RZ_OK) {
        return RzError(result);
    }
    return received;
}

// Bytes waiting that no request asked for. A peer that has closed, or a socket error, counts
// too: no exchange can succeed any more.
std::string CLinkSocket::StrayBytesWaiting() {
    const std::optional<IoHandles> io = BeginIo();
    if (!io) {
        return {};  // closed meanwhile; the send reports it
    }
    const int fd = io->fd;
    char byte = 0;
    ssize_t got = -1;
    do {
        got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    const int error = got < 0 ? errno : 0;
    EndIo();
    if (got > 0) {
        return Address() + " sent bytes that no request asked for";
    }
    if (got == 0) {
        return Address() + " closed the connection";
    }
    if (error != EAGAIN && error != EWOULDBLOCK) {
        return "The connection to " + Address() + " failed: " + SystemReason(error);
    }
    return {};
}

// Sends the whole request; a full send queue is waited out for at most the receive time-out.
RzResult CLinkSocket::SendAll(const char* data, size_t length) {
    const std::optional<IoHandles> io = BeginIo();
    if (!io) {
        return LINK_E_NOT_OPEN;
    }
    const auto [fd, wake] = *io;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
    RzResult result = RZ_OK;
    int error = 0;
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
            error = ready == 0 ? ETIMEDOUT : errno;
        } else if (n < 0) {
            error = errno;
        }
        result = LINK_E_SEND;
        break;
    }
    EndIo();
    if (result != RZ_OK) {
        if (!connected.load()) {
            return LINK_E_NOT_OPEN;  // closed here while sending
        }
        MarkFailed("Cannot send to " + Address() + ": " +
                   (error != 0 ? SystemReason(error) : std::string("the link failed")));
    }
    return result;
}

// Feeds queued bytes to the framing and reads more until the answer is complete.
RzResult CLinkSocket::ReadAnswer(Clock::time_point deadline) {
    for (;;) {
        if (pendingLength != 0) {
            const auto [status, used] =
                framing.Feed(readBuffer.get() + pendingStart, pendingLength);
            pendingStart += used;
            pendingLength -= used;
            if (status == FrameStatus::kComplete) {
                return RZ_OK;
            }
            if (status != FrameStatus::kIncomplete) {
                MarkFailed(Address() + UnframedAnswer(status));  // the rest cannot be framed
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
            MarkFailed("No answer from " + Address() + " within " +
                       std::to_string(timeoutMs.load()) + " ms");
            return LINK_E_TIMEOUT;
        }

        const std::optional<IoHandles> io = BeginIo();
        if (!io) {
            return LINK_E_NOT_OPEN;
        }
        const auto [fd, wake] = *io;
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
            MarkFailed(got == 0 ? Address() + " closed the connection"
                                : "The connection to " + Address() +
                                      " failed: " + SystemReason(readError));
            return LINK_E_BROKEN;
        }
    }
}

void CLinkSocket::MarkFailed(const std::string& cause) {
    {
        std::lock_guard guard(lock);
        if (!failed.exchange(true)) {
            NoteFailure(cause);  // the first cause, not what followed from it
        }
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

std::optional<CLinkSocket::IoHandles> CLinkSocket::BeginIo() {
    std::lock_guard guard(lock);
    if (socketFd < 0 || closing) {
        return std::nullopt;
    }
    ++ioUsers;
    return IoHandles{socketFd, wakeFd};
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

void CLinkSocket::NoteFailure(const std::string& cause) {
    std::lock_guard guard(reasonLock);
    reason = cause;
}

std::string CLinkSocket::FailureReason() const {
    std::lock_guard guard(reasonLock);
    return reason;
}

std::string CLinkSocket::Address() const {
    return std::string(host) + ":" + std::to_string(port);
}
