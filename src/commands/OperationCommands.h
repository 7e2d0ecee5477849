#pragma once

#include <cstdint>

#include "commands/Command.h"

// Commands that operate the instrument. Each sends one request line and reads a one-line
// status answer; an error line is shown in the status bar and gives REPLY_ERROR.

// "CA": operation mode of an internal loop.
class CCmdCA : public CCommand {
  public:
    RzResult Execute() override;
    int32_t loop = 0;
    int32_t mode = 0;  // 0 AUT, 1 MAN, 2 CAS
};

// "RL": local/remote state of an internal loop.
class CCmdRL : public CCommand {
  public:
    RzResult Execute() override;
    int32_t state = 0;
    int32_t loop = 0;
};

// "OC": run/stop state of an internal loop; state 0 or 1, anything else is refused unsent.
class CCmdOC : public CCommand {
  public:
    RzResult Execute() override;
    int32_t state = 0;
    int32_t loop = 0;
};

// "HJ": manual output of an internal loop, sent scaled by its decimal places.
class CCmdHJ : public CCommand {
  public:
    RzResult Execute() override;
    double value = 0.0;
    int32_t decimals = 0;
    int32_t loop = 0;
};

// "GO": set point of an internal loop; setPointNumber comes from "FP".
class CCmdGO : public CCommand {
  public:
    RzResult Execute() override;
    int32_t loop = 0;
    int32_t setPointNumber = 0;
    double value = 0.0;
    int32_t decimals = 0;
};

constexpr int kDtLoops = 16;     // external loops
constexpr int kDtSetPoints = 8;  // set point (PID) numbers 1 to 8 of a loop

// "DT": set point of an external loop (Execute) and the output limits per set point number
// (Query). setPointNumber comes from "DQ".
class CCmdDT : public CCommand {
  public:
    // "DT<loop>,<setPointNumber>,SP,<scaled value>".
    RzResult Execute() override;
    // "DT<loop>,<pidNumber>?": fills outputHigh and outputLow from the "OH" and "OL" lines.
    RzResult Query() override;

    int32_t loop = 0;
    int32_t setPointNumber = 0;
    double value = 0.0;
    int32_t decimals = 0;
    int32_t pidNumber = 0;  // the number whose limits Query asks for
    // [loop - 1][number - 1] as reported; 0 where the answer says nothing.
    double outputHigh[kDtLoops][kDtSetPoints] = {};
    double outputLow[kDtLoops][kDtSetPoints] = {};
};

// "DL": operation mode of a DI/DO point.
class CCmdDL : public CCommand {
  public:
    RzResult Execute() override;
    int32_t point = 0;
    int32_t mode = 0;  // 0 AUT, 1 MAN
};

// "DM": output of a DI/DO point.
class CCmdDM : public CCommand {
  public:
    RzResult Execute() override;
    int32_t point = 0;
    int32_t value = 0;
};

constexpr int kDvLoops = 16;
constexpr int kDvItemSize = 6;

// What "DV" sends for one external loop.
struct CDvLoopRecord {
    int32_t mode = 3;
    int32_t remote = 0;
    int32_t runStop = 2;
    double manualOutput = 0.0;
    int32_t outputDecimals = 0;
};

// "DV": item command for external loops. The caller sets loop, writes that loop's item text
// ("MODE", "RL", "SR" or "MOUT", any case) and the matching record field, and runs Execute.
// A loop outside 1 to 16 is refused unsent; an unknown item sends nothing and gives 0.
class CCmdDV : public CCommand {
  public:
    RzResult Execute() override;
    int32_t loop = 0;
    char item[kDvLoops][kDvItemSize] = {};
    CDvLoopRecord records[kDvLoops];
};

// "PN" and "PX" send in list mode but take a one-line answer, which must begin "E0".
class CListStatusCommand : public CCommand {
  protected:
    RzResult ExchangeListStatus(const char* request);
};

// "PN": selects the program pattern that the next program operation acts on.
class CCmdPN : public CListStatusCommand {
  public:
    RzResult Execute() override;
    int32_t pattern = 0;  // 1 to 30
};

// "PX": runs (1) or resets (0) the selected program pattern.
class CCmdPX : public CListStatusCommand {
  public:
    RzResult Execute() override;
    int32_t run = 0;
};

// "HU": holds (1) or releases (0) the running program.
class CCmdHU : public CCommand {
  public:
    RzResult Execute() override;
    int32_t hold = 0;
};

// "AD 1": advances the running program.
class CCmdAD : public CCommand {
  public:
    RzResult Execute() override;
};

// "PS": memory start ("PS 0" for a non-zero start) or stop ("PS 1").
class CCmdPS : public CCommand {
  public:
    RzResult Execute() override;
    int32_t start = 0;
};

// "TL": math start (action 1), stop (2) or reset (3); other actions are refused unsent.
class CCmdTL : public CCommand {
  public:
    RzResult Execute() override;
    int32_t action = 0;
};

// "AK 0": acknowledges alarms.
class CCmdAK : public CCommand {
  public:
    RzResult Execute() override;
};

// "EV": saves data (0 manual sample, 1 manual trigger, 3 display data, 4 event data).
class CCmdEV : public CCommand {
  public:
    RzResult Execute() override;
    int32_t kind = 0;
};

// "MS": writes message 1 to 8; instruments with the fifth option flag take "MS1,<n>".
class CCmdMS : public CCommand {
  public:
    RzResult Execute() override;
    int32_t message = 0;
};
