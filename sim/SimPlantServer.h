#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimAcceptor.h"
#include "SimOptions.h"
#include "SimServer.h"

// One instrument of a plant as rzsim announces it.
struct CSimPlantMember {
    std::string name;     // "Furnace 1", "Dryer 2", ...: unique in the plant, at most 15 characters
    std::string address;  // its own loopback address
    std::string profile;  // the profile's name or path
    bool alarms = false;  // raises the scheduled alarm (kSimPlantAlarmEveryMs, kSimPlantAlarmOnMs)
};

// In a plant of more than one, every fourth instrument from the second raises an alarm on its
// first measurement channel for the first kSimPlantAlarmOnMs of every kSimPlantAlarmEveryMs of
// its plant's time, from start-up on; no other alarm comes from the profiles.
inline constexpr uint32_t kSimPlantAlarmEveryMs = 60000;
inline constexpr uint32_t kSimPlantAlarmOnMs = 30000;

// Several simulated instruments served from one process, as `rzsim --instruments N` serves
// them: instrument i (from 0) on the i-th address from options.host, all at one port. One
// thread accepts for all of them; each client connection is served on a thread of its own.
// A plant of one is exactly the instrument that rzsim serves without --instruments.
//
//     CSimOptions options;
//     options.instruments = 4;
//     options.port = 0;  // a free port, the same at every address
//     auto plant = CSimPlantServer::Make(options, &error);
//     if (plant && plant->Start()) ... plant->Port(), plant->Member(1).address ...
class CSimPlantServer {
  public:
    // Loads the profiles and sets up the instruments of `options`; null, with the reason in
    // `error` ("profile: ..."), when a profile cannot be loaded.
    static std::unique_ptr<CSimPlantServer> Make(const CSimOptions& options, std::string* error);
    ~CSimPlantServer();
    CSimPlantServer(const CSimPlantServer&) = delete;
    CSimPlantServer& operator=(const CSimPlantServer&) = delete;

    // Listens at the address of every instrument not stopped by the options. False, with the
    // reason in LastError(), when one cannot listen; none listens then. With port 0 the port is
    // one that is free at every address.
    bool Start();
    // Ends every session and the accept thread.
    void Stop();
    uint16_t Port() const { return port_; }
    std::string LastError() const { return lastError_; }

    int Count() const { return static_cast<int>(members_.size()); }
    const CSimPlantMember& Member(int index) const { return members_[static_cast<size_t>(index)]; }
    // The instrument's server: its faults, requests and state. Start and stop it only through
    // SetServed.
    CSimServer& Instrument(int index) { return *servers_[static_cast<size_t>(index)]; }
    // Takes the instrument off its address (its clients are disconnected, connecting is
    // refused) or serves it there again; false, with the reason in LastError(), when it cannot
    // listen.
    bool SetServed(int index, bool served);

  private:
    CSimPlantServer() = default;
    bool StartAt(uint16_t port);

    CSimOptions options_;
    std::vector<CSimPlantMember> members_;
    CSimAcceptor acceptor_;  // before the servers: they leave it when they stop
    std::vector<std::unique_ptr<CSimServer>> servers_;
    bool commandsRegistered_ = false;
    uint16_t port_ = 0;
    std::string lastError_;
};
