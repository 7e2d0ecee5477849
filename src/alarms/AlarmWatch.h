#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "session/InstrumentSummary.h"

class CConnectionManager;
class CDesktopNotifier;

// Watches the alarm state of instruments by their registered names and makes it reach the
// operator: when an instrument enters alarm it raises one desktop notification naming the
// instrument and its alarm, and AlarmChanged marks it; while it stays in alarm nothing more is
// raised, whatever its cycles bring; once its alarm has cleared the notification is closed and
// the mark cleared, and the next alarm raises a new one.
//
// Everything runs on the GUI thread and never waits: the state is read from a connection's
// published model after each of its cycles, the notifications go out asynchronously (see
// CDesktopNotifier), and the acknowledge runs as an operation of the instrument's connection.
class CAlarmWatch : public QObject {
    Q_OBJECT
  public:
    // `manager` must be initialised and outlive this; its hub tells of cycles and closed
    // connections. Notifications go through `notifier`; without one there are marks only.
    CAlarmWatch(CConnectionManager& manager, std::unique_ptr<CDesktopNotifier> notifier,
                QObject* parent = nullptr);
    ~CAlarmWatch() override;
    CAlarmWatch(const CAlarmWatch&) = delete;
    CAlarmWatch& operator=(const CAlarmWatch&) = delete;

    // Follows instrument `name` on the manager's connection `connectionId`: reads its published
    // model now and after every cycle, until the connection closes or loses its link, or Forget.
    // A name followed on another connection moves to this one.
    void Follow(const std::string& name, uint32_t connectionId);
    // Takes `model` as instrument `name`'s latest state (for a feed that reads the model itself;
    // Follow does this after every cycle).
    void Update(const std::string& name, const CInstrumentModel& model);
    // Stops watching `name`: its state is no longer known, so its mark is cleared and its
    // notification closed.
    void Forget(const std::string& name);

    bool InAlarm(const std::string& name) const;
    // The values in alarm (DescribeAlarms), empty while the instrument is not in alarm.
    std::string AlarmText(const std::string& name) const;

    // Sends the alarm acknowledge to instrument `name` alone, as an operation of the connection
    // it is followed on; call it once the operator has confirmed. `done` gets the result on the
    // GUI thread. Returns what StartOperation returns (LINK_E_BUSY while another operation of
    // that connection runs, with the status text naming it), or LINK_E_NOT_LOGGED_IN for an
    // instrument not followed on a connection.
    RzExpected<void> Acknowledge(const std::string& name, std::function<void(RzResult)> done = {});

  signals:
    // Instrument `name` (its registered name) entered alarm or left it; `alarm` names the values
    // in alarm (DescribeAlarms), also when they change while the instrument stays in alarm.
    void AlarmChanged(const QString& name, bool inAlarm, const QString& alarm);

  private:
    struct Watched {
        uint32_t connectionId = 0;  // 0: fed by Update only
        std::string alarm;          // DescribeAlarms of the latest state
    };

    void Read(const std::string& name);
    // Takes `alarm` (DescribeAlarms) as instrument `name`'s latest alarm state.
    void Take(const std::string& name, std::string alarm);
    void StopFollowing(Watched& watched);
    void OnConnectionClosed(uint32_t id);

    CConnectionManager& manager_;
    std::unique_ptr<CDesktopNotifier> notifier_;
    std::map<std::string, Watched> watched_;
};
