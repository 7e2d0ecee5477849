#pragma once

#include <cstdint>

#include "commands/Command.h"
#include "commands/DataQueries.h"
#include "commands/DisplayCommands.h"
#include "commands/OperationCommands.h"
#include "commands/SettingQueries.h"

struct CInstrumentModel;

// One object of every protocol command, created with the connection and destroyed with it.
// The set holds the screen-image buffers (a few MB), so its owner allocates it once, with the
// connection, and never on the stack.
class CCommandSet {
  public:
    CCommandSet() = default;
    virtual ~CCommandSet() = default;
    CCommandSet(const CCommandSet&) = delete;
    CCommandSet& operator=(const CCommandSet&) = delete;

    // Stores `model`, then binds the members in declaration order to `link` and `identity`.
    // Members the instrument's firmware does not offer stay unbound, except "FO", which is
    // bound for every version. Returns 0.
    virtual RzResult Bind(CLinkTransport* link, CInstrumentModel* model,
                          const CInstrumentModel* identity);

    // The member object of `key` (exact, case-sensitive), or null for an unknown key or one
    // that the firmware of the bound model does not offer. "_4" is the key of "&4".
    CCommand* GetCommand(const char* key);

    CInstrumentModel* model() const { return model_; }

  private:
    CInstrumentModel* model_ = nullptr;

  public:
    CCmdFU cmdFU;
    CCmdPS cmdPS;
    CCmdIF cmdIF;
    CCmdIS cmdIS;
    CCmdTL cmdTL;
    CCmdSX cmdSX;
    CCmdST cmdST;
    CCmdSR cmdSR;
    CCmdFD cmdFD;
    CCmdFG cmdFG;
    CCmdHM cmdHM;
    CCmdGJ cmdGJ;
    CCmdDX cmdDX;
    CCmdDY cmdDY;
    CCmdGG cmdGG;
    CCmdFM cmdFM;
    CCmdDR cmdDR;
    CCmdFO cmdFO;
    CCmdCA cmdCA;
    CCmdDV cmdDV;
    CCmdDL cmdDL;
    CCmdRL cmdRL;
    CCmdOC cmdOC;
    CCmdHJ cmdHJ;
    CCmdDM cmdDM;
    CCmdFP cmdFP;
    CCmdDQ cmdDQ;
    CCmdGO cmdGO;
    CCmdPC cmdPC;
    CCmdMY cmdMY;
    CCmdMT cmdMT;
    CCmdGF cmdGF;
    CCmdHO cmdHO;
    CCmdGV cmdGV;
    CCmdDT cmdDT;
    CCmdFW cmdFW;
    CCmdFH cmdFH;
    CCmdPN cmdPN;
    CCmdPX cmdPX;
    CCmdAD cmdAD;
    CCmdAK cmdAK;
    CCmdEV cmdEV;
    CCmdFL cmdFL;
    CCmdHU cmdHU;
    CCmdMS cmdMS;
    CCmdUD cmdUD;
    CCmdFC cmdFC;
    CCmdAmp4 cmdAmp4;
};
