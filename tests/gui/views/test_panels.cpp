// The view's panels against rzsim in process: the simple control panel's columns, paging, group
// list and function buttons; the program panel's pattern list and actions; the function commands
// and the log reporter (the save-data busy time passes on a gated pause source, not in real time).
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocumentFragment>
#include <QWidget>
#include <future>

#include "SimSetup.h"
#include "common/ModalWatcher.h"
#include "common/TextFit.h"
#include "common/ViewFixture.h"
#include "platform/Strings.h"
#include "views/FunctionCommands.h"
#include "views/LogReporterDlg.h"
#include "views/ProgramPanelDlg.h"
#include "views/SimplePanelDlg.h"
#include "views/ViewOperations.h"

namespace {

using Members = std::vector<CGroupMember>;

// Names every record after what it is, so a column shows which record it took: channel n "Cn",
// internal loop n "Ln" with tags "LnPV", "LnSP", "LnOUT", external loop n "En" likewise, and
// DI/DO point n "DIO-POINT-n" (long enough for a tip), present except point 9.
void NameRecords(CInstrumentModel& m) {
    for (int n = 1; n <= kChannels; ++n) {
        CopyText(m.channels[n - 1].display.tag[0], kNameSize, ("C" + std::to_string(n)).c_str());
    }
    const auto loop = [](CDisplayBlock& d, const std::string& name) {
        CopyText(d.name, kNameSize, name.c_str());
        CopyText(d.tag[0], kNameSize, (name + "PV").c_str());
        CopyText(d.tag[1], kNameSize, (name + "SP").c_str());
        CopyText(d.tag[2], kNameSize, (name + "OUT").c_str());
        CopyText(d.valueText[1], kValueTextSize, "sp");
    };
    for (int n = 1; n <= kInternalLoops; ++n) {
        loop(m.internalLoops[n - 1].display, "L" + std::to_string(n));
    }
    for (int n = 1; n <= kExternalLoops; ++n) {
        loop(m.externalLoops[n - 1].display, "E" + std::to_string(n));
    }
    for (int n = 1; n <= kDioPoints; ++n) {
        CopyText(m.dio[n - 1].display.name, kNameSize, ("DIO-POINT-" + std::to_string(n)).c_str());
        m.dio[n - 1].present = n != 9;
    }
}

class SimplePanel : public ViewFixture {
  protected:
    std::unique_ptr<CSimplePanelDlg> OpenPanel(const char* user = "admin",
                                               const char* password = "rzdemo") {
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
        for (QLabel* label : Find(&panel, box)->parentWidget()->findChildren<QLabel*>()) {
            const QRect r = label->geometry();
            if (r.left() == at.left() && r.bottom() < at.top() &&
                (above == nullptr || r.top() > above->geometry().top())) {
                above = label;
            }
        }
        return above;
    }
    // The name boxes' texts, joined by '|'.
    static QString Names(CSimplePanelDlg& panel) {
        QStringList names;
        for (int c = 1; c <= CSimplePanelDlg::kColumns; ++c) {
            names << Find<QLineEdit>(&panel, QString("Name %1").arg(c))->text();
        }
        return names.join(u'|');
    }
};

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

class FunctionCommandsTest : public ViewFixture {
  protected:
    // Logs in to rzsim with math and memory stopped, the communication log "a", "b", "c", an
    // empty FTP log and an alarm log of 100 lines of 154 bytes (more than 10 KB).
    void LogIn() {
        for (int i = 0; i < 100; ++i) {
            alarms.push_back(std::to_string(1000 + i) + std::string(150, 'x'));
        }
        manager.SetLinkTimeout(300);
        Open(ShippedProfile("full", [this](CSimProfile& p) {
            p.setup.mathRunning = p.setup.memoryRunning = false;
            p.setup.logs[kSimLogCom] = {"a", "b", "c"};
            p.setup.logs[kSimLogFtpc] = {};
            p.setup.logs[kSimLogAlarm] = alarms;
        }));
        commands = std::make_unique<CFunctionCommands>(context, &parent);
        QObject::connect(commands.get(), &CFunctionCommands::StatesChanged, [this] { ++changes; });
    }
    // Captions of Math and Memory and whether Math reset and Message are offered, in one text.
    std::string States() {
        const auto on = [&](CommandRef command) {
            return commands->StateOf(command).enabled ? "on" : "off";
        };
        return commands->StateOf(Command::kMath).caption.toStdString() + "/" +
               commands->StateOf(Command::kMemory).caption.toStdString() + "/reset " +
               on(Command::kMathReset) + "/message " + on(Command::kWriteMessageMenu) + "," +
               on({Command::kMessage, 8});
    }

