#include <gtest/gtest.h>

#include <array>
#include <string>

#include "SimIdentity.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

namespace {

struct IdentityCase {
    const char* profile;
    const char* user;
    const char* password;
    int model;
    int major;
    int minor;
    int programOption;
    std::array<int, 10> pidAux;
};

void ExpectIdentity(const CParsedIdentity& id, const IdentityCase& c) {
    EXPECT_TRUE(id.complete);
    EXPECT_EQ(id.family, "RZ");
    EXPECT_EQ(id.model, c.model);
    EXPECT_EQ(id.major, c.major);
    EXPECT_EQ(id.minor, c.minor);
    EXPECT_EQ(id.programOption, c.programOption);
    for (size_t i = 0; i < c.pidAux.size(); ++i) {
        EXPECT_EQ(id.pidAux[i], c.pidAux[i]) << "flag " << i;
    }
}

}  // namespace

TEST(SimIdentity, ShippedProfilesIdentifyOverTheWire) {
    const IdentityCase cases[] = {
        {"full", "admin", "rzadmin", 3200, 3, 6, 2, {1, 0, 1, 1, 0, 0, 1, 0, 0, 1}},
        {"rz3100", "user", "rzuser", 3100, 1, 20, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"rz3200v2", "admin", "rzadmin", 3200, 2, 11, 1, {0, 1, 0, 0, 0, 0, 0, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        CSimServer server(ShippedProfile(c.profile));
        const uint16_t port = server.Start(0);
        ASSERT_NE(port, 0) << server.LastError();
        CSimTestClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.LogIn(c.user, c.password));
        ASSERT_TRUE(client.SendLine("_C"));
        const std::string model = client.ReadList();
        ASSERT_TRUE(client.SendLine("ZSPID_AUX?"));
        const std::string pid = client.ReadList();
        ExpectIdentity(ParseIdentityAnswers(model, pid), c);
        EXPECT_EQ(server.CommandRequests(), (std::vector<std::string>{"_C", "ZSPID_AUX?"}));
    }
}

TEST(SimIdentity, AnswerTextsForProfilesBuiltInCode) {
    struct Case {
        const char* name;
        CSimProfile profile;
        const char* modelAnswer;
        const char* pidAnswer;
    };
    CSimProfile odd = CodeProfile();
    odd.family = "XY";
    odd.model = 4100;
    odd.firmwareVersion = "10.5";
    odd.programOption = SimProgramOption::kNone;
    odd.pidAux = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const Case cases[] = {
        {"small program, three flags", CodeProfile(),
         "EA\r\nMODEL:\r\nRZ3100\r\nVERSION:\r\n3.01\r\nOPTION:\r\nPROGRAM SMALL\r\nEN\r\n",
         "EA\r\nPID_AUXOFF,ON,ON,OFF,OFF,OFF,OFF,OFF,OFF,ON,\r\nEN\r\n"},
        {"foreign family, all flags", odd,
         "EA\r\nMODEL:\r\nXY4100\r\nVERSION:\r\n10.5\r\nOPTION:\r\nNONE\r\nEN\r\n",
         "EA\r\nPID_AUXON,ON,ON,ON,ON,ON,ON,ON,ON,ON,\r\nEN\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SimIdentityAnswer(c.profile), c.modelAnswer);
        EXPECT_EQ(SimPidAuxAnswer(c.profile), c.pidAnswer);
    }
}

TEST(SimIdentity, IdentityRequestsMustMatchExactly) {
    CSimServer server(CodeProfile());
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    CSimTestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.LogIn("user", ""));
    const char* near[] = {"_C ", "_c", "_CX", "ZSPID_AUX", "ZSPID_AUX? ", "zspid_aux?", "ZS"};
    for (const char* request : near) {
        SCOPED_TRACE(request);
        ASSERT_TRUE(client.SendLine(request));
        EXPECT_EQ(client.ReadList(), "E1\r\n");
    }
}
