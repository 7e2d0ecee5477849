// The loop operation panel against rzsim in process: what it lists and enables for each kind of
// entry, what Send sends and in which order, and the values it never overwrites.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "common/TextFit.h"
#include "common/ViewFixture.h"
#include "views/LoopPanelDlg.h"
#include "views/NumericEdit.h"

namespace {

using Strings = std::vector<std::string>;
using SetupChange = std::function<void(CSimSetup&)>;
constexpr uint32_t kInt1 = CLoopPanelDlg::EntryRef(3, 1);

class LoopPanel : public ViewFixture {
  public:
    void Open() {
        ViewFixture::Open();
        panel = std::make_unique<CLoopPanelDlg>(context);
        panel->SetQuestion([this](const QString& text) {
            questions.push_back(text.toStdString());
            return answer;
        });
        panel->show();
    }
    void TearDown() override {
        panel.reset();
        ViewFixture::TearDown();
    }
    // The instrument set up (internal loop 1 single, AUT, local, running; external loop 1 a
    // model 12 controller alike; DI/DO point 3 in MAN), changed and read again in full; then
    // control group 1 shown with `members` as the view shows it. Counts requests from there.
    void Show(std::vector<CSimControlMember> members, const SetupChange& change = nullptr) {
        server->WithInstrument([&](CSimInstrument& instrument) {
            CSimSetup& s = instrument.Setup();
            s.controlGroups[0].members = {};
            std::copy(members.begin(), members.end(), s.controlGroups[0].members.begin());
            CSimLoop& l = s.loops[0];
            std::tie(l.kind, l.mode, l.remote, l.run, l.out) = std::tuple(1, 0, false, true, 42.5);
            CSimExtLoop& e = s.extLoops[0];
            std::tie(e.controller, e.mode, e.remote, e.run) = std::tuple(12, 0, false, true);
            s.dio[2].mode = 1;
            if (change) {
                change(s);
            }
        });
        ASSERT_TRUE(connection->RunOperation("refresh", [](auto& c) { return c.Refresh(); }).ok());
        connection->UpdateViewState([&](CViewState& v) { v.displayKind = 1, v.displayGroup = 0; });
        Publish(kDisplayKindEvent, 1);
        PanelIdle();
        Sent();
        pauses->Take();
        shown.clear();
    }
    void PanelIdle() {
        ASSERT_TRUE(ProcessEventsUntil([&] { return !panel->Busy(); }));
    }
    template <class W = QRadioButton>
    W* Get(const char* name) {
        W* w = panel->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    CNumericEdit* Field(const QString& name) { return Get<CNumericEdit>(qPrintable(name)); }
    // The operator's actions, by words: "MAN" clicks that button ("Send" waits for its end),
    // "SP=12" types 12 over the SP field's text and leaves the field, "SP+x" types x at its end.
    void Do(const char* script) {
        for (const QString& word : QString(script).split(' ', Qt::SkipEmptyParts)) {
            const qsizetype at = word.indexOf(QRegularExpression("[=+]"));
            if (at < 0) {
                Get<QAbstractButton>(qPrintable(word))->click();
                PanelIdle();
                continue;
            }
            CNumericEdit* field = Field(word.left(at));
            if (word[at] == '=') {
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Backspace);
            }
            QTest::keyClicks(field, word.mid(at + 1));
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QCoreApplication::sendEvent(field, &out);
        }
    }
    // Each radio button as '.' disabled, 'o' enabled, 'x'/'X' checked, by the panel's rules
    // whether or not an operation runs; the REM caption; the SP and OUT fields as '.' or 'o'.
    std::string States() {
        std::string s;
        const auto on = [&](const QWidget* w) { return w->isEnabledTo(panel.get()); };
        for (const char* name : {"AUT", "MAN", "CAS", "", "LOC", "REM", "", "RUN", "STOP"}) {
            const QRadioButton* b = *name != '\0' ? Get(name) : nullptr;
            s += !b ? ' ' : b->isChecked() ? (on(b) ? 'X' : 'x') : (on(b) ? 'o' : '.');
        }
        s += " " + Get("REM")->text().toStdString() + " ";
        return s + (on(Field("SP")) ? 'o' : '.') + (on(Field("OUT")) ? 'o' : '.');
    }
    void SendAndWait() {
        Get<QPushButton>("Send")->click();
        PanelIdle();
    }
    void Cycle() {
        ASSERT_EQ(connection->PollOnce(), RZ_OK);
        Publish(DataRefreshedEvent(id), id);
    }

