#include "SimProfileSetup.h"

#include <QJsonArray>
#include <QJsonValue>
#include <cmath>
#include <cstdio>
#include <set>

#include "SimWords.h"

namespace {

enum class TextKind {
    kField,     // one field of a list line: no commas
    kLine,      // a whole line of its own: commas allowed
    kLogLine,   // a log line: also must not look like a list marker
    kTerminal,  // a DI/DO terminal text
};

// Reads the keys of one JSON object; the first failure is kept in `error` with its path.
class CObjectReader {
  public:
    CObjectReader(const QJsonObject& object, std::string where, std::string* error)
        : object_(object), where_(std::move(where)), error_(error) {}

    bool Fail(const char* key, const std::string& what) {
        std::string path = where_;
        if (key[0] != '\0') {
            path += (path.empty() ? "" : ".") + std::string(key);
        }
        *error_ = path + ": " + what;
        return false;
    }

    bool Has(const char* key) const { return !object_.value(QLatin1String(key)).isUndefined(); }
    QJsonValue Value(const char* key) const { return object_.value(QLatin1String(key)); }
    const std::string& Where() const { return where_; }
    std::string* Error() const { return error_; }

    bool Text(const char* key, size_t maxLength, TextKind kind, std::string* out) {
        const QJsonValue value = Value(key);
        if (value.isUndefined()) {
            return true;
        }
        if (!value.isString()) {
            return Fail(key, "expected a text");
        }
        const std::string text = value.toString().toStdString();
        if (!CheckText(text, maxLength, kind)) {
            return Fail(key, TextRule(maxLength, kind));
        }
        *out = text;
        return true;
    }

    bool Int(const char* key, int low, int high, int* out) {
        const QJsonValue value = Value(key);
        if (value.isUndefined()) {
            return true;
        }
        const double d = value.toDouble();
        if (!value.isDouble() || std::floor(d) != d || d < low || d > high) {
            return Fail(key, "expected a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high));
        }
        *out = static_cast<int>(d);
        return true;
    }

    bool Number(const char* key, double* out) {
        const QJsonValue value = Value(key);
        if (value.isUndefined()) {
            return true;
        }
        if (!value.isDouble() || !std::isfinite(value.toDouble())) {
            return Fail(key, "expected a number");
        }
        *out = value.toDouble();
        return true;
    }

    bool Bool(const char* key, bool* out) {
        const QJsonValue value = Value(key);
        if (value.isUndefined()) {
            return true;
        }
        if (!value.isBool()) {
            return Fail(key, "expected true or false");
        }
        *out = value.toBool();
        return true;
    }

    // One of `words` (exact); its index goes to `out`.
    template <size_t N>
    bool Word(const char* key, const char* const (&words)[N], int* out, size_t count = N) {
        const QJsonValue value = Value(key);
        if (value.isUndefined()) {
            return true;
        }
        const std::string text = value.isString() ? value.toString().toStdString() : "";
        for (size_t i = 0; i < count; ++i) {
            if (text == words[i]) {
                *out = static_cast<int>(i);
                return true;
            }
        }
        std::string list;
        for (size_t i = 0; i < count; ++i) {
            list += (i == 0 ? "" : ", ") + std::string("\"") + words[i] + "\"";
        }
        return Fail(key, "expected one of " + list);
    }

    static bool CheckText(const std::string& text, size_t maxLength, TextKind kind) {
        if (text.size() > maxLength) {
            return false;
        }
        switch (kind) {
            case TextKind::kField:
                return SimIsFieldText(text);
            case TextKind::kLine:
                return SimIsAnswerText(text);
            case TextKind::kLogLine:
                return SimIsAnswerText(text) && text.rfind("EN", 0) != 0 &&
                       text.rfind("EA", 0) != 0;
            case TextKind::kTerminal:
                return SimIsFieldText(text) && text.find('.') == std::string::npos;
        }
        return false;
    }

  private:
    static std::string TextRule(size_t maxLength, TextKind kind) {
        std::string rule =
            "expected printable text of at most " + std::to_string(maxLength) + " characters";
        switch (kind) {
            case TextKind::kField:
                return rule + " without commas, not ending in \"END:\"";
            case TextKind::kTerminal:
                return rule + " without commas or dots";
            case TextKind::kLogLine:
                return rule + ", not beginning with \"EA\" or \"EN\", not ending in \"END:\"";
            case TextKind::kLine:
                break;
        }
        return rule + ", not ending in \"END:\"";
    }

    const QJsonObject& object_;
    std::string where_;
    std::string* error_;
};

// Calls `read(reader, number)` for every entry of the list under `key`. An entry's "number"
// defaults to its position (from 1); numbers run from 1 to `capacity` and appear once.
template <typename Read>
bool ReadNumberedList(const QJsonObject& root, const char* key, int capacity, std::string* error,
                      Read&& read) {
    const QJsonValue value = root.value(QLatin1String(key));
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isArray()) {
        *error = std::string(key) + ": expected a list";
        return false;
    }
    const QJsonArray array = value.toArray();
    std::set<int> seen;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::string where = std::string(key) + "[" + std::to_string(i) + "]";
        if (!array[i].isObject()) {
            *error = where + ": expected an object";
            return false;
        }
        const QJsonObject object = array[i].toObject();
        CObjectReader reader(object, where, error);
        int number = static_cast<int>(i) + 1;
        if (capacity == 0) {
            return reader.Fail("", "this instrument holds none");
        }
        if (!reader.Int("number", 1, capacity, &number)) {
            return false;
        }
        if (number > capacity) {
            // A position beyond the table, with no number of its own.
            return reader.Fail(
                "", "more entries than the " + std::to_string(capacity) + " this instrument holds");
        }
        if (!seen.insert(number).second) {
            return reader.Fail("number", std::to_string(number) + " is listed twice");
        }
        if (!read(reader, number)) {
            return false;
        }
    }
    return true;
}

