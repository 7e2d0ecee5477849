#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "SimFixture.h"
#include "transport/LinkSocket.h"

namespace {

using LoginTest = SimFixture;

TEST_F(LoginTest, EveryShippedProfileLogsInWithItsIdentity) {
    struct Case {
        const char* profile;
        int32_t model, major, version, option, groups, controlGroups, dio;
    };
    const Case cases[] = {
        {"full", 3200, 3, 0x30006, 2, 10, 8, 36},
        {"rz3100", 3100, 1, 0x10014, 0, 6, 4, 12},
        {"rz3200v2", 3200, 2, 0x2000B, 1, 10, 8, 36},
    };
    uint32_t expectedId = kFirstConnectionId;
    for (const auto& c : cases) {
        StartSim(c.profile);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id), RZ_OK) << c.profile;
        EXPECT_EQ(id, expectedId++);
        CInstrumentConnection* connection = nullptr;
        ASSERT_EQ(manager.FindConnection(id, &connection), RZ_OK);
        CInstrumentModel m{};
        connection->CopyModel(&m);
        EXPECT_EQ(m.modelClass, c.model) << c.profile;
        EXPECT_EQ(m.firmwareMajor, c.major) << c.profile;
        EXPECT_EQ(m.version, c.version) << c.profile;
        EXPECT_EQ(m.programOption, c.option) << c.profile;
        EXPECT_EQ(m.displayGroupCount, c.groups) << c.profile;
        EXPECT_EQ(m.controlGroupCount, c.controlGroups) << c.profile;
        EXPECT_EQ(m.dioCount, c.dio) << c.profile;

        // Log-in and identification, then the refresh begins.
        const std::vector<std::string> expected{"admin", "rzadmin", "_C", "ZSPID_AUX?", "FU 0"};
        std::vector<std::string> received;
        for (const auto& r : server->Requests()) {
            received.push_back(r.text);
        }
        received.resize(std::min(received.size(), expected.size()));
        EXPECT_EQ(received, expected) << c.profile;

        ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
        server->Stop();
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(LoginTest, PidAuxFlagsFollowTheProfile) {
    CSimProfile profile;
    std::string error;
    ASSERT_TRUE(LoadSimProfile("full", &profile, &error)) << error;
    profile.pidAux = {0, 1, 1, 0, 1, 0, 0, 1, 1, 0};
    StartSim(profile);
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    CInstrumentConnection* connection = nullptr;
    ASSERT_EQ(manager.FindConnection(id, &connection), RZ_OK);
    CInstrumentModel m{};
    connection->CopyModel(&m);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(m.pidAux[i], profile.pidAux[static_cast<size_t>(i)]) << i;
    }
}

TEST_F(LoginTest, RefusedLogInsTakeNoConnectionId) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        CSimFaults faults;
        RzResult expected;
    };
    CSimFaults refuse;
    refuse.refuseLogin = true;
    CSimFaults noPrompt;
    noPrompt.greeting = "Welcome\r\n";
    const Case cases[] = {
        {"WrongPassword", "admin", "nope", {}, LINK_E_LOGIN},
        {"UnknownUser", "root", "x", {}, LINK_E_LOGIN},
        {"Refused", "admin", "rzadmin", refuse, LINK_E_LOGIN},
        {"GreetingWithoutPrompt", "admin", "rzadmin", noPrompt, LINK_E_LOGIN},
    };
    for (const auto& c : cases) {
        StartSim("full", c.faults);
        shown.clear();
        uint32_t id = 0;
        EXPECT_EQ(manager.ConnectAndLogin("127.0.0.1", c.user, c.password, &id, port), c.expected)
            << c.name;
        EXPECT_EQ(manager.ConnectionCount(), 0u) << c.name;
        EXPECT_FALSE(shown.empty()) << c.name;
        server->Stop();
    }
}

TEST_F(LoginTest, UserWithoutPasswordLogsInAtOnce) {
    StartSim("full");
    uint32_t id = 0;
    ASSERT_EQ(Login(&id, "guest", ""), RZ_OK);
    std::vector<std::string> received;
    for (const auto& r : server->Requests()) {
        received.push_back(r.text);
    }
    received.resize(std::min<size_t>(received.size(), 4));
    EXPECT_EQ(received, (std::vector<std::string>{"guest", "_C", "ZSPID_AUX?", "FU 0"}));
}

