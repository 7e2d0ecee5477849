#include "SimCommands.h"

#include "SimAnswerFormat.h"
#include "SimServer.h"

namespace {

// The entry's handler behind its firmware and program-option gates.
CSimHandler Gated(const CSimCommandEntry& entry) {
    return [gate = entry.gate, program = entry.program, handler = entry.handler](
               const CSimRequest& request, CSimInstrument& instrument) {
        if (!instrument.Offers(gate)) {
            return SimErrorLine("Command not available");
        }
        if (program && !instrument.HasProgram()) {
            return SimErrorLine("No program option");
        }
        return handler(request, instrument);
    };
}

}  // namespace

bool SimArguments(const CSimRequest& request, std::string_view head, std::string_view* rest) {
    if (request.text.substr(0, head.size()) != head) {
        return false;
    }
    *rest = request.text.substr(head.size());
    return true;
}

CSimLoop* SimControlLoop(CSimInstrument& instrument, int64_t number) {
    if (number < 1 || number > kSimLoops) {
        return nullptr;
    }
    CSimLoop& loop = instrument.Setup().loops[static_cast<size_t>(number - 1)];
    return loop.configured && loop.kind != kSimKindNone ? &loop : nullptr;
}

CSimExtLoop* SimOperableExtLoop(CSimInstrument& instrument, int64_t number) {
    if (number < 1 || number > instrument.ExtLoopCapacity()) {
        return nullptr;
    }
    CSimExtLoop& loop = instrument.Setup().extLoops[static_cast<size_t>(number - 1)];
    return loop.configured && loop.Operable() ? &loop : nullptr;
}

CSimCommandTable SimInstrumentCommands() {
    CSimCommandTable table;
    AddSettingAnswers(table);
    AddStateAnswers(table);
    AddDataAnswers(table);
    AddOperationAnswers(table);
    AddDisplayAnswers(table);
    return table;
}

bool RegisterInstrumentCommands(CSimDispatcher& dispatcher) {
    const CSimCommandTable table = SimInstrumentCommands();
    for (const auto& entry : table) {
        if (dispatcher.Has(entry.key)) {
            return false;
        }
    }
    for (const auto& entry : table) {
        if (!dispatcher.Register(entry.key, Gated(entry))) {
            return false;
        }
    }
    return true;
}

bool RegisterInstrumentCommands(CSimServer& server) {
    for (const auto& entry : SimInstrumentCommands()) {
        if (!server.RegisterCommand(entry.key, Gated(entry))) {
            return false;
        }
    }
    return true;
}
