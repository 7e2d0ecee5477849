#include "shell/PlantOverview.h"

#include <algorithm>
#include <chrono>

#include "alarms/AlarmWatch.h"
#include "platform/StatusSink.h"
#include "secrets/PasswordKeeper.h"
#include "session/ConnectionManager.h"
#include "session/CycleWait.h"
#include "session/InstrumentSummary.h"
#include "shell/MainFrame.h"
#include "shell/OverviewModel.h"
#include "shell/OverviewPane.h"
#include "ui/Widgets.h"

namespace {

// The overview as a subscriber of its connections' events.
constexpr HubSubscriber kPolledRefreshed{HUB_CHANNEL_MAIN_FRAME, 2};
constexpr HubSubscriber kPolledLost{HUB_CHANNEL_MAIN_FRAME, 3};

// How soon the queue is tried again while the log-in thread runs another log-in.
constexpr int kPumpRetryMs = 200;

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The one place that switches the screen image of a connection the overview keeps: off while it
// only feeds its row, on while the console's view shows it. The view's image flag does it: the
// cycle fetches the image only while it is set, and the view sets it again as it shows or hides
// its image window. The overview's log-ins start with it off, so that not even their full
// refresh fetches an image, and the connection holds no image buffers until a view shows one.
// The view's timer ticks only while a view shows it too: the overview hears of every cycle from
// the connection's wake-ups.
void SetScreenImagePolling(CInstrumentConnection& connection, bool on) {
    connection.SetScreenPolling(on);
    connection.SetTimerTicking(on);
}

}  // namespace

CPlantOverview::CPlantOverview(CMainFrame& frame, CLoginControl& login, CConnectionManager& manager,
                               uint16_t port, CProbeOptions options)
    : frame_(frame),
      model_(frame.Overview()),
      login_(login),
      manager_(manager),
      port_(port),
      retryAfterMs_(options.intervalMs),
      probe_([this](const CProbeResult& result) { OnProbe(result); }, options) {
    pump_.setSingleShot(true);
    pump_.setInterval(kPumpRetryMs);
    connect(&pump_, &QTimer::timeout, this, &CPlantOverview::Pump);
    connect(&model_, &COverviewModel::InstrumentsChanged, this, &CPlantOverview::Retarget);
    connect(&login_, &CLoginControl::LoginEnded, this, &CPlantOverview::OnLoginEnded);
    connect(&login_, &CLoginControl::ConnectionEnded, this, &CPlantOverview::OnConnectionEnded);
    connect(frame.OverviewPane(), &COverviewPane::Shown, this, &CPlantOverview::Follow);
    connect(frame.OverviewPane(), &COverviewPane::AcknowledgeRequested, this,
            &CPlantOverview::OnAcknowledge);
    connect(frame.OverviewPane(), &COverviewPane::LogoutRequested, this, &CPlantOverview::OnLogout);
    connect(&tick_, &QTimer::timeout, this, &CPlantOverview::ReadSession);
    login_.SetConnectionPool(this);
    Retarget();
    Follow(frame.OverviewPane()->isVisible());
}

CPlantOverview::~CPlantOverview() {
    login_.SetConnectionPool(nullptr);
    for (auto& [name, polled] : polled_) {
        Drop(name, polled);
    }
}

void CPlantOverview::Follow(bool shown) {
    started_ = started_ || shown;
    probe_.SetActive(shown);
    if (shown) {
        ReadSession();
        tick_.start(1000);
    } else {
        tick_.stop();
    }
}

