#include "commands/CommandSet.h"

#include <cstring>

#include "model/InstrumentModel.h"

// The firmware words are compared unsigned, as the instrument reports them. Without a model
// only the ungated commands are offered.
bool CCommandSet::GateOpen(CommandGate gate) const {
    if (gate == CommandGate::kAlways) {
        return true;
    }
    if (model_ == nullptr) {
        return false;
    }
    const auto major = static_cast<uint32_t>(model_->firmwareMajor);
    switch (gate) {
        case CommandGate::kMajor2:
            return major >= 2;
        case CommandGate::kMajor3:
            return major >= 3;
        case CommandGate::kVersion306:
            return static_cast<uint32_t>(model_->version) >= 0x30006u;
        case CommandGate::kAlways:
            break;
    }
    return true;
}

RzResult CCommandSet::Bind(CLinkTransport* link, CInstrumentModel* model,
                           const CInstrumentModel* identity) {
    model_ = model;
#define RZ_BIND_MEMBER(key, type, member, gate) \
    if (GateOpen(CommandGate::gate)) {          \
        member.Bind(link, identity);            \
    }
    RZ_COMMAND_TABLE(RZ_BIND_MEMBER)
#undef RZ_BIND_MEMBER
    return RZ_OK;
}

CCommand* CCommandSet::GetCommand(const char* key) {
    if (key == nullptr) {
        return nullptr;
    }
#define RZ_FIND_MEMBER(name, type, member, gate)                \
    if (std::strcmp(key, name) == 0) {                          \
        return GateOpen(CommandGate::gate) ? &member : nullptr; \
    }
    RZ_COMMAND_TABLE(RZ_FIND_MEMBER)
#undef RZ_FIND_MEMBER
    return nullptr;
}
