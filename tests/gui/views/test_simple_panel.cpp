// The simple control panel against rzsim: what its six columns show of control and measurement
// groups, paging, the group list, and the memory and math buttons per access level.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>

#include "gui/views/PanelFixture.h"
#include "views/SimplePanelDlg.h"

namespace {

constexpr uint32_t kDisplayKindEvent = 0x30D4A01;
using Strings = std::vector<std::string>;
using Members = std::vector<CGroupMember>;

void Put(char* field, size_t size, const std::string& text) {
    std::snprintf(field, size, "%s", text.c_str());
}

// Names every record after what it is, so a column shows which record it took: channel n "Cn",
// internal loop n "Ln" with tags "LnPV", "LnSP", "LnOUT", external loop n "En" likewise, and
// DI/DO point n "DIO-POINT-n" (long enough for a tip), present except point 9.
void NameRecords(CInstrumentModel& m) {
    for (int n = 1; n <= kChannels; ++n) {
        Put(m.channels[n - 1].display.tag[0], kNameSize, "C" + std::to_string(n));
    }
    const auto loop = [](CDisplayBlock& d, const std::string& name) {
        Put(d.name, kNameSize, name);
        Put(d.tag[0], kNameSize, name + "PV");
        Put(d.tag[1], kNameSize, name + "SP");
        Put(d.tag[2], kNameSize, name + "OUT");
        Put(d.valueText[1], kValueTextSize, "sp");
    };
    for (int n = 1; n <= kInternalLoops; ++n) {
        loop(m.internalLoops[n - 1].display, "L" + std::to_string(n));
    }
    for (int n = 1; n <= kExternalLoops; ++n) {
        loop(m.externalLoops[n - 1].display, "E" + std::to_string(n));
    }
    for (int n = 1; n <= kDioPoints; ++n) {
        Put(m.dio[n - 1].display.name, kNameSize, "DIO-POINT-" + std::to_string(n));
        m.dio[n - 1].present = n != 9;
    }
}

class SimplePanel : public PanelFixture {
  protected:
    std::unique_ptr<CSimplePanelDlg> OpenPanel(const char* user = "admin",
                                               const char* password = "rzadmin") {
        Open(ShippedProfile("full"), user, password);
        connection->UpdateModel(NameRecords);
        auto panel = std::make_unique<CSimplePanelDlg>(context);
        panel->show();
        return panel;
    }
    void SetDisplay(int32_t kind, int32_t group) {
        connection->UpdateViewState([=](CViewState& s) {
            s.displayKind = kind;
            s.displayGroup = group;
        });
    }
    // The label right above the box named `box`.
    static QLabel* LabelAbove(CSimplePanelDlg& panel, const QString& box) {
        const QRect at = Find(&panel, box)->geometry();
        QLabel* above = nullptr;
        for (QLabel* label : panel.findChildren<QLabel*>()) {
            const QRect r = label->geometry();
            if (r.left() == at.left() && r.bottom() < at.top() &&
                (above == nullptr || r.top() > above->geometry().top())) {
                above = label;
            }
        }
        return above;
    }
    static Strings Names(CSimplePanelDlg& panel) {
        Strings names;
        for (int c = 1; c <= CSimplePanelDlg::kColumns; ++c) {
            names.push_back(
                Find<QLineEdit>(&panel, QString("Name %1").arg(c))->text().toStdString());
        }
        return names;
    }
};

}  // namespace

