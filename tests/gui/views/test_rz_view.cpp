// The instrument's view against rzsim in process: display commands, enabling rules, panel layout,
// saving the screen, and operations cut short by a log-out or a lost link.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsEffect>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/FileHelpers.h"
#include "common/ModalWatcher.h"
#include "common/TableText.h"
#include "common/ViewFixture.h"
#include "image/PngCodec.h"
#include "platform/Strings.h"
#include "views/ImageSave.h"
#include "views/ImageWindow.h"
#include "views/RzView.h"
#include "views/SimplePanelDlg.h"
#include "views/ViewOperations.h"

namespace {

using namespace std::chrono_literals;

struct Display {
    int kind = 0, group = 0, page = 0, style = 0, trend = 0;
    bool operator==(const Display&) const = default;
};

class RzViewTest : public ViewFixture {
  protected:
    // Logs in to rzsim and notes the display events.
    void LogIn(const char* profile = "full") {
        Open(ShippedProfile(profile));
        Hear(kDisplayKindEvent, "K", HUB_CHANNEL_MAIN_FRAME);
        Hear(kDisplayGroupEvent, "G", HUB_CHANNEL_MAIN_FRAME);
    }
    std::unique_ptr<CRZView> MakeView() {
        auto view = std::make_unique<CRZView>(context);
        view->InitialUpdate();
        return view;
    }
    void SetDisplay(const Display& d) {
        connection->UpdateViewState([&](CViewState& v) {
            std::tie(v.displayKind, v.displayGroup, v.measurePage, v.controlStyle, v.trendOptions) =
                std::tie(d.kind, d.group, d.page, d.style, d.trend);
        });
    }
    Display Shown() const {
        const CViewState v = connection->ViewState();
        return {v.displayKind, v.displayGroup, v.measurePage, v.controlStyle, v.trendOptions};
    }
    // The display requests (UD, &4) since the last call.
    std::string TakeDisplayRequests() { return Sent({"UD", "&4"}); }
};

TEST_F(RzViewTest, DisplayCommands) {
    LogIn();
    using enum Command;
    const struct {
        CommandRef command;
        bool shown;  // the image window shows, else the simple panel
        Display before;
        const char* requests;
        Display after;
        const char* events;
        const char* refusedKey = nullptr;  // rzsim answers this command with an error line
    } rows[] = {
        {{kControlGroup, 2}, true, {0, 0, 0, 0}, "UD 1,CONTROLLER,2", {1, 1, 0, 0}, "K1 G1"},
        {{kControlGroup, 2}, true, {1, 1, 0, 1}, "UD 1,FACEPLATE,2", {1, 1, 0, 1}, "G1"},
        // Shown again, the simple panel has made its control group the display (kind 1).
        {{kControlGroup, 3}, false, {0, 0, 0, 2}, "UD 1,HYBRID,3", {1, 2, 0, 2}, "G2"},
        {{kTrendGroup, 3}, true, {0, 0, 1, 0}, "UD 1,TREND,3", {4, 2, 0, 0}, "K4 G2"},
        {{kTrendGroup, 3}, true, {4, 2, 0, 0}, "", {4, 2, 0, 0}, ""},
        {{kDigitalGroup, 3}, true, {4, 2, 0, 0}, "UD 1,DIGITAL,3", {4, 2, 1, 0}, ""},
        {{kBarGroup, 1}, true, {4, 2, 1, 0}, "UD 1,BAR,1", {4, 0, 2, 0}, "G0"},
        {{kTrendGroup, 5}, false, {1, 0, 0, 0}, "", {4, 4, 0, 0}, "K4 G4"},
        {kControlOverview, true, {0, 0, 0, 0}, "UD 1,CTRLOVER", {2, 0, 0, 0}, "K2"},
        {kControlOverview, true, {2, 0, 0, 0}, "", {2, 0, 0, 0}, ""},
        {kInternalSwitch, true, {0, 0, 0, 0}, "UD 1,CTRLSW", {3, 0, 0, 0}, "K3"},
        {kDioStatus, true, {0, 0, 0, 0}, "UD 1,CTRLDO", {7, 0, 0, 0}, "K7"},
        {kProgram, true, {0, 0, 0, 0}, "UD 1,PROGRAM", {5, 0, 0, 0}, "K5"},
        {kOverview, true, {0, 0, 0, 0}, "UD 1,OVERVIEW", {6, 0, 0, 0}, "K6"},
        {kOverview, false, {0, 0, 0, 0}, "", {6, 0, 0, 0}, "K6"},
        {kFaceplateStyle, true, {1, 3, 0, 0}, "UD 1,FACEPLATE,4", {1, 3, 0, 1}, ""},
        {kFaceplateStyle, true, {1, 3, 0, 1}, "", {1, 3, 0, 1}, ""},
        {kHybridStyle, false, {1, 0, 0, 0}, "", {1, 0, 0, 0}, ""},
        {kFaceplateStyle, true, {4, 3, 0, 0}, "", {4, 3, 0, 0}, ""},  // off: no control group
        {kAllChannels, true, {4, 0, 0, 0, 6}, "UD 4,OFF,All,ON,ON", {4, 0, 0, 0, 7}, ""},
        {kTrendScale, true, {4, 0, 0, 0, 7}, "UD 4,OFF,All,OFF,ON", {4, 0, 0, 0, 5}, ""},
        {kGroupChannels, true, {4, 0, 0, 0, 5}, "UD 4,OFF,All,OFF,ON", {4, 0, 0, 0, 5}, ""},
        {kTrendDigital, true, {4, 0, 0, 0, 5}, "UD 4,OFF,All,OFF,OFF", {4, 0, 0, 0, 1}, ""},
        {{kPattern, 3}, true, {0, 0, 0, 0}, "&4 3", {5, 0, 0, 0}, "K5"},
        {{kPattern, 1}, true, {5, 0, 0, 0}, "&4 1", {5, 0, 0, 0}, ""},
        {{kPattern, 1}, true, {0, 0, 0, 0}, "&4 1", {0, 0, 0, 0}, "", "&4"},
        {kFaceplateStyle, true, {1, 0, 0, 0}, "UD 1,FACEPLATE,1", {1, 0, 0, 0}, "", "UD"},
        {kRefresh, true, {4, 3, 0, 0, 1}, "UD 4,OFF,GROUP,ON,ON", {4, 3, 0, 0, 6}, "K4 G3"},
        {kRefresh, true, {6, 3, 0, 0, 1}, "UD 4,OFF,GROUP,ON,ON", {6, 3, 0, 0, 6}, "K6"},
        {kRefresh, false, {1, 2, 0, 0, 1}, "", {1, 2, 0, 0, 1}, "K1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "row " << &row - rows << " from kind " << row.before.kind);
        CSimFaults faults;
        if (row.refusedKey != nullptr) {
            faults.errorForKeys = {row.refusedKey};
        }
        server->SetFaults(faults);
        SetDisplay(row.before);
        auto view = MakeView();
        if (!row.shown) {
            view->ArrangePanels(false, true, true, false);
        }
        ASSERT_TRUE(Idle());
        TakeDisplayRequests();
        heard.clear();
        view->Run(row.command);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(TakeDisplayRequests(), row.requests);
        EXPECT_EQ(Shown(), row.after);
        EXPECT_EQ(heard, row.events);
        EXPECT_FALSE(ViewOperationCursorShown());
    }
}

TEST_F(RzViewTest, EnablingAndCaptions) {
    LogIn();
    auto view = MakeView();
    using enum Command;
    struct Facts {
        char level = 'A';
        int firmware = 3, loops = 2, program = 2;
    };
    const struct {
        CommandRef command;
        Facts facts;
        Display display;
        bool enabled;
        bool checked;
        const char* caption;
    } rows[] = {
        {kControllerStyle, {}, {1, 0, 0, 0}, true, true, ""},
        {kFaceplateStyle, {}, {1, 0, 0, 0}, true, false, ""},
        {kHybridStyle, {}, {4, 0, 0, 2}, false, true, ""},
        {kAllChannels, {}, {4, 0, 0, 0, 0}, true, false, "&All Channels"},
        {kAllChannels, {}, {4, 0, 0, 0, 1}, true, false, "&Group Channels"},
        {kTrendScale, {}, {4, 0, 0, 0, 5}, true, false, "S&cale ON"},
        {kTrendScale, {}, {4, 0, 0, 0, 2}, true, false, "S&cale OFF"},
        {kTrendDigital, {}, {4, 0, 0, 0, 4}, true, false, "Di&gital OFF"},
        {kGroupChannels, {}, {4, 0, 1, 0}, false, false, ""},
        {kAllChannels, {}, {1, 0, 0, 0}, false, false, "&All Channels"},
        {kStyleShift, {}, {}, true, false, ""},
        {kStyleShift, {'U'}, {}, false, false, ""},
        {kProgram, {}, {}, true, false, ""},
        {kProgram, {'A', 1}, {}, false, false, ""},
        {kProgram, {'A', 2, 0}, {}, false, false, ""},
        {kProgram, {'U'}, {}, false, false, ""},
        {kProgram, {'A', 2, 1, 0}, {}, false, false, ""},
        {kInternalSwitch, {}, {}, true, false, ""},
        {kInternalSwitch, {'A', 2}, {}, false, false, ""},
        {kInternalSwitch, {'U'}, {}, false, false, ""},
        {{kControlGroup, 1}, {'U', 1, 0, 0}, {}, true, false, ""},
        {kMath, {}, {}, true, false, "Start math"},  // the function commands answer for theirs
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows << " level " << row.facts.level
                                        << " firmware " << row.facts.firmware);
        connection->UpdateModel([&](CInstrumentModel& m) {
            m.accessLevel[0] = row.facts.level;
            m.firmwareMajor = row.facts.firmware;
            m.loopCount = row.facts.loops;
            m.programOption = row.facts.program;
        });
        SetDisplay(row.display);
        const CommandState state = view->StateOf(row.command);
        EXPECT_EQ(state.enabled, row.enabled);
        EXPECT_EQ(state.checked, row.checked);
        EXPECT_EQ(state.caption.toStdString(), row.caption);
    }
    // Without a connection every command is off.
    EXPECT_FALSE(CRZView(CViewContext{}).StateOf({kControlGroup, 1}).enabled);
}

// Level A on the larger model: the full-size screen with the loop panel beside it; Style shift
// swaps screen and simple panel; a program display brings the program panel.
TEST_F(RzViewTest, PanelLayout) {
    LogIn();
    SetDisplay({1, 2, 0, 0});
    CRZView view(context);
    QSignalSpy shown(&view, &CRZView::ImageShownChanged);
    QSignalSpy resized(&view, &CRZView::SizeChanged);
    using enum Command;
    const struct {
        const char* what;
        CommandRef command;  // none: the initial update
        uint32_t flags;
        QSize size;
        int polling;
        int loopHeight;
        const char* requests;
    } steps[] = {
        {"initial update", {}, 5, {762, 482}, 1, 482, ""},
        {"style shift to the simple panel", kStyleShift, 6, {595, 323}, 0, 323, ""},
        // Showing the screen again shows what the display state describes.
        {"style shift back", kStyleShift, 5, {762, 482}, 1, 482, "UD 1,CONTROLLER,3"},
        {"program display", kProgram, 17, {762, 482}, 1, 482, "UD 1,PROGRAM"},
        {"trend display", {kTrendGroup, 1}, 5, {762, 482}, 1, 482, "UD 1,TREND,1"},
    };
    TakeDisplayRequests();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const QSize before = view.size();
        shown.clear();
        resized.clear();
        step.command == CommandRef() ? view.InitialUpdate() : view.Run(step.command);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(view.PanelFlags(), step.flags);
        EXPECT_EQ(view.size(), step.size);
        EXPECT_EQ(connection->ScreenPolling(), step.polling != 0);
        EXPECT_EQ(view.LoopPanel()->height(), step.loopHeight);
        EXPECT_EQ(TakeDisplayRequests(), step.requests);
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0][0].toBool(), (step.flags & CRZView::kImageShown) != 0);
        const QSize change = step.size - before;
        EXPECT_EQ(resized.size(), change.isNull() ? 0 : 1);
        if (!change.isNull()) {
            EXPECT_EQ(QSize(resized[0][0].toInt(), resized[0][1].toInt()), change);
        }
        const bool loop = step.flags & CRZView::kLoopShown;
        const QWidget* side = loop ? view.LoopPanel() : view.ProgramPanel();
        const int left = (step.flags & CRZView::kImageShown) ? 640 : 473;
        EXPECT_EQ(side->geometry(), QRect(left, 0, 122, step.size.height()));
        EXPECT_NE(view.LoopPanel()->isHidden(), loop);
        EXPECT_EQ(view.ProgramPanel()->isHidden(), loop);
    }
    EXPECT_EQ(view.focusPolicy(), Qt::NoFocus);
}

