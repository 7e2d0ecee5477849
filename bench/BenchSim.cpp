#include "BenchSim.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include <time.h>

#include <fstream>

#include "SimCommands.h"
#include "SimProfile.h"
#include "SimServer.h"
#include "platform/Paths.h"
#include "session/ConnectionManager.h"

extern char** environ;

CSimServer& BenchServer() {
    static std::unique_ptr<CSimServer> server = [] {
        CSimProfile profile;
        std::string error;
        if (!LoadSimProfile("full", &profile, &error)) {
            throw std::runtime_error("cannot load profile: " + error);
        }
        // The polled connections' row logs in 50 at once.
        CSimLimits limits;
        limits.maxClients = 64;
        auto s = std::make_unique<CSimServer>(profile, CSimFaults{}, limits);
        if (!RegisterInstrumentCommands(*s) || s->Start(0) == 0) {
            throw std::runtime_error("cannot start rzsim: " + s->LastError());
        }
        return s;
    }();
    return *server;
}

BareClient::BareClient(uint16_t port, const char* address) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address, &addr.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("connect failed");
    }
}

BareClient::~BareClient() {
    close(fd_);
}

void BareClient::SendLine(const std::string& text) {
    const std::string line = text + "\r\n";
    if (send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        throw std::runtime_error("send failed");
    }
}

std::string BareClient::ReadSome() {
    if (!pending_.empty()) {
        return std::exchange(pending_, std::string());
    }
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        throw std::runtime_error("peer closed");
    }
    return std::string(buffer, static_cast<size_t>(n));
}

std::string BareClient::ReadExactly(size_t count) {
    std::string data;
    while (data.size() < count) {
        data += ReadSome();
    }
    pending_ = data.substr(count);
    data.resize(count);
    return data;
}

void BareClient::ReadUntil(const char* terminator) {
    const size_t n = std::strlen(terminator);
    std::string data;
    while (data.size() < n || data.compare(data.size() - n, n, terminator) != 0) {
        data += ReadSome();
    }
}

void BareClient::Login() {
    ReadUntil("\r\n");
    SendLine(kBenchUser);
    ReadUntil("\r\n");
    SendLine(kBenchPassword);
    ReadUntil("\r\n");
}

void BareInstrumentClient::Exchange(const std::string& request) {
    SendLine(request);
    if (request == "FO") {
        ReadExactly(88);
    } else if (request == "FW" || request == "FC GET") {
        ReadBlocks();
    } else {
        ReadTextAnswer();
    }
}

void BareInstrumentClient::ReadTextAnswer() {
    std::string answer;
    for (;;) {
        answer += ReadSome();
        if (answer.size() >= 2 && answer.compare(0, 2, "EA") != 0 &&
            answer.compare(answer.size() - 2, 2, "\r\n") == 0) {
            return;
        }
        if (answer.size() >= 6 && (answer.compare(answer.size() - 6, 6, "\r\nEN\r\n") == 0 ||
                                   answer.find("END:\r\n") != std::string::npos)) {
            return;
        }
    }
}

void BareInstrumentClient::ReadBlocks() {
    for (;;) {
        const std::string head = ReadExactly(8);
        if (head[0] == 'E' && head[1] != 'B') {
            return;  // an error line of 4 bytes plus what followed; fine for a yardstick
        }
        const auto* h = reinterpret_cast<const unsigned char*>(head.data());
        const uint32_t length =
            (uint32_t{h[4]} << 24) | (uint32_t{h[5]} << 16) | (uint32_t{h[6]} << 8) | h[7];
        const std::string body = ReadExactly(length);
        if (static_cast<unsigned char>(body[0]) & 1) {
            return;
        }
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

OneCpu::OneCpu() {
    cpu_set_t one;
    CPU_ZERO(&one);
    const int cpu = sched_getcpu();
    CPU_SET(cpu < 0 ? 0 : cpu, &one);
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        cpu_set_t old;
        if (tid > 0 && sched_getaffinity(tid, sizeof old, &old) == 0 &&
            sched_setaffinity(tid, sizeof one, &one) == 0) {
            saved_.emplace_back(tid, old);
        }
    }
    closedir(dir);
}

OneCpu::~OneCpu() {
    for (const auto& [tid, mask] : saved_) {
        sched_setaffinity(tid, sizeof mask, &mask);  // a thread that ended meanwhile fails
    }
}

void RunPair(benchmark::State& state, const std::function<double()>& console,
             const std::function<double()>& yardstick) {
    const OneCpu pinned;
    std::vector<double> consoleSeconds;
    std::vector<double> yardstickSeconds;
    bool consoleFirst = true;
    for (auto _ : state) {
        const double a = consoleFirst ? console() : yardstick();
        const double b = consoleFirst ? yardstick() : console();
        const double c = consoleFirst ? a : b;
        const double y = consoleFirst ? b : a;
        if (c < 0 || y < 0) {
            state.SkipWithError(c < 0 ? "console side failed" : "yardstick failed");
            return;
        }
        consoleSeconds.push_back(c);
        yardstickSeconds.push_back(y);
        state.SetIterationTime(c);
        consoleFirst = !consoleFirst;
    }
    state.counters["console_us"] = Median(consoleSeconds) * 1e6;
    state.counters["yardstick_us"] = Median(yardstickSeconds) * 1e6;
}

double BenchThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop now and then, so that a condition set by another thread is seen; the
    // event loop sleeps in between rather than spinning beside the threads it waits for.
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void RunFor(int ms) {
    // The event loop as the console runs it, woken only by what it serves: a poll for the time
    // would charge the benchmark's own wake-ups to what it measures.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

BenchDataDir::BenchDataDir(int cycleMs) {
    std::ofstream(dir_.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
        << "[Config]\r\nCommCycle=" << cycleMs << "\r\n";
    SetDataDirectory(dir_.path().toStdString());
}

BenchDataDir::~BenchDataDir() {
    SetDataDirectory("");
}

double ChildPeakKb(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {ExecutableDirectory() + "/rz_bench"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return static_cast<double>(usage.ru_maxrss);
}

std::string RzctlPath() {
    if (const char* path = std::getenv("RZCTL")) {
        return path;
    }
    return ExecutableDirectory() + "/../cli/rzctl";
}

bool BenchLogIn(CConnectionManager& manager, uint32_t* id) {
    const RzExpected<uint32_t> login =
        manager.ConnectAndLogin("127.0.0.1", kBenchUser, kBenchPassword, BenchServer().Port());
    *id = login.value_or(0);
    return login.ok();
}
