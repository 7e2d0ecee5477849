#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <functional>

// The application object that timers and queued calls need on this thread, made once.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "rz_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        new QCoreApplication(argc, argv);
    }
}

// Runs the event loop until `done` holds or `limit` passes; returns whether it held. Unlike
// processEvents with a time limit, which polls without sleeping, this sleeps until an event
// comes; a 10 ms timer makes sure `done` is looked at even when nothing else happens.
inline bool ProcessEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QTimer tick;
    tick.start(10);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
