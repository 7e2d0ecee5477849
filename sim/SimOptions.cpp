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
constexpr uint32_t kMaxInstruments = 100;

struct Option {
    const char* name;
    bool takesValue;
    std::function<bool(const std::string&, CSimOptions&)> apply;
    const char* expected;  // what a value must look like, for the error text
    bool fault = false;    // a fault switch: changes only `faults`, also after --faults-for
};

// An IPv4 address as a number, false when `text` is none.
bool ReadAddress(const std::string& text, uint32_t* number) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return false;
    }
    *number = ntohl(address.s_addr);
    return true;
}

std::string AddressText(uint32_t number) {
    in_addr address{};
    address.s_addr = htonl(number);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// An address of the plant in the form its instruments are known by.
bool ReadPlantAddress(const std::string& text, std::string* canonical) {
    uint32_t number = 0;
    if (!ReadAddress(text, &number)) {
        return false;
    }
    *canonical = AddressText(number);
    return true;
}

// The plant's addresses lie on loopback, and every address an option names is one of them.
bool CheckPlantAddresses(const CSimOptions& o, std::string* error) {
    uint32_t first = 0;
    ReadAddress(o.host, &first);
    const uint64_t last = uint64_t{first} + o.instruments - 1;
    if (o.instruments > 1 && ((first >> 24) != 127 || last > 0x7FFFFFFEu)) {
        *error = "--instruments " + std::to_string(o.instruments) +
                 ": the plant's addresses must lie within 127.0.0.0/8, from --host " + o.host;
        return false;
    }
    std::vector<std::pair<const char*, std::string>> named;
    for (const auto& [address, faults] : o.faultsFor) {
        named.emplace_back("--faults-for", address);
    }
    for (const auto& address : o.stopped) {
        named.emplace_back("--stopped", address);
    }
    for (const auto& [option, address] : named) {
        uint32_t number = 0;
        ReadAddress(address, &number);
        if (number < first || number > last) {
            *error = std::string(option) + " " + address + ": no instrument there (the plant is " +
                     o.host + (o.instruments > 1 ? " to " + AddressText(uint32_t(last)) : "") + ")";
            return false;
        }
    }
    return true;
}

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
             o.profiles.push_back(v);
             return !v.empty();
         },
         "a profile name or a .json path"},
        {"--instruments", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxInstruments, &o.instruments);
         },
         "an instrument count from 1 to 100"},
        {"--stopped", true,
         [](const std::string& v, CSimOptions& o) {
             std::string address;
             return ReadPlantAddress(v, &address) && o.stopped.insert(address).second;
         },
         "an IPv4 address of the plant, given once"},
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
         "milliseconds from 0 to 600000", true},
        {"--segment-bytes", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.segmentBytes);
         },
         "a byte count of at least 1", true},
        {"--segment-pause", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 0, kMaxMs, &o.faults.segmentPauseMs);
         },
         "milliseconds from 0 to 600000", true},
        {"--close-on", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.closeOnRequest);
         },
         "a request number of at least 1", true},
        {"--stall-from", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.stallFromRequest);
         },
         "a request number of at least 1", true},
        {"--close-mid-answer", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.closeMidAnswerOn);
         },
         "a request number of at least 1", true},
        {"--oversize-on", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.oversizeAnswerOn);
         },
         "a request number of at least 1", true},
        {"--error-for", true,
         [](const std::string& v, CSimOptions& o) {
             if (v.size() != 2) {
                 return false;
             }
             o.faults.errorForKeys.insert(v);
             return true;
         },
         "a two-character command key", true},
        {"--greeting", true,
         [](const std::string& v, CSimOptions& o) {
             o.faults.greeting = v + "\r\n";
             return true;
         },
         "a text", true},
        {"--refuse-login", false,
         [](const std::string&, CSimOptions& o) { return o.faults.refuseLogin = true; }, "", true},
        {"--stall-mid-answer", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.stallMidAnswerOn);
         },
         "a request number of at least 1", true},
        {"--garble-list", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.garbleListOn);
         },
         "a request number of at least 1", true},
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
         "opener or line-end", true},
        {"--merge-blocks", false,
         [](const std::string&, CSimOptions& o) { return o.faults.mergeBinaryBlocks = true; }, "",
         true},
        {"--split-blocks", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxMs, &o.faults.splitBlockPauseMs);
         },
         "milliseconds from 1 to 600000", true},
        {"--bad-image", false,
         [](const std::string&, CSimOptions& o) { return o.faults.badImage = true; }, "", true},
        {"--fault-every", true,
         [](const std::string& v, CSimOptions& o) {
             return ParseNumber(v, 1, kMaxCount, &o.faults.randomFaultEvery);
         },
         "a request count of at least 1", true},
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
         "milliseconds from 0 to 600000", true},
    };
    return options;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* options,
                     std::string* error) {
    // The faults of the instrument named by the last --faults-for; null before the first one.
    CSimFaults* section = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (name == "--faults-for") {
            if (!inlineValue && i + 1 >= args.size()) {
                *error = name + " needs a value (an IPv4 address of the plant)";
                return false;
            }
            value = inlineValue ? value : args[++i];
            std::string address;
            if (!ReadPlantAddress(value, &address)) {
                *error = name + " " + value + ": expected an IPv4 address of the plant";
                return false;
            }
            // The instrument starts from the faults given before the first --faults-for.
            section = &options->faultsFor.try_emplace(address, options->faults).first->second;
            continue;
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
        if (section != nullptr && !option->fault) {
            *error = name + " cannot follow --faults-for: give it before the first --faults-for";
            return false;
        }
        CSimOptions instrument;
        CSimOptions& target = section != nullptr ? instrument : *options;
        if (section != nullptr) {
            instrument.faults = *section;
        }
        if (!option->apply(value, target)) {
            *error = name + " " + value + ": expected " + option->expected;
            return false;
        }
        if (section != nullptr) {
            *section = std::move(instrument.faults);
        }
    }
    return CheckPlantAddresses(*options, error);
}

