#pragma once

#include <QString>
#include <memory>
#include <string>
#include <string_view>

class CUserSettings;
class QSettings;

// What the console keeps for one registered instrument besides its address.
struct CInstrumentPrefs {
    std::string userName;           // of the last log-in
    bool showInOverview = true;     // listed in the plant overview
    bool rememberPassword = false;  // the operator asked for the password to be remembered
};

// Instruments.ini beside the registry file: one section per registered name (as GetRecord
// returns it) with UserName, ShowInOverview and RememberPassword. The registry file keeps its
// own format; no password is ever written here (a remembered one lives in the desktop's secret
// store). Texts are stored byte for byte, each byte one Latin-1 character.
//
// User names used to be kept in the user's store (section "Setting"): an instrument this file
// holds no user name for takes the one from there, and writes go to this file only.
// Not thread-safe; used from the GUI thread.
class CInstrumentSettings {
  public:
    static constexpr const char* kFileName = "Instruments.ini";

    // The file beside the registry file at `registryPath` (empty: the data directory's);
    // `legacy`, when given, is where user names were kept before.
    explicit CInstrumentSettings(const std::string& registryPath = {},
                                 const CUserSettings* legacy = nullptr);
    ~CInstrumentSettings();
    CInstrumentSettings(const CInstrumentSettings&) = delete;
    CInstrumentSettings& operator=(const CInstrumentSettings&) = delete;

    // The defaults when nothing is stored for `name`.
    CInstrumentPrefs For(std::string_view name) const;
    // Writes to disk at once; false when the file could not be written or `name` is empty.
    bool Set(std::string_view name, const CInstrumentPrefs& prefs);

    QString FileName() const;

  private:
    std::unique_ptr<QSettings> settings_;
    const CUserSettings* legacy_;
};
