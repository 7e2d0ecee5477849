#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/FakeLink.h"
#include "platform/EventHub.h"
#include "platform/StatusSink.h"
#include "session/InstrumentConnection.h"

// A connection over a scripted link, prepared for an instrument of the given firmware, with the
// hub's communication-error events and the status texts captured.
struct ConnectionHarness {
    explicit ConnectionHarness(int32_t major, int32_t minor = 0, int32_t model = 3200,
                               int32_t programOption = 2) {
        hub.SetupStandard();
        connection = std::make_unique<CInstrumentConnection>(100, &hub, &link);
        CInstrumentIdentity identity{};
        std::memcpy(identity.family, "RZ", 3);
        identity.modelNumber = model;
        identity.firmwareMajor = major;
        identity.version = major * 65536 + minor;
        identity.programOption = programOption;
        prepared = connection->Prepare(identity).code();
        hub.Subscribe({1, 1}, CommErrorEvent(100), [this](uint32_t) { ++commErrors; });
    }

    std::vector<std::string> Sent() const {
        std::vector<std::string> sent;
        for (const auto& r : link.requests()) {
            sent.push_back(r.text);
        }
        return sent;
    }

    CEventHub hub;
    FakeLink link;
    std::unique_ptr<CInstrumentConnection> connection;
    RzResult prepared = RZ_OK;
    int commErrors = 0;
    std::vector<std::string> shown;
    ScopedStatusSink sink{[this](const std::string& text) { shown.push_back(text); }};
};
