#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "platform/CommandLine.h"

// The console's command line.
struct OperatorOptions {
    QString dataDir;        // --data-dir: where the console keeps its files
    uint16_t port = 34260;  // --port: the instruments' TCP port (laboratories, tests)
    QString login;          // --login: the registered instrument to log in to at start
    QString user;           // --user: the user name of that log-in
    QString grab;           // --grab: picture of the window once the first data is shown
    QString style;          // -style: the widget style the user asked Qt for
    // The program name and Qt's own options (-style, -platform, -reverse, ...) as QApplication
    // reads them: "-NAME VALUE" however they were written, the console's options left out.
    QStringList qtArguments;
};

// Parses `arguments` (the program name first): the options to go on with, or the end of the run
// after --help, --help-all or --version (0, with the text for stdout) or a usage error (2, with
// the text for stderr).
CommandLineResult<OperatorOptions> ParseOperatorOptions(const QStringList& arguments);
