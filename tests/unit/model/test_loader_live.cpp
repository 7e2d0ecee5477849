// Load steps that the communication cycle repeats or that read ranges and states: values,
// DI/DO status, program patterns, output ranges and the screen image.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "unit/model/LoaderFixture.h"

namespace {

using Requests = std::vector<std::string>;

// A values answer with `meas` measurement, `math` math, `loops` internal-loop and `ext`
// external-loop items, all normal.
std::string ValuesAnswer(int meas, int math, int loops, int ext) {
    std::string answer = "EA\r\nDATE 24/05/01\r\nTIME 10:00:00\r\n";
    const auto add = [&answer](int count, int first, bool isMath) {
        for (int i = 0; i < count; ++i) {
            char number[16];
            std::snprintf(number, sizeof(number), isMath ? "A%02d" : "%03d", first + i);
            answer +=
                ValueLine('N', number, isMath ? "+00000001" : "+00001", "+0", isMath) + "\r\n";
        }
    };
    add(meas, 1, false);
    add(math, 1, true);
    add(loops, 101, false);
    add(ext, 201, false);
    return answer + "EN\r\n";
}

TEST_F(LoaderTest, ValuesCounts) {
    const struct {
        const char* name;
        int meas, math, loops, ext;
        int32_t measCount, mathCount, loopCount, extLoopCount;
    } cases[] = {
        // Counts before each run: measCount 12, mathCount 5, loopCount 4, extLoopCount 4.
        {"no loop items", 0, 0, 0, 0, 12, 5, 0, 0},
        {"one loop item", 1, 1, 1, 1, 1, 1, 1, 1},
        {"loop items up to index 5", 3, 30, 6, 3, 3, 30, 2, 1},
        {"loop items up to index 17", 30, 0, 18, 48, 30, 5, 6, 16},
        {"a partial triple", 0, 2, 7, 47, 12, 2, 3, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(3200, 3);
        model->measCount = 12;
        model->mathCount = 5;
        model->loopCount = 4;
        model->extLoopCount = 4;
        link->QueueAnswer(ValuesAnswer(c.meas, c.math, c.loops, c.ext));
        EXPECT_EQ(loader->LoadValues(), RZ_OK);
        EXPECT_EQ(Sent(), Requests{"FD0,1,248"});
        EXPECT_EQ(model->measCount, c.measCount);
        EXPECT_EQ(model->mathCount, c.mathCount);
        EXPECT_EQ(model->loopCount, c.loopCount);
        EXPECT_EQ(model->extLoopCount, c.extLoopCount);
    }
}

TEST_F(LoaderTest, ValuesRequestFollowsTheModel) {
    Reset(3100, 3);
    link->QueueAnswer(ValuesAnswer(1, 0, 3, 12));
    EXPECT_EQ(loader->LoadValues(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"FD0,1,212"});
    EXPECT_EQ(model->extLoopCount, 4);
}

TEST_F(LoaderTest, ValueTexts) {
    model->inputTypes[1] = 7;  // channel 2 is a LOG channel
    model->internalLoops[0].loopKind = 1;
    model->internalLoops[1].loopKind = 0;
    for (auto& channel : model->channels) {
        std::strcpy(channel.display.valueText[0], "old");
    }
    for (auto* loop : {&model->internalLoops[1], &model->internalLoops[0]}) {
        loop->spValue = 7.5;
        loop->spDecimals = 3;
        loop->outDecimals = 4;
    }
    model->externalLoops[0].spValue = 7.5;
    model->externalLoops[0].spDecimals = 3;
    model->externalLoops[0].outDecimals = 4;
    link->QueueAnswer(List({
        "DATE 2024/5/01",
        "TIME 12:34:56.789",
        ValueLine('N', "001", "+12345", "-2"),
        ValueLine('N', "002", "+00123", "-5"),
        ValueLine('D', "003", "-00500", "-1"),
        ValueLine('O', "004", "-00001", "+0"),
        ValueLine('E', "005", "+00001", "+0"),
        ValueLine('S', "006", "+00001", "+0"),
        ValueLine('N', "007", "+00007", "+2"),
        ValueLine('N', "A01", "-12345678", "-4", true),
        ValueLine('D', "A02", "+00000001", "+0", true),
        ValueLine('O', "A03", "+00000001", "+0", true),
        ValueLine('N', "101", "+00250", "-1"),
        ValueLine('N', "102", "+00300", "-1"),
        ValueLine('N', "103", "+00455", "-1"),
        ValueLine('O', "104", "-00001", "+0"),
        ValueLine('E', "105", "+00001", "+0"),
        ValueLine('N', "106", "+00100", "-2"),
        ValueLine('O', "201", "+00001", "+0"),
        ValueLine('O', "202", "+00001", "+0"),
        ValueLine('E', "203", "+00001", "+0"),
        ValueLine('E', "204", "+00001", "+0"),
        ValueLine('N', "205", "-01234", "-3"),
        ValueLine('N', "206", "+00050", "+0"),
    }));
    EXPECT_EQ(loader->LoadValues(), RZ_OK);
    EXPECT_STREQ(model->dataDate, "2024/5/01");
    EXPECT_STREQ(model->dataTime, "12:34:56.789");
    const auto channelText = [this](int channel) {
        return reinterpret_cast<const char*>(model->channels[channel - 1].display.valueText);
    };
    const struct {
        const char* what;
        const char* text;
        const char* expected;
    } texts[] = {
        {"channel 1", channelText(1), "123.45"},
        {"channel 2, LOG", channelText(2), "1.23E-03"},
        {"channel 3, status D", channelText(3), "-50.0"},
        {"channel 4, over range", channelText(4), "-*****"},
        {"channel 5, error", channelText(5), "******"},
        {"channel 6, no value", channelText(6), ""},
        {"channel 7, positive exponent", channelText(7), "700"},
        {"channel 8, no item", channelText(8), "old"},
        {"math channel 31", channelText(31), "-1234.5678"},
        {"math channel 32, D is no value", channelText(32), ""},
        {"math channel 33, over range", channelText(33), "+*******"},
        {"loop 1 PV", model->internalLoops[0].display.valueText[0], "25.0"},
        {"loop 1 SP", model->internalLoops[0].display.valueText[1], "30.0"},
        {"loop 1 OUT", model->internalLoops[0].display.valueText[2], "45.5"},
        {"loop 2 PV", model->internalLoops[1].display.valueText[0], "-*****"},
        {"loop 2 SP", model->internalLoops[1].display.valueText[1], "******"},
        {"loop 2 OUT, loop of no kind", model->internalLoops[1].display.valueText[2], ""},
        {"external 1 PV", model->externalLoops[0].display.valueText[0], "+*****"},
        {"external 1 SP", model->externalLoops[0].display.valueText[1], "+****"},
        {"external 1 OUT", model->externalLoops[0].display.valueText[2], "*****"},
        {"external 2 PV", model->externalLoops[1].display.valueText[0], "*****"},
        {"external 2 SP", model->externalLoops[1].display.valueText[1], "-1.234"},
        {"external 2 OUT", model->externalLoops[1].display.valueText[2], "50"},
    };
    for (const auto& t : texts) {
        EXPECT_STREQ(t.text, t.expected) << t.what;
    }
    const struct {
        const char* what;
        double spValue;
        int32_t spDecimals;
        int32_t outDecimals;
        double expectedSp;
        int32_t expectedSpDecimals;
        int32_t expectedOutDecimals;
    } numbers[] = {
        {"loop 1", model->internalLoops[0].spValue, model->internalLoops[0].spDecimals,
         model->internalLoops[0].outDecimals, 30.0, 1, 1},
        // An SP that is not printed keeps the stored number; the OUT of a loop of no kind
        // is still a number.
        {"loop 2", model->internalLoops[1].spValue, model->internalLoops[1].spDecimals,
         model->internalLoops[1].outDecimals, 7.5, 3, 2},
        {"external 1", model->externalLoops[0].spValue, model->externalLoops[0].spDecimals,
         model->externalLoops[0].outDecimals, 7.5, 3, 4},
        {"external 2", model->externalLoops[1].spValue, model->externalLoops[1].spDecimals,
         model->externalLoops[1].outDecimals, -1.234, 3, 0},
    };
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.what);
        EXPECT_DOUBLE_EQ(n.spValue, n.expectedSp);
        EXPECT_EQ(n.spDecimals, n.expectedSpDecimals);
        EXPECT_EQ(n.outDecimals, n.expectedOutDecimals);
    }
}

