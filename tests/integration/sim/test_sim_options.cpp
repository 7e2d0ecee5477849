// rzsim's command line: every option sets its field, bad values are refused with a reason,
// and the help names every option it takes.
#include <gtest/gtest.h>

#include <QProcess>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "SimOptions.h"
#include "common/TableText.h"
#include "platform/CommandLine.h"

namespace {

// The words of a blank-separated command line; '' stands for an empty argument.
std::vector<std::string> Arguments(const std::string& line) {
    std::vector<std::string> words = Split(line, ' ');
    for (auto& word : words) {
        word = word == "''" ? "" : word;
    }
    return words;
}

}  // namespace

TEST(SimOptions, EveryOptionSetsItsField) {
    using O = const CSimOptions&;
    struct Case {
        const char* args;  // blank-separated; '' is an empty argument
        std::function<bool(O)> check;
    };
    const Case cases[] = {
        {"",
         [](O o) {
             return o.host == "127.0.0.1" && o.port == 34260 && o.profile == "full" && !o.help &&
                    o.plant.live && o.plant.seed == 1 && o.plant.stepMs == 0;
         }},
        {"--port=65535", [](O o) { return o.port == 65535; }},
        {"--host 127.0.0.2", [](O o) { return o.host == "127.0.0.2"; }},
        {"--profile rz3100", [](O o) { return o.profile == "rz3100"; }},
        {"--delay 250", [](O o) { return o.faults.answerDelayMs == 250; }},
        {"--segment-bytes 3 --segment-pause 20",
         [](O o) { return o.faults.segmentBytes == 3 && o.faults.segmentPauseMs == 20; }},
        {"--close-on 4", [](O o) { return o.faults.closeOnRequest == 4; }},
        {"--stall-from 2", [](O o) { return o.faults.stallFromRequest == 2; }},
        {"--close-mid-answer 5", [](O o) { return o.faults.closeMidAnswerOn == 5; }},
        {"--oversize-on 6", [](O o) { return o.faults.oversizeAnswerOn == 6; }},
        {"--error-for _C --error-for=FC",
         [](O o) {
             return o.faults.errorForKeys == std::set<std::string>{"_C", "FC"};
         }},
        {"--greeting=", [](O o) { return o.faults.greeting == "\r\n"; }},
        {"--refuse-login", [](O o) { return o.faults.refuseLogin; }},
        {"-h", [](O o) { return o.help; }},
        {"--version", [](O o) { return o.version && !o.help; }},
        {"--max-clients 3 --login-timeout=250",
         [](O o) { return o.limits.maxClients == 3 && o.limits.logInTimeoutMs == 250; }},
        {"--stall-mid-answer 7", [](O o) { return o.faults.stallMidAnswerOn == 7; }},
        {"--garble-list 2 --garble-kind line-end",
         [](O o) {
             return o.faults.garbleListOn == 2 && o.faults.garbleKind == SimGarble::kCutLineEnd;
         }},
        {"--merge-blocks", [](O o) { return o.faults.mergeBinaryBlocks; }},
        {"--split-blocks 25", [](O o) { return o.faults.splitBlockPauseMs == 25; }},
        {"--bad-image", [](O o) { return o.faults.badImage; }},
        {"--fault-every 4 --seed 99 --fault-delay 200",
         [](O o) {
             return o.faults.randomFaultEvery == 4 && o.faults.randomSeed == 99 &&
                    o.faults.randomDelayMs == 200 && o.plant.seed == 99;
         }},
        {"--step-ms=250", [](O o) { return o.plant.live && o.plant.stepMs == 250; }},
        {"--still --seed 3", [](O o) { return !o.plant.live && o.plant.seed == 3; }},
        // Fault options after --faults-for go to that instrument, over the plant's.
        {"--instruments 4 --profile rz3100 --profile full --stopped 127.0.0.4 --delay 5 "
         "--faults-for 127.0.0.3 --refuse-login --faults-for=127.0.0.2 --stall-from 2",
         [](O o) {
             const CSimFaults& second = o.faultsFor.at("127.0.0.2");
             const CSimFaults& third = o.faultsFor.at("127.0.0.3");
             return o.instruments == 4 && o.faultsFor.size() == 2 &&
                    o.profiles == std::vector<std::string>{"rz3100", "full"} &&
                    o.stopped == std::set<std::string>{"127.0.0.4"} && !o.faults.refuseLogin &&
                    o.faults.answerDelayMs == 5 && third.refuseLogin && third.answerDelayMs == 5 &&
                    second.stallFromRequest == 2 && !second.refuseLogin &&
                    second.answerDelayMs == 5 && o.faults.stallFromRequest == 0;
         }},
    };
    const std::string help = SimHelpText();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::vector<std::string> args = Arguments(c.args);
        CSimOptions options;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(args, &options, &error)) << error;
        EXPECT_TRUE(c.check(options));
        for (const std::string& arg : args) {
            if (arg.starts_with("--")) {
                EXPECT_NE(help.find(arg.substr(0, arg.find('='))), std::string::npos) << arg;
            }
        }
    }
    // Every option the help names is taken (or asks for its value).
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        const std::string option =
            help.substr(at, help.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2) - at);
        CSimOptions options;
        std::string error;
        EXPECT_TRUE(ParseSimOptions({option}, &options, &error) ||
                    error.find("needs a value") != std::string::npos)
            << option << ": " << error;
    }
}

