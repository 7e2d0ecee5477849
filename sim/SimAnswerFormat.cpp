#include "SimAnswerFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string SimErrorLine(std::string_view reason) {
    std::string line = "E1";
    if (!reason.empty()) {
        line += ' ';
        line += reason;
    }
    return line + "\r\n";
}

void CSimListAnswer::Add(std::string_view line) {
    text_ += line;
    text_ += "\r\n";
}

std::string CSimListAnswer::Finish() && {
    text_ += "EN\r\n";
    return std::move(text_);
}

std::string SimField(const std::string& text) {
    return text.empty() ? std::string(" ") : text;
}

std::string SimDottedRecord(unsigned a, unsigned b, unsigned c, unsigned d) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u.%03u.%03u.%03u", a & 255u, b & 255u, c & 255u, d & 255u);
    return text;
}

std::string SimBinaryBlocks(std::string_view payload, size_t blockPayload) {
    if (blockPayload == 0) {
        blockPayload = payload.size();
    }
    std::string out;
    size_t offset = 0;
    uint32_t number = 0;
    do {
        const size_t size = std::min(blockPayload, payload.size() - offset);
        const bool last = offset + size == payload.size();
        const uint32_t length = static_cast<uint32_t>(size + 6);
        out += "EB\r\n";
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += static_cast<char>((length >> shift) & 0xFF);
        }
        out += static_cast<char>(last ? 1 : 0);
        for (int shift = 16; shift >= 0; shift -= 8) {
            out += static_cast<char>((number >> shift) & 0xFF);
        }
        out.append(payload.substr(offset, size));
        out += "\r\n";
        offset += size;
        ++number;
    } while (offset < payload.size());
    return out;
}

int64_t SimScaled(double value, int decimals) {
    return std::llround(value * std::pow(10.0, decimals));
}

double SimUnscaled(int64_t scaled, int decimals) {
    return static_cast<double>(scaled) / std::pow(10.0, decimals);
}

std::string SimValueLine(const CSimValueItem& item) {
    // Status, blank, channel field, twelve characters of alarm marks, six of unit, then the
    // mantissa and "E" with the exponent.
    char alarm[16];
    std::snprintf(alarm, sizeof alarm, "%-12s",
                  item.alarm ? (item.unacknowledged ? " ALM*" : " ALM") : "");
    char line[96];
    std::snprintf(line, sizeof line, "%c %-3.3s%s%-6.6s%+0*lldE%+03d", item.status, item.id.c_str(),
                  alarm, item.unit.c_str(), item.math ? 9 : 6,
                  static_cast<long long>(item.mantissa), -item.decimals);
    return line;
}

std::string SimSkippedValueLine(const std::string& id) {
    return "S " + id;
}

bool SimReadNumber(std::string_view text, int64_t* out) {
    size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size() || text.size() - i > 10) {
        return false;
    }
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    *out = negative ? -value : value;
    return true;
}

bool SimReadNumbers(std::string_view text, size_t count, int64_t* out) {
    for (size_t k = 0; k < count; ++k) {
        const size_t comma = text.find(',');
        const bool lastOne = k + 1 == count;
        if (lastOne != (comma == std::string_view::npos)) {
            return false;
        }
        if (!SimReadNumber(text.substr(0, comma), &out[k])) {
            return false;
        }
        text = lastOne ? std::string_view() : text.substr(comma + 1);
    }
    return true;
}
