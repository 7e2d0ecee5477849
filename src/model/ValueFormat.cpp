#include "model/ValueFormat.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Strings.h"

namespace {

// An exponent text has at most three characters, so no item asks for more places than this;
// larger requests print with this many, which no text field can show anyway.
constexpr int32_t kMaxPrintedDecimals = 99;
// Exponents beyond this make every mantissa 0 or infinite; clamping keeps -exponent in range.
constexpr int64_t kExponentLimit = 100000;
constexpr int kMaxIntegerDigits = 18;

struct CMarks {
    const char* overNegative;
    const char* overPositive;
    const char* error;
};

const CMarks& MarksFor(ValueTarget target) {
    static const CMarks kMeasurement = {"-*****", "+*****", "******"};
    static const CMarks kMath = {"-*******", "+*******", "********"};
    static const CMarks kInternal = {"-*****", "+*****", "******"};
    // The external PV has the six-character over-range marks but the five-character error
    // mark; SP and OUT have five-character marks throughout.
    static const CMarks kExternalPv = {"-*****", "+*****", "*****"};
    static const CMarks kExternalSetOut = {"-****", "+****", "*****"};
    switch (target) {
        case ValueTarget::kMeasurement:
            return kMeasurement;
        case ValueTarget::kMath:
            return kMath;
        case ValueTarget::kInternalLoop:
            return kInternal;
        case ValueTarget::kExternalPv:
            return kExternalPv;
        case ValueTarget::kExternalSetOut:
            break;
    }
    return kExternalSetOut;
}

void Terminate(char* text, size_t size) {
    if (size > 0) {
        text[size - 1] = '\0';
    }
}

}  // namespace

int64_t ReadItemInteger(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    while (*p == ' ') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (digits < kMaxIntegerDigits) {
            value = value * 10 + (*p - '0');
            ++digits;
        }
    }
    return negative ? -value : value;
}

namespace {

// The powers of ten the instruments' items use, computed once: the values every cycle prints.
constexpr int32_t kTabledExponent = 30;

double PowerOfTen(int32_t exponent) {
    static const auto table = [] {
        std::array<double, 2 * kTabledExponent + 1> powers{};
        for (int32_t e = -kTabledExponent; e <= kTabledExponent; ++e) {
            powers[static_cast<size_t>(e + kTabledExponent)] = std::pow(10.0, e);
        }
        return powers;
    }();
    if (exponent < -kTabledExponent || exponent > kTabledExponent) {
        return std::pow(10.0, exponent);
    }
    return table[static_cast<size_t>(exponent + kTabledExponent)];
}

// Mantissas below this print with `decimals` places straight from their digits: the double
// the item stands for is nearer to that decimal than half its last place, so "%.*f" would
// print the same digits.
constexpr int64_t kExactMantissa = 1'000'000'000'000'000;
constexpr int32_t kExactDecimals = 20;

// The mantissa's digits with a point before the last `decimals` of them, cut to the field as
// snprintf cuts.
void FormatDigits(int64_t mantissa, int32_t decimals, char* text, size_t size) {
    char digits[24];
    int count = 0;
    uint64_t magnitude = static_cast<uint64_t>(mantissa < 0 ? -mantissa : mantissa);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count <= decimals) {
        digits[count++] = '0';
    }
    char printed[48];
    size_t length = 0;
    if (mantissa < 0) {
        printed[length++] = '-';
    }
    for (int i = count - 1; i >= 0; --i) {
        printed[length++] = digits[i];
        if (i == decimals && decimals > 0) {
            printed[length++] = '.';
        }
    }
    const size_t kept = length < size - 1 ? length : size - 1;
    std::memcpy(text, printed, kept);
    text[kept] = '\0';
}

}  // namespace

double ItemValue(int64_t mantissa, int32_t exponent) {
    if (mantissa == 0) {
        return 0.0;
    }
    return PowerOfTen(exponent) * static_cast<double>(mantissa);
}

