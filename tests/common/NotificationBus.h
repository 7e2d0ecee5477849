#pragma once

// A session bus of the test's own (a dbus-daemon) with a test notification service on it.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStandardPaths>

#include <cstdio>

// The notification service as the test sees it: notes each Notify ("N" and its id) and
// CloseNotification ("C" and the id), and the body of each Notify.
class FakeNotifications : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.member() == QLatin1String("Notify")) {
            calls += QStringLiteral(" N%1").arg(++ids);
            bodies << message.arguments().value(4).toString();
            bus.send(message.createReply(ids));
        } else if (message.member() == QLatin1String("CloseNotification")) {
            calls += QStringLiteral(" C%1").arg(message.arguments().value(0).toUInt());
            bus.send(message.createReply());
        }
        return true;
    }
    QString calls;
    QStringList bodies;
    uint ids = 0;
};

class CNotificationBus {
  public:
    ~CNotificationBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("svc"));
        if (daemon > 0) {
            kill(daemon, SIGTERM);
            waitpid(daemon, nullptr, 0);
        }
    }

    static bool Installed() {
        return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty();
    }
    // Starts the bus and the service on it; false when either did not come up.
    bool Start() {
        // Not through QProcess, after whose fork ThreadSanitizer loses track of this thread's
        // locks; and ended with the test process even when that aborts.
        int out[2];
        if (pipe(out) != 0) {
            return false;
        }
        daemon = fork();
        if (daemon == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(out[1], STDOUT_FILENO);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--print-address=1", "--nofork",
                   nullptr);
            _exit(127);
        }
        close(out[1]);
        FILE* printed = fdopen(out[0], "r");
        char line[512] = {};
        const bool read = fgets(line, sizeof line, printed) != nullptr;
        fclose(printed);
        if (!read) {
            return false;
        }
        address = QString::fromLatin1(line).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("svc"));
        return service.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
               service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                             &fake);
    }
    pid_t daemon = 0;
    QString address;
    FakeNotifications fake;
};
