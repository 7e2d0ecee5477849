// The instrument function commands and the log reporter, driven against rzsim in process. The
// save-data busy time passes on a gated pause source, never in real time.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

#include "SimSetup.h"
#include "common/ModalWatcher.h"
#include "common/ViewFixture.h"
#include "platform/Strings.h"
#include "views/FunctionCommands.h"
#include "views/LogReporterDlg.h"
#include "views/ViewOperations.h"

namespace {

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
        const auto on = [&](int id) { return commands->StateOf(id).enabled ? "on" : "off"; };
        return commands->StateOf(kFunctionMath).caption.toStdString() + "/" +
               commands->StateOf(kFunctionMemory).caption.toStdString() + "/reset " +
               on(kFunctionMathReset) + "/message " + on(kFunctionWriteMessage) + "," +
               on(kFunctionFirstMessage + 7);
    }

    std::vector<std::string> alarms;
    QWidget parent;
    std::unique_ptr<CFunctionCommands> commands;
    int changes = 0;
};

TEST_F(FunctionCommandsTest, RequestsAndStates) {
    LogIn();
    const std::string stopped = "Start math/Start memory/reset on/message off,off";
    const std::string recording = "Start math/Stop memory/reset on/message on,on";
    EXPECT_EQ(States(), stopped);
    const struct {
        int id;
        const char* request;
        std::string states;  // after the command; a save-data request ("EV") then pauses 1 s
    } rows[] = {
        {kFunctionMath, "TL 0", "Stop math/Start memory/reset off/message off,off"},
        {kFunctionMath, "TL 1", stopped},
        {kFunctionMathReset, "TL 2", stopped},
        {kFunctionMemory, "PS 0", recording},
        {kFunctionFirstMessage, "MS 1", recording},
        {kFunctionFirstMessage + 7, "MS 8", recording},
        {kFunctionMemory, "PS 1", stopped},
        {kFunctionAlarmAck, "AK 0", stopped},
        {kFunctionSaveDisplay, "EV 3", stopped},
        {kFunctionSaveEvent, "EV 4", stopped},
        {kFunctionManualSample, "EV 0", stopped},
        {kFunctionManualTrigger, "EV 1", stopped},
    };
    int changesBefore = changes;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.request);
        commands->Run(row.id);
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
        commands->Run(kFunctionMath);
        ASSERT_TRUE(Idle());
    }
    EXPECT_EQ(Sent(), "TL 0|TL 0");
    EXPECT_EQ(States(), stopped);
}

// The save-data busy time counts as running: the busy cursor shows, and another command, the
// log read included, is refused with a status text and sends nothing.
TEST_F(FunctionCommandsTest, BusyTimeRefusesOtherOperations) {
    LogIn();
    std::promise<void> open;
    std::atomic<bool> paused = false;
    pauses->hook = [&paused, gate = open.get_future().share()] {
        paused = true;
        gate.wait();
    };
    commands->Run(kFunctionSaveEvent);
    ASSERT_TRUE(ProcessEventsUntil([&] { return paused.load(); }));
    EXPECT_TRUE(ViewOperationCursorShown());
    shown.clear();
    commands->Run(kFunctionAlarmAck);
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
    commands->Run(kFunctionLog);
    QPointer<CLogReporterDlg> dialog = parent.findChild<CLogReporterDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    QComboBox* types = dialog->LogTypeList();
    EXPECT_EQ(types->count(), 8);
    EXPECT_EQ(types->currentIndex(), -1);
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

// A refused read shows 61276 and closes the dialog; a lost link closes it without a message (its
// read fails, or the connection closes first and the view takes the dialog with it).
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
            EXPECT_EQ(watcher.boxes[0].text, QString::fromLatin1(RzString(61276)));
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

}  // namespace
