#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/InstrumentModel.h"
#include "session/InstrumentConnection.h"

// One value as the overview lists it: the member's tag, its value text and its unit.
struct CSummaryValue {
    std::string tag;
    std::string value;
    std::string unit;
};

// What the plant overview shows of a logged-in instrument, read from a published model and its
// freshness: the same for the console's own connection and for any other that keeps a model.
// Texts are the instrument's, as it sent them.
struct CInstrumentSummary {
    std::string model;     // "RZ3200"
    std::string firmware;  // "3.06"
    std::string alarm;     // the values in alarm (DescribeAlarms); empty while none is
    bool memoryRunning = false;
    bool mathRunning = false;
    int64_t valuesValidAtNs = 0;  // steady clock: the last valid values; 0 never
    std::string valuesReason;     // why the latest values request failed; empty when it did not
    std::vector<CSummaryValue> values;  // the first members of the first display group
};

// The values of the last values answer that have an alarm raised, for the operator: "channel 1
// (1-T-01), loop 2 PV (2-TIC-01)", the first few and how many more; empty while none has. The
// tags are the instrument's, as it sent them.
std::string DescribeAlarms(const CInstrumentModel& model);

constexpr int kSummaryValues = 4;

CInstrumentSummary SummarizeInstrument(const CInstrumentModel& model,
                                       const CDataFreshness& freshness,
                                       int valueCount = kSummaryValues);
