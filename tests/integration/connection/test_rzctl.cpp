#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/SimFixture.h"
#include "platform/CommandLine.h"

namespace {

struct CtlRun {
    int exitCode;
    std::string out;
    std::string err;
};

class RzctlTest : public SimFixture {
  protected:
    // `setup` changes the process before it starts (its standard files, say).
    CtlRun Run(const QStringList& args, const QString& passwordEnv = {},
               const std::function<void(QProcess&)>& setup = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("RZ_PASSWORD");
        if (!passwordEnv.isNull()) {
            env.insert("RZ_PASSWORD", passwordEnv);
        }
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        if (setup) {
            setup(process);
        }
        QStringList full{"--data-dir", dataDir.path()};
        full += args;
        process.start(RZCTL_PATH, full);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
    QStringList Online(const QStringList& tail) {
        return QStringList{"--host", "127.0.0.1", "--port", QString::number(port),
                           "--user", "admin"} +
               tail;
    }
};

TEST_F(RzctlTest, InfoPrintsTheIdentityLoggedInWithThePasswordFromTheEnvironment) {
    StartSim("rz3200v2");
    const CtlRun run = Run(Online({"info"}), "rzdemo");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("model: 3200\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("firmware: 2.11\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("program option: small\n"), std::string::npos) << run.out;
    const auto requests = server->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[1].text, "rzdemo");
    const CtlRun json = Run(Online({"info", "--json"}), "rzdemo");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const QJsonObject info = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(info["modelClass"].toInt(), 3200) << json.out;
    EXPECT_EQ(info["firmware"].toString(), "2.11");
    EXPECT_EQ(info["programOption"].toString(), "small");
    EXPECT_EQ(info["userName"].toString(), "admin");
}

TEST_F(RzctlTest, FailuresAndUsageErrorsHaveTheirExitCodes) {
    StartSim("full");
    struct Case {
        QStringList args;
        int exitCode;
        std::string errContains;
        std::string outStarts = {};
    };
    const std::string tryHelp = "\nTry 'rzctl --help' for more information.\n";
    const Case cases[] = {
        {Online({"--password", "wrong", "info"}), 1, "error 0xFFFF0013 LINK_E_LOGIN"},
        {{"--host=127.0.0.1", "--port=" + QString::number(port), "--user=admin", "--password=x",
          "info"},
         1,
         "LINK_E_LOGIN"},
        {{"-version"}, 0, "", std::string("rzctl ") + ProjectVersion() + "\n"},
        {{"info", "--help"}, 0, "", "Usage: rzctl [options] COMMAND [ARGS]\n"},
        {{"--host", "127.0.0.256", "--user", "admin", "info"},
         2,
         "rzctl: --host needs a dotted IPv4 address, not '127.0.0.256'" + tryHelp},
        {{"--host", "127.0.0.1", "--port", "1", "--user", "admin", "--password", "x", "info"},
         1,
         "The socket Open error!\nCannot connect to 127.0.0.1:1: Connection refused\n"
         "error 0xFFFF0011 LINK_E_BROKEN"},
        {Online({"--password", "rzdemo", "frobnicate"}), 2, "unknown command frobnicate"},
        {{"--port", "0", "info"}, 2, "--port"},
        {{"--host", "127.0.0.1", "info"}, 2, "--user"},
        {{"--bogus=1"}, 2, "rzctl: unknown option --bogus" + tryHelp},
        {{"--name", "Nowhere", "--user", "admin", "--password", "x", "info"},
         1,
         "no instrument registered as Nowhere"},
        {{"--data-dir", dataDir.filePath("absent"), "registry", "list"}, 2, "not a directory"},
    };
    for (const auto& c : cases) {
        const CtlRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.errContains), std::string::npos)
            << c.args.join(' ').toStdString() << "\n"
            << run.err;
        EXPECT_TRUE(run.out.starts_with(c.outStarts)) << run.out;
        // Usage errors are one line and where to look.
        EXPECT_TRUE(c.exitCode != 2 || run.err.ends_with(tryHelp)) << run.err;
    }
    // Without a terminal the password is never awaited on an input that may not end.
    const CtlRun pipe =
        Run(Online({"info"}), {}, [](QProcess& p) { p.setStandardInputFile(QString()); });
    EXPECT_EQ(pipe.exitCode, 2) << pipe.err;
    EXPECT_NE(pipe.err.find("no password"), std::string::npos) << pipe.err;
}

