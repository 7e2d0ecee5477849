#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/InstrumentSettings.h"
#include "shell/CommandTable.h"
#include "shell/DisplayMenus.h"
#include "ui/FlatLook.h"
#include "ui/PlainText.h"

class CControlDialogBar;
class CLogoPane;
class COverviewModel;
class COverviewPane;
class CPasswordKeeper;
class CStatusRelay;
class CTraceWindow;
class CUserSettings;
class ILoginController;
class IPasswordStore;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QToolBar;
class QToolButton;

// The main window. Logged out it is a 600 x 400 window with the logo pane, or with the plant
// overview when more than one instrument is registered; logged in it shows
// the connection's view with the control tool bar at the left and the control dialog bar at the
// top, sized around the view. Those sizes are never larger than the screen's available area; the
// view scrolls in a smaller window, and the user may resize the window. It opens where and as
// large as it was when it was last closed (kept in the user's settings), moved onto a screen.
// Every command comes from the command table, and its state is recomputed whenever the frame's
// state changes. Pane 1 of the status bar shows the system's status texts and nothing else.
//
// Several instruments may be open at once, each in a tab of its own: its view, its "Data
// updated" and alarm panes, its control bars as its view last wanted them, its size and its
// trace window. The tab bar shows from the second instrument on, so that with one the window is
// the single-instrument console. The title names the instrument of the current tab, and the
// menus, tool bars and shortcuts act on its view. Only the view of the tab shown fetches the
// instrument's screen image.
//
// The frame never waits on the instrument: log-in and log-out go to the log-in controller,
// which returns at once and reports back through LoginSucceeded, LoginFailed and
// ConnectionClosed.
class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr QSize kLoggedOutSize{600, 400};
    static constexpr int kStatusPromptWidth = 220;

    explicit CMainFrame(uint16_t port = 34260, QWidget* parent = nullptr);
    ~CMainFrame() override;

    void SetLoginController(ILoginController* controller) { controller_ = controller; }
    // Where passwords the operator asks to remember are kept (the desktop's secret store in the
    // program). Until this is called there is no secret store: they are kept in memory until
    // the frame closes. Call before the first log-in: the passwords kept so far are dropped.
    void SetSecretStore(std::unique_ptr<IPasswordStore> store);
    // The passwords kept (replaced by SetSecretStore: not to be held on to).
    CPasswordKeeper& Passwords() const { return *passwords_; }
    // What is kept for the registered instrument `name` (its user name, whether its password is
    // remembered), as the log-in dialog fills it in.
    CInstrumentPrefs InstrumentPrefs(const std::string& name) const;

    // Logs in to the registered instrument `name` as `user` without the Login command (command
    // line). Without a password the log-in dialog asks for it, with the instrument and the user
    // name filled in. An instrument that is not registered ends the log-in as failed.
    void LoginAtStart(const std::string& name, const std::string& user,
                      const std::optional<std::string>& password);

    // The log-in controller's reports. `view` becomes the client pane of a new tab, the current
    // one, a child of the frame until ConnectionClosed takes it out for its connection to end
    // it. `commands` handles the view's commands; `facts` tells the model and the program
    // patterns whenever a display menu drops down; `shown` hears whether the view's tab is the
    // one the window shows.
    void LoginSucceeded(QWidget* view, ICommandTarget* commands,
                        std::function<InstrumentFacts()> facts,
                        std::function<void(bool)> shown = {});
    void LoginFailed();
    // After a log-out or a lost link: the tab of `view` closes, and after the last one the
    // window is back to the logo pane. Harmless for a view the frame does not show.
    void ConnectionClosed(const QWidget* view);
    // Every tab closes.
    void ConnectionClosed();

    // The view's layout changes: grow or shrink the window by a delta (the view resized
    // itself), and show or hide the control bars with the image window, keeping the view's size.
    // These act on the current tab; the ones naming a view on that view's tab, and on the
    // window only while that tab is the current one.
    void ResizeForView(int widthChange, int heightChange);
    void ShowControlBars(bool show);
    void ViewResized(const QWidget* view, int widthChange, int heightChange);
    void ViewImageShown(const QWidget* view, bool shown);
    void ViewDataUpdated(const QWidget* view, const QString& text);

    // The tabs of the instruments open, in the tab bar's order, and the index of the current
    // one (-1 while none is open).
    int TabCount() const { return static_cast<int>(tabs_.size()); }
    int CurrentTab() const;
    QTabBar* TabBar() const { return tabBar_; }
    // Shows the tab of `instrument` if it is open; false when it is not.
    bool ShowInstrument(const std::string& instrument);
    // Logs out from `instrument` and closes its tab, as Ctrl+W does for the tab shown; false
    // when it is not open.
    bool LogoutInstrument(const std::string& instrument);

    FrameState State() const;
    void UpdateCommandStates();

    // The look in force at start; View > Dark look switches its dark flag and remembers it.
    void SetLook(const LookRequest& look) { look_ = look; }

  signals:
    // A log-in ended: attached to its view, or failed, cancelled or refused in the dialog (the
    // reason, if any, is in the status pane by then).
    void LoginFinished(bool succeeded);

  public:
    QAction* Action(CommandRef command) const;
    QMenu* DropDownMenu(Command command) const;  // the commands whose entry drops a menu down
    // Pane 0: menu prompts; pane 1: the system's status texts; pane 2: when the data shown was
    // last refreshed. Each shows its text as one plain line.
    CPlainLabel* StatusPane(int index) const;
    void ShowDataUpdated(const QString& text);
    // The alarm mark: a red pane naming the values in alarm of the instrument shown, after the
    // other panes; hidden while `alarm` is empty.
    void ShowAlarm(const QString& alarm);
    // The alarm of the registered instrument `instrument` (empty: none): its tab's text turns
    // the alarm pane's red, with "in alarm" as its description, and the alarm pane shows it
    // while its tab is the current one.
    void MarkAlarm(const QString& instrument, const QString& alarm);
    CPlainLabel* AlarmPane() const { return alarm_; }
    QWidget* ClientPane() const;
    CStatusRelay& StatusTexts() const { return *relay_; }
    QToolBar* ControlToolBar() const { return controlToolBar_; }
    // The plant overview: its rows (read from the registry; fed by whoever follows the
    // instruments) and the page that shows them.
    COverviewModel& Overview() const { return *overview_; }
    COverviewPane* OverviewPane() const { return overviewPane_; }
    CControlDialogBar* DialogBar() const { return dialogBar_; }

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // The command table names the frame's handlers.
    friend std::span<const CommandSpec> FrameCommands();

    void MakeActions();
    void MakeMenus();
    void MakeBars();
    // Runs a command as its entry in the command table says.
    void Run(CommandRef command);
    void OnLogin();
    // The log-in dialog (preset with an instrument and user when given), then the log-in.
    void RunLogin(const std::string& presetName, const std::string& presetUser);
    void BeginLogin(const std::string& name, const std::string& user, const std::string& password);
    void AbandonLogin();
    // Shows the frame's own status text after the texts the system showed before it.
    void ShowOwnStatus(const QString& text);
    void OnCancelLogin();
    void OnLogout();
    // Logs out from the instrument of tab `index` and closes the tab at once.
    void LogoutTab(int index);
    void OnRegister();
    void OnConfig();
    void OnExit();
    void OnAbout();
    void OnTrace();
    void OnControlToolBar();
    void OnDialogBarPressed(Command command);
    void FitClientPane(QSize clientSize);
    void FinishLogin();
    // After a log-in: the instrument's user name, and its password kept or forgotten as the
    // operator chose in the log-in dialog.
    void RememberInstrument();
    void OnDisplayMenuAboutToShow(Command menu);
    void OnDarkLook();
    void OnNextTab();
    void OnPreviousTab();
    // Makes tab `index` the current one: title, menus, bars, panes and the window's size follow
    // it; its page comes to the front when a tab's page is shown, or with `toFront`.
    void ApplyTab(int index, bool toFront);
    void CloseTab(int index);
    // Tells each view whether its tab is the one shown.
    void UpdateShownTabs();
    int IndexOfView(const QWidget* view) const;
    // The client pane the tab wants: its view's and, while the tab bar shows, the bar's height.
    QSize ClientWanted(int index) const;
    // View > Plant overview: the overview page, or back to the page it took the place of.
    void OnPlantOverview();
    // Opening an overview row: the log-in dialog for that instrument, or its tab if it is open.
    void OnOpenInstrument(int row);
    // The logged-out page: the overview with more than one instrument registered, else the logo.
    QWidget* LoggedOutPage() const;
    // Sizes the window to `wanted`, or to as much of it as the screen's available area holds.
    void ResizeWithin(QSize wanted);

    uint16_t port_;
    ILoginController* controller_ = nullptr;
    std::unique_ptr<CUserSettings> store_;
    std::unique_ptr<CPasswordKeeper> passwords_;
    std::unique_ptr<CStatusRelay> relay_;

    std::map<CommandRef, QAction*> actions_;
    std::map<Command, QMenu*> dropDowns_;
    QStackedWidget* stack_ = nullptr;
    CLogoPane* logo_ = nullptr;
    COverviewModel* overview_ = nullptr;
    COverviewPane* overviewPane_ = nullptr;
    QTabBar* tabBar_ = nullptr;
    struct Tab;
    std::vector<std::unique_ptr<Tab>> tabs_;  // in the tab bar's order
    // The trace windows of tabs that closed: they still show what was said last.
    std::vector<QPointer<CTraceWindow>> closedTraces_;
    int32_t menusModelClass_ = -1;  // the model the display menus were filled for
    bool patternMenuDisabled_ = false;
    QToolBar* mainToolBar_ = nullptr;
    QToolBar* controlToolBar_ = nullptr;
    QToolBar* dialogBarHolder_ = nullptr;
    CControlDialogBar* dialogBar_ = nullptr;
    CPlainLabel* prompt_ = nullptr;
    CPlainLabel* status_ = nullptr;
    CPlainLabel* updated_ = nullptr;
    CPlainLabel* alarm_ = nullptr;
    QToolButton* cancelLogin_ = nullptr;

    QSize wanted_ = kLoggedOutSize;  // the window's size before the screen limits it
    LookRequest look_;
    int registeredCount_ = 0;
    bool loggedIn_ = false;  // an instrument is open
    bool imageShown_ = false;
    // Guard flags: a dialog or a log-in is not entered twice.
    bool loginInProgress_ = false;
    bool registerOpen_ = false;
    bool configOpen_ = false;
    // The log-in being run: shown in the title and remembered once it succeeds. The password is
    // held only when the operator asked for it to be remembered and it was not the one
    // remembered already.
    std::string pendingInstrument_;
    std::string pendingAddress_;
    std::string pendingUser_;
    std::optional<bool> pendingRemember_;  // none: a log-in without the dialog
    std::optional<std::string> pendingPassword_;
};