    std::unique_ptr<CLoopPanelDlg> panel;
    Strings questions;
    bool answer = true;
};

const auto Int = [](int n) { return CSimControlMember{3, n}; };
const auto Ext = [](int n) { return CSimControlMember{4, n}; };
const auto Dio = [](int n) { return CSimControlMember{5, n}; };

// Triggers the item of the open context menu whose caption starts with `caption`.
void ChooseFromMenu(const QString& caption) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(caption)) {
            action->trigger();
        }
    }
    menu->close();
}

enum class Act { Type, Backspace, Delete, Paste, MenuPaste };

std::string Incomplete(const std::string& field, const std::string& text) {
    return field + " not sent: \"" + text + "\" is not a complete number";
}

}  // namespace

// Which members of the control group the list offers, and when the panel stays disabled.
TEST_F(LoopPanel, ListFill) {
    using ModelChange = std::function<void(CInstrumentModel&)>;
    struct Case {
        std::vector<CSimControlMember> members;
        ModelChange garble;  // the model as a garbled answer or another log-in would leave it
        int32_t displayKind;
        Strings listed;
    };
    const auto member = [](int index, int kind, int number) -> ModelChange {
        return [=](CInstrumentModel& m) { m.controlGroups[0].members[index] = {kind, number}; };
    };
    const ModelChange levelU = [](CInstrumentModel& m) { m.accessLevel[0] = 'U'; };
    const ModelChange firmware2 = [](CInstrumentModel& m) { m.firmwareMajor = 2; };
    const Case cases[] = {
        {{Int(1), {1, 1}, Int(1), {2, 31}, {}, Ext(1)}, {}, 1, {"TIC-101", "EXT-TIC-1"}},
        {{Int(4), Int(5), Int(6), Ext(3), Ext(4)}, {}, 1, {"TT-RETRANS"}},  // not operable
        {{Dio(1), Dio(9), Dio(3)}, {}, 1, {"ALARM LAMP"}},     // an input, an absent module
        {{Int(1), Dio(3)}, member(1, 5, 37), 1, {"TIC-101"}},  // past the records
        {{Int(1), Int(2)}, member(0, 3, 7), 1, {"TIC-102"}},
        {{Int(1)}, {}, 2, {"TIC-101"}},  // the control overview
        {{Int(1)}, {}, 4, {}},           // a measurement group
        {{Int(1)}, {}, 5, {}},           // the program display
        {{Int(1)}, levelU, 1, {}},
        {{Ext(1), Int(1)}, firmware2, 1, {"TIC-101"}},  // external loops from firmware 3 on
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.listed) + " in kind " +
                     std::to_string(c.displayKind));
        Show(c.members);
        if (c.garble) {
            connection->UpdateModel(c.garble);
        }
        connection->UpdateViewState([&](CViewState& v) { v.displayKind = c.displayKind; });
        Publish(kDisplayGroupEvent, 0);
        PanelIdle();
        auto* list = Get<QComboBox>("Loop");
        Strings listed;
        for (int i = 0; i < list->count() && !c.listed.empty(); ++i) {
            listed.push_back(list->itemText(i).toStdString());
        }
        EXPECT_EQ(listed, c.listed);
        ExpectTextsFit(panel.get());
        EXPECT_EQ(Get<QPushButton>("Send")->isEnabled(), !c.listed.empty());
        // The view's display change: only a control group, seen by level A, enables the panel.
        Publish(kDisplayKindEvent, c.displayKind);
        PanelIdle();
        EXPECT_EQ(Get<QPushButton>("Send")->isEnabled(), c.displayKind == 1 && !c.listed.empty());
    }
}

