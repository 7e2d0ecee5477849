#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The console's command line.
struct OperatorOptions {
    QString dataDir;        // --data-dir: where SimpleCtrl.ini and RZRegist.rzr live
    uint16_t port = 34260;  // --port: the instruments' TCP port (laboratories, tests)
};

// Parses `arguments` (the program name first). Returns -1 to go on with `options` filled, or the
// exit status after --help or --version (0, text on stdout) or a usage error (2, on stderr).
int ParseOperatorOptions(const QStringList& arguments, OperatorOptions* options);
