#include "platform/Configuration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

// --- INI text --------------------------------------------------------------------------------

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct IniLine {
    std::string_view text;  // without its line end
    size_t begin;           // offset of the line in the whole text
    size_t end;             // offset just past the line's line end
};

std::vector<IniLine> SplitLines(std::string_view text) {
    std::vector<IniLine> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        const size_t stop = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(pos, stop - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back({line, pos, next});
        pos = next;
    }
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) {
            return false;
        }
    }
    return true;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const size_t close = line.find(']');
    return Trim(close == std::string_view::npos ? line : line.substr(0, close));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKeyValue(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return std::nullopt;
    }
    const size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{Trim(trimmed.substr(0, eq)), Trim(trimmed.substr(eq + 1))};
}

std::string_view LineEndOf(std::string_view text) {
    if (text.find("\r\n") != std::string_view::npos) {
        return "\r\n";
    }
    if (text.find('\n') != std::string_view::npos) {
        return "\n";
    }
    return "\r\n";
}

// Leading signed decimal integer after optional blanks; `ok` false when there are no digits.
// Values beyond the int range saturate.
int LeadingInt(std::string_view s, bool* ok) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    long long value = 0;
    bool digits = false;
    while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
        digits = true;
        if (value <= INT_MAX) {  // once past the int range the value only has to stay past it
            value = value * 10 + (s.front() - '0');
        }
        s.remove_prefix(1);
    }
    const long long limit = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
    *ok = digits && value <= limit;
    if (value > limit) {
        value = limit;
    }
    return static_cast<int>(negative ? -value : value);
}

// Read on every log-in: plain system calls, no stdio stream to set up.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    // An INI file is a few lines; refuse to slurp something that is clearly not one.
    constexpr size_t kLimit = 1u << 20;
    while (text.size() < kLimit &&
           ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

}  // namespace

std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
    if (text.substr(0, 3) == kByteOrderMark) {
        text.remove_prefix(3);
    }
    bool inSection = false;
    for (const auto& line : SplitLines(text)) {
        if (const auto name = SectionName(line.text)) {
            inSection = EqualNoCase(*name, section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (const auto kv = SplitKeyValue(line.text); kv && EqualNoCase(kv->key, key)) {
            std::string_view value = kv->value;
            // The profile functions drop one pair of enclosing quotes.
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value);
        }
    }
    return std::nullopt;
}

