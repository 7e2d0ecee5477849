#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "SimAcceptor.h"
#include "SimDispatcher.h"
#include "SimFaults.h"
#include "SimInstrument.h"
#include "SimLimits.h"
#include "SimRequestLog.h"

// What a client session needs of the server. Every call is thread-safe.
class CSimSessionHost {
  public:
    virtual ~CSimSessionHost() = default;
    virtual CSimFaults Faults() const = 0;
    virtual std::string Greeting() const = 0;
    virtual std::optional<CSimUser> FindUser(std::string_view name) const = 0;
    virtual std::string Dispatch(std::string_view request, const CSimUser& user) = 0;
    virtual void Record(int session, SimRequestPhase phase, std::string_view text) = 0;
    // Readable once the server stops; sessions wait on it beside their socket.
    virtual int StopFd() const = 0;
};

// The simulator's TCP server for one instrument: an accept thread (its own, or one a plant's
// instruments share) takes the clients, one thread serves each client, up to the limit's number
// of clients at once. The instrument state is shared by all clients under one mutex.
class CSimServer : public CSimSessionHost {
  public:
    explicit CSimServer(CSimProfile profile, CSimFaults faults = {}, CSimLimits limits = {});
    ~CSimServer() override;
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Listens on host:port (port 0 picks a free one) and returns the port, or 0 on failure
    // with the reason in LastError(). Only IPv4 addresses are taken.
    uint16_t Start(uint16_t port, const std::string& host = "127.0.0.1");
    // The same, with `acceptor`'s thread taking the clients; it must outlive Stop.
    uint16_t Start(uint16_t port, const std::string& host, CSimAcceptor& acceptor);
    // Ends every session and joins every thread; returns promptly whatever the clients do.
    void Stop();
    bool IsRunning() const { return running_; }
    uint16_t Port() const { return port_; }
    std::string LastError() const { return lastError_; }

    // Fault switches, changeable while clients are connected; a session takes them up at its
    // next request.
    void SetFaults(CSimFaults faults);
    CSimFaults Faults() const override;

    // The most recent requests received (up to the limit's capacity), in order.
    std::vector<CSimRecordedRequest> Requests() const { return log_.Entries(); }
    std::vector<std::string> CommandRequests() const { return log_.CommandTexts(); }
    void ClearRequests() { log_.Clear(); }
    // True once the number of requests received since the last clear reaches `count`.
    bool WaitForRequestCount(size_t count, std::chrono::milliseconds timeout) const {
        return log_.WaitForCount(count, timeout);
    }

    // Runs `action` on the instrument state under its lock.
    void WithInstrument(const std::function<void(CSimInstrument&)>& action);
    // Adds a command handler; false when the key is taken or not two characters.
    bool RegisterCommand(std::string key, CSimHandler handler);

    // CSimSessionHost
    std::string Greeting() const override;
    std::optional<CSimUser> FindUser(std::string_view name) const override;
    std::string Dispatch(std::string_view request, const CSimUser& user) override;
    void Record(int session, SimRequestPhase phase, std::string_view text) override;
    int StopFd() const override { return stopRead_; }

  private:
    struct Client {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    // Binds, listens and opens the stop pipe; false with the reason in lastError_.
    bool Listen(uint16_t port, const std::string& host);
    // Takes the connection waiting on the listener; false when the process is out of
    // descriptors.
    bool AcceptClient();
    // Serves `fd` on a thread of its own, or refuses it when the limit is reached or no thread
    // can start. The caller holds clientsMutex_.
    void TakeClient(int fd);
    void ReapFinishedClients();
    void CloseFds();

    mutable std::mutex stateMutex_;
    CSimInstrument instrument_;
    CSimDispatcher dispatcher_;

    mutable std::mutex faultsMutex_;
    CSimFaults faults_;

    const CSimLimits limits_;
    CSimRequestLog log_;

    std::atomic<bool> running_{false};
    int listenFd_ = -1;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    uint16_t port_ = 0;
    std::string lastError_;
    std::unique_ptr<CSimAcceptor> ownAcceptor_;
    CSimAcceptor* acceptor_ = nullptr;
    std::mutex clientsMutex_;
    std::list<std::unique_ptr<Client>> clients_;
    int nextSession_ = 1;
};
