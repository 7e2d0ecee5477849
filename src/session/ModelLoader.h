#pragma once

#include <cstdint>

#include "platform/ResultCodes.h"

class CCommandSet;
struct CInstrumentModel;

// The load steps of the settings model. Each step runs one or more queries of the command
// set, copies what it needs out of the command objects into the model, derives texts and
// default names, and returns 0 or the first non-zero result of a command, at which it stops:
// records written before the failure stay written. Every index taken from an answer or from
// a count is checked against the model's arrays. The steps allocate nothing; the
// communication cycle runs some of them every pass.
//
// The order and conditions in which the steps run belong to the full refresh and the cycle.
class CModelLoader {
  public:
    CModelLoader(CCommandSet& commands, CInstrumentModel& model);

    RzResult LoadLoginInfo();            // "FU 0"
    RzResult LoadRunStatus();            // "IF 255.255.255.255", "IS 0"
    RzResult LoadDisplayGroups();        // "SX?"
    RzResult LoadTags();                 // "ST?"
    RzResult LoadInputTypes();           // "SR?"
    RzResult LoadValues();               // "FD0,1,212" / "FD0,1,248"
    RzResult LoadControlGroupNames();    // "FG?"
    RzResult LoadControlGroupMembers();  // "GG?"
    RzResult LoadLoopNames();            // "HM?"
    RzResult LoadLoopKinds();            // "PC?"
    RzResult LoadRetransRanges();        // "MT?"
    RzResult LoadLoopModes();            // "FM %d" per loop of a kind
    RzResult LoadExtLoops();             // "GJ?"
    RzResult LoadExtLoopModes();         // "DR %d" per loop with a known controller
    RzResult LoadDioNames();             // "DY?"
    RzResult LoadDioKinds();             // "DX?"
    // "FO". 0 only when every point up to the DI/DO count was processed.
    RzResult LoadDioStatus();
    // "FW"; does nothing and returns 0 below firmware major version 3. The query runs before
    // any record changes, so a failed query leaves every pattern record as it was.
    RzResult LoadPatternStates();
    // "FH%d" ("FH" for pattern 0) into record `record` (1-30; 0 means `pattern`).
    // LINK_E_GENERAL without sending for a record outside 1-30 or a pattern outside 0-30.
    RzResult LoadPatternState(int32_t pattern, int32_t record);
    RzResult LoadOutputTypes();      // "GF?"
    RzResult LoadOutputRanges();     // "HO?"
    RzResult LoadExtOutputRanges();  // "DQ%d", then "DT%d,%d?" per loop with a controller
    RzResult LoadScreenImage();      // "FC GET"

    // Firmware before major version 2 has no mode query: every internal loop up to the loop
    // count is operable in an undetermined state (mode 3, local/remote 2, run 2).
    void SetOldFirmwareLoopDefaults();

    // Connection start, after its first successful refresh: the type texts of every kind
    // found (WriteTypeTexts). Names received from the instrument stay as they are.
    void ApplyDefaultNames();

  private:
    CCommandSet& commands_;
    CInstrumentModel& model_;
};