    std::vector<std::string> alarms;
    QWidget parent;
    std::unique_ptr<CFunctionCommands> commands;
    int changes = 0;
};

}  // namespace

// Members are {kind, number}; the same list goes to control group 0 and measurement group 0.
TEST_F(SimplePanel, ColumnsShowTheGroupsMembers) {
    struct Case {
        int32_t kind;
        Members members;
        int pages;  // 1: not paged; 2: paged, shown on page 0; 3: paged, turned to page 1
        const char* names;
        const char* valueCaption4;  // the value label of the fourth column
    };
    const Members seven = {{1, 1}, {1, 2}, {3, 101}, {3, 105}, {4, 206}, {2, 31}, {1, 3}};
    const Members six(seven.begin(), seven.end() - 1);
    const Case cases[] = {
        // Whole loop and DI/DO records, channels as their value.
        {1, {{3, 1}, {4, 2}, {1, 5}, {5, 3}, {2, 31}}, 1, "L1|E2|C5|DIO-POINT-3|C31|", "PV:"},
        // A member of kind 0 is skipped, the first number below 1 ends the group.
        {1, {{0, 7}, {3, 1}, {0, 0}, {3, 2}, {1, 0}, {3, 3}}, 1, "L1|L2||||", "PV:"},
        {1, {{5, 9}, {5, 3}}, 1, "DIO-POINT-3|||||", "PV:"},  // point 9 is absent
        // Numbers that name no record of the model take no column.
        {1, {{3, 7}, {4, 17}, {1, 61}, {5, 37}, {3, 2}}, 1, "L2|||||", "PV:"},
        {4, {{3, 130}, {4, 300}, {1, 1}}, 1, "C1|||||", "PV:"},
        // Loop quantities show their own tag and caption.
        {4, six, 1, "C1|C2|L1PV|L2SP|E2OUT|C31", "SP:"},
        {4, seven, 2, "C1|C2|L1PV|L2SP|E2OUT|C31", "SP:"},
        {4, seven, 3, "C3|||||", "PV:"},
    };
    for (size_t row = 0; row < std::size(cases); ++row) {
        const Case& c = cases[row];
        SCOPED_TRACE(row);
        auto panel = OpenPanel();
        connection->UpdateModel([&](CInstrumentModel& m) {
            for (size_t i = 0; i < kGroupMembers; ++i) {
                const CGroupMember member = i < c.members.size() ? c.members[i] : CGroupMember{};
                m.controlGroups[0].members[i] = m.displayGroups[0].members[i] = member;
            }
        });
        SetDisplay(c.kind, 0);
        panel->Resync();
        auto* next = Find<QPushButton>(panel.get(), "Next page");
        auto* previous = Find<QPushButton>(panel.get(), "Previous page");
        EXPECT_EQ(next->isVisible(), c.pages > 1);
        EXPECT_EQ(previous->isVisible(), c.pages > 1);
        if (c.pages == 3) {
            EXPECT_FALSE(previous->isEnabled());
            next->click();
            EXPECT_FALSE(next->isEnabled());
            EXPECT_TRUE(previous->isEnabled());
        }
        EXPECT_EQ(Names(*panel), c.names);
        EXPECT_EQ(LabelAbove(*panel, "Value 4")->text(), c.valueCaption4);
        ExpectTextsFit(panel.get());
        for (int col = 1; col <= CSimplePanelDlg::kColumns; ++col) {
            auto* name = Find<QLineEdit>(panel.get(), QString("Name %1").arg(col));
            const bool filled = !name->text().isEmpty();
            // Non-empty boxes are drawn light green on black; empty ones keep the default.
            EXPECT_EQ(name->palette().color(QPalette::Base) == QColor(Qt::black), filled);
            EXPECT_EQ(name->palette().color(QPalette::Text) == QColor(135, 241, 202), filled);
            EXPECT_EQ(QTextDocumentFragment::fromHtml(name->toolTip()).toPlainText(),
                      name->text().size() >= 9 ? name->text() : QString());
        }
        panel.reset();
        Close();
    }
}

