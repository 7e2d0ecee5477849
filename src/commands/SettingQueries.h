#pragma once

#include <cstdint>

#include "commands/Command.h"
#include "model/InstrumentModel.h"

// Queries that read how the instrument is set up (group, loop and point names, tags, input
// types, loop kinds, output types and ranges, external controllers) and a few state words.
// Each keeps its results in fixed arrays of its own; result arrays are indexed by the
// instrument's 1-based number - 1, and numbers outside an array are ignored.
//
// Every class has a Query() that clears its results (except "FG", whose names persist),
// sends its request in list mode and parses the answer. The parse of a field list, a line or
// a record is a public member that touches nothing but the object's results.

constexpr int kQueryTextSize = 17;  // 16 characters and a NUL
constexpr int kQueryLoops = 6;      // internal loops
constexpr int kQueryExtLoops = 16;  // external loops
constexpr int kQueryPoints = 36;    // DI/DO points
constexpr int kQueryControlGroups = 8;
constexpr int kQueryControlMembers = 6;
constexpr int kQueryDisplayGroups = 10;
constexpr int kQueryGroupChannels = 10;
constexpr int kQueryMeasChannels = 30;
constexpr int kQueryPidSets = 8;  // PID (set point) numbers per loop

// "FP%d": set point and PID number in use by an internal loop.
class CCmdFP : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t loop = 0;
    int32_t setPointNumber = 0;
    int32_t pidNumber = 0;

  protected:
    virtual const char* RequestFormat() const { return "FP%d"; }
};

// "DQ%d": as "FP", for an external loop.
class CCmdDQ : public CCmdFP {
  protected:
    const char* RequestFormat() const override { return "DQ%d"; }
};

// "FG?": control group names. Names that the answer does not mention keep their text.
class CCmdFG : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);

    char groupName[kQueryControlGroups][kQueryTextSize] = {};
};

// "HM?": internal loop names and their second texts.
class CCmdHM : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    char loopName[kQueryLoops][kQueryTextSize] = {};
    char loopText[kQueryLoops][kQueryTextSize] = {};
};

// "DY?": the two texts of every DI/DO point.
class CCmdDY : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    char pointText1[kQueryPoints][kQueryTextSize] = {};
    char pointText2[kQueryPoints][kQueryTextSize] = {};
};

// "PC?": internal loop kinds (0 none, 1 Single, 2 Cascade, 3 PVSwitching, 4 Retrans).
class CCmdPC : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t loopKind[kQueryLoops] = {};
};

// "GF?": internal loop output types (0 none, 1 RELAY, 2 VOLTAGE-PULSE, 3 CURRENT-OUTPUT,
// 4 ON/OFF-CONTROL).
class CCmdGF : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t outputType[kQueryLoops] = {};
};

// "MY?": whether the feature that the answer's one field reports is "ON".
class CCmdMY : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t enabled = 0;
};

// "GG?": control group members (kind 0 none, 1 Meas-CH, 2 Math-CH, 3 Int-Loop, 4 Ext-Loop,
// 5 DIO), indexed [group - 1][position - 1].
class CCmdGG : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t memberKind[kQueryControlGroups][kQueryControlMembers] = {};
    int32_t memberNumber[kQueryControlGroups][kQueryControlMembers] = {};
};

// "GJ?": external loops: in use, controller model (1 to 14 MODEL-01 to MODEL-14, 15 OTHER,
// 0 unknown), name and tag. Loops not in use are named "EXT-nn".
class CCmdGJ : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    int32_t used[kQueryExtLoops] = {};
    int32_t model[kQueryExtLoops] = {};
    int32_t sharedNumber = 0;  // the number field of the last loop in use
    char name[kQueryExtLoops][kQueryTextSize] = {};
    char tag[kQueryExtLoops][kQueryTextSize] = {};
};

// "ST?": tags by channel number: 1-60 channels, 101-118 internal loop quantities, 201-248
// external loop quantities.
class CCmdST : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseFields(const FieldRows& rows, int count);
    void Clear();

    char channelTag[60][kQueryTextSize] = {};
    char loopTag[18][kQueryTextSize] = {};
    char extLoopTag[48][kQueryTextSize] = {};
    int32_t lastNumber = 0;
};