// A value the instrument can report with `decimals` places in a mantissa of `limit`.
bool FitsMantissa(double value, int decimals, int64_t limit) {
    const double scaled = std::round(value * std::pow(10.0, decimals));
    return std::fabs(scaled) <= static_cast<double>(limit);
}

bool CheckValue(CObjectReader& reader, const char* key, double value, int decimals, int64_t limit) {
    if (!FitsMantissa(value, decimals, limit)) {
        return reader.Fail(key, "does not fit " + std::to_string(limit) + " with " +
                                    std::to_string(decimals) + " decimals");
    }
    return true;
}

bool ReadStatus(CObjectReader& reader, bool measurement, char* status) {
    static const char* const kMeasStatus[] = {"N", "D", "O", "E"};
    static const char* const kMathStatus[] = {"N", "O", "E"};
    int index = 0;
    const bool ok = measurement ? reader.Word("status", kMeasStatus, &index)
                                : reader.Word("status", kMathStatus, &index);
    if (ok && reader.Has("status")) {
        *status = (measurement ? kMeasStatus : kMathStatus)[index][0];
    }
    return ok;
}

// A number that must be above zero when given (periods, time constants).
bool Positive(CObjectReader& r, const char* key, double* out) {
    if (!r.Number(key, out)) {
        return false;
    }
    return !r.Has(key) || *out > 0.0 || r.Fail(key, "expected a number above 0");
}

