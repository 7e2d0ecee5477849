#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The shapes of the instrument's answers, shared by every command family, and the strict
// readers of request arguments.

inline constexpr std::string_view kSimOkLine = "E0\r\n";

// An error status line: "E1" and, when given, a short reason ("E1 Loop not in use").
std::string SimErrorLine(std::string_view reason = {});

// A list answer: "EA", the lines added, "EN", each ending in CR LF.
class CSimListAnswer {
  public:
    CSimListAnswer() : text_("EA\r\n") {}
    void Add(std::string_view line);
    std::string Finish() &&;

  private:
    std::string text_;
};

// A text as one field of a list line: an empty text is sent as one blank, so that the field
// is not lost between two commas.
std::string SimField(const std::string& text);

// Four status bytes as the instrument's 15-character record "ddd.ddd.ddd.ddd".
std::string SimDottedRecord(unsigned a, unsigned b, unsigned c, unsigned d);

// Binary blocks carrying `payload`, at most `blockPayload` bytes each: lead "EB" CR LF, a
// big-endian length of what follows it, a flags byte (bit 0 on the last block), three bytes of
// block number, the payload bytes and CR LF.
std::string SimBinaryBlocks(std::string_view payload, size_t blockPayload);

// A value as the integer the instrument sends: value * 10^decimals, rounded.
int64_t SimScaled(double value, int decimals);
// The value an integer stands for with `decimals` places.
double SimUnscaled(int64_t scaled, int decimals);

// One item of the values answer. `id` is the three-character channel field ("005", "101",
// "A03"); `status` is N, D, O or E. Math items carry a nine-character mantissa.
struct CSimValueItem {
    char status = 'N';
    std::string id;
    bool alarm = false;
    bool unacknowledged = false;
    std::string unit;
    int64_t mantissa = 0;
    int decimals = 0;
    bool math = false;
};
std::string SimValueLine(const CSimValueItem& item);
// A skipped item: status "S" and the channel field only.
std::string SimSkippedValueLine(const std::string& id);

// A decimal integer as the console writes it: an optional sign and 1 to 10 digits, nothing else.
bool SimReadNumber(std::string_view text, int64_t* out);
// Exactly `count` such numbers separated by single commas.
bool SimReadNumbers(std::string_view text, size_t count, int64_t* out);