// Each row starts from the display state {kind, group} and a Resync, then acts; the radio
// button checked follows the kind, and "Program" shows for level A only.
TEST_F(SimplePanel, DisplayStateGroupListAndFunctionButtons) {
    struct Case {
        char level;
        int32_t kind, group;
        std::function<void(CSimplePanelDlg&)> act;
        int32_t kindAfter, groupAfter;
        const char* listed;
        bool memoryShown;
        const char* press;  // "Memory" or "Math"
        const char* sent;
        const char* captionAfter;  // of the pressed button
    };
    const auto none = [](CSimplePanelDlg&) {};
    const auto refused = [this](const char* key) {
        return [this, key](CSimplePanelDlg&) { server->SetFaults({.errorForKeys = {key}}); };
    };
    const Case cases[] = {
        {'A', 4, 0, none, 4, 0, "FURNACE", true, nullptr, "", nullptr},
        {'U', 4, 0, none, 4, 0, "FURNACE", false, nullptr, "", nullptr},
        {'A', 1, 0, none, 1, 0, "ZONE A", false, nullptr, "", nullptr},
        {'A', 6, 3, none, 4, 0, "FURNACE", true, nullptr, "", nullptr},       // overview
        {'A', 4, 0, none, 4, 0, "FURNACE", true, "Memory", "PS 1", "Start"},  // was running
        {'A', 4, 0, none, 4, 0, "FURNACE", true, "Math", "TL 0", "Stop"},
        // A refused start or stop leaves the caption.
        {'A', 4, 0, refused("PS"), 4, 0, "FURNACE", true, "Memory", "PS 1", "Stop"},
        {'A', 4, 0, refused("TL"), 4, 0, "FURNACE", true, "Math", "TL 0", "Start"},
        // Groups without a name are not listed: the list names the group shown.
        {'A', 4, 2,
         [this](CSimplePanelDlg& panel) {
             connection->UpdateModel([](CInstrumentModel& m) {
                 const char* names[] = {"", "A", "B", "C"};
                 for (int g = 0; g < 4; ++g) {
                     CopyText(m.displayGroups[g].name, kNameSize, names[g]);
                 }
             });
             panel.Resync();
         },
         4, 2, "B", true, nullptr, "", nullptr},
        {'A', 4, 2,
         [this](CSimplePanelDlg&) {
             connection->UpdateModel([](CInstrumentModel& m) { m.displayGroups[0].name[0] = 0; });
             Publish(kDisplayKindEvent, 4);
         },
         4, 1, "FLOW", true, nullptr, "", nullptr},
        // Kind 7 (DI/DO status) leaves the columns as they were, until Resync.
        {'A', 1, 0,
         [this](CSimplePanelDlg& panel) {
             const QString before = Names(panel);
             SetDisplay(7, 0);
             Publish(kDisplayKindEvent, 7);
             Publish(DataRefreshedEvent(id), id);
             EXPECT_EQ(Names(panel), before);
             EXPECT_EQ(connection->ViewState().displayKind, 7);
             panel.Resync();
         },
         1, 0, "ZONE A", false, nullptr, "", nullptr},
        // Choosing the kind shown publishes nothing; another one is published once.
        {'A', 1, 0,
         [this](CSimplePanelDlg& panel) {
             Hear(kDisplayKindEvent, "K", 1);
             Find<QRadioButton>(&panel, "Control")->click();
             Find<QRadioButton>(&panel, "Measurement")->click();
             EXPECT_EQ(heard, "K4");
             manager.hub().UnsubscribeChannel(1);
         },
         4, 0, "FURNACE", true, nullptr, "", nullptr},
    };
    for (size_t row = 0; row < std::size(cases); ++row) {
        const Case& c = cases[row];
        SCOPED_TRACE(row);
        auto panel = c.level == 'A' ? OpenPanel() : OpenPanel("user", "rzuser");
        SetDisplay(c.kind, c.group);
        panel->Resync();
        Sent();
        c.act(*panel);
        if (c.press != nullptr) {
            Find<QPushButton>(panel.get(), c.press)->click();
            EXPECT_TRUE(panel->Busy());
            ASSERT_TRUE(Idle());
            EXPECT_EQ(Find<QPushButton>(panel.get(), c.press)->text(), c.captionAfter);
        }
        EXPECT_EQ(Sent(), c.sent);
        const CViewState state = connection->ViewState();
        EXPECT_EQ(state.displayKind, c.kindAfter);
        EXPECT_EQ(state.displayGroup, c.groupAfter);
        const char* checked = c.kindAfter == 4 ? "Measurement" : "Control";
        EXPECT_TRUE(Find<QRadioButton>(panel.get(), checked)->isChecked());
        EXPECT_EQ(Find<QComboBox>(panel.get(), "Group")->currentText(), c.listed);
        ExpectTextsFit(panel.get());
        EXPECT_EQ(Find(panel.get(), "Memory")->isVisible(), c.memoryShown);
        EXPECT_EQ(Find(panel.get(), "Math")->isVisible(), c.memoryShown);
        EXPECT_EQ(Find(panel.get(), "Program")->isVisible(), c.level == 'A');
        panel.reset();
        EXPECT_EQ(manager.hub().SubscriberCount(kDisplayKindEvent), 0u);
        EXPECT_EQ(manager.hub().SubscriberCount(kDisplayGroupEvent), 0u);
        Close();
    }
}

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
        }
        EXPECT_EQ(list->currentIndex(), -1);
        // Without a chosen pattern nothing can be sent; below firmware 2 nothing at all.
        for (const char* name : {"Run", "Reset", "Send", "Hold", "Advance"}) {
            EXPECT_FALSE(Find(panel.get(), name)->isEnabled()) << name;
        }
        EXPECT_EQ(Find(panel.get(), "PT#")->isEnabled(), c.listEnabled);
        ExpectTextsFit(panel.get());
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
        ExpectTextsFit(panel.get());
        panel.reset();
        EXPECT_EQ(manager.hub().SubscriberCount(kDisplayKindEvent), 0u);
        EXPECT_EQ(manager.hub().SubscriberCount(DataRefreshedEvent(id)), 0u);
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
        Publish(DataRefreshedEvent(id), id);
        EXPECT_EQ(panel->Busy(), changed != 0);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Sent(), changed != 0 ? "FW" : "");
        EXPECT_EQ(ModelOf(id).patterns[1].changed, 0);
        panel.reset();
        Close();
    }
}