TEST_F(LoginTest, UnsupportedInstrumentIsRefusedAfterTakingAnId) {
    struct Case {
        const char* family;
        int model;
        const char* version;
    };
    const Case cases[] = {{"QX", 3200, "3.06"}, {"RZ", 3300, "3.06"}, {"RZ", 3200, "4.01"}};
    for (const auto& c : cases) {
        CSimProfile profile;
        std::string error;
        ASSERT_TRUE(LoadSimProfile("full", &profile, &error)) << error;
        profile.family = c.family;
        profile.model = c.model;
        profile.firmwareVersion = c.version;
        StartSim(profile);
        shown.clear();
        uint32_t id = 0;
        EXPECT_EQ(Login(&id), LINK_E_UNSUPPORTED) << c.family << c.model << c.version;
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), "Software not support current hardware!");
        EXPECT_EQ(manager.ConnectionCount(), 0u);
        server->Stop();
    }
}

TEST_F(LoginTest, NothingListeningFailsFastWithOpenError) {
    // Bind a port and close it again so that nothing listens there.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    close(fd);
    port = ntohs(addr.sin_port);

    uint32_t id = 0;
    EXPECT_EQ(Login(&id), LINK_E_BROKEN);
    EXPECT_EQ(shown, std::vector<std::string>{"The socket Open error!"});
}

TEST_F(LoginTest, SlowAndFragmentedAnswersStillLogIn) {
    struct Case {
        const char* name;
        CSimFaults faults;
    };
    CSimFaults delayed;
    delayed.answerDelayMs = 20;
    CSimFaults byteByByte;
    byteByByte.segmentBytes = 1;
    CSimFaults segmented;
    segmented.segmentBytes = 7;
    segmented.segmentPauseMs = 1;
    const Case cases[] = {
        {"Delayed", delayed}, {"ByteByByte", byteByByte}, {"Segmented", segmented}};
    for (const auto& c : cases) {
        // A level-U log-in: the whole refresh but no screen image, so that the slow answers
        // stay few.
        StartSim("rz3100", c.faults);
        manager.SetLinkTimeout(2000);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id, "user", "rzuser"), RZ_OK) << c.name;
        CInstrumentConnection* connection = nullptr;
        ASSERT_EQ(manager.FindConnection(id, &connection), RZ_OK);
        CInstrumentModel m{};
        connection->CopyModel(&m);
        EXPECT_EQ(m.version, 0x10014) << c.name;
        EXPECT_GT(m.measCount, 0) << c.name;
        manager.CloseConnection(id);
        server->Stop();
    }
}

TEST_F(LoginTest, LostOrSilentLinkDuringIdentificationFails) {
    struct Case {
        const char* name;
        CSimFaults faults;
        RzResult expected;
    };
    CSimFaults closeOnC;
    closeOnC.closeOnRequest = 1;
    CSimFaults closeOnPid;
    closeOnPid.closeOnRequest = 2;
    CSimFaults stall;
    stall.stallFromRequest = 1;
    CSimFaults halfAnswer;
    halfAnswer.closeMidAnswerOn = 1;
    CSimFaults slow;
    slow.answerDelayMs = 600;
    const Case cases[] = {
        {"CloseOnIdentify", closeOnC, LINK_E_BROKEN},
        {"CloseOnOptions", closeOnPid, LINK_E_BROKEN},
        {"CloseMidAnswer", halfAnswer, LINK_E_BROKEN},
        {"Stall", stall, LINK_E_TIMEOUT},
        {"BeyondTimeout", slow, LINK_E_TIMEOUT},
    };
    for (const auto& c : cases) {
        StartSim("full", c.faults);
        manager.SetLinkTimeout(300);
        uint32_t id = 0;
        EXPECT_EQ(Login(&id), c.expected) << c.name;
        EXPECT_EQ(manager.ConnectionCount(), 0u) << c.name;
        server->Stop();
    }
}

TEST_F(LoginTest, IdsKeepCountingAcrossLogOuts) {
    StartSim("full");
    uint32_t first = 0;
    uint32_t second = 0;
    ASSERT_EQ(Login(&first), RZ_OK);
    ASSERT_EQ(manager.CloseConnection(first), RZ_OK);
    ASSERT_EQ(Login(&second), RZ_OK);
    EXPECT_EQ(second, first + 1);
    // Two connections side by side, each on its own link.
    uint32_t third = 0;
    ASSERT_EQ(Login(&third), RZ_OK);
    EXPECT_EQ(third, second + 1);
    EXPECT_EQ(manager.ConnectionCount(), 2u);
    ASSERT_EQ(manager.CloseAll(), RZ_OK);
    EXPECT_EQ(manager.ConnectionCount(), 0u);
}

}  // namespace
