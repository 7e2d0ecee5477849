// rz-operator: the operator console.
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "ViewFactory.h"
#include "alarms/AlarmWatch.h"
#include "alarms/DesktopNotifier.h"
#include "platform/CommandLine.h"
#include "platform/Configuration.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "secrets/KeychainPasswordStore.h"
#include "session/ConnectionManager.h"
#include "shell/AlarmMarks.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "shell/Options.h"
#include "shell/PlantOverview.h"
#include "ui/FlatLook.h"
#include "ui/Widgets.h"

namespace {

bool HasDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

}  // namespace

int main(int argc, char** argv) {
    KeepLargeBlocksMapped();
    QApplication::setApplicationName(QStringLiteral("rz-operator"));
    QApplication::setApplicationVersion(QString::fromLatin1(ProjectVersion()));
    // --help, --version and usage errors need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CommandLineResult<OperatorOptions> parsed = ParseOperatorOptions(arguments);
    if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) {
        std::fputs(QString::fromStdString(exit->text).toLocal8Bit().constData(),
                   exit->status == 0 ? stdout : stderr);
        return exit->status;
    }
    const OperatorOptions options = std::get<OperatorOptions>(std::move(parsed));
    // QApplication gets Qt's options only, each as "-NAME VALUE", which it reads in that form
    // alone; the strings live as long as the application.
    std::vector<QByteArray> qtArguments;
    for (const QString& argument : options.qtArguments) {
        qtArguments.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> qtArgv;
    for (QByteArray& argument : qtArguments) {
        qtArgv.push_back(argument.data());
    }
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    QApplication app(qtArgc, qtArgv.data());
    // The texts in the user's language, where a translation for it is installed.
    QTranslator translation;
    if (LoadTranslation(translation, QLocale(), QApplication::applicationDirPath())) {
        QApplication::installTranslator(&translation);
    }
    if (!options.dataDir.isEmpty()) {
        SetDataDirectory(options.dataDir.toStdString());
    }
    KeepQtSettingsInChosenDataDirectory();
    std::optional<std::string> password;
    if (qEnvironmentVariableIsSet("RZ_PASSWORD")) {
        password = qgetenv("RZ_PASSWORD").toStdString();
    }
    if (!options.login.isEmpty() && !password && !HasDisplay()) {
        std::fputs("rz-operator: --login without a display needs the password in RZ_PASSWORD\n",
                   stderr);
        return 2;
    }
    // QApplication has applied a style asked for on the command line or in QT_STYLE_OVERRIDE.
    LookRequest look;
    look.commandLineStyle = options.style;
    look.environmentStyle = qEnvironmentVariable("QT_STYLE_OVERRIDE");
    look.desktopDark = IsDarkPalette(QApplication::palette());
    look.dark = CUserSettings().DarkLook();
    ApplyLook(app, LookFor(look));
    CConnectionManager manager;
    manager.Init();
    CMainFrame frame(options.port);
    frame.SetLook(look);
    frame.SetSecretStore(std::make_unique<CKeychainPasswordStore>());
    CLoginControl login(manager, frame, MakeInstrumentView);
    CPlantOverview plant(frame, login, manager, options.port);
    CAlarmWatch alarms(manager, std::make_unique<CDesktopNotifier>());
    ShowAlarmMarks(alarms, login, frame);
    plant.WatchAlarms(alarms);

    if (!options.grab.isEmpty()) {
        const QString file = options.grab;
        QObject::connect(&login, &CLoginControl::FirstDataShown, &frame, [&frame, file] {
            // Once the window has painted what the view just showed.
            QTimer::singleShot(0, &frame, [&frame, file] {
                const QPixmap picture = frame.grab();
                if (!picture.save(file)) {
                    std::fprintf(stderr, "rz-operator: cannot write %s\n", qPrintable(file));
                    QApplication::exit(1);
                    return;
                }
                // What was grabbed, for scripts that check the picture against the window.
                std::printf("rz-operator: saved %s: window \"%s\" %dx%d\n", qPrintable(file),
                            qPrintable(frame.windowTitle()), picture.width(), picture.height());
                std::fflush(stdout);
                QApplication::exit(0);
            });
        });
        QObject::connect(&frame, &CMainFrame::LoginFinished, &frame, [&frame](bool succeeded) {
            if (!succeeded) {
                const QString reason = frame.StatusPane(1)->text();
                std::fprintf(stderr, "rz-operator: log-in failed: %s\n",
                             qPrintable(reason.isEmpty() ? QStringLiteral("cancelled") : reason));
                QApplication::exit(1);
            }
        });
    }
    frame.show();
    if (!options.login.isEmpty()) {
        QTimer::singleShot(0, &frame, [&frame, &options, password] {
            frame.LoginAtStart(options.login.toLatin1().toStdString(),
                               options.user.toLatin1().toStdString(), password);
        });
    }
    return QApplication::exec();
}
