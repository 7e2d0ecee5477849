// Faults met while logging in: during the log-in dialogue, the identification and the first
// full refresh. A failed log-in leaves no connection and no hub traffic behind, and no thread once
// the manager is closed.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "FaultFixture.h"

namespace {

class LoginFaults : public FaultFixture {};

TEST_F(LoginFaults, EachFaultGivesItsCodeAndStatusText) {
    // Request numbers of a clean log-in, so that faults can aim at answers of the refresh by name.
    StartSim("full");
    uint32_t probe = 0;
    ASSERT_EQ(Login(&probe), RZ_OK);
    const std::vector<std::string> clean = server->CommandRequests();
    CloseAllAndCheckThreads();
    const auto number = [&clean](const char* text) {
        const auto at = std::find(clean.begin(), clean.end(), text);
        EXPECT_NE(at, clean.end()) << text;
        return static_cast<uint32_t>(at - clean.begin() + 1);
    };
    const uint32_t fu = number("FU 0"), sx = number("SX?"), fc = number("FC GET");
    const std::string checkConfig = RzString(RzStr::kCheckConfiguration);
    const std::string refreshFailed = RzString(RzStr::kStartRefreshFailed);
    const std::string unsupported = RzString(RzStr::kUnsupportedHardware);
    const uint32_t t = kLinkTimeoutMs;
    constexpr RzResult kBroken = -1;
    struct Case {
        const char* name;
        CSimFaults faults;
        RzResult code;  // kBroken: any code of the link-broken range
        std::vector<std::string> shownTexts;
        const char* password = "rzdemo";
        const char* user = "admin";
    };
    const std::vector<Case> cases = {
        {"DelayBelowTimeout", {.answerDelayMs = t / 4}, RZ_OK, {}},
        // Lines and lists byte by byte. The screen image comes in one write: one byte per write
        // it took longer than the receive time-out on a busy machine. Binary answers in pieces
        // are the next case's.
        {"ByteByByteBlocksInOneWrite", {.segmentBytes = 1, .mergeBinaryBlocks = true}, RZ_OK, {}},
        {"BlocksSplitInTwoWrites", {.splitBlockPauseMs = 2}, RZ_OK, {}},
        // A refused query of the refresh is a command-level error: the refresh goes on, unshown.
        // Without the log-in information the user stays below level A and gets no image.
        {"LoginInfoRefused", {.errorForKeys = {"FU"}}, RZ_OK, {}},
        {"GreetingBeyondTimeout",
         {.answerDelayMs = t * 3},
         LINK_E_TIMEOUT,
         {checkConfig, kNoAnswer}},
        {"RefusedLogin", {.refuseLogin = true}, LINK_E_LOGIN, {"E1 Login failed"}},
        {"WrongPassword", {}, LINK_E_LOGIN, {"E1 Login failed"}, "rzuser"},
        {"EmptyPassword", {}, LINK_E_LOGIN, {"E1 Login failed"}, ""},
        {"UserNameInAnotherCase", {}, LINK_E_LOGIN, {"E1 Login failed"}, "rzdemo", "Admin"},
        {"GreetingWithoutPrompt", {.greeting = "hello\r\n"}, LINK_E_LOGIN, {"hello"}},
        {"IdentificationRefused",
         {.errorForKeys = {"_C"}},
         LINK_E_UNSUPPORTED,
         {unsupported, unsupported}},
        // A peer that closes is seen at once as a broken link; a silent one runs into the
        // time-out.
        {"CloseOnIdentification", {.closeOnRequest = 1}, kBroken, {kClosed}},
        {"CloseDuringRefresh", {.closeOnRequest = fu}, kBroken, {refreshFailed, kClosed}},
        {"StallDuringRefresh",
         {.stallFromRequest = sx},
         LINK_E_TIMEOUT,
         {refreshFailed, kNoAnswer}},
        {"StallMidBinaryBlock",
         {.stallMidAnswerOn = fc},
         LINK_E_TIMEOUT,
         {refreshFailed, kNoAnswer}},
        {"CloseMidBinaryBlock", {.closeMidAnswerOn = fc}, kBroken, {refreshFailed, kClosed}},
        // How an answer larger than the receive area is refused is the link's choice; it must
        // end the link, not overrun it.
        {"OversizeList", {.oversizeAnswerOn = sx}, kBroken, {refreshFailed, kTooLong}},
    };
    // How each failure reads for the operator: where the log-in stopped and what was said.
    const std::string settings = "while loading settings, step ";
    std::map<std::string, std::string> failures = {
        {"GreetingBeyondTimeout", "time-out while waiting for the greeting"},
        {"RefusedLogin", "user name refused (E1 Login failed)"},
        {"WrongPassword", "password refused (E1 Login failed)"},
        {"EmptyPassword", "password refused (E1 Login failed)"},
        {"UserNameInAnotherCase", "user name refused (E1 Login failed)"},
        {"GreetingWithoutPrompt", "unexpected greeting \"hello\""},
        {"IdentificationRefused", "the instrument is not a supported RZ model"},
        {"CloseOnIdentification", "connection lost while waiting for the identification"},
        {"CloseDuringRefresh", "connection lost " + settings + "1 of 20 (FU 0)"},
        {"StallDuringRefresh", "time-out " + settings + "4 of 20 (SX?)"},
        {"StallMidBinaryBlock", "time-out " + settings + "20 of 20 (FC GET)"},
        {"CloseMidBinaryBlock", "connection lost " + settings + "20 of 20 (FC GET)"},
        {"OversizeList", "connection lost " + settings + "4 of 20 (SX?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full", c.faults);
        uint32_t id = 0;
        const RzResult result = LoginAndWatch(&id, c.user, c.password);
        if (c.code == kBroken) {
            EXPECT_TRUE(IsLinkBroken(result)) << ResultCodeName(result);
        } else {
            EXPECT_EQ(result, c.code) << ResultCodeName(result);
        }
        EXPECT_EQ(manager.ConnectionCount(), result == RZ_OK ? 1u : 0u);
        if (result == RZ_OK) {
            const CInstrumentModel m = ModelOf(id);
            const bool levelA = c.faults.errorForKeys.empty();
            EXPECT_STREQ(m.accessLevel, levelA ? "A" : "U");
            EXPECT_EQ(m.imageLength > 0, levelA);
            EXPECT_GT(m.measCount, 0);
        }
        EXPECT_EQ(shown, At(c.shownTexts));
        EXPECT_EQ(result == RZ_OK ? "" : loginFailure, failures[c.name]);
        // A log-in that never started a connection reports no lost link on the hub.
        ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(0));
        EXPECT_EQ(commErrors, 0);
        CloseAllAndCheckThreads();
    }
}

TEST_F(LoginFaults, ConnectionRefusedIsShownAsAnOpenError) {
    StartSim("full");
    server->Stop();  // nothing listens on its port any more
    uint32_t id = 0;
    EXPECT_EQ(Login(&id), LINK_E_BROKEN);
    EXPECT_EQ(shown, At({RzString(RzStr::kSocketOpenFailed),
                         "Cannot connect to @: " + std::string(strerror(ECONNREFUSED))}));
    EXPECT_EQ(loginFailure, "Cannot connect to 127.0.0.1:" + std::to_string(port) + ": " +
                                strerror(ECONNREFUSED));
    EXPECT_EQ(manager.ConnectionCount(), 0u);
    // Only the log-in thread is left, waiting for the next log-in until CloseAll.
    EXPECT_EQ(ThreadCountSettledAt(threadsBefore + 1), threadsBefore + 1);
    manager.CloseAll();
    EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
}

}  // namespace
