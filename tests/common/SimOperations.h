#pragma once

// The console's operation commands as runs against a CSimCmdSession: each sets the command's
// parameters and executes it through the session's command set.

#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "common/SimFixture.h"

using Operation = std::function<RzResult(CSimCmdSession&)>;

// An operation of one command with its parameters set.
template <typename T, typename Set>
inline Operation Op(const char* key, Set set) {
    return [key, set](CSimCmdSession& session) {
        T& command = session.Cmd<T>(key);
        set(command);
        return command.Execute();
    };
}
inline Operation Ca(int loop, int mode) {
    return Op<CCmdCA>("CA", [=](CCmdCA& c) { std::tie(c.loop, c.mode) = std::tie(loop, mode); });
}
inline Operation Rl(int loop, int state) {
    return Op<CCmdRL>("RL", [=](CCmdRL& c) { std::tie(c.loop, c.state) = std::tie(loop, state); });
}
inline Operation Oc(int loop, int state) {
    return Op<CCmdOC>("OC", [=](CCmdOC& c) { std::tie(c.loop, c.state) = std::tie(loop, state); });
}
inline Operation Hj(int loop, double value, int decimals) {
    return Op<CCmdHJ>("HJ", [=](CCmdHJ& c) {
        std::tie(c.loop, c.value, c.decimals) = std::tie(loop, value, decimals);
    });
}
// A set point; number 0 takes the one in use, read first with "FP" (or "DQ" when external).
template <typename T, typename Q>
inline Operation SetPoint(const char* key, const char* query, int loop, int number, double value,
                          int decimals) {
    return [=](CSimCmdSession& s) {
        T& c = s.Cmd<T>(key);
        std::tie(c.loop, c.setPointNumber, c.value, c.decimals) =
            std::tie(loop, number, value, decimals);
        if (number == 0) {
            Q& q = s.Cmd<Q>(query);
            q.loop = loop;
            const RzResult result = q.Query();
            if (result != RZ_OK) {
                return result;
            }
            c.setPointNumber = q.setPointNumber;
        }
        return c.Execute();
    };
}
inline Operation Go(int loop, int number, double value, int decimals) {
    return SetPoint<CCmdGO, CCmdFP>("GO", "FP", loop, number, value, decimals);
}
inline Operation Dt(int loop, int number, double value, int decimals) {
    return SetPoint<CCmdDT, CCmdDQ>("DT", "DQ", loop, number, value, decimals);
}
// "DV" with `item` for `loop`; `value` goes to the mode, remote and run/stop fields alike.
inline Operation Dv(int loop, const char* item, int value, double output = 0.0) {
    return Op<CCmdDV>("DV", [=](CCmdDV& c) {
        c.loop = loop;
        std::strcpy(c.item[loop - 1], item);
        CDvLoopRecord& record = c.records[loop - 1];
        record.mode = record.remote = record.runStop = value;
        record.manualOutput = output;
        record.outputDecimals = 1;
    });
}
inline Operation Dl(int point, int mode) {
    return Op<CCmdDL>("DL", [=](CCmdDL& c) { std::tie(c.point, c.mode) = std::tie(point, mode); });
}
inline Operation Dm(int point, int value) {
    return Op<CCmdDM>("DM",
                      [=](CCmdDM& c) { std::tie(c.point, c.value) = std::tie(point, value); });
}
inline Operation Ps(int start) {
    return Op<CCmdPS>("PS", [=](CCmdPS& c) { c.start = start; });
}
inline Operation Tl(int action) {
    return Op<CCmdTL>("TL", [=](CCmdTL& c) { c.action = action; });
}
inline Operation Ev(int kind) {
    return Op<CCmdEV>("EV", [=](CCmdEV& c) { c.kind = kind; });
}
inline Operation Ms(int message) {
    return Op<CCmdMS>("MS", [=](CCmdMS& c) { c.message = message; });
}
inline Operation Ud(int kind, int display, int group, int option2 = 0, int option3 = 0) {
    return Op<CCmdUD>("UD", [=](CCmdUD& c) {
        std::tie(c.kind, c.display, c.group, c.option2, c.option3) =
            std::tie(kind, display, group, option2, option3);
    });
}
inline Operation Amp4(int pattern) {
    return Op<CCmdAmp4>("_4", [=](CCmdAmp4& c) { c.pattern = pattern; });
}
inline Operation Plain(const char* key) {
    return [key](CSimCmdSession& s) { return s.Set().GetCommand(key)->Execute(); };
}
// "PN" for the pattern, then the program operation: "PX" with `run`, "HU" with `hold`, or "AD".
inline Operation Program(int pattern, const char* key, int value = 0) {
    return [=](CSimCmdSession& s) {
        s.Cmd<CCmdPN>("PN").pattern = pattern;
        const RzResult result = s.Cmd<CCmdPN>("PN").Execute();
        if (result != RZ_OK || std::string(key) == "AD") {
            return result != RZ_OK ? result : Plain(key)(s);
        }
        return std::string(key) == "PX" ? Op<CCmdPX>(key, [=](CCmdPX& c) { c.run = value; })(s)
                                        : Op<CCmdHU>(key, [=](CCmdHU& c) { c.hold = value; })(s);
    };
}
// `first`, then, when it is taken, `second`.
inline Operation Then(Operation first, Operation second) {
    return [=](CSimCmdSession& s) {
        const RzResult result = first(s);
        return result != RZ_OK ? result : second(s);
    };
}
