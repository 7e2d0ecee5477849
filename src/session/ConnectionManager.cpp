#include "session/ConnectionManager.h"

#include <new>

#include "platform/Configuration.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "session/ExchangeTrace.h"
#include "session/LoginDialogue.h"
#include "session/LoginJob.h"
#include "transport/LinkSocket.h"

static_assert(kLastConnectionId < HUB_CHANNEL_MANAGER, "ids stay below the hub's channels");
static_assert(kLastConnectionId <= 0xFFFFFFFFu / 256u - 1u, "event keys of an id fit 32 bits");

namespace {

// The manager hears each connection's communication-error event under this number.
constexpr HubSubscriber kCommErrorSubscriber{CConnectionManager::kChannel, HUB_EVENT_COMM_ERROR};

}  // namespace

std::optional<uint32_t> CConnectionIds::Take(const std::function<bool(uint32_t)>& inUse) {
    constexpr uint32_t kIds = kLastConnectionId - kFirstConnectionId + 1;
    for (uint32_t tried = 0; tried < kIds; ++tried) {
        uint32_t id = next_;
        if (id < kFirstConnectionId || id > kLastConnectionId) {
            id = kFirstConnectionId;
        }
        next_ = id == kLastConnectionId ? kFirstConnectionId : id + 1;
        if (!inUse || !inUse(id)) {
            return id;
        }
    }
    return std::nullopt;
}

CConnectionManager::CConnectionManager(TransportFactory transportFactory,
                                       uint32_t firstConnectionId)
    : transportFactory_(std::move(transportFactory)), connectionIds_(firstConnectionId) {
    if (!transportFactory_) {
        transportFactory_ = []() -> std::unique_ptr<CLinkTransport> {
            return std::unique_ptr<CLinkTransport>(new (std::nothrow) CLinkSocket());
        };
    }
}

CConnectionManager::~CConnectionManager() {
    CloseAll();
}

RzResult CConnectionManager::Init() {
    CloseAll();
    hub_.SetupStandard();
    records_.clear();
    initialised_ = true;
    return RZ_OK;
}

// On the log-in thread, once the instrument is identified: the connection is made with the next
// id, checks the identity, binds its commands and runs its first full refresh.
RzExpected<void> CConnectionManager::PrepareConnection(LoginJob& job,
                                                       const CInstrumentIdentity& identity,
                                                       const RefreshProgress& progress) {
    // The counter belongs to the log-in of the moment (one at a time); the ids in use were
    // noted when the log-in started.
    const uint32_t id = connectionIds_
                            .Take([&job](uint32_t used) {
                                return std::find(job.idsInUse.begin(), job.idsInUse.end(), used) !=
                                       job.idsInUse.end();
                            })
                            .value_or(0);
    if (id != 0) {
        job.connection.reset(new (std::nothrow)
                                 CInstrumentConnection(id, &hub_, job.link.get(), &eventContext_));
    }
    if (!job.connection) {
        return RzError(LINK_E_NO_MEMORY, {}, {RzString(RzStr::kOutOfMemory)});
    }
    CInstrumentConnection& connection = *job.connection;
    RzExpected<void> prepared = connection.Prepare(identity);
    if (!prepared) {
        return prepared;
    }
    connection.SetScreenPolling(job.screenPolling);
    const RzResult result = connection.Refresh(progress);
    if (result != RZ_OK) {
        return RzError(result, {}, {RzString(RzStr::kStartRefreshFailed)});
    }
    connection.ApplyStartNames();
    return {};
}