void FormatFixed(double value, int32_t decimals, char* text, size_t size) {
    if (size == 0) {
        return;
    }
    int precision = decimals < 0 ? 0 : decimals;
    if (precision > kMaxPrintedDecimals) {
        precision = kMaxPrintedDecimals;
    }
    text[0] = '\0';
    if (std::snprintf(text, size, "%.*f", precision, value) < 0) {
        text[0] = '\0';
    }
    Terminate(text, size);
}

void FormatExponent(double value, char* text, size_t size) {
    if (size == 0) {
        return;
    }
    // "%.2E" of any double fits easily: sign, "d.dd", "E", sign and up to three digits.
    char printed[48];
    if (std::snprintf(printed, sizeof(printed), "%.2E", value) < 0) {
        printed[0] = '\0';
    }
    char* mark = std::strchr(printed, 'E');
    if (mark != nullptr) {
        const int64_t exponent = ReadItemInteger(mark + 1);
        const long long magnitude = exponent < 0 ? -exponent : exponent;
        const size_t kept = static_cast<size_t>(mark - printed) + 1;
        std::snprintf(mark + 1, sizeof(printed) - kept, "%c%02lld", exponent < 0 ? '-' : '+',
                      magnitude);
    }
    CopyText(text, size, printed);
}

bool IsNumericStatus(ValueTarget target, char status) {
    return status == 'N' || (status == 'D' && target == ValueTarget::kMeasurement);
}

const char* StatusMark(ValueTarget target, char status, const char* mantissa) {
    const CMarks& marks = MarksFor(target);
    if (status == 'O') {
        const bool negative = mantissa != nullptr && mantissa[0] == '-';
        return negative ? marks.overNegative : marks.overPositive;
    }
    if (status == 'E') {
        return marks.error;
    }
    return nullptr;
}

bool FormatValueItem(ValueTarget target, const CRawValue& item, bool exponentForm, char* text,
                     size_t size, CValueNumber* number) {
    if (size == 0) {
        return false;
    }
    text[0] = '\0';
    const char status = item.status != nullptr ? item.status[0] : '\0';
    if (!IsNumericStatus(target, status)) {
        const char* mark = StatusMark(target, status, item.mantissa);
        CopyText(text, size, mark != nullptr ? mark : "");
        return false;
    }
    const int64_t mantissa = ReadItemInteger(item.mantissa);
    int64_t exponent = ReadItemInteger(item.exponent);
    if (exponent > kExponentLimit) {
        exponent = kExponentLimit;
    } else if (exponent < -kExponentLimit) {
        exponent = -kExponentLimit;
    }
    const double value = ItemValue(mantissa, static_cast<int32_t>(exponent));
    if (!std::isfinite(value)) {
        CopyText(text, size, StatusMark(target, 'O', mantissa < 0 ? "-" : "+"));
        return false;
    }
    const auto decimals = static_cast<int32_t>(-exponent);
    if (exponentForm) {
        FormatExponent(value, text, size);
    } else if (decimals >= 0 && decimals <= kExactDecimals && mantissa > -kExactMantissa &&
               mantissa < kExactMantissa) {
        FormatDigits(mantissa, decimals, text, size);
    } else {
        FormatFixed(value, decimals, text, size);
    }
    if (number != nullptr) {
        number->value = value;
        number->decimals = decimals;
    }
    return true;
}

const char* InternalLoopModeText(int32_t code) {
    switch (code) {
        case 0:
            return "AUT";
        case 1:
            return "MAN";
        case 2:
            return "CAS";
        default:
            return "";
    }
}

const char* ExternalLoopModeText(int32_t code) {
    const char* text = InternalLoopModeText(code);
    return text[0] != '\0' ? text : "***";
}

const char* DioModeText(int32_t code) {
    switch (code) {
        case 0:
            return "AUT";
        case 1:
            return "MAN";
        default:
            return "";
    }
}

void FormatDioState(int32_t state, char* text, size_t size) {
    if (size == 0) {
        return;
    }
    std::snprintf(text, size, "%d", state);
    Terminate(text, size);
}