TEST_F(SimplePanel, ColumnsShowTheGroupsMembers) {
    struct Case {
        const char* name;
        int32_t kind;
        Members members;
        bool nextPage;
        Strings names;
        bool paged;
        const char* valueCaption4;  // the value label of the fourth column
    };
    const Members seven = {{1, 1}, {1, 2}, {3, 101}, {3, 105}, {4, 206}, {2, 31}, {1, 3}};
    const Members six(seven.begin(), seven.end() - 1);
    const Case cases[] = {
        {"ControlGroupRecordsAndChannels",
         1,
         {{3, 1}, {4, 2}, {1, 5}, {5, 3}, {2, 31}},
         false,
         {"L1", "E2", "C5", "DIO-POINT-3", "C31", ""},
         false,
         "PV:"},
        {"KindZeroSkippedNumberBelowOneEnds",
         1,
         {{0, 7}, {3, 1}, {0, 0}, {3, 2}, {1, 0}, {3, 3}},
         false,
         {"L1", "L2", "", "", "", ""},
         false,
         "PV:"},
        {"AbsentDioPointTakesNoColumn",
         1,
         {{5, 9}, {5, 3}},
         false,
         {"DIO-POINT-3", "", "", "", "", ""},
         false,
         "PV:"},
        {"MembersOutsideTheRecordsSkipped",
         1,
         {{3, 7}, {4, 17}, {1, 61}, {5, 37}, {3, 2}},
         false,
         {"L2", "", "", "", "", ""},
         false,
         "PV:"},
        {"SevenMembersPageZero",
         4,
         seven,
         false,
         {"C1", "C2", "L1PV", "L2SP", "E2OUT", "C31"},
         true,
         "SP:"},
        {"SevenMembersPageOne", 4, seven, true, {"C3", "", "", "", "", ""}, true, "PV:"},
        {"SixMembersAreNotPaged",
         4,
         six,
         false,
         {"C1", "C2", "L1PV", "L2SP", "E2OUT", "C31"},
         false,
         "SP:"},
        {"LoopQuantityOutsideTheRecordsSkipped",
         4,
         {{3, 130}, {4, 300}, {1, 1}},
         false,
         {"C1", "", "", "", "", ""},
         false,
         "PV:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto panel = OpenPanel();
        connection->UpdateModel([&](CInstrumentModel& m) {
            for (int i = 0; i < kGroupMembers; ++i) {
                const CGroupMember member =
                    i < static_cast<int>(c.members.size()) ? c.members[i] : CGroupMember{0, 0};
                m.controlGroups[0].members[i] = member;
                m.displayGroups[0].members[i] = member;
            }
        });
        SetDisplay(c.kind, 0);
        panel->Resync();
        auto* next = Find<QPushButton>(panel.get(), "Next page");
        EXPECT_EQ(next->isVisible(), c.paged);
        if (c.nextPage) {
            next->click();
            EXPECT_FALSE(next->isEnabled());
            EXPECT_TRUE(Find(panel.get(), "Previous page")->isEnabled());
        }
        EXPECT_EQ(Names(*panel), c.names);
        // The value label of column 4 follows the quantity shown.
        EXPECT_EQ(LabelAbove(*panel, "Value 4")->text(), c.valueCaption4);
        for (int col = 1; col <= CSimplePanelDlg::kColumns; ++col) {
            auto* name = Find<QLineEdit>(panel.get(), QString("Name %1").arg(col));
            const bool filled = !name->text().isEmpty();
            // Non-empty boxes are drawn light green on black; empty ones keep the default.
            EXPECT_EQ(name->palette().color(QPalette::Base) == QColor(Qt::black), filled);
            EXPECT_EQ(name->palette().color(QPalette::Text) == QColor(135, 241, 202), filled);
            EXPECT_EQ(name->toolTip(), name->text().size() >= 9 ? name->text() : QString());
        }
        panel.reset();
        Close();
    }
}

TEST_F(SimplePanel, DisplayStateGroupListAndFunctionButtons) {
    struct Case {
        const char* name;
        const char* user;
        int32_t kind, group;
        std::function<void(CSimplePanelDlg&)> act;  // after a first Resync
        int32_t kindAfter, groupAfter;
        const char* checked;
        const char* listed;
        bool memoryShown, programShown;
        Strings sent;
        const char* memoryCaption;
        const char* mathCaption;
    };
    const auto none = [](CSimplePanelDlg&) {};
    const auto press = [this](const char* button) {
        return [this, button](CSimplePanelDlg& panel) {
            Find<QPushButton>(&panel, button)->click();
            EXPECT_TRUE(panel.Busy());
            EXPECT_TRUE(Settle());
        };
    };
    const Case cases[] = {
        {"LevelAMeasurementGroup",
         "admin",
         4,
         0,
         none,
         4,
         0,
         "Measurement",
         "FURNACE",
         true,
         true,
         {},
         "Stop",
         "Start"},
        {"LevelUNeverSeesMemoryAndMath",
         "user",
         4,
         0,
         none,
         4,
         0,
         "Measurement",
         "FURNACE",
         false,
         false,
         {},
         "Start",
         "Start"},
        {"ControlGroupHidesMemoryAndMath",
         "admin",
         1,
         0,
         none,
         1,
         0,
         "Control",
         "ZONE A",
         false,
         true,
         {},
         "Start",
         "Start"},
        {"OverviewBecomesMeasurementGroupZero",
         "admin",
         6,
         3,
         none,
         4,
         0,
         "Measurement",
         "FURNACE",
         true,
         true,
         {},
         "Stop",
         "Start"},
        {"UnnamedGroupBeforeTheChosenOne",
         "admin",
         4,
         2,
         [this](CSimplePanelDlg& panel) {
             connection->UpdateModel([](CInstrumentModel& m) {
                 const char* names[] = {"", "A", "B", "C"};
                 for (int g = 0; g < 4; ++g) {
                     Put(m.displayGroups[g].name, kNameSize, names[g]);
                 }
             });
             panel.Resync();
         },
         4,
         2,
         "Measurement",
         "B",
         true,
         true,
         {},
         "Stop",
         "Start"},
        {"KindEventTakesTheFirstListedGroup",
         "admin",
         4,
         2,
         [this](CSimplePanelDlg&) {
             connection->UpdateModel([](CInstrumentModel& m) { m.displayGroups[0].name[0] = 0; });
             Publish(kDisplayKindEvent, 4);
         },
         4,
         1,
         "Measurement",
         "FLOW",
         true,
         true,
         {},
         "Stop",
         "Start"},
        {"Kind7LeftAloneUntilResync",
         "admin",
         1,
         0,
         [this](CSimplePanelDlg& panel) {
             const Strings before = Names(panel);
             SetDisplay(7, 0);
             Publish(kDisplayKindEvent, 7);
             Publish(MakeEventKey(id, HUB_EVENT_DATA_REFRESHED), int32_t(id));
             EXPECT_EQ(Names(panel), before);
             EXPECT_EQ(connection->ViewState().displayKind, 7);
             panel.Resync();
         },
         1,
         0,
         "Control",
         "ZONE A",
         false,
         true,
         {},
         "Start",
         "Start"},
        {"ChoosingTheCurrentKindPublishesNothing",
         "admin",
         1,
         0,
         [this](CSimplePanelDlg& panel) {
             int heard = 0;
             manager.hub().Subscribe(
                 1, [&](uint32_t, uint32_t, auto, int32_t, const void*, size_t, void*) { ++heard; },
                 nullptr, kDisplayKindEvent, 1);
             Find<QRadioButton>(&panel, "Control")->click();
             Find<QRadioButton>(&panel, "Measurement")->click();
             EXPECT_EQ(heard, 1);
             manager.hub().Unsubscribe(1, kDisplayKindEvent);
         },
         4,
         0,
         "Measurement",
         "FURNACE",
         true,
         true,
         {},
         "Stop",
         "Start"},
        {"MemoryStops",
         "admin",
         4,
         0,
         press("Memory"),
         4,
         0,
         "Measurement",
         "FURNACE",
         true,
         true,
         {"PS 1"},
         "Start",
         "Start"},
        {"MathStarts",
         "admin",
         4,
         0,
         press("Math"),
         4,
         0,
         "Measurement",
         "FURNACE",
         true,
         true,
         {"TL 0"},
         "Stop",
         "Stop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto panel = OpenPanel(c.user, std::string(c.user) == "admin" ? "rzadmin" : "rzuser");
        SetDisplay(c.kind, c.group);
        panel->Resync();
        Requests();
        c.act(*panel);
        EXPECT_EQ(Requests(), c.sent);
        const CViewState state = connection->ViewState();
        EXPECT_EQ(state.displayKind, c.kindAfter);
        EXPECT_EQ(state.displayGroup, c.groupAfter);
        EXPECT_TRUE(Find<QRadioButton>(panel.get(), c.checked)->isChecked());
        if (c.listed != nullptr) {
            EXPECT_EQ(Find<QComboBox>(panel.get(), "Group")->currentText(), c.listed);
        }
        EXPECT_EQ(Find(panel.get(), "Memory")->isVisible(), c.memoryShown);
        EXPECT_EQ(Find(panel.get(), "Math")->isVisible(), c.memoryShown);
        EXPECT_EQ(Find(panel.get(), "Program")->isVisible(), c.programShown);
        EXPECT_EQ(Find<QPushButton>(panel.get(), "Memory")->text(), c.memoryCaption);
        EXPECT_EQ(Find<QPushButton>(panel.get(), "Math")->text(), c.mathCaption);
        panel.reset();
        EXPECT_EQ(manager.hub().SubscriberCount(kDisplayKindEvent), 0u);
        EXPECT_EQ(manager.hub().SubscriberCount(CSimplePanelDlg::kPageEvent), 0u);
        Close();
    }
}
