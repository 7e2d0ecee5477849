#include "common/SimFixture.h"

#include <QCoreApplication>
#include <fstream>

#include "SimCommands.h"
#include "commands/AnswerParsers.h"
#include "platform/Paths.h"
#include "session/LoginDialogue.h"

CSimProfile ShippedProfile(const std::string& name, const ProfileChange& change) {
    CSimProfile profile;
    std::string error;
    if (!LoadSimProfile(name, &profile, &error)) {
        ADD_FAILURE() << error;
    }
    if (change) {
        change(profile);
    }
    return profile;
}

std::unique_ptr<CSimServer> StartSimServer(const CSimProfile& profile, const CSimFaults& faults) {
    auto server = std::make_unique<CSimServer>(profile, faults);
    if (!RegisterInstrumentCommands(*server)) {
        ADD_FAILURE() << "the instrument commands could not be registered";
        return nullptr;
    }
    if (server->Start(0) == 0) {
        ADD_FAILURE() << server->LastError();
        return nullptr;
    }
    return server;
}

double RecordValue(const CDataRecord& record) {
    double value = ReadAnswerInt(record.text2);
    for (int exponent = ReadAnswerInt(record.text3); exponent < 0; ++exponent) {
        value /= 10.0;
    }
    return value;
}

std::vector<std::string> CommandRequestsFrom(const CSimServer& server, size_t from) {
    const std::vector<std::string> all = server.CommandRequests();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
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
    server_ = StartSimServer(profile);
    if (!server_) {
        error_ = "rzsim did not start";
        return false;
    }
    RzResult result = link_.Open("127.0.0.1", server_->Port());
    if (result == RZ_OK) {
        result = RunLoginDialogue(&link_, user, password).code();
    }
    CInstrumentIdentity identity{};
    if (result == RZ_OK) {
        const RzExpected<CInstrumentIdentity> identified = RunIdentification(&link_);
        result = identified.code();
        identity = identified.value_or(CInstrumentIdentity{});
    }
    if (result != RZ_OK || !IsSupportedIdentity(identity)) {
        error_ = "log-in or identification failed: " + std::string(ResultCodeName(result));
        return false;
    }
    // The identity copy of the settings model, as the connection makes it.
    CInstrumentModel& model = *model_;
    std::memcpy(model.family, identity.family, sizeof model.family);
    model.modelClass = identity.modelNumber;
    model.firmwareMajor = identity.firmwareMajor;
    model.version = identity.version;
    const CModelSizes sizes = ModelSizesFor(identity.modelNumber);
    model.displayGroupCount = sizes.displayGroups;
    model.controlGroupCount = sizes.controlGroups;
    model.dioCount = sizes.dioPoints;
    model.programOption = identity.programOption;
    std::memcpy(model.pidAux, identity.pidAux, sizeof model.pidAux);
    model.userCode[0] = 'E';
    model.accessLevel[0] = 'U';
    set_->Bind(&link_, model_.get(), model_.get());
    requestsSeen_ = server_->CommandRequests().size();
    return true;
}

std::string CSimCmdSession::Raw(const std::string& request) {
    std::vector<char> buffer(kLineWalkCapacity + 1);
    if (link_.Send(request.c_str(), static_cast<uint32_t>(request.size())) != RZ_OK) {
        return "(no answer)";
    }
    const RzExpected<uint32_t> length = link_.Receive(buffer.data(), kLineWalkCapacity, RECV_LIST);
    if (!length) {
        return "(no answer)";
    }
    return std::string(buffer.data(), *length);
}

std::vector<std::string> CSimCmdSession::TakeRequests() {
    std::vector<std::string> fresh = CommandRequestsFrom(*server_, requestsSeen_);
    requestsSeen_ += fresh.size();
    return fresh;
}

void SimFixture::WriteCycle1000() {
    std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
        << "[Config]\r\nCommCycle=1000\r\n";
}

void SimFixture::SetUp() {
    EnsureApplication();  // for the connections' timers and queued calls
    ASSERT_TRUE(dataDir.isValid());
    SetDataDirectory(dataDir.path().toStdString());
    ASSERT_EQ(manager.Init(), RZ_OK);
}

void SimFixture::TearDown() {
    manager.CloseAll();
    if (server) {
        server->Stop();
    }
    SetDataDirectory("");
}

CInstrumentConnection* SimFixture::Find(uint32_t id) {
    return manager.FindConnection(id).value_or(nullptr);
}

CInstrumentModel SimFixture::ModelOf(uint32_t id) {
    if (CInstrumentConnection* connection = Find(id); connection != nullptr) {
        return connection->CopyModel();
    }
    return CInstrumentModel{};
}
