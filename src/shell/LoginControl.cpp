#include "shell/LoginControl.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "shell/MainFrame.h"
#include "shell/StatusRelay.h"

namespace {

// The frame as a subscriber of the hub.
constexpr HubSubscriber kClosedSubscriber{HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_CONNECTION_CLOSED};
constexpr HubSubscriber kRefreshedSubscriber{HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_DATA_REFRESHED};

// What the display menus need, read from the connection's published model at each drop-down.
InstrumentFacts ReadFacts(CConnectionManager& manager, uint32_t id) {
    InstrumentFacts facts;
    const RzExpected<CInstrumentConnection*> connection = manager.FindConnection(id);
    if (!connection) {
        return facts;
    }
    const auto model = std::make_unique<CInstrumentModel>((*connection)->CopyModel());
    facts.modelClass = model->modelClass;
    facts.version = model->version;
    for (size_t i = 0; i < facts.patternStates.size() && i < size_t(kPatterns); ++i) {
        facts.patternStates[i] = model->patterns[i].state;
    }
    return facts;
}

}  // namespace

CLoginControl::CLoginControl(CConnectionManager& manager, CMainFrame& frame,
                             ConnectionViewMaker makeView)
    : manager_(manager), frame_(frame), makeView_(std::move(makeView)) {
    frame_.SetLoginController(this);
    manager_.SetViewFactory([this](uint32_t id) -> std::unique_ptr<IConnectionView> {
        const RzExpected<CInstrumentConnection*> connection = manager_.FindConnection(id);
        if (!makeView_ || !connection) {
            return nullptr;
        }
        made_ = makeView_(**connection, manager_.hub(), id, frame_);
        return std::move(made_.owner);
    });
}

CLoginControl::~CLoginControl() {
    if (manager_.LoginRunning()) {
        manager_.CancelLogin();
    }
    const std::vector<Session> open = std::exchange(sessions_, {});
    for (const Session& session : open) {
        Unsubscribe(session);
    }
    manager_.SetViewFactory({});
    frame_.SetLoginController(nullptr);
    SetBusy(false);
}

void CLoginControl::StartLogin(const LoginRequest& request) {
    instrument_ = request.instrumentName;
    address_ = request.address;
    user_ = request.userName;
    if (pool_ != nullptr) {
        if (const uint32_t id = pool_->Lend(instrument_, user_); id != 0) {
            lending_ = true;
            OnLoginDone(id);
            lending_ = false;
            return;
        }
    }
    ShowStatusMessage("Connecting to " + instrument_ + " (" + address_ + ")...");
    const RzExpected<void> started = manager_.StartLogin(
        request.address.c_str(), request.userName.c_str(), request.password.c_str(), request.port,
        [this](const RzExpected<uint32_t>& result) { OnLoginDone(result); },
        [this](const CLoginProgress& progress) { OnProgress(progress); });
    if (!started) {
        ShowStatusMessages(started.error());
        frame_.LoginFailed();
        return;
    }
    SetBusy(true);
}

void CLoginControl::OnProgress(const CLoginProgress& progress) {
    switch (progress.phase) {
        case CLoginProgress::kConnecting:
            ShowStatusMessage("Connecting to " + instrument_ + " (" + address_ + ")...");
            break;
        case CLoginProgress::kLoggingIn:
            ShowStatusMessage("Logging in to " + instrument_ + "...");
            break;
        case CLoginProgress::kIdentifying:
            ShowStatusMessage("Identifying " + instrument_ + "...");
            break;
        case CLoginProgress::kRefreshing:
            ShowStatusMessage("Loading settings " + std::to_string(progress.step) + "/" +
                              std::to_string(progress.steps));
            break;
    }
}

void CLoginControl::CancelLogin() {
    if (!manager_.LoginRunning()) {
        return;
    }
    manager_.CancelLogin();
    SetBusy(false);
    ShowStatusMessage("Log-in to " + instrument_ + " cancelled");
    frame_.LoginFailed();
}

