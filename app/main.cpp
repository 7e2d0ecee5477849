// rz-operator: the operator console.
#include <QApplication>

#include "platform/Paths.h"
#include "shell/MainFrame.h"
#include "shell/Options.h"
#include "ui/FlatLook.h"

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("rz-operator"));
    QApplication::setApplicationVersion(QStringLiteral(RZ_VERSION));
    // --help, --version and usage errors need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    OperatorOptions options;
    if (const int status = ParseOperatorOptions(arguments, &options); status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    if (!options.dataDir.isEmpty()) {
        SetDataDirectory(options.dataDir.toStdString());
    }
    ApplyFlatLook(app);
    CMainFrame frame(options.port);
    frame.show();
    return QApplication::exec();
}
