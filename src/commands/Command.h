#pragma once

#include <cstdint>

#include "link/LinkTransport.h"
#include "platform/ResultCodes.h"

struct CInstrumentModel;

// Sizes of the answer areas that commands use on their own stack.
constexpr uint32_t kStatusAnswerCapacity = 32768;  // status answers and field lists
constexpr uint32_t kLineWalkCapacity = 51200;      // line walks
constexpr int kFieldRows = 256;                    // rows of a field list
constexpr int kFieldRowSize = 256;                 // bytes per row, NUL included
constexpr int kLineBufferSize = 256;               // one line of a line walk, NUL included

using FieldRows = char[kFieldRows][kFieldRowSize];

// Base of every protocol command object. An object is created once per connection, bound to
// the link and to the connection's identity copy (inside the settings model), and reused: the
// caller sets its parameter fields, runs Query or Execute, and reads the results from its
// fields. A run allocates nothing on the heap.
class CCommand {
public:
    CCommand() = default;
    virtual ~CCommand() = default;
    CCommand(const CCommand&) = delete;
    CCommand& operator=(const CCommand&) = delete;

    // Stores the link and the identity copy; returns 0.
    virtual RzResult Bind(CLinkTransport* link, const CInstrumentModel* identity);
    // The read operation; the base does nothing.
    virtual RzResult Query() { return RZ_OK; }
    // The write or operate operation; the base does nothing.
    virtual RzResult Execute() { return RZ_OK; }
    // Reads a one-line status answer: an 'E' followed by neither 'A' nor '0' is shown to the
    // operator and gives REPLY_ERROR; anything else is success.
    virtual RzResult ReceiveStatus();

    CLinkTransport* link() const { return link_; }
    const CInstrumentModel* identity() const { return identity_; }

protected:
    // Sends `request` (no line end) in `mode`.
    RzResult SendRequest(const char* request, int32_t mode);

    CLinkTransport* link_ = nullptr;
    const CInstrumentModel* identity_ = nullptr;
};

// Reads a list answer ("EA", data lines, "EN") and returns its comma-separated fields, without
// each line's two-character prefix, as rows; `outCount` is the number of fields.
RzResult ReceiveFieldList(CLinkTransport* link, FieldRows& rows, int* outCount);

// Splits one answer line (after its two-character prefix) at commas into at most `maxRows`
// rows; unfilled rows become empty. More fields than rows gives LINK_E_FORMAT.
RzResult SplitFields(FieldRows& rows, const char* line, int maxRows);

// floor(value * 10^decimals + 0.5): the integer a set point or output is sent as.
int64_t ScaleValue(double value, int decimals);
