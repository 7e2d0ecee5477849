#pragma once

// rzsim in-process for the integration tests: one profile loader, one way to start the
// simulator, and the console's side either through the connection manager (SimFixture) or
// through a bare link and command set (CSimCmdSession).

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "SimProfile.h"
#include "SimServer.h"
#include "commands/CommandSet.h"
#include "commands/DataQueries.h"
#include "common/EventLoop.h"
#include "common/ThreadNotes.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "session/ConnectionManager.h"
#include "session/InstrumentConnection.h"
#include "transport/LinkSocket.h"

using ProfileChange = std::function<void(CSimProfile&)>;

// A shipped profile by name, with an optional change made in code.
CSimProfile ShippedProfile(const std::string& name, const ProfileChange& change = nullptr);

// rzsim with every instrument command, listening on a free loopback port; null (with a test
// failure) when it cannot start.
std::unique_ptr<CSimServer> StartSimServer(const CSimProfile& profile,
                                           const CSimFaults& faults = {});

// The value of an "FD" record: its mantissa and exponent read as a number.
double RecordValue(const CDataRecord& record);

// The command requests `server` received from index `from` on.
std::vector<std::string> CommandRequestsFrom(const CSimServer& server, size_t from);

// The console's side of one connection without the connection manager: a socket link, the
// log-in dialogue, identification, a settings model holding the identity copy, and a command
// set bound to the link and the model.
class CSimCmdSession {
  public:
    CSimCmdSession();
    ~CSimCmdSession();

    // Starts rzsim with `profile`, connects and logs in. False (reason in Error()) on failure.
    bool Start(const CSimProfile& profile, const char* user = "admin",
               const char* password = "rzdemo");

    CSimServer& Server() { return *server_; }
    CInstrumentModel& Model() { return *model_; }
    CCommandSet& Set() { return *set_; }
    const CSimProfile& Profile() const { return profile_; }
    const std::string& Error() const { return error_; }

    // The command of `key` from the command table; a key the table does not offer for this
    // firmware ends the test with an exception.
    template <typename T>
    T& Cmd(const char* key) {
        T* command = dynamic_cast<T*>(set_->GetCommand(key));
        if (command == nullptr) {
            throw std::logic_error(std::string("no command ") + key + " for this firmware");
        }
        return *command;
    }

    // One request of any text, read back in list mode (a status line or a whole list).
    std::string Raw(const std::string& request);
    // The command requests received since the last call (log-in and identification excluded).
    std::vector<std::string> TakeRequests();
    // Status texts shown since the last call.
    std::vector<std::string> TakeShown() { return std::exchange(shown_, {}); }

  private:
    CSimProfile profile_;
    std::unique_ptr<CSimServer> server_;
    CLinkSocket link_;
    std::unique_ptr<CInstrumentModel> model_;
    std::unique_ptr<CCommandSet> set_;
    std::vector<std::string> shown_;
    ScopedStatusSink sink_;
    std::string error_;
    size_t requestsSeen_ = 0;
};

// rzsim and a connection manager with a temporary data directory; captures the status texts and
// notes the thread of every exchange step.
class SimFixture : public ::testing::Test {
  protected:
    void StartSim(const std::string& profileName = "full", const CSimFaults& faults = {}) {
        StartSim(ShippedProfile(profileName), faults);
    }
    void StartSim(const CSimProfile& profile, const CSimFaults& faults = {}) {
        server = StartSimServer(profile, faults);
        ASSERT_NE(server, nullptr);
        port = server->Port();
    }
    // A data directory whose configuration sets a 1000 ms communication cycle.
    void WriteCycle1000();

    void SetUp() override;
    void TearDown() override;

    // Logs in as rzctl does: a failure's messages go to the status text, and why it failed to
    // `loginFailure`.
    RzResult Login(uint32_t* id, const char* user = "admin", const char* password = "rzdemo") {
        const RzExpected<uint32_t> login =
            manager.ConnectAndLogin("127.0.0.1", user, password, port);
        if (!login) {
            ShowStatusMessages(login.error());
            loginFailure = login.error().text;
            return login.code();
        }
        *id = *login;
        return RZ_OK;
    }
    CInstrumentConnection* Find(uint32_t id);
    CInstrumentModel ModelOf(uint32_t id);

    QTemporaryDir dataDir;
    std::unique_ptr<CSimServer> server;
    uint16_t port = 0;
    CThreadNotes notes;
    CConnectionManager manager{notes.Factory()};
    std::vector<std::string> shown;
    std::string loginFailure;
    ScopedStatusSink sink{[this](const std::string& text) { shown.push_back(text); }};
};
