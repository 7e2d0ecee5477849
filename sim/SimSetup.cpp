#include "SimSetup.h"

#include <cstdio>

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

bool ReadDigits(const std::string& text, size_t at, size_t count, int64_t* out) {
    int64_t value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    *out = value;
    return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

template <typename Table>
int HighestConfigured(const Table& table) {
    int highest = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].configured) {
            highest = static_cast<int>(i) + 1;
        }
    }
    return highest;
}

}  // namespace

CSimSetup::CSimSetup() {
    SimParseClock("2024/01/01 00:00:00", &clockStart);
    for (size_t i = 0; i < messages.size(); ++i) {
        messages[i] = "MESSAGE " + std::to_string(i + 1);
    }
}

int SimMeasCount(const CSimSetup& setup) {
    return HighestConfigured(setup.channels);
}

int SimMathCount(const CSimSetup& setup) {
    return HighestConfigured(setup.mathChannels);
}

int SimLoopCount(const CSimSetup& setup) {
    return HighestConfigured(setup.loops);
}

int SimExtLoopCount(const CSimSetup& setup) {
    return HighestConfigured(setup.extLoops);
}

bool SimParseClock(const std::string& text, int64_t* seconds) {
    // YYYY/MM/DD HH:MM:SS
    if (text.size() != 19 || text[4] != '/' || text[7] != '/' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!ReadDigits(text, 0, 4, &y) || !ReadDigits(text, 5, 2, &mo) ||
        !ReadDigits(text, 8, 2, &d) || !ReadDigits(text, 11, 2, &h) ||
        !ReadDigits(text, 14, 2, &mi) || !ReadDigits(text, 17, 2, &s)) {
        return false;
    }
    static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] ||
        (mo == 2 && d == 29 && !leap) || h > 23 || mi > 59 || s > 59) {
        return false;
    }
    *seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

std::string SimDateText(int64_t seconds) {
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(FloorDiv(seconds, 86400), &y, &m, &d);
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", static_cast<int>(y % 100),
                  static_cast<int>(m), static_cast<int>(d));
    return text;
}

std::string SimTimeText(int64_t seconds, int milliseconds) {
    const int64_t inDay = seconds - FloorDiv(seconds, 86400) * 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(inDay / 3600),
                  static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60),
                  milliseconds % 1000);
    return text;
}
