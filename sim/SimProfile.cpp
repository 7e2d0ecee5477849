#include "SimProfile.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>
#include <set>

#include "SimProfileSetup.h"
#include "platform/Paths.h"

#ifndef RZSIM_PROFILE_DIR
#define RZSIM_PROFILE_DIR ""
#endif

namespace {

// Texts that end up inside answer lines must not break the line structure.
bool IsPrintableLine(const std::string& text) {
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

bool IsVersionText(const std::string& text) {
    const auto dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != dot && (text[i] < '0' || text[i] > '9')) {
            return false;
        }
    }
    return true;
}

bool ReadWholeNumber(const QJsonValue& value, double low, double high, int* out) {
    if (!value.isDouble()) {
        return false;
    }
    const double d = value.toDouble();
    if (std::floor(d) != d || d < low || d > high) {
        return false;
    }
    *out = static_cast<int>(d);
    return true;
}

bool ReadString(const QJsonObject& object, const char* key, std::string* out, std::string* error) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
        return true;  // keeps the default
    }
    if (!value.isString()) {
        *error = std::string(key) + ": expected a text";
        return false;
    }
    *out = value.toString().toStdString();
    return true;
}

bool ReadUsers(const QJsonValue& value, std::vector<CSimUser>* users, std::string* error) {
    if (!value.isArray() || value.toArray().isEmpty()) {
        *error = "users: expected a non-empty list of users";
        return false;
    }
    std::set<std::string> names;
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::string where = "users[" + std::to_string(i) + "]";
        if (!array[i].isObject()) {
            *error = where + ": expected an object";
            return false;
        }
        const QJsonObject object = array[i].toObject();
        CSimUser user;
        std::string level = "U";
        std::string code(1, static_cast<char>('0' + (i < 9 ? i + 1 : 9)));
        if (!ReadString(object, "name", &user.name, error) ||
            !ReadString(object, "password", &user.password, error) ||
            !ReadString(object, "level", &level, error) ||
            !ReadString(object, "code", &code, error)) {
            *error = where + "." + *error;
            return false;
        }
        if (user.name.empty() || !IsPrintableLine(user.name)) {
            *error = where + ".name: expected a non-empty printable text";
            return false;
        }
        if (!IsPrintableLine(user.password)) {
            *error = where + ".password: expected a printable text";
            return false;
        }
        if (level != "A" && level != "U") {
            *error = where + ".level: expected \"A\" or \"U\"";
            return false;
        }
        user.level = level[0];
        // The code is the first word of the user line, so it must be one visible character.
        if (code.size() != 1 || code[0] <= ' ' || code[0] > '~') {
            *error = where + ".code: expected one visible character";
            return false;
        }
        user.code = code[0];
        if (!names.insert(user.name).second) {
            *error = where + ".name: \"" + user.name + "\" is listed twice";
            return false;
        }
        users->push_back(std::move(user));
    }
    return true;
}

bool ReadPidAux(const QJsonValue& value, std::array<int, 10>* flags, std::string* error) {
    if (value.isUndefined()) {
        return true;
    }
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != static_cast<qsizetype>(flags->size())) {
        *error = "pidAux: expected a list of 10 flags";
        return false;
    }
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!ReadWholeNumber(array[i], 0, 1, &(*flags)[static_cast<size_t>(i)])) {
            *error = "pidAux[" + std::to_string(i) + "]: expected 0 or 1";
            return false;
        }
    }
    return true;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A bare profile name may not climb out of the profile folders.
