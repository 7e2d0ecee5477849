#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/FakeLink.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "session/ConnectionManager.h"

namespace {

const char* kGreeting = "Select username from 'admin' or 'user'\r\n";
const char* kIdent3200 = "EA\r\nMODEL:\r\nRZ3200\r\nVERSION:\r\n3.06\r\nPROGRAM LARGE\r\nEN\r\n";
const char* kIdent3100 = "EA\r\nMODEL:\r\nRZ3100\r\nVERSION:\r\n1.20\r\nEN\r\n";
const char* kPidAux = "EA\r\nPID_AUXON,OFF,ON,\r\nEN\r\n";

const char* const kNoSupport = "Software not support current hardware!";

// The log-in script of an instrument that identifies itself with `model` (and what follows it).
std::vector<std::string> Identified(const std::string& model) {
    return {kGreeting, "E0\r\n", "EA\r\nMODEL:\r\n" + model + "\r\nEN\r\n", kPidAux};
}

// Records, when the manager deletes it, how often the link was closed.
class TrackedLink : public FakeLink {
  public:
    explicit TrackedLink(int* closes) : closes_(closes) {}
    ~TrackedLink() override { *closes_ += closeCount(); }

  private:
    int* closes_;
};

class ConnectionManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dataDir.isValid());
        SetDataDirectory(dataDir.path().toStdString());
        ASSERT_EQ(manager.Init(), RZ_OK);
    }
    std::unique_ptr<CLinkTransport> MakeLink() {
        auto link = std::make_unique<TrackedLink>(&closes);
        link->SetOpenResult(openResult);
        for (const auto& answer : script) {
            link->QueueAnswer(answer);
        }
        link->SetDefaultAnswer(refreshAnswer);
        lastLink = link.get();
        return link;
    }
    void TearDown() override {
        manager.CloseAll();
        SetDataDirectory("");
    }

    void WriteConfig(const std::string& text) {
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary) << text;
    }

    // Logs in; a failure's messages are shown as the console and rzctl show them.
    RzResult Login(uint32_t* id) {
        const RzExpected<uint32_t> login = manager.ConnectAndLogin("127.0.0.1", "admin", "pw");
        if (!login) {
            ShowStatusMessages(login.error());
            return login.code();
        }
        *id = *login;
        return RZ_OK;
    }

    QTemporaryDir dataDir;
    CConnectionManager manager{[this] { return MakeLink(); }};
    std::vector<std::string> script{kGreeting, "Input password.\r\n", "E0\r\n", kIdent3200,
                                    kPidAux};
    RzResult openResult = RZ_OK;
    // What the instrument answers to every request of the refresh that follows the log-in: an
    // error line, which the refresh reports and passes over.
    std::string refreshAnswer = "E1\r\n";
    FakeLink* lastLink = nullptr;  // valid while its connection lives
    int closes = 0;                // closes counted over the deleted links
    std::vector<std::string> shown;
    ScopedStatusSink sink{[this](const std::string& text) { shown.push_back(text); }};
};

TEST_F(ConnectionManagerTest, LoginFillsTheModelAndTakesTheNextId) {
    struct Case {
        const char* ident;
        int32_t model, groups, controlGroups, dio, major, version, option, commCycle;
    };
    // The second log-in finds a cycle time in the configuration, taken as it stands.
    const Case cases[] = {
        {kIdent3200, 3200, 10, 8, 36, 3, 0x30006, 2, 5000},
        {kIdent3100, 3100, 6, 4, 12, 1, 0x10014, 0, 500},
    };
    uint32_t expectedId = kFirstConnectionId;
    for (const auto& c : cases) {
        script[3] = c.ident;
        if (c.commCycle != 5000) {
            WriteConfig("[Config]\r\nCommCycle=500\r\n");
        }
        uint32_t id = 0;
        ASSERT_EQ(Login(&id), RZ_OK) << c.model;
        EXPECT_EQ(id, expectedId++);
        EXPECT_EQ(lastLink->openedAddress(), "127.0.0.1:34260");

        const RzExpected<CInstrumentConnection*> connection = manager.FindConnection(id);
        ASSERT_TRUE(connection.ok());
        const CInstrumentModel m = (*connection)->CopyModel();
        EXPECT_STREQ(m.userCode, "E");
        EXPECT_STREQ(m.accessLevel, "U");
        EXPECT_STREQ(m.family, "RZ");
        EXPECT_EQ(
            std::tie(m.modelClass, m.displayGroupCount, m.controlGroupCount, m.dioCount,
                     m.firmwareMajor, m.version, m.programOption),
            std::tie(c.model, c.groups, c.controlGroups, c.dio, c.major, c.version, c.option));
        EXPECT_EQ(std::vector<int32_t>(m.pidAux, m.pidAux + 3), (std::vector<int32_t>{1, 0, 1}));
        EXPECT_EQ(m.loopCount + m.extLoopCount + m.measCount + m.mathCount, 0);
        // The refresh learnt no level-A log-in, so the screen is not polled.
        EXPECT_FALSE((*connection)->ScreenPolling());
        EXPECT_EQ((*connection)->Cycle(), c.commCycle);
    }
    EXPECT_EQ(manager.ConnectionCount(), 2u);
    EXPECT_TRUE(std::find(shown.begin(), shown.end(), "Communicate with RZ error!") == shown.end());
}

