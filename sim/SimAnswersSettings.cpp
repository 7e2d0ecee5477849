// Answers to the queries of the instrument's setup: group, loop and point names, kinds, output
// types, tags, input types, display and control group members, external controllers.

#include <algorithm>
#include <cstdio>

#include "SimAnswerFormat.h"
#include "SimCommands.h"
#include "SimWords.h"

namespace {

using Answer = std::string (*)(const CSimInstrument&);

// A query that takes no argument: the request must be exactly `request`.
CSimCommandEntry Query(const char* request, SimGate gate, Answer answer) {
    const std::string exact = request;
    return {exact.substr(0, 2), gate, false,
            [exact, answer](const CSimRequest& r, CSimInstrument& instrument) {
                return r.text == exact ? answer(instrument) : SimErrorLine("Syntax error");
            }};
}

std::string Number(int n, const char* format = "%d") {
    char text[16];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

std::string ControlGroupNames(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int g = 1; g <= instrument.ControlGroupCount(); ++g) {
        const std::string& name = instrument.Setup().controlGroups[g - 1].name;
        // A group without a name is left out: the console keeps such a group out of its lists.
        if (!name.empty()) {
            list.Add("FG" + Number(g) + "," + name);
        }
    }
    return std::move(list).Finish();
}

std::string LoopNames(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop& loop = instrument.Setup().loops[n - 1];
        if (loop.configured) {
            list.Add("HM" + Number(n) + "," + SimField(loop.name) + "," + SimField(loop.text));
        }
    }
    return std::move(list).Finish();
}

std::string LoopKinds(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop& loop = instrument.Setup().loops[n - 1];
        list.Add("PC" + Number(n) + "," + kSimLoopKindWords[loop.configured ? loop.kind : 0]);
    }
    return std::move(list).Finish();
}

std::string OutputTypes(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop& loop = instrument.Setup().loops[n - 1];
        const int type = loop.configured ? loop.outputType : 0;
        // Control action and cycle time follow the type.
        list.Add("GF" + Number(n) + "," + kSimOutputTypeWords[type] + ",REVERSE," +
                 (type == 1 || type == 2 ? "30" : "0"));
    }
    return std::move(list).Finish();
}

std::string MyState(const CSimInstrument& instrument) {
    CSimListAnswer list;
    list.Add(std::string("MY") + (instrument.Setup().myEnabled ? "ON" : "OFF"));
    return std::move(list).Finish();
}

std::string ControlGroupMembers(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int g = 1; g <= instrument.ControlGroupCount(); ++g) {
        const CSimControlGroup& group = instrument.Setup().controlGroups[g - 1];
        for (int p = 1; p <= kSimControlMembers; ++p) {
            const CSimControlMember& member = group.members[p - 1];
            std::string line = "GG" + Number(g) + "," + Number(p);
            if (member.kind == 0) {
                line += ",OFF";
            } else {
                line += ",ON," + std::string(kSimMemberKindWords[member.kind]) + "," +
                        Number(member.number);
            }
            list.Add(line);
        }
    }
    return std::move(list).Finish();
}

std::string ExternalLoops(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int n = 1; n <= instrument.ExtLoopCapacity(); ++n) {
        const CSimExtLoop& loop = instrument.Setup().extLoops[n - 1];
        std::string line = "GJ" + Number(n, "EXT%02d");
        if (loop.configured && loop.inUse) {
            line += ",ON," + Number(loop.address) + "," + SimControllerWord(loop.controller) +
                    ",RS485," + SimField(loop.name) + "," + SimField(loop.tag);
        } else {
            line += ",OFF";
        }
        list.Add(line);
    }
    return std::move(list).Finish();
}

