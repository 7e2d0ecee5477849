#include "alarms/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <atomic>

namespace {

constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr uchar kUrgencyCritical = 2;
constexpr int kServerTimeout = -1;  // as long as the service keeps such notifications

// `text` as body markup: one line, control and format characters as blanks, and the characters
// that markup gives a meaning to escaped, so that text from an instrument is shown as it reads.
QString BodyMarkup(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            c = u' ';
        }
    }
    return line.toHtmlEscaped();
}

// Each bus opened by address gets a connection name of its own.
QString NextConnectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("rz-notifier-%1").arg(++count);
}

}  // namespace

CDesktopNotifier::CDesktopNotifier(const QString& busAddress, QObject* parent)
    : QObject(parent), connectionName_(busAddress.isEmpty() ? QString() : NextConnectionName()) {
    opened_.Arm();
    const QString name = connectionName_;
    opener_ = std::thread([this, busAddress, name] {
        const QDBusConnection bus = name.isEmpty()
                                        ? QDBusConnection::sessionBus()
                                        : QDBusConnection::connectToBus(busAddress, name);
        // Dropped unrun if this object is gone by then (the destructor joins this thread first).
        opened_.Post([this, bus] { BusOpened(bus); });
    });
}

CDesktopNotifier::~CDesktopNotifier() {
    opener_.join();
    bus_.reset();
    if (!connectionName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

void CDesktopNotifier::BusOpened(const QDBusConnection& bus) {
    bus_ = bus;
    if (!bus.isConnected()) {
        notes_.clear();  // no bus: nothing will be shown
        return;
    }
    for (auto& [key, note] : notes_) {
        Send(key, note);
    }
}

void CDesktopNotifier::Show(const QString& key, const QString& summary, const QString& body) {
    if (notes_.count(key) != 0 || (bus_ && !bus_->isConnected())) {
        return;
    }
    Note& note = notes_[key];
    note.serial = ++serials_;
    note.summary = summary;
    note.body = BodyMarkup(body);
    if (bus_) {
        Send(key, note);
    }
}

void CDesktopNotifier::Withdraw(const QString& key) {
    const auto it = notes_.find(key);
    if (it == notes_.end()) {
        return;
    }
    const uint32_t id = it->second.id;
    notes_.erase(it);
    // A notification whose id is still on its way is closed when the id arrives.
    if (id != 0) {
        Close(id);
    }
}

void CDesktopNotifier::Send(const QString& key, Note& note) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(kUrgencyCritical)},
                            {QStringLiteral("desktop-entry"), QStringLiteral("rz-operator")}};
    message << QStringLiteral("RZ Operator") << 0u << QStringLiteral("rz-operator") << note.summary
            << note.body << QStringList() << hints << kServerTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key, serial = note.serial](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    return;  // no service, or it refused: nothing is shown
                }
                const auto it = notes_.find(key);
                if (it != notes_.end() && it->second.serial == serial) {
                    it->second.id = reply.value();
                } else {
                    Close(reply.value());  // withdrawn while it was being raised
                }
            });
}

void CDesktopNotifier::Close(uint32_t id) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                          QStringLiteral("CloseNotification"));
    message << id;
    bus_->send(message);  // queued, never waited for; an id the service forgot is no harm
}