// "HO?": output limits of internal loops per PID number; defaults low 0, high 100.
class CCmdHO : public CCommand {
  public:
    CCmdHO() { Clear(); }
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t lastPid[kQueryLoops] = {};
    double outputLow[kQueryLoops][kQueryPidSets] = {};
    double outputHigh[kQueryLoops][kQueryPidSets] = {};
};

// "GV?": decimal places of PV, SP and OUT of the external loops; default 1.
class CCmdGV : public CCommand {
  public:
    CCmdGV() { Clear(); }
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t pvDecimals[kQueryExtLoops] = {};
    int32_t spDecimals[kQueryExtLoops] = {};
    int32_t outDecimals[kQueryExtLoops] = {};
};

// "MT?": retransmission setting and span of the internal loops.
class CCmdMT : public CCommand {
  public:
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t retrans[kQueryLoops] = {};
    double spanLow[kQueryLoops] = {};
    double spanHigh[kQueryLoops] = {};
    int32_t spanDecimals[kQueryLoops] = {};
};

// "SX?": display group names and their channel numbers (at most 10 per group, 0 after).
class CCmdSX : public CCommand {
  public:
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    char groupName[kQueryDisplayGroups][kQueryTextSize] = {};
    int32_t groupChannels[kQueryDisplayGroups][kQueryGroupChannels] = {};
};

// "SR?": input type codes of the measurement channels (0 VOLT, 1 TC, 2 RTD, 3 DI, 4 DELTA,
// 5 SCALE, 6 SQRT, 7 LOG, 8 not reported).
class CCmdSR : public CCommand {
  public:
    CCmdSR() { Clear(); }
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t inputType[kQueryMeasChannels] = {};
};

// "DX?": DI/DO points: present, module kind (0 DI-1, 1 DO-1, 2 DO-2, 3 DIO-11, 4 DIO-12,
// 5 DO-2P, 6 DIO-12P, 7 other or absent), short text and the number read from it.
class CCmdDX : public CCommand {
  public:
    CCmdDX() { Clear(); }
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t present[kQueryPoints] = {};
    int32_t module[kQueryPoints] = {};
    char text[kQueryPoints][8] = {};
    int32_t value[kQueryPoints] = {};
};

// "FM %d": mode and status bits of an internal loop, from the dotted status record.
// state0: run bit, state1: remote bit, state2: mode (0 AUT, 1 MAN, 2 CAS, 3 unknown),
// state4: bit 4, bit7: bit 7 of the first number.
class CCmdFM : public CCommand {
  public:
    CCmdFM() { Clear(); }
    RzResult Query() override;
    RzResult ParseAnswer(const char* text, uint32_t length);
    void Clear();

    int32_t loop = 0;
    int32_t bit7 = 0;
    int32_t state0 = 2;
    int32_t state1 = 2;
    int32_t state2 = 3;
    int32_t state4 = 0;

  protected:
    virtual const char* RequestFormat() const { return "FM %d"; }
    virtual bool ReadsBit7() const { return true; }
};

// "DR %d": as "FM", for an external loop (bit7 stays 0).
class CCmdDR : public CCmdFM {
  protected:
    const char* RequestFormat() const override { return "DR %d"; }
    bool ReadsBit7() const override { return false; }
};

// "IS 0": the instrument's run status word: statusA memory running, statusB math running.
class CCmdIS : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseAnswer(const char* text, uint32_t length);
    void Clear();

    int32_t statusA = 0;
    int32_t statusB = 0;
};

// "IF 255.255.255.255": sets the instrument's status filter; only its status matters.
class CCmdIF : public CCommand {
  public:
    RzResult Execute() override;
};

// "FU 0": the logged-in user: code character, access level ('A' or 'U') and name.
class CCmdFU : public CCommand {
  public:
    RzResult Query() override;
    void Clear();

    char code[2] = {};
    char level[2] = {};
    char userName[kQueryTextSize] = {};
};
