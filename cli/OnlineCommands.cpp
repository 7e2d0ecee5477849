#include "OnlineCommands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "CtlOptions.h"
#include "ModelJson.h"
#include "commands/DataQueries.h"
#include "image/Image.h"
#include "image/ImageFile.h"
#include "image/PngCodec.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "session/ConnectionManager.h"

namespace {

using Args = std::vector<std::string>;

struct UsageError {
    std::string reason;
};

int Fail(RzResult code) {
    std::fprintf(stderr, "error 0x%08X %s\n", static_cast<unsigned>(code), ResultCodeName(code));
    return kExitFailed;
}

int Result(RzResult code) {
    return code == RZ_OK ? kExitOk : Fail(code);
}

// The messages of a refused start, then the code.
int Result(const RzExpected<void>& result) {
    if (!result) {
        ShowStatusMessages(result.error());
    }
    return Result(result.code());
}

int ParseInt(const std::string& text, const char* what) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{std::string(what) + " must be a whole number: " + text};
    }
    return value;
}

// A complete decimal number: an optional minus, digits, and a point only with digits after it.
// "nan", "inf", "1e5", "1." or "-" never reach an instrument.
double ParseDouble(const std::string& text, const char* what) {
    const size_t digits = text.starts_with('-') ? 1 : 0;
    const size_t point = text.find('.');
    const auto allDigits = [&text](size_t from, size_t to) {
        return from < to && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                                        text.begin() + static_cast<std::ptrdiff_t>(to),
                                        [](char c) { return c >= '0' && c <= '9'; });
    };
    const bool decimal = point == std::string::npos
                             ? allDigits(digits, text.size())
                             : allDigits(digits, point) && allDigits(point + 1, text.size());
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!decimal || ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{std::string(what) +
                         " must be a decimal number such as 12.5 or -3: " + text};
    }
    return value;
}

// Loop numbers run from 1 to the most loops of the kind an instrument can have; any other is
// refused as the connection would refuse it, but saying what the range is.
bool LoopNumberInRange(int kind, int n) {
    const int last = kind == kEntryInternalLoop   ? kInternalLoops
                     : kind == kEntryExternalLoop ? kExternalLoops
                                                  : kDioPoints;
    if (n >= 1 && n <= last) {
        return true;
    }
    std::fprintf(stderr, "rzctl: loop number %d is out of range 1\u2013%d\n", n, last);
    return false;
}

int Choose(const std::string& word, const std::map<std::string, int>& choices, const char* what) {
    const auto it = choices.find(word);
    if (it == choices.end()) {
        std::string known;
        for (const auto& [name, value] : choices) {
            known += (known.empty() ? "" : ", ") + name;
        }
        throw UsageError{std::string(what) + " must be one of " + known + ": " + word};
    }
    return it->second;
}

void Expect(const Args& args, size_t count, const char* form) {
    if (args.size() != count) {
        throw UsageError{std::string("usage: ") + form};
    }
}

CInstrumentConnection* Connection(const CtlSession& s) {
    return s.manager->FindConnection(s.connectionId).value_or(nullptr);
}

// Runs `body` as an operation of the connection, the way the console's buttons do, and waits
// for its result.
RzExpected<void> Run(const CtlSession& s, const char* name,
                     CInstrumentConnection::OperationBody body) {
    CInstrumentConnection* c = Connection(s);
    return c != nullptr ? c->RunOperation(name, std::move(body)) : RzError(LINK_E_NOT_LOGGED_IN);
}

CInstrumentModel Snapshot(const CtlSession& s) {
    if (CInstrumentConnection* c = Connection(s)) {
        return c->CopyModel();
    }
    return CInstrumentModel{};
}

void PrintJson(const CInstrumentModel& model, bool compact) {
    ::PrintJson(ModelToJson(model), compact);
}

// Takes "--json" out of a command's arguments; true when it was there.
bool TakeJson(Args* args) {
    const auto json = std::find(args->begin(), args->end(), "--json");
    if (json == args->end()) {
        return false;
    }
    args->erase(json);
    return true;
}

