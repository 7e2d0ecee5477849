#include "commands/CommandSet.h"

#include <cstring>

#include "model/InstrumentModel.h"

namespace {

// What the firmware must offer for a command to be looked up or bound.
enum class Gate { kAlways, kMajor2, kMajor3, kVersion306 };

struct CommandEntry {
    const char* key;
    Gate gate;
    CCommand* (*member)(CCommandSet&);
};

#define RZ_MEMBER(name) [](CCommandSet& set) -> CCommand* { return &set.name; }

// The keys in the order GetCommand tests them.
const CommandEntry kLookupOrder[] = {
    {"CA", Gate::kAlways, RZ_MEMBER(cmdCA)},       {"FD", Gate::kAlways, RZ_MEMBER(cmdFD)},
    {"FG", Gate::kAlways, RZ_MEMBER(cmdFG)},       {"FP", Gate::kAlways, RZ_MEMBER(cmdFP)},
    {"FU", Gate::kAlways, RZ_MEMBER(cmdFU)},       {"GG", Gate::kAlways, RZ_MEMBER(cmdGG)},
    {"GJ", Gate::kAlways, RZ_MEMBER(cmdGJ)},       {"GO", Gate::kAlways, RZ_MEMBER(cmdGO)},
    {"HJ", Gate::kAlways, RZ_MEMBER(cmdHJ)},       {"HM", Gate::kAlways, RZ_MEMBER(cmdHM)},
    {"GF", Gate::kAlways, RZ_MEMBER(cmdGF)},       {"HO", Gate::kAlways, RZ_MEMBER(cmdHO)},
    {"IF", Gate::kAlways, RZ_MEMBER(cmdIF)},       {"IS", Gate::kAlways, RZ_MEMBER(cmdIS)},
    {"OC", Gate::kAlways, RZ_MEMBER(cmdOC)},       {"PC", Gate::kAlways, RZ_MEMBER(cmdPC)},
    {"PS", Gate::kAlways, RZ_MEMBER(cmdPS)},       {"RL", Gate::kAlways, RZ_MEMBER(cmdRL)},
    {"ST", Gate::kAlways, RZ_MEMBER(cmdST)},       {"SX", Gate::kAlways, RZ_MEMBER(cmdSX)},
    {"TL", Gate::kAlways, RZ_MEMBER(cmdTL)},       {"DX", Gate::kMajor3, RZ_MEMBER(cmdDX)},
    {"DY", Gate::kMajor3, RZ_MEMBER(cmdDY)},       {"DL", Gate::kMajor3, RZ_MEMBER(cmdDL)},
    {"DM", Gate::kMajor3, RZ_MEMBER(cmdDM)},       {"FO", Gate::kMajor3, RZ_MEMBER(cmdFO)},
    {"MY", Gate::kMajor3, RZ_MEMBER(cmdMY)},       {"MT", Gate::kMajor3, RZ_MEMBER(cmdMT)},
    {"FW", Gate::kMajor3, RZ_MEMBER(cmdFW)},       {"FM", Gate::kMajor2, RZ_MEMBER(cmdFM)},
    {"DQ", Gate::kMajor2, RZ_MEMBER(cmdDQ)},       {"DR", Gate::kMajor2, RZ_MEMBER(cmdDR)},
    {"DV", Gate::kMajor2, RZ_MEMBER(cmdDV)},       {"GV", Gate::kMajor2, RZ_MEMBER(cmdGV)},
    {"DT", Gate::kMajor2, RZ_MEMBER(cmdDT)},       {"FH", Gate::kAlways, RZ_MEMBER(cmdFH)},
    {"PN", Gate::kAlways, RZ_MEMBER(cmdPN)},       {"PX", Gate::kAlways, RZ_MEMBER(cmdPX)},
    {"AD", Gate::kAlways, RZ_MEMBER(cmdAD)},       {"AK", Gate::kAlways, RZ_MEMBER(cmdAK)},
    {"EV", Gate::kAlways, RZ_MEMBER(cmdEV)},       {"FL", Gate::kAlways, RZ_MEMBER(cmdFL)},
    {"HU", Gate::kAlways, RZ_MEMBER(cmdHU)},       {"MS", Gate::kAlways, RZ_MEMBER(cmdMS)},
    {"UD", Gate::kAlways, RZ_MEMBER(cmdUD)},       {"FC", Gate::kAlways, RZ_MEMBER(cmdFC)},
    {"_4", Gate::kVersion306, RZ_MEMBER(cmdAmp4)},
};

// The members in declaration order, the order in which Bind binds them.
const CommandEntry kDeclarationOrder[] = {
    {"FU", Gate::kAlways, RZ_MEMBER(cmdFU)}, {"PS", Gate::kAlways, RZ_MEMBER(cmdPS)},
    {"IF", Gate::kAlways, RZ_MEMBER(cmdIF)}, {"IS", Gate::kAlways, RZ_MEMBER(cmdIS)},
    {"TL", Gate::kAlways, RZ_MEMBER(cmdTL)}, {"SX", Gate::kAlways, RZ_MEMBER(cmdSX)},
    {"ST", Gate::kAlways, RZ_MEMBER(cmdST)}, {"SR", Gate::kAlways, RZ_MEMBER(cmdSR)},
    {"FD", Gate::kAlways, RZ_MEMBER(cmdFD)}, {"FG", Gate::kAlways, RZ_MEMBER(cmdFG)},
    {"HM", Gate::kAlways, RZ_MEMBER(cmdHM)}, {"GJ", Gate::kAlways, RZ_MEMBER(cmdGJ)},
    {"DX", Gate::kMajor3, RZ_MEMBER(cmdDX)}, {"DY", Gate::kMajor3, RZ_MEMBER(cmdDY)},
    {"GG", Gate::kAlways, RZ_MEMBER(cmdGG)}, {"FM", Gate::kMajor2, RZ_MEMBER(cmdFM)},
    {"DR", Gate::kMajor2, RZ_MEMBER(cmdDR)}, {"FO", Gate::kAlways, RZ_MEMBER(cmdFO)},
    {"CA", Gate::kAlways, RZ_MEMBER(cmdCA)}, {"DV", Gate::kMajor2, RZ_MEMBER(cmdDV)},
    {"DL", Gate::kMajor3, RZ_MEMBER(cmdDL)}, {"RL", Gate::kAlways, RZ_MEMBER(cmdRL)},
    {"OC", Gate::kAlways, RZ_MEMBER(cmdOC)}, {"HJ", Gate::kAlways, RZ_MEMBER(cmdHJ)},
    {"DM", Gate::kMajor3, RZ_MEMBER(cmdDM)}, {"FP", Gate::kAlways, RZ_MEMBER(cmdFP)},
    {"DQ", Gate::kMajor2, RZ_MEMBER(cmdDQ)}, {"GO", Gate::kAlways, RZ_MEMBER(cmdGO)},
    {"PC", Gate::kAlways, RZ_MEMBER(cmdPC)}, {"MY", Gate::kMajor3, RZ_MEMBER(cmdMY)},
    {"MT", Gate::kMajor3, RZ_MEMBER(cmdMT)}, {"GF", Gate::kAlways, RZ_MEMBER(cmdGF)},
    {"HO", Gate::kAlways, RZ_MEMBER(cmdHO)}, {"GV", Gate::kMajor2, RZ_MEMBER(cmdGV)},
    {"DT", Gate::kMajor2, RZ_MEMBER(cmdDT)}, {"FW", Gate::kMajor3, RZ_MEMBER(cmdFW)},
    {"FH", Gate::kAlways, RZ_MEMBER(cmdFH)}, {"PN", Gate::kAlways, RZ_MEMBER(cmdPN)},
    {"PX", Gate::kAlways, RZ_MEMBER(cmdPX)}, {"AD", Gate::kAlways, RZ_MEMBER(cmdAD)},
    {"AK", Gate::kAlways, RZ_MEMBER(cmdAK)}, {"EV", Gate::kAlways, RZ_MEMBER(cmdEV)},
    {"FL", Gate::kAlways, RZ_MEMBER(cmdFL)}, {"HU", Gate::kAlways, RZ_MEMBER(cmdHU)},
    {"MS", Gate::kAlways, RZ_MEMBER(cmdMS)}, {"UD", Gate::kAlways, RZ_MEMBER(cmdUD)},
    {"FC", Gate::kAlways, RZ_MEMBER(cmdFC)}, {"_4", Gate::kVersion306, RZ_MEMBER(cmdAmp4)},
};

#undef RZ_MEMBER

// The firmware words are compared unsigned, as the instrument reports them.
bool GateOpen(Gate gate, const CInstrumentModel* model) {
    if (gate == Gate::kAlways) {
        return true;
    }
    if (model == nullptr) {
        return false;
    }
    const auto major = static_cast<uint32_t>(model->firmwareMajor);
    switch (gate) {
        case Gate::kMajor2:
            return major >= 2;
        case Gate::kMajor3:
            return major >= 3;
        case Gate::kVersion306:
            return static_cast<uint32_t>(model->version) >= 0x30006u;
        case Gate::kAlways:
            break;
    }
    return true;
}

}  // namespace

RzResult CCommandSet::Bind(CLinkTransport* link, CInstrumentModel* model,
                           const CInstrumentModel* identity) {
    model_ = model;
    for (const auto& entry : kDeclarationOrder) {
        if (GateOpen(entry.gate, model_)) {
            entry.member(*this)->Bind(link, identity);
        }
    }
    return RZ_OK;
}

CCommand* CCommandSet::GetCommand(const char* key) {
    if (key == nullptr) {
        return nullptr;
    }
    for (const auto& entry : kLookupOrder) {
        if (std::strcmp(key, entry.key) == 0) {
            return GateOpen(entry.gate, model_) ? entry.member(*this) : nullptr;
        }
    }
    return nullptr;
}
