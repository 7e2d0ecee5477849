#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"

// Replaces the file at `path` with `length` bytes at `data`: writes a new file beside it,
// flushes it to disk and renames it into place, so a crash or a failed write never leaves a
// half-written file and never damages the file it replaces. A symbolic link is written through
// to the file it names; a replaced file keeps its permission bits. Something at `path` that is
// not a regular file we may write is refused. RZ_OK, LINK_E_PARAMETER for an empty path or
// null data, LINK_E_FILE when any step fails (the old file is then untouched).
RzResult WriteFileAtomically(const std::string& path, const void* data, size_t length);

// The bytes of the whole regular file at `path`, at most `maxBytes` of it. A path where nothing
// is, inside a directory that exists, is no error: no bytes at all (none, not an empty file).
// Anything that cannot be read gives LINK_E_FILE with the reason as its text: no permission, a
// missing directory, something that is not a regular file (a directory, a FIFO or a device is
// refused without waiting on it), a file larger than `maxBytes`, a read error.
RzExpected<std::optional<std::string>> ReadWholeFile(const std::string& path, size_t maxBytes);

// An exclusive lock that writers of one file take around read-change-write, so that no writer
// replaces the file between another one's read and write. It is an flock() on a lock file
// beside the file (`path` + ".lock"), which the holder removes as it lets go: the kernel drops
// the lock when the holder exits or crashes, so no stale lock ever outlives its process, and a
// waiter that finds its lock file removed under it locks the new one. Each object is its own
// open file, so two threads of one process exclude each other too.
class CFileLock {
  public:
    CFileLock() = default;
    ~CFileLock() { Release(); }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Waits at most `timeoutMs` for the lock. LINK_E_FILE, with the reason as its text, when the
    // lock file cannot be opened or another holder keeps the lock past the time-out.
    RzExpected<void> Acquire(const std::string& path, int timeoutMs);
    void Release();
    bool IsHeld() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    std::string lockPath_;
};