TEST_F(RzViewTest, LevelUAndSmallModelKeepTheTemplateSizes) {
    LogIn("rz3100");
    for (const char level : {'A', 'U'}) {
        connection->UpdateModel([&](CInstrumentModel& m) { m.accessLevel[0] = level; });
        const auto view = MakeView();
        EXPECT_EQ(view->ImageWindow()->size(), QSize(329, 325));
        EXPECT_EQ(view->LoopPanel()->height(), level == 'A' ? 325 : 323);
        EXPECT_EQ(view->PanelFlags(), level == 'A' ? 5u : 6u);
        EXPECT_EQ(view->size(), level == 'A' ? QSize(451, 325) : QSize(595, 323));
    }
    // At a larger font the panels grow, and the view holds them whole.
    const QFont font = QApplication::font();
    QApplication::setFont(QFont(font.family(), font.pointSize() * 5 / 4));
    for (const char level : {'A', 'U'}) {
        connection->UpdateModel([&](CInstrumentModel& m) { m.accessLevel[0] = level; });
        const auto view = MakeView();
        for (QWidget* panel : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(panel->isHidden() || view->rect().contains(panel->geometry())) << level;
        }
    }
    QApplication::setFont(font);
}

// The screen arrives with the data-refreshed event and is saved in the format the path's last
// three characters name; a failed save keeps the file there and says so.
TEST_F(RzViewTest, SaveImage) {
    Open(ShippedProfile("full", [](CSimProfile& p) { p.plant.live = true; }));
    auto view = MakeView();
    CImageWindow& window = *view->ImageWindow();
    // The log-in's screen shows at once.
    ASSERT_EQ(window.Picture().size(), QSize(640, 480));
    const auto written = [](const std::string& path) {
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    };

    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string oldBytes = "an earlier picture";
    WriteBytes(root + "/old.png", oldBytes);
    const struct {
        const char* name;
        const char* magic;  // first bytes written, or nullptr when the save fails
        bool diskFull = false;
    } rows[] = {
        {"a.png", "\x89PNG"},       {"b.bmp", "BM"}, {"c.PNG", "BM"}, {"missing/d.png", nullptr},
        {"old.png", nullptr, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = root + "/" + row.name;
        bool copyEnabledInDialog = true;
        view->SetSavePathChooser([&](QWidget* owner) {
            copyEnabledInDialog = window.CopyEnabled();
            EXPECT_EQ(owner, &window);
            return QString::fromStdString(path);
        });
        CModalWatcher watcher;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (row.diskFull) {
                limit = std::make_unique<FileSizeLimit>(1024);
            }
            view->Run(Command::kSaveImage);
        }
        EXPECT_FALSE(copyEnabledInDialog);
        EXPECT_TRUE(window.CopyEnabled());
        if (row.magic != nullptr) {
            EXPECT_TRUE(watcher.boxes.empty());
            EXPECT_EQ(ReadBytes(path).rfind(row.magic, 0), 0u);
            EXPECT_EQ(written(path), window.Picture());
        } else {
            ASSERT_EQ(watcher.boxes.size(), 1u);
            EXPECT_EQ(watcher.boxes[0].caption, "Error");
            EXPECT_EQ(watcher.boxes[0].text, QString::fromLatin1(RzString(RzStr::kFileNotSaved)));
            EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Warning);
            EXPECT_EQ(ReadBytes(path), row.diskFull ? oldBytes : "");
        }
    }
    EXPECT_EQ(DirectoryEntries(root),
              (std::vector<std::string>{"a.png", "b.bmp", "c.PNG", "old.png"}));
    // Cancelled while a cycle brought another screen: nothing written, copying on again, and the
    // next Save writes the screen shown then.
    const QImage before = window.Picture();
    view->SetSavePathChooser([&](QWidget*) {
        EXPECT_EQ(connection->SwitchDisplay(3, 0), RZ_OK);
        EXPECT_EQ(connection->PollOnce(), RZ_OK);
        Publish(DataRefreshedEvent(id), id);
        return QString();
    });
    view->Run(Command::kSaveImage);
    EXPECT_TRUE(window.CopyEnabled());
    ASSERT_NE(window.Picture(), before);
    view->SetSavePathChooser([&](QWidget*) { return QString::fromStdString(root + "/e.png"); });
    view->Run(Command::kSaveImage);
    EXPECT_EQ(written(root + "/e.png"), window.Picture());
    // A dialog that adds no suffix itself still gets the filter's.
    EXPECT_EQ(SavePathWithSuffix("/x/Current", kImageSaveFilters[1]), "/x/Current.bmp");
}

