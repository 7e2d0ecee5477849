#include "ModelJson.h"

#include <QJsonDocument>
#include <QString>
#include <cstdio>

#include "registry/InstrumentRegistry.h"

namespace {

QString Text(const char* field, size_t size) {
    return QString::fromLatin1(field, static_cast<qsizetype>(strnlen(field, size)));
}

template <size_t N>
QString Text(const char (&field)[N]) {
    return Text(field, N);
}

template <size_t N>
QJsonArray Ints(const int32_t (&values)[N]) {
    QJsonArray array;
    for (int32_t v : values) {
        array.append(v);
    }
    return array;
}

QJsonArray Members(const CGroupMember (&members)[kGroupMembers]) {
    QJsonArray array;
    for (const auto& member : members) {
        array.append(QJsonObject{{"kind", member.kind}, {"number", member.number}});
    }
    return array;
}

// The display block's fields, flat in the record's object. A channel uses the three value
// texts as one text in value0.
void AddDisplay(QJsonObject& object, const CDisplayBlock& d, bool wholeValue) {
    object["name"] = Text(d.name);
    object["tag0"] = Text(d.tag[0]);
    object["tag1"] = Text(d.tag[1]);
    object["tag2"] = Text(d.tag[2]);
    object["typeText"] = Text(d.typeText);
    object["modeText"] = Text(d.modeText);
    if (wholeValue) {
        WholeValueText whole;
        GetWholeValueText(d, whole);
        object["value0"] = Text(whole);
        object["value1"] = QString();
        object["value2"] = QString();
    } else {
        object["value0"] = Text(d.valueText[0]);
        object["value1"] = Text(d.valueText[1]);
        object["value2"] = Text(d.valueText[2]);
    }
}

// The state fields internal and external loops share.
template <class Loop>
void AddLoopState(QJsonObject& object, const Loop& l) {
    object["modeCode"] = l.modeCode;
    object["remote"] = l.remote;
    object["run"] = l.run;
    object["spValue"] = l.spValue;
    object["spDecimals"] = l.spDecimals;
    object["outDecimals"] = l.outDecimals;
    object["outLow"] = l.outLow;
    object["outHigh"] = l.outHigh;
}

}  // namespace

