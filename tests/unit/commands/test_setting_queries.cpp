#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "QueryRunner.h"
#include "commands/SettingQueries.h"
#include "common/FakeLink.h"

// Entries are numbered as the answers number them, from 1.
template <>
std::string Entry(const CCmdHM& c, int loop) {
    return Row(c.loopName[loop - 1], c.loopText[loop - 1]);
}
template <>
std::string Entry(const CCmdDY& c, int point) {
    return Row(c.pointText1[point - 1], c.pointText2[point - 1]);
}
template <>
std::string Entry(const CCmdGF& c, int loop) {
    return Row(c.outputType[loop - 1]);
}
// 10 * group + position.
template <>
std::string Entry(const CCmdGG& c, int at) {
    return Row(c.memberKind[at / 10 - 1][at % 10 - 1], c.memberNumber[at / 10 - 1][at % 10 - 1]);
}
// Entry 0 is the shared number.
template <>
std::string Entry(const CCmdGJ& c, int loop) {
    if (loop == 0) {
        return Row(c.sharedNumber);
    }
    const int j = loop - 1;
    return Row(c.used[j], c.model[j], c.name[j], c.tag[j]);
}
// By channel number; entry 0 is the last number read.
template <>
std::string Entry(const CCmdST& c, int number) {
    if (number == 0) {
        return Row(c.lastNumber);
    }
    return number <= 60    ? c.channelTag[number - 1]
           : number <= 118 ? c.loopTag[number - 101]
                           : c.extLoopTag[number - 201];
}
// 10 * loop + PID number, low and high; PID number 0 is the last one reported.
template <>
std::string Entry(const CCmdHO& c, int at) {
    const int j = at / 10 - 1;
    const int k = at % 10;
    return k == 0 ? Row(c.lastPid[j]) : Row(c.outputLow[j][k - 1], c.outputHigh[j][k - 1]);
}
template <>
std::string Entry(const CCmdGV& c, int loop) {
    return Row(c.pvDecimals[loop - 1], c.spDecimals[loop - 1], c.outDecimals[loop - 1]);
}
template <>
std::string Entry(const CCmdMT& c, int loop) {
    const int j = loop - 1;
    return Row(c.retrans[j], c.spanLow[j], c.spanHigh[j], c.spanDecimals[j]);
}
// The name, then the channels up to the first 0.
template <>
std::string Entry(const CCmdSX& c, int group) {
    std::string row = c.groupName[group - 1];
    for (int i = 0; i < kQueryGroupChannels && c.groupChannels[group - 1][i] != 0; ++i) {
        row += "|" + std::to_string(c.groupChannels[group - 1][i]);
    }
    return row;
}
template <>
std::string Entry(const CCmdSR& c, int channel) {
    return Row(c.inputType[channel - 1]);
}
template <>
std::string Entry(const CCmdDX& c, int point) {
    const int p = point - 1;
    return Row(c.present[p], c.module[p], c.text[p], c.value[p]);
}

// Entry 0 of the queries with one record.
template <>
std::string Entry(const CCmdFP& c, int) {
    return Row(c.setPointNumber, c.pidNumber);
}
template <>
std::string Entry(const CCmdPC& c, int) {
    const int32_t* k = c.loopKind;
    return Row(k[0], k[1], k[2], k[3], k[4], k[5]);
}
template <>
std::string Entry(const CCmdMY& c, int) {
    return Row(c.enabled);
}
template <>
std::string Entry(const CCmdFM& c, int) {
    return Row(c.bit7, c.state0, c.state1, c.state2, c.state4);
}
template <>
std::string Entry(const CCmdDR& c, int at) {
    return Entry<CCmdFM>(c, at);
}
template <>
std::string Entry(const CCmdIS& c, int) {
    return Row(c.statusA, c.statusB);
}
template <>
std::string Entry(const CCmdFU& c, int) {
    return Row(c.code, c.level, c.userName);
}

