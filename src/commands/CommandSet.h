#pragma once

#include <cstdint>
#include <type_traits>

#include "commands/Command.h"
#include "commands/DataQueries.h"
#include "commands/DisplayCommands.h"
#include "commands/OperationCommands.h"
#include "commands/SettingQueries.h"

struct CInstrumentModel;

// What the instrument's firmware must offer for a command: the firmware major version, or the
// firmware version word (major × 65536 + minor).
enum class CommandGate { kAlways, kMajor2, kMajor3, kVersion306 };

// The command table, in the order of declaration (the order Bind binds the members): key, class,
// member and gate. The key lookup, the typed lookup, Bind and the members all come from this one
// list, so they cannot disagree. "_4" is the key of the "&4" request.
#define RZ_COMMAND_TABLE(X)         \
    X("FU", CCmdFU, cmdFU, kAlways) \
    X("PS", CCmdPS, cmdPS, kAlways) \
    X("IF", CCmdIF, cmdIF, kAlways) \
    X("IS", CCmdIS, cmdIS, kAlways) \
    X("TL", CCmdTL, cmdTL, kAlways) \
    X("SX", CCmdSX, cmdSX, kAlways) \
    X("ST", CCmdST, cmdST, kAlways) \
    X("SR", CCmdSR, cmdSR, kAlways) \
    X("FD", CCmdFD, cmdFD, kAlways) \
    X("FG", CCmdFG, cmdFG, kAlways) \
    X("HM", CCmdHM, cmdHM, kAlways) \
    X("GJ", CCmdGJ, cmdGJ, kAlways) \
    X("DX", CCmdDX, cmdDX, kMajor3) \
    X("DY", CCmdDY, cmdDY, kMajor3) \
    X("GG", CCmdGG, cmdGG, kAlways) \
    X("FM", CCmdFM, cmdFM, kMajor2) \
    X("DR", CCmdDR, cmdDR, kMajor2) \
    X("FO", CCmdFO, cmdFO, kMajor3) \
    X("CA", CCmdCA, cmdCA, kAlways) \
    X("DV", CCmdDV, cmdDV, kMajor2) \
    X("DL", CCmdDL, cmdDL, kMajor3) \
    X("RL", CCmdRL, cmdRL, kAlways) \
    X("OC", CCmdOC, cmdOC, kAlways) \
    X("HJ", CCmdHJ, cmdHJ, kAlways) \
    X("DM", CCmdDM, cmdDM, kMajor3) \
    X("FP", CCmdFP, cmdFP, kAlways) \
    X("DQ", CCmdDQ, cmdDQ, kMajor2) \
    X("GO", CCmdGO, cmdGO, kAlways) \
    X("PC", CCmdPC, cmdPC, kAlways) \
    X("MY", CCmdMY, cmdMY, kMajor3) \
    X("MT", CCmdMT, cmdMT, kMajor3) \
    X("GF", CCmdGF, cmdGF, kAlways) \
    X("HO", CCmdHO, cmdHO, kAlways) \
    X("GV", CCmdGV, cmdGV, kMajor2) \
    X("DT", CCmdDT, cmdDT, kMajor2) \
    X("FW", CCmdFW, cmdFW, kMajor3) \
    X("FH", CCmdFH, cmdFH, kAlways) \
    X("PN", CCmdPN, cmdPN, kAlways) \
    X("PX", CCmdPX, cmdPX, kAlways) \
    X("AD", CCmdAD, cmdAD, kAlways) \
    X("AK", CCmdAK, cmdAK, kAlways) \
    X("EV", CCmdEV, cmdEV, kAlways) \
    X("FL", CCmdFL, cmdFL, kAlways) \
    X("HU", CCmdHU, cmdHU, kAlways) \
    X("MS", CCmdMS, cmdMS, kAlways) \
    X("UD", CCmdUD, cmdUD, kAlways) \
    X("FC", CCmdFC, cmdFC, kAlways) \
    X("_4", CCmdAmp4, cmdAmp4, kVersion306)

// One object of every protocol command, created with the connection and destroyed with it.
// The set holds the screen-image buffers (a few MB), so its owner allocates it once, with the
// connection, and never on the stack.
//
// Commands are reached only through the table: by key (GetCommand) or by class (Get). Both
// return null for a command that the firmware of the bound model does not offer, so a caller
// turns a closed gate into LINK_E_UNSUPPORTED instead of running an unbound object.
class CCommandSet {
  public:
    CCommandSet() = default;
    virtual ~CCommandSet() = default;
    CCommandSet(const CCommandSet&) = delete;
    CCommandSet& operator=(const CCommandSet&) = delete;

    // Stores `model`, then binds the members whose gate the model opens, in declaration order,
    // to `link` and `identity`. The others stay unbound. Returns 0.
    virtual RzResult Bind(CLinkTransport* link, CInstrumentModel* model,
                          const CInstrumentModel* identity);

    // The member object of `key` (exact, case-sensitive), or null for an unknown key or one
    // that the firmware of the bound model does not offer.
    CCommand* GetCommand(const char* key);

    // The member of class `T`, or null when the firmware of the bound model does not offer it.
    // Only classes of the table compile.
    template <class T>
    T* Get() {
        return GateOpen(GateOf(std::type_identity<T>{})) ? Member(std::type_identity<T>{})
                                                         : nullptr;
    }

    CInstrumentModel* model() const { return model_; }

  private:
    bool GateOpen(CommandGate gate) const;

#define RZ_COMMAND_MEMBER(key, type, member, gate)                  \
    type member;                                                    \
    type* Member(std::type_identity<type>) {                        \
        return &member;                                             \
    }                                                               \
    static constexpr CommandGate GateOf(std::type_identity<type>) { \
        return CommandGate::gate;                                   \
    }
    RZ_COMMAND_TABLE(RZ_COMMAND_MEMBER)
#undef RZ_COMMAND_MEMBER

    CInstrumentModel* model_ = nullptr;
};
