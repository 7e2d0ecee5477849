#include "alarms/AlarmWatch.h"

#include <vector>

#include "alarms/DesktopNotifier.h"
#include "model/InstrumentModel.h"
#include "session/ConnectionManager.h"

namespace {

// The watch as a subscriber of the hub.
constexpr HubSubscriber kRefreshedSubscriber{HUB_CHANNEL_ALARMS, HUB_EVENT_DATA_REFRESHED};
constexpr HubSubscriber kClosedSubscriber{HUB_CHANNEL_ALARMS, HUB_EVENT_CONNECTION_CLOSED};
constexpr HubSubscriber kLostSubscriber{HUB_CHANNEL_ALARMS, HUB_EVENT_COMM_ERROR};

}  // namespace

CAlarmWatch::CAlarmWatch(CConnectionManager& manager, std::unique_ptr<CDesktopNotifier> notifier,
                         QObject* parent)
    : QObject(parent), manager_(manager), notifier_(std::move(notifier)) {
    manager_.hub().Subscribe(kClosedSubscriber, kConnectionClosedEvent,
                             [this](uint32_t id) { OnConnectionClosed(id); });
}

CAlarmWatch::~CAlarmWatch() {
    if (manager_.initialised()) {
        manager_.hub().UnsubscribeChannel(HUB_CHANNEL_ALARMS);
    }
}

void CAlarmWatch::Follow(const std::string& name, uint32_t connectionId) {
    Watched& watched = watched_[name];
    StopFollowing(watched);
    watched.connectionId = connectionId;
    CEventHub& hub = manager_.hub();
    hub.Subscribe(kRefreshedSubscriber, DataRefreshedEvent(connectionId),
                  [this, name](uint32_t) { Read(name); });
    // A lost link ends the connection, also one without a view (no connection-closed event).
    hub.Subscribe(kLostSubscriber, CommErrorEvent(connectionId),
                  [this](uint32_t id) { OnConnectionClosed(id); });
    Read(name);
}

void CAlarmWatch::Read(const std::string& name) {
    const auto it = watched_.find(name);
    if (it == watched_.end() || it->second.connectionId == 0) {
        return;
    }
    const auto connection = manager_.FindConnection(it->second.connectionId);
    if (!connection) {
        return;
    }
    Take(name, (*connection)->Summary().alarm);
}

void CAlarmWatch::Update(const std::string& name, const CInstrumentModel& model) {
    Take(name, DescribeAlarms(model));
}

void CAlarmWatch::Take(const std::string& name, std::string alarm) {
    Watched& watched = watched_[name];
    if (alarm == watched.alarm) {
        return;
    }
    const bool entered = watched.alarm.empty();
    watched.alarm = std::move(alarm);
    const QString instrument = QString::fromLatin1(name.c_str());
    const QString values = QString::fromLatin1(watched.alarm.c_str());
    if (notifier_ && watched.alarm.empty()) {
        notifier_->Withdraw(instrument);
    } else if (notifier_ && entered) {
        notifier_->Show(instrument, tr("Instrument alarm"),
                        tr("%1: alarm on %2").arg(instrument, values));
    }
    emit AlarmChanged(instrument, !watched.alarm.empty(), values);
}

void CAlarmWatch::Forget(const std::string& name) {
    const auto it = watched_.find(name);
    if (it == watched_.end()) {
        return;
    }
    StopFollowing(it->second);
    const bool inAlarm = !it->second.alarm.empty();
    watched_.erase(it);
    if (inAlarm) {
        const QString instrument = QString::fromLatin1(name.c_str());
        if (notifier_) {
            notifier_->Withdraw(instrument);
        }
        emit AlarmChanged(instrument, false, QString());
    }
}

void CAlarmWatch::StopFollowing(Watched& watched) {
    if (watched.connectionId != 0 && manager_.initialised()) {
        manager_.hub().Unsubscribe(kRefreshedSubscriber, DataRefreshedEvent(watched.connectionId));
        manager_.hub().Unsubscribe(kLostSubscriber, CommErrorEvent(watched.connectionId));
    }
    watched.connectionId = 0;
}

void CAlarmWatch::OnConnectionClosed(uint32_t id) {
    std::vector<std::string> names;
    for (const auto& [name, watched] : watched_) {
        if (watched.connectionId == id) {
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        Forget(name);
    }
}

bool CAlarmWatch::InAlarm(const std::string& name) const {
    return !AlarmText(name).empty();
}

std::string CAlarmWatch::AlarmText(const std::string& name) const {
    const auto it = watched_.find(name);
    return it != watched_.end() ? it->second.alarm : std::string();
}

RzExpected<void> CAlarmWatch::Acknowledge(const std::string& name,
                                          std::function<void(RzResult)> done) {
    const auto it = watched_.find(name);
    if (it == watched_.end() || it->second.connectionId == 0) {
        return RzError(LINK_E_NOT_LOGGED_IN);
    }
    const auto connection = manager_.FindConnection(it->second.connectionId);
    if (!connection) {
        return RzError(LINK_E_NOT_LOGGED_IN);
    }
    return (*connection)
        ->StartOperation(
            "Acknowledge alarm", [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); },
            [done = std::move(done)](RzResult result) {
                if (done) {
                    done(result);
                }
            },
            this);
}