void PrintText(const CInstrumentModel& m) {
    std::printf("instrument: %s%d firmware %d.%02d  user %s (level %s)\n", m.family, m.modelClass,
                m.firmwareMajor, m.version & 0xFFFF, m.userName, m.accessLevel);
    std::printf("data: %s %s  memory %s  math %s\n", m.dataDate, m.dataTime,
                m.memoryRunning ? "running" : "stopped", m.mathRunning ? "running" : "stopped");
    for (int i = 0; i < kChannels; ++i) {
        const bool used = i < kMeasChannels ? i < m.measCount : i - kMeasChannels < m.mathCount;
        if (!used)
            continue;
        const CDisplayBlock& d = m.channels[i].display;
        WholeValueText value;
        GetWholeValueText(d, value);
        std::printf("channel %2d  %-16s %-8s %s\n", i + 1, d.tag[0], d.typeText, value);
    }
    for (int i = 0; i < m.loopCount && i < kInternalLoops; ++i) {
        const CDisplayBlock& d = m.internalLoops[i].display;
        std::printf("int %d  %-16s %-4s PV %-8.8s SP %-8.8s OUT %-8.8s\n", i + 1, d.name,
                    d.modeText, d.valueText[0], d.valueText[1], d.valueText[2]);
    }
    for (int i = 0; i < m.extLoopCount && i < kExternalLoops; ++i) {
        const CDisplayBlock& d = m.externalLoops[i].display;
        std::printf("ext %d  %-16s %-4s PV %-8.8s SP %-8.8s OUT %-8.8s\n", i + 1, d.name,
                    d.modeText, d.valueText[0], d.valueText[1], d.valueText[2]);
    }
    for (int i = 0; i < m.dioCount && i < kDioPoints; ++i) {
        const CDioRecord& p = m.dio[i];
        if (!p.present)
            continue;
        std::printf("dio %2d  %-16s %-8s %-4s in %-8.8s out %-8.8s\n", i + 1, p.display.name,
                    p.display.typeText, p.display.modeText, p.display.valueText[0],
                    p.display.valueText[2]);
    }
    for (int i = 0; i < kPatterns; ++i) {
        if (m.patterns[i].exists) {
            std::printf("pattern %2d  state %d\n", i + 1, m.patterns[i].state);
        }
    }
    std::fflush(stdout);
}

int Watch(const CtlSession& s) {
    const Args& args = *s.args;
    int cycles = 0;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--cycles" && i + 1 < args.size()) {
            cycles = ParseInt(args[++i], "--cycles");
            if (cycles < 1) {
                throw UsageError{"--cycles must be 1 or more"};
            }
        } else {
            throw UsageError{"usage: watch [--cycles N] [--json]"};
        }
    }
    CEventHub& hub = s.manager->hub();
    const uint32_t id = s.connectionId;
    int seen = 0;
    bool lost = false;
    // The event loop sleeps until the connection's timer or a report from its threads wakes it.
    // Output that cannot be written ends the watch; main reports it. SIGINT and SIGTERM end
    // rzctl at once (main).
    QEventLoop loop;
    hub.Subscribe({HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_DATA_REFRESHED}, DataRefreshedEvent(id),
                  [&](uint32_t) {
                      const CInstrumentModel model = Snapshot(s);
                      if (json) {
                          PrintJson(model, true);
                      } else {
                          std::printf("--- cycle %d\n", seen + 1);
                          PrintText(model);
                      }
                      ++seen;
                      if ((cycles > 0 && seen >= cycles) || std::ferror(stdout)) {
                          loop.quit();
                      }
                  });
    hub.Subscribe({HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_COMM_ERROR}, CommErrorEvent(id),
                  [&](uint32_t) {
                      lost = true;
                      loop.quit();
                  });
    loop.exec();
    hub.UnsubscribeChannel(HUB_CHANNEL_MAIN_FRAME);
    // Let the manager finish closing a lost connection before reporting.
    QCoreApplication::processEvents();
    return lost ? Fail(LINK_E_BROKEN) : kExitOk;
}