TEST_F(FunctionCommandsTest, RequestsAndStates) {
    LogIn();
    // Only the Message drop-down follows the recording; its items are always offered.
    const std::string stopped = "Start math/Start memory/reset on/message off,on";
    const std::string recording = "Start math/Stop memory/reset on/message on,on";
    EXPECT_EQ(States(), stopped);
    using enum Command;
    const struct {
        CommandRef command;
        const char* request;
        std::string states;  // after the command; a save-data request ("EV") then pauses 1 s
    } rows[] = {
        {kMath, "TL 0", "Stop math/Start memory/reset off/message off,on"},
        {kMath, "TL 1", stopped},
        {kMathReset, "TL 2", stopped},
        {{kMessage, 8}, "MS 8", stopped},
        {kMemory, "PS 0", recording},
        {{kMessage, 1}, "MS 1", recording},
        {kMemory, "PS 1", stopped},
        {kAlarmAck, "AK 0", stopped},
        {kSaveDisplay, "EV 3", stopped},
        {kSaveEvent, "EV 4", stopped},
        {kManualSample, "EV 0", stopped},
        {kManualTrigger, "EV 1", stopped},
    };
    int changesBefore = changes;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.request);
        commands->Run(row.command);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Sent(), row.request);
        EXPECT_EQ(States(), row.states);
        EXPECT_EQ(changes, ++changesBefore);
        EXPECT_EQ(pauses->Take(), (row.request[0] == 'E' ? Pauses{{1000, 1}} : Pauses{}));
    }
    // A start the instrument refuses leaves the caption, and the next press starts again.
    CSimFaults faults;
    faults.errorForKeys = {"TL"};
    server->SetFaults(faults);
    for (int press = 0; press < 2; ++press) {
        commands->Run(kMath);
        ASSERT_TRUE(Idle());
    }
    EXPECT_EQ(Sent(), "TL 0|TL 0");
    EXPECT_EQ(States(), stopped);
}

