#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FakeLink.h"
#include "platform/StatusSink.h"
#include "session/ExchangeTrace.h"
#include "session/LoginDialogue.h"

namespace {

const char* kGreeting = "Select username from 'admin' or 'user'\r\n";

// Each row: the answers (greeting, answer to the user name, answer to the password), the
// result, the requests sent and the texts shown, "|" between the pieces of each, and how the
// failure reads for the operator. A line break in the user name or password is refused before
// anything is read or sent.
TEST(LoginDialogue, OutcomeRequestsAndStatusText) {
    const std::string g = std::string(kGreeting) + "|";
    const std::string asks = g + "Input password.\r\n|E0\r\n";
    const char* breaks = "the user name or password holds a line break";
    struct Case {
        const char* name;
        std::string answers;
        RzResult expected;
        const char* requests;
        const char* shown;
        const char* failure = "";
        const char* user = "admin";
        const char* password = "secret";
    };
    const Case cases[] = {
        {"PasswordAccepted", g + "Input password.\r\n|E0\r\n", RZ_OK, "admin|secret", ""},
        {"NoPasswordAsked", "Input username.\r\n|E0\r\n", RZ_OK, "admin", ""},
        {"BareE0WithoutLineEnd", g + "E0", RZ_OK, "admin", ""},
        {"GreetingWithoutPrompt", "Welcome\r\n", LINK_E_LOGIN, "", "Welcome",
         "unexpected greeting \"Welcome\""},
        {"UserRefused", g + "E1 Login failed\r\n", LINK_E_LOGIN, "admin", "E1 Login failed",
         "user name refused (E1 Login failed)"},
        {"E0WithTrailingTextIsNotSuccess", g + "E0 \r\n", LINK_E_LOGIN, "admin", "E0 ",
         "user name refused (E0 )"},
        {"PasswordRefused", g + "Input password.\r\n|E2 Password incorrect\r\n", LINK_E_LOGIN,
         "admin|secret", "E2 Password incorrect", "password refused (E2 Password incorrect)"},
        {"CrLfInUser", asks, LINK_E_PARAMETER, "", kLineBreakInLogin, breaks, "admin\r\nCA1,1"},
        {"CrLfInPassword", asks, LINK_E_PARAMETER, "", kLineBreakInLogin, breaks, "admin",
         "pw\r\nCA1,1"},
        {"LfInUser", asks, LINK_E_PARAMETER, "", kLineBreakInLogin, breaks, "ad\nmin"},
        {"CrInPassword", asks, LINK_E_PARAMETER, "", kLineBreakInLogin, breaks, "admin", "pw\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLink link;
        for (const auto& answer : Split(c.answers)) {
            link.QueueAnswer(answer);
        }
        ShownMessages messages;
        const RzExpected<void> result = RunLoginDialogue(&link, c.user, c.password);
        EXPECT_EQ(result.code(), c.expected);
        EXPECT_EQ(link.sentText(), c.requests);
        for (const auto& r : link.requests()) {
            EXPECT_EQ(r.mode, RECV_LINE);
        }
        // What to show and why travel in the result; nothing is shown on the way.
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_EQ(result ? "" : Joined(result.error().messages), c.shown);
        EXPECT_EQ(result ? "" : result.error().text, c.failure);
    }
}

// A receive that fails shows which part of the dialogue it ended; a failed send is silent.
TEST(LoginDialogue, LinkFailuresShowTheRightText) {
    const std::string noAnswer = "Communicate with RZ error, please check RZ configuration!";
    struct Case {
        int failAt;  // 0 greeting, 1 user answer, 2 password answer
        RzResult result;
        std::string shown;
        const char* failure;
    };
    const Case cases[] = {
        {0, LINK_E_TIMEOUT, noAnswer, "time-out while waiting for the greeting"},
        {1, LINK_E_TIMEOUT, noAnswer, "time-out while waiting for the password prompt"},
        {2, LINK_E_TIMEOUT, "login Error!",
         "time-out while waiting for the answer to the password"},
        {1, LINK_E_BROKEN, "", "connection lost while sending the user name"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failAt);
        FakeLink link;
        const std::string answers[] = {kGreeting, "Input password.\r\n"};
        for (int i = 0; i < c.failAt; ++i) {
            link.QueueAnswer(answers[i]);
        }
        if (c.result == LINK_E_BROKEN) {
            link.FailNextSend(LINK_E_BROKEN);
        } else {
            link.QueueReceiveError(c.result);
        }
        const RzExpected<void> result = RunLoginDialogue(&link, "admin", "pw");
        ASSERT_EQ(result.code(), c.result);
        EXPECT_EQ(Joined(result.error().messages), c.shown);
        EXPECT_EQ(result.error().text, c.failure);
    }
}

struct IdentCase {
    const char* name;
    const char* answer;
    bool supported;
    const char* family;
    int32_t model;
    int32_t major;
    int32_t version;
    int32_t programOption;
};

TEST(Identification, ParseTable) {
    const IdentCase cases[] = {
        {"Full", "EA\r\nMODEL:\r\nRZ3200\r\nVERSION:\r\n3.06\r\nOPTION:\r\nPROGRAM LARGE\r\nEN\r\n",
         true, "RZ", 3200, 3, 0x30006, 2},
        {"Small", "EA\r\nMODEL:\r\nRZ3100\r\nVERSION:\r\n2.11\r\nPROGRAM SMALL\r\nEN\r\n", true,
         "RZ", 3100, 2, 2 * 65536 + 11, 1},
        {"NoOption", "EA\r\nMODEL:\r\nRZ3200\r\nVERSION:\r\n1.20\r\nEN\r\n", true, "RZ", 3200, 1,
         65536 + 20, 0},
        {"OptionNeedsLineEnd", "MODEL:\r\nRZ3200\r\nVERSION:\r\n1.0\r\nPROGRAM LARGE", true, "RZ",
         3200, 1, 65536, 0},
        {"OtherFamily", "EA\r\nMODEL:\r\nQX3200\r\nVERSION:\r\n3.06\r\nEN\r\n", false, "", 0, 0, 0,
         0},
        {"OtherModel", "EA\r\nMODEL:\r\nRZ3300\r\nVERSION:\r\n3.06\r\nEN\r\n", false, "", 0, 0, 0,
         0},
        {"NoModel", "EA\r\nVERSION:\r\n3.06\r\nEN\r\n", false, "", 0, 0, 0, 0},
        {"ModelWithoutLineEnd", "EA\r\nMODEL:RZ3200\r\nVERSION:\r\n3.06\r\nEN\r\n", false, "", 0, 0,
         0, 0},
        {"NoVersion", "EA\r\nMODEL:\r\nRZ3200\r\nEN\r\n", false, "RZ", 3200, 0, 0, 0},
        {"VersionWithoutMinor", "MODEL:\r\nRZ3200\r\nVERSION:\r\n3\r\n", true, "RZ", 3200, 3,
         3 * 65536, 0},
        {"EndsAfterMarker", "MODEL:\r\n", false, "", 0, 0, 0, 0},
        {"HugeNumbersSaturate", "MODEL:\r\nRZ3200\r\nVERSION:\r\n99999999999999.99999999999\r\n",
         true, "RZ", 3200, 0x7FFF, 0x7FFF * 65536 + 0x7FFF, 0},
    };
    for (const auto& c : cases) {
        const CParsedIdentity parsed = ParseIdentification(c.answer);
        const CInstrumentIdentity& identity = parsed.identity;
        EXPECT_EQ(parsed.recognised, c.supported) << c.name;
        EXPECT_STREQ(identity.family, c.family) << c.name;
        EXPECT_EQ(identity.modelNumber, c.model) << c.name;
        EXPECT_EQ(identity.firmwareMajor, c.major) << c.name;
        EXPECT_EQ(identity.version, c.version) << c.name;
        EXPECT_EQ(identity.programOption, c.programOption) << c.name;
    }
}

TEST(Identification, PidAuxPieces) {
    struct Case {
        const char* answer;
        std::vector<int32_t> flags;
    };
    const Case cases[] = {
        {"EA\r\nPID_AUX,ON,OFF,\r\nEN\r\n", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"PID_AUXON,OFF,ON,ON,OFF,OFF,ON,OFF,ON,ON,ON,\r\n", {1, 0, 1, 1, 0, 0, 1, 0, 1, 1}},
        {"EA\r\nno flags here\r\nEN\r\n", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"PID_AUXON,ON", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"PID_AUX,,,,,,,,,,,,,,", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const PidAuxFlags flags = ParsePidAux(c.answer);
        EXPECT_EQ(std::vector<int32_t>(flags.begin(), flags.end()), c.flags) << c.answer;
    }
}

TEST(Identification, ExchangesAndUnsupportedInstrument) {
    FakeLink link;
    link.QueueAnswer("EA\r\nMODEL:\r\nRZ3200\r\nVERSION:\r\n3.06\r\nPROGRAM SMALL\r\nEN\r\n");
    link.QueueAnswer("EA\r\nPID_AUXON,OFF,ON,\r\nEN\r\n");
    const RzExpected<CInstrumentIdentity> identified = RunIdentification(&link);
    ASSERT_TRUE(identified.ok());
    const CInstrumentIdentity& identity = *identified;
    ASSERT_EQ(link.requests().size(), 2u);
    EXPECT_EQ(link.requests()[0].text, "_C");
    EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
    EXPECT_EQ(link.requests()[1].text, "ZSPID_AUX?");
    EXPECT_EQ(link.requests()[1].mode, RECV_LIST);
    EXPECT_TRUE(IsSupportedIdentity(identity));
    EXPECT_EQ(identity.pidAux[0], 1);
    EXPECT_EQ(identity.pidAux[1], 0);
    EXPECT_EQ(identity.pidAux[2], 1);

    FakeLink other;
    other.QueueAnswer("EA\r\nMODEL:\r\nQX3200\r\nVERSION:\r\n3.06\r\nEN\r\n");
    std::vector<std::string> shown;
    ScopedStatusSink sink([&](const std::string& text) { shown.push_back(text); });
    const RzExpected<CInstrumentIdentity> unsupported = RunIdentification(&other);
    ASSERT_TRUE(unsupported.ok());
    EXPECT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(IsSupportedIdentity(*unsupported));
    EXPECT_EQ(shown, std::vector<std::string>{"Software not support current hardware!"});

    FakeLink broken;
    broken.QueueReceiveError(LINK_E_TIMEOUT);
    EXPECT_EQ(RunIdentification(&broken).code(), LINK_E_TIMEOUT);
}

TEST(Identification, SupportedRange) {
    struct Case {
        const char* family;
        int32_t model;
        int32_t major;
        bool supported;
    };
    const Case cases[] = {
        {"RZ", 3100, 1, true},  {"RZ", 3200, 3, true},  {"RZ", 3200, 4, false},
        {"RZ", 3200, 0, false}, {"RZ", 3000, 2, false}, {"QX", 3200, 2, false},
    };
    for (const auto& c : cases) {
        CInstrumentIdentity identity{};
        std::snprintf(identity.family, sizeof identity.family, "%s", c.family);
        identity.modelNumber = c.model;
        identity.firmwareMajor = c.major;
        EXPECT_EQ(IsSupportedIdentity(identity), c.supported) << c.model << " " << c.major;
    }
}

}  // namespace

TEST(ExchangeTrace, KeepsTheLastExchangesInBoundedSlots) {
    CExchangeTrace trace;
    const size_t total = CExchangeTrace::kCapacity + 5;
    for (size_t i = 0; i < total; ++i) {
        const std::string request = "FD " + std::to_string(i);
        trace.Add(static_cast<int64_t>(i), request.data(), request.size(), "E0", 2, 1, RZ_OK);
    }
    const std::vector<CTraceEntry> entries = trace.Entries();
    ASSERT_EQ(entries.size(), CExchangeTrace::kCapacity);
    EXPECT_EQ(entries.front().request, "FD 5") << "oldest first, the first five dropped";
    EXPECT_EQ(entries.back().request, "FD " + std::to_string(total - 1));
    EXPECT_EQ(trace.Added(), total);

    const std::string longAnswer(CExchangeTrace::kTextLimit + 50, 'x');
    trace.Add(0, "LOG", 3, longAnswer.data(), longAnswer.size(), 0, RZ_OK);
    EXPECT_EQ(trace.Entries().back().answer, std::string(CExchangeTrace::kTextLimit, 'x') + "...");
}

TEST(ExchangeTrace, SummarisesAnswers) {
    const struct {
        std::string answer;
        int32_t mode;
        uint32_t blocks;
        const char* expected;
    } cases[] = {
        {"E0\r\n", RECV_LINE, 0, "E0"},
        {"EA\r\nMODEL:\r\nEN\r\n", RECV_LIST, 0, "EA"},
        {std::string("\x89PNG\r\n\x1a\n", 8) + std::string(245304, '\0'), RECV_BINARY, 4,
         "PNG 245,312 bytes in 4 blocks"},
        {"abc", RECV_BINARY, 1, "binary 3 bytes in 1 block"},
        {std::string(1234567, 'x'), RECV_BINARY, 0, "binary 1,234,567 bytes"},
        {std::string(100000, 'x'), RECV_BINARY, 0, "binary 100,000 bytes"},
        {"abc", RECV_BINARY, 0, "binary 3 bytes"},
        {std::string("E1 Busy\r\n\0", 10), RECV_BINARY, 0, "E1 Busy"},
        {"", RECV_BINARY, 0, ""},
        {"E1 busy", RECV_FIXED, 0, "E1 busy"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SummariseAnswer(c.answer.data(), c.answer.size(), c.mode, c.blocks), c.expected);
    }
}