// The buttons and fields for each entry kind, loop kind and controller model, and after a click.
TEST_F(LoopPanel, ButtonAndFieldStates) {
    struct Case {
        CSimControlMember entry;
        SetupChange change;
        const char* act;
        const char* states;
        int32_t firmware = 3;  // the major version, the profile's by default
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
    const auto secondary = [](CSimSetup& s) {
        std::tie(s.loops[0].kind, s.loops[0].alarm, s.loops[1].remote) =
            std::tuple(kSimCascade, true, false);
    };
    const auto retransMan = [](CSimSetup& s) { s.loops[3].mode = 1; };
    const Case cases[] = {
        {Int(1), nullptr, "", "Xo. Xo Xo REM o."},
        {Int(1), nullptr, "MAN", "oX. Xo Xo REM oo"},
        {Int(1), nullptr, "REM", "Xo. oX Xo REM .."},
        {Int(1), loop1(1, 1, false, true, false), "STOP", "oX. Xo oX REM o."},
        {Int(1), loop1(1, 1, true, false, true), "", "oX. oX oX PRG .."},  // status bit 7
        {Int(1), loop1(1, 1, true, true, false), "LOC", "oX. Xo Xo REM oo"},
        {Int(1), loop1(2, 1, false, true, false), "", "oXo Xo .. REM o."},  // cascade primary
        {Int(2), secondary, "", "ooX .. Xo PRG o."},                        // follows its primary
        {Int(4), retransMan, "", "oX. .. .. PRG .o"},
        {Ext(1), ext1(1, 0, false, true), "", "X.. X. X. REM o."},
        {Ext(1), ext1(5, 1, true, true), "", "oX. .X Xo REM .o"},
        {Ext(1), ext1(10, 0, false, true), "", "Xo. Xo Xo REM o."},
        {Ext(1), ext1(11, 2, false, false), "", "ooX Xo oX REM o."},
        {Ext(1), ext1(14, 0, false, true), "", "Xoo X. Xo REM o."},
        {Dio(3), nullptr, "", "oX. .. .. REM .o"},
        {Dio(3), nullptr, "AUT", "Xo. .. .. REM .."},
        {Int(1), loop1(1, 0, false, true, false), "MAN", "oX. Xo Xo REM o.", 1},  // OUT from 2 on
        {Int(1), loop1(1, 0, false, true, false), "MAN", "oX. Xo Xo REM oo", 2},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.states);
        Show({c.entry}, c.change);
        connection->UpdateModel([&](CInstrumentModel& m) { m.firmwareMajor = c.firmware; });
        Do(c.act);
        EXPECT_EQ(States(), c.states);
        ExpectTextsFit(panel.get());
        connection->UpdateModel([](CInstrumentModel& m) { m.firmwareMajor = 3; });
    }
}

// What Send sends, in order, with the pause before OUT (and a DI/DO output's settle after it);
// a field that is empty or not a complete number is left out, never sent as 0, and neither is a
// refill after it (the status is the last Send's).
TEST_F(LoopPanel, SendSendsWhatDiffersInOrder) {
    const struct {
        CSimControlMember entry;
        const char* act;
        const char* sent;
        Pauses pauses;
        std::string status;
    } cases[] = {
        {Int(1), "", "FM 1", {}, ""},
        {Int(1), "MAN", "CA1,1|FM 1", {{2000, 1}}, ""},
        {Int(1), "MAN SP=321 STOP", "CA1,1|OC0,1|FW|FP1|GO1,1,3210|FM 1", {{2000, 5}}, ""},
        {Int(1), "SP= MAN", "CA1,1|FM 1", {{2000, 1}}, "Empty SP not sent"},
        {Ext(1), "REM STOP", "DV1,RL,1|DV1,SR,0|DR 1", {{2000, 2}}, ""},
        {Dio(3), "AUT", "DL3,0|FO", {{800, 1}}, ""},
        {Dio(3), "OUT=0", "DM3,0|FO", {{500, 1}}, ""},
        {Int(1), "SP=- MAN OUT=12", "CA1,1|HJ120,1|FM 1", {{2000, 1}}, Incomplete("SP", "-")},
        {Int(1),
         "MAN SP= OUT=.",
         "CA1,1|FM 1",
         {{2000, 1}},
         "Empty SP not sent; " + Incomplete("OUT", ".")},
        {Ext(1), "MAN SP=-. OUT=- Send", "DV1,MODE,1|DR 1|DR 1", {{2000, 1}}, "Empty OUT not sent"},
        {Dio(3), "OUT=- Send", "FO|FO", {}, "Empty OUT not sent"},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.act);
        Show({c.entry});
        Do(c.act);
        shown.clear();
        SendAndWait();
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(pauses->Take(), c.pauses);
        EXPECT_EQ(pauses->unanswered, 0);
        EXPECT_EQ(shown, (!c.status.empty() ? Strings{"", c.status} : Strings{""}));
    }
}

