#include "platform/Strings.h"

#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct CStringEntry {
    RzStr name;
    int number;
    const char* text;
};

// The one table of texts: name, string number, text. In the order of RzStr, which the check
// below holds it to; the numbers ascend.
constexpr CStringEntry kStrings[] = {
    {RzStr::kCheckConfiguration, 10000,
     QT_TRANSLATE_NOOP("RzString", "Communicate with RZ error, please check RZ configuration!")},
    {RzStr::kStartRefreshFailed, 10001,
     QT_TRANSLATE_NOOP("RzString", "Communicate with RZ error!")},
    {RzStr::kAlreadyInitialised, 20000,
     QT_TRANSLATE_NOOP("RzString", "The object has been initialized")},
    {RzStr::kObjectMissing, 20001, QT_TRANSLATE_NOOP("RzString", "Object is not exist!")},
    {RzStr::kObjectExists, 20002, QT_TRANSLATE_NOOP("RzString", "Object has existed!")},
    {RzStr::kNotLoggedIn, 20003, QT_TRANSLATE_NOOP("RzString", "RZ is not login!")},
    {RzStr::kUnsupportedHardware, 20004,
     QT_TRANSLATE_NOOP("RzString", "Software not support current hardware!")},
    {RzStr::kOverflow, 20005, QT_TRANSLATE_NOOP("RzString", "Overflow of range!")},
    {RzStr::kParameterMismatch, 20006,
     QT_TRANSLATE_NOOP("RzString", "The function parameter is mismatch!")},
    {RzStr::kOutOfMemory, 20007, QT_TRANSLATE_NOOP("RzString", "Lack of memory!")},
    {RzStr::kPathMissing, 20011, QT_TRANSLATE_NOOP("RzString", "File path is not exist!")},
    {RzStr::kSocketOpenFailed, 20012, QT_TRANSLATE_NOOP("RzString", "The socket Open error!")},
    {RzStr::kSocketAlreadyOpen, 20013, QT_TRANSLATE_NOOP("RzString", "Socker has been opened!")},
    {RzStr::kSocketNotOpen, 20014, QT_TRANSLATE_NOOP("RzString", "Socket is not been opened!")},
    {RzStr::kSocketTimeout, 20015, QT_TRANSLATE_NOOP("RzString", "Socket  operation timeout!")},
    {RzStr::kLinkBroken, 20016, QT_TRANSLATE_NOOP("RzString", "Communicate with RZ error!")},
    {RzStr::kRegistryLoadFailed, 20017, QT_TRANSLATE_NOOP("RzString", "RZ register load error!")},
    {RzStr::kConnectFailed, 20018,
     QT_TRANSLATE_NOOP("RzString", "Connect to RZ error,please check network!")},
    {RzStr::kNoInstrumentChosen, 20019,
     QT_TRANSLATE_NOOP("RzString", "You must select a RZ before login to it!")},
    {RzStr::kNoUserName, 20020,
     QT_TRANSLATE_NOOP("RzString", "You must input user name before login RZ!")},
    {RzStr::kRegisterNameMissing, 20021,
     QT_TRANSLATE_NOOP("RzString",
                       "The RZ name of item %1!d! is not inputed!\nPlease confirm all register RZ "
                       "names are inputed!")},
    {RzStr::kRegisterAddressInvalid, 20022,
     QT_TRANSLATE_NOOP("RzString",
                       "The IP address of item %1!d! is not valid! \nPlease inputs it again!")},
    {RzStr::kRegisterRowLimit, 20023,
     QT_TRANSLATE_NOOP("RzString", "The maximum register RZ number is limited in %1!d!!")},
    {RzStr::kRegisterNameTwice, 20024,
     QT_TRANSLATE_NOOP("RzString", "There is a same item be registered! ")},
    {RzStr::kFileNotSaved, 20025,
     QT_TRANSLATE_NOOP("RzString",
                       "The file cann't be saved! \n Please confirming the correct path is be "
                       "setted or the free size of disk is enough.")},
    {RzStr::kSpCaption, 61204, QT_TRANSLATE_NOOP("RzString", "SP:")},
    {RzStr::kPvCaption, 61205, QT_TRANSLATE_NOOP("RzString", "PV:")},
    {RzStr::kOutCaption, 61206, QT_TRANSLATE_NOOP("RzString", "OUT:")},
    {RzStr::kRemCaption, 61207, QT_TRANSLATE_NOOP("RzString", "REM")},
    {RzStr::kPrgCaption, 61208, QT_TRANSLATE_NOOP("RzString", "PRG")},
    {RzStr::kMeasType, 61209, QT_TRANSLATE_NOOP("RzString", "Meas-CH")},
    {RzStr::kMathType, 61210, QT_TRANSLATE_NOOP("RzString", "Math-CH")},
    {RzStr::kInternalLoopType, 61211, QT_TRANSLATE_NOOP("RzString", "Int-Loop")},
    {RzStr::kExternalLoopType, 61212, QT_TRANSLATE_NOOP("RzString", "Ext-Loop")},
    {RzStr::kDioType, 61213, QT_TRANSLATE_NOOP("RzString", "DIO")},
    {RzStr::kMemoryStart, 61214, QT_TRANSLATE_NOOP("RzString", "Start")},
    {RzStr::kMemoryStop, 61215, QT_TRANSLATE_NOOP("RzString", "Stop")},
    {RzStr::kMathStop, 61216, QT_TRANSLATE_NOOP("RzString", "Stop")},
    {RzStr::kMathStart, 61217, QT_TRANSLATE_NOOP("RzString", "Start")},
    {RzStr::kAdjustedQuestion, 61220,
     QT_TRANSLATE_NOOP("RzString",
                       "Current %s value is out of range:  %s - %s !\nSystem have adjust it, do "
                       "you still want to send current setting?")},
    {RzStr::kHold, 61247, QT_TRANSLATE_NOOP("RzString", "Hold")},
    {RzStr::kUnhold, 61248, QT_TRANSLATE_NOOP("RzString", "Unhold")},
    {RzStr::kStartMath, 61249, QT_TRANSLATE_NOOP("RzString", "Start math")},
    {RzStr::kStopMath, 61250, QT_TRANSLATE_NOOP("RzString", "Stop math")},
    {RzStr::kStartMemory, 61251, QT_TRANSLATE_NOOP("RzString", "Start memory")},
    {RzStr::kStopMemory, 61252, QT_TRANSLATE_NOOP("RzString", "Stop memory")},
    {RzStr::kLogAlarmSummary, 61260, QT_TRANSLATE_NOOP("RzString", "Alarm summary")},
    {RzStr::kLogCommunication, 61261, QT_TRANSLATE_NOOP("RzString", "Communication")},
    {RzStr::kLogError, 61262, QT_TRANSLATE_NOOP("RzString", "Error")},
    {RzStr::kLogKeyLogin, 61263, QT_TRANSLATE_NOOP("RzString", "Key login")},
    {RzStr::kLogWebOperation, 61264, QT_TRANSLATE_NOOP("RzString", "Web operation")},
    {RzStr::kLogEmail, 61265, QT_TRANSLATE_NOOP("RzString", "E-Mail")},
    {RzStr::kLogFtp, 61266, QT_TRANSLATE_NOOP("RzString", "FTP")},
    {RzStr::kLogMessage, 61267, QT_TRANSLATE_NOOP("RzString", "Message")},
    {RzStr::kLogReadFailed, 61276,
     QT_TRANSLATE_NOOP("RzString",
                       "Unknow error detected!\nSoftware will close the log reporter dialog.")},
    {RzStr::kImageWindowGone, 61277,
     QT_TRANSLATE_NOOP("RzString",
                       "Software can not save image because a unexpectable Error encount.")},
    {RzStr::kProgramItem, 61278, QT_TRANSLATE_NOOP("RzString", "Program")},
    {RzStr::kPattern, 61279, QT_TRANSLATE_NOOP("RzString", "Pattern %1!d!")},  // to 61308
};
constexpr size_t kStringCount = sizeof(kStrings) / sizeof(kStrings[0]);

