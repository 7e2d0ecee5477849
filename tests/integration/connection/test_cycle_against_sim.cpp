#include <fstream>

#include "SimFixture.h"
#include "session/InstrumentConnection.h"

namespace {

class CycleTest : public SimFixture {
  protected:
    void WriteCycle(int ms) {
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
            << "[Config]\r\nCommCycle=" << ms << "\r\n";
    }
    CInstrumentConnection* Find(uint32_t id) {
        CInstrumentConnection* connection = nullptr;
        manager.FindConnection(id, &connection);
        return connection;
    }
};

TEST_F(CycleTest, LogInRunsTheFullRefreshForEveryProfile) {
    struct Case {
        const char* profile;
        const char* user;
        const char* password;
        const char* access;
        bool image;
    };
    const Case cases[] = {
        {"full", "admin", "rzadmin", "A", true},
        {"full", "user", "rzuser", "U", false},
        {"rz3100", "admin", "rzadmin", "A", true},
        {"rz3200v2", "admin", "rzadmin", "A", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + c.user);
        StartSim(c.profile);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id, c.user, c.password), RZ_OK);
        CInstrumentModel m{};
        Find(id)->CopyModel(&m);
        EXPECT_STREQ(m.accessLevel, c.access);
        EXPECT_STREQ(m.userName, c.user);
        EXPECT_GT(m.measCount, 0);
        EXPECT_STREQ(m.channels[0].display.typeText, "Meas-CH");
        EXPECT_EQ(m.imageLength > 0, c.image);
        EXPECT_EQ(Find(id)->levelPolling.load(), c.image ? 1 : 0);
        int imageBytes = 0;
        Find(id)->WithImage([&](const uint8_t* data, uint32_t length) {
            imageBytes = data != nullptr ? static_cast<int>(length) : 0;
        });
        EXPECT_EQ(imageBytes, static_cast<int>(m.imageLength));
        // The refresh starts with the log-in information and asks nothing twice in a row
        // except the values.
        const auto requests = server->CommandRequests();
        ASSERT_GE(requests.size(), 4u);
        EXPECT_EQ(requests[2], "FU 0");
        ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
        server->Stop();
    }
    EXPECT_TRUE(std::find(shown.begin(), shown.end(), "Communicate with RZ error!") == shown.end());
}

TEST_F(CycleTest, EachCycleReachesTheGuiThroughTheHub) {
    WriteCycle(1000);
    StartSim("full");
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    EXPECT_EQ(Find(id)->TimerInterval(), 500u);
    int refreshed = 0;
    ASSERT_EQ(manager.hub().Subscribe(
                  MakeEventKey(HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED),
                  [&](uint32_t, uint32_t, std::span<const uint32_t>, int32_t, const void* payload,
                      size_t size, void*) {
                      ASSERT_EQ(size, sizeof(uint32_t));
                      uint32_t from = 0;
                      std::memcpy(&from, payload, size);
                      EXPECT_EQ(from, id);
                      ++refreshed;
                  },
                  nullptr, MakeEventKey(id, HUB_EVENT_DATA_REFRESHED), HUB_CHANNEL_VIEW),
              RZ_OK);
    server->ClearRequests();
    ASSERT_TRUE(ProcessEventsUntil([&] { return refreshed >= 2; }));
    // A pass polls pattern states, values, DI/DO states and the screen, then patterns and
    // values again.
    const auto requests = server->CommandRequests();
    ASSERT_GE(requests.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 6),
              (std::vector<std::string>{"FW", "FD0,1,248", "FO", "FC GET", "FW", "FD0,1,248"}));
    EXPECT_EQ(manager.ConnectionCount(), 1u);
}

TEST_F(CycleTest, ALinkLostDuringTheCycleClosesTheConnection) {
    struct Case {
        const char* name;
        bool close;  // close the connection, or stop answering
    };
    const Case cases[] = {{"PeerCloses", true}, {"PeerStalls", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCycle(1000);
        StartSim("full");
        manager.SetLinkTimeout(500);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id), RZ_OK);
        shown.clear();
        // The next request of the cycle fails.
        CSimFaults faults;
        const uint32_t next = static_cast<uint32_t>(server->CommandRequests().size()) + 1;
        (c.close ? faults.closeOnRequest : faults.stallFromRequest) = next;
        server->SetFaults(faults);
        ASSERT_TRUE(ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; }));
        EXPECT_EQ(shown, std::vector<std::string>{"Communicate with RZ error!"});
        server->Stop();
    }
}

TEST_F(CycleTest, OperationsRunBesideTheCycleAndFoldIntoTheModel) {
    WriteCycle(1000);
    StartSim("full");
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    CInstrumentConnection* c = Find(id);
    ASSERT_EQ(c->ExecPS(1), RZ_OK);
    ASSERT_EQ(c->ExecTL(1), RZ_OK);
    CInstrumentModel m{};
    c->CopyModel(&m);
    EXPECT_EQ(m.memoryRunning, 1);
    EXPECT_EQ(m.mathRunning, 1);
    // The next refresh reads the same state back from the instrument.
    ASSERT_EQ(c->Refresh(), RZ_OK);
    c->CopyModel(&m);
    EXPECT_EQ(m.memoryRunning, 1);
    EXPECT_EQ(m.mathRunning, 1);
    ASSERT_EQ(c->SwitchDisplay(3, 0), RZ_OK);
    c->CopyModel(&m);
    EXPECT_EQ(m.displayKind, 6);
    // Operations keep working while cycles go on.
    int refreshed = 0;
    manager.hub().Subscribe(
        MakeEventKey(HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED),
        [&](uint32_t, uint32_t, std::span<const uint32_t>, int32_t, const void*, size_t, void*) {
            ++refreshed;
            EXPECT_EQ(c->AcknowledgeAlarm(), RZ_OK);
        },
        nullptr, MakeEventKey(id, HUB_EVENT_DATA_REFRESHED), HUB_CHANNEL_VIEW);
    ASSERT_TRUE(ProcessEventsUntil([&] { return refreshed >= 2; }));
}

TEST_F(CycleTest, OperationOnALostLinkSendsNothing) {
    StartSim("full");
    manager.SetLinkTimeout(300);
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    CSimFaults faults;
    faults.stallFromRequest = static_cast<uint32_t>(server->CommandRequests().size()) + 1;
    server->SetFaults(faults);
    CInstrumentConnection* c = Find(id);
    EXPECT_EQ(c->AcknowledgeAlarm(), LINK_E_TIMEOUT);
    const size_t before = server->CommandRequests().size();
    EXPECT_EQ(c->AcknowledgeAlarm(), LINK_E_BROKEN);
    EXPECT_EQ(c->ExecPS(0), LINK_E_BROKEN);
    EXPECT_EQ(server->CommandRequests().size(), before);
    // The manager closes the connection from the event loop, after the caller returned.
    ASSERT_TRUE(ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; }));
    EXPECT_EQ(shown.back(), "Communicate with RZ error!");
}

TEST_F(CycleTest, RefreshFailureAtStartIsReported) {
    StartSim("full");
    manager.SetLinkTimeout(300);
    CSimFaults faults;
    faults.stallFromRequest = 3;  // "_C" and "ZSPID_AUX?" are answered, "FU 0" is not
    server->SetFaults(faults);
    uint32_t id = 0;
    EXPECT_EQ(Login(&id), LINK_E_TIMEOUT);
    EXPECT_EQ(manager.ConnectionCount(), 0u);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Communicate with RZ error!");
}

}  // namespace
