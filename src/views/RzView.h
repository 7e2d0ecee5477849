#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/ConnectionManager.h"
#include "ui/CommandTarget.h"
#include "views/ViewContext.h"

class CFunctionCommands;
class CImageWindow;
class CSimplePanelDlg;
struct CViewState;

// The main window's client pane while logged in: the instrument's screen and the operation
// panels side by side, and the handler of the display, image and instrument function commands.
// Made by the connection manager's view factory for one connection and destroyed with it.
class CRZView : public QWidget, public ICommandTarget, public IConnectionView {
    Q_OBJECT
  public:
    // Which panels are shown (panelFlags).
    static constexpr uint32_t kImageShown = 1;
    static constexpr uint32_t kSimpleShown = 2;
    static constexpr uint32_t kLoopShown = 4;
    static constexpr uint32_t kProgramShown = 16;

    // Save image asks for the path through this; an empty path means cancelled. `owner` is the
    // image window. The default opens the save-file dialog.
    using SavePathChooser = std::function<QString(QWidget* owner)>;

    explicit CRZView(const CViewContext& context, QWidget* parent = nullptr);
    ~CRZView() override;

    // Lays the panels out for the instrument's access level, publishes the display state and
    // shows the data of the log-in's full refresh; call once the view has been placed in the
    // main window.
    void InitialUpdate();

    CommandState StateOf(CommandRef command) const override;
    void Run(CommandRef command) override;

    uint32_t PanelFlags() const { return panelFlags_; }
    CImageWindow* ImageWindow() const { return image_; }
    CSimplePanelDlg* SimplePanel() const { return simple_; }
    QWidget* LoopPanel() const { return loop_; }
    QWidget* ProgramPanel() const { return program_; }

    // Shows the wanted panels left to right in the order image, simple, loop, program, resizes
    // the view to hold them, and tells the main window (the signals below).
    void ArrangePanels(bool image, bool simple, bool loop, bool program);

    void SetSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }

    // Whether the view's tab is the one the main window shows: the cycle fetches the screen
    // image only while it is and the image window shows. Shown again after it was hidden, the
    // view fetches the image at once rather than at the next cycle.
    void SetTabShown(bool shown);

    QSize sizeHint() const override { return arranged_; }

    // Freshness is judged per source: the screen is marked old ("No data for N s") and the
    // panels' values grey out when their source has brought no valid data for more than two
    // communication cycles up to `now`; the status bar's middle pane then says why. A timer
    // calls it every second; a source without data counts from the view's creation.
    void CheckDataAge(std::chrono::steady_clock::time_point now);
    bool ValuesStale() const { return stale_; }

  signals:
    // The image window was shown (true) or hidden: the main window shows or hides its control
    // bars, keeping the view's size.
    void ImageShownChanged(bool shown);
    // The view resized itself by this much; the main window grows or shrinks with it.
    void SizeChanged(int widthChange, int heightChange);
    // An operation of the view ended: the states of its commands on buttons may differ.
    void CommandStatesChanged();
    // The time of the last valid data of everything shown changed: `text` tells it ("Updated
    // 14:03:27").
    void DataUpdated(const QString& text);

  protected:
    void focusInEvent(QFocusEvent* event) override;

  private:
    // What the enabling rules read of the instrument.
    struct Facts {
        char accessLevel = 0;
        int32_t modelClass = 0;
        int32_t firmwareMajor = 0;
        int32_t loopCount = 0;
        int32_t programOption = 0;
    };
    Facts ReadFacts() const;
    CViewState State() const;
    void Publish(HubEvent<int32_t> event, int32_t value);
    bool ImageShownNow() const { return (panelFlags_ & kImageShown) != 0; }

    // Starts a switch of the instrument's display; false when it was refused. As a follow-up
    // (the view's own, when the screen shows again) it waits for a running operation instead.
    bool StartSwitch(int32_t code, int32_t group, bool followUp = false);
    // While an operation runs, a display command is refused with the status text naming it.
    bool RefusedWhileBusy();

    void OnDisplayKind(int32_t kind);
    void OnDataRefreshed();
    void ResyncImage();

    void RunControlGroup(int index);
    void RunMeasureGroup(int index, int page);
    void RunDisplayKind(int32_t kind, int32_t code);
    void RunStyle(int32_t style);
    void RunTrendOption(int32_t toggledBits);
    void RunPattern(int32_t pattern);
    void RunStyleShift();
    void RunRefresh();
    void RunSaveImage();

    CViewContext context_;
    uint32_t panelFlags_ = 0;
    CImageWindow* image_ = nullptr;
    QWidget* program_ = nullptr;
    QWidget* loop_ = nullptr;
    CSimplePanelDlg* simple_ = nullptr;
    std::unique_ptr<CFunctionCommands> functions_;
    bool imageShownOnce_ = false;
    bool tabHidden_ = false;  // the view's tab was hidden last
    QSize arranged_;
    SavePathChooser choosePath_;
    std::vector<uint8_t> lastImage_;  // the bytes of the screen last handed to the image window
    bool imageDecoded_ = false;       // whether they decoded
    // Freshness as last read from the connection; times on the steady clock in ns.
    CDataFreshness fresh_;
    int64_t createdAtNs_;
    int64_t imageSeenAtNs_ = -1;  // the image arrival last looked at
    int64_t screenValidAtNs_ = 0;
    int64_t updatedAtNs_ = 0;
    std::string reasonShown_;  // the reason last given in the middle pane
    bool stale_ = false;       // the values are stale: the panels are greyed
};