// The plant keys of a channel: "wave", "low", "high", "periodS", "noise", "fault",
// "alarmHigh", "alarmLow"; math channels "math" and "inputs".
bool ReadChannelPlant(CObjectReader& r, bool measurement, CSimChannel* channel) {
    static const char* const kWaves[] = {"auto", "sine", "ramp", "walk", "constant"};
    static const char* const kFaults[] = {"none", "over", "error"};
    static const char* const kOps[] = {"none", "sum", "average", "difference"};
    if (!r.Word("wave", kWaves, &channel->wave) || !r.Number("low", &channel->low) ||
        !r.Number("high", &channel->high) || !Positive(r, "periodS", &channel->periodS) ||
        !r.Number("noise", &channel->noise) || !r.Word("fault", kFaults, &channel->fault) ||
        !r.Number("alarmHigh", &channel->alarmHigh) || !r.Number("alarmLow", &channel->alarmLow)) {
        return false;
    }
    channel->alarmHighSet = r.Has("alarmHigh");
    channel->alarmLowSet = r.Has("alarmLow");
    if (channel->low > channel->high) {
        return r.Fail("low", "above high");
    }
    if (channel->noise < 0.0) {
        return r.Fail("noise", "expected a number of at least 0");
    }
    if (measurement) {
        return true;
    }
    if (!r.Word("math", kOps, &channel->mathOp)) {
        return false;
    }
    const QJsonValue inputs = r.Value("inputs");
    if (inputs.isUndefined()) {
        return true;
    }
    const char* rule = "expected a list of at most 10 measurement channel numbers (1-30)";
    const QJsonArray array = inputs.toArray();
    if (!inputs.isArray() || array.size() > kSimGroupChannels) {
        return r.Fail("inputs", rule);
    }
    for (const QJsonValue& value : array) {
        const double d = value.toDouble();
        if (!value.isDouble() || std::floor(d) != d || d < 1 || d > kSimMeasChannels) {
            return r.Fail("inputs", rule);
        }
        channel->inputs.push_back(static_cast<int>(d));
    }
    return true;
}

bool ReadChannel(CObjectReader& r, bool measurement, CSimChannel* channel) {
    channel->configured = true;
    if (measurement) {
        channel->inputType = kSimInputTypeWords[0];
        int type = 0;
        if (!r.Word("inputType", kSimInputTypeWords, &type)) {
            return false;
        }
        channel->inputType = kSimInputTypeWords[type];
        if (!r.Text("range", kSimNameMax, TextKind::kField, &channel->range)) {
            return false;
        }
    }
    const int64_t limit = measurement ? kSimMantissaMax : kSimMathMantissaMax;
    return ReadChannelPlant(r, measurement, channel) &&
           r.Text("tag", kSimNameMax, TextKind::kField, &channel->tag) &&
           r.Text("unit", kSimUnitMax, TextKind::kField, &channel->unit) &&
           r.Number("value", &channel->value) &&
           r.Int("decimals", 0, kSimMaxDecimals, &channel->decimals) &&
           ReadStatus(r, measurement, &channel->status) && r.Bool("alarm", &channel->alarm) &&
           CheckValue(r, "value", channel->value, channel->decimals, limit);
}

// "setPoints" (up to eight values by set point number), then "sp" for the one in use.
template <typename Loop>
bool ReadSetPoints(CObjectReader& r, Loop* loop) {
    const QJsonValue list = r.Value("setPoints");
    if (!list.isUndefined()) {
        const QJsonArray array = list.toArray();
        if (!list.isArray() || array.size() > kSimSetPoints) {
            return r.Fail("setPoints", "expected a list of at most 8 numbers");
        }
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (!array[i].isDouble()) {
                return r.Fail("setPoints", "expected a list of at most 8 numbers");
            }
            loop->setPoints[static_cast<size_t>(i)] = array[i].toDouble();
        }
    }
    double sp = loop->Sp();
    if (!r.Number("sp", &sp)) {
        return false;
    }
    loop->setPoints[static_cast<size_t>(loop->spNumber - 1)] = sp;
    for (const double value : loop->setPoints) {
        if (value < loop->spLow || value > loop->spHigh) {
            return r.Fail("setPoints", "a set point lies outside spLow to spHigh");
        }
    }
    return true;
}