TEST_F(RzctlTest, RegistryCommandsEditTheFileAndNameLookUpFindsTheAddress) {
    StartSim("full");
    EXPECT_EQ(Run({"registry", "add", "Line-3", "127.0.0.1"}).exitCode, 0);
    EXPECT_EQ(Run({"registry", "add", "Boiler", "127.0.0.2"}).exitCode, 0);
    EXPECT_EQ(Run({"registry", "add", "Line-3", "127.0.0.9"}).exitCode, 1);
    EXPECT_EQ(Run({"registry", "add", "Pump", "127.0.0"}).exitCode, 2);
    EXPECT_EQ(Run({"registry", "add", "", "127.0.0.3"}).exitCode, 2);
    CtlRun list = Run({"registry", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "Line-3          127.0.0.1\nBoiler          127.0.0.2\n");

    const CtlRun byName = Run({"--name", "Line-3", "--port", QString::number(port), "--user",
                               "admin", "--password", "rzdemo", "info"});
    EXPECT_EQ(byName.exitCode, 0) << byName.err;

    EXPECT_EQ(Run({"registry", "remove", "Line-3"}).exitCode, 0);
    EXPECT_EQ(Run({"registry", "remove", "Line-3"}).exitCode, 1);
    // Names are cut to 15 characters and lose trailing blanks; remove finds them the same way.
    for (const QString name : {"Boiler-house-north-2", "Pump "}) {
        EXPECT_EQ(Run({"registry", "add", name, "127.0.0.4"}).exitCode, 0) << name.toStdString();
        EXPECT_EQ(Run({"registry", "remove", name}).exitCode, 0) << name.toStdString();
    }
    list = Run({"registry", "list"});
    EXPECT_EQ(list.out, "Boiler          127.0.0.2\n");
    // Names are text of the user's: JSON escapes them.
    EXPECT_EQ(Run({"registry", "add", "Tank \"7\"\\", "127.0.0.5"}).exitCode, 0);
    list = Run({"registry", "list", "--json"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(list.out)).array(),
              (QJsonArray{QJsonObject{{"name", "Boiler"}, {"address", "127.0.0.2"}},
                          QJsonObject{{"name", "Tank \"7\"\\"}, {"address", "127.0.0.5"}}}))
        << list.out;
}

// What the registry makes of an unreadable file is its own business; rzctl must fail with the
// path and leave the file as it was, when listing and when looking a name up.
TEST_F(RzctlTest, RegistryFilesThatCannotBeReadFailAndStayAsTheyWere) {
    const QString path = dataDir.filePath("RZRegist.rzr");
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0644), 0);
    for (const QStringList& args :
         {QStringList{"registry", "add", "Kiln", "127.0.0.1"},
          QStringList{"--name", "Kiln", "--user", "admin", "--password", "x", "info"}}) {
        const CtlRun run = Run(args);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find(path.toStdString()), std::string::npos) << run.err;
        EXPECT_TRUE(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    }
}

TEST_F(RzctlTest, ParallelRegistryAddsKeepEveryName) {
    constexpr int kRuns = 12;
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(RZCTL_PATH, {"--data-dir", dataDir.path(), "registry", "add",
                                        QString("n%1").arg(i), "127.0.0.1"});
    }
    for (auto& run : runs) {
        ASSERT_TRUE(run->waitForFinished(30000));
        EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
    }
    const CtlRun list = Run({"registry", "list"});
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), kRuns) << list.out;
}

