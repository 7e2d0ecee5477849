#pragma once

#include <string>

// The data directory holds SimpleCtrl.ini and RZRegist.rzr. `--data-dir DIR` (SetDataDirectory)
// wins, then the RZ_DATA_DIR environment variable. Otherwise a program run from where it was
// built keeps them beside the executable; an installed program (one whose directory has the
// installed layout's ../share/rz-operator beside it, or one the user cannot write to) keeps
// them in the user's data location, $XDG_DATA_HOME/rz-operator or
// ~/.local/share/rz-operator, which is created when missing.
void SetDataDirectory(const std::string& dir);
std::string DataDirectory();
// The data directory the user named (`--data-dir` or RZ_DATA_DIR), empty when neither did.
std::string ChosenDataDirectory();

// Where an installed program's shared files lie, relative to its executable's directory.
constexpr const char* kInstalledShareDir = "/../share/rz-operator";

// The default data directory for an executable in `exeDir`: `exeDir` itself, or the user's
// data location (from `xdgDataHome`, else `home`; either may be null) when the program is
// installed.
std::string DefaultDataDirectory(const std::string& exeDir, bool installed, const char* xdgDataHome,
                                 const char* home);

// DataDirectory() joined with `fileName`.
std::string DataFilePath(const std::string& fileName);

// The directory of the running executable (no trailing slash).
std::string ExecutableDirectory();