// Values and limits shared by internal and external loops.
template <typename Loop>
bool ReadLoopValues(CObjectReader& r, Loop* loop) {
    int mode = loop->mode;
    if (!r.Text("pvTag", kSimNameMax, TextKind::kField, &loop->pvTag) ||
        !r.Text("spTag", kSimNameMax, TextKind::kField, &loop->spTag) ||
        !r.Text("outTag", kSimNameMax, TextKind::kField, &loop->outTag) ||
        !r.Text("unit", kSimUnitMax, TextKind::kField, &loop->unit) || !r.Number("pv", &loop->pv) ||
        !r.Int("pvDecimals", 0, kSimMaxDecimals, &loop->pvDecimals) ||
        !r.Int("spDecimals", 0, kSimMaxDecimals, &loop->spDecimals) ||
        !r.Number("spLow", &loop->spLow) || !r.Number("spHigh", &loop->spHigh) ||
        !r.Int("spNumber", 1, kSimSetPoints, &loop->spNumber) || !r.Number("out", &loop->out) ||
        !r.Word("mode", kSimModeWords, &mode) || !r.Bool("remote", &loop->remote) ||
        !r.Bool("run", &loop->run)) {
        return false;
    }
    loop->mode = mode;
    if (loop->spLow > loop->spHigh) {
        return r.Fail("spLow", "above spHigh");
    }
    return ReadSetPoints(r, loop) &&
           CheckValue(r, "pv", loop->pv, loop->pvDecimals, kSimMantissaMax) &&
           CheckValue(r, "spLow", loop->spLow, loop->spDecimals, kSimMantissaMax) &&
           CheckValue(r, "spHigh", loop->spHigh, loop->spDecimals, kSimMantissaMax);
}

bool ReadLoop(CObjectReader& r, CSimLoop* loop) {
    loop->configured = true;
    if (!r.Text("name", kSimNameMax, TextKind::kField, &loop->name) ||
        !r.Text("text", kSimNameMax, TextKind::kField, &loop->text) ||
        !r.Word("kind", kSimLoopKindWords, &loop->kind) ||
        !r.Word("outputType", kSimOutputTypeWords, &loop->outputType) ||
        !r.Int("pidNumber", 1, kSimSetPoints, &loop->pidNumber) ||
        !r.Number("outLow", &loop->outLow) || !r.Number("outHigh", &loop->outHigh) ||
        !r.Bool("alarm", &loop->alarm) || !r.Bool("tuning", &loop->tuning) ||
        !ReadLoopValues(r, loop)) {
        return false;
    }
    // Only a cascade loop has a cascade mode.
    if (loop->mode == kSimCas && loop->kind != kSimCascade) {
        return r.Fail("mode", "CAS needs a loop of kind \"Cascade\"");
    }
    const QJsonValue retrans = r.Value("retrans");
    if (retrans.isObject()) {
        const QJsonObject object = retrans.toObject();
        CObjectReader reader(object, r.Where() + ".retrans", r.Error());
        loop->retrans = true;
        if (!reader.Text("source", kSimNameMax, TextKind::kField, &loop->retransSource) ||
            !reader.Number("low", &loop->outLow) || !reader.Number("high", &loop->outHigh) ||
            !reader.Int("decimals", 0, kSimMaxDecimals, &loop->outDecimals)) {
            return false;
        }
        if (loop->retransSource.empty()) {
            return reader.Fail("source", "expected a non-empty text");
        }
    } else if (!retrans.isUndefined() && !(retrans.isBool() && !retrans.toBool())) {
        return r.Fail("retrans",
                      "expected an object with source, low, high and decimals, or false");
    }
    if (!loop->retrans) {
        loop->outDecimals = 1;  // outputs are in percent with one decimal
    }
    if (!r.Number("gain", &loop->gain) || !Positive(r, "timeConstantS", &loop->timeConstantS) ||
        !r.Number("kp", &loop->kp) || !Positive(r, "tiS", &loop->tiS) ||
        !r.Number("stopOut", &loop->stopOut) ||
        !r.Int("remoteSource", 0, kSimMeasChannels + kSimMathChannels, &loop->remoteSource)) {
        return false;
    }
    if (loop->outLow > loop->outHigh) {
        return r.Fail("outLow", "above outHigh");
    }
    if (loop->out < loop->outLow || loop->out > loop->outHigh) {
        return r.Fail("out", "outside the output limits");
    }
    return CheckValue(r, "outLow", loop->outLow, loop->outDecimals, kSimMantissaMax) &&
           CheckValue(r, "outHigh", loop->outHigh, loop->outDecimals, kSimMantissaMax);
}

