// Alarms that reach the operator: the alarm watch against a test notification service on a
// private session bus (a dbus-daemon of the test's own), and against rzsim in process.
#include <algorithm>
#include <cstring>
#include <optional>

#include "SimInstrument.h"
#include "alarms/AlarmWatch.h"
#include "alarms/DesktopNotifier.h"
#include "common/ModelBuilder.h"
#include "common/NotificationBus.h"
#include "common/SimFixture.h"

#if defined(__SANITIZE_THREAD__)
// Qt's D-Bus module, libdbus and Qt's event queue between threads are not instrumented: their
// own locking is invisible to ThreadSanitizer, which would report the memory they hand between
// their threads. Accesses by the instrumented code are checked all the same.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

class AlarmWatchTest : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        if (!CNotificationBus::Installed()) {
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        }
        ASSERT_TRUE(bus.Start());
    }
    bool CallsReach(int count) {
        return ProcessEventsUntil([&] { return bus.fake.calls.count(u' ') >= count; });
    }

    CNotificationBus bus;
};

// A model whose first `alarms` channels (the first tagged "1-T-01") have an alarm raised.
std::unique_ptr<CInstrumentModel> ModelWithAlarm(int alarms) {
    auto model = MakeModel();
    std::strcpy(model->channels[0].display.tag[0], "1-T-01");
    for (int i = 0; i < alarms; ++i) {
        model->channelMarks[i].alarm = 1;
    }
    return model;
}

}  // namespace

// One notification when an instrument enters alarm, none while it stays, closed when it clears,
// and a new one when it enters again; the mark follows. An instrument's name is never markup.
TEST_F(AlarmWatchTest, OneNotificationPerAlarm) {
    CAlarmWatch watch(manager, std::make_unique<CDesktopNotifier>(bus.address));
    QStringList marks;
    QObject::connect(&watch, &CAlarmWatch::AlarmChanged, [&](const QString& name, bool on) {
        EXPECT_EQ(name, QStringLiteral("<b>K&3"));
        marks << (on ? "on" : "off");
    });
    const struct {
        const char* what;
        int alarms;         // channels in alarm
        const char* calls;  // by the service, all so far
        const char* marks;  // AlarmChanged, all so far
    } cycles[] = {
        {"no alarm", 0, "", ""},
        {"enters alarm", 1, " N1", "on"},
        {"stays in alarm", 1, " N1", "on"},
        {"another value too", 2, " N1", "on,on"},
        {"clears", 0, " N1 C1", "on,on,off"},
        {"stays clear", 0, " N1 C1", "on,on,off"},
        {"enters again", 1, " N1 C1 N2", "on,on,off,on"},
    };
    for (const auto& cycle : cycles) {
        SCOPED_TRACE(cycle.what);
        watch.Update("<b>K&3", *ModelWithAlarm(cycle.alarms));
        CallsReach(QString::fromLatin1(cycle.calls).count(u' '));
        EXPECT_EQ(bus.fake.calls.toStdString(), cycle.calls);
        EXPECT_EQ(marks.join(u',').toStdString(), cycle.marks);
        EXPECT_EQ(watch.InAlarm("<b>K&3"), cycle.alarms > 0);
    }
    ASSERT_EQ(bus.fake.bodies.size(), 2);
    EXPECT_EQ(bus.fake.bodies[0].toStdString(), "&lt;b&gt;K&amp;3: alarm on channel 1 (1-T-01)");
}

// Without the service on the bus, or without a bus, nothing fails: the mark is set all the same.
TEST_F(AlarmWatchTest, WithoutTheServiceTheMarkStillShows) {
    QDBusConnection::disconnectFromBus(QStringLiteral("svc"));
    for (const QString& address : {bus.address, QStringLiteral("unix:path=/nonexistent/bus")}) {
        SCOPED_TRACE(address.toStdString());
        CAlarmWatch watch(manager, std::make_unique<CDesktopNotifier>(address));
        int changes = 0;
        QObject::connect(&watch, &CAlarmWatch::AlarmChanged, [&] { ++changes; });
        watch.Update("Kiln 3", *ModelWithAlarm(1));
        ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(300));
        watch.Update("Kiln 3", *ModelWithAlarm(1));
        EXPECT_TRUE(watch.InAlarm("Kiln 3"));
        EXPECT_EQ(changes, 1);
    }
    EXPECT_EQ(bus.fake.calls.toStdString(), "");
}

// Followed on its connection, an instrument's alarm comes from its values answer after every
// cycle, until the link is lost; the acknowledge goes to that instrument alone, once.
TEST_F(AlarmWatchTest, FollowsTheConnectionAndAcknowledgesThatInstrumentOnly) {
    WriteCycle1000();
    StartSim("full");  // an alarm on channel 3
    auto other = StartSimServer(
        ShippedProfile("full", [](CSimProfile& p) { p.setup.channels[2].alarm = false; }));
    ASSERT_NE(other, nullptr);
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    const auto otherLogin = manager.ConnectAndLogin("127.0.0.1", "admin", "rzdemo", other->Port());
    ASSERT_TRUE(otherLogin.ok());
    const uint32_t otherId = *otherLogin;
    CAlarmWatch watch(manager, std::make_unique<CDesktopNotifier>(bus.address));
    watch.Follow("Furnace 1", id);
    watch.Follow("Dryer 2", otherId);
    EXPECT_TRUE(watch.InAlarm("Furnace 1"));
    EXPECT_FALSE(watch.InAlarm("Dryer 2"));
    ASSERT_TRUE(CallsReach(1));
    EXPECT_TRUE(bus.fake.bodies.value(0).startsWith(
        QStringLiteral("Furnace 1: alarm on channel 3 (PI-201)")));

    const size_t before = server->CommandRequests().size();
    const size_t otherBefore = other->CommandRequests().size();
    std::optional<RzResult> acknowledged;
    ASSERT_EQ(watch.Acknowledge("Furnace 1", [&](RzResult r) { acknowledged = r; }).code(), RZ_OK);
    ASSERT_TRUE(ProcessEventsUntil([&] { return acknowledged.has_value(); }));
    EXPECT_EQ(*acknowledged, RZ_OK);
    const auto sent = CommandRequestsFrom(*server, before);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "AK 0"), 1);
    const auto otherSent = CommandRequestsFrom(*other, otherBefore);
    EXPECT_EQ(std::count(otherSent.begin(), otherSent.end(), "AK 0"), 0);
    EXPECT_EQ(watch.Acknowledge("Kiln 3").code(), LINK_E_NOT_LOGGED_IN);

    server->WithInstrument([](CSimInstrument& i) { i.Setup().channels[2].alarm = false; });
    ASSERT_TRUE(CallsReach(2));
    EXPECT_EQ(bus.fake.calls.toStdString(), " N1 C1");
    EXPECT_FALSE(watch.InAlarm("Furnace 1"));

    // Another instrument's alarm has a notification of its own; a lost link ends its mark.
    other->WithInstrument([](CSimInstrument& i) { i.Setup().channels[2].alarm = true; });
    ASSERT_TRUE(CallsReach(3));
    other->Stop();
    ASSERT_TRUE(CallsReach(4));
    EXPECT_EQ(bus.fake.calls.toStdString(), " N1 C1 N2 C2");
    EXPECT_FALSE(watch.InAlarm("Dryer 2"));
}