// The reads the console starts itself after an operation: the loop panel's re-read after a
// display switch, a Send, a Refresh or a new list entry, the program panel's state read. Each runs
// after the operation, so the panel shows a loop changed at the instrument since log-in (loops 1
// and 2 and external loop 1 went to MAN, held pattern 3 was released). `during` acts while the
// operation waits in its pause. At request `cut` (from the act on) rzsim closes the link, or for
// a negative one stops answering and the operator logs out: the view goes with its connection,
// nothing more is sent, no handler runs against the view, the busy cursor ends.
TEST_F(RzViewTest, ConsoleReadsRunAfterTheOperationAndOperationsCutShort) {
    // "Send" clicks MAN and Send on the loop panel, "Loop=1" and "Group=1" choose that entry of
    // the loop panel's or the simple panel's list; or the view runs a command.
    struct Act {
        Act(const char* w) : word(w) {}
        Act(Command c, int index = 0) : command(c, index) {}
        std::string word;
        CommandRef command;
    };
    const auto act = [](CRZView& v, const Act& what) {
        const std::string& word = what.word;
        if (word == "Send") {
            Find<QRadioButton>(v.LoopPanel(), "MAN")->click();
            Find<QPushButton>(v.LoopPanel(), "Send")->click();
        } else if (const size_t at = word.find('='); at != std::string::npos) {
            const QString list = QString::fromStdString(word.substr(0, at));
            auto* box = Find<QComboBox>(
                list == "Group" ? static_cast<QWidget*>(v.SimplePanel()) : v.LoopPanel(), list);
            box->setCurrentIndex(std::stoi(word.substr(at + 1)));
            emit box->activated(box->currentIndex());
        } else if (what.command != CommandRef()) {
            v.Run(what.command);
        }
    };
    using enum Command;
    const Act group1(kControlGroup, 1), group2(kControlGroup, 2);
    const std::string zoneA = "TIC-101,TIC-102,INT-03,ALARM LAMP: ";
    const std::string zoneB = "EXT-TIC-1,EXT-PIC-7,TT-RETRANS: EXT-TIC-1 MAN";
    const struct {
        const char* what;
        int kind;    // of the display before, group 1
        bool image;  // else the simple panel beside the loop panel
        Act act;
        Act during;
        int cut;
        const char* requests;  // "...": at the end of those the act sent
        // The loop panel's entries, the selected one and its mode, and any status text.
        std::string shows;
    } rows[] = {
        {"group 1", 4, true, group1, "", 0, "UD 1,CONTROLLER,1|FM 1", zoneA + "TIC-101 MAN"},
        {"group 2", 4, true, group2, "", 0, "UD 1,CONTROLLER,2|DR 1", zoneB},
        {"program", 1, true, kProgram, "", 0, "UD 1,PROGRAM|FW", "pattern 3 Send Hold Advance"},
        {"refresh", 1, true, kRefresh, "", 0, "...FC GET|FM 1", zoneA + "TIC-101 MAN"},
        {"another loop entry", 1, true, "Loop=1", "", 0, "FM 2", zoneA + "TIC-102 MAN"},
        {"another group", 1, false, "Group=1", "", 0, "DR 1", zoneB},
        {"a group chosen during Send", 1, false, "Send", "Group=1", 0, "CA1,1|FM 1|DR 1", zoneB},
        {"a switch refused during Send", 1, true, "Send", group2, 0, "CA1,1|FM 1",
         zoneA + "TIC-101 MAN; Send is still running"},
        {"link lost at the switch", 4, true, group1, "", 1, "UD 1,CONTROLLER,1", ""},
        {"link lost at the re-read", 4, true, group1, "", 2, "UD 1,CONTROLLER,1|FM 1", ""},
        {"link lost during Send", 1, true, "Send", "", 1, "CA1,1", ""},  // and no re-read
        {"log-out during a switch", 4, true, {kTrendGroup, 3}, "", -1, "UD 1,TREND,3", ""},
        {"log-out during a refresh", 4, true, kRefresh, "", -1, "FU 0", ""},
        {"lost link at a pattern", 4, true, {kPattern, 1}, "", 1, "&4 1", ""},
        {"lost link at trend options", 4, true, kAllChannels, "", 1, "UD 4,OFF,All,OFF,OFF", ""},
        // The link breaks while the save dialog is open; the operator then picks a file.
        {"lost link in the save dialog", 4, true, kSaveImage, "", 1, "&4 1", ""},
    };
    const auto modes = [this](bool changed) {
        server->WithInstrument([=](CSimInstrument& i) {
            CSimSetup& s = i.Setup();
            std::tie(s.loops[0].mode, s.loops[1].mode, s.extLoops[0].mode, s.patterns[2].hold) =
                changed ? std::tuple(1, 1, 1, false) : std::tuple(0, 2, 0, true);
        });
    };
    LogIn();
    manager.SetLinkTimeout(300);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (id != 0) {
            EXPECT_EQ(manager.CloseConnection(id), RZ_OK);
        }
        modes(false);             // as the profile has them
        server->ClearRequests();  // fault request numbers count from this log-in
        LogInAgain();
        connection->UpdateViewState([](CViewState& v) { v.selectedPattern = 3; });
        CRZView* view = nullptr;
        manager.SetViewFactory([&](uint32_t viewId) {
            auto made =
                std::make_unique<CRZView>(CViewContext{Find(viewId), &manager.hub(), viewId});
            view = made.get();
            return made;
        });
        ASSERT_TRUE(manager.CreateView(id).ok());
        view->show();
        SetDisplay({row.kind});
        view->InitialUpdate();
        if (!row.image) {
            view->ArrangePanels(false, true, true, false);
        }
        ASSERT_TRUE(Idle());
        modes(true);
        Sent();
        shown.clear();
        const uint32_t cutAt = static_cast<uint32_t>(server->CommandRequests().size() +
                                                     static_cast<size_t>(std::abs(row.cut)));
        server->SetFaults({.closeOnRequest = row.cut > 0 ? cutAt : 0,
                           .stallFromRequest = row.cut < 0 ? cutAt : 0});
        std::promise<void> release;
        pauses->hook = [released = release.get_future().share()] { released.wait(); };
        view->SetSavePathChooser([&](QWidget*) {
            view->Run({kPattern, 1});
            ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; });
            return QStringLiteral("/nonexistent/x.png");
        });
        CModalWatcher watcher;
        act(*view, row.act);
        if (!row.during.word.empty() || row.during.command != CommandRef()) {
            ASSERT_TRUE(ProcessEventsUntil([&] { return !pauses->Take().empty(); }));
            act(*view, row.during);
        }
        release.set_value();
        if (row.cut != 0) {
            if (row.cut < 0) {
                ASSERT_TRUE(
                    ProcessEventsUntil([&] { return server->CommandRequests().size() >= cutAt; }));
                EXPECT_EQ(manager.CloseConnection(id), RZ_OK);
            }
            ASSERT_TRUE(ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; }));
            ProcessEventsUntil([] { return false; }, 100ms);
            EXPECT_EQ(Sent(), row.requests);
            EXPECT_FALSE(ViewOperationCursorShown());
            EXPECT_EQ(manager.hub().SubscriberCount(DataRefreshedEvent(id)), 0u);
            ASSERT_EQ(watcher.boxes.size(), row.act.command == kSaveImage ? 1u : 0u);
            for (const auto& box : watcher.boxes) {
                EXPECT_EQ(box.text, QString::fromLatin1(RzString(RzStr::kImageWindowGone)));
            }
            server->SetFaults({});
            id = 0;
            continue;
        }
        ASSERT_TRUE(Idle());
        const std::string sent = Sent();
        EXPECT_TRUE(*row.requests == '.' ? sent.ends_with(row.requests + 3) : sent == row.requests)
            << sent;
        std::erase(shown, std::string());
        std::string shows;
        if (QWidget* program = view->ProgramPanel(); !program->isHidden()) {
            shows = "pattern " + Find<QComboBox>(program, "PT#")->currentText().toStdString();
            for (const QPushButton* button : program->findChildren<QPushButton*>()) {
                shows += button->isEnabled() ? " " + button->text().toStdString() : "";
            }
        } else {
            auto* list = Find<QComboBox>(view->LoopPanel(), "Loop");
            for (int i = 0; i < list->count(); ++i) {
                shows += (i ? "," : "") + list->itemText(i).toStdString();
            }
            auto* mode = Find<QRadioButton>(view->LoopPanel(), "MAN")->group()->checkedButton();
            shows += ": " + list->currentText().toStdString() + " " +
                     (mode ? mode->text().toStdString() : "-");
        }
        EXPECT_EQ(shows + (shown.empty() ? "" : "; " + Joined(shown)), row.shows);
    }
}

