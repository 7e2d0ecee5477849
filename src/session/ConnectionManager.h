#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/EventHub.h"
#include "platform/Expected.h"
#include "platform/ResultCodes.h"
#include "session/GuiDispatcher.h"
#include "session/InstrumentConnection.h"
#include "transport/LinkTransport.h"

// The instrument's TCP port.
constexpr uint16_t kInstrumentPort = 34260;

// A connection's view as the manager sees it: the console makes one per connection through the
// view factory and the manager destroys it when the connection closes.
class CExchangeTrace;

class IConnectionView {
  public:
    virtual ~IConnectionView() = default;
};

using ViewFactory = std::function<std::unique_ptr<IConnectionView>(uint32_t connectionId)>;
using TransportFactory = std::function<std::unique_ptr<CLinkTransport>()>;

// Connection ids count up from kFirstConnectionId and wrap after kLastConnectionId, so that an
// id never reaches the hub's own channels (HUB_CHANNEL_MANAGER and up) and an event key
// (id × 256 + event) always fits.
constexpr uint32_t kFirstConnectionId = 100000;
constexpr uint32_t kLastConnectionId = 199999;

// The counter that hands out connection ids.
class CConnectionIds {
  public:
    explicit CConnectionIds(uint32_t next = kFirstConnectionId) : next_(next) {}

    // Takes the id the counter stands at and moves the counter on, wrapping within
    // kFirstConnectionId to kLastConnectionId (a counter outside that range starts again at
    // kFirstConnectionId). Ids for which `inUse` holds are skipped; none when every id is in use.
    std::optional<uint32_t> Take(const std::function<bool(uint32_t)>& inUse);
    // Where the counter stands.
    uint32_t Next() const { return next_; }

  private:
    uint32_t next_;
};

// How far a log-in has come, reported on the GUI thread.
struct CLoginProgress {
    enum Phase { kConnecting, kLoggingIn, kIdentifying, kRefreshing };
    Phase phase = kConnecting;
    int step = 0;  // while refreshing: step k of `steps` of the full refresh
    int steps = 0;
};
using LoginProgressHandler = std::function<void(const CLoginProgress&)>;
// The log-in's result: the new connection's id, or why the log-in failed. Its text says in the
// operator's words where the log-in stopped and what the instrument said ("time-out while
// waiting for the password prompt", "password refused (E1 Login failed)"), its messages are
// the status lines the failure brought (the instrument's answer, "The socket Open error!").
using LoginDoneHandler = std::function<void(const RzExpected<uint32_t>& result)>;

// The process's table of instrument connections: log-in, identification, connection start,
// log-out, and the closing of a connection whose link broke. Called on the GUI thread only; the
// log-in itself runs on a thread of its own (see StartLogin).
class CConnectionManager {
  public:
    // `transportFactory` makes the link of each log-in (CLinkSocket objects when empty);
    // `firstConnectionId` is the id the first connection start takes.
    explicit CConnectionManager(TransportFactory transportFactory = {},
                                uint32_t firstConnectionId = kFirstConnectionId);
    ~CConnectionManager();
    CConnectionManager(const CConnectionManager&) = delete;
    CConnectionManager& operator=(const CConnectionManager&) = delete;

