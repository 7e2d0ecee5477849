#pragma once

#include <cstdint>

// What identification learned of the instrument: 22 32-bit words, all zero before.
struct CInstrumentIdentity {
    char family[4];         // "RZ" for a supported instrument
    int32_t modelNumber;    // 3100 or 3200
    int32_t firmwareMajor;  // 1 to 3
    int32_t version;        // major * 65536 + minor
    int32_t reserved[7];    // words 4 to 10, not set by identification
    int32_t programOption;  // 0 none, 1 "PROGRAM SMALL", 2 "PROGRAM LARGE"
    int32_t pidAux[10];     // option flags from the PID_AUX answer (0 or 1)
};

static_assert(sizeof(CInstrumentIdentity) == 22 * 4, "identity is 22 words");
