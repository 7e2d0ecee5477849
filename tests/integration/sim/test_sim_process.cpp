#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "SimOptions.h"
#include "SimTestClient.h"

using namespace std::chrono_literals;

extern char** environ;

namespace {

// rzsim run as a child process with its stdout and stderr on pipes.
class SimProcess {
  public:
    bool Start(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {RZSIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, RZSIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        return rc == 0;
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, err_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    // The first line of stdout, without its line end; empty on time-out or end of output.
    std::string FirstLine() { return ReadUntil(out_, true); }
    // All of stderr up to its end.
    std::string Errors() { return ReadUntil(err_, false); }
    std::string Output() { return ReadUntil(out_, false); }

    // The exit code, or -1 when the process has not ended within the bound or died by a signal.
    int Wait() {
        const pid_t pid = pid_;
        auto waited = std::async(std::launch::async, [pid] {
            int status = 0;
            return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        });
        if (waited.wait_for(10s) != std::future_status::ready) {
            kill(pid_, SIGKILL);
        }
        pid_ = -1;
        return waited.get();
    }

    void Signal(int signal) { kill(pid_, signal); }
    pid_t Pid() const { return pid_; }

  private:
    static std::string ReadUntil(int fd, bool oneLine) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!(oneLine && text.find('\n') != std::string::npos)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return oneLine ? std::string() : text;
            }
            char buffer[4096];
            const ssize_t n = read(fd, buffer, oneLine ? 1 : sizeof buffer);
            if (n <= 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(n));
        }
        if (oneLine) {
            const auto end = text.find('\n');
            return end == std::string::npos ? std::string() : text.substr(0, end);
        }
        return text;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

}  // namespace

TEST(SimProcess, PrintsItsPortServesAndEndsCleanlyOnSignals) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--port", "0", "--profile", "rz3100"}));
        const std::string line = sim.FirstLine();
        const std::string prefix = "rzsim: listening on 127.0.0.1:";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        const int port = std::stoi(line.substr(line.rfind(':') + 1));
        ASSERT_GT(port, 0);

        CSimTestClient client;
        ASSERT_TRUE(client.Connect(static_cast<uint16_t>(port)));
        ASSERT_TRUE(client.LogIn("admin", "rzadmin"));
        ASSERT_TRUE(client.SendLine("_C"));
        EXPECT_EQ(ParseIdentityAnswers(client.ReadList(), "").model, 3100);

        // A connected client must not keep the program from ending.
        sim.Signal(signal);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_EQ(sim.Output(), "");  // exactly one line
    }
}

TEST(SimProcess, FaultFlagsReachTheServer) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start(
        {"--port=0", "--greeting", "Input username.", "--error-for", "ZS", "--close-on", "3"}));
    const std::string line = sim.FirstLine();
    ASSERT_FALSE(line.empty());
    CSimTestClient client;
    ASSERT_TRUE(client.Connect(static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)))));
    EXPECT_EQ(client.ReadLine(), "Input username.\r\n");
    ASSERT_TRUE(client.SendLine("admin"));
    EXPECT_EQ(client.ReadLine(), "Input password.\r\n");
    ASSERT_TRUE(client.SendLine("rzadmin"));
    EXPECT_EQ(client.ReadLine(), "E0\r\n");
    ASSERT_TRUE(client.SendLine("_C"));
    EXPECT_EQ(client.ReadList().rfind("EA\r\nMODEL:\r\nRZ3200\r\n", 0), 0u);
    ASSERT_TRUE(client.SendLine("ZSPID_AUX?"));
    EXPECT_EQ(client.ReadList(), "E1\r\n");
    ASSERT_TRUE(client.SendLine("_C"));
    bool closed = false;
    EXPECT_EQ(client.ReadUntilClosed(&closed), "");
    EXPECT_TRUE(closed);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProcess, BadArgumentsAndProfilesExitWithCodeTwo) {
    char dir[] = "/tmp/rzsim-process-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string broken = std::string(dir) + "/broken.json";
    std::ofstream(broken) << R"({"model": "big"})";
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--profile", "nosuchprofile", "--port", "0"}, "nosuchprofile"},
        {{"--profile", broken, "--port", "0"}, "model"},
        {{"--port", "70000"}, "--port"},
        {{"--bogus"}, "--bogus"},
        {{"--delay"}, "--delay"},
        {{"--host", "localhost"}, "--host"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mentions);
        SimProcess sim;
        ASSERT_TRUE(sim.Start(c.args));
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Errors().find(c.mentions), std::string::npos);
        EXPECT_EQ(sim.Output(), "");
    }
    std::remove(broken.c_str());
    rmdir(dir);
}

TEST(SimProcess, HelpDocumentsEveryOption) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--help"}));
    const std::string help = sim.Output();
    EXPECT_EQ(sim.Wait(), 0);
    for (const char* option :
         {"--host", "--port", "--profile", "--delay", "--segment-bytes", "--segment-pause",
          "--close-on", "--stall-from", "--close-mid-answer", "--oversize-on", "--error-for",
          "--greeting", "--refuse-login", "--max-clients", "--login-timeout"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
        // Every documented option is also accepted (or asks for its value).
        CSimOptions options;
        std::string error;
        const bool parsed = ParseSimOptions({option}, &options, &error);
        EXPECT_TRUE(parsed || error.find("needs a value") != std::string::npos) << error;
    }
}

