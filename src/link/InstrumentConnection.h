#pragma once

#include <atomic>
#include <cstdint>

#include "link/InstrumentIdentity.h"
#include "link/LinkTransport.h"
#include "model/InstrumentModel.h"
#include "platform/Event.h"
#include "platform/ResultCodes.h"

class CEventHub;

// Model sizes by model number: display groups, control groups, DI/DO points.
struct CModelSizes {
    int32_t displayGroups;
    int32_t controlGroups;
    int32_t dioPoints;
};
CModelSizes ModelSizesFor(int32_t modelNumber);

// Everything that belongs to one logged-in instrument: its settings model with the identity
// copy, the link it talks over (owned by the connection record), and the cycle's flags and
// events. Always heap-allocated.
class CInstrumentConnection {
  public:
    CInstrumentConnection(uint32_t id, CEventHub* hub, CLinkTransport* link);
    virtual ~CInstrumentConnection();
    CInstrumentConnection(const CInstrumentConnection&) = delete;
    CInstrumentConnection& operator=(const CInstrumentConnection&) = delete;

    // Checks the identity (LINK_E_UNSUPPORTED, shown as string 20004, for anything but an RZ
    // 3100/3200 with firmware major version 1 to 3), then clears the model and fills its log-in
    // defaults, identity copy and model sizes.
    RzResult Prepare(const CInstrumentIdentity& identity);

    // Stops the connection's activity; the connection may then be deleted.
    void Stop();

    uint32_t id() const { return id_; }
    CEventHub* hub() const { return hub_; }
    CLinkTransport* link() const { return link_; }
    CInstrumentModel& model() { return model_; }
    const CInstrumentModel& model() const { return model_; }

    int32_t commCycle = 5000;
    std::atomic<int32_t> stopFlag{0};
    std::atomic<int32_t> errorFlag{0};
    std::atomic<int32_t> levelPolling{0};
    std::atomic<int32_t> dioAvailable{0};
    CEvent idleEvent{true};
    CEvent dataReadyEvent{false};

  private:
    uint32_t id_;
    CEventHub* hub_;
    CLinkTransport* link_;
    CInstrumentModel model_{};
};
