#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include "common/SimFixture.h"

namespace {

struct CtlRun {
    int exitCode;
    std::string out;
    std::string err;
};

class RzctlTest : public SimFixture {
  protected:
    CtlRun Run(const QStringList& args, const QString& passwordEnv = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("RZ_PASSWORD");
        if (!passwordEnv.isNull()) {
            env.insert("RZ_PASSWORD", passwordEnv);
        }
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
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
    const CtlRun run = Run(Online({"info"}), "rzadmin");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("model: 3200\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("firmware: 2.11\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("program option: small\n"), std::string::npos) << run.out;
    const auto requests = server->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[1].text, "rzadmin");
}

TEST_F(RzctlTest, FailuresAndUsageErrorsHaveTheirExitCodes) {
    StartSim("full");
    struct Case {
        QStringList args;
        int exitCode;
        std::string errContains;
    };
    const Case cases[] = {
        {Online({"--password", "wrong", "info"}), 1, "error 0xFFFF0013 LINK_E_LOGIN"},
        {{"--host", "127.0.0.1", "--port", "1", "--user", "admin", "--password", "x", "info"},
         1,
         "The socket Open error!\nerror 0xFFFF0011 LINK_E_BROKEN"},
        {Online({"--password", "rzadmin", "frobnicate"}), 2, "unknown command frobnicate"},
        {{"--port", "0", "info"}, 2, "--port"},
        {{"--host", "127.0.0.1", "info"}, 2, "--user"},
        {{"--bogus"}, 2, "unknown option --bogus"},
        {{"--name", "Nowhere", "--user", "admin", "--password", "x", "info"},
         1,
         "no instrument registered as Nowhere"},
    };
    for (const auto& c : cases) {
        const CtlRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.errContains), std::string::npos)
            << c.args.join(' ').toStdString() << "\n"
            << run.err;
    }
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
                               "admin", "--password", "rzadmin", "info"});
    EXPECT_EQ(byName.exitCode, 0) << byName.err;

    EXPECT_EQ(Run({"registry", "remove", "Line-3"}).exitCode, 0);
    EXPECT_EQ(Run({"registry", "remove", "Line-3"}).exitCode, 1);
    list = Run({"registry", "list"});
    EXPECT_EQ(list.out, "Boiler          127.0.0.2\n");
}

}  // namespace

namespace {

class RzctlOnlineTest : public RzctlTest {
  protected:
    CtlRun Admin(const QStringList& command) {
        return Run(Online(QStringList{"--password", "rzadmin"} + command));
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
        {{"loop", "int", "1", "mode", "FAST"}, 2, "mode must be one of"},
        {{"display", "sideways"}, 2, "display must be one of"},
        {{"math", "start", "now"}, 2, "usage: math"},
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
    EXPECT_NE(run.err.find("Communicate with RZ error!"), std::string::npos) << run.err;
}

}  // namespace