// A log-in that fails keeps no connection and closes the link it opened; once the instrument
// has identified itself, even as one the console does not support, the id is taken.
TEST_F(ConnectionManagerTest, FailedLogInsKeepNothingAndTakeAnIdOnlyOnceIdentified) {
    struct Case {
        const char* name;
        std::vector<std::string> script;
        RzResult openResult;
        RzResult expected;
        std::string shown;
    };
    const Case cases[] = {
        {"OpenFails", {}, LINK_E_OPEN, LINK_E_BROKEN, "The socket Open error!"},
        {"Refused", {kGreeting, "E1 Login failed\r\n"}, RZ_OK, LINK_E_LOGIN, "E1 Login failed"},
        {"IdentificationLost", {kGreeting, "E0\r\n"}, RZ_OK, LINK_E_TIMEOUT, ""},
        {"RefreshLosesTheLink", Identified("RZ3200\r\nVERSION:\r\n3.06"), RZ_OK, LINK_E_TIMEOUT,
         "Communicate with RZ error!"},
        {"OtherFamily", Identified("QX3200\r\nVERSION:\r\n3.06"), RZ_OK, LINK_E_UNSUPPORTED,
         kNoSupport},
        {"NewerFirmware", Identified("RZ3200\r\nVERSION:\r\n4.00"), RZ_OK, LINK_E_UNSUPPORTED,
         kNoSupport},
        {"NoVersion", Identified("RZ3200"), RZ_OK, LINK_E_UNSUPPORTED, kNoSupport},
    };
    uint32_t idsTaken = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script = c.script;
        openResult = c.openResult;
        refreshAnswer.clear();
        closes = 0;
        shown.clear();
        uint32_t id = 0;
        EXPECT_EQ(Login(&id), c.expected);
        EXPECT_EQ(manager.ConnectionCount(), 0u);
        EXPECT_EQ(shown.empty() ? "" : shown.back(), c.shown);
        EXPECT_EQ(closes, c.openResult == RZ_OK ? 1 : 0);
        idsTaken += c.script.size() > 2 ? 1 : 0;  // identified
    }
    script = {kGreeting, "E0\r\n", kIdent3200, kPidAux};
    openResult = RZ_OK;
    refreshAnswer = "E1\r\n";
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    EXPECT_EQ(id, kFirstConnectionId + idsTaken);
}

