// The program panel against rzsim: the pattern list per program option, and what Send, Hold and
// Advance send, in which order and with which waits.
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <future>

#include "common/ViewFixture.h"
#include "views/ProgramPanelDlg.h"

namespace {

constexpr uint32_t kDisplayKindEvent = 0x30D4A01;

class ProgramPanel : public ViewFixture {
  protected:
    // Opens rzsim with the profile and shows a panel of the program display.
    std::unique_ptr<CProgramPanelDlg> OpenPanel(const CSimProfile& profile) {
        Open(profile);
        auto panel = std::make_unique<CProgramPanelDlg>(context);
        panel->show();
        Publish(kDisplayKindEvent, 5);
        EXPECT_TRUE(Idle());
        return panel;
    }
    // Chooses `pattern` in the list as the operator does and waits for its state read.
    void Choose(CProgramPanelDlg& panel, int pattern) {
        auto* list = Find<QComboBox>(&panel, "PT#");
        list->setCurrentIndex(pattern - 1);
        emit list->activated(pattern - 1);
        ASSERT_TRUE(Idle());
    }
};

}  // namespace

TEST_F(ProgramPanel, PatternListFollowsTheProgramOptionAndTheFirmware) {
    struct Case {
        const char* profile;
        const char* firmware;  // nullptr: the profile's
        SimProgramOption option;
        int patterns;
        bool listEnabled;
    };
    const Case cases[] = {
        {"rz3200v2", nullptr, SimProgramOption::kSmall, 4, true},
        {"full", nullptr, SimProgramOption::kLarge, 30, true},
        {"full", nullptr, SimProgramOption::kNone, 0, true},
        {"full", "1.20", SimProgramOption::kSmall, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + (c.firmware ? c.firmware : ""));
        auto panel = OpenPanel(ShippedProfile(c.profile, [&](CSimProfile& p) {
            p.programOption = c.option;
            if (c.firmware != nullptr) {
                p.firmwareVersion = c.firmware;
            }
        }));
        auto* list = Find<QComboBox>(panel.get(), "PT#");
        ASSERT_EQ(list->count(), c.patterns);
        for (int i = 0; i < c.patterns; ++i) {
            EXPECT_EQ(list->itemText(i), QString::number(i + 1));
            EXPECT_EQ(list->itemData(i).toInt(), i + 1);
        }
        EXPECT_EQ(list->currentIndex(), -1);
        // Without a chosen pattern nothing can be sent; below firmware 2 nothing at all.
        for (const char* name : {"Run", "Reset", "Send", "Hold", "Advance"}) {
            EXPECT_FALSE(Find(panel.get(), name)->isEnabled()) << name;
        }
        EXPECT_EQ(Find(panel.get(), "PT#")->isEnabled(), c.listEnabled);
        panel.reset();
        Close();
    }
}

// Patterns of the profile: 1 reset, 2 running, 3 held. "Run" and "Reset" press that radio
// button, then Send. Selecting the pattern sends "PN" and reads its state ("FW"); an action that
// was sent waits its time before the state is read again.
TEST_F(ProgramPanel, ActionsSendTheirRequestsAndReadTheStateAfterTheirWait) {
    struct Case {
        int pattern;
        const char* press;
        const char* sent;
        uint32_t waitMs;
        size_t waitAfter;  // requests sent before the wait
        const char* checkedAfter;
        const char* holdAfter;
    };
    const Case cases[] = {
        {2, "Send", "PN 2|FW|FW", 0, 0, "Run", "Hold"},  // running: nothing more to run
        {2, "Reset", "PN 2|FW|PX 0|UD 1,PROGRAM|FW", 2000, 4, "Reset", "Hold"},
        {1, "Run", "PN 1|FW|PX 1|UD 1,PROGRAM|FW", 2000, 4, "Run", "Hold"},
        {3, "Unhold", "PN 3|FW|HU 0|FW", 1500, 3, "Run", "Hold"},
        {2, "Hold", "PN 2|FW|HU 1|FW", 1500, 3, "Run", "Unhold"},
        {2, "Advance", "PN 2|FW|AD 1|FW", 1000, 3, "Run", "Hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.press) + " " + std::to_string(c.pattern));
        auto panel = OpenPanel(ShippedProfile("full"));
        Choose(*panel, c.pattern);
        EXPECT_EQ(Sent(), "FW");
        if (std::string(c.press) == "Run" || std::string(c.press) == "Reset") {
            Find<QRadioButton>(panel.get(), c.press)->click();
            Find<QPushButton>(panel.get(), "Send")->click();
        } else {
            Find<QPushButton>(panel.get(), c.press)->click();
        }
        EXPECT_TRUE(panel->Busy());
        EXPECT_FALSE(Find(panel.get(), "Send")->isEnabled());
        ASSERT_TRUE(Idle());
        EXPECT_FALSE(panel->Busy());
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(pauses->Take(), (c.waitMs == 0 ? Pauses{} : Pauses{{c.waitMs, c.waitAfter}}));
        EXPECT_TRUE(Find<QRadioButton>(panel.get(), c.checkedAfter)->isChecked());
        // Hold and Advance are offered for a running pattern only.
        const bool running = std::string(c.checkedAfter) == "Run";
        EXPECT_EQ(Find(panel.get(), c.holdAfter)->isEnabled(), running);
        EXPECT_EQ(Find(panel.get(), "Advance")->isEnabled(), running);
        panel.reset();
        for (uint32_t key : {kDisplayKindEvent, CProgramPanelDlg::kPatternEvent,
                             MakeEventKey(id, HUB_EVENT_DATA_REFRESHED)}) {
            EXPECT_EQ(manager.hub().SubscriberCount(key), 0u) << key;
        }
        Close();
    }
}

// New data re-reads the chosen pattern only when its state changed, and clears the mark.
TEST_F(ProgramPanel, NewDataReadsAChangedPatternAgain) {
    for (const int changed : {0, 1}) {
        SCOPED_TRACE(changed);
        auto panel = OpenPanel(ShippedProfile("full"));
        Choose(*panel, 2);
        Sent();
        connection->UpdateModel([=](CInstrumentModel& m) { m.patterns[1].changed = changed; });
        Publish(MakeEventKey(id, HUB_EVENT_DATA_REFRESHED), static_cast<int32_t>(id));
        EXPECT_EQ(panel->Busy(), changed != 0);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Sent(), changed != 0 ? "FW" : "");
        EXPECT_EQ(ModelOf(id).patterns[1].changed, 0);
        panel.reset();
        Close();
    }
}

// The display switch that brings the panel up may run an operation of its own: the panel then
// shows the state last read instead of refusing it or being refused.
TEST_F(ProgramPanel, ShowingThePanelWhileAnotherOperationRunsRefusesNothing) {
    Open(ShippedProfile("full"));
    connection->UpdateViewState([](CViewState& s) { s.selectedPattern = 3; });
    CProgramPanelDlg panel(context);
    panel.show();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_EQ(connection->StartOperation("Switch",
                                         [released](CInstrumentConnection&) {
                                             released.wait();
                                             return RZ_OK;
                                         }),
              RZ_OK);
    Publish(kDisplayKindEvent, 5);
    // The panel selects the stored pattern once the event's handlers are done.
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return panel.findChild<QComboBox*>()->currentIndex() == 2; }));
    release.set_value();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Sent(), "");
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Find<QComboBox>(&panel, "PT#")->currentText(), "3");
    EXPECT_TRUE(Find(&panel, "Unhold")->isEnabled());
}