namespace {

template <typename Command>
std::function<void(FakeLink&)> QueryOf(std::function<void(Command&)> setup = {}) {
    return [setup](FakeLink& link) {
        Command command;
        if (setup) {
            setup(command);
        }
        command.Bind(&link, nullptr);
        command.Query();
    };
}

// The fixed requests are checked with each query's answers ("?=" rows); these take parameters.
TEST(SettingQueries, RequestsWithParametersAndModes) {
    const struct {
        std::function<void(FakeLink&)> run;
        std::string request;
        int32_t mode;
    } cases[] = {
        {QueryOf<CCmdFG>(), "FG?", RECV_LIST},
        {QueryOf<CCmdFM>([](CCmdFM& c) { c.loop = 2; }), "FM 2", RECV_LIST},
        {QueryOf<CCmdDR>([](CCmdDR& c) { c.loop = 16; }), "DR 16", RECV_LIST},
        {QueryOf<CCmdFP>([](CCmdFP& c) { c.loop = 3; }), "FP3", RECV_LIST},
        {QueryOf<CCmdDQ>([](CCmdDQ& c) { c.loop = 12; }), "DQ12", RECV_LIST},
        {[](FakeLink& link) {
             CCmdIF command;
             command.Bind(&link, nullptr);
             command.Execute();
         },
         "IF 255.255.255.255", RECV_LINE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        FakeLink link;
        link.QueueAnswer(List({}));
        c.run(link);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, c.request);
        EXPECT_EQ(link.requests()[0].mode, c.mode);
    }
}

TEST(SettingQueries, SetPointAndPidNumbers) {
    const auto fp = Runner<CCmdFP>([](CCmdFP& c) { c.setPointNumber = c.pidNumber = 77; });
    fp("one entry", List({"DASP2,PID3"}), RZ_OK, {"0=2|3"});
    fp("fields spread over lines", List({"DASP1", "DAPID8", "DAextra"}), RZ_OK, {"0=1|8"});
    fp("prefixes shorter than skipped", List({"DAS,P"}), RZ_OK, {"0=0|0"});
    fp("one field", List({"DASP2"}), LINK_E_FIELDS, {"0=0|0"});
    fp("error answer", "E1\r\n", REPLY_UNEXPECTED, {"0=0|0"}, "E1");
}

TEST(SettingQueries, ControlGroupNamesPersistAcrossRuns) {
    FakeLink link;
    CCmdFG command;
    command.Bind(&link, nullptr);
    link.QueueAnswer(List({"DA1,Boiler,8,Tank farm"}));
    ASSERT_EQ(command.Query(), RZ_OK);
    link.QueueAnswer(List({"DA1,Line 1,9,Nowhere,0,Nothing"}));
    ASSERT_EQ(command.Query(), RZ_OK);
    EXPECT_STREQ(command.groupName[0], "Line 1");
    EXPECT_STREQ(command.groupName[7], "Tank farm");  // not in the second answer
    EXPECT_STREQ(command.groupName[1], "");
    link.QueueAnswer(List({"DA2,Abcdefghijklmnopqrstu,3"}));
    EXPECT_EQ(command.Query(), LINK_E_FIELDS);
    EXPECT_STREQ(command.groupName[1], "Abcdefghijklmnop");  // cut to 16 characters
}

TEST(SettingQueries, LoopNamesAndPointTexts) {
    const auto hm =
        Runner<CCmdHM>([](CCmdHM& c) { CopyText(c.loopName[3], kQueryTextSize, "stale"); });
    hm("loops outside 1 to 6 are ignored", List({"DA0,Zero,Z,7,Seven,S,2,Two,T,6,Six,X"}), RZ_OK,
       {"1=|", "2=Two|T", "6=Six|X"});
    hm("incomplete entry", List({"DA1,Boiler,Main,2,Cooler"}), LINK_E_FIELDS, {"1=Boiler|Main"});
    hm("cleared before the run", "E2\r\n", REPLY_UNEXPECTED, {"?=HM?|3", "4=|"}, "E2");
    const auto dy =
        Runner<CCmdDY>([](CCmdDY& c) { CopyText(c.pointText2[10], kQueryTextSize, "stale"); });
    dy("first and last point", List({"DA1,Pump,P1", "DA36,Valve,V36", "DA37,Over,O"}), RZ_OK,
       {"1=Pump|P1", "36=Valve|V36"});
    dy("stale texts cleared", List({}), RZ_OK, {"?=DY?|3", "11=|"});
}

TEST(SettingQueries, LoopKindsOutputTypesAndProgramOption) {
    const auto pc = Runner<CCmdPC>([](CCmdPC& c) { c.loopKind[5] = 3; });
    pc("every kind", List({"DA1,Single,2,Cascade,3,PVSwitching", "DA4,Retrans,5,Other,6,Single"}),
       RZ_OK, {"0=1|2|3|4|0|1"});
    pc("lower case is no kind; loop 7 is ignored", List({"DA1,single,2,RETRANS,7,Single"}), RZ_OK,
       {"?=PC?|3", "0=0|0|0|0|0|0"});
    const auto gf = Runner<CCmdGF>([](CCmdGF& c) { c.outputType[5] = 2; });
    gf("types in any case",
       List({"DA1,RELAY,a,b,2,voltage-pulse,a,b", "DA3,Current-Output,a,b,4,ON/OFF-CONTROL,a,b",
             "DA5,SSR,a,b"}),
       RZ_OK, {"1=1", "2=2", "3=3", "4=4", "5=0", "6=0"});
    gf("entries are four fields", List({"DA1,RELAY,a,b,2,RELAY"}), LINK_E_FIELDS,
       {"?=GF?|3", "1=1", "2=0"});
    const auto my = Runner<CCmdMY>([](CCmdMY& c) { c.enabled = 1; });
    my("ON", List({"DAON"}), RZ_OK, {"0=1"});
    my("on", List({"DAon"}), RZ_OK, {"0=1"});
    my("OFF", List({"DAOFF"}), RZ_OK, {"0=0"});
    my("ONE", List({"DAONE"}), RZ_OK, {"0=0"});
    my("no field", List({}), LINK_E_FIELDS, {"?=MY?|3", "0=0"});
}

// Entries are 10 * group + position.
TEST(SettingQueries, ControlGroupMembers) {
    const auto gg =
        Runner<CCmdGG>([](CCmdGG& c) { c.memberKind[3][3] = c.memberNumber[3][3] = 4; });
    gg("an OFF entry takes three fields",
       List({"DA1,1,ON,Meas-CH,5,1,2,OFF,2,3,ON,Int-Loop,2", "DA8,6,on,DIO,36"}), RZ_OK,
       {"11=1|5", "12=0|0", "23=3|2", "86=5|36"});
    gg("every kind",
       List({"DA1,1,ON,Meas-CH,1,1,2,ON,Math-CH,31,1,3,ON,Int-Loop,6",
             "DA1,4,ON,Ext-Loop,16,1,5,ON,DIO,1,1,6,ON,meas-ch,7"}),
       RZ_OK, {"11=1|1", "12=2|31", "13=3|6", "14=4|16", "15=5|1", "16=0|7"});
    gg("positions outside the table are consumed and ignored",
       List({"DA9,1,ON,DIO,4,1,7,ON,DIO,4,0,1,ON,DIO,4,2,6,ON,DIO,9"}), RZ_OK,
       {"26=5|9", "11=0|0"});
    gg("ON entry short of its kind and number", List({"DA1,1,ON,DIO,4,1,2,ON,DIO"}), LINK_E_FIELDS,
       {"11=5|4"});
    gg("entry short of its state", List({"DA1,1"}), LINK_E_FIELDS, {"?=GG?|3"});
    gg("cleared before the run", List({}), RZ_OK, {"44=0|0"});
}

// Entries are used, controller model, name and tag; entry 0 is the shared number.
TEST(SettingQueries, ExternalLoops) {
    const auto gj = Runner<CCmdGJ>([](CCmdGJ& c) {
        c.used[5] = c.model[5] = c.sharedNumber = 3;
        CopyText(c.name[5], sizeof(c.name[5]), "stale");
    });
    gj("in use and not in use",
       List({"DAEXT01,ON,7,MODEL-03,x,Boiler feed,TIC-101", "DAEXT02,OFF"}), RZ_OK,
       {"1=1|3|Boiler feed|TIC-101", "2=0|0|EXT-02|", "0=7"});
    gj("On is in use, on is not; unknown models",
       List({"DAEXT16,On,3,model-14,x,N16,T16", "DAEXT15,on", "DAEXT14,ON,9,other,x,a,b",
             "DAEXT01,ON,1,MODEL-15,x,a,b"}),
       RZ_OK, {"16=1|14|N16|T16", "15=0|0|EXT-15|", "14=1|15|a|b", "1=1|0|a|b", "0=1"});
    gj("loops outside 1 to 16 are consumed and ignored",
       List({"DAEXT17,ON,5,MODEL-01,x,Far,F", "DAEXT00,OFF", "DAEXT03,ON,6,OTHER,x,Near,N"}), RZ_OK,
       {"3=1|15|Near|N", "16=0|0||", "0=6"});
    gj("long names are cut", List({"DAEXT04,ON,1,OTHER,x,ABCDEFGHIJKLMNOPQRS,0123456789abcdefXY"}),
       RZ_OK, {"4=1|15|ABCDEFGHIJKLMNOP|0123456789abcdef"});
    gj("entry in use short of fields", List({"DAEXT01,ON,7,MODEL-03,x,Boiler"}), LINK_E_FIELDS,
       {"1=0|0||"});
    gj("cleared before the run", "E1\r\n", REPLY_UNEXPECTED, {"?=GJ?|3", "6=0|0||", "0=0"}, "E1");
}

// Entries by channel number; entry 0 is the last number read.
TEST(SettingQueries, TagsByChannelNumber) {
    const auto st = Runner<CCmdST>([](CCmdST& c) {
        CopyText(c.loopTag[4], sizeof(c.loopTag[4]), "stale");
        c.lastNumber = 5;
    });
    st("the ends of every range",
       List({"DA1,T1,31,T31,60,T60", "DA101,L101,118,L118,201,X201,248,X248"}), RZ_OK,
       {"1=T1", "31=T31", "60=T60", "101=L101", "118=L118", "201=X201", "248=X248", "0=248"});
    st("numbers between and beyond the ranges are ignored",
       List({"DA45,T45,0,Zero,61,Over,100,H,119,L,200,E,249,X,150,Mid"}), RZ_OK,
       {"45=T45", "60=", "101=", "118=", "201=", "248=", "0=150"});
    st("huge numbers saturate instead of wrapping into a range",
       List({"DA4294967297,Wrap,-4294967295,Neg"}), RZ_OK, {"1=", "0=-2147483648"});
    st("odd field count", List({"DA7,0123456789ABCDEFGHIJ,8"}), LINK_E_FIELDS,
       {"7=0123456789ABCDEF", "0=7"});
    st("cleared before the run", List({}), RZ_OK, {"?=ST?|3", "105=", "0=0"});
}

// Entries are 10 * loop + PID number: low and high; PID number 0 is the last one reported.
TEST(SettingQueries, OutputLimits) {
    const auto ho = Runner<CCmdHO>();
    ho("limits per PID number; loop 2 keeps its defaults",
       List({"DA1,1,0,1000", "DA1,2,-50,500", "DA6,8,10,20"}), RZ_OK,
       {"10=2", "11=0|1000", "12=-50|500", "60=8", "68=10|20", "20=0", "21=0|100", "28=0|100"});
    ho("loops and PID numbers outside the tables are ignored",
       List({"DA0,1,1,1", "DA7,1,1,1", "DA2,0,1,1", "DA2,9,1,1", "DA-1,1,1,1"}), RZ_OK,
       {"20=0", "68=0|100", "11=0|100"});
    ho("the list may end with END:", "EA\r\nDA3,4,5,6\r\nEND:\r\n", RZ_OK, {"34=5|6"});
    ho("error number above 0 is not shown", "E3\r\n", REPLY_UNEXPECTED, {"?=HO?|3"});
    ho("more fields than rows", List({"DA1,1,0,900,1,2,3,4,5"}), LINK_E_FORMAT, {});
}

// Entries are the places of PV, SP and OUT.
TEST(SettingQueries, ExternalLoopDecimals) {
    const auto gv = Runner<CCmdGV>([](CCmdGV& c) { c.pvDecimals[3] = 4; });
    gv("items in any case", List({"DA1,PV,2", "DA1,sp,3", "DA16,Out,0", "DA17,PV,4"}), RZ_OK,
       {"1=2|3|1", "16=1|1|0"});
    gv("unknown item", List({"DA1,PV,2", "DA2,MV,1"}), LINK_E_FORMAT, {"1=2|1|1"});
    gv("unknown item on an ignored loop", List({"DA40,MV,1"}), LINK_E_FORMAT, {"?=GV?|3"});
    gv("error number above 0", "E1\r\n", REPLY_UNEXPECTED, {"4=1|1|1"});
}

// Entries are the retransmission flag, low, high and places.
TEST(SettingQueries, RetransmissionSpans) {
    const auto mt = Runner<CCmdMT>([](CCmdMT& c) { c.retrans[4] = c.spanDecimals[4] = 1; });
    mt("only RETRANS lines count",
       List({"DA1,RETRANS,ON,x,0,1000,1", "DA2,retrans,off,x,5,6,7", "DA3,OTHER,ON,x,1,2,3",
             "DA6,Retrans,on,x,-100,100,2", "DA7,RETRANS,ON,x,1,2,3"}),
       RZ_OK, {"1=1|0|1000|1", "2=0|0|0|0", "3=0|0|0|0", "6=1|-100|100|2"});
    mt("eleven fields", List({"DA1,RETRANS,ON,x,0,1,2,3,4,5,6"}), LINK_E_FORMAT, {"?=MT?|3"});
    mt("cleared before the run", "E4\r\n", REPLY_UNEXPECTED, {"5=0|0|0|0"});
}

// Entries are the name, then the channels up to the first 0.
TEST(SettingQueries, DisplayGroups) {
    const auto sx = Runner<CCmdSX>([](CCmdSX& c) {
        CopyText(c.groupName[7], sizeof(c.groupName[7]), "stale");
        c.groupChannels[7][0] = 9;
    });
    sx("ranges and single numbers",
       List({"DA1,GROUP 1,1-3.7", "DA2,Tank,31.32.101", "DA10,Last,248"}), RZ_OK,
       {"1=GROUP 1|1|2|3|7", "2=Tank|31|32|101", "10=Last|248"});
    sx("a wide range stops at ten channels", List({"DA3,All,1-2000000000", "DA4,Next,5"}), RZ_OK,
       {"3=All|1|2|3|4|5|6|7|8|9|10", "4=Next|5"});
    sx("more than ten items are cut", List({"DA4,Many,1.2.3.4.5.6.7.8.9.10.11.12"}), RZ_OK,
       {"4=Many|1|2|3|4|5|6|7|8|9|10", "5="});
    sx("descending range and empty items store nothing", List({"DA5,Odd,5-3..9."}), RZ_OK,
       {"5=Odd|9"});
    sx("groups outside 1 to 10 are ignored; long names are cut",
       List({"DA0,Zero,1", "DA11,Eleven,2", "DA6,Abcdefghijklmnopqrstuvwxyz,1"}), RZ_OK,
       {"1=", "10=", "6=Abcdefghijklmnop|1"});
    sx("four fields", List({"DA1,Name,1,2"}), LINK_E_FORMAT, {"?=SX?|3"});
    sx("cleared before the run", "E2\r\n", REPLY_UNEXPECTED, {"8="});
}

TEST(SettingQueries, InputTypes) {
    const auto sr = Runner<CCmdSR>([](CCmdSR& c) { c.inputType[12] = 2; });
    sr("every type in any case",
       List({"DA01,VOLT,2V", "DA02,tc,K", "DA03,Rtd,PT", "DA04,DI,LEVEL", "DA05,DELTA,x",
             "DA06,SCALE,x", "DA07,sqrt,x", "DA30,LOG", "DA31,VOLT", "DA00,TC"}),
       RZ_OK, {"1=0", "2=1", "3=2", "4=3", "5=4", "6=5", "7=6", "8=8", "30=7"});
    sr("unknown types leave the default",
       List({"DA01,XYZ,1", "DA02,SQRTSQRT,1", "DA03", "DA04,,VOLT"}), RZ_OK,
       {"1=8", "2=8", "3=8", "4=8"});
    sr("error answer, not shown", "E1\r\n", REPLY_UNEXPECTED, {"13=8"});
    sr("EB counts as an error", "EB\r\n", REPLY_UNEXPECTED, {"?=SR?|3"});
}

// Entries are present, module kind, text and value.
TEST(SettingQueries, DioPointKinds) {
    const auto dx = Runner<CCmdDX>([](CCmdDX& c) {
        c.present[8] = c.module[8] = c.value[8] = 2;
        CopyText(c.text[8], sizeof(c.text[8]), "stale");
    });
    // DI-1 reads the fourth field, other kinds the fifth; the line end is not text.
    dx("which field holds the text",
       List({"DA1,ON,DI-1,DI001,DO999,x,y", "DA2,ON,DO-2P,x,RO005", "DA3,on,dio-12p,x,DIO12"}),
       RZ_OK, {"1=1|0|DI001|1", "2=1|5|RO005|5", "3=1|6|DIO12|0"});
    dx("every module kind",
       List({"DA1,ON,DO-1,x,a", "DA2,ON,DO-2,x,a", "DA3,ON,DIO-11,x,a", "DA4,ON,DIO-12,x,a",
             "DA5,ON,RELAY,x,a"}),
       RZ_OK, {"1=1|1|a|0", "2=1|2|a|0", "3=1|3|a|0", "4=1|4|a|0", "5=1|7|a|0"});
    dx("a point that is not ON changes nothing else; point 37 is ignored",
       List({"DA36,OFF,DO-1,x,RO036", "DA37,ON,DI-1,x,y"}), RZ_OK, {"36=0|7||0"});
    dx("texts are cut to seven characters", List({"DA5,ON,DO-1,x,RO12345678"}), RZ_OK,
       {"5=1|1|RO12345|12345678"});
    dx("eight fields", List({"DA1,ON,DI-1,a,b,c,d,e"}), LINK_E_FORMAT, {"?=DX?|3"});
    dx("error answer is shown", "E1 Not ready\r\n", REPLY_UNEXPECTED, {"9=0|7||0"}, "E1 Not ready");
}

// "FM" and "DR" read the same dotted record; only "FM" keeps bit 7.
TEST(SettingQueries, LoopModeRecords) {
    const auto fm = Runner<CCmdFM>([](CCmdFM& c) { c.state2 = c.bit7 = 1; });
    const auto dr = Runner<CCmdDR>([](CCmdDR& c) { c.state2 = 1; });
    const auto both = [&](const char* name, const std::string& answer, RzResult expected,
                          const std::string& fmState, const std::string& drState) {
        fm(name, answer, expected, {"0=" + fmState});
        dr(name, answer, expected, {"0=" + drState});
    };
    both("MAN, run, bit 7", List({"128.000.000.005"}), RZ_OK, "1|1|0|1|0", "0|1|0|1|0");
    both("CAS wins over MAN", List({"000.000.000.012"}), RZ_OK, "0|0|0|2|0", "0|0|0|2|0");
    both("AUT, remote", List({"000.000.000.002"}), RZ_OK, "0|0|1|0|0", "0|0|1|0|0");
    both("bit 4", List({"127.000.000.019"}), RZ_OK, "0|1|1|0|1", "0|1|1|0|1");
    both("blank lines between", "EA\r\n\r\n255.000.000.008\r\n\r\nEN\r\n", RZ_OK, "1|0|0|2|0",
         "0|0|0|2|0");
    const std::string defaults = "0|2|2|3|0";
    both("14 characters", List({"00.000.000.005"}), LINK_E_FORMAT, defaults, defaults);
    both("16 characters", List({"0000.000.000.005"}), LINK_E_FORMAT, defaults, defaults);
    both("three numbers", List({"0000.00000.0005"}), LINK_E_FORMAT, defaults, defaults);
    both("no record", "EA\r\n", LINK_E_FORMAT, defaults, defaults);
    both("not a list resets", "E1\r\n", RZ_OK, defaults, defaults);
}

TEST(SettingQueries, RunStatusRecord) {
    const auto is = Runner<CCmdIS>([](CCmdIS& c) { c.statusA = c.statusB = 1; });
    is("memory and math running", List({"006.000.000.000"}), RZ_OK, {"0=1|1"});
    is("memory only", List({"002.000.000.000"}), RZ_OK, {"0=1|0"});
    is("math only", List({"252.000.000.000"}), RZ_OK, {"0=0|1"});
    is("wrong record length", List({"06.000.000.000"}), LINK_E_FORMAT, {"?=IS 0|3", "0=0|0"});
    // A status line in place of the record is the whole answer: nothing more is read.
    is("status line E0", "E0\r\n", RZ_OK, {"0=0|0"});
    is("error status line is shown", "E3 Busy\r\n", REPLY_ERROR, {"0=0|0"}, "E3 Busy");
}

TEST(SettingQueries, LoggedInUser) {
    const auto fu = Runner<CCmdFU>([](CCmdFU& c) {
        CopyText(c.level, sizeof(c.level), "A");
        CopyText(c.userName, sizeof(c.userName), "stale");
    });
    fu("administrator", List({"E0 A admin"}), RZ_OK, {"0=E|A|admin"});
    fu("the last line counts", List({"E0 A admin", "X1  U   operator"}), RZ_OK, {"0=X|U|operator"});
    fu("two fields", List({"E0 U"}), RZ_OK, {"0=E|U|"});
    fu("long names are cut", List({"E0 U abcdefghijklmnopqrstuvwxyz"}), RZ_OK,
       {"0=E|U|abcdefghijklmnop"});
    // The largest answer the query takes is 256 bytes.
    fu("256 bytes", "EA\r\nE0 A admin" + std::string(236, ' ') + "\r\nEN\r\n", RZ_OK,
       {"0=E|A|admin"});
    fu("257 bytes", "EA\r\nE0 A admin" + std::string(237, ' ') + "\r\nEN\r\n", LINK_E_BUFFER_SMALL,
       {"0=||"});
    fu("four fields", List({"E0 A admin extra"}), LINK_E_FORMAT, {"?=FU 0|3", "0=||"});
    fu("no end marker", "EA\r\nE0 A admin\r\n", LINK_E_FORMAT, {"0=||"});
    fu("error number above 0, not shown", "E2\r\n", REPLY_UNEXPECTED, {"0=||"});
}

}  // namespace