int SaveImage(const CtlSession& s) {
    const Args& args = *s.args;
    Expect(args, 1, "image FILE");
    CInstrumentConnection* c = Connection(s);
    RzResult result = RZ_OK;
    bool none = false;
    c->WithImage([&](const uint8_t* data, uint32_t length) {
        if (data == nullptr || length == 0) {
            none = true;
            return;
        }
        CRzImage image;
        result = DecodePng(data, length, image);
        if (result == RZ_OK) {
            result = SaveImageFile(image, args[0]);
        }
    });
    if (none) {
        std::fprintf(stderr,
                     "rzctl: the instrument sent no screen image (it needs a level-A "
                     "user)\n");
        return kExitFailed;
    }
    if (result != RZ_OK) {
        std::fprintf(stderr, "%s\n", RzString(RzStr::kFileNotSaved));
    }
    return Result(result);
}

int LoopCommand(const CtlSession& s) {
    const Args& a = *s.args;
    if (a.size() < 3) {
        throw UsageError{"usage: loop int|ext|dio N mode|remote|run|sp|out|read [VALUE]"};
    }
    const int kind = Choose(
        a[0], {{"int", kEntryInternalLoop}, {"ext", kEntryExternalLoop}, {"dio", kEntryDioPoint}},
        "loop kind");
    const int n = ParseInt(a[1], "loop number");
    if (!LoopNumberInRange(kind, n)) {
        return Fail(LINK_E_PARAMETER);
    }
    const std::string& what = a[2];
    if (what == "read") {
        Expect(a, 3, "loop KIND N read");
        const RzExpected<void> r =
            Run(s, "Read loop", [=](CInstrumentConnection& c) { return c.ReadLoopState(kind, n); });
        if (!r)
            return Result(r);
        const CInstrumentModel m = Snapshot(s);
        const CDisplayBlock* d = nullptr;
        if (kind == kEntryInternalLoop && n >= 1 && n <= kInternalLoops) {
            d = &m.internalLoops[n - 1].display;
        } else if (kind == kEntryExternalLoop && n >= 1 && n <= kExternalLoops) {
            d = &m.externalLoops[n - 1].display;
        } else if (kind == kEntryDioPoint && n >= 1 && n <= kDioPoints) {
            d = &m.dio[n - 1].display;
        }
        if (d != nullptr) {
            std::printf("%s %s mode %s PV %.8s SP %.8s OUT %.8s\n", d->name, d->typeText,
                        d->modeText, d->valueText[0], d->valueText[1], d->valueText[2]);
        }
        return kExitOk;
    }
    if (a.size() != 4) {
        throw UsageError{"usage: loop KIND N " + what + " VALUE"};
    }
    const std::string& value = a[3];
    if (what == "mode") {
        const int mode = Choose(value, {{"AUT", 0}, {"MAN", 1}, {"CAS", 2}}, "mode");
        return Result(Run(s, "Loop mode", [=](CInstrumentConnection& c) {
            return c.OperateLoopMode(kind, n, mode);
        }));
    }
    if (what == "remote") {
        const int remote = Choose(value, {{"LOC", 0}, {"REM", 1}}, "remote");
        return Result(Run(s, "Loop local/remote", [=](CInstrumentConnection& c) {
            return c.OperateLoopRemote(kind, n, remote);
        }));
    }
    if (what == "run") {
        const int run = Choose(value, {{"RUN", 1}, {"STOP", 0}}, "run");
        return Result(Run(s, "Loop run/stop", [=](CInstrumentConnection& c) {
            return c.OperateLoopRun(kind, n, run);
        }));
    }
    if (what == "sp") {
        const double sp = ParseDouble(value, "set point");
        return Result(
            Run(s, "Loop SP", [=](CInstrumentConnection& c) { return c.SetLoopSP(kind, n, sp); }));
    }
    if (what == "out") {
        const double out = ParseDouble(value, "output");
        return Result(Run(s, "Loop OUT",
                          [=](CInstrumentConnection& c) { return c.SetLoopOut(kind, n, out); }));
    }
    throw UsageError{"unknown loop operation " + what};
}

using Handler = std::function<int(const CtlSession&)>;

