// The simulator's answers on their own: the clock texts, the refusal of malformed requests,
// and answers that follow the user and the option flags.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "SimAnswerFormat.h"
#include "SimCommands.h"
#include "SimDispatcher.h"
#include "SimIdentity.h"
#include "SimTestSupport.h"

TEST(SimAnswers, ClockTextsFollowTheCalendar) {
    struct Case {
        const char* clock;
        int64_t later;  // seconds after it
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {"2024/02/28 23:59:59", 1, "24/02/29", "00:00:00.000"},
        {"2100/02/28 12:00:00", 86400, "00/03/01", "12:00:00.000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clock);
        int64_t seconds = 0;
        ASSERT_TRUE(SimParseClock(c.clock, &seconds));
        EXPECT_EQ(SimDateText(seconds + c.later), c.date);
        EXPECT_EQ(SimTimeText(seconds + c.later, 0), c.time);
    }
    EXPECT_EQ(SimTimeText(0, 999), "00:00:00.999");
    for (const char* bad : {"2023/02/29 00:00:00", "2024/05/17 24:00:00", "2024-05-17 09:30:00"}) {
        int64_t seconds = 0;
        EXPECT_FALSE(SimParseClock(bad, &seconds)) << bad;
    }
}

// What a refused request may not change: every state answer, without the clock line, which
// moves on its own.
std::string StateSnapshot(const CSimDispatcher& dispatcher, const CSimUser& user,
                          CSimInstrument& instrument) {
    std::vector<std::string> requests = {"FD0,1,248",  "FD0,1,212", "IS 0",   "FL KEY,50",
                                         "FL MSG,100", "FM 1",      "FM 2",   "DR 1",
                                         "DR 2",       "DT1,1?",    "DT7,2?", "FO"};
    for (int n = 1; n <= 12; ++n) {
        requests.push_back("FH" + std::to_string(n));
    }
    std::string snapshot;
    for (const std::string& request : requests) {
        std::string answer = dispatcher.Dispatch(request, &user, instrument);
        if (const size_t time = answer.find("TIME "); time != std::string::npos) {
            answer.erase(time, answer.find("\r\n", time) - time);
        }
        snapshot += request + " => " + answer + "\n";
    }
    return snapshot;
}

// Requests the instrument does not take, malformed or beyond what its profile sets up, each
// get one error line and change nothing. Requests are separated by "|"; in "A>B" A is taken
// first, then B is refused.
TEST(SimCommandTable, RefusedRequestsGetOneErrorLineAndChangeNothing) {
    // Malformed, or asking for what no instrument has.
    const std::string malformed =
        "FD0,1,249|FD1,1,248|FD0,0,248|FD0,5,4|FD0,1|FD 0,1,248|FG|FG?x|ST?0|SX|HM ?|FU 1|IS 1|"
        "IF 256.0.0.0|IF 1.2.3|IF 1.2.3.4.5|IF -1.2.3.4|IF 1..3.4|FM 1x|FM1|FM 0|FM 6|FM 0x1|"
        "FM 1.5|FM -|DR 4|DR 17|FP7|FP 1|DQ3|CA1|CA1,2,3|CA,1|CA1,1 |RL2,1|OC2,1|HJ1,9|GO1,1|"
        "DT1,1,XX,5|DT1,1|DT1,9?|DV1,FOO,1|DV1,MODE|DV1,RL,2|DV17,RL,0|DL3|DM3,1,1|PN 0|PN 31|"
        "PN1|PN -1|PN  1|PX 2|PX|HU 2|AD 2|AD|PS 2|PS|TL 3|TL -1|AK 1|EV 5|EV -0|MS 9|MS 0|MS1,3|"
        "MS3|UD 1,TREND|UD 1,TREND,11|UD 1,TREND,0|UD 1,OVERVIEW,1|UD 1,trend,1|UD 2,TREND,1|"
        "UD 4,ON,All,ON|UD 4,ON,ALL,ON,ON|UD 4,ON,All,ON,ON,|UD 1,|FL BOGUS,10|FL COM,0|"
        "FL COM,201|FL COM|FL ALARM,121|FH31|FH-1|FH 1|FW1|FO |FC get|FC|&4 0|&4 +1|MY|DX|GV|_C |"
        "_c|_CX|ZSPID_AUX|ZSPID_AUX? |zspid_aux?|ZS|fc GET|&||XX?";
    // Well formed, beyond the full profile. Loops: 7, 6 (of kind none), CAS on a single loop,
    // mode 3, remote 2, output and set point beyond their limits, set point 9. External loops:
    // beyond the range, of another make, without a model, not in use, CAS, remote 2, output
    // outside the set point's limits. DI/DO: an input point, a removed point, one without a
    // module, value 2, point 37. Patterns: not stored, running, reset, not held. Save kind 2,
    // display pattern 31.
    const std::string beyondFull =
        "CA0,7|CA0,6|CA2,1|CA3,1|RL2,1|HJ951,2|GO1,1,12001|GO1,9,1000|DT1,1,SP,4001|DT4,1,SP,10|"
        "DV3,MODE,1|DV5,MODE,0|DV1,MODE,2|DV1,RL,2|DV7,MOUT,801|DL1,1|DM9,1|DM13,1|DM3,2|DL37,0|"
        "PN 6|PN 2>PX 1|PN 5>HU 1|PN 2>HU 0|EV 2|&4 31";
    const std::pair<const char*, std::string> cases[] = {
        {"full", malformed},
        {"full", beyondFull},
        // Groups and set points beyond the small model, a loop not set up, the output low
        // limit; no program option.
        {"rz3100", "FD0,1,248|UD 1,TREND,7|UD 1,FACEPLATE,5|CA1,3|HJ99,2|UD 1,PROGRAM|PN 1"},
        // Set point 0, an external loop not set up, a pattern beyond the small option, the
        // advance of a reset pattern.
        {"rz3200v2", "GO1,0,1000|DV3,MODE,0|PN 11|PN 2>AD 1"},
    };
    CSimDispatcher dispatcher;
    RegisterIdentityCommands(dispatcher);
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    const CSimUser user{"admin", "rzdemo", 'A', '1'};
    for (const auto& [profile, requests] : cases) {
        SCOPED_TRACE(profile);
        CSimInstrument instrument(ShippedProfile(profile));
        const std::string before = StateSnapshot(dispatcher, user, instrument);
        for (size_t at = 0; at <= requests.size();) {
            const size_t end = std::min(requests.find('|', at), requests.size());
            std::string request = requests.substr(at, end - at);
            at = end + 1;
            if (const size_t taken = request.find('>'); taken != std::string::npos) {
                EXPECT_EQ(dispatcher.Dispatch(request.substr(0, taken), &user, instrument),
                          "E0\r\n");
                request.erase(0, taken + 1);
            }
            const std::string answer = dispatcher.Dispatch(request, &user, instrument);
            EXPECT_EQ(answer.rfind("E1", 0), 0u) << request << ": " << answer;
            EXPECT_EQ(answer.find("\r\n"), answer.size() - 2) << request << ": " << answer;
        }
        EXPECT_EQ(StateSnapshot(dispatcher, user, instrument), before);
    }
}

TEST(SimCommandTable, AnswersFollowTheUserAndTheOptionFlags) {
    CSimDispatcher dispatcher;
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    CSimInstrument grouped(ShippedProfile("full", [](CSimProfile& p) { p.pidAux[4] = 1; }));
    struct Case {
        CSimUser user;
        const char* request;
        const char* answer;
    };
    const Case cases[] = {
        {{"admin", "x", 'A', '1'}, "FU 0", "EA\r\n1 A admin\r\nEN\r\n"},
        {{"guest", "", 'U', '7'}, "FU 0", "EA\r\n7 U guest\r\nEN\r\n"},
        // The user line is read as three words; a blank inside a name would make four.
        {{"shift lead", "", 'U', '2'}, "FU 0", "EA\r\n2 U shift_lead\r\nEN\r\n"},
        // With the fifth option flag messages go to a group: "MS<group>,<message>".
        {{"admin", "x", 'A', '1'}, "MS1,3", "E0\r\n"},
        {{"admin", "x", 'A', '1'}, "MS10,8", "E0\r\n"},
        {{"admin", "x", 'A', '1'}, "MS 3", "E1 Syntax error\r\n"},
        {{"admin", "x", 'A', '1'}, "MS11,3", "E1 Syntax error\r\n"},
        {{"admin", "x", 'A', '1'}, "MS1,9", "E1 No such message\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request + std::string(" as ") + c.user.name);
        EXPECT_EQ(dispatcher.Dispatch(c.request, &c.user, grouped), c.answer);
    }
}
