#pragma once

#include <cstdint>

class CEventHub;
class CInstrumentConnection;

// What the view and its panels are attached to: the logged-in connection and the hub on which
// they publish and hear the display and panel events. Both outlive the view: the connection
// manager destroys a connection's view before the connection itself.
struct CViewContext {
    CInstrumentConnection* connection = nullptr;
    CEventHub* hub = nullptr;
    uint32_t connectionId = 0;
};
