#pragma once

#include <string>

// The data directory holds SimpleCtrl.ini and RZRegist.rzr. It is the executable's directory
// unless `--data-dir DIR` (SetDataDirectory) or the RZ_DATA_DIR environment variable names
// another one; the explicit setting wins over the environment.
void SetDataDirectory(const std::string& dir);
std::string DataDirectory();

// DataDirectory() joined with `fileName`.
std::string DataFilePath(const std::string& fileName);

// The directory of the running executable (no trailing slash).
std::string ExecutableDirectory();