TEST(SimOptions, BadValuesAreRefusedWithAReason) {
    // "|" between the command lines.
    const std::string cases =
        "--port -1|--port 65536|--port 12a|--port ''|--port|--delay 600001|--delay +5|"
        "--segment-bytes 0|--close-on 0|--stall-from x|--error-for F|--error-for FCX|"
        "--refuse-login=1|--help=yes|port 1|--profile ''|--host ''|--close-on 99999999999|"
        "--stall-mid-answer 0|--garble-kind middle|--merge-blocks=1|--split-blocks 0|"
        "--fault-every -1|--seed|--step-ms 0|--step-ms 600001|--seed -1|--still=1|--bad-image=1|"
        "--version=1|--instruments 0|--instruments 101|--faults-for|--faults-for x|"
        "--faults-for 127.0.0.2|--instruments 2 --faults-for 127.0.0.3|"
        "--instruments 2 --faults-for 127.0.0.1 --port 1|--instruments 2 --host 10.0.0.1|"
        "--stopped 127.0.0.1 --stopped 127.0.0.1|--instruments 2 --host 127.255.255.254";
    for (const std::string& args : Split(cases)) {
        SCOPED_TRACE(args);
        CSimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(Arguments(args), &options, &error));
        EXPECT_FALSE(error.empty());
    }
}

// The program answers --help and --version on stdout and a usage error on stderr, as the
// console and rzctl do.
TEST(SimOptions, ProgramAnswersHelpVersionAndUsageErrors) {
    struct Case {
        QStringList args;
        int exitCode;
        QString out;  // the whole of stdout, or its start when it ends in "..."
        QString err;
    };
    const Case cases[] = {
        {{"--version"}, 0, QStringLiteral("rzsim %1\n").arg(ProjectVersion()), ""},
        {{"--help"}, 0, "Usage: rzsim [options]\n...", ""},
        {{"--port=x"},
         2,
         "",
         "rzsim: --port x: expected a port from 0 to 65535\n"
         "Try 'rzsim --help' for more information.\n"},
        {{"--bogus"},
         2,
         "",
         "rzsim: unknown option --bogus\nTry 'rzsim --help' for more information.\n"},
    };
    for (const Case& c : cases) {
        QProcess process;
        process.start(RZSIM_PATH, c.args);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (c.out.endsWith("...")) {
            EXPECT_TRUE(out.startsWith(c.out.chopped(3))) << out.toStdString();
        } else {
            EXPECT_EQ(out, c.out);
        }
        EXPECT_EQ(QString::fromLocal8Bit(process.readAllStandardError()), c.err);
    }
}