bool ReadExtLoop(CObjectReader& r, CSimExtLoop* loop) {
    loop->configured = true;
    loop->inUse = true;
    if (!r.Bool("inUse", &loop->inUse) || !r.Int("controller", 0, 15, &loop->controller) ||
        !r.Int("address", 1, 99, &loop->address) ||
        !r.Text("name", kSimNameMax, TextKind::kField, &loop->name) ||
        !r.Text("tag", kSimNameMax, TextKind::kField, &loop->tag) ||
        !r.Int("outDecimals", 0, kSimMaxDecimals, &loop->outDecimals) || !ReadLoopValues(r, loop)) {
        return false;
    }
    // "outputLimits": [low, high] pairs by set point number; the rest keep 0 to 100.
    const QJsonValue limits = r.Value("outputLimits");
    if (!limits.isUndefined()) {
        const QJsonArray array = limits.toArray();
        const char* rule = "expected a list of at most 8 [low, high] pairs with low <= high";
        if (!limits.isArray() || array.size() > kSimSetPoints) {
            return r.Fail("outputLimits", rule);
        }
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonArray pair = array[i].toArray();
            if (pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble() ||
                pair[0].toDouble() > pair[1].toDouble()) {
                return r.Fail("outputLimits", rule);
            }
            loop->outLow[static_cast<size_t>(i)] = pair[0].toDouble();
            loop->outHigh[static_cast<size_t>(i)] = pair[1].toDouble();
        }
    }
    for (size_t k = 0; k < kSimSetPoints; ++k) {
        if (!CheckValue(r, "outputLimits", loop->outLow[k], loop->outDecimals, kSimMantissaMax) ||
            !CheckValue(r, "outputLimits", loop->outHigh[k], loop->outDecimals, kSimMantissaMax)) {
            return false;
        }
    }
    const size_t active = static_cast<size_t>(loop->spNumber - 1);
    if (loop->out < loop->outLow[active] || loop->out > loop->outHigh[active]) {
        return r.Fail("out", "outside the output limits of the set point number in use");
    }
    if (loop->mode == kSimCas) {
        return r.Fail("mode", "an external loop runs in AUT or MAN");
    }
    return r.Number("gain", &loop->gain) && Positive(r, "timeConstantS", &loop->timeConstantS) &&
           r.Number("kp", &loop->kp) && Positive(r, "tiS", &loop->tiS);
}

bool ReadDioPoint(CObjectReader& r, int number, CSimDioPoint* point) {
    int module = point->module;
    int mode = point->mode;
    if (!r.Word("module", kSimModuleWords, &module)) {
        return false;
    }
    point->module = module;
    point->present = module != kSimModuleNone;
    if (!r.Bool("present", &point->present) ||
        !r.Text("name", kSimNameMax, TextKind::kField, &point->name) ||
        !r.Text("comment", kSimNameMax, TextKind::kField, &point->comment) ||
        !r.Word("mode", kSimModeWords, &mode, 2) || !r.Int("input", 0, 1, &point->input) ||
        !r.Int("output", 0, 1, &point->output) ||
        !Positive(r, "togglePeriodS", &point->togglePeriodS)) {
        return false;
    }
    point->mode = mode;
    if (point->present && module == kSimModuleNone) {
        return r.Fail("present", "a point without a module cannot be present");
    }
    char terminal[16];
    std::snprintf(terminal, sizeof terminal, "%s%03d", module == 0 ? "DI" : "DO", number);
    point->terminal = terminal;
    if (!r.Text("terminal", kSimTerminalMax, TextKind::kTerminal, &point->terminal)) {
        return false;
    }
    if (point->present && point->terminal.empty()) {
        return r.Fail("terminal", "expected a non-empty text");
    }
    return true;
}

bool IsChannelNumber(int number) {
    return (number >= 1 && number <= 60) || (number >= 101 && number <= 118) ||
           (number >= 201 && number <= 248);
}

