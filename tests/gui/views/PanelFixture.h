#pragma once

// Operation panels against rzsim in process: a logged-in connection whose cycle stays quiet
// during a test, a pause source that records each pause (and how many requests rzsim had
// received when it began) and lets it pass at once, and widgets found by accessible name.

#include <QCoreApplication>
#include <QWidget>
#include <fstream>
#include <mutex>
#include <utility>

#include "common/SimFixture.h"
#include "views/ViewContext.h"

class RecordedPauses : public CPauseSource {
  public:
    explicit RecordedPauses(const CSimServer& server) : server_(server) {}
    bool Pause(uint32_t ms) override {
        std::lock_guard lock(mutex_);
        begun_.push_back({ms, server_.CommandRequests().size()});
        return true;
    }
    void Interrupt() override {}
    std::vector<std::pair<uint32_t, size_t>> Begun() {
        std::lock_guard lock(mutex_);
        return begun_;
    }

  private:
    const CSimServer& server_;
    std::mutex mutex_;
    std::vector<std::pair<uint32_t, size_t>> begun_;
};

class PanelFixture : public SimFixture {
  protected:
    // Starts rzsim with `profile` and logs in as `user`.
    void Open(const CSimProfile& profile, const char* user = "admin",
              const char* password = "rzadmin") {
        // A cycle far longer than any test: only the panels' own requests reach rzsim.
        if (!manager.initialised()) {
            ASSERT_EQ(manager.Init(), RZ_OK);
        }
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
            << "[Config]\r\nCommCycle=60000\r\n";
        StartSim(profile);
        ASSERT_EQ(Login(&id, user, password), RZ_OK);
        connection = Find(id);
        ASSERT_NE(connection, nullptr);
        auto source = std::make_unique<RecordedPauses>(*server);
        pauses = source.get();
        connection->SetPauseSource(std::move(source));
        context = CViewContext{connection, &manager.hub(), id};
        seen = server->CommandRequests().size();
    }
    // Logs out and stops rzsim, for the next row of a table.
    void Close() {
        manager.CloseAll();
        server->Stop();
    }
    // The requests rzsim received since the last call, joined by '|'.
    std::string Sent() {
        std::string joined;
        for (const std::string& request : CommandRequestsFrom(*server, seen)) {
            joined += (joined.empty() ? "" : "|") + request;
            ++seen;
        }
        return joined;
    }
    void Publish(uint32_t key, int32_t value) {
        manager.hub().Publish(key, {}, &value, sizeof value);
    }
    // Runs the event loop until the connection's operation has been handled (one started by a
    // queued call too).
    bool Settle() {
        QCoreApplication::processEvents();
        return ProcessEventsUntil([this] { return !connection->OperationRunning(); });
    }

    template <class W = QWidget>
    static W* Find(QWidget* panel, const QString& name) {
        for (W* w : panel->findChildren<W*>()) {
            if (w->accessibleName() == name) {
                return w;
            }
        }
        ADD_FAILURE() << "no control named " << name.toStdString();
        return nullptr;
    }
    using SimFixture::Find;

    uint32_t id = 0;
    CInstrumentConnection* connection = nullptr;
    RecordedPauses* pauses = nullptr;
    CViewContext context;
    size_t seen = 0;
};