std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
    if (text.substr(0, 3) == kByteOrderMark) {
        return std::string(kByteOrderMark) + IniWithValue(text.substr(3), section, key, value);
    }
    const std::string_view eol = LineEndOf(text);
    const auto lines = SplitLines(text);
    bool inSection = false;
    std::optional<size_t> sectionEnd;  // offset where a new key of the first matching section goes
    for (const auto& line : lines) {
        if (const auto name = SectionName(line.text)) {
            if (inSection) {
                break;
            }
            inSection = EqualNoCase(*name, section);
            if (inSection) {
                sectionEnd = line.end;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (const auto kv = SplitKeyValue(line.text); kv && EqualNoCase(kv->key, key)) {
            // Keep the line's indentation and key spelling; only the value changes.
            const auto keyStart = static_cast<size_t>(kv->key.data() - text.data());
            std::string result(text.substr(0, keyStart));
            result.append(kv->key);
            result += '=';
            result.append(value);
            result.append(text.substr(line.begin + line.text.size()));
            return result;
        }
        if (!Trim(line.text).empty()) {
            sectionEnd = line.end;
        }
    }
    std::string entry(key);
    entry += '=';
    entry.append(value);
    entry.append(eol);
    if (sectionEnd) {
        std::string result(text.substr(0, *sectionEnd));
        // The section's last line may be the last line of a text without a final line end.
        if (!result.empty() && result.back() != '\n') {
            result.append(eol);
        }
        result += entry;
        result.append(text.substr(*sectionEnd));
        return result;
    }
    std::string result(text);
    if (!result.empty() && result.back() != '\n') {
        result.append(eol);
    }
    result += '[';
    result.append(section);
    result += ']';
    result.append(eol);
    result += entry;
    return result;
}

// --- Communication cycle ---------------------------------------------------------------------

int CommCycleFromIni(std::string_view text) {
    const auto value = IniValue(text, "Config", "CommCycle");
    if (!value || value->empty()) {
        return kDefaultCommCycle;
    }
    bool ok = false;
    return LeadingInt(*value, &ok);
}

int ReadCommCycle(const std::string& iniPath) {
    const auto text = ReadSmallFile(iniPath);
    return text ? CommCycleFromIni(*text) : kDefaultCommCycle;
}

int ReadCommCycle() {
    return ReadCommCycle(DataFilePath(kConfigFileName));
}

CCommCycleSetting CommCycleSettingFromIni(std::string_view text) {
    const auto value = IniValue(text, "Config", "CommCycle");
    if (!value || value->empty()) {
        return {};
    }
    bool ok = false;
    const int cycle = LeadingInt(*value, &ok);
    if (cycle > kMaxCommCycle) {
        return {kMaxCommCycle,
                "The communication cycle in SimpleCtrl.ini is above 60000 ms; 60000 ms is used"};
    }
    if (!ok || cycle <= 0) {
        return {kDefaultCommCycle,
                "The communication cycle in SimpleCtrl.ini is not a number of milliseconds above "
                "0; 5000 ms is used"};
    }
    return {cycle, nullptr};
}

CCommCycleSetting ReadCommCycleSetting() {
    const auto text = ReadSmallFile(DataFilePath(kConfigFileName));
    return text ? CommCycleSettingFromIni(*text) : CCommCycleSetting{};
}

bool WriteCommCycle(const std::string& iniPath, int value) {
    const std::string text = ReadSmallFile(iniPath).value_or(std::string());
    const std::string updated = IniWithValue(text, "Config", "CommCycle", std::to_string(value));
    return WriteFileAtomically(iniPath, updated.data(), updated.size()) == RZ_OK;
}

bool WriteCommCycle(int value) {
    return WriteCommCycle(DataFilePath(kConfigFileName), value);
}

int ConfigDialogInitialCycle(int fileValue) {
    if (fileValue < kMinCommCycle) {
        return kMinCommCycle;
    }
    return fileValue > kMaxCommCycle ? kMaxCommCycle : fileValue;
}

std::optional<int> ConfigDialogAccept(const QString& fieldText) {
    const std::string text = fieldText.toStdString();
    bool ok = false;
    int value = LeadingInt(text, &ok);
    if (!ok) {
        value = 0;  // empty, unreadable or out of the int range
    }
    if (value < kMinCommCycle || value > kMaxCommCycle) {
        return std::nullopt;
    }
    return value;
}

// --- Per-user store --------------------------------------------------------------------------

namespace {

QString FromBytes(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Instrument names are keys. QSettings takes '/' and '\' as group separators, so those (and '%',
// the escape itself) are written as %XX; a name spelled like LastLoginRz is escaped too, so
// that it cannot overwrite the last-instrument entry.
QString InstrumentKey(std::string_view name) {
    QString key;
    for (char c : name) {
        if (c == '%' || c == '/' || c == '\\') {
            key += QString::asprintf("%%%02X", static_cast<unsigned char>(c));
        } else {
            key += QChar(static_cast<unsigned char>(c));
        }
    }
    if (key.compare(QLatin1String(CUserSettings::kLastLoginKey), Qt::CaseInsensitive) == 0) {
        key = QString::asprintf("%%%02X", static_cast<unsigned char>(name[0])) + key.mid(1);
    }
    return key;
}

constexpr const char* kWindowSection = "Window";

// The chosen data directory joined with `fileName`, empty when no directory was chosen.
QString InChosenDataDirectory(const char* fileName) {
    const std::string dir = ChosenDataDirectory();
    if (dir.empty()) {
        return {};
    }
    return QDir(QString::fromLocal8Bit(dir.c_str())).filePath(QLatin1String(fileName));
}

}  // namespace

CUserSettings::CUserSettings() {
    if (const QString file = InChosenDataDirectory(kDataDirFileName); !file.isEmpty()) {
        settings_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
        return;
    }
    settings_ =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QLatin1String(kOrganization), QLatin1String(kApplication));
    // Only the user's own file counts; a system-wide file must not supply a user name.
    settings_->setFallbacksEnabled(false);
}

CUserSettings::CUserSettings(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

CUserSettings::~CUserSettings() = default;

QString CUserSettings::FileName() const {
    return settings_->fileName();
}

std::optional<QString> CUserSettings::Read(const QString& key) const {
    const QString exact = QLatin1String(kSection);
    if (const QVariant value = settings_->value(exact + u'/' + key); value.isValid()) {
        return value.toString();
    }
    // Another spelling of the section, as written by hand or by an older store.
    const QStringList groups = settings_->childGroups();
    for (const QString& group : groups) {
        if (group != exact && group.compare(exact, Qt::CaseInsensitive) == 0) {
            if (const QVariant value = settings_->value(group + u'/' + key); value.isValid()) {
                return value.toString();
            }
        }
    }
    return std::nullopt;
}

bool CUserSettings::Write(const QString& key, std::string_view value) {
    const QString exact = QLatin1String(kSection);
    // Fold other spellings of the section into "Setting" so that only one copy of each value is
    // kept; values already in "Setting" are newer and win.
    const QStringList groups = settings_->childGroups();
    for (const QString& group : groups) {
        if (group == exact || group.compare(exact, Qt::CaseInsensitive) != 0) {
            continue;
        }
        settings_->beginGroup(group);
        const QStringList keys = settings_->childKeys();
        std::vector<std::pair<QString, QVariant>> moved;
        for (const QString& k : keys) {
            moved.emplace_back(k, settings_->value(k));
        }
        settings_->endGroup();
        settings_->remove(group);
        for (const auto& [k, v] : moved) {
            if (!settings_->contains(exact + u'/' + k)) {
                settings_->setValue(exact + u'/' + k, v);
            }
        }
    }
    settings_->setValue(exact + u'/' + key, FromBytes(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

std::string CUserSettings::LastLogin() const {
    return ToBytes(Read(QLatin1String(kLastLoginKey)).value_or(QString()));
}

std::string CUserSettings::UserNameFor(std::string_view instrumentName) const {
    if (instrumentName.empty()) {
        return {};
    }
    return ToBytes(Read(InstrumentKey(instrumentName)).value_or(QString()));
}

bool CUserSettings::SetLastLogin(std::string_view instrumentName) {
    return Write(QLatin1String(kLastLoginKey), instrumentName);
}

bool CUserSettings::SetUserNameFor(std::string_view instrumentName, std::string_view userName) {
    if (instrumentName.empty()) {
        return false;
    }
    return Write(InstrumentKey(instrumentName), userName);
}

bool CUserSettings::RememberLogin(std::string_view instrumentName, std::string_view userName) {
    const bool last = SetLastLogin(instrumentName);
    const bool user = SetUserNameFor(instrumentName, userName);
    return last && user;
}

QByteArray CUserSettings::WindowGeometry() const {
    return settings_->value(QLatin1String(kWindowSection) + QStringLiteral("/Geometry"))
        .toByteArray();
}

bool CUserSettings::SetWindowGeometry(const QByteArray& geometry) {
    return WriteWindowValue("Geometry", geometry);
}

bool CUserSettings::DarkLook() const {
    return settings_->value(QLatin1String(kWindowSection) + QStringLiteral("/DarkLook")).toBool();
}

bool CUserSettings::SetDarkLook(bool dark) {
    return WriteWindowValue("DarkLook", dark);
}

bool CUserSettings::WriteWindowValue(const char* key, const QVariant& value) {
    settings_->setValue(QLatin1String(kWindowSection) + u'/' + QLatin1String(key), value);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

void KeepQtSettingsInChosenDataDirectory() {
    const std::string dir = ChosenDataDirectory();
    if (dir.empty()) {
        return;
    }
    const QString path = QString::fromLocal8Bit(dir.c_str());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
}