bool ReadDisplayGroup(CObjectReader& r, CSimDisplayGroup* group) {
    if (!r.Text("name", kSimNameMax, TextKind::kField, &group->name)) {
        return false;
    }
    const QJsonValue channels = r.Value("channels");
    if (channels.isUndefined()) {
        return true;
    }
    const QJsonArray array = channels.toArray();
    const char* rule = "expected at most 10 channel numbers (1-60, 101-118, 201-248)";
    if (!channels.isArray() || array.size() > kSimGroupChannels) {
        return r.Fail("channels", rule);
    }
    for (const QJsonValue& value : array) {
        const double d = value.toDouble();
        if (!value.isDouble() || std::floor(d) != d || !IsChannelNumber(static_cast<int>(d))) {
            return r.Fail("channels", rule);
        }
        group->channels.push_back(static_cast<int>(d));
    }
    return true;
}

bool ReadControlGroup(CObjectReader& r, CSimControlGroup* group) {
    if (!r.Text("name", kSimNameMax, TextKind::kField, &group->name)) {
        return false;
    }
    const QJsonValue members = r.Value("members");
    if (members.isUndefined()) {
        return true;
    }
    const QJsonArray array = members.toArray();
    if (!members.isArray() || array.size() > kSimControlMembers) {
        return r.Fail("members", "expected a list of at most 6 members");
    }
    // Highest number each member kind may name.
    static const int kLow[] = {0, 1, 31, 1, 1, 1};
    static const int kHigh[] = {0, 30, 60, kSimLoops, kSimExtLoops, kSimDioPoints};
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonObject object = array[i].toObject();
        CObjectReader member(object, r.Where() + ".members[" + std::to_string(i) + "]", r.Error());
        if (!array[i].isObject()) {
            return member.Fail("", "expected an object");
        }
        CSimControlMember& slot = group->members[static_cast<size_t>(i)];
        if (!member.Word("kind", kSimMemberKindWords, &slot.kind)) {
            return false;
        }
        if (slot.kind != 0 &&
            !member.Int("number", kLow[slot.kind], kHigh[slot.kind], &slot.number)) {
            return false;
        }
        if (slot.kind != 0 && !member.Has("number")) {
            return member.Fail("number", "expected the member's number");
        }
    }
    return true;
}

bool ReadPattern(CObjectReader& r, CSimPattern* pattern) {
    static const char* const kStates[] = {"reset", "running", "hold", "wait"};
    int state = 0;
    if (!r.Word("state", kStates, &state) || !r.Int("segment", 1, 99, &pattern->segment)) {
        return false;
    }
    pattern->exists = true;
    pattern->running = state != 0;
    pattern->hold = state == 2;
    pattern->wait = state == 3;
    if (!r.Int("loop", 0, kSimLoops, &pattern->loop)) {
        return false;
    }
    // "segments": [{"seconds": 60, "sp": 120.0}, ...]
    const QJsonValue segments = r.Value("segments");
    if (segments.isUndefined()) {
        return true;
    }
    const char* rule = "expected a list of at most 99 {\"seconds\": above 0, \"sp\": number}";
    const QJsonArray array = segments.toArray();
    if (!segments.isArray() || array.size() > 99) {
        return r.Fail("segments", rule);
    }
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        const QJsonValue seconds = object.value(QLatin1String("seconds"));
        const QJsonValue sp = object.value(QLatin1String("sp"));
        if (!value.isObject() || !seconds.isDouble() || !sp.isDouble() ||
            !(seconds.toDouble() > 0.0) || !std::isfinite(seconds.toDouble()) ||
            !std::isfinite(sp.toDouble())) {
            return r.Fail("segments", rule);
        }
        pattern->segments.push_back({seconds.toDouble(), sp.toDouble()});
    }
    return true;
}