QJsonObject ModelToJson(const CInstrumentModel& m) {
    QJsonObject json;
    json["memoryRunning"] = m.memoryRunning;
    json["mathRunning"] = m.mathRunning;
    json["userCode"] = Text(m.userCode);
    json["accessLevel"] = Text(m.accessLevel);
    json["userName"] = Text(m.userName);
    json["family"] = Text(m.family);
    json["modelClass"] = m.modelClass;
    json["firmwareMajor"] = m.firmwareMajor;
    json["version"] = m.version;
    json["displayGroupCount"] = m.displayGroupCount;
    json["controlGroupCount"] = m.controlGroupCount;
    json["loopCount"] = m.loopCount;
    json["extLoopCount"] = m.extLoopCount;
    json["dioCount"] = m.dioCount;
    json["measCount"] = m.measCount;
    json["mathCount"] = m.mathCount;
    json["programOption"] = m.programOption;
    json["pidAux"] = Ints(m.pidAux);
    json["dataDate"] = Text(m.dataDate);
    json["dataTime"] = Text(m.dataTime);

    QJsonArray displayGroups;
    for (const auto& g : m.displayGroups) {
        displayGroups.append(QJsonObject{{"name", Text(g.name)}, {"members", Members(g.members)}});
    }
    json["displayGroups"] = displayGroups;
    QJsonArray controlGroups;
    for (const auto& g : m.controlGroups) {
        controlGroups.append(QJsonObject{{"name", Text(g.name)}, {"members", Members(g.members)}});
    }
    json["controlGroups"] = controlGroups;
    json["inputTypes"] = Ints(m.inputTypes);

    QJsonArray channels;
    for (const auto& c : m.channels) {
        QJsonObject object;
        AddDisplay(object, c.display, true);
        channels.append(object);
    }
    json["channels"] = channels;

    QJsonArray internalLoops;
    for (const auto& l : m.internalLoops) {
        QJsonObject object;
        AddDisplay(object, l.display, false);
        object["operable"] = l.operable;
        object["loopKind"] = l.loopKind;
        object["outputType"] = l.outputType;
        object["retrans"] = l.retrans;
        AddLoopState(object, l);
        object["bit7"] = l.bit7;
        internalLoops.append(object);
    }
    json["internalLoops"] = internalLoops;

    QJsonArray externalLoops;
    for (const auto& l : m.externalLoops) {
        QJsonObject object;
        AddDisplay(object, l.display, false);
        object["inUse"] = l.inUse;
        object["controllerModel"] = l.controllerModel;
        AddLoopState(object, l);
        externalLoops.append(object);
    }
    json["externalLoops"] = externalLoops;

    QJsonArray dio;
    for (const auto& p : m.dio) {
        QJsonObject object;
        AddDisplay(object, p.display, false);
        object["present"] = p.present;
        object["modeCode"] = p.modeCode;
        object["moduleKind"] = p.moduleKind;
        object["inputState"] = p.inputState;
        object["outValue"] = p.outValue;
        dio.append(object);
    }
    json["dio"] = dio;

    QJsonArray patterns;
    for (const auto& p : m.patterns) {
        patterns.append(
            QJsonObject{{"exists", p.exists}, {"changed", p.changed}, {"state", p.state}});
    }
    json["patterns"] = patterns;

    json["displayKind"] = m.displayKind;
    json["displayGroup"] = m.displayGroup;
    json["simplePage"] = m.simplePage;
    json["selectedPattern"] = m.selectedPattern;
    json["controlStyle"] = m.controlStyle;
    json["trendOptions"] = m.trendOptions;
    json["measurePage"] = m.measurePage;
    json["imageLength"] = static_cast<qint64>(m.imageLength);
    return json;
}

QJsonObject IdentityToJson(const CInstrumentModel& m, unsigned connectionId) {
    static const char* const kProgramOptions[] = {"none", "small", "large"};
    const bool known = m.programOption >= 0 && m.programOption <= 2;
    return QJsonObject{
        {"connection", static_cast<qint64>(connectionId)},
        {"family", Text(m.family)},
        {"modelClass", m.modelClass},
        {"firmware", QString::asprintf("%d.%02d", m.firmwareMajor, m.version & 0xFFFF)},
        {"version", m.version},
        {"programOption", QString::fromLatin1(known ? kProgramOptions[m.programOption] : "?")},
        {"pidAux", Ints(m.pidAux)},
        {"displayGroupCount", m.displayGroupCount},
        {"controlGroupCount", m.controlGroupCount},
        {"dioCount", m.dioCount},
        {"userName", Text(m.userName)},
        {"accessLevel", Text(m.accessLevel)},
    };
}

QJsonObject LogToJson(const char* kind, const char* text) {
    QJsonArray lines;
    QStringList split = QString::fromLatin1(text).split(QLatin1Char('\n'));
    if (!split.isEmpty() && split.last().isEmpty()) {
        split.removeLast();  // after the last line's end
    }
    for (const QString& line : split) {
        lines.append(line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line);
    }
    return QJsonObject{{"kind", QString::fromLatin1(kind)}, {"lines", lines}};
}

QJsonArray RegistryToJson(const CInstrumentRegistry& registry) {
    QJsonArray records;
    for (int i = 0; i < registry.GetCount(); ++i) {
        const CRegistryRecord record = registry.GetRecord(i);
        records.append(QJsonObject{{"name", Text(record.name)}, {"address", Text(record.ip)}});
    }
    return records;
}

void PrintJson(const QJsonValue& json, bool compact) {
    const QJsonDocument document =
        json.isArray() ? QJsonDocument(json.toArray()) : QJsonDocument(json.toObject());
    const QByteArray text =
        document.toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    if (compact) {
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}
