#include "link/InstrumentConnection.h"

#include <cstring>

#include "link/LoginDialogue.h"
#include "platform/StatusSink.h"

CModelSizes ModelSizesFor(int32_t modelNumber) {
    if (modelNumber == 3100) {
        return {6, 4, 12};
    }
    return {10, 8, 36};
}

CInstrumentConnection::CInstrumentConnection(uint32_t id, CEventHub* hub, CLinkTransport* link)
    : id_(id), hub_(hub), link_(link) {}

CInstrumentConnection::~CInstrumentConnection() {
    Stop();
}

RzResult CInstrumentConnection::Prepare(const CInstrumentIdentity& identity) {
    if (!IsSupportedIdentity(identity)) {
        ShowStatusString(20004);
        return LINK_E_UNSUPPORTED;
    }
    model_ = CInstrumentModel{};
    std::memcpy(model_.userCode, "E", 2);
    std::memcpy(model_.accessLevel, "U", 2);
    std::memcpy(model_.family, identity.family, sizeof model_.family);
    model_.family[sizeof model_.family - 1] = '\0';
    model_.modelClass = identity.modelNumber;
    model_.firmwareMajor = identity.firmwareMajor;
    model_.version = identity.version;
    model_.programOption = identity.programOption;
    std::memcpy(model_.pidAux, identity.pidAux, sizeof model_.pidAux);
    const CModelSizes sizes = ModelSizesFor(identity.modelNumber);
    model_.displayGroupCount = sizes.displayGroups;
    model_.controlGroupCount = sizes.controlGroups;
    model_.dioCount = sizes.dioPoints;
    model_.loopCount = 0;
    model_.extLoopCount = 0;
    model_.measCount = 0;
    model_.mathCount = 0;
    levelPolling = 1;
    return RZ_OK;
}

void CInstrumentConnection::Stop() {
    stopFlag = 1;
    idleEvent.Wait();
}