TEST_F(LoaderTest, ValuesFailureKeepsTheModel) {
    model->measCount = 3;
    model->loopCount = 2;
    std::strcpy(model->internalLoops[0].display.valueText[0], "1.0");
    const auto before = Snapshot();
    link->QueueAnswer("E1\r\n");
    EXPECT_EQ(loader->LoadValues(), REPLY_UNEXPECTED);
    EXPECT_TRUE(Snapshot() == before);
}

// ---------------------------------------------------------------------------------------------
// DI/DO status

struct DioPoint {
    int point;  // zero-based
    bool present;
    bool manual;
    int kindByte;
    bool input;
    bool output;
};

// The fixed-length "FO" record of a model with the given points set; other points are absent
// with kind byte 0.
std::string DioRecord(int32_t modelClass, const std::vector<DioPoint>& points) {
    const bool small = modelClass == 3100;
    std::string record(small ? 48 : 88, '\0');
    const size_t fieldA = 26;
    const size_t kinds = small ? 28 : 32;
    const size_t fieldS = small ? 40 : 68;
    const size_t fieldD = small ? 42 : 74;
    const size_t fieldE = small ? 44 : 80;
    const auto setBit = [&record](size_t field, int point) {
        record[field + point / 6] =
            static_cast<char>(record[field + point / 6] | (1 << (point % 6)));
    };
    for (const auto& p : points) {
        record[kinds + p.point] = static_cast<char>(p.kindByte);
        if (p.present)
            setBit(fieldA, p.point);
        if (p.manual)
            setBit(fieldS, p.point);
        if (p.input)
            setBit(fieldD, p.point);
        if (p.output)
            setBit(fieldE, p.point);
    }
    return record;
}

