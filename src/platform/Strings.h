#pragma once

#include <cstddef>
#include <string>

// The console's string table: user-visible texts by number.
// Returns nullptr when the table has no string with that id.
const char* RzString(int id);

// Whether `text` is one of the table's texts (the pattern names aside).
bool IsRzString(const std::string& text);

// Fills "%1!d!" style inserts of a table text with the decimal integer `value`.
// A missing id gives an empty text.
std::string RzFormatString(int id, int value);

// Copies at most size - 1 characters of `source` and always terminates `destination`.
void CopyText(char* destination, size_t size, const char* source);
