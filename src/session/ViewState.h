#pragma once

#include <cstdint>

#include "model/InstrumentModel.h"

// What a loop panel keeps per record: an SP typed and not yet sent, an OUT typed and its value.
struct CLoopEdits {
    int32_t spEdited = 0;
    int32_t outEdited = 0;
    double outValue = 0;
};

struct CDioEdits {
    int32_t outEdited = 0;
    int32_t outValue = 0;
};

// The fields of the settings model that the views own: the display state shared by the views
// and the panels' per-record edits. A connection keeps them apart from its working model, under
// a short lock that no exchange ever holds, so a view reads and writes them at once even while
// the instrument stalls. Operations that change them (display switch, trend options, output
// writes) fold their results in under the same short lock.
struct CViewState {
    int32_t displayKind = 0;
    int32_t displayGroup = 0;
    int32_t simplePage = 0;
    int32_t selectedPattern = 0;
    int32_t controlStyle = 0;
    int32_t trendOptions = 0;
    int32_t measurePage = 0;
    CLoopEdits internalLoops[kInternalLoops];
    CLoopEdits externalLoops[kExternalLoops];
    CDioEdits dio[kDioPoints];
};
