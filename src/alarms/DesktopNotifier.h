#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>

#include "session/GuiDispatcher.h"

// The desktop's notifications, through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus): at most one notification per key, raised
// by Show and closed by Withdraw.
//
// The window never waits for the service. The bus is opened on a thread of its own (connecting
// may start a bus or wait for one), and every call is asynchronous: the service's answer comes
// back through the event loop. Without a bus, or without the service on it, nothing is shown
// and nothing fails.
class CDesktopNotifier : public QObject {
    Q_OBJECT
  public:
    // The session bus when `busAddress` is empty, else the bus at that address.
    explicit CDesktopNotifier(const QString& busAddress = {}, QObject* parent = nullptr);
    ~CDesktopNotifier() override;
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    // Raises a notification for `key` unless one is raised for it already. `summary` and `body`
    // are plain text: the body goes to the service escaped, since services may read it as
    // markup.
    void Show(const QString& key, const QString& summary, const QString& body);
    // Closes the notification of `key`, if one was raised.
    void Withdraw(const QString& key);

    // The service's name on the bus.
    static constexpr const char* kService = "org.freedesktop.Notifications";

  private:
    struct Note {
        uint64_t serial = 0;  // which Show raised it
        QString summary;
        QString body;
        uint32_t id = 0;  // the service's id, once it answered; 0 before
    };

    void BusOpened(const QDBusConnection& bus);
    void Send(const QString& key, Note& note);
    void Close(uint32_t id);

    QString connectionName_;              // of a bus opened by address; empty for the session bus
    std::optional<QDBusConnection> bus_;  // none until opened; not connected when there is none
    std::map<QString, Note> notes_;
    uint64_t serials_ = 0;
    CGuiDispatcher opened_;  // hands the opened bus to the GUI thread
    std::thread opener_;
};
