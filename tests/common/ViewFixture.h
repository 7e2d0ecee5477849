#pragma once

// The instrument view's widgets against rzsim in process: a logged-in connection whose cycle
// stays quiet during a test, a pause source that records each pause and passes it at once (or
// holds it while shut), the requests rzsim received since the last look, hub events heard, and
// controls found by accessible name.

#include <QCoreApplication>
#include <QWidget>
#include <atomic>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "common/SimFixture.h"
#include "views/ViewContext.h"

using Pauses = std::vector<std::pair<uint32_t, size_t>>;  // (ms, requests sent before it)

// Each pause first waits for the GUI thread to answer a call posted to it, so that a GUI thread
// that waited on the operation shows as an unanswered pause; then it records (length, requests
// since `mark`), runs `hook` (which may hold it) and passes.
class CRecordedPauses : public CPauseSource {
  public:
    explicit CRecordedPauses(const CSimServer& server) : server_(server) {}
    bool Pause(uint32_t ms) override {
        // The posted call captures nothing: Qt's queue hands it over under a lock that thread
        // checkers do not see, so the answer travels through a counter of their own.
        const uint64_t before = GuiAnswers().load();
        QMetaObject::invokeMethod(
            qApp, [] { ++GuiAnswers(); }, Qt::QueuedConnection);
        for (int i = 0; i < 500 && GuiAnswers().load() == before; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        unanswered += GuiAnswers().load() == before ? 1 : 0;
        {
            std::lock_guard lock(mutex_);
            begun_.push_back({ms, server_.CommandRequests().size() - mark});
        }
        if (hook) {
            hook();
        }
        return true;
    }
    void Interrupt() override {}
    // The pauses begun since the last call.
    Pauses Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(begun_, {});
    }

    std::atomic<size_t> mark = 0;
    std::atomic<int> unanswered = 0;
    std::function<void()> hook;

  private:
    static std::atomic<uint64_t>& GuiAnswers() {
        static std::atomic<uint64_t> answers = 0;
        return answers;
    }

    const CSimServer& server_;
    std::mutex mutex_;
    Pauses begun_;
};

class ViewFixture : public SimFixture {
  protected:
    // Starts rzsim with `profile` and logs in as `user`; a cycle far longer than any test lets
    // only the widgets' own requests reach rzsim.
    void Open(const CSimProfile& profile = ShippedProfile("full"), const char* user = "admin",
              const char* password = "rzdemo") {
        if (!manager.initialised()) {
            ASSERT_EQ(manager.Init(), RZ_OK);
        }
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
            << "[Config]\r\nCommCycle=60000\r\n";
        StartSim(profile);
        LogInAgain(user, password);
    }
    void LogInAgain(const char* user = "admin", const char* password = "rzdemo") {
        ASSERT_EQ(Login(&id, user, password), RZ_OK);
        connection = Find(id);
        ASSERT_NE(connection, nullptr);
        auto source = std::make_unique<CRecordedPauses>(*server);
        pauses = source.get();
        connection->SetPauseSource(std::move(source));
        context = CViewContext{connection, &manager.hub(), id};
        Sent();
    }
    // Logs out and stops rzsim, for the next row of a table.
    void Close() {
        manager.CloseAll();
        server->Stop();
    }
    // The requests rzsim received since the last call that begin with one of `keys` (all when
    // none are given), joined by '|'. Pauses count their requests from here.
    std::string Sent(std::initializer_list<const char*> keys = {}) {
        std::string joined;
        seen = std::min(seen, server->CommandRequests().size());  // rzsim's list was cleared
        for (const std::string& request : CommandRequestsFrom(*server, seen)) {
            ++seen;
            bool wanted = keys.size() == 0;
            for (const char* key : keys) {
                wanted = wanted || request.rfind(key, 0) == 0;
            }
            joined += wanted ? (joined.empty() ? "" : "|") + request : "";
        }
        // The pause source goes with its connection (a lost link closes it).
        if (Find(id) != nullptr) {
            pauses->mark = seen;
        }
        return joined;
    }
    template <class Payload>
    void Publish(HubEvent<Payload> event, std::type_identity_t<Payload> value) {
        manager.hub().Publish(event, value);
    }
    // Runs the event loop until the connection's operation has been handled (one started by a
    // queued call too).
    bool Idle() {
        QCoreApplication::processEvents();
        return ProcessEventsUntil([this] { return !connection->OperationRunning(); });
    }
    // Notes each `event` of the hub in `heard` as `label` and its value, until the test ends.
    template <class Payload>
    void Hear(HubEvent<Payload> event, const char* label, uint32_t channel = HUB_CHANNEL_VIEW,
              std::function<void()> also = nullptr) {
        manager.hub().Subscribe({channel, 0xF0 + listeners++}, event,
                                [this, label, also](Payload value) { Note(label, value, also); });
    }
    void Note(const char* label, int64_t value, const std::function<void()>& also = nullptr) {
        heard += (heard.empty() ? "" : " ") + std::string(label) + std::to_string(value);
        if (also) {
            also();
        }
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
    CRecordedPauses* pauses = nullptr;
    CViewContext context;
    size_t seen = 0;
    std::string heard;
    uint32_t listeners = 0;
};
