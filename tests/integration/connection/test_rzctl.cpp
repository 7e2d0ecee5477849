#include <QProcess>
#include <QProcessEnvironment>

#include "SimFixture.h"

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

TEST_F(RzctlTest, InfoPrintsTheIdentity) {
    StartSim("rz3200v2");
    const CtlRun run = Run(Online({"--password", "rzadmin", "info"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("model: 3200\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("firmware: 2.11\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("program option: small\n"), std::string::npos) << run.out;
}

TEST_F(RzctlTest, PasswordFromTheEnvironment) {
    StartSim("full");
    const CtlRun run = Run(Online({"info"}), "rzadmin");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> received;
    for (const auto& r : server->Requests()) {
        received.push_back(r.text);
    }
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[1], "rzadmin");
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
