#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "platform/Strings.h"
#include "transport/LinkTransport.h"

struct CInstrumentModel;

// Sizes of the answer areas that commands use on their own stack.
constexpr uint32_t kStatusAnswerCapacity = 32768;  // status answers and field lists
constexpr uint32_t kLineWalkCapacity = 51200;      // line walks
constexpr int kFieldRows = 256;                    // rows of a field list
constexpr int kFieldRowSize = 256;                 // bytes per row, NUL included
constexpr int kLineBufferSize = 256;               // one line of a line walk, NUL included
constexpr int kFieldListLines = 256;               // data lines a field list may hold

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
    // operator and gives REPLY_ERROR; a list ("EA" ...) is shown and gives REPLY_UNEXPECTED;
    // anything else is success.
    virtual RzResult ReceiveStatus();

    CLinkTransport* link() const { return link_; }
    const CInstrumentModel* identity() const { return identity_; }

  protected:
    // Sends `request` (no line end). An unbound object gives LINK_E_NOT_INITIALIZED.
    RzResult SendRequest(const char* request);
    // The exchange of every status command: `request`, then ReceiveStatus().
    RzResult ExchangeStatus(const char* request);

    CLinkTransport* link_ = nullptr;
    const CInstrumentModel* identity_ = nullptr;
};

// Reads a list answer ("EA", data lines, "EN") into `rows`, filled in place: its comma-separated
// fields, without each line's two-character prefix, one a row. Returns the number of fields. A
// first line other than "EA" is shown and gives REPLY_UNEXPECTED. A data line longer than 255
// characters, more than 256 data lines or more than 256 fields give LINK_E_FORMAT (the rows
// filled so far stay filled).
RzExpected<int> ReceiveFieldList(CLinkTransport* link, FieldRows& rows);

// Splits one answer line (after its two-character prefix) at commas into at most `maxRows`
// rows; unfilled rows become empty. More fields than rows, or a field longer than a row,
// gives LINK_E_FORMAT. `maxRows` above kFieldRows counts as kFieldRows.
RzResult SplitFields(FieldRows& rows, const char* line, int maxRows);

// floor(value * 10^decimals + 0.5): the integer a set point or output is sent as. Computed on
// the shortest decimal text of `value`, so 12.34 with 2 decimals is 1234 although the double
// lies just below 12.34. Results beyond the int64 range saturate; NaN gives 0.
int64_t ScaleValue(double value, int decimals);

// ScaleValue for a request field: LINK_E_PARAMETER when `value` is not finite or the scaled
// number does not fit a 32-bit field.
RzExpected<int32_t> ScaleRequestValue(double value, int decimals);

// 'E' followed by anything but 'A': a list query's error answer.
bool IsListErrorAnswer(const char* text);
// 'E' followed by a number above 0 ("E1", "E12"): the error answer some queries test for.
bool IsNumberedErrorAnswer(const char* text);
// A binary or fixed answer that is an error status line: first byte 'E', second not 'B', and
// CR LF at its end before the terminating NUL that those receive modes count into `length`.
bool IsBinaryErrorAnswer(const char* answer, uint32_t length);

// The first line of an error answer, kept by the queries whose failure the views explain.
constexpr size_t kErrorLineSize = 64;
// Copies the first line of `answer` (without its line end, cut to fit) into `out`.
void KeepErrorLine(char* out, const char* answer);

// A non-owning reference to a line parser: any callable taking (const char* line, int length)
// and returning RzResult. The line is NUL-terminated and includes its CR LF. Holding no heap
// state, it can wrap a lambda with captures for the duration of one line walk.
class LineParser {
  public:
    template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, LineParser> &&
             std::is_invocable_r_v<RzResult, F&, const char*, int>)
        LineParser(F&& parser)  // NOLINT: implicit by design, a lambda is passed directly
        : object_(const_cast<void*>(static_cast<const void*>(&parser))),
          call_([](void* object, const char* line, int length) -> RzResult {
              return (*static_cast<std::remove_reference_t<F>*>(object))(line, length);
          }) {}

    RzResult operator()(const char* line, int length) const { return call_(object_, line, length); }

  private:
    void* object_;
    RzResult (*call_)(void*, const char*, int);
};

// How a line walk recognises an error answer before it walks the lines.
enum class AnswerErrorTest : int32_t {
    kNotListOpener,   // 'E' followed by anything but 'A' (IsListErrorAnswer)
    kPositiveNumber,  // 'E' followed by a number above 0 (IsNumberedErrorAnswer)
};

struct LineWalkOptions {
    AnswerErrorTest errorTest = AnswerErrorTest::kNotListOpener;
    bool showError = true;                  // show an error answer with ShowStatusMessage
    uint32_t capacity = kLineWalkCapacity;  // receive capacity, at most kLineWalkCapacity
    char* errorLine = nullptr;              // kErrorLineSize bytes: gets an error answer's line
};

// The line walk shared by list queries: sends `request` in RECV_LIST mode, receives the answer,
// applies the error test (an error answer gives REPLY_UNEXPECTED), then hands every CR LF
// terminated line, in order, to `parser` until a line that begins "EN" has been parsed. A
// non-zero parser result ends the walk and is returned; running out of text before "EN" (no
// further CR LF) or a line of more than 255 characters gives LINK_E_FORMAT. The caller clears
// its results before the walk.
RzResult RunLineWalk(CLinkTransport* link, const char* request, const LineWalkOptions& options,
                     LineParser parser);