const std::map<std::string, Handler>& Handlers() {
    static const std::map<std::string, Handler> handlers{
        {"info",
         [](const CtlSession& s) {
             Args args = *s.args;
             const bool json = TakeJson(&args);
             Expect(args, 0, "info [--json]");
             const CInstrumentModel m = Snapshot(s);
             if (json) {
                 ::PrintJson(IdentityToJson(m, s.connectionId), false);
                 return kExitOk;
             }
             const char* options[] = {"none", "small", "large"};
             std::printf(
                 "connection: %u\nfamily: %s\nmodel: %d\nfirmware: %d.%02d\n"
                 "version: 0x%X\nprogram option: %s\npid aux:",
                 s.connectionId, m.family, m.modelClass, m.firmwareMajor, m.version & 0xFFFF,
                 static_cast<unsigned>(m.version),
                 m.programOption >= 0 && m.programOption <= 2 ? options[m.programOption] : "?");
             for (int flag : m.pidAux)
                 std::printf(" %d", flag);
             std::printf(
                 "\ndisplay groups: %d\ncontrol groups: %d\ndio points: %d\n"
                 "user: %s\naccess level: %s\n",
                 m.displayGroupCount, m.controlGroupCount, m.dioCount, m.userName, m.accessLevel);
             return kExitOk;
         }},
        {"dump",
         [](const CtlSession& s) {
             const Args& a = *s.args;
             if (a.size() > 1 || (a.size() == 1 && a[0] != "--json")) {
                 throw UsageError{"usage: dump [--json]"};
             }
             const CInstrumentModel m = Snapshot(s);
             if (a.empty()) {
                 PrintText(m);
             } else {
                 PrintJson(m, false);
             }
             return kExitOk;
         }},
        {"watch", Watch},
        {"refresh",
         [](const CtlSession& s) {
             Expect(*s.args, 0, "refresh");
             return Result(Run(s, "Refresh", [](CInstrumentConnection& c) { return c.Refresh(); }));
         }},
        {"display",
         [](const CtlSession& s) {
             const Args& a = *s.args;
             if (a.empty() || a.size() > 2)
                 throw UsageError{"usage: display CODE [GROUP]"};
             static const std::map<std::string, int> codes{
                 {"trend", 0},        {"digital", 1},   {"bar", 2},          {"overview", 3},
                 {"alarm", 4},        {"message", 5},   {"faceplate", 7},    {"controller", 8},
                 {"hybrid", 9},       {"ctrlover", 10}, {"program", 11},     {"ctrldo", 12},
                 {"ctrlsummary", 13}, {"ctrlsw", 14},   {"eventsummary", 15}};
             int code = 0;
             if (!a[0].empty() && a[0][0] >= '0' && a[0][0] <= '9') {
                 code = ParseInt(a[0], "display code");
                 if (code < 0 || code > 15)
                     throw UsageError{"display code must be 0 to 15"};
             } else {
                 code = Choose(a[0], codes, "display");
             }
             const int group = a.size() == 2 ? ParseInt(a[1], "group") : 0;
             return Result(Run(s, "Display", [=](CInstrumentConnection& c) {
                 return c.SwitchDisplay(code, group);
             }));
         }},
        {"trend",
         [](const CtlSession& s) {
             const Args& a = *s.args;
             Expect(a, 3, "trend ALL SCALE DIGITAL (0 or 1 each)");
             const std::map<std::string, int> bit{{"0", 0}, {"1", 1}};
             const int all = Choose(a[0], bit, "ALL");
             const int scale = Choose(a[1], bit, "SCALE");
             const int digital = Choose(a[2], bit, "DIGITAL");
             return Result(Run(s, "Trend options", [=](CInstrumentConnection& c) {
                 return c.SetTrendOptions(all, scale, digital);
             }));
         }},
        {"pattern-select",
         [](const CtlSession& s) {
             Expect(*s.args, 1, "pattern-select P");
             const int pattern = ParseInt((*s.args)[0], "pattern");
             return Result(Run(s, "Pattern display",
                               [=](CInstrumentConnection& c) { return c.ShowPattern(pattern); }));
         }},
        {"loop", LoopCommand},
        {"dio",
         [](const CtlSession& s) {
             const Args& a = *s.args;
             Expect(a, 3, "dio N out 0|1");
             if (a[1] != "out")
                 throw UsageError{"usage: dio N out 0|1"};
             const int point = ParseInt(a[0], "point");
             const int value = Choose(a[2], {{"0", 0}, {"1", 1}}, "output");
             return Result(Run(s, "DI/DO output", [=](CInstrumentConnection& c) {
                 return c.SetDigitalOutput(point, value);
             }));
         }},
        {"program",
         [](const CtlSession& s) {
             const Args& a = *s.args;
             Expect(a, 2, "program P run|reset|hold|release|advance");
             const int action = Choose(a[1],
                                       {{"run", kProgramRun},
                                        {"reset", kProgramReset},
                                        {"hold", kProgramHold},
                                        {"release", kProgramRelease},
                                        {"advance", kProgramAdvance}},
                                       "action");
             const int pattern = ParseInt(a[0], "pattern");
             bool changed = false;
             bool* noteChanged = &changed;  // read once the operation's result is back
             const RzExpected<void> r = Run(s, "Program", [=](CInstrumentConnection& c) {
                 const RzExpected<bool> operated = c.OperateProgram(pattern, action);
                 *noteChanged = operated.value_or(false);
                 return operated.code();
             });
             if (r && !changed) {
                 std::printf("pattern already in that state; nothing sent\n");
             }
             return Result(r);
         }},
        {"math",
         [](const CtlSession& s) {
             Expect(*s.args, 1, "math start|stop|reset");
             const int math =
                 Choose((*s.args)[0], {{"start", 1}, {"stop", 2}, {"reset", 3}}, "math");
             return Result(
                 Run(s, "Math", [=](CInstrumentConnection& c) { return c.OperateMath(math); }));
         }},
        {"memory",
         [](const CtlSession& s) {
             Expect(*s.args, 1, "memory start|stop");
             const int memory = Choose((*s.args)[0], {{"start", 1}, {"stop", 0}}, "memory");
             return Result(Run(s, "Memory", [=](CInstrumentConnection& c) {
                 return c.SetMemoryRunning(memory);
             }));
         }},
        {"ack",
         [](const CtlSession& s) {
             Expect(*s.args, 0, "ack");
             return Result(Run(s, "Acknowledge alarm",
                               [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); }));
         }},
        {"message",
         [](const CtlSession& s) {
             Expect(*s.args, 1, "message N");
             const int message = ParseInt((*s.args)[0], "message");
             return Result(Run(s, "Message",
                               [=](CInstrumentConnection& c) { return c.WriteMessage(message); }));
         }},
        {"save-data",
         [](const CtlSession& s) {
             Expect(*s.args, 1, "save-data display|event|sample|trigger");
             const int kind =
                 Choose((*s.args)[0], {{"display", 3}, {"event", 4}, {"sample", 0}, {"trigger", 1}},
                        "save-data");
             return Result(
                 Run(s, "Save data", [=](CInstrumentConnection& c) { return c.SaveData(kind); }));
         }},
        {"log",
         [](const CtlSession& s) {
             Args args = *s.args;
             const bool json = TakeJson(&args);
             Expect(args, 1, "log KIND [--json]");
             const int kind = Choose(args[0],
                                     {{"communication", 0},
                                      {"ftp", 1},
                                      {"error", 2},
                                      {"key", 3},
                                      {"web", 4},
                                      {"email", 5},
                                      {"alarm", 6},
                                      {"message", 7}},
                                     "log");
             std::string text;
             std::string* log = &text;  // read once the operation's result is back
             const RzExpected<void> r = Run(s, "Read log", [kind, log](CInstrumentConnection& c) {
                 RzExpected<std::string> read = c.ReadLog(kind);
                 if (read) {
                     *log = std::move(*read);
                 }
                 return read.code();
             });
             if (r && json) {
                 ::PrintJson(LogToJson(args[0].c_str(), text.c_str()), false);
             } else if (r) {
                 std::fputs(text.c_str(), stdout);
                 if (text.empty() || text.back() != '\n')
                     std::fputc('\n', stdout);
             }
             return Result(r);
         }},
        {"image", SaveImage},
    };
    return handlers;
}

}  // namespace

bool IsOnlineCommand(const std::string& name) {
    return Handlers().count(name) != 0;
}

CtlCommandResult RunOnlineCommand(const std::string& name, const CtlSession& session) {
    const auto it = Handlers().find(name);
    if (it == Handlers().end()) {
        return {kExitUsage, "unknown command " + name};
    }
    try {
        return {it->second(session), {}};
    } catch (const UsageError& error) {
        return {kExitUsage, error.reason};
    }
}
