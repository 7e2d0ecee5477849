#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "SimTestClient.h"

namespace {

// rzsim run as a child process with its stdout and stderr on pipes.
class SimProcess {
  public:
    bool Start(const std::vector<std::string>& args) {
        QStringList list;
        for (const std::string& arg : args) {
            list << QString::fromStdString(arg);
        }
        process_.start(RZSIM_PATH, list);
        return process_.waitForStarted(10000);
    }
    ~SimProcess() {
        process_.kill();
        process_.waitForFinished();
    }

    // The first line of stdout, without its line end; empty on time-out or end of output.
    std::string FirstLine() {
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        return process_.canReadLine() ? process_.readLine().trimmed().toStdString() : "";
    }
    // All of stderr, or of stdout, once the process has ended.
    std::string Errors() { return Ended() ? process_.readAllStandardError().toStdString() : ""; }
    std::string Output() { return Ended() ? process_.readAllStandardOutput().toStdString() : ""; }
    // The exit code, or -1 when the process has not ended within the bound or died by a signal.
    int Wait() {
        return Ended() && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    void Signal(int signal) {
        if (Pid() > 0) {
            kill(Pid(), signal);
        }
    }
    pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }

  private:
    bool Ended() {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(10000);
    }

    QProcess process_;
};

}  // namespace

// The fault switches given reach the server: "ZS" is refused.
TEST(SimProcess, PrintsItsPortServesAndEndsCleanlyOnSignals) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        SimProcess sim;
        ASSERT_TRUE(sim.Start({"--port=0", "--profile", "rz3100", "--error-for", "ZS"}));
        const std::string line = sim.FirstLine();
        const std::string prefix = "rzsim: listening on 127.0.0.1:";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        const int port = std::stoi(line.substr(line.rfind(':') + 1));
        ASSERT_GT(port, 0);

        CSimTestClient client;
        ASSERT_TRUE(client.Connect(static_cast<uint16_t>(port)));
        ASSERT_TRUE(client.LogIn("admin", "rzdemo"));
        ASSERT_TRUE(client.SendLine("_C"));
        EXPECT_EQ(client.ReadList().rfind("EA\r\nMODEL:\r\nRZ3100\r\n", 0), 0u);
        ASSERT_TRUE(client.SendLine("ZSPID_AUX?"));
        EXPECT_EQ(client.ReadList(), "E1\r\n");

        // A connected client must not keep the program from ending.
        sim.Signal(signal);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_EQ(sim.Output(), "");  // exactly one line
    }
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
    // Which options and profiles are refused is the parsers' business; here, how rzsim ends.
    const Case cases[] = {
        {{"--profile", broken, "--port", "0"}, "model"},
        {{"--bogus"}, "--bogus"},
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
    ASSERT_TRUE(first.LogIn("admin", "rzdemo"));
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
    EXPECT_TRUE(later.LogIn("admin", "rzdemo"));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}
