#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/InstrumentModel.h"
#include "model/Naming.h"

namespace {

TEST(Naming, ChannelNumbers) {
    constexpr auto kNo = ChannelObject::kNone;
    constexpr auto kMeas = ChannelObject::kMeasurement;
    constexpr auto kMath = ChannelObject::kMath;
    constexpr auto kInt = ChannelObject::kInternalLoop;
    constexpr auto kExt = ChannelObject::kExternalLoop;
    constexpr int32_t kPv = kQuantityPv, kSp = kQuantitySp, kOut = kQuantityOut;
    const struct {
        int32_t number;
        ChannelObject object;
        int32_t index;
        int32_t quantity;
    } cases[] = {{0, kNo, 0, 0},        {-5, kNo, 0, 0},      {1, kMeas, 0, 0},
                 {7, kMeas, 6, 0},      {30, kMeas, 29, 0},   {31, kMath, 0, 0},
                 {60, kMath, 29, 0},    {61, kNo, 0, 0},      {100, kNo, 0, 0},
                 {101, kInt, 0, kPv},   {102, kInt, 0, kSp},  {103, kInt, 0, kOut},
                 {105, kInt, 1, kSp},   {118, kInt, 5, kOut}, {119, kNo, 0, 0},
                 {200, kNo, 0, 0},      {201, kExt, 0, kPv},  {246, kExt, 15, kPv},
                 {248, kExt, 15, kOut}, {249, kNo, 0, 0},     {INT_MAX, kNo, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        const CChannelPosition position = LocateChannel(c.number);
        EXPECT_EQ(position.object, c.object);
        EXPECT_EQ(position.index, c.index);
        EXPECT_EQ(position.quantity, c.quantity);
    }
}

TEST(Naming, DisplayGroupMemberKinds) {
    const struct {
        int32_t number;
        int32_t kind;
    } cases[] = {
        {INT_MIN, 1}, {-1, 1},  {0, 1},   {1, 1},   {30, 1},  {31, 2},
        {60, 2},      {61, 0},  {100, 0}, {101, 3}, {118, 3}, {119, 0},
        {150, 0},     {200, 0}, {201, 4}, {248, 4}, {249, 0}, {INT_MAX, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(DisplayMemberKind(c.number), c.kind);
    }
}

TEST(Naming, TrimmedNames) {
    const struct {
        const char* name;
        const char* source;
        size_t size;
        const char* stored;
        bool kept;
    } cases[] = {
        {"trailing blanks", "Boiler   ", 17, "Boiler", true},
        {"blanks only", "     ", 17, "", false},
        {"empty", "", 17, "", false},
        {"inner and leading blanks stay", " Feed  pump ", 17, " Feed  pump", true},
        {"only blanks are trimmed", "Tab\t", 17, "Tab\t", true},
        {"cut to sixteen, then trimmed", "ABCDEFGHIJKLMNO  XYZ", 17, "ABCDEFGHIJKLMNO", true},
        {"sixteen characters", "0123456789abcdef", 17, "0123456789abcdef", true},
        {"longer than the field", "0123456789abcdefGH", 17, "0123456789abcdef", true},
        {"null source", nullptr, 17, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char field[kNameSize + 4];
        std::memset(field, '#', sizeof(field));
        EXPECT_EQ(StoreTrimmed(field, c.size, c.source), c.kept);
        EXPECT_STREQ(field, c.stored);
        for (size_t i = c.size; i < sizeof(field); ++i) {
            EXPECT_EQ(field[i], '#') << "byte " << i << " beyond the field written";
        }
    }
}

TEST(Naming, DefaultNamesAndTags) {
    const struct {
        const char* name;
        void (*format)(int32_t, char*, size_t);
        int32_t number;
        const char* text;
    } cases[] = {
        {"measurement channel tag", FormatDefaultTag, 7, "7"},
        {"external loop OUT tag", FormatDefaultTag, 248, "248"},
        {"internal loop 3", FormatInternalLoopName, 3, "INT-03"},
        {"external loop 12", FormatExternalLoopName, 12, "EXT-12"},
        {"external loop 1", FormatExternalLoopName, 1, "EXT-01"},
        {"widest number", FormatInternalLoopName, INT_MIN, "INT--2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char field[kNameSize];
        std::memset(field, '#', sizeof(field));
        c.format(c.number, field, sizeof(field));
        EXPECT_STREQ(field, c.text);
    }
    char small[5];
    FormatExternalLoopName(12, small, sizeof(small));
    EXPECT_STREQ(small, "EXT-");
}

TEST(Naming, DioDefaultNames) {
    const struct {
        const char* pointText;
        int32_t kind;
        int32_t number;
        const char* name;
    } cases[] = {
        {"RO005", 1, 5, "RO-005"},
        {"RI005", 0, 5, "RI-005"},
        {"R", 7, 5, "RO-005"},  // the R tests come before the kind 7 test
        {"R", 3, 12, "RO-012"},
        {"DI001", 0, 1, "DI-001"},
        {"DO002", 1, 2, "DO-002"},
        {"DO003", 2, 3, "DO-003"},
        {"DO004", 5, 4, "DO-004"},
        {"DX007", 3, 7, "DIO-007"},
        {"DX008", 4, 8, "DIO-008"},
        {"DX009", 6, 9, "DIO-009"},
        {"DX010", 9, 10, "DIO-010"},
        {"DX011", 7, 11, ""},
        {"r005", 1, 5, "DO-005"},  // only a capital R
        {"", 0, 1234, "DI-1234"},
        {nullptr, 1, 6, "DO-006"},
        {"X", 3, INT_MIN, "DIO--2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pointText != nullptr ? c.pointText : "(null)") + " kind " +
                     std::to_string(c.kind));
        char field[kNameSize];
        std::strcpy(field, "old");
        FormatDioDefaultName(c.pointText, c.kind, c.number, field, sizeof(field));
        EXPECT_STREQ(field, c.name);
    }
}

// Which records carry which type text after WriteTypeTexts, for a set of counts.
TEST(Naming, TypeTextsByCount) {
    const struct {
        const char* name;
        int32_t meas, math, loops, extLoops, dio;
        const char* measText;
        const char* mathText;
        const char* loopText;
        const char* extText;
        const char* dioText;
    } cases[] = {
        {"everything", 1, 1, 1, 1, 12, "Meas-CH", "Math-CH", "Int-Loop", "Ext-Loop", "DIO"},
        {"no channels", 0, 0, 6, 16, 36, "old", "old", "Int-Loop", "Ext-Loop", "DIO"},
        {"no loops", 30, 30, 0, 0, 36, "Meas-CH", "Math-CH", "old", "old", "DIO"},
        {"negative counts", -1, -1, -1, -1, -1, "old", "old", "old", "old", "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = std::make_unique<CInstrumentModel>();
        const auto marked = [](auto& records) {
            for (auto& r : records) {
                std::strcpy(r.display.typeText, "old");
                std::strcpy(r.display.name, "Boiler");
            }
        };
        marked(model->channels);
        marked(model->internalLoops);
        marked(model->externalLoops);
        marked(model->dio);
        model->measCount = c.meas;
        model->mathCount = c.math;
        model->loopCount = c.loops;
        model->extLoopCount = c.extLoops;
        model->dioCount = c.dio;
        WriteTypeTexts(*model);
        // Every record of the kind's capacity, not only the counted ones.
        for (int i = 0; i < kMeasChannels; ++i) {
            EXPECT_STREQ(model->channels[i].display.typeText, c.measText) << "channel " << i + 1;
        }
        for (int i = kMeasChannels; i < kChannels; ++i) {
            EXPECT_STREQ(model->channels[i].display.typeText, c.mathText) << "channel " << i + 1;
        }
        const auto expect = [](const auto& records, const char* text) {
            for (const auto& r : records) {
                EXPECT_STREQ(r.display.typeText, text);
                EXPECT_STREQ(r.display.name, "Boiler") << "names are not type texts";
            }
        };
        expect(model->internalLoops, c.loopText);
        expect(model->externalLoops, c.extText);
        expect(model->dio, c.dioText);
    }
}

}  // namespace
