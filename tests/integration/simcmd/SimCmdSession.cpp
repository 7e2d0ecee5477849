#include "SimCmdSession.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "SimCommands.h"
#include "session/LoginDialogue.h"

CSimProfile LoadProfileCase(const CProfileCase& profileCase) {
    CSimProfile profile;
    std::string error;
    const std::string path = std::string(RZSIM_PROFILE_DIR) + "/" + profileCase.name + ".json";
    if (!LoadSimProfileFile(path, &profile, &error)) {
        ADD_FAILURE() << error;
    }
    if (profileCase.change) {
        profileCase.change(profile);
    }
    return profile;
}

CSimCmdSession::CSimCmdSession()
    : model_(std::make_unique<CInstrumentModel>()),
      set_(std::make_unique<CCommandSet>()),
      sink_([this](const std::string& text) { shown_.push_back(text); }) {}

CSimCmdSession::~CSimCmdSession() {
    link_.Close();
    if (server_) {
        server_->Stop();
    }
}

bool CSimCmdSession::Start(const CSimProfile& profile, const char* user, const char* password) {
    profile_ = profile;
    server_ = std::make_unique<CSimServer>(profile);
    if (!RegisterInstrumentCommands(*server_)) {
        error_ = "the instrument commands could not be registered";
        return false;
    }
    const uint16_t port = server_->Start(0);
    if (port == 0) {
        error_ = server_->LastError();
        return false;
    }
    RzResult result = link_.Open("127.0.0.1", port);
    if (result == RZ_OK) {
        result = RunLoginDialogue(&link_, user, password);
    }
    CInstrumentIdentity identity{};
    if (result == RZ_OK) {
        result = RunIdentification(&link_, &identity);
    }
    if (result != RZ_OK || !IsSupportedIdentity(identity)) {
        error_ = "log-in or identification failed: " + std::string(ResultCodeName(result));
        return false;
    }
    // The identity copy of the settings model, with the sizes of the model class.
    CInstrumentModel& model = *model_;
    std::memcpy(model.family, identity.family, sizeof model.family);
    model.modelClass = identity.modelNumber;
    model.firmwareMajor = identity.firmwareMajor;
    model.version = identity.version;
    const bool small = identity.modelNumber == 3100;
    model.displayGroupCount = small ? 6 : 10;
    model.controlGroupCount = small ? 4 : 8;
    model.dioCount = small ? 12 : 36;
    model.programOption = identity.programOption;
    std::memcpy(model.pidAux, identity.pidAux, sizeof model.pidAux);
    model.userCode[0] = 'E';
    model.accessLevel[0] = 'U';
    set_->Bind(&link_, model_.get(), model_.get());
    requestsSeen_ = server_->CommandRequests().size();
    return true;
}

std::string CSimCmdSession::Raw(const std::string& request, AnswerShape shape) {
    std::vector<char> buffer(kLineWalkCapacity + 1);
    uint32_t length = 0;
    if (link_.Send(request.c_str(), static_cast<uint32_t>(request.size())) != RZ_OK ||
        link_.Receive(buffer.data(), kLineWalkCapacity, &length, shape) != RZ_OK) {
        return "(no answer)";
    }
    return std::string(buffer.data(), length);
}

std::vector<std::string> CSimCmdSession::TakeRequests() {
    const std::vector<std::string> all = server_->CommandRequests();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(requestsSeen_),
                                   all.end());
    requestsSeen_ = all.size();
    return fresh;
}

std::vector<std::string> CSimCmdSession::TakeShown() {
    return std::exchange(shown_, {});
}