// A pass whose values were refused, or whose screen was refused or does not decode, is no fresh
// data: "Updated" stays; two cycles after the last valid data the screen is marked or the panels'
// values grey, and the middle pane says why; a refresh says what was refused; the next valid
// data takes the marks away.
TEST_F(RzViewTest, StaleDataPerSource) {
    const struct {
        const char* name;
        CSimFaults faults;
        bool valuesStale, screenStale;
        const char* reason;   // shown in the middle pane
        const char* refused;  // by a refresh
    } rows[] = {
        {"none", {}, false, false, nullptr, nullptr},
        {"values refused", {.errorForKeys = {"FD"}}, true, false, "E1", "FD"},
        {"screen refused", {.errorForKeys = {"FC"}}, false, true, "E1", "FC"},
        {"screen undecodable",
         {.badImage = true},
         false,
         true,
         "Screen image could not be read",
         nullptr},
        {"both refused", {.errorForKeys = {"FD", "FC"}}, true, true, "E1", "FD, FC"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogIn();
        auto view = MakeView();
        QSignalSpy updated(view.get(), &CRZView::DataUpdated);
        const auto cycle = [&] {
            ASSERT_EQ(connection->PollOnce(), RZ_OK);
            Publish(DataRefreshedEvent(id), id);
        };
        std::this_thread::sleep_for(20ms);  // the log-in's data is older than any that follows
        const auto start = std::chrono::steady_clock::now();
        server->SetFaults(row.faults);
        cycle();
        cycle();
        EXPECT_EQ(updated.size(), row.reason != nullptr ? 0 : 2);
        EXPECT_TRUE(view->ImageWindow()->StaleText().isEmpty());
        shown.clear();
        view->CheckDataAge(start - 10ms + 2 * 60000ms);  // two cycles after the log-in's data
        EXPECT_EQ(view->ValuesStale(), row.valuesStale);
        EXPECT_EQ(view->SimplePanel()->graphicsEffect() != nullptr, row.valuesStale);
        EXPECT_EQ(view->ImageWindow()->StaleText(), row.screenStale ? "No data for 120 s" : "");
        EXPECT_EQ(shown,
                  row.reason ? std::vector<std::string>{row.reason} : std::vector<std::string>{});

        view->Run(Command::kRefresh);
        ASSERT_TRUE(Idle());
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), row.refused ? "Refresh incomplete: the instrument refused " +
                                                  std::string(row.refused)
                                            : "");
        server->SetFaults({});
        cycle();
        EXPECT_FALSE(view->ValuesStale());
        EXPECT_TRUE(view->ImageWindow()->StaleText().isEmpty());
        EXPECT_EQ(updated.size(), row.reason != nullptr ? 1 : 4);
        Close();
    }
}

