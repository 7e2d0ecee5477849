#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/ConnectionManager.h"
#include "shell/LoginController.h"
#include "ui/CommandTarget.h"

class CMainFrame;
class QWidget;

// A connection's view as the main window takes it: the widget that becomes the client pane (its
// Qt parent owns it), the handler of its commands, and the manager's hold on it (which destroys
// the view when the connection closes, unless its parent has destroyed it already).
struct ConnectionView {
    std::unique_ptr<IConnectionView> owner;
    QWidget* widget = nullptr;
    ICommandTarget* commands = nullptr;
    // Called once the widget is the main window's client pane.
    std::function<void()> placed;
    // Called with whether the view's tab is the one the window shows: the connection fetches
    // the screen image only while it is.
    std::function<void(bool)> shown;
};

// Makes the view of connection `id` and connects its layout changes (grow or shrink, control
// bars shown or hidden) to `frame`.
using ConnectionViewMaker = std::function<ConnectionView(
    CInstrumentConnection& connection, CEventHub& hub, uint32_t id, CMainFrame& frame)>;

// Connections that the console keeps logged in besides the one its window shows (the plant
// overview's). The log-in controller asks the pool first, so that an instrument never gets a
// second connection from the console. Called on the GUI thread; no call waits.
class IConnectionPool {
  public:
    virtual ~IConnectionPool() = default;
    // Whether the pool has a connection to `instrument` logged in as `user`.
    virtual bool Holds(const std::string& instrument, const std::string& user) const = 0;
    // A log-in of the console to `instrument` as `user` starts. Returns the pool's connection to
    // it, which now fetches the screen image too and is the console's until TakeBack; or 0, and
    // then the pool has made way for the log-in: it keeps no connection to the instrument and
    // runs no log-in of its own (the manager runs one at a time).
    virtual uint32_t Lend(const std::string& instrument, const std::string& user) = 0;
    // The console's view of connection `id` ends by log-out: true when the pool polls on over it
    // (without the screen image), false when it is to be closed.
    virtual bool TakeBack(const std::string& instrument, const std::string& user, uint32_t id) = 0;
};

// Runs the main window's log-in, log-out and lost links over the connection manager. The log-in
// runs as the manager's asynchronous log-in: its progress goes to the status text, the busy
// cursor shows while it runs, and the window goes on answering. A failed log-in ends with
// "Log-in to NAME failed: " and where and why it failed. On success the connection's
// view is made through the manager's view factory and handed to the frame; the manager's
// connection-closed event (after a log-out or a lost link) returns the frame to the logo pane.
// With a connection pool, a log-in takes the pool's connection to the instrument when it has one
// (the view starts with a full refresh, as after a log-in, instead of a second log-in), and a
// log-out hands the connection back when the pool takes it.
//
// Each successful log-in opens one more instrument in its own tab of the frame; a log-out or a
// lost link closes that one alone.
class CLoginControl : public QObject, public ILoginController {
    Q_OBJECT
  public:
    // Becomes `frame`'s log-in controller; `manager` must be initialised and outlive this.
    CLoginControl(CConnectionManager& manager, CMainFrame& frame, ConnectionViewMaker makeView);
    ~CLoginControl() override;
    CLoginControl(const CLoginControl&) = delete;
    CLoginControl& operator=(const CLoginControl&) = delete;

    void StartLogin(const LoginRequest& request) override;
    void CancelLogin() override;
    // Logs out from the instrument of the last successful log-in still open.
    void Logout() override;
    void LogoutFrom(const QWidget* view) override;
    std::shared_ptr<const CExchangeTrace> Trace() const override {
        return manager_.Trace(ConnectionId());
    }
    std::shared_ptr<const CExchangeTrace> TraceOf(const QWidget* view) const override;
    bool LoggedInAlready(const std::string& instrument, const std::string& user) const override {
        return pool_ != nullptr && pool_->Holds(instrument, user);
    }
    // The pool asked before every log-in (null: none); it must outlive this or be reset.
    void SetConnectionPool(IConnectionPool* pool) { pool_ = pool; }

    // The connection of the last successful log-in still open, 0 while none is.
    uint32_t ConnectionId() const { return sessions_.empty() ? 0 : sessions_.back().id; }
    // The connection of the open instrument `name`, 0 when it is not open.
    uint32_t ConnectionOf(const std::string& name) const;

  signals:
    // The first data-refreshed event after a log-in has reached the view.
    void FirstDataShown();
    // A log-in to the registered instrument `name` ended: RZ_OK when logged in (ConnectionId()
    // is its connection), LINK_E_LOGIN when the instrument refused it, another code when it
    // failed otherwise, with why in the operator's words in `failure` (its bytes as Latin-1).
    // A cancelled log-in does not report.
    void LoginEnded(const QString& name, int result, const QString& failure);
    // The connection of the log-in to `name` closed: a log-out or a lost link.
    void ConnectionEnded(const QString& name);

  private:
    // One instrument open: its connection and the view the frame shows in its tab.
    struct Session {
        std::string instrument;
        std::string user;
        uint32_t id = 0;
        const QWidget* view = nullptr;
        bool waitingForData = false;
    };

    void OnProgress(const CLoginProgress& progress);
    void OnLoginDone(const RzExpected<uint32_t>& result);
    void OnConnectionClosed(uint32_t id);
    void OnDataRefreshed(uint32_t id);
    void SetBusy(bool busy);
    // Ends the session's subscriptions (and, with the last one, that of closed connections).
    void Unsubscribe(const Session& session);
    // Takes the session out of the list; the frame closes its tab.
    void End(uint32_t id);

    CConnectionManager& manager_;
    CMainFrame& frame_;
    ConnectionViewMaker makeView_;
    // The log-in that runs, or ran last.
    std::string instrument_;
    std::string address_;
    std::string user_;
    IConnectionPool* pool_ = nullptr;
    bool lending_ = false;  // the pool's connection is being made the view's
    bool busy_ = false;
    std::vector<Session> sessions_;  // in the order of their log-ins
    // The view the factory made last, until the frame takes it.
    ConnectionView made_;
};
