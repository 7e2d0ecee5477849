// Answers to the queries of state words and loop parameters: set point and PID numbers, loop
// status records, the run status with its filter, the logged-in user, output limits, decimal
// places and retransmission.

#include <cstdio>

#include "SimAnswerFormat.h"
#include "SimCommands.h"

namespace {

std::string Number(int64_t n) {
    return std::to_string(n);
}

// "<head><number>" with nothing else, the number read into `n`.
bool OneNumber(const CSimRequest& request, std::string_view head, int64_t* n) {
    std::string_view rest;
    return SimArguments(request, head, &rest) && SimReadNumber(rest, n);
}

std::string SetPointNumbers(const char* prefix, int spNumber, int pidNumber) {
    CSimListAnswer list;
    list.Add(std::string(prefix) + "SP" + Number(spNumber) + ",PID" + Number(pidNumber));
    return std::move(list).Finish();
}

// The loop status record: bit 7 of the first byte, and in the fourth byte run (bit 0),
// remote (bit 1), MAN (bit 2), CAS (bit 3) and auto-tuning (bit 4).
std::string StatusRecord(bool bit7, int mode, bool remote, bool run, bool tuning) {
    const unsigned fourth = (run ? 1u : 0u) | (remote ? 2u : 0u) | (mode == kSimMan ? 4u : 0u) |
                            (mode == kSimCas ? 8u : 0u) | (tuning ? 16u : 0u);
    CSimListAnswer list;
    list.Add(SimDottedRecord(bit7 ? 128u : 0u, 0, 0, fourth));
    return std::move(list).Finish();
}

std::string InternalSetPoint(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (!OneNumber(request, "FP", &n)) {
        return SimErrorLine("Syntax error");
    }
    const CSimLoop* loop = SimControlLoop(instrument, n);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    return SetPointNumbers("FP", loop->spNumber, loop->pidNumber);
}

std::string ExternalSetPoint(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (!OneNumber(request, "DQ", &n)) {
        return SimErrorLine("Syntax error");
    }
    const CSimExtLoop* loop = SimOperableExtLoop(instrument, n);
    if (loop == nullptr) {
        return SimErrorLine("No controller on this loop");
    }
    // An external controller's PID set follows its set point number.
    return SetPointNumbers("DQ", loop->spNumber, loop->spNumber);
}

std::string InternalStatus(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (!OneNumber(request, "FM ", &n)) {
        return SimErrorLine("Syntax error");
    }
    const CSimLoop* loop = SimControlLoop(instrument, n);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    return StatusRecord(loop->alarm, loop->mode, loop->remote, loop->run, loop->tuning);
}

std::string ExternalStatus(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (!OneNumber(request, "DR ", &n)) {
        return SimErrorLine("Syntax error");
    }
    const CSimExtLoop* loop = SimOperableExtLoop(instrument, n);
    if (loop == nullptr) {
        return SimErrorLine("No controller on this loop");
    }
    return StatusRecord(false, loop->mode, loop->remote, loop->run, false);
}

// First status byte: memory running (bit 1), math running (bit 2), unacknowledged alarms
// (bit 3); each byte masked by the filter "IF" set.
std::string RunStatus(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "IS 0") {
        return SimErrorLine("Syntax error");
    }
    const CSimPanel& panel = instrument.Panel();
    const unsigned first = (instrument.Setup().memoryRunning ? 2u : 0u) |
                           (instrument.Setup().mathRunning ? 4u : 0u) |
                           (panel.alarmsUnacknowledged ? 8u : 0u);
    CSimListAnswer list;
    list.Add(SimDottedRecord(first & panel.filter[0], 0, 0, 0));
    return std::move(list).Finish();
}

