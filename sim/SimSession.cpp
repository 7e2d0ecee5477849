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

std::string SimSpoilBlocks(std::string_view answer) {
    std::string out;
    for (const std::string_view block : SimBinaryBlockSpans(answer)) {
        const size_t kept = block.size() < 8 ? block.size() : 8 + (block.size() - 8) / 2;
        out.append(block.substr(0, kept));
        out.append(block.size() - kept, '\0');
    }
    return out;
}

bool SimIsBinaryAnswer(std::string_view answer) {
    return answer.size() >= 8 && answer.substr(0, 4) == "EB\r\n";
}

std::vector<std::string_view> SimBinaryBlockSpans(std::string_view answer) {
    std::vector<std::string_view> blocks;
    while (!answer.empty()) {
        size_t size = answer.size();
        if (answer.size() >= 8) {
            uint32_t length = 0;
            for (size_t i = 4; i < 8; ++i) {
                length = (length << 8) | static_cast<uint8_t>(answer[i]);
            }
            size = std::min<size_t>(size, size_t{8} + length);
        }
        blocks.push_back(answer.substr(0, size));
        answer.remove_prefix(size);
    }
    return blocks;
}

size_t SimStallCut(std::string_view answer) {
    if (SimIsBinaryAnswer(answer)) {
        const std::string_view first = SimBinaryBlockSpans(answer).front();
        // Past the block header, inside the payload.
        return 8 + (first.size() - 8) / 2;
    }
    return answer.size() / 2;
}

std::string SimGarbleList(std::string_view answer, SimGarble kind) {
    constexpr std::string_view kOpener = "EA\r\n";
    if (answer.substr(0, kOpener.size()) != kOpener) {
        return std::string(answer);
    }
    std::string out(answer);
    switch (kind) {
        case SimGarble::kDropOpener:
            out.erase(0, kOpener.size());
            break;
        case SimGarble::kCutLineEnd: {
            // The first data line's end, unless that line already closes the list.
            const size_t end = out.find("\r\n", kOpener.size());
            const std::string_view line =
                std::string_view(out).substr(kOpener.size(), end - kOpener.size());
            if (end != std::string::npos && line != "EN" && line.rfind("END:", 0) != 0) {
                out.erase(end, 2);
            }
            break;
        }
    }
    return out;
}

SimRandomFault SimPickRandomFault(uint32_t count, uint32_t every, uint32_t draw) {
    if (every == 0 || count % every != 0) {
        return SimRandomFault::kNone;
    }
    constexpr SimRandomFault kChoices[] = {SimRandomFault::kDelay, SimRandomFault::kStall,
                                           SimRandomFault::kClose, SimRandomFault::kErrorLine,
                                           SimRandomFault::kGarble};
    return kChoices[draw % std::size(kChoices)];
}

const char* SimRandomFaultName(SimRandomFault fault) {
    switch (fault) {
        case SimRandomFault::kNone:
            return "none";
        case SimRandomFault::kDelay:
            return "delay";
        case SimRandomFault::kStall:
            return "stall";
        case SimRandomFault::kClose:
            return "close";
        case SimRandomFault::kErrorLine:
            return "error-line";
        case SimRandomFault::kGarble:
            return "garble";
    }
    return "none";
}

