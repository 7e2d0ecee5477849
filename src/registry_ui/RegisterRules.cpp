#include "registry_ui/RegisterRules.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/Strings.h"
#include "ui/Widgets.h"

const QString kEmptyIpCell = QStringLiteral("   .   .   .   ");

QString IpCellText(const std::array<int, 4>& parts) {
    if (parts == std::array<int, 4>{}) {
        return kEmptyIpCell;
    }
    return QString::asprintf("%3d.%3d.%3d.%3d", parts[0], parts[1], parts[2], parts[3]);
}

QString CutCellText(const QString& text) {
    return text.left(kRegisterCellChars);
}

QString RegisterCheck::Message() const {
    return refusal ? RzFormatText(*refusal, row) : QString();
}

namespace {

std::string Latin1(const QString& text) {
    const QByteArray bytes = CutCellText(text).toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string WithoutTrailingBlanks(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// True when some part of the address, read as a decimal number after optional blanks up to
// each dot, is greater than 0.
bool HasNonZeroPart(const std::string& ip) {
    size_t pos = 0;
    while (pos <= ip.size()) {
        const size_t dot = std::min(ip.find('.', pos), ip.size());
        const std::string part = ip.substr(pos, dot - pos);
        if (std::atoi(part.c_str()) > 0) {
            return true;
        }
        pos = dot + 1;
    }
    return false;
}

}  // namespace

RegisterCheck CheckRegisterRows(const std::vector<RegisterRow>& rows) {
    RegisterCheck check;
    std::set<std::string> names;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string name = Latin1(rows[i].name);
        const std::string ip = Latin1(rows[i].ip);
        std::string compact;
        for (char c : ip) {
            if (c != ' ') {
                compact += c;
            }
        }
        const int row = static_cast<int>(i) + 1;
        if (name.empty() && compact.size() <= 3) {
            continue;
        }
        if (name.find_first_not_of(' ') == std::string::npos) {
            return {RzStr::kRegisterNameMissing, row, {}};
        }
        if (!HasNonZeroPart(ip)) {
            return {RzStr::kRegisterAddressInvalid, row, {}};
        }
        if (!names.insert(WithoutTrailingBlanks(name)).second) {
            return {RzStr::kRegisterNameTwice, row, {}};
        }
        check.records.push_back(MakeRegistryRecord(name, ip));
    }
    return check;
}

std::array<int, 3> RegisterColumnWidths(int gridWidth, int rowCount, int scrollBarWidth) {
    const int name = gridWidth / 2 - 10;
    const int address = rowCount > kRowsWithoutScrollBar ? gridWidth / 2 - scrollBarWidth - 20
                                                         : gridWidth - 30 - name;
    return {30, name, address};
}