std::string SimInstrumentAddress(const CSimOptions& options, uint32_t index) {
    uint32_t first = 0;
    ReadAddress(options.host, &first);
    return AddressText(first + index);
}

std::string SimHelpText() {
    return R"(Usage: rzsim [options]

Simulates an RZ instrument on TCP. Prints "rzsim: listening on HOST:PORT" as its first line and
serves clients until SIGINT or SIGTERM.

Options:
  --host IP             address to listen on (default 127.0.0.1)
  --port N              TCP port (default 34260; 0 picks a free port)
  --profile NAME|PATH   instrument profile: NAME.json from the profiles folder, or a .json
                        file (default full); a plant's instruments take every one given in turn
  --max-clients N       serve at most N clients at once (1 to 1000, default 16; in a plant,
                        per instrument); one more gets the line "E1 Too many connections" and
                        is closed
  --login-timeout MS    close a connection whose client has not sent its user name and
                        password within MS milliseconds (default 60000)
  -h, --help            show this text
  --version             print the version and exit

Plant of instruments:
  --instruments N       serve N instruments (1 to 100, default 1), each on its own address
                        from --host on (127.0.0.1, 127.0.0.2, ...), all at --port, each
                        announced by a line: rzsim: listening on HOST:PORT as "NAME" (PROFILE)
                        With more than one, each has its own name ("Furnace 1", "Dryer 2",
                        ...), tags that begin with its number ("2-TI-101"), plant seed (--seed
                        counted up) and wave periods, and the profiles full, rz3200v2 and
                        rz3100 in turn unless --profile is given. No alarm comes from the
                        profiles: every fourth instrument from the second (2, 6, 10, ...)
                        raises one on its first measurement channel for the first 30 s of
                        every minute of its plant's time, from start-up on.
  --stopped IP          do not serve the instrument at IP (connecting there is refused); may
                        be given for several instruments
  --faults-for IP       the fault options that follow, up to the next --faults-for, apply to
                        the instrument at IP only, over those given before the first
                        --faults-for, which apply to every instrument; only fault options may
                        follow it (e.g. --faults-for 127.0.0.3 --refuse-login --delay 200)

Plant:
  --seed N              seed of the plant's noise and random walks, and of the soak
                        mode's choices (default 1; instrument K of a plant: N + K - 1)
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
