// Faults met while logging in: during the log-in dialogue, the identification and the first
// full refresh. A failed log-in leaves no connection, no thread and no hub traffic behind.
#include "FaultFixture.h"

namespace {

class LoginFaults : public FaultFixture {};

// Number of the first command request with this exact text in a clean log-in of `profile`.
uint32_t RequestNumberInCleanLogin(const std::vector<std::string>& requests,
                                   const std::string& text) {
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i] == text) {
            return static_cast<uint32_t>(i + 1);
        }
    }
    return 0;
}

TEST_F(LoginFaults, EachFaultGivesItsCodeAndStatusText) {
    // Request numbers of a clean log-in, so that faults can aim at the list and binary answers
    // of the refresh by name.
    StartSim("full");
    uint32_t probeId = 0;
    ASSERT_EQ(Login(&probeId), RZ_OK);
    const auto clean = server->CommandRequests();
    CloseAllAndCheckThreads();
    const uint32_t fu = RequestNumberInCleanLogin(clean, "FU 0");
    const uint32_t sx = RequestNumberInCleanLogin(clean, "SX?");
    const uint32_t fc = RequestNumberInCleanLogin(clean, "FC GET");
    ASSERT_NE(fu, 0u);
    ASSERT_NE(sx, 0u);
    ASSERT_NE(fc, 0u);

    const std::string kCheckConfig = Text(10000);
    const std::string kRefreshFailed = Text(10001);
    const std::string kUnsupported = Text(20004);
    enum class Expect { kOk, kOkWithoutImage, kCode, kLinkBroken };
    struct Case {
        const char* name;
        std::function<void(CSimFaults&)> fault;
        Expect expect;
        RzResult code;  // for kCode
        std::vector<std::string> shownTexts;
    };
    const std::vector<Case> cases = {
        {"DelayBelowTimeout",
         [](CSimFaults& f) { f.answerDelayMs = kLinkTimeoutMs / 4; },
         Expect::kOk,
         RZ_OK,
         {}},
        {"ByteByByte", [](CSimFaults& f) { f.segmentBytes = 1; }, Expect::kOk, RZ_OK, {}},
        {"SegmentsWithPauses",
         [](CSimFaults& f) {
             f.segmentBytes = 1024;
             f.segmentPauseMs = 1;
         },
         Expect::kOk,
         RZ_OK,
         {}},
        {"BlocksMergedIntoOneWrite",
         [](CSimFaults& f) {
             f.segmentBytes = 5;
             f.mergeBinaryBlocks = true;
         },
         Expect::kOk,
         RZ_OK,
         {}},
        {"BlocksSplitInTwoWrites",
         [](CSimFaults& f) { f.splitBlockPauseMs = 2; },
         Expect::kOk,
         RZ_OK,
         {}},
        {"GreetingBeyondTimeout",
         [](CSimFaults& f) { f.answerDelayMs = kLinkTimeoutMs * 3; },
         Expect::kCode,
         LINK_E_TIMEOUT,
         {kCheckConfig}},
        {"RefusedLogin",
         [](CSimFaults& f) { f.refuseLogin = true; },
         Expect::kCode,
         LINK_E_LOGIN,
         {"E1 Login failed"}},
        {"GreetingWithoutPrompt",
         [](CSimFaults& f) { f.greeting = "RZ ready\r\n"; },
         Expect::kCode,
         LINK_E_LOGIN,
         {"RZ ready"}},
        {"IdentificationRefused",
         [](CSimFaults& f) { f.errorForKeys = {"_C"}; },
         Expect::kCode,
         LINK_E_UNSUPPORTED,
         {kUnsupported, kUnsupported}},
        // A peer that closes is seen at once as a broken link; a silent one runs into the
        // time-out.
        {"CloseDuringRefresh",
         [fu](CSimFaults& f) { f.closeOnRequest = fu; },
         Expect::kLinkBroken,
         0,
         {kRefreshFailed}},
        {"StallDuringRefresh",
         [sx](CSimFaults& f) { f.stallFromRequest = sx; },
         Expect::kCode,
         LINK_E_TIMEOUT,
         {kRefreshFailed}},
        {"StallMidList",
         [sx](CSimFaults& f) { f.stallMidAnswerOn = sx; },
         Expect::kCode,
         LINK_E_TIMEOUT,
         {kRefreshFailed}},
        {"StallMidBinaryBlock",
         [fc](CSimFaults& f) { f.stallMidAnswerOn = fc; },
         Expect::kCode,
         LINK_E_TIMEOUT,
         {kRefreshFailed}},
        {"CloseMidList",
         [sx](CSimFaults& f) { f.closeMidAnswerOn = sx; },
         Expect::kLinkBroken,
         0,
         {kRefreshFailed}},
        {"CloseMidBinaryBlock",
         [fc](CSimFaults& f) { f.closeMidAnswerOn = fc; },
         Expect::kLinkBroken,
         0,
         {kRefreshFailed}},
        // How an answer larger than the receive area is refused is the link's choice; it must
        // end the link, not overrun it.
        {"OversizeList",
         [sx](CSimFaults& f) { f.oversizeAnswerOn = sx; },
         Expect::kLinkBroken,
         0,
         {kRefreshFailed}},
        // A refused query of the refresh is a command-level error: the refresh goes on. Without
        // the log-in information the user stays below level A, so no image is fetched; the
        // log-in query's refusal is not shown.
        {"LoginInfoRefused",
         [](CSimFaults& f) { f.errorForKeys = {"FU"}; },
         Expect::kOkWithoutImage,
         RZ_OK,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimFaults faults;
        c.fault(faults);
        StartSim("full", faults);
        uint32_t id = 0;
        const RzResult result = LoginAndWatch(&id);
        switch (c.expect) {
            case Expect::kOk:
                EXPECT_EQ(result, RZ_OK) << ResultCodeName(result);
                EXPECT_EQ(manager.ConnectionCount(), 1u);
                if (result == RZ_OK) {
                    // The image came through whole: the same bytes as a clean exchange.
                    CInstrumentModel m{};
                    Find(id)->CopyModel(&m);
                    EXPECT_GT(m.imageLength, 0u);
                    EXPECT_GT(m.measCount, 0);
                }
                break;
            case Expect::kOkWithoutImage: {
                EXPECT_EQ(result, RZ_OK) << ResultCodeName(result);
                EXPECT_EQ(manager.ConnectionCount(), 1u);
                CInstrumentModel m{};
                if (Find(id) != nullptr) {
                    Find(id)->CopyModel(&m);
                }
                EXPECT_EQ(m.imageLength, 0u);
                EXPECT_STREQ(m.accessLevel, "U");
                break;
            }
            case Expect::kCode:
                EXPECT_EQ(result, c.code) << ResultCodeName(result);
                EXPECT_EQ(manager.ConnectionCount(), 0u);
                break;
            case Expect::kLinkBroken:
                EXPECT_TRUE(IsLinkBroken(result)) << ResultCodeName(result);
                EXPECT_EQ(manager.ConnectionCount(), 0u);
                break;
        }
        EXPECT_EQ(shown, c.shownTexts);
        // A log-in that never started a connection reports no lost link on the hub.
        ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(0));
        EXPECT_EQ(commErrors, 0);
        CloseAllAndCheckThreads();
    }
}

TEST_F(LoginFaults, ConnectionRefusedIsShownAsAnOpenError) {
    StartSim("full");
    const uint16_t closedPort = port;
    server->Stop();
    uint32_t id = 0;
    const RzResult result =
        manager.ConnectAndLogin("127.0.0.1", "admin", "rzadmin", &id, closedPort);
    EXPECT_EQ(result, LINK_E_BROKEN) << ResultCodeName(result);
    EXPECT_EQ(shown, std::vector<std::string>{Text(20012)});
    EXPECT_EQ(manager.ConnectionCount(), 0u);
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
}

}  // namespace