constexpr bool InNameOrder() {
    for (size_t i = 0; i < kStringCount; ++i) {
        if (kStrings[i].name != static_cast<RzStr>(i) ||
            (i > 0 && kStrings[i - 1].number >= kStrings[i].number)) {
            return false;
        }
    }
    return kStringCount == static_cast<size_t>(RzStr::kPattern) + 1;
}
static_assert(InNameOrder(), "one row per name, in the order of RzStr, numbers ascending");

const CStringEntry& Entry(RzStr id) {
    return kStrings[static_cast<size_t>(id)];
}

}  // namespace

const char* RzString(RzStr id) {
    return Entry(id).text;
}

int RzStringNumber(RzStr id) {
    return Entry(id).number;
}

bool IsRzString(const std::string& text) {
    return std::any_of(std::begin(kStrings), std::end(kStrings),
                       [&](const CStringEntry& entry) { return text == entry.text; });
}

std::string RzFormatString(RzStr id, int value) {
    std::string out(RzString(id));
    const std::string insert = "%1!d!";
    for (auto pos = out.find(insert); pos != std::string::npos; pos = out.find(insert, pos + 1)) {
        const std::string number = std::to_string(value);
        out.replace(pos, insert.size(), number);
        pos += number.size() - 1;
    }
    return out;
}

void CopyText(char* destination, size_t size, const char* source) {
    if (size == 0) {
        return;
    }
    size_t length = 0;
    while (length + 1 < size && source[length] != '\0') {
        ++length;
    }
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}