void CPlantOverview::Retarget() {
    // Instruments that left the overview, or came back at another address, lose what the
    // overview held for them.
    for (auto it = polled_.begin(); it != polled_.end();) {
        const int row = model_.RowOf(it->first);
        if (row < 0 ||
            model_.Instruments()[static_cast<size_t>(row)].address != it->second.address) {
            Drop(it->first, it->second);
            it = polled_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<CProbeTarget> targets;
    for (const COverviewModel::Instrument& instrument : model_.Instruments()) {
        const Polled* polled = Find(instrument.name);
        const bool probed = polled == nullptr || polled->stage == Stage::kProbed ||
                            polled->stage == Stage::kRecalling;
        if (!sessions_.contains(instrument.name) && probed) {
            targets.push_back({instrument.name, instrument.address, port_});
        }
    }
    probe_.SetTargets(targets);
}

void CPlantOverview::OnLoginEnded(const QString& name, int result, const QString& failure) {
    const std::string instrument = name.toLatin1().toStdString();
    if (result == RZ_OK) {
        sessions_[instrument] = login_.ConnectionId();
        if (Polled* polled = Find(instrument)) {
            polled->refused = false;  // the console's log-in shows what works now
            polled->loggedOut = false;
        }
        Retarget();
        ReadSession();
        Pump();
        return;
    }
    if (Polled* polled = Find(instrument); polled != nullptr && polled->stage == Stage::kLent) {
        // Lent, but the view could not be made: the connection is closed.
        Drop(instrument, *polled);
        Retarget();
    }
    if (result == LINK_E_LOGIN) {
        model_.SetLoginRefused(instrument, failure.toLatin1().toStdString());
    } else {
        probe_.ProbeSoon(instrument);
    }
    Pump();
}

void CPlantOverview::OnConnectionEnded(const QString& name) {
    const std::string instrument = name.toLatin1().toStdString();
    sessions_.erase(instrument);
    Polled* polled = Find(instrument);
    if (polled != nullptr && polled->stage == Stage::kPolled) {
        Retarget();  // handed back: its row goes on
        return;
    }
    if (polled != nullptr && polled->stage == Stage::kLent) {
        Drop(instrument, *polled);  // closed with the view
    }
    model_.EndSession(instrument);
    Retarget();
    probe_.ProbeSoon(instrument);
}

void CPlantOverview::ReadSession() {
    for (const auto& [name, id] : sessions_) {
        Feed(name, id);
    }
    model_.Tick();
}

void CPlantOverview::Feed(const std::string& name, uint32_t id) {
    CInstrumentConnection* connection = manager_.FindConnection(id).value_or(nullptr);
    if (connection == nullptr) {
        return;
    }
    // Stale after two cycles without valid values, as the view judges it.
    const int staleAfterMs =
        2 * std::max<int>(connection->Cycle(), static_cast<int>(kCycleSliceMs));
    model_.UpdateSession(name, connection->Summary(), staleAfterMs);
}

void CPlantOverview::OnAcknowledge(int row) {
    if (row < 0 || row >= model_.rowCount()) {
        return;
    }
    const std::string name = model_.Instruments()[static_cast<size_t>(row)].name;
    if (!AskYesNo(&frame_,
                  tr("Acknowledge the alarm of %1?").arg(QString::fromLatin1(name.c_str())),
                  tr("Acknowledge alarm"))) {
        return;
    }
    // Its connection may have ended while the operator was asked.
    CInstrumentConnection* connection =
        manager_.FindConnection(ConnectionOf(name)).value_or(nullptr);
    if (connection == nullptr) {
        ShowStatusMessages(RzError(LINK_E_NOT_LOGGED_IN));
        return;
    }
    // The result itself is not shown: a refusal is in the status bar already, and the row
    // follows the instrument's alarm state with its next values.
    const RzExpected<void> started = connection->StartOperation(
        "Acknowledge alarm", [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); }, {},
        this);
    if (!started) {
        ShowStatusMessages(started.error());
    }
}

void CPlantOverview::OnLogout(int row) {
    if (row < 0 || row >= model_.rowCount()) {
        return;
    }
    const std::string name = model_.Instruments()[static_cast<size_t>(row)].name;
    Polled& entry = polled_[name];
    entry.address = model_.Instruments()[static_cast<size_t>(row)].address;
    entry.loggedOut = true;  // so that its tab's log-out does not hand it back
    if (frame_.LogoutInstrument(name)) {
        return;  // its connection is closed, and its row ended with it
    }
    Polled* polled = Find(name);
    if (polled != nullptr && polled->stage == Stage::kPolled) {
        Drop(name, *polled);
        model_.EndSession(name);
        Retarget();
    }
}

uint32_t CPlantOverview::ConnectionOf(const std::string& name) const {
    if (const auto open = sessions_.find(name); open != sessions_.end()) {
        return open->second;
    }
    const Polled* polled = Find(name);
    return polled != nullptr && (polled->stage == Stage::kPolled || polled->stage == Stage::kLent)
               ? polled->id
               : 0;
}

// --- The overview's own connections ------------------------------------------------------

void CPlantOverview::OnProbe(const CProbeResult& result) {
    model_.UpdateReach(result);
    if (result.reachable) {
        ConsiderLogin(result.name);
    }
}

void CPlantOverview::ConsiderLogin(const std::string& name) {
    const int row = model_.RowOf(name);
    if (!started_ || row < 0 || sessions_.contains(name)) {
        return;
    }
    const std::string& address = model_.Instruments()[static_cast<size_t>(row)].address;
    Polled& polled = polled_[name];
    polled.address = address;
    if (polled.stage != Stage::kProbed || polled.refused || polled.loggedOut ||
        SteadyNowNs() < polled.notBeforeNs) {
        return;
    }
    const CInstrumentPrefs prefs = frame_.InstrumentPrefs(name);
    if (!prefs.rememberPassword || prefs.userName.empty()) {
        return;
    }
    polled.stage = Stage::kRecalling;
    polled.user = prefs.userName;
    const uint64_t recall = ++polled.recall;
    frame_.Passwords().Recall({name, address, prefs.userName}, this,
                              [this, name, recall](std::optional<std::string> password) {
                                  OnRecalled(name, recall, password);
                              });
}

void CPlantOverview::OnRecalled(const std::string& name, uint64_t recall,
                                const std::optional<std::string>& password) {
    Polled* polled = Find(name);
    if (polled == nullptr || polled->stage != Stage::kRecalling || polled->recall != recall) {
        return;
    }
    if (!password || sessions_.contains(name)) {
        polled->stage = Stage::kProbed;
        return;
    }
    polled->stage = Stage::kQueued;
    polled->password = *password;
    Retarget();
    Pump();
}

void CPlantOverview::Pump() {
    if (!loggingIn_.empty()) {
        return;
    }
    // In the overview's order, so that the first rows come up first.
    Polled* next = nullptr;
    std::string name;
    for (const COverviewModel::Instrument& instrument : model_.Instruments()) {
        Polled* polled = Find(instrument.name);
        if (polled != nullptr && polled->stage == Stage::kQueued &&
            sessions_.contains(instrument.name)) {
            // The console logged in to it meanwhile.
            polled->stage = Stage::kProbed;
            polled->password.clear();
        } else if (polled != nullptr && polled->stage == Stage::kQueued) {
            next = polled;
            name = instrument.name;
            break;
        }
    }
    if (next == nullptr) {
        return;
    }
    if (manager_.LoginRunning()) {
        pump_.start();
        return;
    }
    const std::string password = std::exchange(next->password, {});
    manager_.SetScreenPolling(false);  // for this log-in only
    const RzExpected<void> started = manager_.StartLogin(
        next->address.c_str(), next->user.c_str(), password.c_str(), port_,
        [this, name](const RzExpected<uint32_t>& result) { OnPolledLogin(name, result); });
    manager_.SetScreenPolling(true);
    if (!started) {
        next->stage = Stage::kProbed;
        next->notBeforeNs = SteadyNowNs() + int64_t{retryAfterMs_} * 1000000;
        Retarget();
        return;
    }
    next->stage = Stage::kLoggingIn;
    loggingIn_ = name;
}

void CPlantOverview::OnPolledLogin(const std::string& name, const RzExpected<uint32_t>& result) {
    loggingIn_.clear();
    Polled* polled = Find(name);
    if (polled == nullptr || polled->stage != Stage::kLoggingIn) {
        if (result) {
            manager_.CloseConnection(*result);  // no longer wanted
        }
    } else if (result) {
        Adopt(name, *polled, *result);
    } else {
        polled->stage = Stage::kProbed;
        if (result.code() == LINK_E_LOGIN) {
            polled->refused = true;
            model_.SetLoginRefused(name, result.error().text);
        } else {
            // The probe, which follows at once, shows whether it still answers; the next log-in
            // waits a probe interval.
            polled->notBeforeNs = SteadyNowNs() + int64_t{retryAfterMs_} * 1000000;
        }
    }
    Retarget();
    Pump();
}

void CPlantOverview::Adopt(const std::string& name, Polled& polled, uint32_t id) {
    CInstrumentConnection* connection = manager_.FindConnection(id).value_or(nullptr);
    if (connection == nullptr) {
        polled.stage = Stage::kProbed;
        return;
    }
    SetScreenImagePolling(*connection, false);
    polled.stage = Stage::kPolled;
    polled.id = id;
    polled.refused = false;
    CEventHub& hub = manager_.hub();
    hub.Subscribe(kPolledRefreshed, DataRefreshedEvent(id),
                  [this, name, id](uint32_t) { Feed(name, id); });
    hub.Subscribe(kPolledLost, CommErrorEvent(id),
                  [this, name, id](uint32_t) { OnLinkLost(name, id); });
    NameLinkLoss(name, id, true);
    if (alarms_) {
        alarms_->Follow(name, id);
    }
    Feed(name, id);
}

void CPlantOverview::NameLinkLoss(const std::string& name, uint32_t id, bool named) {
    if (!named) {
        manager_.SetLinkLossReport(id, {});  // in front: the lost link is the console's
        return;
    }
    manager_.SetLinkLossReport(id, [name](const std::string& reason) {
        const QString instrument = QString::fromLatin1(name.c_str());
        ShowStatusMessage((reason.empty()
                               ? tr("Lost the link to %1").arg(instrument)
                               : tr("Lost the link to %1: %2")
                                     .arg(instrument, QString::fromLatin1(reason.c_str())))
                              .toLatin1()
                              .toStdString());
    });
}

void CPlantOverview::OnLinkLost(const std::string& name, uint32_t id) {
    // The manager has closed the connection and said why in the status text.
    Unsubscribe(id);
    Polled* polled = Find(name);
    if (polled == nullptr || polled->id != id) {
        return;
    }
    if (polled->stage == Stage::kPolled) {
        model_.EndSession(name);  // a lent one's row ends with the console's connection
    }
    polled->stage = Stage::kProbed;
    polled->id = 0;
    polled->notBeforeNs = SteadyNowNs() + int64_t{retryAfterMs_} * 1000000;
    Retarget();
}

void CPlantOverview::Unsubscribe(uint32_t id) {
    if (!manager_.initialised()) {
        return;
    }
    CEventHub& hub = manager_.hub();
    hub.Unsubscribe(kPolledRefreshed, DataRefreshedEvent(id));
    hub.Unsubscribe(kPolledLost, CommErrorEvent(id));
}

void CPlantOverview::Drop(const std::string& name, Polled& polled) {
    switch (polled.stage) {
        case Stage::kPolled:
            Unsubscribe(polled.id);
            manager_.CloseConnection(polled.id);
            if (alarms_) {
                alarms_->Forget(name);
            }
            break;
        case Stage::kLent:
            Unsubscribe(polled.id);
            // One closed without its view (which could not be made) has no closed event.
            if (alarms_ && !manager_.FindConnection(polled.id)) {
                alarms_->Forget(name);
            }
            break;
        case Stage::kLoggingIn:
            CancelOwnLogin();
            break;
        default:
            break;
    }
    polled.stage = Stage::kProbed;
    polled.id = 0;
    polled.password.clear();
}

void CPlantOverview::CancelOwnLogin() {
    if (loggingIn_.empty()) {
        return;
    }
    // Its result is never reported.
    manager_.CancelLogin();
    if (Polled* polled = Find(loggingIn_)) {
        polled->stage = Stage::kProbed;
    }
    loggingIn_.clear();
}

CPlantOverview::Polled* CPlantOverview::Find(const std::string& name) {
    const auto it = polled_.find(name);
    return it != polled_.end() ? &it->second : nullptr;
}

const CPlantOverview::Polled* CPlantOverview::Find(const std::string& name) const {
    const auto it = polled_.find(name);
    return it != polled_.end() ? &it->second : nullptr;
}

// --- IConnectionPool ---------------------------------------------------------------------

bool CPlantOverview::Holds(const std::string& instrument, const std::string& user) const {
    const Polled* polled = Find(instrument);
    return polled != nullptr && polled->stage == Stage::kPolled && polled->user == user;
}

uint32_t CPlantOverview::Lend(const std::string& instrument, const std::string& user) {
    Polled* polled = Find(instrument);
    CInstrumentConnection* connection =
        Holds(instrument, user) ? manager_.FindConnection(polled->id).value_or(nullptr) : nullptr;
    if (connection != nullptr) {
        SetScreenImagePolling(*connection, true);
        NameLinkLoss(instrument, polled->id, false);
        polled->stage = Stage::kLent;
        return polled->id;
    }
    // The console logs in itself: the instrument gets no other connection of the console's, and
    // the log-in thread is free for it.
    if (polled != nullptr && polled->stage != Stage::kLent) {
        if (polled->stage == Stage::kPolled) {
            model_.EndSession(instrument);
        }
        Drop(instrument, *polled);
    }
    CancelOwnLogin();
    Retarget();
    return 0;
}

bool CPlantOverview::TakeBack(const std::string& instrument, const std::string& user, uint32_t id) {
    const int row = model_.RowOf(instrument);
    if (!started_ || row < 0) {
        return false;
    }
    // Polling goes on only with the password remembered, as a log-in of the overview's needs.
    const CInstrumentPrefs prefs = frame_.InstrumentPrefs(instrument);
    if (!prefs.rememberPassword || prefs.userName != user) {
        return false;
    }
    Polled& polled = polled_[instrument];
    if (polled.loggedOut) {
        return false;
    }
    if (polled.stage == Stage::kLent && polled.id == id) {
        CInstrumentConnection* connection = manager_.FindConnection(id).value_or(nullptr);
        if (connection == nullptr) {
            return false;
        }
        SetScreenImagePolling(*connection, false);
        NameLinkLoss(instrument, id, true);
        polled.stage = Stage::kPolled;
        return true;
    }
    // The console's own connection: the overview takes it over.
    Drop(instrument, polled);
    polled.address = model_.Instruments()[static_cast<size_t>(row)].address;
    polled.user = user;
    Adopt(instrument, polled, id);
    return polled.stage == Stage::kPolled;
}
