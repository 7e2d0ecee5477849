#include "SimSession.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include "SimDispatcher.h"
#include "SimServer.h"

std::string SimOversizeAnswer() {
    constexpr size_t kLimit = 102400;
    std::string answer = "EA\r\n";
    char line[80];
    for (int i = 0; answer.size() <= kLimit; ++i) {
        std::snprintf(line, sizeof line, "DA%06d,OVERSIZE,0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n",
                      i);
        answer += line;
    }
    answer += "EN\r\n";
    return answer;
}

CSimSession::~CSimSession() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void CSimSession::Run() {
    CSimUser user;
    if (LogIn(&user)) {
        ServeCommands(user);
    }
    CloseGracefully();
}

bool CSimSession::LogIn(CSimUser* user) {
    CSimFaults faults = host_.Faults();
    const std::string greeting = faults.greeting ? *faults.greeting : host_.Greeting();
    if (!SendAnswer(greeting, faults)) {
        return false;
    }
    std::string name;
    const ReadOutcome nameRead = ReadLine(&name);
    if (nameRead == ReadOutcome::kClosed) {
        return false;
    }
    host_.Record(
        session_,
        nameRead == ReadOutcome::kLine ? SimRequestPhase::kUser : SimRequestPhase::kOverlong, name);
    faults = host_.Faults();
    const std::optional<CSimUser> found =
        nameRead == ReadOutcome::kLine ? host_.FindUser(name) : std::nullopt;
    if (faults.refuseLogin || !found) {
        SendAnswer(kSimLoginFailed, faults);
        return false;
    }
    if (found->password.empty()) {
        *user = *found;
        return SendAnswer(kSimLoginOk, faults);
    }
    if (!SendAnswer(kSimPasswordPrompt, faults)) {
        return false;
    }
    std::string password;
    const ReadOutcome passwordRead = ReadLine(&password);
    if (passwordRead == ReadOutcome::kClosed) {
        return false;
    }
    host_.Record(session_,
                 passwordRead == ReadOutcome::kLine ? SimRequestPhase::kPassword
                                                    : SimRequestPhase::kOverlong,
                 password);
    faults = host_.Faults();
    if (passwordRead != ReadOutcome::kLine || password != found->password) {
        SendAnswer(kSimLoginFailed, faults);
        return false;
    }
    *user = *found;
    return SendAnswer(kSimLoginOk, faults);
}

void CSimSession::ServeCommands(const CSimUser& user) {
    uint32_t count = 0;
    bool stalled = false;
    std::string line;
    for (;;) {
        const ReadOutcome read = ReadLine(&line);
        if (read == ReadOutcome::kClosed) {
            return;
        }
        if (read == ReadOutcome::kOverlong) {
            // Not a request the instrument could parse; it takes no request number.
            host_.Record(session_, SimRequestPhase::kOverlong, line);
            if (!stalled && !SendAnswer(kSimErrorLine, host_.Faults())) {
                return;
            }
            continue;
        }
        host_.Record(session_, SimRequestPhase::kCommand, line);
        ++count;
        const CSimFaults faults = host_.Faults();
        if (faults.closeOnRequest == count) {
            return;
        }
        if (faults.stallFromRequest != 0 && count >= faults.stallFromRequest) {
            stalled = true;
        }
        if (stalled) {
            continue;
        }
        std::string answer;
        if (faults.oversizeAnswerOn == count) {
            answer = SimOversizeAnswer();
        } else if (faults.errorForKeys.count(std::string(SimRequestKey(line))) != 0) {
            answer = kSimErrorLine;
        } else {
            answer = host_.Dispatch(line, user);
        }
        if (faults.closeMidAnswerOn == count) {
            SendAnswer(std::string_view(answer).substr(0, answer.size() / 2), faults);
            return;
        }
        if (!SendAnswer(answer, faults)) {
            return;
        }
    }
}

CSimSession::ReadOutcome CSimSession::ReadLine(std::string* line) {
    char buffer[4096];
    for (;;) {
        switch (reader_.Next(line)) {
            case CSimLineReader::Result::kLine:
                return ReadOutcome::kLine;
            case CSimLineReader::Result::kOverlong:
                return ReadOutcome::kOverlong;
            case CSimLineReader::Result::kNone:
                break;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {host_.StopFd(), POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadOutcome::kClosed;
        }
        if (fds[1].revents != 0) {
            return ReadOutcome::kClosed;
        }
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) {
            return ReadOutcome::kClosed;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            return ReadOutcome::kClosed;
        }
        reader_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
    }
}

bool CSimSession::SendAnswer(std::string_view answer, const CSimFaults& faults) {
    if (faults.answerDelayMs != 0 && !Pause(faults.answerDelayMs)) {
        return false;
    }
    const size_t piece = faults.segmentBytes != 0 ? faults.segmentBytes : answer.size();
    for (size_t offset = 0; offset < answer.size(); offset += piece) {
        if (offset != 0 && faults.segmentPauseMs != 0 && !Pause(faults.segmentPauseMs)) {
            return false;
        }
        if (!SendAll(answer.substr(offset, piece))) {
            return false;
        }
    }
    return true;
}

bool CSimSession::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A client that does not read must not keep Stop waiting.
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {host_.StopFd(), POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) {
                return false;
            }
            if (fds[1].revents != 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

bool CSimSession::Pause(uint32_t ms) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) {
            return true;
        }
        pollfd stop = {host_.StopFd(), POLLIN, 0};
        const int ready = poll(&stop, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready > 0) {
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

void CSimSession::CloseGracefully() {
    if (fd_ < 0) {
        return;
    }
    // Unread request bytes would turn the close into a reset, which can destroy the data the
    // client has not read yet; take them out of the way first.
    char sink[4096];
    for (int i = 0; i < 64 && recv(fd_, sink, sizeof sink, 0) > 0; ++i) {
    }
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    fd_ = -1;
}