void CLoginControl::OnLoginDone(const RzExpected<uint32_t>& result) {
    SetBusy(false);
    if (!result) {
        // The messages the failure brought, then why, last: after the texts the progress
        // reports showed.
        ShowStatusMessages(result.error());
        ShowStatusMessage("Log-in to " + instrument_ + " failed: " + result.error().text);
        frame_.LoginFailed();
        const std::string& failure = result.error().text;
        emit LoginEnded(
            QString::fromLatin1(instrument_.c_str()), result.code(),
            QString::fromLatin1(failure.data(), static_cast<qsizetype>(failure.size())));
        return;
    }
    const uint32_t id = *result;
    made_ = {};
    const RzExpected<IConnectionView*> created = manager_.CreateView(id);
    IConnectionView* view = created.value_or(nullptr);
    if (view == nullptr || made_.widget == nullptr) {
        manager_.CloseConnection(id);
        ShowStatusMessage("The view of " + instrument_ + " could not be made");
        frame_.LoginFailed();
        emit LoginEnded(QString::fromLatin1(instrument_.c_str()), LINK_E_GENERAL, QString());
        return;
    }
    CEventHub& hub = manager_.hub();
    if (sessions_.empty()) {
        hub.Subscribe(kClosedSubscriber, kConnectionClosedEvent,
                      [this](uint32_t closed) { OnConnectionClosed(closed); });
    }
    const ConnectionView made = std::move(made_);
    made_ = {};
    sessions_.push_back({instrument_, user_, id, made.widget, false});
    frame_.LoginSucceeded(
        made.widget, made.commands, [&manager = manager_, id] { return ReadFacts(manager, id); },
        made.shown);
    if (made.placed) {
        made.placed();
    }
    if (lending_ && made.commands != nullptr) {
        // The pool's connection fetched no screen image and may hold settings that changed
        // since its log-in: the view starts from a full refresh, as after a log-in.
        made.commands->Run(Command::kRefresh);
    }
    emit LoginEnded(QString::fromLatin1(instrument_.c_str()), RZ_OK, QString());
    // Subscribed after the view: the view has shown the data when this handler runs.
    for (Session& session : sessions_) {
        if (session.id == id) {
            session.waitingForData = true;
            hub.Subscribe(kRefreshedSubscriber, DataRefreshedEvent(id),
                          [this, id](uint32_t) { OnDataRefreshed(id); });
        }
    }
}

void CLoginControl::OnDataRefreshed(uint32_t id) {
    for (Session& session : sessions_) {
        if (session.id == id && session.waitingForData) {
            session.waitingForData = false;
            manager_.hub().Unsubscribe(kRefreshedSubscriber, DataRefreshedEvent(id));
            emit FirstDataShown();
            return;
        }
    }
}

uint32_t CLoginControl::ConnectionOf(const std::string& name) const {
    for (const Session& session : sessions_) {
        if (session.instrument == name) {
            return session.id;
        }
    }
    return 0;
}

std::shared_ptr<const CExchangeTrace> CLoginControl::TraceOf(const QWidget* view) const {
    for (const Session& session : sessions_) {
        if (session.view == view) {
            return manager_.Trace(session.id);
        }
    }
    return nullptr;
}

void CLoginControl::Logout() {
    if (!sessions_.empty()) {
        LogoutFrom(sessions_.back().view);
    }
}

void CLoginControl::LogoutFrom(const QWidget* view) {
    const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                                 [view](const Session& s) { return s.view == view; });
    if (it == sessions_.end()) {
        return;
    }
    const Session session = *it;
    if (pool_ != nullptr && pool_->TakeBack(session.instrument, session.user, session.id)) {
        // Only the view ends; the pool polls on over the connection.
        End(session.id);
        manager_.ReleaseView(session.id);
        return;
    }
    // The link is closed first, so even an exchange waiting on a silent instrument ends at
    // once; the connection-closed event closes the instrument's tab.
    manager_.CloseConnection(session.id);
    End(session.id);
}

void CLoginControl::OnConnectionClosed(uint32_t id) {
    End(id);
}

void CLoginControl::End(uint32_t id) {
    const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                                 [id](const Session& s) { return s.id == id; });
    if (it == sessions_.end()) {
        return;
    }
    const Session session = *it;
    sessions_.erase(it);
    Unsubscribe(session);
    frame_.ConnectionClosed(session.view);
    emit ConnectionEnded(QString::fromLatin1(session.instrument.c_str()));
}

void CLoginControl::Unsubscribe(const Session& session) {
    if (!manager_.initialised()) {
        return;
    }
    CEventHub& hub = manager_.hub();
    if (sessions_.empty()) {
        hub.Unsubscribe(kClosedSubscriber, kConnectionClosedEvent);
    }
    hub.Unsubscribe(kRefreshedSubscriber, DataRefreshedEvent(session.id));
}

void CLoginControl::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}
