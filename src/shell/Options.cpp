#include "shell/Options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int ParseOperatorOptions(const QStringList& arguments, OperatorOptions* options) {
    QCommandLineParser parser;
    // Qt's own -style NAME, which QApplication takes as well, spelled with one dash.
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
    const QCommandLineOption style(
        QStringLiteral("style"),
        QStringLiteral("Qt widget style NAME; the console then keeps the desktop's colours."),
        QStringLiteral("NAME"));
    parser.addOptions({dataDir, port, login, user, grab, style});

    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Unexpected argument: %s\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    bool ok = false;
    const uint value = parser.value(port).toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        std::fprintf(stderr, "--port needs a number from 1 to 65535, not '%s'\n",
                     qPrintable(parser.value(port)));
        return 2;
    }
    if (parser.isSet(login) != parser.isSet(user) ||
        (parser.isSet(login) && parser.value(login).isEmpty())) {
        std::fputs("--login NAME and --user USER go together\n", stderr);
        return 2;
    }
    options->port = static_cast<uint16_t>(value);
    options->login = parser.value(login);
    options->user = parser.value(user);
    options->grab = parser.value(grab);
    options->dataDir = parser.value(dataDir);
    options->style = parser.value(style);
    return -1;
}
