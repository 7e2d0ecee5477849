#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "SimProfile.h"
#include "SimServer.h"
#include "commands/CommandSet.h"
#include "model/InstrumentIdentity.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "transport/LinkSocket.h"

// One shipped profile, loaded from the source tree, with an optional change made in code.
struct CProfileCase {
    const char* name;     // the shipped profile
    const char* variant;  // what `change` does, for test names ("" for none)
    std::function<void(CSimProfile&)> change;
};

CSimProfile LoadProfileCase(const CProfileCase& profileCase);

// How test output names a profile case.
inline void PrintTo(const CProfileCase& profileCase, std::ostream* out) {
    *out << profileCase.name << profileCase.variant;
}

// The console's side of one connection to an in-process rzsim, set up the way the console does
// it but without the connection manager: a socket link, the log-in dialogue, identification, a
// settings model holding the identity copy, and a command set bound to the link and the model.
class CSimCmdSession {
  public:
    CSimCmdSession();
    ~CSimCmdSession();

    // Starts the simulator with `profile` and every instrument command, then connects and logs
    // in. False (with the reason in `error`) when any step fails.
    bool Start(const CSimProfile& profile, const char* user = "admin",
               const char* password = "rzadmin");

    CSimServer& Server() { return *server_; }
    CLinkSocket& Link() { return link_; }
    CInstrumentModel& Model() { return *model_; }
    CCommandSet& Set() { return *set_; }
    const CSimProfile& Profile() const { return profile_; }
    const std::string& Error() const { return error_; }

    // The command of `key` from the command table; a key the table does not offer for this
    // firmware fails the test (the exception ends it, gtest reports it).
    template <typename T>
    T& Cmd(const char* key) {
        T* command = dynamic_cast<T*>(set_->GetCommand(key));
        if (command == nullptr) {
            throw std::logic_error(std::string("no command ") + key + " for this firmware");
        }
        return *command;
    }

    // One request of any text, its answer read in `shape` (by default a status line or a whole
    // list).
    std::string Raw(const std::string& request, AnswerShape shape = RECV_LIST);
    // The command requests the simulator received since the last call (the log-in and
    // identification requests are dropped at Start).
    std::vector<std::string> TakeRequests();
    // Status texts shown since the last call.
    std::vector<std::string> TakeShown();

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
