// The loop operation panel against rzsim in process: what it lists and enables for each kind of
// entry, what Send sends and in which order, and the values it never overwrites.
#include <QComboBox>
#include <QFocusEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>
#include <mutex>

#include "common/SimFixture.h"
#include "platform/EventHub.h"
#include "views/LoopPanelDlg.h"
#include "views/NumericEdit.h"

namespace {

using Strings = std::vector<std::string>;
using SetupChange = std::function<void(CSimSetup&)>;
constexpr uint32_t kInt1 = CLoopPanelDlg::EntryRef(3, 1);

// Pauses pass at once; each records (length, requests rzsim had received) and runs a hook.
class InstantPauses : public CPauseSource {
  public:
    explicit InstantPauses(const CSimServer& server) : server_(server) {}
    bool Pause(uint32_t ms) override {
        std::lock_guard lock(mutex_);
        begun.push_back({ms, server_.CommandRequests().size() - mark});
        if (hook) {
            hook();
        }
        return true;
    }
    void Interrupt() override {}
    std::vector<std::pair<uint32_t, size_t>> begun;
    size_t mark = 0;
    std::function<void()> hook;

  private:
    const CSimServer& server_;
    std::mutex mutex_;
};

class LoopPanel : public SimFixture {
  public:
    void Open(const CSimFaults& faults = {}) {
        // No cycle runs by itself: the tests run them.
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
            << "[Config]\r\nCommCycle=60000\r\n";
        StartSim("full", faults);
        ASSERT_EQ(Login(&id), RZ_OK);
        connection = Find(id);
        auto source = std::make_unique<InstantPauses>(*server);
        pauses = source.get();
        connection->SetPauseSource(std::move(source));
        panel = std::make_unique<CLoopPanelDlg>(CViewContext{connection, &manager.hub(), id});
        panel->SetQuestion([this](const QString& text) {
            questions.push_back(text.toStdString());
            return answer;
        });
        panel->show();
    }
    void TearDown() override {
        panel.reset();
        SimFixture::TearDown();
    }
    // The instrument's setup changed and read again in full, then control group 1 shown with
    // `members`, as the view does when the operator picks it.
    void Show(std::vector<CSimControlMember> members, const SetupChange& change = nullptr,
              int32_t displayKind = 1) {
        server->WithInstrument([&](CSimInstrument& instrument) {
            CSimSetup& setup = instrument.Setup();
            setup.controlGroups[0].members = {};
            std::copy(members.begin(), members.end(), setup.controlGroups[0].members.begin());
            if (change) {
                change(setup);
            }
        });
        ASSERT_EQ(connection->RunOperation("refresh", [](auto& c) { return c.Refresh(); }), RZ_OK);
        connection->UpdateViewState([&](CViewState& v) {
            v.displayKind = displayKind;
            v.displayGroup = 0;
        });
        manager.hub().Publish(CLoopPanelDlg::kEventDisplayKind, {}, &displayKind, 4);
        Idle();
        Mark();
    }
    void Idle() {
        ASSERT_TRUE(ProcessEventsUntil([&] { return !panel->Busy(); }));
    }
    // Requests and pauses are counted from here.
    void Mark() {
        mark = pauses->mark = server->CommandRequests().size();
        pauses->begun.clear();
        shown.clear();
    }
    template <class W = QRadioButton>
    W* Get(const char* name) {
        W* w = panel->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    CNumericEdit* Field(const char* name) { return Get<CNumericEdit>(name); }
    // Types `text` over the field's text and leaves the field.
    void Type(const char* field, const char* text) {
        Field(field)->selectAll();
        QTest::keyClick(Field(field), Qt::Key_Backspace);
        QTest::keyClicks(Field(field), text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(Field(field), &out);
    }
    // Each radio button as '.' disabled, 'o' enabled, 'x'/'X' checked; the REM caption; the
    // SP and OUT fields as '.' or 'o'.
    std::string States() {
        std::string s;
        for (const char* name : {"AUT", "MAN", "CAS", "", "LOC", "REM", "", "RUN", "STOP"}) {
            if (*name == '\0') {
                s += ' ';
                continue;
            }
            const QRadioButton* b = Get(name);
            const bool on = b->isEnabledTo(panel.get());  // the rules' state, busy or not
            s += b->isChecked() ? (on ? 'X' : 'x') : (on ? 'o' : '.');
        }
        s += " " + Get("REM")->text().toStdString() + " ";
        s += Field("SP")->isEnabledTo(panel.get()) ? 'o' : '.';
        s += Field("OUT")->isEnabledTo(panel.get()) ? 'o' : '.';
        return s;
    }
    Strings Sent() { return CommandRequestsFrom(*server, mark); }
    void SendAndWait() {
        Get<QPushButton>("Send")->click();
        Idle();
    }
    void Cycle() {
        ASSERT_EQ(connection->PollOnce(), RZ_OK);
        manager.hub().Publish(MakeEventKey(id, HUB_EVENT_DATA_REFRESHED));
    }

    uint32_t id = 0;
    CInstrumentConnection* connection = nullptr;
    InstantPauses* pauses = nullptr;
    std::unique_ptr<CLoopPanelDlg> panel;
    Strings questions;
    bool answer = true;
    size_t mark = 0;
};

CSimControlMember Int(int n) {
    return {3, n};
}
CSimControlMember Ext(int n) {
    return {4, n};
}
CSimControlMember Dio(int n) {
    return {5, n};
}

Strings Listed(QComboBox* list) {
    Strings names;
    for (int i = 0; i < list->count(); ++i) {
        names.push_back(list->itemText(i).toStdString());
    }
    return names;
}

}  // namespace

// Which members of the control group the list offers, and when the panel stays disabled.
TEST_F(LoopPanel, ListFill) {
    struct Case {
        const char* name;
        std::vector<CSimControlMember> members;
        std::function<void(CInstrumentModel&)> model;  // as a garbled answer would leave it
        int32_t displayKind;
        Strings listed;
    };
    const auto member = [](int index, int kind, int number) {
        return [=](CInstrumentModel& m) { m.controlGroups[0].members[index] = {kind, number}; };
    };
    const Case cases[] = {
        {"duplicates once, channels never",
         {Int(1), {1, 1}, Int(1), {2, 31}, {}, Ext(1)},
         {},
         1,
         {"TIC-101", "EXT-TIC-1"}},
        {"loops that cannot be operated",
         {Int(4), Int(5), Int(6), Ext(3), Ext(4)},
         {},
         1,
         {"TT-RETRANS"}},
        {"DI/DO points: an input or absent module is skipped",
         {Dio(1), Dio(9), Dio(3)},
         {},
         1,
         {"ALARM LAMP"}},
        {"a member number past the records", {Int(1), Dio(3)}, member(1, 5, 37), 1, {"TIC-101"}},
        {"an internal loop number past the records",
         {Int(1), Int(2)},
         member(0, 3, 7),
         1,
         {"TIC-102"}},
        {"the control overview lists the group too", {Int(1)}, {}, 2, {"TIC-101"}},
        {"measurement display", {Int(1)}, {}, 4, {}},
        {"program display", {Int(1)}, {}, 5, {}},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show(c.members);
        if (c.model) {
            connection->UpdateModel(c.model);
        }
        connection->UpdateViewState([&](CViewState& v) { v.displayKind = c.displayKind; });
        manager.hub().Publish(CLoopPanelDlg::kEventRefill);
        Idle();
        if (!c.listed.empty()) {
            EXPECT_EQ(Listed(Get<QComboBox>("Loop")), c.listed);
        }
        EXPECT_EQ(Get<QPushButton>("Send")->isEnabled(), !c.listed.empty());
    }
}

// The buttons and fields for each entry kind, loop kind and controller model, and after a click.
TEST_F(LoopPanel, ButtonAndFieldStates) {
    struct Case {
        const char* name;
        CSimControlMember entry;
        SetupChange change;
        const char* click;  // a button clicked after the entry was shown
        const char* states;
    };
    const auto loop1 = [](int kind, int mode, bool remote, bool run, bool alarm) {
        return [=](CSimSetup& s) {
            CSimLoop& l = s.loops[0];
            std::tie(l.kind, l.mode, l.remote, l.run, l.alarm) =
                std::tie(kind, mode, remote, run, alarm);
        };
    };
    const auto ext1 = [](int model, int mode, bool remote, bool run) {
        return [=](CSimSetup& s) {
            CSimExtLoop& l = s.extLoops[0];
            std::tie(l.controller, l.mode, l.remote, l.run) = std::tie(model, mode, remote, run);
        };
    };
    const auto dio3 = [](int mode) { return [=](CSimSetup& s) { s.dio[2].mode = mode; }; };
    const Case cases[] = {
        {"single loop", Int(1), loop1(1, 0, false, true, false), nullptr, "Xo. Xo Xo REM o."},
        {"single loop, MAN clicked", Int(1), loop1(1, 0, false, true, false), "MAN",
         "oX. Xo Xo REM oo"},
        {"single loop, REM clicked", Int(1), loop1(1, 0, false, true, false), "REM",
         "Xo. oX Xo REM .."},
        {"single loop in MAN, STOP clicked", Int(1), loop1(1, 1, false, true, false), "STOP",
         "oX. Xo oX REM o."},
        {"remote, stopped, status bit 7", Int(1), loop1(1, 1, true, false, true), nullptr,
         "oX. oX oX PRG .."},
        {"remote, LOC clicked", Int(1), loop1(1, 1, true, true, false), "LOC", "oX. Xo Xo REM oo"},
        {"cascade primary", Int(1), loop1(2, 1, false, true, false), nullptr, "oXo Xo .. REM o."},
        {"cascade secondary follows the primary", Int(2),
         [](CSimSetup& s) {
             s.loops[0].kind = kSimCascade;
             s.loops[0].alarm = true;
             s.loops[1].remote = false;
         },
         nullptr, "ooX .. Xo PRG o."},
        {"retransmission in MAN", Int(4), [](CSimSetup& s) { s.loops[3].mode = 1; }, nullptr,
         "oX. .. .. PRG .o"},
        {"model 1 controller", Ext(1), ext1(1, 0, false, true), nullptr, "X.. X. X. REM o."},
        {"model 5 controller", Ext(1), ext1(5, 1, true, true), nullptr, "oX. .X Xo REM .o"},
        {"model 12 controller", Ext(1), ext1(12, 2, false, false), nullptr, "ooX Xo oX REM o."},
        {"DI/DO point in MAN", Dio(3), dio3(1), nullptr, "oX. .. .. REM .o"},
        {"DI/DO point, AUT clicked", Dio(3), dio3(1), "AUT", "Xo. .. .. REM .."},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show({c.entry}, c.change);
        if (c.click != nullptr) {
            Get(c.click)->click();
        }
        EXPECT_EQ(States(), c.states);
    }
}

// What Send sends, in order, with the pause before OUT; an emptied field is left out.
TEST_F(LoopPanel, SendSendsWhatDiffersInOrder) {
    struct Case {
        const char* name;
        CSimControlMember entry;
        std::function<void(LoopPanel&)> act;
        Strings sent;
        std::vector<std::pair<uint32_t, size_t>> pauses;  // (ms, requests before it)
        const char* status;
    };
    const auto click = [](std::initializer_list<const char*> names) {
        return [=](LoopPanel& t) {
            for (const char* name : names) {
                t.Get(name)->click();
            }
        };
    };
    const Case cases[] = {
        {"nothing changed", Int(1), nullptr, {"FM 1"}, {}, ""},
        {"only the mode", Int(1), click({"MAN"}), {"CA1,1", "FM 1"}, {{2000, 1}}, ""},
        {"mode, local/remote, run/stop and SP of a loop",
         Int(1),
         [](LoopPanel& t) {
             t.Get("MAN")->click();
             t.Type("SP", "321");
             t.Get("STOP")->click();
         },
         {"CA1,1", "OC0,1", "FW", "FP1", "GO1,1,3210", "FM 1"},
         {{2000, 5}},
         ""},
        {"an emptied SP is not sent",
         Int(1),
         [](LoopPanel& t) {
             t.Type("SP", "");
             t.Get("MAN")->click();
         },
         {"CA1,1", "FM 1"},
         {{2000, 1}},
         "Empty SP not sent"},
        {"external loop",
         Ext(1),
         click({"REM", "STOP"}),
         {"DV1,RL,1", "DV1,SR,0", "DR 1"},
         {{2000, 2}},
         ""},
        {"DI/DO point output",
         Dio(3),
         [](LoopPanel& t) { t.Type("OUT", "0"); },
         {"DM3,0", "FO"},
         {},
         ""},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show({c.entry}, [](CSimSetup& s) {
            std::tie(s.loops[0].mode, s.loops[0].remote, s.loops[0].run) =
                std::tuple(0, false, true);
            CSimExtLoop& e = s.extLoops[0];
            std::tie(e.controller, e.mode, e.remote, e.run) = std::tuple(12, 0, false, true);
            std::tie(s.dio[2].mode, s.dio[2].output) = std::tuple(1, 1);
        });
        if (c.act) {
            c.act(*this);
        }
        SendAndWait();
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(pauses->begun, c.pauses);
        EXPECT_EQ(shown, (*c.status ? Strings{"", c.status} : Strings{""}));
    }
}

// Send's range checks: question 61220 with its limits printed by the value's decimals, the
// adjusted value sent after Yes and nothing after No; an ON/OFF output is checked only when typed.
TEST_F(LoopPanel, RangeQuestion) {
    struct Case {
        const char* name;
        CSimControlMember entry;
        SetupChange change;
        const char* field;
        const char* typed;  // nullptr: left as the instrument shows it
        bool yes;
        const char* limits;  // in the question; nullptr: no question
        Strings sent;
    };
    const auto spDecimals = [](int d) { return [=](CSimSetup& s) { s.loops[0].spDecimals = d; }; };
    // A retransmission loop in MAN: its output has the span's decimals and limits 0 to 500.
    const auto retrans = [](int d) {
        return [=](CSimSetup& s) {
            std::tie(s.loops[3].mode, s.loops[3].outDecimals) = std::tuple(1, d);
        };
    };
    const auto onOff = [](CSimSetup& s) { s.loops[0].outputType = 4; };
    const char* gone = "SP value is out of range:  -30000.0 - 30000.0 !";
    const Case cases[] = {
        {"SP at the limit",
         Int(1),
         spDecimals(1),
         "SP",
         "30000",
         true,
         nullptr,
         {"FP1", "GO1,1,300000", "FM 1"}},
        {"SP above, 1 decimal",
         Int(1),
         spDecimals(1),
         "SP",
         "30000.1",
         true,
         gone,
         {"FP1", "GO1,1,300000", "FM 1"}},
        {"SP below, 0 decimals",
         Int(1),
         spDecimals(0),
         "SP",
         "-31000",
         true,
         "SP value is out of range:  -30000 - 30000 !",
         {"FP1", "GO1,1,-30000", "FM 1"}},
        {"declined", Int(1), spDecimals(1), "SP", "30000.1", false, gone, {}},
        {"OUT, 0 decimals",
         Int(4),
         retrans(0),
         "OUT",
         "600",
         true,
         "OUT value is out of range:  0 - 500 !",
         {"HJ500,4", "FM 4"}},
        {"OUT, 2 decimals",
         Int(4),
         retrans(2),
         "OUT",
         "-5",
         true,
         "OUT value is out of range:  0.00 - 500.00 !",
         {"HJ0,4", "FM 4"}},
        {"DI/DO point",
         Dio(3),
         nullptr,
         "OUT",
         "5",
         true,
         "OUT value is out of range:  0 - 1 !",
         {"DM3,1", "FO"}},
        {"ON/OFF output typed",
         Int(1),
         onOff,
         "OUT",
         "50",
         true,
         "OUT value is out of range:  0.0 - 100.0 !",
         {"HJ1000,1", "FM 1"}},
        {"ON/OFF output untouched", Int(1), onOff, "OUT", nullptr, true, nullptr, {"FM 1"}},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show({c.entry}, [&](CSimSetup& s) {
            std::tie(s.loops[0].mode, s.loops[0].remote, s.loops[0].run) =
                std::tuple(1, false, true);
            std::tie(s.loops[0].out, s.loops[0].outputType) = std::tuple(42.5, 3);
            if (c.change) {
                c.change(s);
            }
        });
        questions.clear();
        answer = c.yes;
        if (c.typed != nullptr) {
            Type(c.field, c.typed);
        }
        SendAndWait();
        const std::string tail =
            "\nSystem have adjust it, do you still want to send current setting?";
        EXPECT_EQ(questions,
                  c.limits ? Strings{"Current " + std::string(c.limits) + tail} : Strings{});
        EXPECT_EQ(Sent(), c.sent);
    }
}

// A value the operator typed (or emptied) survives the cycles until Send; a field left alone,
// or one that refused what was typed, follows the instrument.
TEST_F(LoopPanel, TypedValuesSurviveCycles) {
    struct Case {
        const char* name;
        std::function<void(LoopPanel&)> act;
        const char* shown;
    };
    const Case cases[] = {
        {"typed", [](LoopPanel& t) { t.Type("SP", "123"); }, "123.0"},
        {"emptied", [](LoopPanel& t) { t.Type("SP", ""); }, ""},
        {"left alone", nullptr, "77.0"},
        {"a refused character",
         [](LoopPanel& t) {
             QTest::keyClick(t.Field("SP"), Qt::Key_X);
             QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
             QCoreApplication::sendEvent(t.Field("SP"), &out);
         },
         "77.0"},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show({Int(1)}, [](CSimSetup& s) { s.loops[0].setPoints[0] = 250.0; });
        if (c.act) {
            c.act(*this);
        }
        server->WithInstrument([](CSimInstrument& i) { i.Setup().loops[0].setPoints[0] = 77.0; });
        Cycle();
        Cycle();
        EXPECT_EQ(Field("SP")->text().toStdString(), c.shown);
    }
}

// A refused mode, local/remote or run/stop change is published and the buttons show the entry's
// state again; the rest of Send still runs.
TEST_F(LoopPanel, RefusalRestoresTheButtons) {
    struct Case {
        const char* key;
        const char* click;
        uint32_t event;
    };
    const Case cases[] = {
        {"CA", "MAN", CLoopPanelDlg::kEventModeRefused},
        {"RL", "REM", CLoopPanelDlg::kEventSpRefRefused},
        {"OC", "STOP", CLoopPanelDlg::kEventRunRefused},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Show({Int(1)}, [](CSimSetup& s) {
            std::tie(s.loops[0].mode, s.loops[0].remote, s.loops[0].run) =
                std::tuple(0, false, true);
        });
        server->SetFaults({.errorForKeys = {c.key}});
        std::vector<std::pair<uint32_t, std::string>> heard;
        manager.hub().Subscribe(
            MakeEventKey(HUB_CHANNEL_VIEW, 77),
            [&](uint32_t, uint32_t, std::span<const uint32_t>, int32_t, const void* payload, size_t,
                void*) {
                heard.push_back({*static_cast<const uint32_t*>(payload), States().substr(0, 9)});
            },
            nullptr, c.event, HUB_CHANNEL_VIEW);
        Get(c.click)->click();
        SendAndWait();
        manager.hub().UnsubscribeChannel(HUB_CHANNEL_VIEW);
        server->SetFaults({});
        EXPECT_EQ(heard, (std::vector<std::pair<uint32_t, std::string>>{{kInt1, "Xo. Xo Xo"}}));
        EXPECT_EQ(Sent().back(), "FM 1");
        EXPECT_TRUE(Get<QPushButton>("Send")->isEnabled());
    }
}

// A link lost during Send ends it at once: nothing after the failed request, no re-read, and the
// panel usable again until the connection is closed.
TEST_F(LoopPanel, ABrokenLinkEndsSend) {
    Open();
    Show({Int(1)}, [](CSimSetup& s) {
        std::tie(s.loops[0].mode, s.loops[0].remote, s.loops[0].run) = std::tuple(0, false, true);
    });
    pauses->hook = [this] {
        server->SetFaults(
            {.closeOnRequest = static_cast<uint32_t>(server->CommandRequests().size() + 1)});
    };
    int entries = 0;
    manager.hub().Subscribe(
        MakeEventKey(HUB_CHANNEL_VIEW, 78),
        [&](uint32_t, uint32_t, std::span<const uint32_t>, int32_t, const void*, size_t, void*) {
            ++entries;
        },
        nullptr, CLoopPanelDlg::kEventEntry, HUB_CHANNEL_VIEW);
    Get("MAN")->click();
    Type("OUT", "50");
    SendAndWait();
    EXPECT_EQ(Sent(), (Strings{"CA1,1", "HJ500,1"}));
    EXPECT_EQ(entries, 0);
    panel.reset();
    EXPECT_TRUE(ProcessEventsUntil([&] { return Find(id) == nullptr; }));
}
