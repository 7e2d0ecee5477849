#include "registry/InstrumentRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace {

constexpr size_t kFieldWidth = 15;

// Copies at most 15 characters; a NUL inside the text ends it, as it would in the file.
void CopyCut(char* dest, size_t destSize, std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const size_t n = std::min({text.size(), kFieldWidth, destSize - 1});
    std::memset(dest, 0, destSize);
    if (n != 0) {  // an empty view may carry a null pointer
        std::memcpy(dest, text.data(), n);
    }
}

std::string_view FieldText(const char* field, size_t size) {
    return std::string_view(field, strnlen(field, size));
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// The count field: leading blanks, an optional sign, decimal digits; anything else ends it.
// Unreadable text gives 0; huge values saturate, and the record loop stops at the end of the
// file anyway.
long long ParseCount(const char* text) {
    return std::strtoll(text, nullptr, 10);
}

}  // namespace

CRegistryRecord MakeRegistryRecord(std::string_view name, std::string_view ip) {
    CRegistryRecord record;
    CopyCut(record.name, sizeof record.name, name);
    CopyCut(record.ip, sizeof record.ip, ip);
    return record;
}

RzResult CInstrumentRegistry::Load(const char* path) {
    if (!inSync_ && !path_.empty()) {
        // Reading now would drop the changes; keep them and report the failed write.
        if (Save() != RZ_OK) {
            return LINK_E_FILE;
        }
    }
    path_ = path != nullptr ? std::string(path) : DataFilePath(kFileName);
    if (path_.empty()) {
        return LINK_E_FILE;
    }
    records_.clear();
    // Binary mode: the layout counts the two bytes of every CR LF on every platform.
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) {
        return LINK_E_FILE;
    }
    char signature[kSignatureLength];
    if (std::fread(signature, 1, kSignatureLength, file) != kSignatureLength ||
        std::memcmp(signature, kSignature, kSignatureLength) != 0) {
        std::fclose(file);
        return LINK_E_FILE_FORMAT;
    }
    char lineEnd[2];
    char countText[11] = {};
    const size_t lineEndRead = std::fread(lineEnd, 1, 2, file);
    const size_t countRead = lineEndRead == 2 ? std::fread(countText, 1, 10, file) : 0;
    countText[countRead] = '\0';
    const long long count = ParseCount(countText);
    if (count < 1 || std::fread(lineEnd, 1, 2, file) != 2) {
        std::fclose(file);
        return RZ_OK;
    }
    for (long long i = 0; i < count; ++i) {
        CRegistryRecord record;
        if (std::fread(&record, 1, sizeof record, file) != sizeof record) {
            break;
        }
        // Ends the name at its 15th character (the blank before the comma) and the IP text at
        // byte 17 + 15; blanks inside the fields stay until GetRecord.
        record.name[15] = '\0';
        record.name[16] = '\0';
        record.ip[15] = '\0';
        records_.push_back(record);
        if (std::fread(lineEnd, 1, 2, file) != 2) {
            break;
        }
    }
    std::fclose(file);
    return RZ_OK;
}

RzResult CInstrumentRegistry::Save() {
    if (inSync_) {
        return RZ_OK;
    }
    if (path_.empty()) {
        return LINK_E_FILE;
    }
    std::string bytes;
    bytes.reserve(kHeaderLength + records_.size() * kLineLength);
    bytes.append(kSignature, kSignatureLength);
    bytes += "\r\n";
    char line[64];
    std::snprintf(line, sizeof line, "%10d\r\n", GetCount());
    bytes += line;
    for (const auto& record : records_) {
        const int n =
            std::snprintf(line, sizeof line, "%-15.15s ,%-15.15s \r\n", record.name, record.ip);
        bytes.append(line, static_cast<size_t>(n));
    }
    if (WriteFileAtomically(path_, bytes.data(), bytes.size()) != RZ_OK) {
        return LINK_E_FILE;
    }
    inSync_ = true;
    return RZ_OK;
}

void CInstrumentRegistry::Clear() {
    records_.clear();
    inSync_ = false;
}

CRegistryRecord CInstrumentRegistry::GetRecord(int index) const {
    if (index < 0 || index >= GetCount()) {
        return MakeRegistryRecord({}, {});
    }
    const auto& held = records_[static_cast<size_t>(index)];
    return MakeRegistryRecord(TrimTrailingBlanks(FieldText(held.name, sizeof held.name)),
                              TrimTrailingBlanks(FieldText(held.ip, sizeof held.ip)));
}

RzResult CInstrumentRegistry::Add(const CRegistryRecord& record) {
    const CRegistryRecord cut = MakeRegistryRecord(FieldText(record.name, sizeof record.name),
                                                   FieldText(record.ip, sizeof record.ip));
    const std::string_view name = FieldText(cut.name, sizeof cut.name);
    for (const auto& held : records_) {
        if (FieldText(held.name, sizeof held.name) == name) {
            return LINK_E_EXISTS;
        }
    }
    records_.push_back(cut);
    inSync_ = false;
    return RZ_OK;
}

RzResult CInstrumentRegistry::Remove(int index) {
    if (index < 0 || index >= GetCount()) {
        return LINK_E_PARAMETER;
    }
    records_.erase(records_.begin() + index);
    inSync_ = false;
    return RZ_OK;
}

int CInstrumentRegistry::FindIndex(std::string_view name) const {
    for (size_t i = 0; i < records_.size(); ++i) {
        const auto& held = records_[i];
        if (TrimTrailingBlanks(FieldText(held.name, sizeof held.name)) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> CInstrumentRegistry::FindAddress(std::string_view name) const {
    const int index = FindIndex(name);
    if (index < 0) {
        return std::nullopt;
    }
    const auto& held = records_[static_cast<size_t>(index)];
    std::string address;
    for (char c : FieldText(held.ip, sizeof held.ip)) {
        if (c != ' ') {
            address += c;
        }
    }
    return address;
}