struct DioExpectation {
    int32_t present;
    int32_t moduleKind;
    const char* type;
    const char* mode;
    const char* input;
    const char* middle;
    const char* output;
    int32_t modeCode;
    int32_t inputState;
};

void PresetDio(CDioRecord& point) {
    point.present = 5;
    point.moduleKind = 5;
    point.modeCode = 5;
    point.inputState = 5;
    point.outValue = 42;
    std::strcpy(point.display.typeText, "old");
    std::strcpy(point.display.modeText, "old");
    std::strcpy(point.display.valueText[0], "X");
    std::strcpy(point.display.valueText[1], "Y");
    std::strcpy(point.display.valueText[2], "Z");
}

void ExpectDio(const CDioRecord& point, const DioExpectation& e) {
    EXPECT_EQ(point.present, e.present);
    EXPECT_EQ(point.moduleKind, e.moduleKind);
    EXPECT_STREQ(point.display.typeText, e.type);
    EXPECT_STREQ(point.display.modeText, e.mode);
    EXPECT_STREQ(point.display.valueText[0], e.input);
    EXPECT_STREQ(point.display.valueText[1], e.middle);
    EXPECT_STREQ(point.display.valueText[2], e.output);
    EXPECT_EQ(point.modeCode, e.modeCode);
    EXPECT_EQ(point.inputState, e.inputState);
    EXPECT_EQ(point.outValue, 42) << "the output value belongs to the loop panel";
}

