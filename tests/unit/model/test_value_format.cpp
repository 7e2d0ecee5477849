#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/ValueFormat.h"

namespace {

constexpr char kCanary = '#';

// A text field of `size` bytes followed by guard bytes, pre-filled so that a missing
// terminator or a write past the field shows.
struct GuardedField {
    explicit GuardedField(size_t fieldSize) : size(fieldSize) { std::memset(bytes, kCanary, 64); }
    char* text() { return bytes; }
    bool GuardIntact() const {
        for (size_t i = size; i < sizeof(bytes); ++i) {
            if (bytes[i] != kCanary) {
                return false;
            }
        }
        return true;
    }
    size_t size;
    char bytes[64];
};

size_t FieldSize(ValueTarget target) {
    return target == ValueTarget::kMeasurement || target == ValueTarget::kMath
               ? kChannelValueTextSize
               : 8;
}

struct ItemCase {
    ValueTarget target;
    const char* status;
    const char* mantissa;
    const char* exponent;
    bool exponentForm;
    const char* text;
    double value;
    int32_t decimals;
};

TEST(ValueFormat, ItemsPrintedAsNumbers) {
    constexpr auto kMeas = ValueTarget::kMeasurement;
    constexpr auto kMath = ValueTarget::kMath;
    constexpr auto kLoop = ValueTarget::kInternalLoop;
    const std::vector<ItemCase> cases = {
        {kMeas, "N", "+12345", "-2", false, "123.45", 123.45, 2},
        {kLoop, "N", "-01234", "-4", false, "-0.1234", -0.1234, 4},
        {kLoop, "N", "+00007", "-3", false, "0.007", 0.007, 3},  // leading zeros of the fraction
        {kLoop, "N", "-00000", "-1", false, "0.0", 0.0, 1},      // negative zero prints unsigned
        // A positive exponent prints no decimals; D is normal for a measurement channel.
        {kMeas, "N", "+00012", "+2", false, "1200", 1200.0, -2},
        {kMeas, "D", "+00042", "-1", false, "4.2", 4.2, 1},
        {kMath, "N", "-12345678", "-4", false, "-1234.5678", -1234.5678, 4},
        {kLoop, "N", "  +15", "-1", false, "1.5", 1.5, 1},  // blanks before the mantissa
        // Decimals beyond the field: printed, then cut to the field.
        {kMeas, "N", "+00012", "-99", false, "0.000000000000000000000", 12e-99, 99},
        {kMeas, "N", "+00000", "999", false, "0", 0.0, -999},  // zero mantissa with a huge exponent
        // Exponent form (LOG channels).
        {kMeas, "N", "+00123", "-5", true, "1.23E-03", 0.00123, 5},
        {kMeas, "N", "+12355", "+0", true, "1.24E+04", 12355.0, 0},
        {kMeas, "N", "+99960", "+0", true, "1.00E+05", 99960.0, 0},  // carries into the exponent
        {kMeas, "N", "+00001", "100", true, "1.00E+100", 1e100, -100},
        {kMeas, "N", "+00001", "-100", true, "1.00E-100", 1e-100, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.mantissa << " E" << c.exponent);
        GuardedField field(FieldSize(c.target));
        CValueNumber number{-1.0, -1};
        EXPECT_TRUE(FormatValueItem(c.target, {c.status, c.mantissa, c.exponent}, c.exponentForm,
                                    field.text(), field.size, &number));
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_TRUE(field.GuardIntact());
        EXPECT_DOUBLE_EQ(number.value, c.value);
        EXPECT_EQ(number.decimals, c.decimals);
    }
}

struct MarkCase {
    ValueTarget target;
    const char* status;
    const char* mantissa;
    const char* text;
};

TEST(ValueFormat, StatusMarksPerTarget) {
    constexpr auto kMeas = ValueTarget::kMeasurement;
    constexpr auto kMath = ValueTarget::kMath;
    constexpr auto kLoop = ValueTarget::kInternalLoop;
    constexpr auto kExtPv = ValueTarget::kExternalPv;
    constexpr auto kExtSo = ValueTarget::kExternalSetOut;
    // The sign test looks at the first character only.
    const MarkCase cases[] = {{kMeas, "O", "-00001", "-*****"},
                              {kMeas, "O", "+00001", "+*****"},
                              {kMeas, "E", "-00001", "******"},
                              {kMeas, "S", "+00001", ""},
                              {kMath, "O", "-00000001", "-*******"},
                              {kMath, "E", "+00000001", "********"},
                              {kMath, "D", "+00000001", ""},
                              {kLoop, "O", "-00001", "-*****"},
                              {kLoop, "E", "+00001", "******"},
                              {kLoop, "D", "+00001", ""},
                              {kExtPv, "O", "-00001", "-*****"},
                              {kExtPv, "E", "+00001", "*****"},
                              {kExtSo, "O", "-00001", "-****"},
                              {kExtSo, "E", "+00001", "*****"},
                              {kExtSo, "", "+00001", ""},
                              {kLoop, "O", "-00000", "-*****"},
                              {kLoop, "O", " -0001", "+*****"},
                              {kExtSo, "O", "", "+****"},
                              {kMeas, "n", "+00001", ""},
                              {kMeas, "e", "+00001", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "target " << static_cast<int>(c.target) << " status '"
                                          << c.status << "' mantissa '" << c.mantissa << "'");
        GuardedField field(FieldSize(c.target));
        std::strcpy(field.text(), "old");  // a previous text never survives
        CValueNumber number{7.5, 3};
        EXPECT_FALSE(FormatValueItem(c.target, {c.status, c.mantissa, "-1"}, false, field.text(),
                                     field.size, &number));
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_TRUE(field.GuardIntact());
        EXPECT_EQ(number.value, 7.5) << "a value that is not printed stores no number";
        EXPECT_EQ(number.decimals, 3);
    }
}

TEST(ValueFormat, ProductsBeyondDoubleShowTheOverRangeMark) {
    const struct {
        ValueTarget target;
        const char* mantissa;
        const char* text;
    } cases[] = {
        {ValueTarget::kInternalLoop, "+00001", "+*****"},
        {ValueTarget::kExternalSetOut, "-00001", "-****"},
        {ValueTarget::kMath, "+00000009", "+*******"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.target));
        GuardedField field(FieldSize(c.target));
        CValueNumber number{2.0, 2};
        EXPECT_FALSE(FormatValueItem(c.target, {"N", c.mantissa, "999"}, false, field.text(),
                                     field.size, &number));
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_EQ(number.value, 2.0);
        EXPECT_EQ(number.decimals, 2);
    }
}

