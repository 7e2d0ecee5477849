#pragma once

#include <cstddef>
#include <string>

// The console's string table: the system's user-visible texts by name. The one table that holds
// the texts (Strings.cpp, in this order) also keeps each text's string number, by which the
// log reporter's list items know their log type.
enum class RzStr {
    // Link and connection
    kCheckConfiguration,  // a log-in receive failed with nothing received
    kStartRefreshFailed,  // the first refresh at connection start failed
    kAlreadyInitialised,
    kObjectMissing,
    kObjectExists,
    kNotLoggedIn,
    kUnsupportedHardware,  // identification or connection start found an unsupported instrument
    kOverflow,
    kParameterMismatch,
    kOutOfMemory,  // the socket or the connection could not be allocated
    kPathMissing,
    kSocketOpenFailed,  // the connection could not be opened
    kSocketAlreadyOpen,
    kSocketNotOpen,
    kSocketTimeout,
    kLinkBroken,  // a connection was closed because its link broke
    kRegistryLoadFailed,
    kConnectFailed,
    // Log-in and Register dialogs; "%1!d!" is the 1-based row or the row limit
    kNoInstrumentChosen,
    kNoUserName,
    kRegisterNameMissing,
    kRegisterAddressInvalid,
    kRegisterRowLimit,
    kRegisterNameTwice,
    kFileNotSaved,
    // Panel captions
    kSpCaption,
    kPvCaption,
    kOutCaption,
    kRemCaption,
    kPrgCaption,
    // Type texts of the model's records
    kMeasType,
    kMathType,
    kInternalLoopType,
    kExternalLoopType,
    kDioType,
    // Simple panel's memory and math buttons
    kMemoryStart,
    kMemoryStop,
    kMathStop,
    kMathStart,
    // The loop panel's question after it adjusted a value: name, low and high limit ("%s")
    kAdjustedQuestion,
    // Program panel, function commands
    kHold,
    kUnhold,
    kStartMath,
    kStopMath,
    kStartMemory,
    kStopMemory,
    // Log types of the log reporter
    kLogAlarmSummary,
    kLogCommunication,
    kLogError,
    kLogKeyLogin,
    kLogWebOperation,
    kLogEmail,
    kLogFtp,
    kLogMessage,
    kLogReadFailed,
    // Saving the screen image, program menu
    kImageWindowGone,
    kProgramItem,
    kPattern,  // "Pattern %1!d!", the 1-based pattern number
};

// The table's text `id` as UTF-8, the source text of its translation (context "RzString").
const char* RzString(RzStr id);

// The string number of text `id`; pattern N's name has kPattern's number + N - 1.
int RzStringNumber(RzStr id);

// Whether `text` is one of the table's texts.
bool IsRzString(const std::string& text);

// Text `id` with its "%1!d!" inserts filled with the decimal integer `value`.
std::string RzFormatString(RzStr id, int value);

// Copies at most size - 1 characters of `source` and always terminates `destination`.
void CopyText(char* destination, size_t size, const char* source);
