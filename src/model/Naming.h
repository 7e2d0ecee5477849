#pragma once

#include <cstddef>
#include <cstdint>

struct CInstrumentModel;

// Names, tags, default names, module kind texts and type texts. Whatever the instrument leaves
// empty gets a name made up by a fixed rule, so that no column is ever nameless.

// What a channel number refers to: 1-30 measurement channels, 31-60 math channels, 101-118
// internal loop quantities and 201-248 external loop quantities (three per loop).
enum class ChannelObject : int32_t { kNone, kMeasurement, kMath, kInternalLoop, kExternalLoop };

// Quantity of a loop channel number.
enum LoopQuantity : int32_t { kQuantityPv = 0, kQuantitySp = 1, kQuantityOut = 2 };

struct CChannelPosition {
    ChannelObject object;
    int32_t index;     // zero-based channel or loop index
    int32_t quantity;  // LoopQuantity for loop numbers, 0 otherwise
};

// Where `number` points; kNone with index 0 for a number that refers to nothing.
CChannelPosition LocateChannel(int32_t number);

// Kind of a display group member from its channel number: 1 for 30 and below (0 and negative
// numbers included), 2 for 31-60, 3 for 101-118, 4 for 201-248, 0 for anything else.
int32_t DisplayMemberKind(int32_t number);

// Cuts `text` after its last character that is not a blank; blanks only become empty.
void TrimTrailingBlanks(char* text);

// Copies at most `size` - 1 characters of `source` into `text`, trims trailing blanks and
// returns whether anything is left.
bool StoreTrimmed(char* text, size_t size, const char* source);

// Default texts; each is cut to `size` and terminated.
void FormatDefaultTag(int32_t number, char* text, size_t size);      // "%d"
void FormatInternalLoopName(int32_t loop, char* text, size_t size);  // "INT-%02d", 1-based
void FormatExternalLoopName(int32_t loop, char* text, size_t size);  // "EXT-%02d", 1-based

// Default name of a DI/DO point from its short text, module kind and number: "RO-%03d" or
// "RI-%03d" (kind 0) when the text begins with 'R', else "DI-%03d" for kind 0, "DO-%03d" for
// kinds 1, 2 and 5, empty for kind 7 and "DIO-%03d" for any other kind.
void FormatDioDefaultName(const char* pointText, int32_t moduleKind, int32_t number, char* text,
                          size_t size);

// Module kind text of a DI/DO point: "DI-1", "DO-1", "DO-2", "DIO-11", "DIO-12", "DO-2P",
// "DIO-12P" for kinds 0 to 6, "DIO" for anything else.
const char* ModuleKindText(int32_t kind);

// After the first successful refresh of a connection: every kind whose count is above 0 gets
// its type text (string table) in all records of its capacity.
void WriteTypeTexts(CInstrumentModel& model);
