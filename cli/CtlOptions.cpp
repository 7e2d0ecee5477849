#include "CtlOptions.h"

#include <arpa/inet.h>

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

#include "platform/CommandLine.h"

namespace {

const char* const kCtlDescription =
    "Logs in to an RZ instrument as the console does, runs one command and logs out.\n"
    "Without --password the password is taken from RZ_PASSWORD or typed on the terminal;\n"
    "without a terminal one of the two is required.";

const char* const kCtlCommands =
    "\n"
    "Commands:\n"
    "  info [--json]                 the instrument's identity\n"
    "  dump [--json]                 the whole settings model\n"
    "  watch [--cycles N] [--json]   run the communication cycle, print after each refresh\n"
    "                                (N at least 1; without it until interrupted)\n"
    "  refresh                       reload every setting\n"
    "  display CODE [GROUP]          switch the instrument's display (0-15 or trend, digital,\n"
    "                                bar, overview, alarm, message, faceplate, controller,\n"
    "                                hybrid, ctrlover, program, ctrldo, ctrlsummary, ctrlsw,\n"
    "                                eventsummary)\n"
    "  trend ALL SCALE DIGITAL       trend display options, 0 or 1 each\n"
    "  pattern-select P              program pattern shown on the program display\n"
    "  loop KIND N mode AUT|MAN|CAS  KIND: int, ext or dio\n"
    "  loop KIND N remote LOC|REM\n"
    "  loop KIND N run RUN|STOP\n"
    "  loop KIND N sp VALUE\n"
    "  loop KIND N out VALUE\n"
    "  loop KIND N read              re-read the loop's mode and print it\n"
    "  dio N out 0|1                 DI/DO point output\n"
    "  program P run|reset|hold|release|advance\n"
    "  math start|stop|reset\n"
    "  memory start|stop\n"
    "  ack                           acknowledge alarms\n"
    "  message N                     write message N (1-8)\n"
    "  save-data display|event|sample|trigger\n"
    "  log KIND [--json]             KIND: alarm, communication, error, key, web, email, ftp,\n"
    "                                message\n"
    "  image FILE                    save the screen (PNG when FILE ends in png, else BMP)\n"
    "  registry list [--json]        registered instruments (no log-in)\n"
    "  registry add NAME IP          register an instrument (no log-in)\n"
    "  registry remove NAME          remove a registered instrument (no log-in)\n"
    "\n"
    "Exit status: 0 success, 1 failed operation, log-in or output, 2 usage error,\n"
    "3 the command ran but the instrument refused steps of the settings load (each is\n"
    "named on stderr; what they fill is empty), 130 ended by SIGINT (Ctrl-C), 143 ended\n"
    "by SIGTERM. Either signal ends rzctl at once, whatever it waits for.\n";

}  // namespace

std::string CtlUsageError(const std::string& reason) {
    return UsageErrorText("rzctl", reason);
}

CommandLineResult<CtlOptions> ParseCtlOptions(const std::vector<std::string>& argv) {
    QStringList arguments;
    for (const std::string& arg : argv) {
        arguments << QString::fromLocal8Bit(arg.c_str());
    }
    const auto usage = [](const std::string& reason) {
        return CommandLineExit{kExitUsage, CtlUsageError(reason)};
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Everything after the command is the command's: "dump --json".
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setApplicationDescription(QString::fromLatin1(kCtlDescription));
    // Not addHelpOption(): its --help-all would promise Qt's options, which rzctl has none of.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"),
                                  QStringLiteral("Dotted IPv4 address of the instrument."),
                                  QStringLiteral("IP"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("The instrument registered as NAME."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("TCP port of the instrument (default 34260)."),
                                  QStringLiteral("N"), QStringLiteral("34260"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User name of the log-in."), QStringLiteral("U"));
    const QCommandLineOption password(
        QStringLiteral("password"), QStringLiteral("Password of the log-in."), QStringLiteral("P"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Directory of the instrument registry (default: RZ_DATA_DIR, else the "
                       "program's directory)."),
        QStringLiteral("DIR"));
    parser.addOptions({host, name, port, user, password, dataDir});
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("See Commands."),
                                 QStringLiteral("COMMAND [ARGS]"));

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty()) {
            return usage(parser.errorText().toStdString());
        }
        // Named as it was written, without its value.
        for (const QString& arg : arguments.mid(1)) {
            const QString written = arg.section(QLatin1Char('='), 0, 0);
            if (QString(written).remove(QRegularExpression(QStringLiteral("^-+"))) ==
                unknown.first()) {
                return usage("unknown option " + written.toStdString());
            }
        }
        return usage("unknown option " + unknown.first().toStdString());
    }
    const QStringList positional = parser.positionalArguments();
    // Help is given wherever --help stands, after the command too.
    if (parser.isSet(help) || positional.contains(QStringLiteral("--help")) ||
        positional.contains(QStringLiteral("-h"))) {
        return CommandLineExit{
            kExitOk, (HelpText(parser, QStringLiteral("rzctl")) + QString::fromLatin1(kCtlCommands))
                         .toStdString()};
    }
    if (parser.isSet(version)) {
        return CommandLineExit{kExitOk, VersionText("rzctl")};
    }
    const auto text = [&parser](const QCommandLineOption& option) {
        return parser.value(option).toLocal8Bit().toStdString();
    };
    CtlOptions options;
    options.host = text(host);
    options.name = text(name);
    options.user = text(user);
    options.hasPassword = parser.isSet(password);
    options.password = text(password);
    options.dataDir = text(dataDir);
    const std::string portText = text(port);
    const bool digits =
        !portText.empty() && portText.size() <= 5 &&
        std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; });
    options.port = digits ? std::stoi(portText) : 0;
    if (options.port < 1 || options.port > 65535) {
        return usage("--port needs a number from 1 to 65535");
    }
    in_addr address{};
    if (parser.isSet(host) && inet_pton(AF_INET, options.host.c_str(), &address) != 1) {
        return usage("--host needs a dotted IPv4 address, not '" + options.host + "'");
    }
    if (positional.isEmpty()) {
        return usage("no command given");
    }
    options.command = positional.first().toLocal8Bit().toStdString();
    for (const QString& arg : positional.mid(1)) {
        options.args.push_back(arg.toLocal8Bit().toStdString());
    }
    if (parser.isSet(host) && parser.isSet(name)) {
        return usage("give --host or --name, not both");
    }
    return options;
}
