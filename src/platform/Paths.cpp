#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace {

std::mutex& PathMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& ExplicitDir() {
    static std::string dir;
    return dir;
}

}  // namespace

void SetDataDirectory(const std::string& dir) {
    std::lock_guard lock(PathMutex());
    ExplicitDir() = dir;
}

std::string ExecutableDirectory() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string DataDirectory() {
    {
        std::lock_guard lock(PathMutex());
        if (!ExplicitDir().empty()) {
            return ExplicitDir();
        }
    }
    if (const char* env = std::getenv("RZ_DATA_DIR"); env != nullptr && *env != '\0') {
        return env;
    }
    return ExecutableDirectory();
}

std::string DataFilePath(const std::string& fileName) {
    std::string dir = DataDirectory();
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir + fileName;
}