TEST_F(RzctlTest, InterruptAtThePasswordPromptRestoresEcho) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    const std::string data = dataDir.path().toStdString();
    const char* argv[] = {RZCTL_PATH, "--data-dir", data.c_str(), "--host", "127.0.0.1",
                          "--user",   "admin",      "info",       nullptr};
    const char* envp[] = {"PATH=/usr/bin:/bin", nullptr};
    const int devNull = ::open("/dev/null", O_WRONLY);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGINT, SIG_DFL);  // not ignored even when the tests run in the background
        ::dup2(terminal, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::execve(argv[0], const_cast<char**>(argv), const_cast<char**>(envp));
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    // Interrupt once the prompt has turned echo off.
    termios mode{};
    for (int i = 0; i < 1000 && ::tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ECHO); ++i) {
        ::usleep(10000);
    }
    EXPECT_FALSE(mode.c_lflag & ECHO) << "the prompt never turned echo off";
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    ASSERT_EQ(::tcgetattr(terminal, &mode), 0);
    EXPECT_TRUE(mode.c_lflag & ECHO);
    ::close(devNull);
    ::close(terminal);
    ::close(master);
}

}  // namespace

namespace {

class RzctlOnlineTest : public RzctlTest {
  protected:
    CtlRun Admin(const QStringList& command) {
        return Run(Online(QStringList{"--password", "rzdemo"} + command));
    }
    QJsonObject Dump() {
        const CtlRun run = Admin({"dump", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    }
};

TEST_F(RzctlOnlineTest, DumpJsonHoldsTheModel) {
    StartSim("full");
    const QJsonObject json = Dump();
    EXPECT_EQ(json["accessLevel"].toString(), "A");
    EXPECT_EQ(json["userName"].toString(), "admin");
    EXPECT_EQ(json["modelClass"].toInt(), 3200);
    EXPECT_EQ(json["version"].toInt(), 0x30006);
    EXPECT_GT(json["measCount"].toInt(), 0);
    EXPECT_GT(json["imageLength"].toInt(), 0);
    EXPECT_EQ(json["channels"].toArray()[0].toObject()["typeText"].toString(), "Meas-CH");
    const QJsonObject loop = json["internalLoops"].toArray()[0].toObject();
    EXPECT_EQ(loop["loopKind"].toInt(), 1);
    EXPECT_EQ(json["dio"].toArray().size(), 36);
}

TEST_F(RzctlOnlineTest, OperationsChangeTheInstrumentAndReadBack) {
    StartSim("full");
    const QJsonObject before = Dump();
    const int mode = before["internalLoops"].toArray()[0].toObject()["modeCode"].toInt();
    const QString newMode = mode == 1 ? "AUT" : "MAN";
    CtlRun run = Admin({"loop", "int", "1", "mode", newMode});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = Admin({"loop", "int", "1", "read"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("mode " + newMode.toStdString()), std::string::npos) << run.out;

    const bool memory = before["memoryRunning"].toInt() != 0;
    EXPECT_EQ(Admin({"memory", memory ? "stop" : "start"}).exitCode, 0);
    EXPECT_EQ(Dump()["memoryRunning"].toInt(), memory ? 0 : 1);

    struct Case {
        QStringList command;
        int exitCode;
        std::string err;
    };
    const Case cases[] = {
        {{"ack"}, 0, ""},
        {{"message", "3"}, 0, ""},
        {{"save-data", "event"}, 0, ""},
        {{"display", "overview"}, 0, ""},
        {{"display", "trend", "2"}, 0, ""},
        {{"trend", "1", "0", "1"}, 0, ""},
        {{"pattern-select", "2"}, 0, ""},
        {{"refresh"}, 0, ""},
        {{"message", "9"}, 1, "LINK_E_PARAMETER"},
        {{"display", "trend", "11"}, 1, "LINK_E_PARAMETER"},
        {{"loop", "int", "9", "mode", "AUT"}, 1, "LINK_E_PARAMETER"},
        {{"loop", "int", "99", "mode", "MAN"}, 1, "loop number 99 is out of range 1\u20136\n"},
        {{"loop", "ext", "0", "read"}, 1, "loop number 0 is out of range 1\u201316\n"},
        {{"loop", "int", "1", "sp", "12.5"}, 0, ""},
        {{"loop", "int", "1", "sp", "-12.5"}, 1, "Set point out of range"},
        {{"loop", "int", "1", "out", "nan"}, 2, "output must be a decimal number"},
        {{"loop", "int", "1", "sp", "inf"}, 2, "set point must be a decimal number"},
        {{"loop", "int", "1", "sp", "1e5"}, 2, "set point must be a decimal number"},
        {{"loop", "int", "1", "sp", "1."}, 2, "set point must be a decimal number"},
        {{"loop", "int", "1", "sp", "-"}, 2, "set point must be a decimal number"},
        {{"loop", "int", "1", "mode", "FAST"}, 2, "mode must be one of"},
        {{"display", "sideways"}, 2, "display must be one of"},
        {{"math", "start", "now"}, 2, "usage: math"},
        {{"watch", "--cycles", "0"}, 2, "--cycles must be 1 or more"},
    };
    for (const auto& c : cases) {
        const CtlRun r = Admin(c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.command.join(' ').toStdString() << "\n" << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command.join(' ').toStdString();
    }
    EXPECT_EQ(Dump()["displayKind"].toInt(), 0);  // each rzctl run starts a fresh model
}

TEST_F(RzctlOnlineTest, LogsAndScreenImages) {
    StartSim("full");
    CtlRun run = Admin({"log", "alarm"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(run.out.empty());
    const CtlRun json = Admin({"log", "--json", "alarm"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const QJsonObject log = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(log["kind"].toString(), "alarm");
    const QStringList lines =
        QString::fromStdString(run.out).remove('\r').split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(log["lines"].toVariant().toStringList(), lines) << json.out;
    const struct {
        const char* file;
        const char* magic;
    } images[] = {{"screen.png", "\x89PNG"}, {"screen.bmp", "BM"}, {"screen.PNG", "BM"}};
    for (const auto& image : images) {
        const QString path = dataDir.filePath(image.file);
        run = Admin({"image", path});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << image.file;
        EXPECT_TRUE(file.read(4).startsWith(image.magic)) << image.file;
    }
    // A user below level A gets no screen image.
    run = Run(QStringList{"--host", "127.0.0.1", "--port", QString::number(port), "--user", "user",
                          "--password", "rzuser", "image", dataDir.filePath("u.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(QFile::exists(dataDir.filePath("u.png")));
}

TEST_F(RzctlOnlineTest, WatchPrintsEveryRefreshedCycle) {
    WriteCycle1000();
    StartSim("full");
    const CtlRun run = Admin({"watch", "--cycles", "2", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const QList<QByteArray> lines = QByteArray::fromStdString(run.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    for (const auto& line : lines) {
        EXPECT_EQ(QJsonDocument::fromJson(line).object()["modelClass"].toInt(), 3200);
    }
}

TEST_F(RzctlOnlineTest, RefusedLoadStepsAndUnwritableOutputAreNoSuccess) {
    CSimFaults faults;
    faults.errorForKeys.insert("FD");
    StartSim("full", faults);
    const CtlRun run = Admin({"info"});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("refused the settings load step FD"), std::string::npos) << run.err;
    const CtlRun full = Run(Online({"--password", "rzdemo", "dump", "--json"}), {},
                            [](QProcess& p) { p.setStandardOutputFile("/dev/full"); });
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_NE(full.err.find("cannot write the output"), std::string::npos) << full.err;
}

TEST_F(RzctlOnlineTest, WatchEndsWithAnErrorWhenTheLinkIsLost) {
    WriteCycle1000();
    StartSim("full");
    // Let the log-in and refresh through, then close on the first request of the cycle.
    ASSERT_EQ(Admin({"info"}).exitCode, 0);
    CSimFaults faults;
    faults.closeOnRequest = static_cast<uint32_t>(server->CommandRequests().size()) + 1;
    server->ClearRequests();
    server->SetFaults(faults);
    const CtlRun run = Admin({"watch"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Communicate with RZ error!\n127.0.0.1:" + std::to_string(port) +
                           " closed the connection\n"),
              std::string::npos)
        << run.err;
}

// True while a TCP socket of this machine in `state` (1 established, 2 connect sent, as
// /proc/net/tcp numbers them) leads to 127.0.0.1:`port`.
bool SocketTo(uint16_t port, int state) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, " 0100007F:%04X %02X ", port, state);
    std::ifstream table("/proc/net/tcp");
    for (std::string line; std::getline(table, line);) {
        if (line.find(wanted) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Whatever rzctl waits for, SIGINT and SIGTERM end it at once with 130 and 143, well before the
// link's time-out could have ended the wait.
TEST_F(RzctlOnlineTest, SignalsEndEveryPhaseAtOnce) {
    WriteCycle1000();
    StartSim("full");
    ASSERT_EQ(Admin({"info"}).exitCode, 0);
    const auto loggedIn = static_cast<uint32_t>(server->CommandRequests().size());
    // A listener whose backlog is full: a connect to it gets no answer.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    auto* address = reinterpret_cast<sockaddr*>(&at);
    socklen_t size = sizeof at;
    ASSERT_TRUE(::bind(listener, address, size) == 0 && ::listen(listener, 0) == 0 &&
                ::getsockname(listener, address, &size) == 0 &&
                ::connect(filler, address, size) == 0);
    const uint16_t full = ntohs(at.sin_port);
    const auto requests = [this](size_t n) {  // the user name and password come first
        return [this, n] { return server->Requests().size() >= 2 + n; };
    };
    struct Phase {
        const char* name;
        uint16_t port;
        CSimFaults faults;
        QStringList command;
        std::function<bool()> reached;
    };
    const Phase phases[] = {
        {"connecting", full, {}, {"info"}, [full] { return SocketTo(full, 2); }},
        {"log-in", port, {.answerDelayMs = 60000}, {"info"}, [this] { return SocketTo(port, 1); }},
        {"loading", port, {.stallFromRequest = 3}, {"info"}, requests(3)},
        {"a command", port, {.stallFromRequest = loggedIn + 1}, {"ack"}, requests(loggedIn + 1)},
        {"watch", port, {.stallFromRequest = loggedIn + 1}, {"watch"}, requests(loggedIn + 1)},
    };
    for (const Phase& phase : phases) {
        for (const auto& [signal, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
            SCOPED_TRACE(std::string(phase.name) + (signal == SIGINT ? " SIGINT" : " SIGTERM"));
            server->SetFaults(phase.faults);
            server->ClearRequests();
            QProcess process;
            process.start(RZCTL_PATH,
                          QStringList{"--data-dir", dataDir.path(), "--host", "127.0.0.1", "--port",
                                      QString::number(phase.port), "--user", "admin", "--password",
                                      "rzdemo"} +
                              phase.command);
            ASSERT_TRUE(ProcessEventsUntil(phase.reached));
            QElapsedTimer clock;
            clock.start();
            ::kill(static_cast<pid_t>(process.processId()), signal);
            ASSERT_TRUE(process.waitForFinished(15000));
            EXPECT_LT(clock.elapsed(), kDefaultLinkTimeoutMs / 2);
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), exitCode);
        }
    }
    ::close(filler);
    ::close(listener);
}

}  // namespace
