#include "registry/InstrumentSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "platform/Configuration.h"
#include "platform/Paths.h"

namespace {

constexpr const char* kUserName = "UserName";
constexpr const char* kShowInOverview = "ShowInOverview";
constexpr const char* kRememberPassword = "RememberPassword";

QString FileBeside(const std::string& registryPath) {
    if (registryPath.empty()) {
        return QString::fromLocal8Bit(DataFilePath(CInstrumentSettings::kFileName));
    }
    return QFileInfo(QString::fromLocal8Bit(registryPath))
        .dir()
        .filePath(QLatin1String(CInstrumentSettings::kFileName));
}

// The section of an instrument. QSettings takes '/' and '\' as group separators, so those and
// '%', the escape itself, are written as %XX; QSettings escapes whatever else the file format
// needs.
QString Section(std::string_view name) {
    QString section;
    for (const char c : name) {
        if (c == '%' || c == '/' || c == '\\') {
            section += QString::asprintf("%%%02X", static_cast<unsigned char>(c));
        } else {
            section += QChar(static_cast<unsigned char>(c));
        }
    }
    return section + u'/';
}

}  // namespace

CInstrumentSettings::CInstrumentSettings(const std::string& registryPath,
                                         const CUserSettings* legacy)
    : settings_(std::make_unique<QSettings>(FileBeside(registryPath), QSettings::IniFormat)),
      legacy_(legacy) {}

CInstrumentSettings::~CInstrumentSettings() = default;

QString CInstrumentSettings::FileName() const {
    return settings_->fileName();
}

CInstrumentPrefs CInstrumentSettings::For(std::string_view name) const {
    CInstrumentPrefs prefs;
    if (name.empty()) {
        return prefs;
    }
    const QString section = Section(name);
    if (const QVariant user = settings_->value(section + QLatin1String(kUserName));
        user.isValid()) {
        const QByteArray bytes = user.toString().toLatin1();
        prefs.userName.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    } else if (legacy_ != nullptr) {
        prefs.userName = legacy_->UserNameFor(name);
    }
    prefs.showInOverview =
        settings_->value(section + QLatin1String(kShowInOverview), true).toBool();
    prefs.rememberPassword =
        settings_->value(section + QLatin1String(kRememberPassword), false).toBool();
    return prefs;
}

bool CInstrumentSettings::Set(std::string_view name, const CInstrumentPrefs& prefs) {
    if (name.empty()) {
        return false;
    }
    const QString section = Section(name);
    settings_->setValue(
        section + QLatin1String(kUserName),
        QString::fromLatin1(prefs.userName.data(), static_cast<qsizetype>(prefs.userName.size())));
    settings_->setValue(section + QLatin1String(kShowInOverview), prefs.showInOverview);
    settings_->setValue(section + QLatin1String(kRememberPassword), prefs.rememberPassword);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
