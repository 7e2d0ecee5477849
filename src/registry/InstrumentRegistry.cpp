#include "registry/InstrumentRegistry.h"

#include <algorithm>
#include <cstdint>
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

constexpr size_t kCountWidth = 10;

// Takes one line end, CR LF or LF, off the front of `rest`.
bool TakeLineEnd(std::string_view* rest) {
    const size_t n = rest->substr(0, 2) == "\r\n" ? 2 : rest->substr(0, 1) == "\n" ? 1 : 0;
    rest->remove_prefix(n);
    return n != 0;
}

// The count field as "%10d" writes a count: blanks, then at least one decimal digit up to its
// end. Ten digits fit.
bool ParseCount(std::string_view field, uint64_t* count) {
    const size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    uint64_t value = 0;
    for (const char c : field.substr(first)) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    *count = value;
    return true;
}

// Reads the records of a whole registry file into `records`. Returns why `bytes` is not one,
// or an empty text.
std::string ParseRegistryFile(std::string_view bytes, std::vector<CRegistryRecord>* records) {
    constexpr size_t kRecordBytes = sizeof(CRegistryRecord);
    if (bytes.substr(0, CInstrumentRegistry::kSignatureLength) != CInstrumentRegistry::kSignature) {
        return "it does not begin with the registry signature";
    }
    std::string_view rest = bytes.substr(CInstrumentRegistry::kSignatureLength);
    uint64_t count = 0;
    if (!TakeLineEnd(&rest) || rest.size() < kCountWidth ||
        !ParseCount(rest.substr(0, kCountWidth), &count)) {
        return "its record count is not a number";
    }
    rest.remove_prefix(kCountWidth);
    if (!TakeLineEnd(&rest)) {
        return "its record count has no line end";
    }
    for (uint64_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i + 1);
        if (rest.size() < kRecordBytes) {
            return "its count says " + std::to_string(count) + " records but only " +
                   std::to_string(i) + " whole records follow";
        }
        // Name, blank, comma, IP text, blank: the fixed widths every record is written with.
        if (rest[15] != ' ' || rest[16] != ',' || rest[32] != ' ') {
            return "record " + number + " is not in the fixed-width layout";
        }
        CRegistryRecord record;
        std::memcpy(&record, rest.data(), kRecordBytes);
        // Ends the name at its 15th character (the blank before the comma) and the IP text at
        // byte 17 + 15; blanks inside the fields stay until GetRecord.
        record.name[15] = '\0';
        record.name[16] = '\0';
        record.ip[15] = '\0';
        records->push_back(record);
        rest.remove_prefix(kRecordBytes);
        if (!TakeLineEnd(&rest) && !(rest.empty() && i + 1 == count)) {
            return "record " + number + " has no line end";
        }
    }
    if (!rest.empty()) {
        return "more follows than the " + std::to_string(count) + " records of its count";
    }
    return {};
}

}  // namespace

CRegistryRecord MakeRegistryRecord(std::string_view name, std::string_view ip) {
    CRegistryRecord record;
    CopyCut(record.name, sizeof record.name, name);
    CopyCut(record.ip, sizeof record.ip, ip);
    return record;
}

RzExpected<void> CInstrumentRegistry::Load(const char* path) {
    if (!inSync_ && !path_.empty()) {
        // Reading now would drop the changes; keep them and report the failed write.
        if (RzExpected<void> saved = Save(); !saved) {
            saved.error().code = LINK_E_FILE;
            return saved;
        }
    }
    path_ = path != nullptr ? std::string(path) : DataFilePath(kFileName);
    return ReadFile();
}

RzExpected<void> CInstrumentRegistry::ReadFile() {
    records_.clear();
    fileUnread_ = true;
    const RzExpected<std::optional<std::string>> bytes = ReadWholeFile(path_, kMaxFileBytes);
    if (!bytes) {
        return RzError(LINK_E_FILE, {},
                       {"Cannot read the registry file " + path_ + ": " + bytes.error().text});
    }
    if (*bytes) {
        const std::string why = ParseRegistryFile(**bytes, &records_);
        if (!why.empty()) {
            records_.clear();
            return RzError(
                LINK_E_FILE_FORMAT, {},
                {"The registry file " + path_ + " is damaged and is left as it is: " + why});
        }
    }
    fileUnread_ = false;
    return {};
}

RzExpected<void> CInstrumentRegistry::Save() {
    if (inSync_) {
        return {};
    }
    if (path_.empty()) {
        return RzError(LINK_E_FILE);
    }
    if (fileUnread_) {
        return RzError(
            LINK_E_FILE, {},
            {"The registry file " + path_ + " could not be read, so it is not written over"});
    }
    CFileLock lock;
    if (const RzExpected<void> locked = lock.Acquire(path_, kLockTimeoutMs); !locked) {
        return RzError(LINK_E_FILE, {},
                       {"Cannot write the registry file " + path_ + ": " + locked.error().text});
    }
    return WriteFile();
}

RzExpected<void> CInstrumentRegistry::Update(
    const std::function<RzResult(CInstrumentRegistry&)>& change) {
    if (path_.empty()) {
        path_ = DataFilePath(kFileName);
    }
    CFileLock lock;
    if (const RzExpected<void> locked = lock.Acquire(path_, kLockTimeoutMs); !locked) {
        return RzError(LINK_E_FILE, {},
                       {"Cannot write the registry file " + path_ + ": " + locked.error().text});
    }
    RzExpected<void> read = ReadFile();
    inSync_ = true;
    if (!read) {
        return read;
    }
    const std::vector<CRegistryRecord> held = records_;
    const RzResult changed = change(*this);
    if (changed != RZ_OK) {
        records_ = held;
        inSync_ = true;
        return RzError(changed);
    }
    if (inSync_) {
        return {};
    }
    return WriteFile();
}

RzExpected<void> CInstrumentRegistry::WriteFile() {
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
        return RzError(LINK_E_FILE, {}, {"Cannot write the registry file " + path_});
    }
    inSync_ = true;
    return {};
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

std::string CInstrumentRegistry::ListedName(std::string_view name) {
    const CRegistryRecord cut = MakeRegistryRecord(name, {});
    return std::string(TrimTrailingBlanks(FieldText(cut.name, sizeof cut.name)));
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
