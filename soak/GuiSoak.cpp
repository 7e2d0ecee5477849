// rz_gui_soak: drives the real console (main window, log-in controller, instrument view) with
// random operations for a while: display switches, panel Sends, function commands, style
// shifts, log reads, refreshes, log-outs and log-ins. It logs in again whenever the link is
// lost, answers every dialog the operations open, and prints its operation counts and resident
// memory samples. It runs against an instrument registered as "Demo" in the data directory.
//
// With --login-rounds N it only logs in and out, N rounds after --warm-up W rounds, and prints
// how far the peak resident memory (VmHWM) rose over the N rounds against --bound-kb B: what a
// console that reconnects all day keeps of each log-in.
//
// Usage: rz_gui_soak --data-dir DIR --port P --seconds N [--seed S] [--user U --password W]
//        rz_gui_soak --data-dir DIR --port P --login-rounds N [--warm-up W] [--bound-kb B]
#include <malloc.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "ViewFactory.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "session/ConnectionManager.h"
#include "shell/CommandTable.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "views/LogReporterDlg.h"

namespace {

// A memory figure of /proc/self/status ("VmRSS:", "VmHWM:") in kB.
long StatusKb(const std::string& field = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

class CGuiSoak {
  public:
    CGuiSoak(CConnectionManager& manager, uint16_t port, uint32_t seed, std::string user,
             std::string password)
        : frame_(port),
          login_(manager, frame_, MakeInstrumentView),
          random_(seed),
          user_(std::move(user)),
          password_(std::move(password)) {
        QObject::connect(&frame_, &CMainFrame::LoginFinished, &frame_, [this](bool succeeded) {
            ++counts_[succeeded ? "log-ins" : "failed log-ins"];
        });
        QObject::connect(&step_, &QTimer::timeout, &frame_, [this] { Step(); });
        QObject::connect(&modal_, &QTimer::timeout, &frame_, [this] { AnswerModal(); });
        frame_.show();
        step_.start(150);
        modal_.start(20);
    }

    void Print(double seconds) {
        // Freed heap goes back to the system first, so that a sample counts what is still in
        // use rather than where the allocator happens to stand after the last picture.
        malloc_trim(0);
        std::printf("gui-soak: %.0f s, VmRSS %ld kB, logged %s\n", seconds, StatusKb(),
                    frame_.State().loggedIn ? "in" : "out");
        std::fflush(stdout);
    }
    void PrintCounts() {
        std::string line;
        for (const auto& [name, count] : counts_) {
            line.append(" ").append(std::to_string(count)).append(" ").append(name).append(",");
        }
        std::printf("gui-soak: counts:%s\n", line.c_str());
        std::fflush(stdout);
    }

  private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    void Step() {
        const FrameState state = frame_.State();
        if (state.loginRunning) {
            return;
        }
        if (!state.loggedIn) {
            frame_.LoginAtStart("Demo", user_, password_);
            return;
        }
        frame_.UpdateCommandStates();
        // Weights out of 20: what an operator does most comes up most.
        const int roll = Pick(20);
        if (roll < 6) {
            SwitchDisplay();
        } else if (roll < 9) {
            PressSend();
        } else if (roll < 13) {
            RunCommand(kFunctions[size_t(Pick(int(kFunctions.size())))], "function commands");
        } else if (roll < 15) {
            RunCommand(Command::kStyleShift, "style shifts");
        } else if (roll < 17) {
            RunCommand(Command::kLog, "log reads");
        } else if (roll < 19) {
            RunCommand(Command::kRefresh, "refreshes");
        } else if (Pick(4) == 0) {
            RunCommand(Command::kLogout, "log-outs");
        }
    }

    void RunCommand(CommandRef command, const char* counted) {
        QAction* action = frame_.Action(command);
        if (action != nullptr && action->isEnabled()) {
            action->trigger();
            ++counts_[counted];
        }
    }

    // One item of a display menu, filled by the view as the menu drops down.
    void SwitchDisplay() {
        static constexpr std::array<Command, 4> kMenus = {
            Command::kControlMenu, Command::kTrendMenu, Command::kDigitalMenu, Command::kBarMenu};
        QMenu* menu = frame_.DropDownMenu(kMenus[size_t(Pick(4))]);
        menu->popup(QPoint());
        menu->hide();
        QList<QAction*> items;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->menu() == nullptr && action->isEnabled()) {
                items << action;
            }
        }
        if (!items.isEmpty()) {
            items[Pick(int(items.size()))]->trigger();
            ++counts_["display switches"];
        }
    }

    void PressSend() {
        QList<QPushButton*> sends;
        for (QPushButton* button : frame_.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Send") && button->isVisible() &&
                button->isEnabled()) {
                sends << button;
            }
        }
        if (!sends.isEmpty()) {
            sends[Pick(int(sends.size()))]->click();
            ++counts_["panel Sends"];
        }
    }

    // The log reporter reads a random log and closes a little later; any other dialog or
    // message box is cancelled.
    void AnswerModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal->property("soakAnswered").toBool()) {
            return;
        }
        modal->setProperty("soakAnswered", true);
        QPointer<QDialog> dialog(qobject_cast<QDialog*>(modal));
        if (dialog == nullptr) {
            return;
        }
        if (qobject_cast<CLogReporterDlg*>(dialog) != nullptr) {
            if (auto* types = dialog->findChild<QComboBox*>(); types && types->count() > 0) {
                const int index = Pick(types->count());
                types->setCurrentIndex(index);
                emit types->activated(index);
            }
            QTimer::singleShot(300 + Pick(1500), &frame_, [dialog] {
                if (dialog) {
                    dialog->reject();
                }
            });
            return;
        }
        ++counts_["dialogs answered"];
        // Not from inside this slot: the dialog may run a nested event loop.
        QTimer::singleShot(0, &frame_, [dialog] {
            if (dialog) {
                dialog->reject();
            }
        });
    }

    static constexpr std::array<CommandRef, 16> kFunctions = {
        CommandRef{Command::kMemory}, {Command::kMath},        {Command::kMathReset},
        {Command::kAlarmAck},         {Command::kSaveEvent},   {Command::kManualSample},
        {Command::kManualTrigger},    {Command::kSaveDisplay}, {Command::kMessage, 1},
        {Command::kMessage, 2},       {Command::kMessage, 3},  {Command::kMessage, 4},
        {Command::kMessage, 5},       {Command::kMessage, 6},  {Command::kMessage, 7},
        {Command::kMessage, 8}};

    CMainFrame frame_;
    CLoginControl login_;
    std::mt19937 random_;
    std::string user_;
    std::string password_;
    QTimer step_;
    QTimer modal_;
    std::map<std::string, long> counts_;
};

