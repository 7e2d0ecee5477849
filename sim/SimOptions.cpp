#include "SimOptions.h"

#include <arpa/inet.h>

#include <functional>
#include <limits>

namespace {

// Plain decimal digits only, within [low, high].
bool ParseNumber(const std::string& text, uint32_t low, uint32_t high, uint32_t* out) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < low || value > high) {
        return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
}

constexpr uint32_t kMaxMs = 600000;
constexpr uint32_t kMaxCount = std::numeric_limits<uint32_t>::max();

struct Option {
    const char* name;
    bool takesValue;
    std::function<bool(const std::string&, CSimOptions&)> apply;
    const char* expected;  // what a value must look like, for the error text
};

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"--help", false, [](const std::string&, CSimOptions& o) { return o.help = true; }, ""},
        {"-h", false, [](const std::string&, CSimOptions& o) { return o.help = true; }, ""},
        {"--version", false, [](const std::string&, CSimOptions& o) { return o.version = true; },
         ""},
        {"--host", true,
         [](const std::string& v, CSimOptions& o) {
             in_addr address{};
             o.host = v;
             return inet_pton(AF_INET, v.c_str(), &address) == 1;
         },
         "an IPv4 address"},
        {"--port", true,
         [](const std::string& v, CSimOptions& o) {
             uint32_t port = 0;
             if (!ParseNumber(v, 0, 65535, &port)) {
                 return false;
             }
             o.port = static_cast<uint16_t>(port);
             return true;
         },
         "a port from 0 to 65535"},
        {"--profile", true,
         [](const std::string& v, CSimOptions& o) {
             o.profile = v;
             return !v.empty();
         },
         "a profile name or a .json path"},
        {"--max-clients", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, 1000, &o.limits.maxClients);
         },
         "a client count from 1 to 1000"},
        {"--login-timeout", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxMs, &o.limits.logInTimeoutMs);
         },
         "milliseconds from 1 to 600000"},
        {"--step-ms", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxMs, &o.plant.stepMs);
         },
         "milliseconds from 1 to 600000"},
        {"--still", false,
         [](const std::string&, CSimOptions& o) {
             o.plant.live = false;
             return true;
         },
         ""},
        {"--delay", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 0, kMaxMs, &o.faults.answerDelayMs);
         },
         "milliseconds from 0 to 600000"},
        {"--segment-bytes", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.segmentBytes);
         },
         "a byte count of at least 1"},
        {"--segment-pause", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 0, kMaxMs, &o.faults.segmentPauseMs);
         },
         "milliseconds from 0 to 600000"},
        {"--close-on", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.closeOnRequest);
         },
         "a request number of at least 1"},
        {"--stall-from", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.stallFromRequest);
         },
         "a request number of at least 1"},
        {"--close-mid-answer", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.closeMidAnswerOn);
         },
         "a request number of at least 1"},
        {"--oversize-on", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.oversizeAnswerOn);
         },
         "a request number of at least 1"},
        {"--error-for", true,
         [](const std::string& v, CSimOptions& o) {
             if (v.size() != 2) {
                 return false;
             }
             o.faults.errorForKeys.insert(v);
             return true;
         },
         "a two-character command key"},
        {"--greeting", true,
         [](const std::string& v, CSimOptions& o) {
             o.faults.greeting = v + "\r\n";
             return true;
         },
         "a text"},
        {"--refuse-login", false,
         [](const std::string&, CSimOptions& o) { return o.faults.refuseLogin = true; }, ""},
        {"--stall-mid-answer", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.stallMidAnswerOn);
         },
         "a request number of at least 1"},
        {"--garble-list", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.garbleListOn);
         },
         "a request number of at least 1"},
        {"--garble-kind", true,
         [](const std::string& v, CSimOptions& o) {
             if (v == "opener") {
                 o.faults.garbleKind = SimGarble::kDropOpener;
             } else if (v == "line-end") {
                 o.faults.garbleKind = SimGarble::kCutLineEnd;
             } else {
                 return false;
             }
             return true;
         },
         "opener or line-end"},
        {"--merge-blocks", false,
         [](const std::string&, CSimOptions& o) { return o.faults.mergeBinaryBlocks = true; }, ""},
        {"--split-blocks", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxMs, &o.faults.splitBlockPauseMs);
         },
         "milliseconds from 1 to 600000"},
        {"--bad-image", false,
         [](const std::string&, CSimOptions& o) { return o.faults.badImage = true; }, ""},
        {"--fault-every", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.randomFaultEvery);
         },
         "a request count of at least 1"},
        // One seed makes the whole run repeat: the plant's noise and the soak mode's choices.
        {"--seed", true,
         [](const std::string& v, CSimOptions& o) {
             if (!ParseNumber(v, 0, kMaxCount, &o.faults.randomSeed)) {
                 return false;
             }
             o.plant.seed = o.faults.randomSeed;
             return true;
         },
         "a number from 0 to 4294967295"},
        {"--fault-delay", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 0, kMaxMs, &o.faults.randomDelayMs);
         },
         "milliseconds from 0 to 600000"},
    };
    return options;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* options,
                     std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        const Option* option = nullptr;
        for (const auto& candidate : Options()) {
            if (name == candidate.name) {
                option = &candidate;
                break;
            }
        }
        if (option == nullptr) {
            *error = "unknown option " + name;
            return false;
        }
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value (" + option->expected + ")";
                return false;
            }
            value = args[++i];
        } else if (!option->takesValue && inlineValue) {
            *error = name + " takes no value";
            return false;
        }
        if (!option->apply(value, *options)) {
            *error = name + " " + value + ": expected " + option->expected;
            return false;
        }
    }
    return true;
}