CSimSession::CSimSession(int fd, int session, CSimSessionHost& host,
                         std::chrono::milliseconds logInTimeout)
    : fd_(fd), session_(session), host_(host), logInWaitLeft_(logInTimeout) {
    random_.seed(host.Faults().randomSeed * 7919u + static_cast<uint32_t>(session));
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
    const ReadOutcome nameRead = ReadLine(&name, &logInWaitLeft_);
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
    const ReadOutcome passwordRead = ReadLine(&password, &logInWaitLeft_);
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
        CSimFaults faults = host_.Faults();
        const SimRandomFault random =
            SimPickRandomFault(count, faults.randomFaultEvery, static_cast<uint32_t>(random_()));
        if (random != SimRandomFault::kNone) {
            // The soak script counts these lines.
            std::fprintf(stderr, "rzsim: fault %s on request %u of session %d\n",
                         SimRandomFaultName(random), count, session_);
            std::fflush(stderr);
        }
        if (faults.closeOnRequest == count || random == SimRandomFault::kClose) {
            return;
        }
        if ((faults.stallFromRequest != 0 && count >= faults.stallFromRequest) ||
            random == SimRandomFault::kStall) {
            stalled = true;
        }
        if (stalled) {
            continue;
        }
        std::string answer;
        if (faults.oversizeAnswerOn == count) {
            answer = SimOversizeAnswer();
        } else if (faults.errorForKeys.count(std::string(SimRequestKey(line))) != 0 ||
                   random == SimRandomFault::kErrorLine) {
            answer = kSimErrorLine;
        } else {
            answer = host_.Dispatch(line, user);
        }
        if (faults.badImage && SimRequestKey(line) == "FC" && SimIsBinaryAnswer(answer)) {
            answer = SimSpoilBlocks(answer);
        }
        if (faults.garbleListOn == count) {
            answer = SimGarbleList(answer, faults.garbleKind);
        } else if (random == SimRandomFault::kGarble) {
            answer = SimGarbleList(answer, static_cast<uint32_t>(random_()) % 2 == 0
                                               ? SimGarble::kDropOpener
                                               : SimGarble::kCutLineEnd);
        }
        if (random == SimRandomFault::kDelay) {
            faults.answerDelayMs += faults.randomDelayMs;
        }
        if (faults.closeMidAnswerOn == count) {
            SendAnswer(std::string_view(answer).substr(0, answer.size() / 2), faults);
            return;
        }
        if (faults.stallMidAnswerOn == count) {
            if (!SendAnswer(std::string_view(answer).substr(0, SimStallCut(answer)), faults)) {
                return;
            }
            stalled = true;
            continue;
        }
        if (!SendAnswer(answer, faults)) {
            return;
        }
    }
}

CSimSession::ReadOutcome CSimSession::ReadLine(std::string* line,
                                               std::chrono::steady_clock::duration* waitLeft) {
    using Clock = std::chrono::steady_clock;
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
        int timeoutMs = -1;
        if (waitLeft != nullptr) {
            if (*waitLeft <= Clock::duration::zero()) {
                return ReadOutcome::kClosed;
            }
            timeoutMs = static_cast<int>(std::min<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(*waitLeft).count(), INT_MAX));
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {host_.StopFd(), POLLIN, 0}};
        const auto waitStart = Clock::now();
        const int ready = poll(fds, 2, timeoutMs);
        if (waitLeft != nullptr) {
            *waitLeft -= Clock::now() - waitStart;
        }
        if (ready == 0) {
            continue;  // the wait ran out; checked above
        }
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
    if (!SimIsBinaryAnswer(answer)) {
        return SendPieces(answer, faults);
    }
    if (faults.mergeBinaryBlocks) {
        return SendAll(answer);
    }
    if (faults.splitBlockPauseMs == 0) {
        return SendPieces(answer, faults);
    }
    for (const std::string_view block : SimBinaryBlockSpans(answer)) {
        const size_t half = block.size() / 2;
        if (!SendPieces(block.substr(0, half), faults) || !Pause(faults.splitBlockPauseMs) ||
            !SendPieces(block.substr(half), faults)) {
            return false;
        }
    }
    return true;
}

bool CSimSession::SendPieces(std::string_view bytes, const CSimFaults& faults) {
    const size_t piece = faults.segmentBytes != 0 ? faults.segmentBytes : bytes.size();
    for (size_t offset = 0; offset < bytes.size(); offset += piece) {
        if (offset != 0 && faults.segmentPauseMs != 0 && !Pause(faults.segmentPauseMs)) {
            return false;
        }
        if (!SendAll(bytes.substr(offset, piece))) {
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