// Log-in, log-out, log-in again, as fast as the console goes: a failed log-in is tried again.
class CLoginLoop {
  public:
    CLoginLoop(CConnectionManager& manager, uint16_t port, std::string user, std::string password,
               int warmUp, int rounds, long boundKb)
        : frame_(port),
          login_(manager, frame_, MakeInstrumentView),
          user_(std::move(user)),
          password_(std::move(password)),
          warmUp_(warmUp),
          rounds_(rounds),
          boundKb_(boundKb) {
        QObject::connect(&frame_, &CMainFrame::LoginFinished, &frame_, [this](bool succeeded) {
            // Not from inside the report: the log-in controller is still in it.
            QTimer::singleShot(0, &frame_, [this, succeeded] { Next(succeeded); });
        });
        frame_.show();
        QTimer::singleShot(0, &frame_, [this] { LogIn(); });
    }
    int Result() const { return result_; }

  private:
    void LogIn() { frame_.LoginAtStart("Demo", user_, password_); }

    void Next(bool loggedIn) {
        if (!loggedIn) {
            ++failed_;
            LogIn();
            return;
        }
        frame_.Action(Command::kLogout)->trigger();
        ++done_;
        if (done_ == warmUp_) {
            startKb_ = StatusKb("VmHWM:");
            std::printf("gui-soak: %d warm-up log-ins, VmHWM %ld kB, VmRSS %ld kB\n", done_,
                        startKb_, StatusKb());
            std::fflush(stdout);
        }
        if (done_ < warmUp_ + rounds_) {
            LogIn();
            return;
        }
        const long endKb = StatusKb("VmHWM:");
        const long grownKb = endKb - startKb_;
        std::printf(
            "gui-soak: %d log-ins and log-outs after the warm-up (%d failed log-ins), VmHWM %ld "
            "kB, VmRSS %ld kB\ngui-soak: peak RSS grew by %ld kB over %d log-ins (bound %ld "
            "kB): %s\n",
            rounds_, failed_, endKb, StatusKb(), grownKb, rounds_, boundKb_,
            grownKb <= boundKb_ ? "met" : "NOT MET");
        std::fflush(stdout);
        result_ = grownKb <= boundKb_ ? 0 : 1;
        QApplication::exit(result_);
    }

    CMainFrame frame_;
    CLoginControl login_;
    std::string user_;
    std::string password_;
    int warmUp_;
    int rounds_;
    long boundKb_;
    int done_ = 0;
    int failed_ = 0;
    long startKb_ = StatusKb("VmHWM:");  // after the warm-up
    int result_ = 1;
};

}  // namespace

int main(int argc, char** argv) {
    KeepLargeBlocksMapped();  // as the console does
    QApplication app(argc, argv);
    std::map<std::string, std::string> options = {{"--seconds", "60"}, {"--seed", "1"},
                                                  {"--user", "admin"}, {"--password", "rzdemo"},
                                                  {"--warm-up", "20"}, {"--bound-kb", "2048"}};
    for (int i = 1; i + 1 < argc; i += 2) {
        options[argv[i]] = argv[i + 1];
    }
    if (options.count("--data-dir") == 0 || options.count("--port") == 0) {
        std::fputs(
            "usage: rz_gui_soak --data-dir DIR --port P --seconds N [--seed S] [--user U "
            "--password W]\n"
            "       rz_gui_soak --data-dir DIR --port P --login-rounds N [--warm-up W] "
            "[--bound-kb B]\n",
            stderr);
        return 2;
    }
    SetDataDirectory(options["--data-dir"]);
    CConnectionManager manager;
    if (manager.Init() != RZ_OK) {
        std::fputs("rz_gui_soak: the connection manager did not start\n", stderr);
        return 1;
    }
    const uint16_t port = uint16_t(std::stoi(options["--port"]));
    if (options.count("--login-rounds") != 0) {
        int result = 1;
        {
            CLoginLoop loop(manager, port, options["--user"], options["--password"],
                            std::stoi(options["--warm-up"]), std::stoi(options["--login-rounds"]),
                            std::stol(options["--bound-kb"]));
            QApplication::exec();
            result = loop.Result();
        }
        manager.CloseAll();
        return result;
    }
    const int seconds = std::stoi(options["--seconds"]);
    const auto started = std::chrono::steady_clock::now();
    {
        CGuiSoak soak(manager, port, uint32_t(std::stoul(options["--seed"])), options["--user"],
                      options["--password"]);
        auto elapsed = [started] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                .count();
        };
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            soak.Print(elapsed());
            if (elapsed() >= seconds) {
                soak.PrintCounts();
                QApplication::exit(0);
            }
        });
        sample.start(5000);
        QApplication::exec();
    }
    manager.CloseAll();
    return 0;
}
