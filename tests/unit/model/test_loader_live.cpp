// Load steps that the communication cycle repeats or that read ranges and states: values,
// DI/DO status, program patterns, output ranges and the screen image.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "unit/model/LoaderFixture.h"

namespace {

// An item of the values answer; `exponent` empty for a status without a number.
std::string Item(char status, const std::string& number, const std::string& mantissa,
                 const std::string& exponent) {
    return ValueLine(status, number, "", mantissa, exponent, number[0] == 'A');
}

// A values answer with `meas` measurement, `math` math, `loops` internal-loop and `ext`
// external-loop items, all normal.
std::string ValuesAnswer(int meas, int math, int loops, int ext) {
    std::vector<std::string> lines = {"DATE 24/05/01", "TIME 10:00:00"};
    const auto add = [&lines](int count, int first, bool isMath) {
        for (int i = 0; i < count; ++i) {
            char number[16];
            std::snprintf(number, sizeof(number), isMath ? "A%02d" : "%03d", first + i);
            lines.push_back(Item('N', number, isMath ? "+00000001" : "+00001", "+0"));
        }
    };
    add(meas, 1, false);
    add(math, 1, true);
    add(loops, 101, false);
    add(ext, 201, false);
    return ListOf(static_cast<int>(lines.size()), [&lines](int i) { return lines[i]; });
}

TEST_F(LoaderTest, ValuesCounts) {
    // Counts before each run: measCount 12, mathCount 5, loopCount 4, extLoopCount 4. An empty
    // channel list keeps the count, an empty loop list means no loops; loops count in threes.
    const struct {
        int meas, math, loops, ext;
        int32_t measCount, mathCount, loopCount, extLoopCount;
    } cases[] = {{0, 0, 0, 0, 12, 5, 0, 0},
                 {1, 1, 1, 1, 1, 1, 1, 1},
                 {3, 30, 6, 3, 3, 30, 2, 1},
                 {30, 0, 18, 48, 30, 5, 6, 16},
                 {0, 2, 7, 47, 12, 2, 3, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.meas << " " << c.math << " " << c.loops << " " << c.ext);
        Reset(3200, 3);
        model->measCount = 12;
        model->mathCount = 5;
        model->loopCount = model->extLoopCount = 4;
        link->QueueAnswer(ValuesAnswer(c.meas, c.math, c.loops, c.ext));
        EXPECT_EQ(loader->LoadValues(), RZ_OK);
        EXPECT_EQ(model->measCount, c.measCount);
        EXPECT_EQ(model->mathCount, c.mathCount);
        EXPECT_EQ(model->loopCount, c.loopCount);
        EXPECT_EQ(model->extLoopCount, c.extLoopCount);
    }
}

// Which text form each item gets: LOG channels in exponent form, each kind of item with its
// own marks, no OUT for a loop of no kind; SP keeps its number and OUT its places.
TEST_F(LoaderTest, ValueTexts) {
    model->inputTypes[1] = 7;  // channel 2 is a LOG channel
    model->internalLoops[0].loopKind = 1;
    for (auto& channel : model->channels) {
        std::strcpy(channel.display.valueText[0], "old");
    }
    for (auto* loop : {&model->internalLoops[1], &model->internalLoops[0]}) {
        loop->spValue = 7.5;
        loop->spDecimals = 3;
        loop->outDecimals = 4;
    }
    link->QueueAnswer(List({
        "DATE 2024/5/01",
        "TIME 12:34:56.789",
        Item('N', "001", "+12345", "-2"),
        Item('N', "002", "+00123", "-5"),
        Item('D', "003", "-00500", "-1"),
        Item('O', "004", "-00001", "+0"),
        Item('N', "A01", "-12345678", "-4"),
        Item('D', "A02", "+00000001", "+0"),
        Item('O', "A03", "+00000001", "+0"),
        Item('N', "101", "+00250", "-1"),
        Item('N', "102", "+00300", "-1"),
        Item('N', "103", "+00455", "-1"),
        Item('O', "104", "-00001", "+0"),
        Item('E', "105", "+00001", "+0"),
        Item('N', "106", "+00100", "-2"),
        Item('O', "201", "+00001", "+0"),
        Item('O', "202", "+00001", "+0"),
        Item('E', "203", "+00001", "+0"),
        Item('E', "204", "+00001", "+0"),
        Item('N', "205", "-01234", "-3"),
        Item('N', "206", "+00050", "+0"),
    }));
    EXPECT_EQ(loader->LoadValues(), RZ_OK);
    EXPECT_STREQ(model->dataDate, "2024/5/01");
    EXPECT_STREQ(model->dataTime, "12:34:56.789");
    const auto channelText = [this](int channel) {
        return reinterpret_cast<const char*>(model->channels[channel - 1].display.valueText);
    };
    const auto& loop1 = model->internalLoops[0];
    const auto& loop2 = model->internalLoops[1];
    const auto& ext1 = model->externalLoops[0];
    const auto& ext2 = model->externalLoops[1];
    const struct {
        const char* what;
        const char* text;
        const char* expected;
    } texts[] = {
        {"channel 1", channelText(1), "123.45"},
        {"channel 2, LOG", channelText(2), "1.23E-03"},
        {"channel 4, over range", channelText(4), "-*****"},
        {"channel 5, no item", channelText(5), "old"},
        {"math channel 31", channelText(31), "-1234.5678"},
        {"math channel 32, D is no value", channelText(32), ""},
        {"math channel 33, over range", channelText(33), "+*******"},
        {"loop 1 PV", loop1.display.valueText[0], "25.0"},
        {"loop 1 SP", loop1.display.valueText[1], "30.0"},
        {"loop 1 OUT", loop1.display.valueText[2], "45.5"},
        {"loop 2 PV", loop2.display.valueText[0], "-*****"},
        {"loop 2 SP", loop2.display.valueText[1], "******"},
        {"loop 2 OUT, loop of no kind", loop2.display.valueText[2], ""},
        {"external 1 PV", ext1.display.valueText[0], "+*****"},
        {"external 1 SP", ext1.display.valueText[1], "+****"},
        {"external 2 SP", ext2.display.valueText[1], "-1.234"},
        {"external 2 OUT", ext2.display.valueText[2], "50"},
    };
    for (const auto& t : texts) {
        EXPECT_STREQ(t.text, t.expected) << t.what;
    }
    EXPECT_DOUBLE_EQ(loop1.spValue, 30.0);
    EXPECT_EQ(loop1.spDecimals, 1);
    EXPECT_EQ(loop1.outDecimals, 1);
    // An SP that is not printed keeps the stored number; the OUT of a loop of no kind is
    // still a number.
    EXPECT_DOUBLE_EQ(loop2.spValue, 7.5);
    EXPECT_EQ(loop2.spDecimals, 3);
    EXPECT_EQ(loop2.outDecimals, 2);
    EXPECT_DOUBLE_EQ(ext2.spValue, -1.234);
    EXPECT_EQ(ext2.outDecimals, 0);

    const auto before = Snapshot();
    link->QueueAnswer("E1\r\n");
    EXPECT_EQ(loader->LoadValues(), REPLY_UNEXPECTED);
    EXPECT_TRUE(Snapshot() == before) << "a failed step changes nothing";
}

// Beside each value: its unit and whether the alarm columns carry a mark; only letters are
// marks. A later answer without marks clears them.
TEST_F(LoaderTest, ValueUnitsAndAlarms) {
    const struct {
        char status;
        const char* number;
        const char* marks;  // characters 5 to 16
        const char* unit;   // characters 17 to 22
        const CValueMark* mark;
        const char* expectedUnit;
        int32_t alarm;
    } items[] = {
        {'N', "001", " ALM        ", "C     ", &model->channelMarks[0], "C", 1},
        {'N', "002", "            ", "m3/h  ", &model->channelMarks[1], "m3/h", 0},
        {'N', "003", "..--..**....", "V     ", &model->channelMarks[2], "V", 0},
        {'S', "004", " ALM*       ", "C     ", &model->channelMarks[3], "", 0},
        {'N', "A01", "  H         ", "%     ", &model->channelMarks[kMeasChannels], "%", 1},
        {'N', "101", " ALM        ", "kPa   ", &model->loopMarks[0], "kPa", 1},
        {'N', "102", "            ", "kPa   ", &model->loopMarks[1], "kPa", 0},
        {'N', "201", "            ", "MPa   ", &model->extLoopMarks[0], "MPa", 0},
    };
    std::vector<std::string> lines;
    for (const auto& item : items) {
        const bool math = item.number[0] == 'A';
        std::string line = ValueLine(item.status, item.number, item.unit,
                                     math ? "+00000001" : "+00001", "+0", math);
        lines.push_back(item.status == 'S' ? std::string("S ") + item.number
                                           : line.replace(5, 12, item.marks));
    }
    link->QueueAnswer(ListOf(static_cast<int>(lines.size()), [&lines](int i) { return lines[i]; }));
    ASSERT_EQ(loader->LoadValues(), RZ_OK);
    for (const auto& item : items) {
        EXPECT_STREQ(item.mark->unit, item.expectedUnit) << item.number;
        EXPECT_EQ(item.mark->alarm, item.alarm) << item.number;
    }
    EXPECT_EQ(model->alarmsRaised, 3);

    link->QueueAnswer(List({ValueLine('N', "001", "C", "+00001", "+0")}));
    ASSERT_EQ(loader->LoadValues(), RZ_OK);
    EXPECT_EQ(model->alarmsRaised, 0);
    EXPECT_EQ(model->loopMarks[0].alarm, 0);
}

// The fixed-length "FO" record of a model 3200 with the given points: kind byte, then present,
// manual, input and output bits; other points are absent with kind byte 0.
struct DioPoint {
    int point;  // zero-based
    int kindByte;
    bool present, manual, input, output;
};

std::string DioRecord(const std::vector<DioPoint>& points) {
    std::string record(88, '\0');
    const auto setBit = [&record](size_t field, int point) {
        record[field + point / 6] =
            static_cast<char>(record[field + point / 6] | (1 << (point % 6)));
    };
    for (const auto& p : points) {
        record[32 + p.point] = static_cast<char>(p.kindByte);
        const bool bits[] = {p.present, p.manual, p.input, p.output};
        const size_t fields[] = {26, 68, 74, 80};
        for (int f = 0; f < 4; ++f) {
            if (bits[f]) {
                setBit(fields[f], p.point);
            }
        }
    }
    return record;
}

void PresetDio(CInstrumentModel& model) {
    for (auto& point : model.dio) {
        point.present = point.moduleKind = point.modeCode = point.inputState = 5;
        point.outValue = 42;
        std::strcpy(point.display.typeText, "old");
        std::strcpy(point.display.modeText, "old");
        std::strcpy(point.display.valueText[0], "X");
        std::strcpy(point.display.valueText[1], "Y");
        std::strcpy(point.display.valueText[2], "Z");
    }
}

// Present, module kind, type, mode, input, middle and output texts, mode code, input state.
std::string DioState(const CDioRecord& p) {
    EXPECT_EQ(p.outValue, 42) << "the output value belongs to the loop panel";
    const auto& d = p.display;
    return Row(p.present, p.moduleKind, d.typeText, d.modeText, d.valueText[0], d.valueText[1],
               d.valueText[2], p.modeCode, p.inputState);
}

TEST_F(LoaderTest, DioStatus) {
    const std::vector<DioPoint> points = {
        {0, 3, false, true, true, true},  {1, 0, true, true, true, true},
        {2, 1, true, true, true, true},   {3, 2, true, false, false, false},
        {4, 3, true, false, true, false}, {5, 4, true, true, false, true},
        {6, 5, true, true, true, true},   {7, 6, true, false, false, true},
        {8, 9, true, false, true, true},
    };
    const char* const absent = "0|7|DIO|||Y||5|5";  // texts empty, nothing else written
    const char* const expected[] = {
        absent,
        "1|0|DI-1||1|||1|1",  // an input module shows no mode
        "1|1|DO-1|MAN|||1|1|1",
        "1|2|DO-2|AUT|||0|0|0",
        "1|3|DIO-11|AUT|1||0|0|1",
        "1|4|DIO-12|MAN|0||1|1|0",
        "1|5|DO-2P|MAN|||1|1|1",
        "1|6|DIO-12P|AUT|0||1|0|0",
        "1|7|DIO|AUT||||0|1",  // kind byte 9 ends the kind scan: this and later points are kind 7
    };
    PresetDio(*model);
    link->QueueAnswer(DioRecord(points));
    EXPECT_EQ(loader->LoadDioStatus(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"FO"});
    for (int p = 0; p < 9; ++p) {
        EXPECT_EQ(DioState(model->dio[p]), expected[p]) << "point " << p + 1;
    }
    // An error line is shown and every point counts as absent; a record of the wrong length
    // changes nothing.
    PresetDio(*model);
    link->QueueAnswer(std::string("E1\r\n\0", 5));
    EXPECT_EQ(loader->LoadDioStatus(), RZ_OK);
    EXPECT_EQ(shown, std::vector<std::string>{"E1"});
    EXPECT_EQ(DioState(model->dio[35]), absent);
    const auto before = Snapshot();
    link->QueueAnswer(DioRecord({}).substr(0, 87));
    EXPECT_EQ(loader->LoadDioStatus(), REPLY_UNEXPECTED);
    EXPECT_TRUE(Snapshot() == before);
}

TEST_F(LoaderTest, DioStatusCounts) {
    const struct {
        int32_t dioCount;
        RzResult result;
        int lastWritten;  // zero-based; the next point stays as preset
    } cases[] = {{12, RZ_OK, 11}, {40, LINK_E_GENERAL, 35}, {0, RZ_OK, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dioCount);
        Reset(3200, 3);
        model->dioCount = c.dioCount;
        PresetDio(*model);
        link->QueueAnswer(DioRecord({{11, 6, true, false, true, true}}));
        EXPECT_EQ(loader->LoadDioStatus(), c.result);
        if (c.lastWritten >= 0) {
            EXPECT_EQ(model->dio[c.lastWritten].present, c.lastWritten == 11 ? 1 : 0);
        }
        if (c.lastWritten + 1 < kDioPoints) {
            EXPECT_EQ(model->dio[c.lastWritten + 1].present, 5);
        }
    }
}

struct PatternPreset {
    int pattern;
    int32_t exists, changed, state;
};

TEST_F(LoaderTest, PatternStates) {
    const PatternPreset presets[] = {{1, 1, 0, 2}, {2, 1, 1, 1}, {5, 1, 0, 3}, {30, 1, 0, 4}};
    for (const auto& p : presets) {
        model->patterns[p.pattern - 1] = {p.exists, p.changed, p.state};
    }
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
        {"wrong format", 3, PatternList({{1, 1, 1}}, 2), LINK_E_GENERAL},
        {"time-out", 3, "", LINK_E_TIMEOUT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(3200, c.firmwareMajor);
        model->patterns[0] = {1, 0, 2};
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
        int32_t pattern, record;
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
        EXPECT_EQ(Sent(), c.request != nullptr ? Requests{c.request} : Requests{});
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
    // Output type, places, low and high.
    const char* const expected[] = {
        "1|1|-5|50",  // the last PID number reported for the loop
        "4|1|0|100",  // ON/OFF control
        "1|2|1|2",    // Retrans: limits come from the retransmission span
        "3|1|0|100",  // no limits reported: the full range
        "0|1|0|100",  // no output type
        "9|2|1|2",    // beyond the loop count
    };
    for (int j = 0; j < kInternalLoops; ++j) {
        const auto& l = model->internalLoops[j];
        EXPECT_EQ(Row(l.outputType, l.outDecimals, l.outLow, l.outHigh), expected[j])
            << "loop " << j + 1;
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
    // Loop 1: the limits of the set point number in use. The others keep theirs: not in use,
    // OTHER controller, no set point number, a number with no limits, beyond the count.
    EXPECT_DOUBLE_EQ(model->externalLoops[0].outLow, -10.0);
    EXPECT_DOUBLE_EQ(model->externalLoops[0].outHigh, 100.0);
    for (int j = 1; j < 6; ++j) {
        EXPECT_DOUBLE_EQ(model->externalLoops[j].outLow, -1.0) << "external loop " << j + 1;
        EXPECT_DOUBLE_EQ(model->externalLoops[j].outHigh, -2.0) << "external loop " << j + 1;
    }
    // The first failure ends the step.
    link->QueueAnswer(List({"DASP1,PID1"}));
    link->QueueReceiveError(LINK_E_BROKEN);
    EXPECT_EQ(loader->LoadExtOutputRanges(), LINK_E_BROKEN);
    EXPECT_EQ(Sent().size(), 6u);
}

TEST_F(LoaderTest, ScreenImage) {
    const std::string image("\x89PNG\r\n\x1a\nDATA", 12);
    link->QueueAnswer(image);
    EXPECT_EQ(loader->LoadScreenImage(), RZ_OK);
    EXPECT_EQ(model->imageData, commands->Get<CCmdFC>()->imageBuffer);
    ASSERT_EQ(model->imageLength, image.size());
    // A failed fetch leaves the last image in place.
    link->QueueAnswer(std::string("E1\r\n\0", 5));
    EXPECT_EQ(loader->LoadScreenImage(), REPLY_UNEXPECTED);
    EXPECT_EQ(model->imageLength, image.size());
    EXPECT_EQ(std::memcmp(model->imageData, image.data(), image.size()), 0);
}

}  // namespace
