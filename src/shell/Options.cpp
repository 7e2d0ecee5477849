#include "shell/Options.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "platform/CommandLine.h"

namespace {

// Qt's own options that QApplication takes; the console accepts them with one dash or two, and
// with "=VALUE" or the value as the next argument.
struct QtOption {
    const char* name;
    const char* value;  // nullptr for a switch
    const char* help;
};

const QtOption kQtOptions[] = {
    {"style", "NAME", "Qt widget style NAME; the console then keeps the desktop's colours."},
    {"stylesheet", "FILE", "Qt style sheet FILE."},
    {"platform", "NAME[:OPTIONS]", "Qt platform plugin: xcb, wayland, offscreen..."},
    {"platformpluginpath", "DIR", "Directory of Qt platform plugins."},
    {"platformtheme", "NAME", "Qt platform theme."},
    {"plugin", "NAME", "Qt generic plugin to load (repeatable)."},
    {"display", "DISPLAY", "X display to open (xcb)."},
    {"qwindowgeometry", "WxH+X+Y", "Geometry of the first window."},
    {"qwindowtitle", "TITLE", "Title of the first window."},
    {"qwindowicon", "FILE", "Icon of the first window."},
    {"reverse", nullptr, "Lay the window out right to left."},
};

// "-NAME VALUE" per value, in the order of kQtOptions.
QStringList QtArguments(const QCommandLineParser& parser, const QString& program) {
    QStringList arguments{program};
    for (const QtOption& option : kQtOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (option.value == nullptr) {
            if (parser.isSet(name)) {
                arguments << QLatin1Char('-') + name;
            }
            continue;
        }
        for (const QString& value : parser.values(name)) {
            arguments << QLatin1Char('-') + name << value;
        }
    }
    return arguments;
}

// Qt's options but -style, which --help lists among the console's own.
QString QtOptionsText() {
    QString text = QStringLiteral("\nQt options:\n");
    for (const QtOption& option : kQtOptions) {
        if (qstrcmp(option.name, "style") == 0) {
            continue;
        }
        QString form = QStringLiteral("-") + QLatin1String(option.name);
        if (option.value != nullptr) {
            form += QStringLiteral(" <") + QLatin1String(option.value) + QLatin1Char('>');
        }
        text += QStringLiteral("  %1  %2\n").arg(form, -26).arg(QLatin1String(option.help));
    }
    return text;
}

}  // namespace

CommandLineResult<OperatorOptions> ParseOperatorOptions(const QStringList& arguments) {
    const QString program = arguments.isEmpty() || arguments.first().isEmpty()
                                ? QStringLiteral("rz-operator")
                                : QFileInfo(arguments.first()).fileName();
    const auto usageError = [&](const QString& reason) {
        return CommandLineExit{2, UsageErrorText(program.toStdString(), reason.toStdString())};
    };
    QCommandLineParser parser;
    // Qt's own options (-style NAME, -platform NAME) are spelled with one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("RZ Operator: the operator console of RZ instruments."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Directory of SimpleCtrl.ini, RZRegist.rzr and, when given, of the "
                       "user's settings (default: RZ_DATA_DIR, else the program's directory)."),
        QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("TCP port of the instruments (default 34260)."),
                                  QStringLiteral("N"), QStringLiteral("34260"));
    const QCommandLineOption login(
        QStringLiteral("login"),
        QStringLiteral("Log in at start to the registered instrument NAME (needs --user; the "
                       "password comes from RZ_PASSWORD, else the log-in dialog asks for it)."),
        QStringLiteral("NAME"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User name of the log-in at start."),
                                  QStringLiteral("USER"));
    const QCommandLineOption grab(
        QStringLiteral("grab"),
        QStringLiteral("Save a picture of the main window to FILE once the first data after "
                       "log-in is shown, then quit (a failed log-in exits with 1)."),
        QStringLiteral("FILE"));
    parser.addOptions({dataDir, port, login, user, grab});
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name), QString::fromLatin1(qt.help));
        if (qt.value != nullptr) {
            option.setValueName(QString::fromLatin1(qt.value));
        }
        if (qstrcmp(qt.name, "style") != 0) {
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        }
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = HelpText(parser, program);
        if (parser.isSet(QStringLiteral("help-all"))) {
            text += QtOptionsText();
        }
        return CommandLineExit{0, text.toStdString()};
    }
    if (parser.isSet(version)) {
        return CommandLineExit{0, VersionText(program.toStdString())};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(
            QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()));
    }
    bool ok = false;
    const uint value = parser.value(port).toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        return usageError(QStringLiteral("--port needs a number from 1 to 65535, not '%1'")
                              .arg(parser.value(port)));
    }
    if (parser.isSet(login) != parser.isSet(user) ||
        (parser.isSet(login) && parser.value(login).isEmpty())) {
        return usageError(QStringLiteral("--login NAME and --user USER go together"));
    }
    OperatorOptions options;
    options.port = static_cast<uint16_t>(value);
    options.login = parser.value(login);
    options.user = parser.value(user);
    options.grab = parser.value(grab);
    options.dataDir = parser.value(dataDir);
    options.style = parser.value(QStringLiteral("style"));
    options.qtArguments = QtArguments(parser, arguments.isEmpty() ? program : arguments.first());
    return options;
}