// Send's range checks: kAdjustedQuestion with its limits printed by the value's decimals, the
// adjusted value sent after Yes and nothing after No; an ON/OFF output is checked only when typed.
TEST_F(LoopPanel, RangeQuestion) {
    const auto spDecimals = [](int d) { return [=](CSimSetup& s) { s.loops[0].spDecimals = d; }; };
    // A retransmission loop in MAN: its output has the span's decimals and limits 0 to 500.
    const auto retrans = [](int d) {
        return [=](CSimSetup& s) {
            std::tie(s.loops[3].mode, s.loops[3].outDecimals) = std::tuple(1, d);
        };
    };
    const SetupChange onOff = [](CSimSetup& s) { s.loops[0].outputType = 4; };
    const char* sp = "-30000.0 - 30000.0";
    const struct {
        CSimControlMember entry;
        SetupChange change;
        const char* act;
        const char* limits;  // in the question; nullptr: no question
        const char* sent;
        bool yes = true;
    } cases[] = {
        {Int(1), spDecimals(1), "SP=30000", nullptr, "FP1|GO1,1,300000|FM 1"},
        {Int(1), spDecimals(1), "SP=30000.1", sp, "FP1|GO1,1,300000|FM 1"},
        {Int(1), spDecimals(0), "SP=-31000", "-30000 - 30000", "FP1|GO1,1,-30000|FM 1"},
        {Int(1), spDecimals(1), "SP=30000.1", sp, "", false},
        {Int(4), retrans(0), "OUT=600", "0 - 500", "HJ500,4|FM 4"},
        {Int(4), retrans(2), "OUT=-5", "0.00 - 500.00", "HJ0,4|FM 4"},
        {Dio(3), nullptr, "OUT=5", "0 - 1", "DM3,1|FO"},
        {Int(1), onOff, "MAN OUT=50", "0.0 - 100.0", "CA1,1|HJ1000,1|FM 1"},
        {Int(1), onOff, "MAN", nullptr, "CA1,1|FM 1"},  // an untouched output
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.act);
        Show({c.entry}, c.change);
        questions.clear();
        answer = c.yes;
        Do(c.act);
        SendAndWait();
        const std::string name = c.act[0] == 'S' ? "SP" : "OUT";
        EXPECT_EQ(questions,
                  c.limits ? Strings{"Current " + name + " value is out of range:  " + c.limits +
                                     " !\nSystem have adjust it, do you still want to "
                                     "send current setting?"}
                           : Strings{});
        EXPECT_EQ(Sent(), c.sent);
    }
}

// A typed (or emptied) value survives the cycles until Send; an untouched or refused one follows.
TEST_F(LoopPanel, TypedValuesSurviveCycles) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"SP=123", "SP", "123.0"}, {"SP=", "SP", ""},   {"", "SP", "77.0"}, {"SP+x", "SP", "77.0"},
        {"OUT=12", "OUT", "12.0"}, {"", "OUT", "77.0"}, {"SP=-", "SP", "-"}};
    Open();
    for (const auto& [act, field, shownAfter] : cases) {
        SCOPED_TRACE(std::string(act) + " " + field);
        Show({Int(1)}, [](CSimSetup& s) { s.loops[0].mode = 1; });
        Do(act);
        server->WithInstrument([](CSimInstrument& i) {
            std::tie(i.Setup().loops[0].setPoints[0], i.Setup().loops[0].out) = std::tuple(77, 77);
        });
        Cycle();
        Cycle();
        EXPECT_EQ(Field(field)->text().toStdString(), shownAfter);
    }
}

