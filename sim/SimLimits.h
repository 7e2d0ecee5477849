#pragma once

#include <cstddef>
#include <cstdint>

// What one simulator takes on, so that no client, however it behaves, can make it grow without
// bound.
struct CSimLimits {
    // Clients served at once; one more is answered with kSimBusyLine and closed.
    uint32_t maxClients = 16;
    // Time a client may keep the server waiting for its user name and password; the connection
    // is closed when it runs out.
    uint32_t logInTimeoutMs = 60000;
    // Request lines kept for reading back; older ones are dropped, the count goes on.
    size_t requestLogCapacity = 4096;
};
