#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "SimInstrument.h"

// The answer every unknown, malformed or refused request gets.
inline constexpr std::string_view kSimErrorLine = "E1\r\n";

// One command request after the log-in.
struct CSimRequest {
    std::string_view text;           // the whole request line, without CR LF
    std::string_view key;            // its first two characters ("&4" for "&4 %d")
    const CSimUser* user = nullptr;  // who is logged in on this connection
};

// A handler returns the complete answer bytes: a status line, an "EA" ... "EN" list, or binary
// blocks. An empty answer is turned into the error line; the instrument never stays silent.
using CSimHandler = std::function<std::string(const CSimRequest&, CSimInstrument&)>;

// The two-character key a request is routed by; empty when the request is shorter.
std::string_view SimRequestKey(std::string_view request);

// Routes requests to handlers by their two-letter key.
class CSimDispatcher {
  public:
    // False (and nothing registered) when `key` is not two characters or is taken already.
    bool Register(std::string key, CSimHandler handler);
    bool Has(std::string_view key) const;
    // The handler's answer, or the error line when no handler takes the request. The caller
    // holds the instrument's lock.
    std::string Dispatch(std::string_view request, const CSimUser* user,
                         CSimInstrument& instrument) const;

  private:
    std::map<std::string, CSimHandler, std::less<>> handlers_;
};