TEST_F(LoaderTest, DioStatus) {
    const std::vector<DioPoint> points = {
        {0, false, true, 3, true, true},   {1, true, true, 0, true, true},
        {2, true, true, 1, true, true},    {3, true, false, 2, false, false},
        {4, true, false, 3, true, false},  {5, true, true, 4, false, true},
        {6, true, true, 5, true, true},    {7, true, false, 6, false, true},
        {8, true, false, 9, true, true},   {9, true, true, 2, true, true},
        {35, true, false, 1, false, true},
    };
    const DioExpectation expected[] = {
        // Absent: kind 7, "DIO", input and output texts and mode text empty, nothing else.
        {0, 7, "DIO", "", "", "Y", "", 5, 5},
        {1, 0, "DI-1", "", "1", "", "", 1, 1},  // an input module shows no mode
        {1, 1, "DO-1", "MAN", "", "", "1", 1, 1},
        {1, 2, "DO-2", "AUT", "", "", "0", 0, 0},
        {1, 3, "DIO-11", "AUT", "1", "", "0", 0, 1},
        {1, 4, "DIO-12", "MAN", "0", "", "1", 1, 0},
        {1, 5, "DO-2P", "MAN", "", "", "1", 1, 1},
        {1, 6, "DIO-12P", "AUT", "0", "", "1", 0, 0},
        // Kind byte 9 ends the kind scan: this and every later point are of kind 7.
        {1, 7, "DIO", "AUT", "", "", "", 0, 1},
        {1, 7, "DIO", "MAN", "", "", "", 1, 1},
    };
    for (auto& point : model->dio) {
        PresetDio(point);
    }
    link->QueueAnswer(DioRecord(3200, points));
    EXPECT_EQ(loader->LoadDioStatus(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"FO"});
    EXPECT_EQ(link->requests()[0].mode, RECV_FIXED);
    for (int p = 0; p < 10; ++p) {
        SCOPED_TRACE("point " + std::to_string(p + 1));
        ExpectDio(model->dio[p], expected[p]);
    }
    SCOPED_TRACE("point 36");
    ExpectDio(model->dio[35], {1, 7, "DIO", "AUT", "", "", "", 0, 0});
}

TEST_F(LoaderTest, DioStatusCounts) {
    const struct {
        const char* name;
        int32_t modelClass;
        int32_t dioCount;
        RzResult result;
        int lastWritten;  // zero-based; the next point stays as preset
    } cases[] = {
        {"model 3100, 12 points", 3100, 12, RZ_OK, 11},
        {"model 3200, 12 of 36 points", 3200, 12, RZ_OK, 11},
        {"a count beyond the records", 3200, 40, LINK_E_GENERAL, 35},
        {"no points", 3200, 0, RZ_OK, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.modelClass, 3);
        model->dioCount = c.dioCount;
        for (auto& point : model->dio) {
            PresetDio(point);
        }
        link->QueueAnswer(DioRecord(c.modelClass, {{11, true, false, 6, true, true}}));
        EXPECT_EQ(loader->LoadDioStatus(), c.result);
        if (c.lastWritten >= 11) {
            EXPECT_STREQ(model->dio[11].display.typeText, "DIO-12P");
            EXPECT_STREQ(model->dio[c.lastWritten].display.typeText,
                         c.lastWritten == 11 ? "DIO-12P" : "DIO");
        }
        if (c.lastWritten + 1 < kDioPoints) {
            EXPECT_EQ(model->dio[c.lastWritten + 1].present, 5);
        }
    }
}

TEST_F(LoaderTest, DioStatusAnswers) {
    for (auto& point : model->dio) {
        PresetDio(point);
    }
    // An error line is shown; every point counts as absent.
    link->QueueAnswer(std::string("E1\r\n\0", 5));
    EXPECT_EQ(loader->LoadDioStatus(), RZ_OK);
    EXPECT_EQ(shown, std::vector<std::string>{"E1"});
    ExpectDio(model->dio[0], {0, 7, "DIO", "", "", "Y", "", 5, 5});
    // A record of the wrong length changes nothing.
    const auto before = Snapshot();
    link->QueueAnswer(DioRecord(3200, {}).substr(0, 87));
    EXPECT_EQ(loader->LoadDioStatus(), REPLY_UNEXPECTED);
    EXPECT_TRUE(Snapshot() == before);
}

// ---------------------------------------------------------------------------------------------
// Program patterns

struct PatternEntryBytes {
    uint8_t pattern, flags, presence;
};

std::string PatternList(const std::vector<PatternEntryBytes>& entries, int declared = -1) {
    const int length = declared >= 0 ? declared : 10 + 3 * static_cast<int>(entries.size());
    std::string payload = {0, 1, static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)};
    payload += std::string(10, '\0');
    for (const auto& e : entries) {
        payload += static_cast<char>(e.pattern);
        payload += static_cast<char>(e.flags);
        payload += static_cast<char>(e.presence);
    }
    return payload;
}

struct PatternPreset {
    int pattern;
    int32_t exists, changed, state;
};

void PresetPatterns(CInstrumentModel& model, const std::vector<PatternPreset>& presets) {
    for (const auto& p : presets) {
        model.patterns[p.pattern - 1] = {p.exists, p.changed, p.state};
    }
}

