// Two consoles in one process, each with its own connection manager, main window and log-in
// controller, logged in to two simulators: they run independently, and the user's store keeps
// what each remembered.
#include <QLabel>

#include "app/ViewFactory.h"
#include "common/SimFixture.h"
#include "platform/Configuration.h"
#include "registry/InstrumentRegistry.h"
#include "shell/CommandTable.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"

namespace {

struct Console {
    std::unique_ptr<CSimServer> sim;
    CConnectionManager manager;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CLoginControl> login;
    bool shown = false;
};

class TwoConsoles : public SimFixture {};

}  // namespace

TEST_F(TwoConsoles, RunIndependentlyAndKeepEachOthersSettings) {
    const struct {
        const char* instrument;
        const char* user;
        const char* password;
    } rows[] = {{"Alpha", "admin", "rzadmin"}, {"Beta", "user", "rzuser"}};
    WriteCycle1000();
    CInstrumentRegistry registry;
    registry.Load();
    for (const auto& row : rows) {
        ASSERT_EQ(registry.Add(row.instrument, "127.  0.  0.  1"), RZ_OK);
    }
    ASSERT_EQ(registry.Save(), RZ_OK);

    Console consoles[2];
    for (size_t i = 0; i < 2; ++i) {
        Console& console = consoles[i];
        console.sim = StartSimServer(ShippedProfile("full"));
        ASSERT_NE(console.sim, nullptr);
        ASSERT_EQ(console.manager.Init(), RZ_OK);
        console.frame = std::make_unique<CMainFrame>(console.sim->Port());
        console.login =
            std::make_unique<CLoginControl>(console.manager, *console.frame, MakeInstrumentView);
        QObject::connect(console.login.get(), &CLoginControl::FirstDataShown,
                         [&console] { console.shown = true; });
    }
    // Both windows are open, each with its own handle on the user's store, before either logs
    // in.
    for (size_t i = 0; i < 2; ++i) {
        Console& console = consoles[i];
        console.frame->LoginAtStart(rows[i].instrument, rows[i].user,
                                    std::string(rows[i].password));
        ASSERT_TRUE(ProcessEventsUntil([&] { return console.shown; }))
            << console.frame->StatusPane(1)->text().toStdString();
    }
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(consoles[i].frame->windowTitle().toStdString(),
                  std::string("RZ Operator-") + rows[i].instrument);
        EXPECT_EQ(consoles[i].manager.ConnectionCount(), 1u);
    }
    // What each console remembered is still there after the other wrote to the same store.
    CUserSettings store;
    EXPECT_EQ(store.LastLogin(), "Beta");
    for (const auto& row : rows) {
        EXPECT_EQ(store.UserNameFor(row.instrument), row.user);
    }

    // The first console logs out; the second goes on with its cycle, asking its own instrument.
    consoles[0].frame->Action(ID_LOGOUT)->trigger();
    EXPECT_EQ(consoles[0].frame->windowTitle().toStdString(), "RZ Operator");
    EXPECT_EQ(consoles[0].manager.ConnectionCount(), 0u);
    const size_t firstAsked = CommandRequestsFrom(*consoles[0].sim, 0).size();
    const size_t secondAsked = CommandRequestsFrom(*consoles[1].sim, 0).size();
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return CommandRequestsFrom(*consoles[1].sim, secondAsked).size() >= 2; }));
    EXPECT_EQ(CommandRequestsFrom(*consoles[0].sim, 0).size(), firstAsked);
    EXPECT_TRUE(consoles[1].frame->State().loggedIn);
    EXPECT_EQ(consoles[1].frame->windowTitle().toStdString(), "RZ Operator-Beta");
    consoles[1].frame->Action(ID_LOGOUT)->trigger();
    EXPECT_EQ(consoles[1].manager.ConnectionCount(), 0u);
}
