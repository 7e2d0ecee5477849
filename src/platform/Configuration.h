#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSettings;
class QVariant;

// --- SimpleCtrl.ini: the communication cycle -----------------------------------------------

constexpr const char* kConfigFileName = "SimpleCtrl.ini";
constexpr int kDefaultCommCycle = 5000;
constexpr int kMinCommCycle = 1000;
constexpr int kMaxCommCycle = 60000;
constexpr const char* kCommCycleRangeWarning =
    "Communication cycle must be setted in range 1000 - 60000 !";

// INI text access with the rules of the Windows profile functions the file is shared with:
// section and key names compare without regard to case, blanks around names and values are
// ignored, CR LF and LF line ends both work, and the first matching key wins.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key);
// The text with `key` in `section` set to `value`. Every other line is kept as it was; a missing
// key is added at the end of its section, a missing section at the end of the text. New lines
// use the text's line end (CR LF for an empty text).
std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);

// [Config] CommCycle of the INI text: kDefaultCommCycle when the key is missing or empty,
// otherwise the leading decimal integer of the value (0 when there is none). No range check:
// a connection runs with whatever the file says.
int CommCycleFromIni(std::string_view text);

// The same, read from `iniPath`, or from SimpleCtrl.ini in the data directory.
int ReadCommCycle(const std::string& iniPath);
int ReadCommCycle();

// The cycle a connection runs with: the file's value within sense. A value the file cannot mean
// (no number, 0 or below) reads as kDefaultCommCycle, one above kMaxCommCycle as kMaxCommCycle;
// any other is used as written, below the Config dialog's range too (a 500 runs at 500 ms).
// `note` says, for the status bar, why the value was not used as written (null when it was);
// the file is left as it is.
struct CCommCycleSetting {
    int cycle = kDefaultCommCycle;
    const char* note = nullptr;
};
CCommCycleSetting CommCycleSettingFromIni(std::string_view text);
CCommCycleSetting ReadCommCycleSetting();
// Writes [Config] CommCycle as "%d", keeping the rest of the file. Callers may ignore the result
// (a failed write is not reported to the operator).
bool WriteCommCycle(const std::string& iniPath, int value);
bool WriteCommCycle(int value);

// The Config dialog's rules. The field opens with the file's value brought into range; OK
// accepts a value from kMinCommCycle to kMaxCommCycle inclusive, and gives none for any other.
// The field reads as a signed decimal integer after optional leading blanks; empty or
// unreadable text reads as 0.
int ConfigDialogInitialCycle(int fileValue);
std::optional<int> ConfigDialogAccept(const QString& fieldText);

// --- Per-user store: last instrument and user name per instrument, the window ----------------

// Section "Setting" of the user's profile store, section names compared without regard to
// case. Texts are stored byte for byte (each byte one Latin-1 character). Passwords are never
// stored. The main window's place and the look the user chose are in section "Window", apart
// from the instrument names. The console now keeps user names per instrument in the
// instrument settings beside the registry (Instruments.ini), which read the ones written here
// before. Not thread-safe; used from the GUI thread.
class CUserSettings {
  public:
    static constexpr const char* kOrganization = "VELTRANO Electric Corp.";
    static constexpr const char* kApplication = "RZOperator";
    static constexpr const char* kSection = "Setting";
    static constexpr const char* kLastLoginKey = "LastLoginRz";
    // The store's file in a data directory the user named.
    static constexpr const char* kDataDirFileName = "RZOperator.conf";

    // The user's own store: RZOperator.conf in the data directory the user named (--data-dir,
    // RZ_DATA_DIR), else under XDG_CONFIG_HOME (or ~/.config).
    CUserSettings();
    // An INI file at `filePath`.
    explicit CUserSettings(const QString& filePath);
    ~CUserSettings();
    CUserSettings(const CUserSettings&) = delete;
    CUserSettings& operator=(const CUserSettings&) = delete;

    // Empty when nothing is stored.
    std::string LastLogin() const;
    std::string UserNameFor(std::string_view instrumentName) const;

    // Each write goes to disk at once. False when the store could not be written. An empty
    // instrument name is not stored.
    bool SetLastLogin(std::string_view instrumentName);
    bool SetUserNameFor(std::string_view instrumentName, std::string_view userName);
    // After a successful log-in: the instrument becomes the last one, with this user name.
    bool RememberLogin(std::string_view instrumentName, std::string_view userName);

    // The main window's geometry as QWidget::saveGeometry gives it, empty when none is stored.
    QByteArray WindowGeometry() const;
    bool SetWindowGeometry(const QByteArray& geometry);
    // Whether the user chose the dark look.
    bool DarkLook() const;
    bool SetDarkLook(bool dark);

    QString FileName() const;

  private:
    std::optional<QString> Read(const QString& key) const;
    bool Write(const QString& key, std::string_view value);
    bool WriteWindowValue(const char* key, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
};

// With a data directory named (--data-dir, RZ_DATA_DIR), Qt's own per-user settings (the file
// dialogs' history) are kept there too, so that the console writes nothing outside it. Call once
// at start, before the first file dialog.
void KeepQtSettingsInChosenDataDirectory();