TEST_F(LoaderTest, PatternStates) {
    PresetPatterns(*model, {{1, 1, 0, 2},
                            {2, 1, 1, 1},
                            {3, 0, 0, 0},
                            {5, 1, 0, 3},
                            {7, 0, 0, 0},
                            {9, 0, 0, 0},
                            {30, 1, 0, 4}});
    link->QueueAnswer(PatternList(
        {{3, 1, 1}, {5, 3, 1}, {31, 1, 1}, {0, 1, 1}, {7, 8, 1}, {9, 4, 1}, {30, 4, 1}}));
    EXPECT_EQ(loader->LoadPatternStates(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"FW"});
    const PatternPreset expected[] = {
        {1, 1, 1, 1},   // running, not reported: stopped, changed
        {2, 1, 1, 1},   // unchanged; its earlier change mark stays for the panel
        {3, 1, 1, 2},   // now running: exists
        {4, 0, 0, 0},   // never existed
        {5, 1, 0, 3},   // held, still held
        {7, 0, 1, 1},   // reported with none of the three bits: stopped, exists unchanged
        {9, 1, 1, 4},   // bit 2
        {30, 1, 0, 4},  // unchanged
    };
    for (const auto& e : expected) {
        SCOPED_TRACE("pattern " + std::to_string(e.pattern));
        const CPatternRecord& record = model->patterns[e.pattern - 1];
        EXPECT_EQ(record.exists, e.exists);
        EXPECT_EQ(record.changed, e.changed);
        EXPECT_EQ(record.state, e.state);
    }
}