// A refused mode, local/remote or run/stop change is reported while Send still runs and the
// buttons show the entry's state again; the rest of Send runs.
TEST_F(LoopPanel, RefusalRestoresTheButtons) {
    using Refusal = void (CLoopPanelDlg::*)(uint32_t);
    const std::tuple<const char*, const char*, Refusal> cases[] = {
        {"CA", "MAN", &CLoopPanelDlg::ModeRefused},
        {"RL", "REM", &CLoopPanelDlg::SpRefRefused},
        {"OC", "STOP", &CLoopPanelDlg::RunRefused},
    };
    Open();
    Strings states;
    QObject::connect(panel.get(), &CLoopPanelDlg::EntryShown,
                     [&](uint32_t ref) { Note("E", ref); });
    for (const auto& [key, act, refused] : cases) {
        QObject::connect(panel.get(), refused, [&, key = key](uint32_t ref) {
            Note(key, ref,
                 [&] { states.push_back(States().substr(0, 9) + (panel->Busy() ? " busy" : "")); });
        });
    }
    for (const auto& [key, act, event] : cases) {
        SCOPED_TRACE(key);
        Show({Int(1)});
        server->SetFaults({.errorForKeys = {key}});
        heard.clear();
        states.clear();
        Do(act);
        SendAndWait();
        server->SetFaults({});
        EXPECT_EQ(heard, key + std::to_string(kInt1) + " E" + std::to_string(kInt1));
        EXPECT_EQ(states, Strings{"Xo. Xo Xo busy"});
        EXPECT_TRUE(Sent().ends_with("|FM 1"));
        EXPECT_TRUE(Get<QPushButton>("Send")->isEnabled());
    }
}

// Every way the operator's input meets the field: the character rules, the editing keys and a
// paste, with `Modified()` set only when the text really changed.
TEST(NumericEdit, InputRules) {
    const struct {
        const char* text;
        int caret;
        int selStart;  // -1: nothing selected
        int selLength;
        Act act;
        const char* input;  // the character typed or the text pasted
        const char* result;
        bool modified;
    } cases[] = {
        {"", 0, -1, 0, Act::Type, "-", "-", true},
        {"-", 1, -1, 0, Act::Type, "0", "-0", true},
        {"-0", 2, -1, 0, Act::Type, "0", "-0", false},  // no second leading zero
        {"-0", 2, -1, 0, Act::Type, ".", "-0.", true},
        {"10", 2, -1, 0, Act::Type, "0", "100", true},
        {"0.5", 2, -1, 0, Act::Type, "0", "0.05", true},
        {"5", 0, -1, 0, Act::Type, "0", "5", false},  // a zero before a leading digit
        {"5", 0, -1, 0, Act::Type, ".", ".5", true},
        {"5", 0, 0, 1, Act::Type, "0", "0", true},
        {"-5", 0, -1, 0, Act::Type, "1", "-5", false},  // nothing before a '-'
        {"-5", 0, 0, 1, Act::Type, "1", "15", true},    // replacing it, a digit only
        {"-5", 0, 0, 1, Act::Type, ".", "-5", false},
        {"5", 1, -1, 0, Act::Type, "-", "5", false},
        {"1.5", 3, -1, 0, Act::Type, ".", "1.5", false},
        {"1.5", 1, 1, 1, Act::Type, ".", "1.5", false},  // accepted, text unchanged
        {"123456789012345678", 18, -1, 0, Act::Type, "9", "1234567890123456789", true},
        {"1234567890123456789", 19, -1, 0, Act::Type, "1", "1234567890123456789", false},
        {"1234567890123456789", 0, 0, 19, Act::Type, "1", "1234567890123456789", false},
        {"5", 1, -1, 0, Act::Type, "a", "5", false},  // a refused letter leaves it unmodified
        {"12", 2, -1, 0, Act::Backspace, "", "1", true},
        {"", 0, -1, 0, Act::Backspace, "", "", false},
        {"12", 0, -1, 0, Act::Delete, "", "2", true},
        {"1", 1, -1, 0, Act::Paste, "2.5", "12.5", true},
        {"5", 0, 0, 1, Act::Paste, "-3", "-3", true},
        {"1", 1, -1, 0, Act::Paste, "2a", "1", false},  // taken whole or not at all
        {"1.5", 3, -1, 0, Act::Paste, "1.2", "1.5", false},
        {"1", 1, -1, 0, Act::MenuPaste, "2", "12", true},
    };
    for (const auto& c : cases) {
        CNumericEdit edit;
        edit.setText(QString::fromLatin1(c.text));
        if (c.selStart >= 0) {
            edit.setSelection(c.selStart, c.selLength);
        } else {
            edit.setCursorPosition(c.caret);
        }
        QApplication::clipboard()->setText(QString::fromLatin1(c.input));
        if (c.act == Act::Type) {
            QTest::keyClicks(&edit, QString::fromLatin1(c.input));
        } else if (c.act == Act::Backspace || c.act == Act::Delete) {
            QTest::keyClick(&edit, c.act == Act::Delete ? Qt::Key_Delete : Qt::Key_Backspace);
        } else if (c.act == Act::Paste) {
            QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTimer::singleShot(0, [] { ChooseFromMenu(QLineEdit::tr("&Paste")); });
            QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(1, 1),
                                   edit.mapToGlobal(QPoint(1, 1)));
            QApplication::sendEvent(&edit, &menu);
        }
        const std::string what = std::string(c.text) + " @" + std::to_string(c.caret) + " sel " +
                                 std::to_string(c.selStart) + " <- '" + c.input + "'";
        EXPECT_EQ(edit.text().toStdString(), c.result) << what;
        EXPECT_EQ(edit.Modified(), c.modified) << what;
    }
}