bool IsProfileName(const std::string& name) {
    if (name.empty() || name[0] == '.') {
        return false;
    }
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool SimIsSmallModel(int model) {
    return model < 3200;
}

int SimDisplayGroupCount(int model) {
    return SimIsSmallModel(model) ? 6 : 10;
}

int SimControlGroupCount(int model) {
    return SimIsSmallModel(model) ? 4 : 8;
}

int SimDioPointCount(int model) {
    return SimIsSmallModel(model) ? 12 : 36;
}

int SimExtLoopCapacity(int model) {
    return SimIsSmallModel(model) ? 4 : 16;
}

int SimLastChannelNumber(int model) {
    return SimIsSmallModel(model) ? 212 : 248;
}

int SimPatternCapacity(SimProgramOption option) {
    switch (option) {
        case SimProgramOption::kSmall:
            return 10;
        case SimProgramOption::kLarge:
            return 30;
        case SimProgramOption::kNone:
            break;
    }
    return 0;
}

bool ParseSimProfile(const std::string& json, CSimProfile* profile, std::string* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = "not valid JSON at offset " + std::to_string(parseError.offset) + ": " +
                 parseError.errorString().toStdString();
        return false;
    }
    if (!document.isObject()) {
        *error = "expected a JSON object at the top";
        return false;
    }
    const QJsonObject root = document.object();
    CSimProfile result;

    if (!ReadString(root, "family", &result.family, error)) {
        return false;
    }
    if (result.family.size() != 2 || !IsPrintableLine(result.family)) {
        *error = "family: expected two printable characters";
        return false;
    }
    if (!ReadWholeNumber(root.value(QLatin1String("model")), 1000, 9999, &result.model)) {
        *error = "model: expected a whole number from 1000 to 9999";
        return false;
    }
    const QJsonValue version = root.value(QLatin1String("firmwareVersion"));
    if (!version.isString() || !IsVersionText(version.toString().toStdString())) {
        *error = "firmwareVersion: expected a text such as \"3.06\"";
        return false;
    }
    result.firmwareVersion = version.toString().toStdString();

    std::string option = "none";
    if (!ReadString(root, "programOption", &option, error)) {
        return false;
    }
    if (option == "none") {
        result.programOption = SimProgramOption::kNone;
    } else if (option == "small") {
        result.programOption = SimProgramOption::kSmall;
    } else if (option == "large") {
        result.programOption = SimProgramOption::kLarge;
    } else {
        *error = "programOption: expected \"none\", \"small\" or \"large\"";
        return false;
    }
    if (!ReadPidAux(root.value(QLatin1String("pidAux")), &result.pidAux, error) ||
        !ReadUsers(root.value(QLatin1String("users")), &result.users, error) ||
        !ReadString(root, "greeting", &result.greeting, error)) {
        return false;
    }
    if (result.greeting.empty()) {
        *error = "greeting: expected a non-empty text";
        return false;
    }
    if (!ReadSimSetup(root, result.model, result.programOption, &result.setup, error)) {
        return false;
    }
    *profile = std::move(result);
    return true;
}

bool LoadSimProfileFile(const std::string& path, CSimProfile* profile, std::string* error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + path + ": " + file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::string parseError;
    if (!ParseSimProfile(bytes.toStdString(), profile, &parseError)) {
        *error = path + ": " + parseError;
        return false;
    }
    return true;
}

std::string FindSimProfile(const std::string& nameOrPath) {
    if (nameOrPath.find('/') != std::string::npos || EndsWith(nameOrPath, ".json")) {
        return IsRegularFile(nameOrPath) ? nameOrPath : std::string();
    }
    if (!IsProfileName(nameOrPath)) {
        return {};
    }
    // Beside the program (build tree), in the installed layout's shared folder, in the sources.
    const std::string folders[] = {ExecutableDirectory() + "/profiles",
                                   ExecutableDirectory() + kInstalledShareDir + "/profiles",
                                   RZSIM_PROFILE_DIR};
    for (const auto& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        const std::string candidate = folder + "/" + nameOrPath + ".json";
        if (IsRegularFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

bool LoadSimProfile(const std::string& nameOrPath, CSimProfile* profile, std::string* error) {
    const std::string path = FindSimProfile(nameOrPath);
    if (path.empty()) {
        *error = "no profile \"" + nameOrPath + "\"";
        return false;
    }
    return LoadSimProfileFile(path, profile, error);
}
