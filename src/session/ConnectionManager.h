#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/EventHub.h"
#include "platform/ResultCodes.h"
#include "session/InstrumentConnection.h"
#include "transport/LinkTransport.h"

// The instrument's TCP port.
constexpr uint16_t kInstrumentPort = 34260;

// A connection's view as the manager sees it: the console makes one per connection through the
// view factory and the manager destroys it when the connection closes.
class IConnectionView {
  public:
    virtual ~IConnectionView() = default;
    // The handle carried by the connection-closed event.
    virtual uintptr_t Handle() const = 0;
};

using ViewFactory = std::function<std::unique_ptr<IConnectionView>(uint32_t connectionId)>;
using TransportFactory = std::function<std::unique_ptr<CLinkTransport>()>;

// Connection ids count up from kFirstConnectionId and wrap after kLastConnectionId, so that an
// id never reaches the hub's own channels (HUB_CHANNEL_MANAGER and up) and an event key
// (id × 256 + event) always fits.
constexpr uint32_t kFirstConnectionId = 100000;
constexpr uint32_t kLastConnectionId = 199999;

// Takes the id at `*counter` and moves the counter on, wrapping within kFirstConnectionId to
// kLastConnectionId (a counter outside that range starts again at kFirstConnectionId). Ids for
// which `inUse` holds are skipped; 0 when every id is in use.
uint32_t TakeConnectionId(uint32_t* counter, const std::function<bool(uint32_t)>& inUse);

// The process's table of instrument connections: log-in, identification, connection start,
// log-out, and the closing of a connection whose link broke. GUI thread only.
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
    // Connects to `ip`:`port`, logs in, identifies the instrument and starts the connection.
    // Returns 0 with the new connection id, or a code (the reason is in the status text).
    RzResult ConnectAndLogin(const char* ip, const char* user, const char* password,
                             uint32_t* outId, uint16_t port = kInstrumentPort);
    // Ends one connection; 0 also for an unknown id.
    RzResult CloseConnection(uint32_t id);
    // Closes every connection and clears the ready mark.
    RzResult CloseAll();
    RzResult FindConnection(uint32_t id, CInstrumentConnection** outConnection);
    // Creates the connection's view once; a second call returns 0 and no view.
    RzResult CreateView(uint32_t id, IConnectionView** outView);

    void SetViewFactory(ViewFactory factory) { viewFactory_ = std::move(factory); }
    // Receive time-out given to every new link (default 10000 ms).
    void SetLinkTimeout(uint32_t ms) { linkTimeoutMs_ = ms; }

    CEventHub& hub() { return hub_; }
    bool initialised() const { return initialised_; }
    size_t ConnectionCount() const { return records_.size(); }

    static constexpr uint32_t kChannel = HUB_CHANNEL_MANAGER;

  private:
    struct Record {
        uint32_t id = 0;
        uintptr_t viewHandle = 0;
        std::unique_ptr<CInstrumentConnection> connection;
        std::unique_ptr<CLinkTransport> link;
        std::unique_ptr<IConnectionView> view;
    };

    RzResult StartConnection(std::unique_ptr<CLinkTransport>& link,
                             const CInstrumentIdentity& identity, uint32_t* outId);
    void OnCommunicationError(uint32_t key);
    Record* Find(uint32_t id);

    bool initialised_ = false;
    // Lost links are reported through the event loop on this object (GUI thread).
    QObject eventContext_;
    CEventHub hub_;
    std::vector<Record> records_;
    ViewFactory viewFactory_;
    TransportFactory transportFactory_;
    uint32_t nextConnectionId_;
    uint32_t linkTimeoutMs_ = kDefaultLinkTimeoutMs;
};