// The save-data busy time counts as running: busy cursor; any other command refused, nothing sent.
TEST_F(FunctionCommandsTest, BusyTimeRefusesOtherOperations) {
    LogIn();
    std::promise<void> open;
    std::atomic<bool> paused = false;
    pauses->hook = [&paused, gate = open.get_future().share()] {
        paused = true;
        gate.wait();
    };
    commands->Run(Command::kSaveEvent);
    ASSERT_TRUE(ProcessEventsUntil([&] { return paused.load(); }));
    EXPECT_TRUE(ViewOperationCursorShown());
    shown.clear();
    commands->Run(Command::kAlarmAck);
    CLogReporterDlg dialog(context);
    dialog.show();
    emit dialog.LogTypeList()->activated(1);
    EXPECT_EQ(shown, (std::vector<std::string>(2, "Save data is still running")));
    EXPECT_TRUE(dialog.isVisible());
    open.set_value();
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(ViewOperationCursorShown());
    EXPECT_EQ(Sent(), "EV 4");
}

TEST_F(FunctionCommandsTest, LogReporter) {
    LogIn();
    CModalWatcher watcher;
    watcher.onDialog = [](QDialog*) {};  // the log reporter itself stays open
    commands->Run(Command::kLog);
    QPointer<CLogReporterDlg> dialog = parent.findChild<CLogReporterDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    QComboBox* types = dialog->LogTypeList();
    EXPECT_EQ(types->count(), 8);
    EXPECT_EQ(types->currentIndex(), -1);
    ExpectTextsFit(dialog);
    std::string newestAlarmFirst;  // received as 15,600 bytes
    for (auto line = alarms.rbegin(); line != alarms.rend(); ++line) {
        newestAlarmFirst += *line + (line + 1 != alarms.rend() ? "\n" : "");
    }
    const struct {
        int index;
        const char* request;
        std::string shown;
    } rows[] = {
        {1, "FL COM,200", "c\nb\na"},
        {1, "FL COM,200", "c\nb\na"},  // the same choice reads again
        {6, "FL FTPC,50", "No corresponding log!"},
        {0, "FL ALARM ,120", newestAlarmFirst},
        // The profile's own logs.
        {2, "FL ERR,50",
         "24/05/17 07:56:02 E211 Memory card inserted\n24/05/17 07:55:10 E210 Memory card removed"},
        {3, "FL KEY,50", "24/05/17 08:30:00 Key lock off"},
        {4, "FL WEB,50", "24/05/17 08:45:12 Web monitor 192.168.1.30"},
        {5, "FL EMAIL,50", "24/05/17 09:05:00 Alarm mail sent to operator"},
        {7, "FL MSG,100", "24/05/17 06:00:00 Shift start"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.request);
        emit types->activated(row.index);
        EXPECT_EQ(dialog->LogText()->toPlainText(), "");
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Sent(), row.request);
        ASSERT_TRUE(dialog && dialog->isVisible());
        EXPECT_EQ(dialog->LogText()->toPlainText().toStdString(), row.shown);
    }
    EXPECT_TRUE(watcher.boxes.empty());
}

// A refused read shows kLogReadFailed and closes the dialog; a lost link closes it without a
// message (its read fails, or the connection closes first and the view takes the dialog with it).
TEST_F(FunctionCommandsTest, LogReporterFailures) {
    const struct {
        const char* name;
        CSimFaults faults;
        bool refused;
    } rows[] = {
        {"refused", {.errorForKeys = {"FL"}}, true},
        {"link lost", {.stallFromRequest = 1}, false},
    };
    LogIn();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CModalWatcher watcher;
        QWidget view;
        auto* dialog = new CLogReporterDlg(context, &view);
        dialog->show();
        server->SetFaults(row.faults);
        emit dialog->LogTypeList()->activated(2);
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return !dialog->isVisible() || Find(context.connectionId) == nullptr; }));
        if (dialog->isVisible()) {
            EXPECT_FALSE(row.refused);  // the connection closed first, as a lost link does
        } else {
            EXPECT_EQ(dialog->result(), 0);
        }
        ASSERT_EQ(watcher.boxes.size(), row.refused ? 1u : 0u);
        if (row.refused) {
            EXPECT_EQ(watcher.boxes[0].caption, "Error");
            EXPECT_EQ(watcher.boxes[0].text, QString::fromLatin1(RzString(RzStr::kLogReadFailed)));
        }
    }
}

TEST(LogReporter, NewestLineFirst) {
    const struct {
        const char* text;
        const char* shown;
    } rows[] = {
        {"single", "single"},
        {"a\r\nb\r\ntail", "tailb\r\na\r\n"},
        {"\r\n\r\nx\r\n", "x\r\n\r\n\r\n"},
        {"a\rb\nc\r\n", "a\rb\nc\r\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NewestLineFirst(row.text), row.shown) << row.text;
    }
}