bool ReadLogs(const QJsonObject& root, CSimSetup* setup, std::string* error) {
    const QJsonValue value = root.value(QLatin1String("logs"));
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isObject()) {
        *error = "logs: expected an object of log names";
        return false;
    }
    const QJsonObject logs = value.toObject();
    for (auto it = logs.begin(); it != logs.end(); ++it) {
        const std::string name = it.key().toStdString();
        int kind = -1;
        for (int k = 0; k < kSimLogKinds; ++k) {
            if (name == kSimLogKindTable[k].name) {
                kind = k;
            }
        }
        const std::string where = "logs." + name;
        if (kind < 0) {
            *error = where + ": not a log of the instrument";
            return false;
        }
        const QJsonArray lines = it.value().toArray();
        const size_t capacity = kSimLogKindTable[kind].capacity;
        if (!it.value().isArray() || static_cast<size_t>(lines.size()) > capacity) {
            *error = where + ": expected a list of at most " + std::to_string(capacity) + " lines";
            return false;
        }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const std::string line = lines[i].toString().toStdString();
            if (!lines[i].isString() || line.empty() ||
                !CObjectReader::CheckText(line, kSimLogLineMax, TextKind::kLogLine)) {
                *error = where + "[" + std::to_string(i) +
                         "]: expected a non-empty printable line of at most 200 characters, not "
                         "beginning with \"EA\" or \"EN\", not ending in \"END:\"";
                return false;
            }
            setup->logs[static_cast<size_t>(kind)].push_back(line);
        }
    }
    return true;
}

bool ReadMessages(const QJsonObject& root, CSimSetup* setup, std::string* error) {
    const QJsonValue value = root.value(QLatin1String("messages"));
    if (value.isUndefined()) {
        return true;
    }
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() > kSimMessages) {
        *error = "messages: expected a list of at most 8 texts";
        return false;
    }
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::string text = array[i].toString().toStdString();
        if (!array[i].isString() || !CObjectReader::CheckText(text, 32, TextKind::kLine)) {
            *error = "messages[" + std::to_string(i) +
                     "]: expected printable text of at most 32 "
                     "characters";
            return false;
        }
        setup->messages[static_cast<size_t>(i)] = text;
    }
    return true;
}

}  // namespace

bool ReadSimSetup(const QJsonObject& root, int model, SimProgramOption option, CSimSetup* setup,
                  std::string* error) {
    CObjectReader top(root, "", error);
    std::string clock;
    if (!top.Text("clock", 19, TextKind::kLine, &clock)) {
        return false;
    }
    if (!clock.empty() && !SimParseClock(clock, &setup->clockStart)) {
        *error = "clock: expected a date and time such as \"2024/05/17 09:30:00\"";
        return false;
    }
    if (!top.Bool("memoryRunning", &setup->memoryRunning) ||
        !top.Bool("mathRunning", &setup->mathRunning) ||
        !top.Bool("myEnabled", &setup->myEnabled)) {
        return false;
    }
    const auto at = [](auto& table, int number) -> auto& {
        return table[static_cast<size_t>(number - 1)];
    };
    return ReadNumberedList(root, "channels", kSimMeasChannels, error,
                            [&](CObjectReader& r, int n) {
                                return ReadChannel(r, true, &at(setup->channels, n));
                            }) &&
           ReadNumberedList(root, "mathChannels", kSimMathChannels, error,
                            [&](CObjectReader& r, int n) {
                                return ReadChannel(r, false, &at(setup->mathChannels, n));
                            }) &&
           ReadNumberedList(
               root, "loops", kSimLoops, error,
               [&](CObjectReader& r, int n) { return ReadLoop(r, &at(setup->loops, n)); }) &&
           ReadNumberedList(
               root, "externalLoops", SimExtLoopCapacity(model), error,
               [&](CObjectReader& r, int n) { return ReadExtLoop(r, &at(setup->extLoops, n)); }) &&
           ReadNumberedList(
               root, "dio", SimDioPointCount(model), error,
               [&](CObjectReader& r, int n) { return ReadDioPoint(r, n, &at(setup->dio, n)); }) &&
           ReadNumberedList(root, "displayGroups", SimDisplayGroupCount(model), error,
                            [&](CObjectReader& r, int n) {
                                return ReadDisplayGroup(r, &at(setup->displayGroups, n));
                            }) &&
           ReadNumberedList(root, "controlGroups", SimControlGroupCount(model), error,
                            [&](CObjectReader& r, int n) {
                                return ReadControlGroup(r, &at(setup->controlGroups, n));
                            }) &&
           ReadNumberedList(
               root, "patterns", SimPatternCapacity(option), error,
               [&](CObjectReader& r, int n) { return ReadPattern(r, &at(setup->patterns, n)); }) &&
           ReadLogs(root, setup, error) && ReadMessages(root, setup, error);
}
