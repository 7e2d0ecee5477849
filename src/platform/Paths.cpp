#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

std::string ChosenDataDirectory() {
    {
        std::lock_guard lock(PathMutex());
        if (!ExplicitDir().empty()) {
            return ExplicitDir();
        }
    }
    const char* env = std::getenv("RZ_DATA_DIR");
    return env != nullptr ? env : "";
}

std::string DataDirectory() {
    if (std::string chosen = ChosenDataDirectory(); !chosen.empty()) {
        return chosen;
    }
    const std::string exeDir = ExecutableDirectory();
    std::error_code error;
    const bool installed = std::filesystem::is_directory(exeDir + kInstalledShareDir, error) ||
                           access(exeDir.c_str(), W_OK) != 0;
    std::string dir =
        DefaultDataDirectory(exeDir, installed, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (installed) {
        // A failure shows when the first file is written there, with its path.
        std::filesystem::create_directories(dir, error);
    }
    return dir;
}

std::string DefaultDataDirectory(const std::string& exeDir, bool installed, const char* xdgDataHome,
                                 const char* home) {
    if (!installed) {
        return exeDir;
    }
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
        return std::string(xdgDataHome) + "/rz-operator";
    }
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.local/share/rz-operator";
    }
    // Without a home there is nowhere else to go.
    return exeDir;
}

std::string DataFilePath(const std::string& fileName) {
    std::string dir = DataDirectory();
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir + fileName;
}
