// The simulator's answer pieces on their own: binary blocks, value lines, request readers,
// the clock, the setup keys of a profile, the command table, and the refusal of malformed
// requests.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "SimAnswerFormat.h"
#include "SimCmdSession.h"
#include "SimCommands.h"
#include "SimDispatcher.h"
#include "SimWords.h"
#include "commands/DataQueries.h"

namespace {

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

TEST(SimAnswers, BinaryBlocksCarryThePayloadInOrder) {
    struct Case {
        size_t payload;
        size_t blockBytes;
        size_t blocks;
    };
    const Case cases[] = {{1, 4096, 1},     {4096, 4096, 1}, {4097, 4096, 2},
                          {10000, 4096, 3}, {256, 0, 1},     {7, 2, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.payload) + " in " + std::to_string(c.blockBytes));
        std::string payload;
        for (size_t i = 0; i < c.payload; ++i) {
            payload += static_cast<char>((i * 7 + 3) & 0xFF);
        }
        const std::string blocks = SimBinaryBlocks(payload, c.blockBytes);
        std::string joined;
        size_t at = 0;
        size_t count = 0;
        bool last = false;
        while (at < blocks.size()) {
            ASSERT_FALSE(last) << "bytes after the last block";
            ASSERT_GE(blocks.size() - at, 14u);
            EXPECT_EQ(blocks.substr(at, 4), "EB\r\n");
            const uint32_t length = BigEndian(blocks, at + 4);
            ASSERT_GE(length, 6u);
            ASSERT_LE(at + 8 + length, blocks.size());
            last = (blocks[at + 8] & 1) != 0;
            EXPECT_EQ(BigEndian(blocks, at + 8) & 0xFFFFFF, count);  // block number
            joined += blocks.substr(at + 12, length - 6);
            EXPECT_EQ(blocks.substr(at + 6 + length, 2), "\r\n");
            at += 8 + length;
            ++count;
        }
        EXPECT_TRUE(last);
        EXPECT_EQ(count, c.blocks);
        EXPECT_EQ(joined, payload);
    }
}

