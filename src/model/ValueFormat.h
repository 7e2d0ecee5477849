#pragma once

#include <cstddef>
#include <cstdint>

// The texts the panels show for received values. A raw value item (status letter, integer
// mantissa text, decimal exponent text) becomes a display text once, when values are loaded;
// panels never format received values themselves.

// A channel's value text spans the three value fields of its display block.
constexpr size_t kChannelValueTextSize = 24;

// Input type code of a measurement channel shown in exponent form.
constexpr int32_t kInputTypeLog = 7;

// Where an item goes; the over-range and error marks differ by target.
enum class ValueTarget : int32_t {
    kMeasurement,     // measurement channel, 24-byte text; "D" counts as normal
    kMath,            // math channel, 24-byte text
    kInternalLoop,    // internal loop PV, SP or OUT
    kExternalPv,      // external loop PV
    kExternalSetOut,  // external loop SP or OUT
};

// One raw value item as received; null texts count as empty.
struct CRawValue {
    const char* status;
    const char* mantissa;
    const char* exponent;
};

// The number behind a text that was printed as a number.
struct CValueNumber {
    double value;
    int32_t decimals;  // -exponent; negative for a positive exponent
};

// Reads a decimal integer the way the instrument writes it: leading blanks, an optional sign,
// digits up to the first other character. Digits beyond 18 are ignored so the result cannot
// overflow; no digits gives 0.
int64_t ReadItemInteger(const char* text);

// mantissa x 10^exponent, ten raised first. A zero mantissa gives 0 whatever the exponent.
double ItemValue(int64_t mantissa, int32_t exponent);

// Prints `value` with `decimals` places ("%.{d}f"); negative decimals print none. The text is
// cut to `size` - 1 characters and always terminated (nothing written when `size` is 0).
void FormatFixed(double value, int32_t decimals, char* text, size_t size);

// Prints `value` as "d.ddE+xx": two mantissa decimals and an exponent of at least two digits,
// whatever the runtime's E format gives. Cut and terminated as FormatFixed.
void FormatExponent(double value, char* text, size_t size);

// The mark that replaces a value of `status` ('O' over range, 'E' error) for `target`, or
// null when the status is printed as a number or shows nothing. The over-range sign comes
// from the first character of the mantissa text only.
const char* StatusMark(ValueTarget target, char status, const char* mantissa);

// Whether `status` is printed as a number for `target`.
bool IsNumericStatus(ValueTarget target, char status);

// Writes the display text of `item` for `target` into `text` (`size` bytes with the
// terminator; longer texts are cut). `exponentForm` selects the LOG channel form. Returns
// true and fills `number` (when not null) when the item was printed as a number; for any
// other status `number` is left alone. A product beyond the range of a double shows the
// over-range mark of its sign and counts as not printed.
bool FormatValueItem(ValueTarget target, const CRawValue& item, bool exponentForm, char* text,
                     size_t size, CValueNumber* number);

// Mode texts by mode code (0 AUT, 1 MAN, 2 CAS).
const char* InternalLoopModeText(int32_t code);  // "" for any other code
const char* ExternalLoopModeText(int32_t code);  // "***" for any other code
const char* DioModeText(int32_t code);           // AUT, MAN, otherwise ""

// A DI/DO input or output state as a decimal integer.
void FormatDioState(int32_t state, char* text, size_t size);
