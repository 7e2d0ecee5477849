#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "alarms/AlarmWatch.h"
#include "session/ReachabilityProbe.h"
#include "shell/LoginControl.h"

class CConnectionManager;
class CInstrumentConnection;
class CLoginControl;
class CMainFrame;
class COverviewModel;

// Follows the registered instruments for the main window's plant overview.
//
// An instrument whose password is known without asking (remembered in the secret store, or kept
// in memory for the session where there is none) gets one logged-in connection of the
// overview's own, made by the connection manager: its cycle polls values and state at the
// configured communication cycle, without the screen image, and each pass updates its row. The
// other instruments are probed for reachability while the overview is shown; an instrument is
// never probed while the overview holds or makes a connection to it. The probe paces the
// log-ins: a probe that finds an instrument reachable starts the log-in when its password is
// known, and after a lost link or a failed log-in the next one waits a probe interval. A refused
// password is not tried again until a log-in of the console to the instrument succeeds.
//
// The overview's log-ins queue and run one at a time on the manager's log-in thread, like the
// console's: a log-in with its full refresh is a few dozen short exchanges (about 2 ms against
// the simulator on loopback), so a queue of fifty is through in a moment, and an instrument that
// has just answered a probe holds it up for at most the link's time-out. A log-in of the
// console goes first: the overview's running one is cancelled and tried again at the next probe.
//
// Polling starts once the overview has been shown, and then goes on while it is hidden (with
// one instrument registered and the overview never shown, the console is what it always was).
// Opening a polled instrument lends its connection to the console's view (IConnectionPool),
// which fetches the screen image while it shows it; a log-out from the view ends the view and
// the overview polls on over the connection, as long as the password is remembered for the
// instrument and user. A connection the console logged in to itself is taken over the same way
// at its log-out. The console's own connections feed their rows from their published models
// every second while the overview is shown.
//
// Acknowledging a row's alarm asks the operator first, then sends the acknowledge to that
// instrument alone, as an operation of the connection that feeds its row.
//
// Logging a row out ends the connection that feeds it: the overview's own is closed, and an
// instrument open in a tab is logged out as Ctrl+W does, its tab closing and its connection
// closed rather than handed back. The row then shows reachability alone, and the overview does
// not log in to the instrument again until a log-in of the console to it succeeds (the operator
// opens the row), or the console starts again.
//
// The alarm watch (WatchAlarms) follows each polled connection from its start to its end, so an
// instrument in the background raises its alarm's notification as the one in front does; a
// connection lent to the view and taken back stays followed, with no second notification. A lost
// link of a polled connection is named in the status text ("Lost the link to NAME"), not given as
// the front instrument's.
class CPlantOverview : public QObject, public IConnectionPool {
    Q_OBJECT
  public:
    // `port` is the instruments' port; `frame`, `login` and `manager` outlive this.
    CPlantOverview(CMainFrame& frame, CLoginControl& login, CConnectionManager& manager,
                   uint16_t port, CProbeOptions options = {});
    ~CPlantOverview() override;

    // The watch that follows each polled connection's alarms from now on; it may end before this.
    void WatchAlarms(CAlarmWatch& alarms) { alarms_ = &alarms; }

    // IConnectionPool
    bool Holds(const std::string& instrument, const std::string& user) const override;
    uint32_t Lend(const std::string& instrument, const std::string& user) override;
    bool TakeBack(const std::string& instrument, const std::string& user, uint32_t id) override;

  private:
    // The overview's part in one instrument.
    struct Polled {
        enum class Stage {
            kProbed,     // no connection of the overview's: probed while shown
            kRecalling,  // its password is being looked up
            kQueued,     // waiting for the log-in thread
            kLoggingIn,  // the overview's log-in runs
            kPolled,     // logged in, polling for the row
            kLent,       // the console's view has the connection
        };
        Stage stage = Stage::kProbed;
        std::string address;
        std::string user;
        std::string password;     // only while queued: handed to the log-in, then dropped
        uint32_t id = 0;          // polled or lent
        int64_t notBeforeNs = 0;  // no log-in before this (steady clock)
        bool refused = false;     // the remembered password was refused
        bool loggedOut = false;   // logged out from the overview: not logged in to again
        uint64_t recall = 0;      // the password look-up whose answer counts
    };
    using Stage = Polled::Stage;

    // The overview was shown or hidden: probing and reading run only while it is shown.
    void Follow(bool shown);
    void Retarget();
    void OnLoginEnded(const QString& name, int result, const QString& failure);
    void OnConnectionEnded(const QString& name);
    // The logged-in row from the connection's published model, and staleness for every row.
    void ReadSession();
    // The row of `name` from connection `id`'s published model.
    void Feed(const std::string& name, uint32_t id);
    // The overview pane asks for the alarm of `row` to be acknowledged.
    void OnAcknowledge(int row);
    // The overview pane asks for the instrument of `row` to be logged out.
    void OnLogout(int row);
    // The logged-in connection that feeds the row of `name`; 0 when none does.
    uint32_t ConnectionOf(const std::string& name) const;

    void OnProbe(const CProbeResult& result);
    // A probe found `name` reachable: its password is looked up, and with one it is queued.
    void ConsiderLogin(const std::string& name);
    void OnRecalled(const std::string& name, uint64_t recall,
                    const std::optional<std::string>& password);
    // Starts the first queued log-in when the manager's log-in thread is free.
    void Pump();
    void OnPolledLogin(const std::string& name, const RzExpected<uint32_t>& result);
    // The connection `id` to `name` polls for its row from now on.
    void Adopt(const std::string& name, Polled& polled, uint32_t id);
    void OnLinkLost(const std::string& name, uint32_t id);
    // Whether a lost link of connection `id` is named as `name`'s (polled in the background) or
    // is the console's (lent to the view in front).
    void NameLinkLoss(const std::string& name, uint32_t id, bool named);
    // Ends what the overview holds or runs for `polled` of `name` (a lent connection stays the
    // console's).
    void Drop(const std::string& name, Polled& polled);
    void Unsubscribe(uint32_t id);
    // Stops the overview's running log-in, if any; it is tried again at the next probe.
    void CancelOwnLogin();
    Polled* Find(const std::string& name);
    const Polled* Find(const std::string& name) const;

    CMainFrame& frame_;
    COverviewModel& model_;
    CLoginControl& login_;
    CConnectionManager& manager_;
    uint16_t port_;
    int retryAfterMs_;      // a probe interval
    bool started_ = false;  // the overview has been shown
    // The instruments the console has open, each with its connection.
    std::map<std::string, uint32_t> sessions_;
    std::string loggingIn_;                 // the instrument of the overview's running log-in
    std::map<std::string, Polled> polled_;  // by instrument name, for those in the overview
    QTimer tick_;
    QTimer pump_;  // tries the queue again while the log-in thread is busy
    CReachabilityProbe probe_;
    QPointer<CAlarmWatch> alarms_;
};
