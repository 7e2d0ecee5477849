#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What the main window asks of the log-in machinery. Every call returns at once: the log-in
// (connect, log-in dialogue, identification, full refresh) runs off the GUI thread, shows its
// progress and its failures in the status text, and reports its end to the frame on the GUI
// thread (CMainFrame::LoginSucceeded / LoginFailed). Log-out and a lost link end with
// CMainFrame::ConnectionClosed.
struct LoginRequest {
    std::string instrumentName;
    std::string address;  // dotted IPv4 text without blanks
    uint16_t port = 34260;
    std::string userName;
    std::string password;  // handed on once, never kept
};

class CExchangeTrace;
class QWidget;

class ILoginController {
  public:
    virtual ~ILoginController() = default;
    virtual void StartLogin(const LoginRequest& request) = 0;
    // Abandons a log-in that has not finished: no connection is left behind.
    virtual void CancelLogin() = 0;
    // Closes the connection of the last successful log-in.
    virtual void Logout() = 0;
    // Closes the connection whose view is `view` (with several instruments open, each in a tab
    // of the frame). A controller of one log-in at a time closes that of the last one.
    virtual void LogoutFrom(const QWidget* /*view*/) { Logout(); }
    // The exchanges of the last successful log-in's connection; null when there is none.
    virtual std::shared_ptr<const CExchangeTrace> Trace() const { return nullptr; }
    // The exchanges of the connection whose view is `view`; null when there is none.
    virtual std::shared_ptr<const CExchangeTrace> TraceOf(const QWidget* /*view*/) const {
        return Trace();
    }
    // Whether a log-in to `instrument` as `user` would take over a connection that is logged in
    // already (the plant overview's), so that no password need be asked for.
    virtual bool LoggedInAlready(const std::string& /*instrument*/,
                                 const std::string& /*user*/) const {
        return false;
    }
};
