#include <gtest/gtest.h>

#include <chrono>

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
        h.connection->SetDioAvailable(c.dioAvailable != 0);
        h.connection->SetScreenPolling(c.levelPolling != 0);
        if (c.stop) {
            h.connection->RequestStop();
        }
        h.link.SetDefaultAnswer(std::string("E1\r\n\0", 5));
        if (c.lostAtFd != RZ_OK) {
            h.link.QueueAnswer(std::string("E1\r\n\0", 5));  // FW
            h.link.QueueReceiveError(c.lostAtFd, c.lostAtFd == LINK_E_FORMAT);
        }
        EXPECT_EQ(h.connection->PollOnce(), c.lostAtFd);
        EXPECT_EQ(h.link.sentText(), c.sent);
        EXPECT_EQ(h.connection->LinkFailed(), c.lostAtFd != RZ_OK);
    }
}

// Freshness per source: the values are fresh when "FD" succeeded, the screen image when "FC GET"
// brought one (whether that decodes is the view's to judge); a failed step keeps its source's
// time and notes the instrument's line, or what could not be read. With screen polling off the
// image is not asked for: not polled, neither fresh nor failed.
TEST(PollSteps, FreshnessPerSource) {
    const std::string image = "\x89PNG any bytes", busy = "E1 Busy\r\n", values = List({});
    struct Case {
        const char* name;
        std::string fd, fc;        // fc empty: screen polling off
        const char* valuesReason;  // empty: fresh
        const char* imageReason;
    };
    const Case cases[] = {
        {"Fresh", values, image, "", ""},
        {"ValuesRefused", busy, image, "E1 Busy", ""},
        {"ImageRefused", values, busy + '\0', "", "E1 Busy"},
        {"BothRefused", busy, busy + '\0', "E1 Busy", "E1 Busy"},
        {"ValuesUnframed", "EA\r\nno end", image, "Values could not be read", ""},
        {"ImageNotPolled", values, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionHarness h(3, 6, 3200, 0);
        h.connection->UpdateModel([](CInstrumentModel& m) { m.accessLevel[0] = 'A'; });
        const bool polled = !c.fc.empty();
        h.connection->SetScreenPolling(polled);
        for (const std::string& answer : {c.fd, c.fc, c.fd}) {
            if (!answer.empty()) {
                h.link.QueueAnswer(answer);
            }
        }
        const int64_t before = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
        EXPECT_EQ(h.connection->PollOnce(), RZ_OK);
        EXPECT_EQ(h.link.sentText(), polled ? "FD0,1,248|FC GET|FD0,1,248" : "FD0,1,248|FD0,1,248");
        const CDataFreshness fresh = h.connection->Freshness();
        EXPECT_STREQ(fresh.values.reason, c.valuesReason);
        EXPECT_EQ(fresh.values.validAtNs >= before, *c.valuesReason == '\0');
        EXPECT_STREQ(fresh.image.reason, c.imageReason);
        EXPECT_EQ(fresh.image.validAtNs >= before, polled && *c.imageReason == '\0');
        EXPECT_EQ(fresh.image.polled, polled);
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