TEST_F(ConnectionManagerTest, NotInitialisedRefusesEverythingAndNoTransportIsLackOfMemory) {
    CConnectionManager fresh;
    uint32_t id = 0;
    EXPECT_EQ(fresh.ConnectAndLogin("127.0.0.1", "admin", "pw").code(), LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(fresh.CloseConnection(100000), LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(fresh.FindConnection(100000).code(), LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(fresh.CreateView(100000).code(), LINK_E_NOT_INITIALIZED);
    ASSERT_EQ(manager.CloseAll(), RZ_OK);
    EXPECT_EQ(Login(&id), LINK_E_NOT_INITIALIZED);
    // A manager whose factory makes no transport lacks memory.
    CConnectionManager bare([] { return std::unique_ptr<CLinkTransport>(); });
    ASSERT_EQ(bare.Init(), RZ_OK);
    shown.clear();
    const RzExpected<uint32_t> refused = bare.ConnectAndLogin("127.0.0.1", "admin", "pw");
    ASSERT_EQ(refused.code(), LINK_E_NO_MEMORY);
    // Why travels in the result, for the caller to show; nothing shows it on the way.
    EXPECT_EQ(refused.error().messages, std::vector<std::string>{"Lack of memory!"});
    EXPECT_TRUE(shown.empty());
}

class CountingView : public IConnectionView {
  public:
    explicit CountingView(int* destroyed) : destroyed_(destroyed) {}
    ~CountingView() override { ++*destroyed_; }

  private:
    int* destroyed_;
};

TEST_F(ConnectionManagerTest, ViewIsCreatedOnceAndClosedWithItsConnection) {
    int created = 0;
    int destroyed = 0;
    manager.SetViewFactory([&](uint32_t) {
        ++created;
        return std::make_unique<CountingView>(&destroyed);
    });
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);

    std::vector<uint32_t> closedIds;
    ASSERT_EQ(manager.hub().Subscribe({HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_CONNECTION_CLOSED},
                                      kConnectionClosedEvent,
                                      [&](uint32_t closed) { closedIds.push_back(closed); }),
              RZ_OK);

    const RzExpected<IConnectionView*> view = manager.CreateView(id);
    ASSERT_TRUE(view.ok());
    ASSERT_NE(*view, nullptr);
    const RzExpected<IConnectionView*> second = manager.CreateView(id);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*second, nullptr);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(manager.CreateView(id + 1000).code(), LINK_E_NOT_LOGGED_IN);

    ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(closedIds, std::vector<uint32_t>{id});
    EXPECT_EQ(manager.FindConnection(id).code(), LINK_E_NOT_LOGGED_IN);
    EXPECT_EQ(manager.CloseConnection(id), RZ_OK);
}

TEST_F(ConnectionManagerTest, CommunicationErrorClosesTheConnection) {
    uint32_t first = 0;
    uint32_t second = 0;
    ASSERT_EQ(Login(&first), RZ_OK);
    ASSERT_EQ(Login(&second), RZ_OK);
    shown.clear();
    ASSERT_EQ(manager.hub().Publish(CommErrorEvent(first), first), RZ_OK);
    EXPECT_EQ(manager.FindConnection(first).code(), LINK_E_NOT_LOGGED_IN);
    EXPECT_EQ(manager.FindConnection(second).code(), RZ_OK);
    EXPECT_EQ(shown, std::vector<std::string>{"Communicate with RZ error!"});
    EXPECT_EQ(manager.hub().SubscriberCount(CommErrorEvent(first)), 0u);
    // A second error for the same id finds nothing to close.
    ASSERT_EQ(manager.hub().Publish(CommErrorEvent(first), first), RZ_OK);
    EXPECT_EQ(manager.ConnectionCount(), 1u);
}

TEST(ConnectionIds, WrapWithinTheirRangeAndSkipIdsInUse) {
    const struct {
        uint32_t counter;
        std::vector<uint32_t> inUse;
        uint32_t id, next;
    } cases[] = {
        {kFirstConnectionId, {}, kFirstConnectionId, kFirstConnectionId + 1},
        {kLastConnectionId, {}, kLastConnectionId, kFirstConnectionId},
        {kLastConnectionId - 1,
         {kLastConnectionId - 1, kLastConnectionId, kFirstConnectionId},
         kFirstConnectionId + 1,
         kFirstConnectionId + 2},
        {HUB_CHANNEL_MANAGER, {}, kFirstConnectionId, kFirstConnectionId + 1},
        {0, {kFirstConnectionId}, kFirstConnectionId + 1, kFirstConnectionId + 2},
    };
    for (const auto& c : cases) {
        CConnectionIds ids(c.counter);
        const auto inUse = [&](uint32_t id) {
            return std::find(c.inUse.begin(), c.inUse.end(), id) != c.inUse.end();
        };
        EXPECT_EQ(ids.Take(inUse), c.id) << c.counter;
        EXPECT_EQ(ids.Next(), c.next) << c.counter;
    }
    CConnectionIds ids;
    EXPECT_EQ(ids.Take([](uint32_t) { return true; }), std::nullopt);
}

TEST_F(ConnectionManagerTest, IdsAfterTheLastWrapToTheFirst) {
    CConnectionManager late([this] { return MakeLink(); }, kLastConnectionId);
    ASSERT_EQ(late.Init(), RZ_OK);
    for (const uint32_t expected : {kLastConnectionId, kFirstConnectionId}) {
        const RzExpected<uint32_t> id = late.ConnectAndLogin("127.0.0.1", "admin", "pw");
        ASSERT_TRUE(id.ok());
        EXPECT_EQ(*id, expected);
    }
}

}  // namespace
