#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"

// One registered instrument as it sits in the registry file: a NUL-terminated name of at most
// 15 characters and the IP text as the Register dialog's address cell shows it ("%3s.%3s.%3s.%3s",
// at most 15 characters). Byte 16 of the name is the field separator of the file line.
struct CRegistryRecord {
    char name[17];
    char ip[16];
};
static_assert(sizeof(CRegistryRecord) == 33, "a record is read from the file as 33 raw bytes");

// Builds a record, cutting both texts to 15 characters.
CRegistryRecord MakeRegistryRecord(std::string_view name, std::string_view ip);

// The list of registered instruments and its file RZRegist.rzr, a fixed-width text file with
// CR LF line ends that Windows installations share:
//   "QORSimpleControlRZRegFile" CR LF, "%10d" count CR LF, then per record
//   "%-15s ,%-15s " CR LF (name, IP text).
// Files are always written with CR LF; LF line ends (a file that passed through a tool that
// converts them) are read alike.
//
// Nothing is ever written over a file that could not be read: after a failed read of its path
// a registry refuses to save until a read of that path succeeds. Writers take the file's lock
// (CFileLock) around the write; Update also re-reads under it, so that two consoles or scripts
// never lose each other's records.
class CInstrumentRegistry {
  public:
    static constexpr const char* kFileName = "RZRegist.rzr";
    static constexpr const char* kSignature = "QORSimpleControlRZRegFile";
    static constexpr size_t kSignatureLength = 25;
    static constexpr size_t kHeaderLength = 39;  // signature line and count line
    static constexpr size_t kLineLength = 35;    // one record line with its CR LF
    static constexpr size_t kMaxFileBytes = 1 << 20;
    static constexpr int kLockTimeoutMs = 5000;

    // Saves the list first when it has unsaved changes and a file is known, then reads the file
    // at `path` (nullptr: RZRegist.rzr in the data directory). No file at `path` (in a
    // directory that exists) reads as an empty list. LINK_E_FILE when the file cannot be read
    // (no permission, not a regular file, a missing directory) or the pending save fails (the
    // list is then left as it was); LINK_E_FILE_FORMAT when it is not a whole registry file: a
    // wrong signature, a count field that is not a number or does not match the records that
    // follow, a record out of the fixed-width layout. A failed read leaves the list empty; its
    // message (for the status bar) names the file, as does every failure's below.
    RzExpected<void> Load(const char* path = nullptr);
    // Writes the list, under the file's lock, when it has unsaved changes. The file is replaced
    // whole: a failed or interrupted save leaves the previous file as it was and returns
    // LINK_E_FILE, as does a save over a file that could not be read.
    RzExpected<void> Save();
    // Under the file's lock: reads the file of the last Load (the data directory's file when
    // none), lets `change` edit the list as the file holds it now, and writes the result when
    // `change` returns RZ_OK. Whatever the list held before is replaced by the file's records.
    // When the lock cannot be had (LINK_E_FILE) or the read fails, that result is returned and
    // `change` is not called; when `change` fails, its result is returned, nothing is written
    // and the list holds the file's records.
    RzExpected<void> Update(const std::function<RzResult(CInstrumentRegistry&)>& change);

    void Clear();
    int GetCount() const { return static_cast<int>(records_.size()); }
    // A copy with trailing blanks removed from the name and the IP text; an index out of range
    // gives an empty record.
    CRegistryRecord GetRecord(int index) const;
    // Appends the record (texts cut to 15 characters). LINK_E_EXISTS when a record with exactly
    // the same name is held; names compare as held, so "A " and "A" differ, and a record loaded
    // from the file holds its name padded with blanks to 15 characters.
    RzResult Add(const CRegistryRecord& record);
    RzResult Add(std::string_view name, std::string_view ip) {
        return Add(MakeRegistryRecord(name, ip));
    }
    // Removes the record at `index`; LINK_E_PARAMETER when there is none.
    RzResult Remove(int index);
    // The name as GetRecord returns it once stored: cut to 15 characters, trailing blanks
    // removed. Look a name up by this to find what Add stored for it.
    static std::string ListedName(std::string_view name);
    // Index of the first record whose name, as GetRecord returns it, equals `name`; -1 if none.
    int FindIndex(std::string_view name) const;
    // The IP text with all blanks removed of the first record FindIndex finds.
    std::optional<std::string> FindAddress(std::string_view name) const;

    bool IsInSync() const { return inSync_; }
    const std::string& Path() const { return path_; }

  private:
    // Reads path_ into the list; sets fileUnread_ from the outcome.
    RzExpected<void> ReadFile();
    // Writes the list to path_; the caller holds the lock.
    RzExpected<void> WriteFile();

    std::vector<CRegistryRecord> records_;
    bool inSync_ = true;
    bool fileUnread_ = false;  // the last read of path_ failed: never write over it
    std::string path_;
};
