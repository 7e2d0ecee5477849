#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

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
};

// Makes the view of connection `id` and connects its layout changes (grow or shrink, control
// bars shown or hidden) to `frame`.
using ConnectionViewMaker = std::function<ConnectionView(
    CInstrumentConnection& connection, CEventHub& hub, uint32_t id, CMainFrame& frame)>;

// Runs the main window's log-in, log-out and lost links over the connection manager. The log-in
// runs as the manager's asynchronous log-in: its progress goes to the status text, the busy
// cursor shows while it runs, and the window goes on answering. A failed log-in ends with
// "Log-in to NAME failed: " and where and why it failed. On success the connection's
// view is made through the manager's view factory and handed to the frame; the manager's
// connection-closed event (after a log-out or a lost link) returns the frame to the logo pane.
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
    void Logout() override;
    std::shared_ptr<const CExchangeTrace> Trace() const override {
        return manager_.Trace(connectionId_);
    }

    // The connection of the last successful log-in, 0 while logged out.
    uint32_t ConnectionId() const { return connectionId_; }
    // Why the last log-in failed, in the operator's words.
    const std::string& LoginFailure() const { return manager_.LoginFailure(); }

  signals:
    // The first data-refreshed event after a log-in has reached the view.
    void FirstDataShown();
    // A log-in to the registered instrument `name` ended: RZ_OK when logged in (ConnectionId()
    // is its connection), LINK_E_LOGIN when the instrument refused it, another code when it
    // failed otherwise. A cancelled log-in does not report.
    void LoginEnded(const QString& name, int result);
    // The connection of the log-in to `name` closed: a log-out or a lost link.
    void ConnectionEnded(const QString& name);

  private:
    void OnProgress(const CLoginProgress& progress);
    void OnLoginDone(RzResult result, uint32_t id);
    void OnConnectionClosed(uint32_t id);
    void OnDataRefreshed();
    void SetBusy(bool busy);
    void Unsubscribe();

    CConnectionManager& manager_;
    CMainFrame& frame_;
    ConnectionViewMaker makeView_;
    std::string instrument_;
    std::string address_;
    bool busy_ = false;
    uint32_t connectionId_ = 0;
    bool waitingForData_ = false;
    // The view the factory made last, until the frame takes it.
    ConnectionView made_;
};
