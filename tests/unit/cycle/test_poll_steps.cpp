#include <gtest/gtest.h>

#include "ConnectionHarness.h"

namespace {

using Sent = std::vector<std::string>;

TEST(PollSteps, WhichStepsRunFollowsFirmwareOptionsAndAccess) {
    struct Case {
        const char* name;
        int32_t major, minor, model, programOption, loopCount, dioAvailable;
        char access;
        int32_t levelPolling;
        const char* sent;  // "|" between requests
    };
    const Case cases[] = {
        {"Everything", 3, 6, 3200, 2, 2, 1, 'A', 1, "FW|FD0,1,248|FO|FC GET|FW|FD0,1,248"},
        {"NoProgramOption", 3, 6, 3200, 0, 2, 1, 'A', 1, "FD0,1,248|FO|FC GET|FD0,1,248"},
        {"NoDioTable", 3, 6, 3200, 2, 2, 0, 'A', 1, "FW|FD0,1,248|FC GET|FW|FD0,1,248"},
        {"NoLoops", 3, 6, 3200, 2, 0, 1, 'A', 1, "FW|FD0,1,248|FC GET|FW|FD0,1,248"},
        {"UserLevel", 3, 6, 3200, 2, 2, 1, 'U', 1, "FW|FD0,1,248|FO|FW|FD0,1,248"},
        {"ImageWindowHidden", 3, 6, 3200, 2, 2, 1, 'A', 0, "FW|FD0,1,248|FO|FW|FD0,1,248"},
        {"Major2", 2, 11, 3200, 1, 2, 1, 'A', 1, "FD0,1,248|FC GET|FD0,1,248"},
        {"Model3100", 1, 20, 3100, 0, 1, 0, 'U', 1, "FD0,1,212|FD0,1,212"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionHarness h(c.major, c.minor, c.model, c.programOption);
        h.connection->UpdateModel([&](CInstrumentModel& m) {
            m.loopCount = c.loopCount;
            m.accessLevel[0] = c.access;
        });
        h.connection->dioAvailable = c.dioAvailable;
        h.connection->levelPolling = c.levelPolling;
        // Every answer is an error line: the steps report it and the pass goes on.
        h.link.SetDefaultAnswer(std::string("E1\r\n\0", 5));
        EXPECT_EQ(h.connection->PollOnce(), RZ_OK);
        EXPECT_EQ(h.link.sentText(), c.sent);
        EXPECT_EQ(h.connection->errorFlag.load(), 0);
    }
}

TEST(PollSteps, ALostLinkEndsThePassAndRaisesTheErrorFlag) {
    ConnectionHarness h(3, 6);
    h.connection->UpdateModel([](CInstrumentModel& m) { m.accessLevel[0] = 'A'; });
    h.link.QueueAnswer(std::string("E1\r\n\0", 5));  // FW
    h.link.QueueReceiveError(LINK_E_TIMEOUT);        // FD
    EXPECT_EQ(h.connection->PollOnce(), LINK_E_TIMEOUT);
    EXPECT_EQ(h.Sent(), (Sent{"FW", "FD0,1,248"}));
    EXPECT_EQ(h.connection->errorFlag.load(), 1);
}

TEST(PollSteps, StopBetweenStepsEndsThePass) {
    ConnectionHarness h(3, 6);
    h.connection->UpdateModel([](CInstrumentModel& m) {
        m.accessLevel[0] = 'A';
        m.loopCount = 1;
    });
    h.connection->dioAvailable = 1;
    h.link.SetDefaultAnswer(std::string("E1\r\n\0", 5));
    h.connection->stopFlag = 1;
    EXPECT_EQ(h.connection->PollOnce(), RZ_OK);
    EXPECT_EQ(h.Sent(), (Sent{"FW", "FD0,1,248"}));
}

TEST(Refresh, ALostLinkWhileSettingTheTrendOptionsEndsTheRefresh) {
    ConnectionHarness h(3, 6);
    h.link.QueueAnswer(List({"E A admin"}));  // level A: the refresh sets the trend options
    h.link.QueueReceiveError(LINK_E_TIMEOUT);
    EXPECT_EQ(h.connection->Refresh(), LINK_E_TIMEOUT);
    EXPECT_EQ(h.Sent(), (Sent{"FU 0", "UD 4,OFF,GROUP,ON,ON"}));
    EXPECT_EQ(h.commErrors, 1);
}

}  // namespace
