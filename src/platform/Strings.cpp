#include "platform/Strings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

// Sorted by id so that lookup is a binary search.
constexpr std::array<std::pair<int, const char*>, 57> kStrings{{
    {10000, "Communicate with RZ error, please check RZ configuration!"},
    {10001, "Communicate with RZ error!"},
    {20000, "The object has been initialized"},
    {20001, "Object is not exist!"},
    {20002, "Object has existed!"},
    {20003, "RZ is not login!"},
    {20004, "Software not support current hardware!"},
    {20005, "Overflow of range!"},
    {20006, "The function parameter is mismatch!"},
    {20007, "Lack of memory!"},
    {20011, "File path is not exist!"},
    {20012, "The socket Open error!"},
    {20013, "Socker has been opened!"},
    {20014, "Socket is not been opened!"},
    {20015, "Socket  operation timeout!"},
    {20016, "Communicate with RZ error!"},
    {20017, "RZ register load error!"},
    {20018, "Connect to RZ error,please check network!"},
    {20019, "You must select a RZ before login to it!"},
    {20020, "You must input user name before login RZ!"},
    {20021,
     "The RZ name of item %1!d! is not inputed!\nPlease confirm all register RZ names are "
     "inputed!"},
    {20022, "The IP address of item %1!d! is not valid! \nPlease inputs it again!"},
    {20023, "The maximum register RZ number is limited in %1!d!!"},
    {20024, "There is a same item be registered! "},
    {20025,
     "The file cann't be saved! \n Please confirming the correct path is be setted or the free "
     "size of disk is enough."},
    {61204, "SP:"},
    {61205, "PV:"},
    {61206, "OUT:"},
    {61207, "REM"},
    {61208, "PRG"},
    {61209, "Meas-CH"},
    {61210, "Math-CH"},
    {61211, "Int-Loop"},
    {61212, "Ext-Loop"},
    {61213, "DIO"},
    {61214, "Start"},
    {61215, "Stop"},
    {61216, "Stop"},
    {61217, "Start"},
    {61220,
     "Current %s value is out of range:  %s - %s !\nSystem have adjust it, do you still want to "
     "send current setting?"},
    {61247, "Hold"},
    {61248, "Unhold"},
    {61249, "Start math"},
    {61250, "Stop math"},
    {61251, "Start memory"},
    {61252, "Stop memory"},
    {61260, "Alarm summary"},
    {61261, "Communication"},
    {61262, "Error"},
    {61263, "Key login"},
    {61264, "Web operation"},
    {61265, "E-Mail"},
    {61266, "FTP"},
    {61267, "Message"},
    {61276, "Unknow error detected!\nSoftware will close the log reporter dialog."},
    {61277, "Software can not save image because a unexpectable Error encount."},
    {61278, "Program"},
}};

}  // namespace

const char* RzString(int id) {
    // Pattern names 61279 + i for i = 0..29 read "Pattern 1" .. "Pattern 30".
    static const auto patterns = [] {
        std::array<std::string, 30> names;
        for (int i = 0; i < 30; ++i) {
            names[i] = "Pattern " + std::to_string(i + 1);
        }
        return names;
    }();
    if (id >= 61279 && id < 61279 + 30) {
        return patterns[id - 61279].c_str();
    }
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                                     [](const auto& entry, int key) { return entry.first < key; });
    if (it == kStrings.end() || it->first != id) {
        return nullptr;
    }
    return it->second;
}

bool IsRzString(const std::string& text) {
    return std::any_of(kStrings.begin(), kStrings.end(),
                       [&](const auto& entry) { return text == entry.second; });
}

std::string RzFormatString(int id, int value) {
    const char* text = RzString(id);
    if (text == nullptr) {
        return {};
    }
    std::string out(text);
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
