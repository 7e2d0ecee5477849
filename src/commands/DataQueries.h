#pragma once

#include <cstddef>
#include <cstdint>

#include "commands/Command.h"
#include "transport/LinkFraming.h"

// Queries of what changes while the instrument runs: the latest values ("FD"), the DI/DO
// point states ("FO"), the program pattern list ("FW"), one pattern's state ("FH") and the
// instrument's logs ("FL"). As with the setting queries, Query() clears the results, sends,
// receives and hands the answer (or each of its lines) to a public parse member that touches
// only the results.

constexpr int kDataMeasRecords = 30;
constexpr int kDataMathRecords = 30;
constexpr int kDataLoopRecords = 18;
constexpr int kDataExtRecords = 48;
constexpr int kDioStatePoints = 36;
constexpr int kPatternEntries = 30;
// A log's text holds every line of the largest list answer the link takes in, so a long log
// (a busy instrument's communication log easily passes 10 KB) is read whole, never refused.
constexpr uint32_t kLogReceiveSize = kReceiveAreaSize;
constexpr uint32_t kLogTextSize = kLogReceiveSize;

// One raw value item of the values answer, as fixed-width texts.
struct CDataRecord {
    char status[2];
    char number[4];
    char text1[7];
    char text2[10];  // 6 characters, 9 for math channels
    char text3[4];
    char marks[13];  // characters 5 to 16: the alarm marks, blank while no alarm is raised
};

// "FD0,1,212" (model 3100) or "FD0,1,248": date, time and the raw value items.
class CCmdFD : public CCommand {
  public:
    CCmdFD() { Clear(); }
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF. A line that cannot be
    // placed is skipped.
    void ParseLine(const char* line);
    void Clear();

    char date[10] = {};
    char time[14] = {};
    char errorLine[kErrorLineSize] = {};  // the instrument's line when it refused the query
    // Index of the last filled record of each table; -1 when none.
    int32_t measCount = -1;
    int32_t mathCount = -1;
    int32_t loopCount = -1;
    int32_t extCount = -1;
    CDataRecord measRecords[kDataMeasRecords] = {};
    CDataRecord mathRecords[kDataMathRecords] = {};
    CDataRecord loopRecords[kDataLoopRecords] = {};
    CDataRecord extRecords[kDataExtRecords] = {};
};

// The state of one DI/DO point as the fixed-length "FO" record reports it.
struct CDioPointState {
    int32_t flagA;       // present
    int32_t flagS;       // mode
    int32_t moduleKind;  // 0 to 6, 7 absent
    int32_t flagD;       // input state
    int32_t flagE;       // output state
};

// "FO": DI/DO point states from a 48-byte (model 3100) or 88-byte (model 3200) record.
class CCmdFO : public CCommand {
  public:
    CCmdFO() { Clear(); }
    RzResult Query() override;
    RzResult ParseAnswer(const char* bytes, uint32_t length, int32_t modelClass);
    void Clear();

    CDioPointState points[kDioStatePoints] = {};
};

struct CPatternEntry {
    int32_t pattern;
    int32_t bit0;  // 0 or 1
    int32_t bit1;  // 0 or 2
    int32_t bit2;  // 0 or 4
};

// "FW": the program pattern list, a binary block.
class CCmdFW : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseAnswer(const char* bytes, uint32_t length);
    void Clear();

    uint32_t word1 = 0;
    uint32_t word2 = 0;
    int32_t patternCount = 0;
    CPatternEntry patterns[kPatternEntries] = {};
};

// "FH" or "FH%d": the state bits of one program pattern (pattern 0: the current one).
class CCmdFH : public CCommand {
  public:
    RzResult Query() override;
    // The line parser of the line walk; `line` includes its CR LF.
    RzResult ParseLine(const char* line);
    void Clear();

    int32_t pattern = 0;
    int32_t bit0 = 0;
    int32_t bit1 = 0;
    int32_t bit2 = 0;
};

// "FL %s,%d": one of the instrument's logs as text. Kinds: 0 COM, 1 FTPC, 2 ERR, 3 KEY,
// 4 WEB, 5 EMAIL, 6 ALARM, 7 MSG.
class CCmdFL : public CCommand {
  public:
    RzResult Query() override;
    RzResult ParseAnswer(const char* text, uint32_t length);
    void Clear();

    int32_t kind = 0;
    int32_t count = 0;
    char logText[kLogTextSize] = {};
};