TEST_F(LoaderTest, PatternStatesLeaveTheModelAlone) {
    const struct {
        const char* name;
        int32_t firmwareMajor;
        std::string answer;  // empty: no answer
        RzResult result;
    } cases[] = {
        {"firmware 2 has no pattern list", 2, "", RZ_OK},
        {"firmware 1", 1, "", RZ_OK},
        {"wrong format", 3, PatternList({{1, 1, 1}}).replace(1, 1, 1, '\2'), LINK_E_GENERAL},
        {"time-out", 3, "", LINK_E_TIMEOUT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(3200, c.firmwareMajor);
        PresetPatterns(*model, {{1, 1, 0, 2}, {4, 1, 0, 3}});
        const auto before = Snapshot();
        if (!c.answer.empty()) {
            link->QueueAnswer(c.answer);
        }
        EXPECT_EQ(loader->LoadPatternStates(), c.result);
        EXPECT_EQ(Sent().size(), c.firmwareMajor >= 3 ? 1u : 0u);
        EXPECT_TRUE(Snapshot() == before);
    }
}

TEST_F(LoaderTest, OnePatternState) {
    const struct {
        const char* name;
        int32_t pattern;
        int32_t record;
        const char* answer;  // null: nothing may be sent
        RzResult result;
        const char* request;
        int32_t state;
    } cases[] = {
        {"stopped", 5, 0, "0.0.0.0", RZ_OK, "FH5", 1},
        {"running", 5, 0, "0.0.0.1", RZ_OK, "FH5", 2},
        {"held", 5, 0, "0.0.1.1", RZ_OK, "FH5", 3},
        {"bit 2", 5, 0, "0.1.0.1", RZ_OK, "FH5", 4},
        {"held wins over bit 2", 5, 0, "0.1.1.1", RZ_OK, "FH5", 3},
        {"bit 1 without bit 0", 5, 0, "0.0.1.0", RZ_OK, "FH5", 1},
        {"current pattern into record 3", 0, 3, "0.0.0.1", RZ_OK, "FH", 2},
        {"pattern 30", 30, 30, "0.0.0.1", RZ_OK, "FH30", 2},
        {"pattern into another record", 12, 3, "0.0.0.1", RZ_OK, "FH12", 2},
        {"record 31", 1, 31, nullptr, LINK_E_GENERAL, nullptr, 0},
        {"pattern 0 without a record", 0, 0, nullptr, LINK_E_GENERAL, nullptr, 0},
        {"pattern 31", 31, 1, nullptr, LINK_E_GENERAL, nullptr, 0},
        {"negative pattern", -1, 1, nullptr, LINK_E_GENERAL, nullptr, 0},
        {"negative record", 1, -1, nullptr, LINK_E_GENERAL, nullptr, 0},
        {"error answer", 5, 0, "E1", REPLY_UNEXPECTED, "FH5", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(3200, 2);
        const auto before = Snapshot();
        if (c.answer != nullptr) {
            link->QueueAnswer(c.answer[0] == 'E' ? std::string(c.answer) + "\r\n"
                                                 : List({c.answer}));
        }
        EXPECT_EQ(loader->LoadPatternState(c.pattern, c.record), c.result);
        if (c.request == nullptr) {
            EXPECT_TRUE(Sent().empty());
        } else {
            EXPECT_EQ(Sent(), Requests{c.request});
        }
        if (c.result != RZ_OK) {
            EXPECT_TRUE(Snapshot() == before);
            continue;
        }
        const int32_t record = c.record != 0 ? c.record : c.pattern;
        for (int i = 0; i < kPatterns; ++i) {
            const CPatternRecord& r = model->patterns[i];
            const bool target = i == record - 1;
            EXPECT_EQ(r.exists, target ? 1 : 0) << "record " << i + 1;
            EXPECT_EQ(r.state, target ? c.state : 0) << "record " << i + 1;
            EXPECT_EQ(r.changed, 0) << "record " << i + 1;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Output types and ranges

TEST_F(LoaderTest, OutputTypesAndRanges) {
    model->loopCount = 5;
    const int32_t kinds[] = {1, 2, 4, 1, 3, 1};
    for (int j = 0; j < kInternalLoops; ++j) {
        auto& loop = model->internalLoops[j];
        loop.loopKind = kinds[j];
        loop.outputType = 9;
        loop.outDecimals = 2;
        loop.outLow = 1.0;
        loop.outHigh = 2.0;
    }
    link->QueueAnswer(List(
        {"DA1,RELAY,a,b,2,on/off-control,a,b,3,RELAY,a,b", "DA4,CURRENT-OUTPUT,a,b,6,RELAY,a,b"}));
    link->QueueAnswer(
        List({"DA1,1,0,1000", "DA1,2,-50,500", "DA2,1,10,20", "DA3,1,10,20", "DA5,8,100,200"}));
    EXPECT_EQ(loader->LoadOutputTypes(), RZ_OK);
    EXPECT_EQ(loader->LoadOutputRanges(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"GF?", "HO?"}));
    const struct {
        int32_t type;
        int32_t decimals;
        double low;
        double high;
    } expected[] = {
        {1, 1, -5.0, 50.0},  // the last PID number reported for the loop
        {4, 1, 0.0, 100.0},  // ON/OFF control
        {1, 2, 1.0, 2.0},    // Retrans: limits come from the retransmission span
        {3, 1, 0.0, 100.0},  // no limits reported: the full range
        {0, 1, 0.0, 100.0},  // no output type
        {9, 2, 1.0, 2.0},    // beyond the loop count
    };
    for (int j = 0; j < kInternalLoops; ++j) {
        SCOPED_TRACE("loop " + std::to_string(j + 1));
        const auto& loop = model->internalLoops[j];
        EXPECT_EQ(loop.outputType, expected[j].type);
        EXPECT_EQ(loop.outDecimals, expected[j].decimals);
        EXPECT_DOUBLE_EQ(loop.outLow, expected[j].low);
        EXPECT_DOUBLE_EQ(loop.outHigh, expected[j].high);
    }
}

TEST_F(LoaderTest, ExternalOutputRanges) {
    model->extLoopCount = 5;
    const struct {
        int32_t inUse, controller, decimals;
    } loops[] = {{1, 3, 1}, {0, 3, 1}, {1, 15, 1}, {1, 14, 0}, {1, 1, 2}, {1, 1, 0}};
    for (int j = 0; j < 6; ++j) {
        auto& loop = model->externalLoops[j];
        loop.inUse = loops[j].inUse;
        loop.controllerModel = loops[j].controller;
        loop.outDecimals = loops[j].decimals;
        loop.outLow = -1.0;
        loop.outHigh = -2.0;
    }
    link->QueueAnswer(List({"DASP2,PID3"}));
    link->QueueAnswer(List({"DA1,2,OH,1000", "DA1,2,OL,-100", "DA1,1,OH,5"}));
    link->QueueAnswer(List({"DASP0,PID1"}));
    link->QueueAnswer(List({"DASP9,PID1"}));
    EXPECT_EQ(loader->LoadExtOutputRanges(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"DQ1", "DT1,2?", "DQ4", "DQ5"}));
    const struct {
        double low, high;
    } expected[] = {
        {-10.0, 100.0},  // the limits of the set point number in use
        {-1.0, -2.0},    // not in use
        {-1.0, -2.0},    // OTHER controller: never asked
        {-1.0, -2.0},    // no set point number
        {-1.0, -2.0},    // a set point number with no limits
        {-1.0, -2.0},    // beyond the external loop count
    };
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE("external loop " + std::to_string(j + 1));
        EXPECT_DOUBLE_EQ(model->externalLoops[j].outLow, expected[j].low);
        EXPECT_DOUBLE_EQ(model->externalLoops[j].outHigh, expected[j].high);
    }
}

TEST_F(LoaderTest, ExternalOutputRangesStopAtTheFirstFailure) {
    model->extLoopCount = 3;
    for (int j = 0; j < 3; ++j) {
        auto& loop = model->externalLoops[j];
        loop.inUse = 1;
        loop.controllerModel = 2;
        loop.outDecimals = 0;
        loop.outHigh = -2.0;
    }
    link->QueueAnswer(List({"DASP1,PID1"}));
    link->QueueAnswer(List({"DA1,1,OH,80"}));
    link->QueueAnswer(List({"DASP1,PID1"}));
    link->QueueReceiveError(LINK_E_BROKEN);
    EXPECT_EQ(loader->LoadExtOutputRanges(), LINK_E_BROKEN);
    EXPECT_EQ(Sent(), (Requests{"DQ1", "DT1,1?", "DQ2", "DT2,1?"}));
    EXPECT_DOUBLE_EQ(model->externalLoops[0].outHigh, 80.0);
    EXPECT_DOUBLE_EQ(model->externalLoops[1].outHigh, -2.0);
    EXPECT_DOUBLE_EQ(model->externalLoops[2].outHigh, -2.0);
}

// ---------------------------------------------------------------------------------------------
// Screen image and connection start

TEST_F(LoaderTest, ScreenImage) {
    const std::string image("\x89PNG\r\n\x1a\nDATA", 12);
    link->QueueAnswer(image);
    EXPECT_EQ(loader->LoadScreenImage(), RZ_OK);
    EXPECT_EQ(model->imageData, commands->Get<CCmdFC>()->imageBuffer);
    ASSERT_EQ(model->imageLength, image.size());
    EXPECT_EQ(std::memcmp(model->imageData, image.data(), image.size()), 0);
    // A failed fetch leaves the last image in place.
    link->QueueAnswer(std::string("E1\r\n\0", 5));
    EXPECT_EQ(loader->LoadScreenImage(), REPLY_UNEXPECTED);
    EXPECT_EQ(model->imageLength, image.size());
    EXPECT_EQ(std::memcmp(model->imageData, image.data(), image.size()), 0);
    EXPECT_EQ(Sent(), (Requests{"FC GET", "FC GET"}));
}

TEST_F(LoaderTest, DefaultNamesKeepReceivedNames) {
    model->measCount = 2;
    model->loopCount = 1;
    std::strcpy(model->internalLoops[0].display.name, "Boiler");
    std::strcpy(model->dio[3].display.name, "Pump");
    loader->ApplyDefaultNames();
    EXPECT_TRUE(Sent().empty());
    EXPECT_STREQ(model->internalLoops[0].display.name, "Boiler");
    EXPECT_STREQ(model->internalLoops[0].display.typeText, "Int-Loop");
    EXPECT_STREQ(model->dio[3].display.name, "Pump");
    EXPECT_STREQ(model->dio[3].display.typeText, "DIO");
    EXPECT_STREQ(model->channels[29].display.typeText, "Meas-CH");
    EXPECT_STREQ(model->channels[30].display.typeText, "");
    EXPECT_STREQ(model->externalLoops[0].display.typeText, "");
}

}  // namespace
