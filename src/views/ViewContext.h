#pragma once

#include <cstdint>

#include "platform/EventHub.h"

class CInstrumentConnection;

// The display state's events, published by whoever changes it (the view's display commands, its
// initial update and refresh, the simple panel's choices) and heard by the view and its panels:
// the new display kind, and the new zero-based display group.
constexpr HubEvent<int32_t> kDisplayKindEvent{0x30D4A01};
constexpr HubEvent<int32_t> kDisplayGroupEvent{0x30D4B01};

// What the view and its panels are attached to: the logged-in connection and the hub on which
// they publish and hear the display events and hear the connection's new data. Both outlive the
// view: the connection manager destroys a connection's view before the connection itself.
struct CViewContext {
    CInstrumentConnection* connection = nullptr;
    CEventHub* hub = nullptr;
    uint32_t connectionId = 0;
};