TEST(SimOptions, FlagsSetTheirFields) {
    struct Case {
        std::vector<std::string> args;
        std::function<bool(const CSimOptions&)> check;
    };
    const Case cases[] = {
        {{},
         [](const CSimOptions& o) {
             return o.host == "127.0.0.1" && o.port == 34260 && o.profile == "full" && !o.help;
         }},
        {{"--port", "0"}, [](const CSimOptions& o) { return o.port == 0; }},
        {{"--port=65535"}, [](const CSimOptions& o) { return o.port == 65535; }},
        {{"--host", "127.0.0.2"}, [](const CSimOptions& o) { return o.host == "127.0.0.2"; }},
        {{"--profile", "rz3100"}, [](const CSimOptions& o) { return o.profile == "rz3100"; }},
        {{"--delay", "250"}, [](const CSimOptions& o) { return o.faults.answerDelayMs == 250; }},
        {{"--segment-bytes", "3", "--segment-pause", "20"},
         [](const CSimOptions& o) {
             return o.faults.segmentBytes == 3 && o.faults.segmentPauseMs == 20;
         }},
        {{"--close-on", "4"}, [](const CSimOptions& o) { return o.faults.closeOnRequest == 4; }},
        {{"--stall-from", "2"},
         [](const CSimOptions& o) { return o.faults.stallFromRequest == 2; }},
        {{"--close-mid-answer", "5"},
         [](const CSimOptions& o) { return o.faults.closeMidAnswerOn == 5; }},
        {{"--oversize-on", "6"},
         [](const CSimOptions& o) { return o.faults.oversizeAnswerOn == 6; }},
        {{"--error-for", "_C", "--error-for=FC"},
         [](const CSimOptions& o) {
             return o.faults.errorForKeys == std::set<std::string>{"_C", "FC"};
         }},
        {{"--greeting", "Hello"},
         [](const CSimOptions& o) { return o.faults.greeting == std::string("Hello\r\n"); }},
        {{"--greeting="},
         [](const CSimOptions& o) { return o.faults.greeting == std::string("\r\n"); }},
        {{"--refuse-login"}, [](const CSimOptions& o) { return o.faults.refuseLogin; }},
        {{"-h"}, [](const CSimOptions& o) { return o.help; }},
        {{"--max-clients", "3", "--login-timeout=250"},
         [](const CSimOptions& o) {
             return o.limits.maxClients == 3 && o.limits.logInTimeoutMs == 250;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        CSimOptions options;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(c.args, &options, &error)) << error;
        EXPECT_TRUE(c.check(options));
    }
}

TEST(SimOptions, BadValuesAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {"--port", "-1"},     {"--port", "65536"},
        {"--port", "12a"},    {"--port", ""},
        {"--port"},           {"--delay", "600001"},
        {"--delay", "+5"},    {"--segment-bytes", "0"},
        {"--close-on", "0"},  {"--stall-from", "x"},
        {"--error-for", "F"}, {"--error-for", "FCX"},
        {"--refuse-login=1"}, {"--help=yes"},
        {"port", "1"},        {"--profile", ""},
        {"--host", ""},       {"--close-on", "99999999999"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        CSimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(args, &options, &error));
        EXPECT_FALSE(error.empty());
    }
}

// A client rzsim cannot start a thread for is refused, and rzsim serves on.
TEST(SimProcess, ClientWithoutAThreadIsRefusedAndServingGoesOn) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own mappings need the address space this test takes away";
#endif
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--port", "0", "--profile", "rz3100"}));
    const std::string line = sim.FirstLine();
    ASSERT_FALSE(line.empty());
    const auto port = static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    CSimTestClient first;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(first.LogIn("admin", "rzadmin"));
    // Address space for what rzsim maps now and little more: no room for a thread's stack.
    std::ifstream status("/proc/" + std::to_string(sim.Pid()) + "/status");
    std::string field;
    rlim_t sizeKb = 0;
    while (status >> field && field != "VmSize:") {
    }
    ASSERT_TRUE(status >> sizeKb);
    const rlimit tight{(sizeKb + 64) * 1024, RLIM_INFINITY};
    ASSERT_EQ(prlimit(sim.Pid(), RLIMIT_AS, &tight, nullptr), 0);
    CSimTestClient refused;
    ASSERT_TRUE(refused.Connect(port));
    bool closed = false;
    EXPECT_EQ(refused.ReadUntilClosed(&closed), "E1 Too many connections\r\n");
    const rlimit open{RLIM_INFINITY, RLIM_INFINITY};
    ASSERT_EQ(prlimit(sim.Pid(), RLIMIT_AS, &open, nullptr), 0);
    CSimTestClient later;
    ASSERT_TRUE(later.Connect(port));
    EXPECT_TRUE(later.LogIn("admin", "rzadmin"));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}
