// Every operation command that a profile's firmware offers, run once or more against rzsim with
// parameters taken from that profile: each is taken, with the console's request and nothing
// shown to the operator.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SimCmdSession.h"

namespace {

const CProfileCase kProfiles[] = {
    {"full", "", nullptr},
    {"rz3100", "", nullptr},
    {"rz3200v2", "", nullptr},
    {"full", "MessageGroups", [](CSimProfile& p) { p.pidAux[4] = 1; }},
};

class OperationSweep : public ::testing::TestWithParam<CProfileCase> {
  protected:
    void SetUp() override {
        profile_ = LoadProfileCase(GetParam());
        ASSERT_TRUE(session_.Start(profile_)) << session_.Error();
        session_.TakeRequests();
    }

    // Runs `command` and expects `result`, with exactly one request sent.
    void Expect(CCommand& command, RzResult result, const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(command.Execute(), result);
        const std::vector<std::string> requests = session_.TakeRequests();
        EXPECT_EQ(requests.size(), 1u);
        const std::vector<std::string> shown = session_.TakeShown();
        EXPECT_EQ(shown.size(), result == RZ_OK ? 0u : 1u);
        ++runs_;
    }
    bool Offered(const char* key) { return session_.Set().GetCommand(key) != nullptr; }

    CSimProfile profile_;
    CSimCmdSession session_;
    int runs_ = 0;
};

TEST_P(OperationSweep, InternalLoops) {
    const CSimLoop* target = nullptr;
    int number = 0;
    for (int n = kSimLoops; n >= 1; --n) {
        const CSimLoop& loop = profile_.setup.loops[n - 1];
        if (loop.configured && loop.kind != kSimKindNone) {
            target = &loop;
            number = n;
        }
    }
    ASSERT_NE(target, nullptr) << "every shipped profile has a control loop";
    auto& ca = session_.Cmd<CCmdCA>("CA");
    auto& rl = session_.Cmd<CCmdRL>("RL");
    auto& oc = session_.Cmd<CCmdOC>("OC");
    ca.loop = rl.loop = oc.loop = number;
    for (const int mode : {1, 0}) {
        ca.mode = mode;
        Expect(ca, RZ_OK, "CA mode " + std::to_string(mode));
    }
    for (const int state : {1, 0}) {
        rl.state = state;
        Expect(rl, RZ_OK, "RL " + std::to_string(state));
        oc.state = state;
        Expect(oc, RZ_OK, "OC " + std::to_string(state));
    }
    auto& hj = session_.Cmd<CCmdHJ>("HJ");
    hj.loop = number;
    hj.decimals = target->outDecimals;
    for (const double value : {target->outLow, target->outHigh}) {
        hj.value = value;
        Expect(hj, RZ_OK, "HJ at a limit");
    }
    auto& fp = session_.Cmd<CCmdFP>("FP");
    fp.loop = number;
    ASSERT_EQ(fp.Query(), RZ_OK);
    session_.TakeRequests();
    auto& go = session_.Cmd<CCmdGO>("GO");
    go.loop = number;
    go.setPointNumber = fp.setPointNumber;
    go.decimals = target->spDecimals;
    for (const double value : {target->spLow, target->spHigh}) {
        go.value = value;
        Expect(go, RZ_OK, "GO at a limit");
    }
    EXPECT_EQ(runs_, 10);
}

TEST_P(OperationSweep, ExternalLoops) {
    if (!Offered("DV")) {
        EXPECT_FALSE(Offered("DT"));
        return;
    }
    int number = 0;
    for (int n = kSimExtLoops; n >= 1; --n) {
        const CSimExtLoop& loop = profile_.setup.extLoops[n - 1];
        number = loop.configured && loop.Operable() ? n : number;
    }
    ASSERT_NE(number, 0) << "every shipped profile with DV has an operable external loop";
    const CSimExtLoop& target = profile_.setup.extLoops[number - 1];
    auto& dv = session_.Cmd<CCmdDV>("DV");
    CDvLoopRecord& record = dv.records[number - 1];
    dv.loop = number;
    record.mode = 1;
    record.remote = 1;
    record.runStop = 1;
    record.manualOutput = target.outHigh[target.spNumber - 1];
    record.outputDecimals = target.outDecimals;
    for (const char* item : {"MODE", "RL", "SR", "MOUT"}) {
        std::strcpy(dv.item[number - 1], item);
        Expect(dv, RZ_OK, std::string("DV ") + item);
    }
    auto& dq = session_.Cmd<CCmdDQ>("DQ");
    dq.loop = number;
    ASSERT_EQ(dq.Query(), RZ_OK);
    session_.TakeRequests();
    auto& dt = session_.Cmd<CCmdDT>("DT");
    dt.loop = number;
    dt.setPointNumber = dq.setPointNumber;
    dt.decimals = target.spDecimals;
    for (const double value : {target.spLow, target.spHigh}) {
        dt.value = value;
        Expect(dt, RZ_OK, "DT at a limit");
    }
    EXPECT_EQ(runs_, 6);
}

TEST_P(OperationSweep, DioOutputs) {
    if (!Offered("DM")) {
        EXPECT_FALSE(Offered("DL"));
        return;
    }
    auto& dl = session_.Cmd<CCmdDL>("DL");
    auto& dm = session_.Cmd<CCmdDM>("DM");
    const int points = profile_.model == 3100 ? 12 : 36;
    for (int p = 1; p <= points; ++p) {
        const CSimDioPoint& point = profile_.setup.dio[p - 1];
        if (!point.present || !point.HasOutput()) {
            continue;
        }
        dl.point = dm.point = p;
        dl.mode = 1;
        Expect(dl, RZ_OK, "DL point " + std::to_string(p));
        dm.value = 1 - point.output;
        Expect(dm, RZ_OK, "DM point " + std::to_string(p));
    }
    EXPECT_GE(runs_, 2);
}

TEST_P(OperationSweep, ProgramOperations) {
    const bool program = profile_.programOption != SimProgramOption::kNone;
    int reset = 0;  // a stored pattern that is not running
    for (int n = SimPatternCapacity(profile_.programOption); n >= 1; --n) {
        const CSimPattern& pattern = profile_.setup.patterns[n - 1];
        reset = pattern.exists && !pattern.running ? n : reset;
    }
    ASSERT_EQ(reset != 0, program);
    const RzResult expected = program ? RZ_OK : REPLY_ERROR;
    auto& pn = session_.Cmd<CCmdPN>("PN");
    auto& px = session_.Cmd<CCmdPX>("PX");
    auto& hu = session_.Cmd<CCmdHU>("HU");
    pn.pattern = program ? reset : 1;
    Expect(pn, expected, "PN");
    px.run = 1;
    Expect(px, expected, "PX 1");
    hu.hold = 1;
    Expect(hu, expected, "HU 1");
    hu.hold = 0;
    Expect(hu, expected, "HU 0");
    Expect(*session_.Set().GetCommand("AD"), expected, "AD");
    px.run = 0;
    Expect(px, expected, "PX 0");
    if (Offered("_4")) {
        auto& amp4 = session_.Cmd<CCmdAmp4>("_4");
        amp4.pattern = reset;
        Expect(amp4, RZ_OK, "&4");
    }
}

TEST_P(OperationSweep, FunctionsAndDisplays) {
    auto& ps = session_.Cmd<CCmdPS>("PS");
    for (const int start : {1, 0}) {
        ps.start = start;
        Expect(ps, RZ_OK, "PS");
    }
    auto& tl = session_.Cmd<CCmdTL>("TL");
    for (const int action : {1, 2, 3}) {
        tl.action = action;
        Expect(tl, RZ_OK, "TL " + std::to_string(action));
    }
    Expect(*session_.Set().GetCommand("AK"), RZ_OK, "AK");
    auto& ev = session_.Cmd<CCmdEV>("EV");
    for (const int kind : {0, 1, 3, 4}) {
        ev.kind = kind;
        Expect(ev, RZ_OK, "EV " + std::to_string(kind));
    }
    auto& ms = session_.Cmd<CCmdMS>("MS");
    for (int message = 1; message <= 8; ++message) {
        ms.message = message;
        Expect(ms, RZ_OK, "MS " + std::to_string(message));
    }
    EXPECT_EQ(session_.Cmd<CCmdIF>("IF").Execute(), RZ_OK);
    session_.TakeRequests();

    // Every display the console can select, with the highest group the model has.
    const bool small = profile_.model == 3100;
    const bool program = profile_.programOption != SimProgramOption::kNone;
    auto& ud = session_.Cmd<CCmdUD>("UD");
    ud.kind = 1;
    for (int code = 0; code <= 15; ++code) {
        if (code == 6) {
            continue;
        }
        ud.display = code;
        ud.group = code <= 2 ? (small ? 6 : 10) : (code >= 7 && code <= 9 ? (small ? 4 : 8) : 1);
        Expect(ud, code == 11 && !program ? REPLY_ERROR : RZ_OK,
               "UD display " + std::to_string(code));
    }
    ud.kind = 4;
    for (int options = 0; options < 16; ++options) {
        ud.display = options & 1;
        ud.group = options & 2;
        ud.option2 = options & 4;
        ud.option3 = options & 8;
        Expect(ud, RZ_OK, "UD options " + std::to_string(options));
    }
}

std::string ProfileCaseName(const ::testing::TestParamInfo<CProfileCase>& info) {
    return std::string(info.param.name) + info.param.variant;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, OperationSweep, ::testing::ValuesIn(kProfiles),
                         ProfileCaseName);