TEST(ValueFormat, TextsAreCutToTheirField) {
    const struct {
        const char* name;
        ValueTarget target;
        const char* mantissa;
        const char* exponent;
        bool exponentForm;
        size_t size;
        const char* text;
    } cases[] = {
        {"seven characters fit a loop field", ValueTarget::kInternalLoop, "+999999", "-2", false, 8,
         "9999.99"},
        {"eight characters are cut", ValueTarget::kInternalLoop, "-999999", "-2", false, 8,
         "-9999.9"},
        {"large positive exponent", ValueTarget::kExternalPv, "+999999", "+5", false, 8, "9999990"},
        // 12 x 10^22 is exact in a double; its 24 digits lose the last one.
        {"huge number in a channel field", ValueTarget::kMath, "+00000012", "22", false, 24,
         "12000000000000000000000"},
        {"exponent form in a small field", ValueTarget::kMeasurement, "+00123", "-5", true, 6,
         "1.23E"},
        {"one byte holds only the terminator", ValueTarget::kInternalLoop, "+00001", "+0", false, 1,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedField field(c.size);
        FormatValueItem(c.target, {"N", c.mantissa, c.exponent}, c.exponentForm, field.text(),
                        field.size, nullptr);
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_TRUE(field.GuardIntact());
    }
}

// Items print as "%.*f" prints the number they stand for, whatever path the printing takes.
TEST(ValueFormat, FixedTextsMatchPrintfOfTheValue) {
    const int64_t mantissas[] = {1,
                                 -7,
                                 12345,
                                 -987654321,
                                 999999999999999,
                                 -100000000000000,
                                 1000000000000000,
                                 123456789012345678};
    for (const int64_t m : mantissas) {
        for (int e = -22; e <= 3; ++e) {
            for (const size_t size : {size_t{8}, size_t{48}}) {
                SCOPED_TRACE(::testing::Message() << m << "E" << e << " in " << size);
                char expected[64];
                std::snprintf(expected, size, "%.*f", e < 0 ? -e : 0,
                              std::pow(10.0, e) * static_cast<double>(m));
                const std::string mantissa = std::to_string(m);
                const std::string exponent = std::to_string(e);
                GuardedField field(size);
                FormatValueItem(ValueTarget::kMath, {"N", mantissa.c_str(), exponent.c_str()},
                                false, field.text(), field.size, nullptr);
                EXPECT_STREQ(field.text(), expected);
                EXPECT_TRUE(field.GuardIntact());
            }
        }
    }
}

TEST(ValueFormat, MissingTextsCountAsEmpty) {
    char text[8] = "old";
    EXPECT_FALSE(FormatValueItem(ValueTarget::kInternalLoop, {nullptr, nullptr, nullptr}, false,
                                 text, sizeof(text), nullptr));
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(FormatValueItem(ValueTarget::kInternalLoop, {"N", nullptr, nullptr}, false, text,
                                sizeof(text), nullptr));
    EXPECT_STREQ(text, "0");
}

TEST(ValueFormat, FixedAndExponentPrinting) {
    const struct {
        const char* name;
        double value;
        int32_t decimals;  // INT_MIN selects the exponent form
        size_t size;
        const char* text;
    } cases[] = {
        {"rounds half up away from the tie", 1.26, 1, 8, "1.3"},
        {"rounds down", -2.349, 2, 8, "-2.35"},
        {"negative places print none", 123.456, -1, 8, "123"},
        {"places far beyond any field", 1.0, INT_MAX, 8, "1.00000"},
        {"most negative places", 7.9, INT_MIN + 1, 8, "8"},
        {"cut integer part", 1234567.0, 2, 8, "1234567"},
        {"exponent form of a tiny value", 1e-300, INT_MIN, 24, "1.00E-300"},
        {"exponent form of a negative value", -0.00123, INT_MIN, 24, "-1.23E-03"},
        {"exponent form cut", 45600.0, INT_MIN, 4, "4.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedField field(c.size);
        if (c.decimals == INT_MIN) {
            FormatExponent(c.value, field.text(), field.size);
        } else {
            FormatFixed(c.value, c.decimals, field.text(), field.size);
        }
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_TRUE(field.GuardIntact());
    }
    // A zero-sized field is left alone.
    GuardedField none(0);
    FormatFixed(1.0, 1, none.text(), 0);
    FormatExponent(1.0, none.text(), 0);
    FormatDioState(1, none.text(), 0);
    EXPECT_TRUE(none.GuardIntact());
}

TEST(ValueFormat, ReadsItemIntegers) {
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {
        {"+00123", 123}, {"-00123", -123},
        {"-0", 0},       {"  -42x", -42},
        {"7", 7},        {"", 0},
        {"abc", 0},      {"+", 0},
        {"- 5", 0},      {"12345678901234567890123", 123456789012345678},
        {nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(ReadItemInteger(c.text), c.value);
    }
}

TEST(ValueFormat, DioStates) {
    const struct {
        int32_t state;
        size_t size;
        const char* text;
    } cases[] = {
        {0, 8, "0"},
        {-5, 8, "-5"},
        {INT_MIN, 8, "-214748"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        GuardedField field(c.size);
        FormatDioState(c.state, field.text(), field.size);
        EXPECT_STREQ(field.text(), c.text);
        EXPECT_TRUE(field.GuardIntact());
    }
}

}  // namespace
