#include <gtest/gtest.h>

#include "ConnectionHarness.h"

namespace {

using Sent = std::vector<std::string>;

// Every answer is an error line: the steps report it and the pass goes on, unless the link is
// lost at "FD" (a time-out, or an answer too large to frame, which fails the link) or a stop is
// asked for.
TEST(PollSteps, WhichStepsRunFollowsFirmwareOptionsAndAccess) {
    struct Case {
        const char* name;
        int32_t major, minor, model, programOption, loopCount, dioAvailable;
        char access;
        int32_t levelPolling;
        const char* sent;  // "|" between requests
        RzResult lostAtFd = RZ_OK;
        bool stop = false;
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
        {"LostLink", 3, 6, 3200, 2, 2, 1, 'A', 1, "FW|FD0,1,248", LINK_E_TIMEOUT},
        {"AnswerTooLargeToFrame", 3, 6, 3200, 2, 2, 1, 'A', 1, "FW|FD0,1,248", LINK_E_FORMAT},
        {"StopBetweenSteps", 3, 6, 3200, 2, 2, 1, 'A', 1, "FW|FD0,1,248", RZ_OK, true},
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
        h.connection->stopFlag = c.stop ? 1 : 0;
        h.link.SetDefaultAnswer(std::string("E1\r\n\0", 5));
        if (c.lostAtFd != RZ_OK) {
            h.link.QueueAnswer(std::string("E1\r\n\0", 5));  // FW
            h.link.QueueReceiveError(c.lostAtFd, c.lostAtFd == LINK_E_FORMAT);
        }
        EXPECT_EQ(h.connection->PollOnce(), c.lostAtFd);
        EXPECT_EQ(h.link.sentText(), c.sent);
        EXPECT_EQ(h.connection->errorFlag.load(), c.lostAtFd != RZ_OK ? 1 : 0);
    }
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
