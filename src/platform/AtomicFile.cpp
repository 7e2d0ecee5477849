#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace {

std::atomic<unsigned> tempCounter{0};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A short name beside the target, unique within the process by the counter and across
// processes by the pid.
std::string TempPathIn(const std::string& directory) {
    std::string name = directory;
    if (name.back() != '/') {
        name += '/';
    }
    name += ".rz-" + std::to_string(static_cast<long>(getpid())) + "-" +
            std::to_string(tempCounter.fetch_add(1)) + ".tmp";
    return name;
}

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

bool WriteAll(int fd, const unsigned char* data, size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Writes the temporary file; false leaves nothing behind. `keepMode` is an existing file's
// permission bits, or -1 for a new file (0666 less umask).
bool WriteTemp(const std::string& tempPath, const unsigned char* data, size_t length,
               int keepMode) {
    const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, data, length);
    if (ok && keepMode >= 0) {
        ok = fchmod(fd, static_cast<mode_t>(keepMode)) == 0;
    }
    ok = ok && fsync(fd) == 0;
    if (close(fd) != 0) {
        ok = false;
    }
    if (!ok) {
        unlink(tempPath.c_str());
    }
    return ok;
}

}  // namespace

RzResult WriteFileAtomically(const std::string& path, const void* data, size_t length) {
    if (path.empty() || (data == nullptr && length != 0)) {
        return LINK_E_PARAMETER;
    }
    std::string target = path;
    int keepMode = -1;
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (S_ISLNK(existing.st_mode)) {
            char* resolved = realpath(path.c_str(), nullptr);
            if (resolved == nullptr) {
                return LINK_E_FILE;
            }
            target = resolved;
            std::free(resolved);
            if (stat(target.c_str(), &existing) != 0) {
                return LINK_E_FILE;
            }
        }
        if (!S_ISREG(existing.st_mode) || access(target.c_str(), W_OK) != 0) {
            return LINK_E_FILE;
        }
        keepMode = static_cast<int>(existing.st_mode & 07777);
    } else if (errno != ENOENT) {
        return LINK_E_FILE;
    }

    const std::string tempPath = TempPathIn(DirectoryOf(target));
    if (!WriteTemp(tempPath, static_cast<const unsigned char*>(data), length, keepMode)) {
        return LINK_E_FILE;
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        unlink(tempPath.c_str());
        return LINK_E_FILE;
    }
    // Make the rename itself durable.
    const int dirFd = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return RZ_OK;
}

RzExpected<std::optional<std::string>> ReadWholeFile(const std::string& path, size_t maxBytes) {
    if (path.empty()) {
        return RzError(LINK_E_FILE, "no file name");
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        struct stat directory {};
        if (error == ENOENT && stat(DirectoryOf(path).c_str(), &directory) == 0 &&
            S_ISDIR(directory.st_mode)) {
            return std::optional<std::string>();
        }
        return RzError(LINK_E_FILE,
                       error == ENOENT ? "its directory does not exist" : ErrorText(error));
    }
    struct stat info {};
    RzResult result = RZ_OK;
    std::string why;
    if (fstat(fd, &info) != 0) {
        why = ErrorText(errno);
        result = LINK_E_FILE;
    } else if (!S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file";
        result = LINK_E_FILE;
    }
    std::string bytes;
    char chunk[4096];
    while (result == RZ_OK) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = ErrorText(errno);
            result = LINK_E_FILE;
        } else if (n == 0) {
            break;
        } else if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
            why = "it is larger than " + std::to_string(maxBytes) + " bytes";
            result = LINK_E_FILE;
        } else {
            bytes.append(chunk, static_cast<size_t>(n));
        }
    }
    close(fd);
    if (result != RZ_OK) {
        return RzError(result, std::move(why));
    }
    return std::optional<std::string>(std::move(bytes));
}

RzExpected<void> CFileLock::Acquire(const std::string& path, int timeoutMs) {
    Release();
    const std::string lockPath = path + ".lock";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd =
            open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) {
            return RzError(LINK_E_FILE,
                           "cannot open its lock file " + lockPath + ": " + ErrorText(errno));
        }
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EINTR) {
                continue;
            }
            std::string why;
            if (error != EWOULDBLOCK) {
                why = "cannot lock " + lockPath + ": " + ErrorText(error);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                why = "another program keeps it locked (" + lockPath + ")";
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            close(fd);
            return RzError(LINK_E_FILE, std::move(why));
        }
        // The holder before us removes the lock file as it lets go; holding the lock of a
        // removed file excludes nobody, so lock the file that the name now gives.
        struct stat held {};
        struct stat named {};
        if (fstat(fd, &held) == 0 && stat(lockPath.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            lockPath_ = lockPath;
            return {};
        }
        close(fd);
        if (std::chrono::steady_clock::now() >= deadline) {
            return RzError(LINK_E_FILE, "its lock file " + lockPath + " keeps changing");
        }
    }
}

void CFileLock::Release() {
    if (fd_ >= 0) {
        unlink(lockPath_.c_str());
        close(fd_);  // closing the last descriptor of the open file drops the flock
        fd_ = -1;
    }
}