std::string SetFilter(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    if (!SimArguments(request, "IF ", &rest)) {
        return SimErrorLine("Syntax error");
    }
    uint8_t filter[4] = {};
    for (int i = 0; i < 4; ++i) {
        const size_t dot = rest.find('.');
        if ((i == 3) != (dot == std::string_view::npos)) {
            return SimErrorLine("Syntax error");
        }
        const std::string_view piece = rest.substr(0, dot);
        int64_t value = 0;
        if (piece.empty() || piece[0] == '+' || piece[0] == '-' || !SimReadNumber(piece, &value) ||
            value > 255) {
            return SimErrorLine("Syntax error");
        }
        filter[i] = static_cast<uint8_t>(value);
        rest = i == 3 ? std::string_view() : rest.substr(dot + 1);
    }
    std::copy(filter, filter + 4, instrument.Panel().filter);
    return std::string(kSimOkLine);
}

std::string LoggedInUser(const CSimRequest& request, CSimInstrument&) {
    if (request.text != "FU 0" || request.user == nullptr) {
        return SimErrorLine("Syntax error");
    }
    // The line is read as three blank-separated words, so a blank inside the name would split it.
    std::string name = request.user->name;
    for (char& c : name) {
        c = c == ' ' ? '_' : c;
    }
    CSimListAnswer list;
    list.Add(std::string(1, request.user->code) + " " + std::string(1, request.user->level) + " " +
             name);
    return std::move(list).Finish();
}

// Output limits of the PID set in use, in percent with one decimal. Retransmission loops have
// no PID set.
std::string OutputLimits(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "HO?") {
        return SimErrorLine("Syntax error");
    }
    CSimListAnswer list;
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop* loop = SimControlLoop(instrument, n);
        if (loop == nullptr || loop->kind == kSimRetrans) {
            continue;
        }
        list.Add("HO" + Number(n) + "," + Number(loop->pidNumber) + "," +
                 Number(SimScaled(loop->outLow, 1)) + "," + Number(SimScaled(loop->outHigh, 1)));
    }
    return std::move(list).Finish();
}

std::string ExternalDecimals(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "GV?") {
        return SimErrorLine("Syntax error");
    }
    CSimListAnswer list;
    for (int n = 1; n <= instrument.ExtLoopCapacity(); ++n) {
        const CSimExtLoop& loop = instrument.Setup().extLoops[n - 1];
        if (!loop.configured || !loop.inUse) {
            continue;
        }
        list.Add("GV" + Number(n) + ",PV," + Number(loop.pvDecimals));
        list.Add("GV" + Number(n) + ",SP," + Number(loop.spDecimals));
        list.Add("GV" + Number(n) + ",OUT," + Number(loop.outDecimals));
    }
    return std::move(list).Finish();
}

std::string Retransmission(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "MT?") {
        return SimErrorLine("Syntax error");
    }
    CSimListAnswer list;
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop& loop = instrument.Setup().loops[n - 1];
        if (!loop.configured) {
            continue;
        }
        std::string line = "MT" + Number(n) + ",RETRANS,";
        if (loop.retrans) {
            line += "ON," + loop.retransSource + "," +
                    Number(SimScaled(loop.outLow, loop.outDecimals)) + "," +
                    Number(SimScaled(loop.outHigh, loop.outDecimals)) + "," +
                    Number(loop.outDecimals);
        } else {
            line += "OFF";
        }
        list.Add(line);
    }
    return std::move(list).Finish();
}

}  // namespace

void AddStateAnswers(CSimCommandTable& table) {
    table.push_back({"FP", SimGate::kAlways, false, InternalSetPoint});
    table.push_back({"DQ", SimGate::kMajor2, false, ExternalSetPoint});
    table.push_back({"FM", SimGate::kMajor2, false, InternalStatus});
    table.push_back({"DR", SimGate::kMajor2, false, ExternalStatus});
    table.push_back({"IS", SimGate::kAlways, false, RunStatus});
    table.push_back({"IF", SimGate::kAlways, false, SetFilter});
    table.push_back({"FU", SimGate::kAlways, false, LoggedInUser});
    table.push_back({"HO", SimGate::kAlways, false, OutputLimits});
    table.push_back({"GV", SimGate::kMajor2, false, ExternalDecimals});
    table.push_back({"MT", SimGate::kMajor3, false, Retransmission});
}