// Back on the GUI thread: the cycle starts and the connection enters the table.
RzExpected<uint32_t> CConnectionManager::AdoptConnection(LoginJob& job) {
    CInstrumentConnection& connection = *job.connection;
    const uint32_t id = connection.id();
    const CCommCycleSetting cycle = ReadCommCycleSetting();
    connection.SetCycle(cycle.cycle, cycle.note);
    RzResult result = connection.StartCycle();
    if (result != RZ_OK) {
        return RzError(result);
    }
    result = hub_.Subscribe(kCommErrorSubscriber, CommErrorEvent(id),
                            [this, id](uint32_t) { OnCommunicationError(id); });
    if (result != RZ_OK) {
        return RzError(result);
    }

    Record record;
    record.id = id;
    record.connection = std::move(job.connection);
    record.trace = job.traceLink != nullptr ? job.traceLink->Trace() : nullptr;
    record.link = std::move(job.link);
    records_.push_back(std::move(record));
    return id;
}

void CConnectionManager::OnCommunicationError(uint32_t id) {
    const Record* record = Find(id);
    const std::string cause = record != nullptr ? record->link->FailureReason() : std::string();
    const auto report = record != nullptr ? record->lossReport : nullptr;
    CloseConnection(id);
    if (report) {
        report(cause);
        return;
    }
    ShowStatusString(RzStr::kLinkBroken);
    if (!cause.empty()) {
        ShowStatusMessage(cause);
    }
}

std::shared_ptr<const CExchangeTrace> CConnectionManager::Trace(uint32_t id) {
    Record* record = Find(id);
    return record != nullptr ? record->trace : nullptr;
}

CConnectionManager::Record* CConnectionManager::Find(uint32_t id) {
    for (auto& record : records_) {
        if (record.id == id) {
            return &record;
        }
    }
    return nullptr;
}

RzResult CConnectionManager::CloseConnection(uint32_t id) {
    if (!initialised_) {
        return LINK_E_NOT_INITIALIZED;
    }
    Record* record = Find(id);
    if (record == nullptr) {
        return RZ_OK;
    }
    // Closed first: a thread that waits for an answer wakes at once instead of waiting out the
    // receive time-out, and nothing is sent on the link any more.
    record->link->Close();
    hub_.Unsubscribe(kCommErrorSubscriber, CommErrorEvent(id));
    if (record->view) {
        hub_.Publish(kConnectionClosedEvent, id);
        // A handler of the event may have closed connections itself.
        record = Find(id);
        if (record == nullptr) {
            return RZ_OK;
        }
        record->view.reset();
    }
    record->connection->StopCycle();
    record->connection.reset();
    record->link.reset();
    for (auto it = records_.begin(); it != records_.end(); ++it) {
        if (it->id == id) {
            records_.erase(it);
            break;
        }
    }
    return RZ_OK;
}

RzResult CConnectionManager::CloseAll() {
    EndLogin();
    if (initialised_) {
        while (!records_.empty()) {
            CloseConnection(records_.front().id);
        }
    }
    initialised_ = false;
    return RZ_OK;
}

RzExpected<CInstrumentConnection*> CConnectionManager::FindConnection(uint32_t id) {
    if (!initialised_) {
        return RzError(LINK_E_NOT_INITIALIZED);
    }
    Record* record = Find(id);
    if (record == nullptr) {
        return RzError(LINK_E_NOT_LOGGED_IN);
    }
    return record->connection.get();
}

RzExpected<IConnectionView*> CConnectionManager::CreateView(uint32_t id) {
    if (!initialised_) {
        return RzError(LINK_E_NOT_INITIALIZED);
    }
    Record* record = Find(id);
    if (record == nullptr) {
        return RzError(LINK_E_NOT_LOGGED_IN);
    }
    if (record->view) {
        return nullptr;
    }
    std::unique_ptr<IConnectionView> view = viewFactory_ ? viewFactory_(id) : nullptr;
    if (!view) {
        return RzError(LINK_E_NO_MEMORY);
    }
    record->view = std::move(view);
    return record->view.get();
}

void CConnectionManager::ReleaseView(uint32_t id) {
    if (Record* record = Find(id)) {
        record->view.reset();
    }
}

void CConnectionManager::SetLinkLossReport(uint32_t id,
                                           std::function<void(const std::string&)> report) {
    if (Record* record = Find(id)) {
        record->lossReport = std::move(report);
    }
}
