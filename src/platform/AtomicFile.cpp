#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

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
