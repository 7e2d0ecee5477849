#include "BenchSim.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <csignal>
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

pid_t SpawnChild(std::vector<std::string> args, const ChildFiles& files) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (files.in >= 0) {
        posix_spawn_file_actions_adddup2(&actions, files.in, 0);
    }
    if (files.out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, files.out, 1);
    } else if (files.outToNull) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    if (files.errorsToNull) {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

double WaitChildPeakKb(pid_t pid) {
    if (pid <= 0) {
        return -1;
    }
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    double peakKb = 0;
    for (;;) {
        // VmHWM only grows while the program runs; the last reading before its end is its peak.
        std::ifstream status(path);
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) {
                peakKb = std::max(peakKb, std::atof(line.c_str() + 6));
            }
        }
        int exit = 0;
        const pid_t ended = waitpid(pid, &exit, WNOHANG);
        if (ended == pid) {
            return WIFEXITED(exit) && WEXITSTATUS(exit) == 0 && peakKb > 0 ? peakKb : -1;
        }
        if (ended < 0) {
            return -1;
        }
        timespec pause{0, 2000000};
        nanosleep(&pause, nullptr);
    }
}

double ChildPeakKb(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {ExecutableDirectory() + "/rz_bench"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    return WaitChildPeakKb(SpawnChild(std::move(args), {.outToNull = true}));
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