    // Closes every connection, resets the hub, empties the table and marks the manager ready.
    RzResult Init();
    // Starts a log-in on the log-in thread: connect to `ip`:`port`, log-in dialogue,
    // identification, connection start with its full refresh. Progress and the result (with the
    // new id) come back on the GUI thread; the connection's cycle starts there. Returns success
    // when started; otherwise the failure at once (LINK_E_BUSY while another log-in runs, with
    // the message "Log-in is still running") and `done` is never called. A failed log-in leaves no
    // connection and no socket. The log-in thread is started by the first log-in and kept for the
    // next ones until CloseAll: a thread that has run before exchanges markedly faster than a fresh
    // one (the scheduler places it next to the threads it talks to: a bare client's log-in and
    // refresh took 1.95 ms on a new thread and 1.5 ms on a kept one), and a log-in need not start a
    // thread.
    RzExpected<void> StartLogin(const char* ip, const char* user, const char* password,
                                uint16_t port, LoginDoneHandler done,
                                LoginProgressHandler progress = {});
    // Ends the running log-in at once: its link is abandoned, which wakes any wait (a connect's
    // too) and refuses any later connect, and its handlers are not called any more. The log-in
    // thread hands the job back at once; LoginRunning() holds until the event loop hears of it,
    // but a cancelled log-in never makes StartLogin refuse a new one.
    void CancelLogin();
    bool LoginRunning() const { return login_ != nullptr; }
    // StartLogin, waiting for the result (command-line programs, tests): the new connection's
    // id, or why the log-in failed or did not start.
    RzExpected<uint32_t> ConnectAndLogin(const char* ip, const char* user, const char* password,
                                         uint16_t port = kInstrumentPort);
    // Ends one connection; 0 also for an unknown id.
    RzResult CloseConnection(uint32_t id);
    // Closes every connection and clears the ready mark.
    RzResult CloseAll();
    // The connection with `id`; LINK_E_NOT_INITIALIZED before Init, LINK_E_NOT_LOGGED_IN for an
    // unknown id.
    RzExpected<CInstrumentConnection*> FindConnection(uint32_t id);
    // The exchanges of a connection since its log-in dialogue, or null for an unknown id. The
    // trace outlives the connection for as long as it is held.
    std::shared_ptr<const CExchangeTrace> Trace(uint32_t id);
    // Creates the connection's view once; a second call succeeds with no view (null).
    RzExpected<IConnectionView*> CreateView(uint32_t id);
    // Ends the connection's view and keeps the connection, whose cycle goes on (a view can be
    // made for it again); nothing for an unknown id. No connection-closed event is published.
    void ReleaseView(uint32_t id);
    // Has a lost link of connection `id` told to `report`, with the link's reason (empty when it
    // gave none), instead of the status text's general lost-link text and the reason: for a
    // connection kept in the background, whose owner names the instrument. An empty `report`
    // restores the general text; nothing for an unknown id.
    void SetLinkLossReport(uint32_t id, std::function<void(const std::string& reason)> report);

    void SetViewFactory(ViewFactory factory) { viewFactory_ = std::move(factory); }
    // Receive time-out given to every new link (default 10000 ms).
    void SetLinkTimeout(uint32_t ms) { linkTimeoutMs_ = ms; }
    // Whether the connections of the log-ins started from now on fetch the screen image, from
    // their full refresh on (default on; see CInstrumentConnection::SetScreenPolling).
    void SetScreenPolling(bool on) { screenPolling_ = on; }

    CEventHub& hub() { return hub_; }
    bool initialised() const { return initialised_; }
    size_t ConnectionCount() const { return records_.size(); }

    static constexpr uint32_t kChannel = HUB_CHANNEL_MANAGER;

  private:
    struct Record {
        uint32_t id = 0;
        std::unique_ptr<CInstrumentConnection> connection;
        std::unique_ptr<CLinkTransport> link;
        std::shared_ptr<CExchangeTrace> trace;
        std::unique_ptr<IConnectionView> view;
        std::function<void(const std::string&)> lossReport;  // see SetLinkLossReport
    };

    struct LoginJob;

    // Log-in thread.
    void LoginThreadMain();
    void RunLogin(LoginJob& job);
    RzExpected<void> PrepareConnection(LoginJob& job, const CInstrumentIdentity& identity,
                                       const RefreshProgress& progress);
    // GUI thread.
    void ReportLogin(uint64_t number, const CLoginProgress& progress);
    void FinishLogin(uint64_t number);
    RzExpected<uint32_t> AdoptConnection(LoginJob& job);
    static void DiscardLogin(LoginJob& job);
    void EndLogin();
    void WaitForLoginHandBack();
    void StopLoginThread();
    void OnCommunicationError(uint32_t id);
    Record* Find(uint32_t id);

    bool initialised_ = false;
    // Lost links are reported through the event loop on this object (GUI thread).
    QObject eventContext_;
    CEventHub hub_;
    std::vector<Record> records_;
    ViewFactory viewFactory_;
    TransportFactory transportFactory_;
    CConnectionIds connectionIds_;
    uint32_t linkTimeoutMs_ = kDefaultLinkTimeoutMs;
    bool screenPolling_ = true;
    // The running log-in and the calls its thread hands to the GUI thread.
    std::unique_ptr<LoginJob> login_;
    uint64_t logins_ = 0;
    CGuiDispatcher loginCalls_;
    // Hand-over of a job to the log-in thread and back.
    std::mutex loginMutex_;
    std::condition_variable loginCv_;
    LoginJob* loginQueued_ = nullptr;  // handed to the thread, not yet taken
    bool loginBusy_ = false;           // the thread has a job it has not handed back
    bool loginQuit_ = false;
    std::thread loginThread_;
};