TEST(SimAnswers, ValueLinesPutEachTextWhereTheConsoleReadsIt) {
    struct Case {
        CSimValueItem item;
        const char* status;
        const char* number;
        const char* unit;  // text 1
        const char* mantissa;
        const char* exponent;
    };
    auto item = [](char status, const char* id, const char* unit, int64_t mantissa, int decimals,
                   bool math, bool alarm) {
        CSimValueItem v;
        v.status = status;
        v.id = id;
        v.unit = unit;
        v.mantissa = mantissa;
        v.decimals = decimals;
        v.math = math;
        v.alarm = alarm;
        v.unacknowledged = alarm;
        return v;
    };
    const Case cases[] = {
        {item('N', "001", "C", 2513, 1, false, false), "N", "001", "C     ", "+02513", "-01"},
        {item('D', "030", "m3/h", -99999, 4, false, true), "D", "030", "m3/h  ", "-99999", "-04"},
        {item('O', "248", "kPaabs", 0, 0, false, false), "O", "248", "kPaabs", "+00000", "+00"},
        {item('N', "A01", "kWh", 98765432, 1, true, false), "N", "A01", "kWh   ", "+98765432",
         "-01"},
        {item('E', "A30", "", -5, 2, true, true), "E", "A30", "      ", "-00000005", "-02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.id);
        CCmdFD fd;
        const std::string line = SimValueLine(c.item) + "\r\n";
        fd.ParseLine(line.c_str());
        const bool math = c.item.math;
        ASSERT_EQ(math ? fd.mathCount : fd.measCount + fd.loopCount + fd.extCount + 2, 0);
        const CDataRecord& record = math                 ? fd.mathRecords[0]
                                    : c.item.id == "248" ? fd.extRecords[0]
                                                         : fd.measRecords[0];
        EXPECT_STREQ(record.status, c.status);
        EXPECT_STREQ(record.number, c.number);
        EXPECT_STREQ(record.text1, c.unit);
        EXPECT_STREQ(record.text2, c.mantissa);
        EXPECT_STREQ(record.text3, c.exponent);
    }
    CCmdFD fd;
    fd.ParseLine((SimSkippedValueLine("007") + "\r\n").c_str());
    EXPECT_EQ(fd.measCount, 0);
    EXPECT_STREQ(fd.measRecords[0].status, "S");
    EXPECT_STREQ(fd.measRecords[0].number, "007");
}

TEST(SimAnswers, RequestNumbersAreReadStrictly) {
    struct Case {
        const char* text;
        size_t count;
        bool ok;
        std::vector<int64_t> values;
    };
    const Case cases[] = {
        {"1", 1, true, {1}},
        {"-12,+3", 2, true, {-12, 3}},
        {"0,1,248", 3, true, {0, 1, 248}},
        {"9999999999", 1, true, {9999999999}},
        {"99999999999", 1, false, {}},
        {"", 1, false, {}},
        {"-", 1, false, {}},
        {" 1", 1, false, {}},
        {"1 ", 1, false, {}},
        {"1,2", 1, false, {}},
        {"1", 2, false, {}},
        {"1,,2", 2, false, {}},
        {"1,2,", 2, false, {}},
        {"0x10", 1, false, {}},
        {"1.5", 1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t values[4] = {-7, -7, -7, -7};
        EXPECT_EQ(SimReadNumbers(c.text, c.count, values), c.ok);
        for (size_t i = 0; c.ok && i < c.count; ++i) {
            EXPECT_EQ(values[i], c.values[i]);
        }
    }
}

TEST(SimAnswers, ClockTextsFollowTheCalendar) {
    struct Case {
        const char* clock;
        int64_t later;  // seconds after it
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {"2024/05/17 09:30:00", 0, "24/05/17", "09:30:00.000"},
        {"2024/02/28 23:59:59", 1, "24/02/29", "00:00:00.000"},
        {"2023/02/28 23:59:59", 1, "23/03/01", "00:00:00.000"},
        {"1999/12/31 23:00:00", 3600, "00/01/01", "00:00:00.000"},
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
    for (const char* bad : {"2024/02/30 00:00:00", "2023/02/29 00:00:00", "2024/13/01 00:00:00",
                            "2024/05/17 24:00:00", "2024/05/17 09:60:00", "2024-05-17 09:30:00",
                            "2024/5/17 09:30:00", "1969/12/31 23:59:59", ""}) {
        int64_t seconds = 0;
        EXPECT_FALSE(SimParseClock(bad, &seconds)) << bad;
    }
}

// A minimal valid profile with `setup` (JSON members, without braces) added.
std::string ProfileWith(const std::string& setup, int model = 3200, const char* option = "large") {
    return "{\"model\": " + std::to_string(model) +
           ", \"firmwareVersion\": \"3.06\", \"programOption\": \"" + option +
           "\", \"users\": [{\"name\": \"admin\"}]" + (setup.empty() ? "" : ", " + setup) + "}";
}

TEST(SimProfileSetup, MalformedSetupsAreRefusedWithTheirKey) {
    struct Case {
        std::string json;
        const char* mentions;
    };
    const std::string tooLong(17, 'x');
    const Case cases[] = {
        {ProfileWith(R"("clock": "2024/02/30 10:00:00")"), "clock"},
        {ProfileWith(R"("memoryRunning": 1)"), "memoryRunning"},
        {ProfileWith(R"("channels": {"number": 1})"), "channels"},
        {ProfileWith(R"("channels": [3])"), "channels[0]"},
        {ProfileWith(R"("channels": [{"number": 31}])"), "channels[0].number"},
        {ProfileWith(R"("channels": [{"number": 2}, {"number": 2}])"), "channels[1].number"},
        {ProfileWith(R"("channels": [{"inputType": "volt"}])"), "channels[0].inputType"},
        {ProfileWith(R"("channels": [{"tag": "A,B"}])"), "channels[0].tag"},
        {ProfileWith(R"("channels": [{"tag": ")" + tooLong + R"("}])"), "channels[0].tag"},
        {ProfileWith(R"("channels": [{"tag": "LOOP END:"}])"), "channels[0].tag"},
        {ProfileWith(R"("channels": [{"unit": "m3/hour"}])"), "channels[0].unit"},
        {ProfileWith(R"("channels": [{"value": 1000.0, "decimals": 2}])"), "channels[0].value"},
        {ProfileWith(R"("channels": [{"decimals": 5}])"), "channels[0].decimals"},
        {ProfileWith(R"("channels": [{"status": "S"}])"), "channels[0].status"},
        {ProfileWith(R"("mathChannels": [{"status": "D"}])"), "mathChannels[0].status"},
        {ProfileWith(R"("mathChannels": [{"value": 100000000}])"), "mathChannels[0].value"},
        {ProfileWith(R"("loops": [{"number": 7}])"), "loops[0].number"},
        {ProfileWith(R"("loops": [{"kind": "single"}])"), "loops[0].kind"},
        {ProfileWith(R"("loops": [{"outputType": "SSR"}])"), "loops[0].outputType"},
        {ProfileWith(R"("loops": [{"kind": "Single", "mode": "CAS"}])"), "loops[0].mode"},
        {ProfileWith(R"("loops": [{"sp": 150.0}])"), "loops[0].setPoints"},
        {ProfileWith(R"("loops": [{"spNumber": 9}])"), "loops[0].spNumber"},
        {ProfileWith(R"("loops": [{"setPoints": [1, 2, 3, 4, 5, 6, 7, 8, 9]}])"),
         "loops[0].setPoints"},
        {ProfileWith(R"("loops": [{"out": 101.0}])"), "loops[0].out"},
        {ProfileWith(R"("loops": [{"outLow": 50.0, "outHigh": 40.0}])"), "loops[0].outLow"},
        {ProfileWith(R"("loops": [{"retrans": true}])"), "loops[0].retrans"},
        {ProfileWith(R"("loops": [{"retrans": {"decimals": 9}}])"), "loops[0].retrans.decimals"},
        {ProfileWith(R"("loops": [{"retrans": {"source": ""}}])"), "loops[0].retrans.source"},
        {ProfileWith(R"("externalLoops": [{"number": 5}])", 3100), "externalLoops[0].number"},
        {ProfileWith(R"("externalLoops": [{"controller": 16}])"), "externalLoops[0].controller"},
        {ProfileWith(R"("externalLoops": [{"mode": "CAS"}])"), "externalLoops[0].mode"},
        {ProfileWith(R"("externalLoops": [{"outputLimits": [[90, 10]]}])"),
         "externalLoops[0].outputLimits"},
        {ProfileWith(R"("externalLoops": [{"out": 50, "outputLimits": [[0, 40]]}])"),
         "externalLoops[0].out"},
        {ProfileWith(R"("dio": [{"number": 13}])", 3100), "dio[0].number"},
        {ProfileWith(R"("dio": [{"module": "DO-3"}])"), "dio[0].module"},
        {ProfileWith(R"("dio": [{"present": true}])"), "dio[0].present"},
        {ProfileWith(R"("dio": [{"module": "DO-1", "terminal": "DO.01"}])"), "dio[0].terminal"},
        {ProfileWith(R"("dio": [{"module": "DO-1", "terminal": "DO00001"}])"), ""},
        {ProfileWith(R"("dio": [{"module": "DO-1", "terminal": "DO000001"}])"), "dio[0].terminal"},
        {ProfileWith(R"("dio": [{"module": "DO-1", "mode": "CAS"}])"), "dio[0].mode"},
        {ProfileWith(R"("dio": [{"module": "DO-1", "output": 2}])"), "dio[0].output"},
        {ProfileWith(R"("displayGroups": [{"number": 7}])", 3100), "displayGroups[0].number"},
        {ProfileWith(R"("displayGroups": [{"channels": [61]}])"), "displayGroups[0].channels"},
        {ProfileWith(R"("displayGroups": [{"channels": [1,2,3,4,5,6,7,8,9,10,11]}])"),
         "displayGroups[0].channels"},
        {ProfileWith(R"("controlGroups": [{"number": 5}])", 3100), "controlGroups[0].number"},
        {ProfileWith(R"("controlGroups": [{"members": [{"kind": "Math-CH", "number": 5}]}])"),
         "controlGroups[0].members[0].number"},
        {ProfileWith(R"("controlGroups": [{"members": [{"kind": "DIO"}]}])"),
         "controlGroups[0].members[0].number"},
        {ProfileWith(R"("controlGroups": [{"members": [{"kind": "Loop", "number": 1}]}])"),
         "controlGroups[0].members[0].kind"},
        {ProfileWith(R"("patterns": [{"number": 1}])", 3200, "none"), "patterns[0]"},
        {ProfileWith(R"("patterns": [{"number": 11}])", 3200, "small"), "patterns[0].number"},
        {ProfileWith(R"("patterns": [{"state": "paused"}])"), "patterns[0].state"},
        {ProfileWith(R"("logs": {"SYSTEM": ["x"]})"), "logs.SYSTEM"},
        {ProfileWith(R"("logs": {"COM": "x"})"), "logs.COM"},
        {ProfileWith(R"("logs": {"MSG": ["EN of shift"]})"), "logs.MSG[0]"},
        {ProfileWith(R"("logs": {"MSG": ["ok", "PROGRAM END:"]})"), "logs.MSG[1]"},
        {ProfileWith(R"("logs": {"ERR": [""]})"), "logs.ERR[0]"},
        {ProfileWith(R"("messages": ["1","2","3","4","5","6","7","8","9"])"), "messages"},
        {ProfileWith(R"("users": [{"name": "admin", "code": "AB"}])"), "users[0].code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        CSimProfile profile;
        std::string error;
        const bool parsed = ParseSimProfile(c.json, &profile, &error);
        if (c.mentions[0] == '\0') {
            EXPECT_TRUE(parsed) << error;  // the limit itself is taken
            continue;
        }
        EXPECT_FALSE(parsed);
        EXPECT_EQ(error.rfind(c.mentions, 0), 0u) << error;
    }
}

TEST(SimProfileSetup, ShippedProfilesSetUpWhatTheyPromise) {
    const CSimProfile full = LoadProfileCase({"full", "", nullptr});
    const CSimProfile small = LoadProfileCase({"rz3100", "", nullptr});
    const CSimProfile v2 = LoadProfileCase({"rz3200v2", "", nullptr});
    for (const CSimProfile* profile : {&full, &small, &v2}) {
        SCOPED_TRACE(profile->model);
        std::set<std::string> users;
        for (const CSimUser& user : profile->users) {
            users.insert(user.name + "/" + user.password + "/" + user.level);
        }
        EXPECT_EQ(users, (std::set<std::string>{"admin/rzadmin/A", "user/rzuser/U", "guest//U"}));
    }

    EXPECT_EQ(full.model, 3200);
    EXPECT_EQ(full.firmwareVersion, "3.06");
    EXPECT_EQ(full.programOption, SimProgramOption::kLarge);
    std::set<int> kinds, outputTypes, controllers, modules;
    std::set<std::string> retransKinds, patternStates;
    for (const CSimLoop& loop : full.setup.loops) {
        kinds.insert(loop.configured ? loop.kind : -1);
        outputTypes.insert(loop.outputType);
        if (loop.kind == kSimRetrans) {
            retransKinds.insert(loop.retrans ? "with" : "without");
        }
    }
    for (const CSimExtLoop& loop : full.setup.extLoops) {
        if (loop.configured && loop.inUse) {
            controllers.insert(loop.controller);
        }
    }
    bool absentPoint = false;
    for (const CSimDioPoint& point : full.setup.dio) {
        if (point.present) {
            modules.insert(point.module);
        }
        absentPoint = absentPoint || (!point.present && point.module != kSimModuleNone);
    }
    for (const CSimPattern& pattern : full.setup.patterns) {
        if (pattern.exists) {
            patternStates.insert(pattern.hold      ? "hold"
                                 : pattern.wait    ? "wait"
                                 : pattern.running ? "running"
                                                   : "reset");
        }
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(retransKinds, (std::set<std::string>{"with", "without"}));
    EXPECT_EQ(outputTypes, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(controllers.count(0) && controllers.count(15));
    EXPECT_GE(controllers.size(), 4u);
    EXPECT_EQ(modules, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(absentPoint);
    EXPECT_EQ(patternStates, (std::set<std::string>{"reset", "running", "hold", "wait"}));
    for (int kind = 0; kind < kSimLogKinds; ++kind) {
        EXPECT_FALSE(full.setup.logs[kind].empty()) << kSimLogKindTable[kind].name;
    }

    EXPECT_EQ(small.model, 3100);
    EXPECT_EQ(small.firmwareVersion.rfind("1.", 0), 0u);
    EXPECT_EQ(small.programOption, SimProgramOption::kNone);
    EXPECT_LE(SimExtLoopCount(small.setup), 4);
    EXPECT_GT(SimExtLoopCount(small.setup), 0);
    EXPECT_EQ(v2.model, 3200);
    EXPECT_EQ(v2.firmwareVersion.rfind("2.", 0), 0u);
    EXPECT_EQ(v2.programOption, SimProgramOption::kSmall);
}

// The keys of the console's command table ("&4" is the request of key "_4").
const char* const kConsoleKeys[] = {
    "FU", "PS", "IF", "IS", "TL", "SX", "ST", "SR", "FD", "FG", "HM", "GJ", "DX", "DY", "GG", "FM",
    "DR", "FO", "CA", "DV", "DL", "RL", "OC", "HJ", "DM", "FP", "DQ", "GO", "PC", "MY", "MT", "GF",
    "HO", "GV", "DT", "FW", "FH", "PN", "PX", "AD", "AK", "EV", "FL", "HU", "MS", "UD", "FC", "&4"};

TEST(SimCommandTable, EveryConsoleKeyIsAnsweredOnce) {
    CSimDispatcher dispatcher;
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    std::set<std::string> keys;
    for (const CSimCommandEntry& entry : SimInstrumentCommands()) {
        EXPECT_TRUE(keys.insert(entry.key).second) << entry.key << " twice";
    }
    EXPECT_EQ(keys, std::set<std::string>(std::begin(kConsoleKeys), std::end(kConsoleKeys)));
    for (const char* key : kConsoleKeys) {
        EXPECT_TRUE(dispatcher.Has(key)) << key;
    }
    // A second registration is refused as a whole.
    EXPECT_FALSE(RegisterInstrumentCommands(dispatcher));
    CSimDispatcher taken;
    ASSERT_TRUE(taken.Register("FD", [](const CSimRequest&, CSimInstrument&) { return "E0\r\n"; }));
    EXPECT_FALSE(RegisterInstrumentCommands(taken));
    EXPECT_FALSE(taken.Has("CA"));
}

TEST(SimCommandTable, MalformedRequestsGetOneErrorLine) {
    CSimDispatcher dispatcher;
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    CSimInstrument full(LoadProfileCase({"full", "", nullptr}));
    CSimInstrument small(LoadProfileCase({"rz3100", "", nullptr}));
    const CSimUser user{"admin", "rzadmin", 'A', '1'};
    struct Case {
        const char* request;
        bool smallModel;
    };
    const Case cases[] = {
        {"FD0,1,249", false},
        {"FD0,1,248", true},
        {"FD1,1,248", false},
        {"FD0,0,248", false},
        {"FD0,5,4", false},
        {"FD0,1", false},
        {"FD 0,1,248", false},
        {"FG", false},
        {"FG?x", false},
        {"ST?0", false},
        {"SX", false},
        {"HM ?", false},
        {"FU 1", false},
        {"IS 1", false},
        {"IF 256.0.0.0", false},
        {"IF 1.2.3", false},
        {"IF 1.2.3.4.5", false},
        {"IF -1.2.3.4", false},
        {"IF 1..3.4", false},
        {"FM 1x", false},
        {"FM1", false},
        {"FM 0", false},
        {"FM 6", false},
        {"DR 4", false},
        {"DR 17", false},
        {"FP7", false},
        {"DQ3", false},
        {"CA1", false},
        {"CA1,2,3", false},
        {"CA,1", false},
        {"RL2,1", false},
        {"OC2,1", false},
        {"HJ1,9", false},
        {"GO1,1", false},
        {"DT1,1,XX,5", false},
        {"DT1,1", false},
        {"DT1,9?", false},
        {"DV1,FOO,1", false},
        {"DV1,MODE", false},
        {"DV1,RL,2", false},
        {"DV17,RL,0", false},
        {"DL3", false},
        {"DM3,1,1", false},
        {"PN 0", false},
        {"PN 31", false},
        {"PN1", false},
        {"PN -1", false},
        {"PX 2", false},
        {"PX", false},
        {"HU 2", false},
        {"AD 2", false},
        {"AD", false},
        {"PS 2", false},
        {"PS", false},
        {"TL 3", false},
        {"TL -1", false},
        {"AK 1", false},
        {"EV 5", false},
        {"EV -0", false},
        {"MS 9", false},
        {"MS 0", false},
        {"MS1,3", false},
        {"MS3", false},
        {"UD 1,TREND", false},
        {"UD 1,TREND,11", false},
        {"UD 1,TREND,7", true},
        {"UD 1,TREND,0", false},
        {"UD 1,OVERVIEW,1", false},
        {"UD 1,trend,1", false},
        {"UD 1,FACEPLATE,5", true},
        {"UD 2,TREND,1", false},
        {"UD 4,ON,All,ON", false},
        {"UD 4,ON,ALL,ON,ON", false},
        {"UD 4,ON,All,ON,ON,", false},
        {"UD 1,", false},
        {"FL BOGUS,10", false},
        {"FL COM,0", false},
        {"FL COM,201", false},
        {"FL COM", false},
        {"FL ALARM,121", false},
        {"FH31", false},
        {"FH-1", false},
        {"FH 1", false},
        {"FW1", false},
        {"FO ", false},
        {"FC get", false},
        {"FC", false},
        {"&4 0", false},
        {"&4 31", false},
        {"&4 +1", false},
        {"MY", false},
        {"DX", false},
        {"GV", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.request) + (c.smallModel ? " (3100)" : ""));
        const std::string answer =
            dispatcher.Dispatch(c.request, &user, c.smallModel ? small : full);
        ASSERT_GE(answer.size(), 4u);
        EXPECT_EQ(answer.rfind("E1", 0), 0u) << answer;
        EXPECT_EQ(answer.find("\r\n"), answer.size() - 2) << answer;
    }
}

TEST(SimCommandTable, AnswersFollowTheUserAndTheOptionFlags) {
    CSimDispatcher dispatcher;
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    CSimInstrument grouped(LoadProfileCase({"full", "", [](CSimProfile& p) { p.pidAux[4] = 1; }}));
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

TEST(SimCommandTable, AFreshInstrumentShowsItsAlarmsUnacknowledged) {
    CSimDispatcher dispatcher;
    ASSERT_TRUE(RegisterInstrumentCommands(dispatcher));
    CSimInstrument full(LoadProfileCase({"full", "", nullptr}));
    const CSimUser user{"admin", "rzadmin", 'A', '1'};
    const std::string item = dispatcher.Dispatch("FD0,3,3", &user, full);
    EXPECT_NE(item.find("\r\nN 003 ALM*"), std::string::npos) << item;
    EXPECT_EQ(dispatcher.Dispatch("AK 0", &user, full), "E0\r\n");
    EXPECT_EQ(dispatcher.Dispatch("FD0,3,3", &user, full).find("ALM*"), std::string::npos);
    // Channel 1 has no alarm at all.
    EXPECT_NE(dispatcher.Dispatch("FD0,1,1", &user, full).find("\r\nN 001            C     +02513"),
              std::string::npos);
}

}  // namespace
