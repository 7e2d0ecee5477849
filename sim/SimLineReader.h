#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Cuts the bytes of a connection into request lines. A line ends at LF; one CR before it is
// dropped. A line longer than kMaxLine bytes is reported once as over-long, as soon as that is
// certain, and the rest of it is discarded up to its line end, so memory stays bounded whatever
// the peer sends.
class CSimLineReader {
  public:
    static constexpr size_t kMaxLine = 1024;

    enum class Result { kNone, kLine, kOverlong };

    void Feed(std::string_view bytes) { pending_.append(bytes.data(), bytes.size()); }

    // kLine: `line` holds the next line without its end. kOverlong: `line` holds the first
    // kMaxLine bytes of an over-long line. kNone: more bytes are needed.
    Result Next(std::string* line);

  private:
    std::string pending_;
    bool discarding_ = false;  // inside an over-long line already reported
};
