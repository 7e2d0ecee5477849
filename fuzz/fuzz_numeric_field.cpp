// The numeric field's reading of its text against strtod in the C locale, for any text: the text
// has a value exactly when it is at most 19 of the field's own characters (digits, '.', '-') and
// strtod reads all of it, and then the value is strtod's, bit for bit.

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "views/NumericEdit.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_ALL, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<double> value =
        NumericFieldNumber(QString::fromLatin1(text.data(), static_cast<qsizetype>(size)));

    bool fieldText = size <= CNumericEdit::kMaxLength;
    for (const char c : text) {
        fieldText = fieldText && ((c >= '0' && c <= '9') || c == '.' || c == '-');
    }
    char* end = nullptr;
    errno = 0;
    const double expected = std::strtod(text.c_str(), &end);
    const bool whole = end != text.c_str() && end == text.c_str() + size;
    if (value.has_value() != (fieldText && whole)) {
        std::abort();
    }
    // A value the field takes is never out of a double's range, and is strtod's exactly.
    if (value && (errno == ERANGE || std::memcmp(&*value, &expected, sizeof expected) != 0)) {
        std::abort();
    }
    return 0;
}