std::string SimHelpText() {
    return R"(Usage: rzsim [options]

Simulates an RZ instrument on TCP. Prints "rzsim: listening on HOST:PORT" as its first line and
serves clients until SIGINT or SIGTERM.

Options:
  --host IP             address to listen on (default 127.0.0.1)
  --port N              TCP port (default 34260; 0 picks a free port)
  --profile NAME|PATH   instrument profile: NAME.json from the profiles folder, or a .json
                        file (default full)
  --max-clients N       serve at most N clients at once (1 to 1000, default 16); one more
                        gets the line "E1 Too many connections" and is closed
  --login-timeout MS    close a connection whose client has not sent its user name and
                        password within MS milliseconds (default 60000)
  -h, --help            show this text
  --version             print the version and exit

Plant:
  --seed N              seed of the plant's noise and random walks, and of the soak
                        mode's choices (default 1)
  --step-ms MS          manual clock: the instrument's clock and plant advance by MS
                        milliseconds at every "FD" request and stand still otherwise, so a
                        seed and a request sequence give the same values and screens every
                        time (default: real time)
  --still               no plant: values change only through operations and "FC GET"
                        sends a fixed picture

Faults (request numbers K count the command requests of each connection after its log-in,
from 1):
  --delay MS            wait MS milliseconds before every answer, the greeting included
  --segment-bytes N     send every answer, the greeting included, in pieces
                        of at most N bytes
  --segment-pause MS    pause MS milliseconds between two pieces
  --close-on K          close the connection when request K arrives, without answering it
  --stall-from K        read request K and every later one but answer none; the connection
                        stays open
  --close-mid-answer K  send the first half of the answer to request K, then close
  --oversize-on K       answer request K with a list of more than 102400 bytes
  --error-for KEY       answer every request of the two-character key KEY (e.g. _C, ZS, FC)
                        with the error line E1; may be given several times
  --greeting TEXT       send TEXT and CR LF as the greeting instead of the profile's
  --refuse-login        answer every user name with an error line and close
  --stall-mid-answer K  send the first part of the answer to request K (half of a list,
                        or half of the first binary block), then nothing; the connection
                        stays open
  --garble-list K       spoil the list answer to request K (see --garble-kind); other
                        answers pass unchanged
  --garble-kind KIND    opener: leave out the "EA" line (default); line-end: drop the CR LF
                        of the first data line
  --merge-blocks        send all blocks of a binary answer in one write, even with
                        --segment-bytes
  --split-blocks MS     send each binary block in two writes, MS milliseconds apart
  --bad-image           send every "FC GET" image with the second half of each block's
                        payload zeroed: framed as ever, it does not decode
  --fault-every N       soak mode: every Nth request of a connection gets a random fault
                        (delay, stall, close, error line or garbled list); each one is
                        reported on stderr as "rzsim: fault KIND on request K of session S"
  --seed S              (see Plant) also seeds the soak mode's choices; a run repeats
  --fault-delay MS      the delay of the soak mode's delay fault (default 1500)

Exit codes: 0 after a signal, 1 when the port cannot be opened, 2 for a bad option or profile.
)";
}
