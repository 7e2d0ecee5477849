#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <vector>

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
        EXPECT_EQ(client.ReadList().rfind("EA\r\nMODEL:\r\nRZ3100\r\n", 0), 0u);

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