// Only a whole text of the field's characters that reads completely as a number has a value.
TEST(NumericEdit, CompleteNumbers) {
    const std::pair<const char*, double> numbers[] = {
        {"12", 12},    {"-0.5", -0.5}, {"12.", 12},  {".5", 0.5},
        {"-.5", -0.5}, {"007", 7},     {"-0", -0.0}, {"9999999999999999999", 1e19}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(NumericFieldNumber(text), value) << text;
    }
    for (const char* text : {"", "-", ".", "-.", "+", "+1", "1e", "1e5", "--1", "1-", "1.2.3", " 1",
                             "1,5", "inf", "0x1", "99999999999999999999"}) {
        EXPECT_EQ(NumericFieldNumber(text), std::nullopt) << text;
    }
}

// Leaving the field reformats a complete number to its places and notifies only an operator's
// change; an emptied field stays empty, and an incomplete number as typed, without a value.
TEST(NumericEdit, LeavingTheField) {
    const struct {
        int decimals;
        const char* text;
        Act act;  // Type with "" for no input
        const char* input;
        const char* result;
        std::optional<double> value;
        int notifications;
    } cases[] = {
        {2, "5", Act::Type, "", "5.00", 5.0, 0},
        {2, "", Act::Type, "5", "5.00", 5.0, 1},
        {0, "12.7", Act::Type, "", "13", 13.0, 0},
        {-3, "1", Act::Type, "", "1.000", 1.0, 0},
        {2, "-.5", Act::Type, "", "-0.50", -0.5, 0},
        {2, "-", Act::Type, "", "-", std::nullopt, 0},
        {2, "7", Act::Type, "x", "7.00", 7.0, 0},
        {2, "0", Act::Type, "0", "0.00", 0.0, 0},
        {2, "7", Act::Backspace, "", "", std::nullopt, 1},
    };
    QWidget window;
    auto* edit = new CNumericEdit(&window);
    auto* other = new CNumericEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(other);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QSignalSpy changed(edit, &CNumericEdit::Changed);
    int seen = 0;
    for (const auto& c : cases) {
        edit->SetDecimals(c.decimals);
        edit->setText(QString::fromLatin1(c.text));
        edit->ClearModified();
        edit->setFocus();
        edit->setCursorPosition(static_cast<int>(edit->text().size()));
        if (c.act == Act::Backspace) {
            QTest::keyClick(edit, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(edit, QString::fromLatin1(c.input));
        }
        other->setFocus();
        const std::string what = std::to_string(c.decimals) + " " + c.text + " <- " + c.input;
        EXPECT_EQ(edit->text().toStdString(), c.result) << what;
        EXPECT_EQ(edit->Value(), c.value) << what;
        seen += c.notifications;
        EXPECT_EQ(changed.count(), seen) << what;
    }
    // The change stays reported until the owner takes the value.
    edit->setFocus();
    other->setFocus();
    EXPECT_EQ(changed.count(), seen + 1);
}
