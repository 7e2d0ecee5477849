#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SimCommands.h"
#include "SimProfile.h"
#include "SimServer.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "session/ConnectionManager.h"

// Starts rzsim in-process on a free loopback port with a temporary data directory, and a
// connection manager that logs in to it; captures the status texts.
class SimFixture : public ::testing::Test {
  protected:
    void StartSim(const std::string& profileName = "full", CSimFaults faults = {}) {
        CSimProfile profile;
        std::string error;
        ASSERT_TRUE(LoadSimProfile(profileName, &profile, &error)) << error;
        StartSim(profile, faults);
    }
    void StartSim(const CSimProfile& profile, CSimFaults faults = {}) {
        server = std::make_unique<CSimServer>(profile, faults);
        ASSERT_TRUE(RegisterInstrumentCommands(*server));
        port = server->Start(0);
        ASSERT_NE(port, 0) << server->LastError();
    }

    // Timers and queued calls of the connections need an application object on this thread.
    static void EnsureApplication() {
        static int argc = 1;
        static char name[] = "rz_integration_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            new QCoreApplication(argc, argv);
        }
    }

    // Runs the event loop until `done` holds or `limit` passes; returns whether it held.
    static bool ProcessEventsUntil(const std::function<bool()>& done,
                                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    }

    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(dataDir.isValid());
        SetDataDirectory(dataDir.path().toStdString());
        ASSERT_EQ(manager.Init(), RZ_OK);
    }
    void TearDown() override {
        manager.CloseAll();
        if (server) {
            server->Stop();
        }
        SetDataDirectory("");
    }

    RzResult Login(uint32_t* id, const char* user = "admin", const char* password = "rzadmin") {
        return manager.ConnectAndLogin("127.0.0.1", user, password, id, port);
    }

    QTemporaryDir dataDir;
    std::unique_ptr<CSimServer> server;
    uint16_t port = 0;
    CConnectionManager manager;
    std::vector<std::string> shown;
    ScopedStatusSink sink{[this](const std::string& text) { shown.push_back(text); }};
};
