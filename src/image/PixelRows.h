#pragma once

#include <cstdint>

// Row conversions of the PNG decoder, for plain 8-bit rows that libpng hands over untouched.
// Each works in place on a row of `width` 32-bit words and yields ARGB32 words (0xAARRGGBB).

// Widens the 3 * width bytes R, G, B at the start of `row` to opaque ARGB words.
void WidenRgbRow(uint32_t* row, int width);
// The same without processor-specific instructions.
void WidenRgbRowPortable(uint32_t* row, int width);
// The same with SSSE3 byte shuffles; false (and `row` untouched) where the processor or the
// build has none.
bool WidenRgbRowSsse3(uint32_t* row, int width);

// Turns R, G, B, A bytes into ARGB words.
void ReorderRgbaRow(uint32_t* row, int width);