std::string Tags(const CSimInstrument& instrument) {
    const CSimSetup& setup = instrument.Setup();
    CSimListAnswer list;
    auto add = [&list](int number, const std::string& tag) {
        // Untagged items are left out; the console names them by number.
        if (!tag.empty()) {
            list.Add("ST" + Number(number, "%03d") + "," + tag);
        }
    };
    for (int n = 1; n <= SimMeasCount(setup); ++n) {
        add(n, setup.channels[n - 1].tag);
    }
    for (int n = 1; n <= SimMathCount(setup); ++n) {
        add(30 + n, setup.mathChannels[n - 1].tag);
    }
    for (int n = 1; n <= SimLoopCount(setup); ++n) {
        const CSimLoop& loop = setup.loops[n - 1];
        add(98 + 3 * n, loop.pvTag);
        add(99 + 3 * n, loop.spTag);
        add(100 + 3 * n, loop.outTag);
    }
    const int extCount = std::min(SimExtLoopCount(setup), instrument.ExtLoopCapacity());
    for (int n = 1; n <= extCount; ++n) {
        const CSimExtLoop& loop = setup.extLoops[n - 1];
        add(198 + 3 * n, loop.pvTag);
        add(199 + 3 * n, loop.spTag);
        add(200 + 3 * n, loop.outTag);
    }
    return std::move(list).Finish();
}

std::string DioNames(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int p = 1; p <= instrument.DioPointCount(); ++p) {
        const CSimDioPoint& point = instrument.Setup().dio[p - 1];
        list.Add("DY" + Number(p) + "," + SimField(point.name) + "," + SimField(point.comment));
    }
    return std::move(list).Finish();
}

// "1-3.7.101-103": runs of consecutive numbers as ranges.
std::string ChannelList(const std::vector<int>& channels) {
    std::string text;
    for (size_t i = 0; i < channels.size();) {
        size_t j = i;
        while (j + 1 < channels.size() && channels[j + 1] == channels[j] + 1) {
            ++j;
        }
        if (!text.empty()) {
            text += '.';
        }
        text += Number(channels[i]);
        if (j > i) {
            text += '-';
            text += Number(channels[j]);
        }
        i = j + 1;
    }
    return text;
}

std::string DisplayGroups(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int g = 1; g <= instrument.DisplayGroupCount(); ++g) {
        const CSimDisplayGroup& group = instrument.Setup().displayGroups[g - 1];
        if (group.name.empty() && group.channels.empty()) {
            continue;
        }
        list.Add("SX" + Number(g) + "," + SimField(group.name) + "," + ChannelList(group.channels));
    }
    return std::move(list).Finish();
}

std::string InputTypes(const CSimInstrument& instrument) {
    const CSimSetup& setup = instrument.Setup();
    CSimListAnswer list;
    for (int n = 1; n <= SimMeasCount(setup); ++n) {
        const CSimChannel& channel = setup.channels[n - 1];
        std::string line = "SR" + Number(n, "%02d");
        if (channel.configured) {
            line += "," + channel.inputType + "," + SimField(channel.range);
        } else {
            line += ",SKIP";
        }
        list.Add(line);
    }
    return std::move(list).Finish();
}

std::string DioModules(const CSimInstrument& instrument) {
    CSimListAnswer list;
    for (int p = 1; p <= instrument.DioPointCount(); ++p) {
        const CSimDioPoint& point = instrument.Setup().dio[p - 1];
        std::string line = "DX" + Number(p);
        if (point.present) {
            // Input terminal, then output terminal; "-" where the module has none.
            line += ",ON," + std::string(kSimModuleWords[point.module]) + "," +
                    (point.HasInput() ? point.terminal : "-") + "," +
                    (point.HasOutput() ? point.terminal : "-");
        } else {
            line += ",OFF";
        }
        list.Add(line);
    }
    return std::move(list).Finish();
}

}  // namespace

void AddSettingAnswers(CSimCommandTable& table) {
    table.push_back(Query("FG?", SimGate::kAlways, ControlGroupNames));
    table.push_back(Query("HM?", SimGate::kAlways, LoopNames));
    table.push_back(Query("PC?", SimGate::kAlways, LoopKinds));
    table.push_back(Query("GF?", SimGate::kAlways, OutputTypes));
    table.push_back(Query("MY?", SimGate::kMajor3, MyState));
    table.push_back(Query("GG?", SimGate::kAlways, ControlGroupMembers));
    table.push_back(Query("GJ?", SimGate::kAlways, ExternalLoops));
    table.push_back(Query("ST?", SimGate::kAlways, Tags));
    table.push_back(Query("DY?", SimGate::kMajor3, DioNames));
    table.push_back(Query("SX?", SimGate::kAlways, DisplayGroups));
    table.push_back(Query("SR?", SimGate::kAlways, InputTypes));
    table.push_back(Query("DX?", SimGate::kMajor3, DioModules));
}