constexpr QRgb kBackground = 0xFFFF00FFu;  // no pixel of CoordinateImage has this colour

// Each pixel names its own place: red and green the low bytes of x and y, blue their high bits.
std::vector<uint8_t> CoordinatePng(int w, int h) {
    CRzImage image;
    image.Resize(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.SetPixel(
                x, y, 0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | (x >> 8) << 4 | (y >> 8));
        }
    }
    std::vector<uint8_t> png;
    EncodePng(image, png);
    return png;
}

QPoint SourceOf(QRgb pixel) {
    return QPoint(qRed(pixel) | (qBlue(pixel) >> 4) << 8, qGreen(pixel) | (qBlue(pixel) & 15) << 8);
}

std::vector<uint8_t> SolidPng(uint32_t argb) {
    CRzImage image;
    image.Resize(4, 3);
    image.Fill(argb);
    std::vector<uint8_t> png;
    EncodePng(image, png);
    return png;
}

QImage Rendered(CImageWindow& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

// The save-file dialog: "Current" offered; a name typed without a suffix takes the chosen filter's.
TEST(ImageSaveDialog, SuffixFollowsTheFilter) {
    QTemporaryDir dir;
    for (const int filter : {0, 1}) {
        CModalWatcher watcher;
        QStringList offered;
        watcher.onDialog = [&](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(files, nullptr);
            offered = files->selectedFiles();
            if (filter == 1) {  // the operator picks the second type in the list
                QTest::keyClick(files->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            }
            EXPECT_EQ(files->selectedNameFilter(), kImageSaveFilters[filter]);
            files->setDirectory(dir.path());
            files->findChild<QLineEdit*>("fileNameEdit")->setText("shot");  // typed
            static_cast<QDialog*>(files)->accept();
        };
        QWidget owner;
        EXPECT_EQ(ChooseImageSavePath(&owner).toStdString(),
                  dir.filePath(filter == 0 ? "shot.png" : "shot.bmp").toStdString());
        ASSERT_EQ(offered.size(), 1);
        EXPECT_TRUE(offered[0].endsWith("/Current.png")) << offered[0].toStdString();
    }
}

// A picture that fits is drawn unscaled at ((cw - w)/2 - 1, (ch - h)/2 - 1); one that does not
// is stretched to (cw - 1) x (ch - 1). Checked on every pixel of the rendered window.
TEST(ImageWindow, PaintRule) {
    struct Case {
        QSize window;
        QSize image;
        bool stretched;
    };
    const Case cases[] = {
        {{100, 80}, {100, 80}, false},
        {{100, 80}, {101, 80}, true},
        {{100, 80}, {100, 81}, true},
        {{100, 80}, {51, 40}, false},
    };
    for (const Case& c : cases) {
        CImageWindow window;
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(kBackground));
        window.setPalette(palette);
        window.resize(c.window);
        const std::vector<uint8_t> png = CoordinatePng(c.image.width(), c.image.height());
        ASSERT_TRUE(window.SetImageBytes(png.data(), static_cast<uint32_t>(png.size())));
        const QImage out = Rendered(window);
        ASSERT_EQ(out.size(), c.window);
        const int cw = c.window.width();
        const int ch = c.window.height();
        SCOPED_TRACE(testing::Message()
                     << cw << "x" << ch << " <- " << c.image.width() << "x" << c.image.height());
        const QRect drawn =
            c.stretched
                ? QRect(0, 0, cw - 1, ch - 1)
                : QRect(QPoint((cw - c.image.width()) / 2 - 1, (ch - c.image.height()) / 2 - 1),
                        c.image);
        int wrong = 0;
        for (int y = 0; y < ch; ++y) {
            for (int x = 0; x < cw; ++x) {
                const QRgb pixel = out.pixel(x, y);
                if (!drawn.contains(x, y)) {
                    wrong += pixel != kBackground;
                } else if (!c.stretched) {
                    wrong += SourceOf(pixel) != QPoint(x, y) - drawn.topLeft();
                } else {
                    wrong += pixel == kBackground;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        if (c.stretched) {
            EXPECT_EQ(SourceOf(out.pixel(0, 0)), QPoint(0, 0));
            EXPECT_EQ(SourceOf(out.pixel(cw - 2, ch - 2)),
                      QPoint(c.image.width() - 1, c.image.height() - 1));
        }
    }
}

// The picture follows each image that decodes; the copy for saving follows it too, except while
// copying is disabled. An image already taken (same generation) is not decoded again.
TEST(ImageWindow, NewImages) {
    const std::vector<uint8_t> a = SolidPng(0xFF102030u);
    const std::vector<uint8_t> b = SolidPng(0xFF405060u);
    const std::vector<uint8_t> c = SolidPng(0xFF708090u);
    const std::vector<uint8_t> garbage(a.begin(), a.begin() + static_cast<long>(a.size()) / 2);
    struct Step {
        const std::vector<uint8_t>* bytes;
        uint64_t generation;
        bool copyEnabled;
        bool taken;
        uint32_t picture;
        uint32_t saved;
    };
    const Step steps[] = {
        {&a, 0, true, true, 0xFF102030u, 0xFF102030u},
        {&garbage, 0, true, false, 0xFF102030u, 0xFF102030u},
        {nullptr, 0, true, false, 0xFF102030u, 0xFF102030u},
        {&b, 0, false, true, 0xFF405060u, 0xFF102030u},  // the save dialog is open
        {&c, 7, true, true, 0xFF708090u, 0xFF708090u},
        {&a, 7, true, false, 0xFF708090u, 0xFF708090u},
        {&a, 8, true, true, 0xFF102030u, 0xFF102030u},
    };
    CImageWindow window;
    window.resize(8, 8);
    int row = 0;
    for (const Step& s : steps) {
        window.SetCopyEnabled(s.copyEnabled);
        const uint8_t* data = s.bytes ? s.bytes->data() : nullptr;
        const uint32_t length = s.bytes ? static_cast<uint32_t>(s.bytes->size()) : 0;
        EXPECT_EQ(window.SetImageBytes(data, length, s.generation), s.taken) << row;
        EXPECT_EQ(Rendered(window).pixel(2, 2), s.picture) << row;
        ASSERT_FALSE(window.SavedCopy().IsEmpty()) << row;
        EXPECT_EQ(window.SavedCopy().Pixel(0, 0), s.saved) << row;
        ++row;
    }
}
