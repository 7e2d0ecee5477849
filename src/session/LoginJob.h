#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "session/ConnectionManager.h"
#include "session/ExchangeTrace.h"

// One log-in in progress. The log-in thread uses the link and the connection until it hands the
// job back to the GUI thread; the handlers are touched on the GUI thread only.
struct CConnectionManager::LoginJob {
    uint64_t number = 0;
    std::string ip;
    std::string user;
    std::string password;
    uint16_t port = kInstrumentPort;
    bool screenPolling = true;       // the connection's from its full refresh on
    std::vector<uint32_t> idsInUse;  // ids of the connections open when the log-in started
    std::unique_ptr<CLinkTransport> link;
    CTraceLink* traceLink = nullptr;  // the link, which records the password hidden
    std::unique_ptr<CInstrumentConnection> connection;  // made once the instrument is identified
    std::atomic<bool> cancelled{false};
    // Written by the log-in thread before it hands the job back: success, or why it failed in
    // the operator's words with the messages the failure brought.
    RzExpected<void> result;
    bool opened = false;  // the link was opened (a link that never opened is not closed)
    LoginDoneHandler done;
    LoginProgressHandler progress;
};
