#include "shell/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/CommandLine.h"
#include "platform/Configuration.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "registry_ui/RegisterDlg.h"
#include "secrets/PasswordKeeper.h"
#include "shell/ConfigDlg.h"
#include "shell/ControlDialogBar.h"
#include "shell/LoginController.h"
#include "shell/LoginDlg.h"
#include "shell/LogoPane.h"
#include "shell/OverviewModel.h"
#include "shell/OverviewPane.h"
#include "shell/StatusRelay.h"
#include "shell/TraceWindow.h"
#include "shell/WindowPlace.h"
#include "ui/FlatLook.h"
#include "ui/Widgets.h"

namespace {

// A separator in the lists of menu and tool-bar items: no command.
constexpr CommandRef kSeparator{};

// The window's title while logged out, and the start of it while logged in.
QString Title() {
    return CMainFrame::tr("RZ Operator");
}

int CountRegistered() {
    CInstrumentRegistry registry;
    if (const RzExpected<void> loaded = registry.Load(); !loaded) {
        ShowStatusMessages(loaded.error());
        return 0;
    }
    return registry.GetCount();
}

void AboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setWindowTitle(CMainFrame::tr("About RZ Operator"));
    auto* icon = new QLabel(&box);
    icon->setPixmap(RzAppIcon().pixmap(32, 32));
    auto* text =
        new QLabel(CMainFrame::tr("RZ Operator R1.02\nVersion %1\n\nCopyright (C) VELTRANO "
                                  "Electric Corporation. All rights reserved.\n\nData "
                                  "directory: %2")
                       .arg(QLatin1String(ProjectVersion()),
                            PlainLine(QString::fromStdString(DataDirectory()))),
                   &box);
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    NameAfter(buttons->button(QDialogButtonBox::Ok), CMainFrame::tr("OK"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(row);
    layout->addWidget(buttons);
    box.exec();
}

}  // namespace

// One instrument open in the window.
struct CMainFrame::Tab {
    std::string instrument;
    QScrollArea* page = nullptr;   // holds the view
    const QWidget* key = nullptr;  // the view, to know the tab by after the view has gone
    QPointer<QWidget> view;
    ICommandTarget* commands = nullptr;
    std::function<InstrumentFacts()> facts;
    std::function<void(bool)> shown;
    bool shownNow = false;  // what `shown` heard last
    QSize client;           // the client pane its view wants, without the tab bar
    bool imageShown = true;
    bool controlBar = true;
    QString updated;  // its "Data updated" pane
    QString alarm;    // the values in alarm; empty while none is
    QPointer<CTraceWindow> trace;
};

CMainFrame::CMainFrame(uint16_t port, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint),
      port_(port),
      store_(std::make_unique<CUserSettings>()),
      passwords_(std::make_unique<CPasswordKeeper>(std::make_unique<CMemoryPasswordStore>(false))) {
    setWindowTitle(Title());
    stack_ = new QStackedWidget(this);
    stack_->setFrameShape(QFrame::StyledPanel);
    logo_ = new CLogoPane(stack_);
    stack_->addWidget(logo_);
    overview_ = new COverviewModel(this);
    overviewPane_ = new COverviewPane(overview_, stack_);
    stack_->addWidget(overviewPane_);
    connect(overviewPane_, &COverviewPane::OpenRequested, this, &CMainFrame::OnOpenInstrument);
    // The tab bar over the pages shows from the second instrument open on; with one the client
    // pane is the page alone, as ever.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    tabBar_ = new QTabBar(central);
    tabBar_->setAccessibleName(tr("Instruments open"));
    tabBar_->setDocumentMode(true);
    tabBar_->setExpanding(false);
    tabBar_->setAutoHide(true);
    column->addWidget(tabBar_);
    column->addWidget(stack_, 1);
    setCentralWidget(central);
    connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) { ApplyTab(index, false); });
    // A click on a tab brings its instrument back from the overview too.
    connect(tabBar_, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0) {
            ApplyTab(index, true);
        }
    });
    connect(stack_, &QStackedWidget::currentChanged, this, [this] { UpdateShownTabs(); });
    look_.dark = store_->DarkLook();

    MakeActions();
    MakeMenus();
    MakeBars();

    prompt_ = new CPlainLabel(tr("Prompt"), this);
    prompt_->setText(tr("Ready"));
    prompt_->setFixedWidth(kStatusPromptWidth);
    status_ = new CPlainLabel(tr("Status"), this);
    cancelLogin_ = new QToolButton(this);
    cancelLogin_->setDefaultAction(Action(Command::kCancelLogin));
    cancelLogin_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    cancelLogin_->hide();
    statusBar()->addWidget(prompt_);
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(cancelLogin_);
    updated_ = new CPlainLabel(tr("Data updated"), this);
    statusBar()->addPermanentWidget(updated_);
    alarm_ = new CPlainLabel(tr("Alarm"), this);
    alarm_->setAutoFillBackground(true);
    QPalette alarmColours = alarm_->palette();
    alarmColours.setColor(QPalette::Window, QColor(0xC6, 0x28, 0x28));
    alarmColours.setColor(QPalette::WindowText, Qt::white);
    alarm_->setPalette(alarmColours);
    alarm_->hide();
    statusBar()->addPermanentWidget(alarm_);
    statusBar()->setSizeGripEnabled(false);
    relay_ = std::make_unique<CStatusRelay>(
        [this](const QString& text) { status_->setText(RzStatusText(text)); });

    registeredCount_ = CountRegistered();
    overview_->LoadRegistry();
    stack_->setCurrentWidget(LoggedOutPage());
    ShowStatusMessage("");
    UpdateCommandStates();
    // Qt moves a remembered place that is no longer on any screen onto one, and shrinks it to fit.
    const QByteArray remembered = store_->WindowGeometry();
    if (remembered.isEmpty() || !restoreGeometry(remembered)) {
        ResizeWithin(kLoggedOutSize);
    }
}

void CMainFrame::SetSecretStore(std::unique_ptr<IPasswordStore> store) {
    passwords_ = std::make_unique<CPasswordKeeper>(std::move(store));
}

CInstrumentPrefs CMainFrame::InstrumentPrefs(const std::string& name) const {
    return CInstrumentSettings({}, store_.get()).For(name);
}

CMainFrame::~CMainFrame() {
    // The views are the frame's children: ended here, while the frame they report to is whole,
    // rather than with the children after it. Their connections' holds see that they are gone.
    for (const std::unique_ptr<Tab>& tab : tabs_) {
        delete tab->view.data();
    }
}

void CMainFrame::MakeActions() {
    for (const CommandSpec& command : FrameCommands()) {
        QAction* action = nullptr;
        const QString caption = MenuTextOf(command);
        const CommandRef ref = command.command;
        if (command.run.dropDown) {
            // The items are the view's; the menu is the frame's, shared by the menu bar and the
            // tool-bar or dialog-bar button that drops it down.
            auto* menu = new QMenu(caption, this);
            dropDowns_[ref.command] = menu;
            action = menu->menuAction();
            connect(menu, &QMenu::aboutToShow, this,
                    [this, ref] { OnDisplayMenuAboutToShow(ref.command); });
        } else {
            action = new QAction(caption, this);
            connect(action, &QAction::triggered, this, [this, ref] { Run(ref); });
        }
        action->setStatusTip(PromptOf(command, 0));
        action->setToolTip(PromptOf(command, 1));
        action->setShortcuts(ShortcutsOf(command));
        if (command.glyph != nullptr) {
            action->setIcon(GlyphIcon(QString::fromUtf8(command.glyph)));
        }
        action->setCheckable(command.rule == CommandRule::kControlToolBar ||
                             command.rule == CommandRule::kDarkLook);
        // Shortcuts work whenever the main window is active, from any of its children.
        addAction(action);
        actions_[ref] = action;
    }
}

void CMainFrame::MakeMenus() {
    using enum Command;
    struct MenuLayout {
        const char* title;
        std::initializer_list<CommandRef> items;
    };
    const MenuLayout menus[] = {
        {QT_TR_NOOP("&File"),
         {kLogin, kCancelLogin, kLogout, kRefresh, kRegister, kStyleShift, kConfig, kSeparator,
          kExit}},
        {QT_TR_NOOP("&View"), {kControlToolBar, kTrace, kPlantOverview, kSeparator, kDarkLook}},
        {QT_TR_NOOP("&Display"),
         {kControlMenu, kTrendMenu, kDigitalMenu, kBarMenu, kSeparator, kOverview, kSaveImage}},
        {QT_TR_NOOP("F&unction"),
         {kMemory, kMath, kMathReset, kAlarmAck, kSeparator, kSaveDataMenu, kWriteMessageMenu,
          kSeparator, kLog}},
        {QT_TR_NOOP("&Window"), {kNextTab, kPreviousTab, kSeparator, kCloseTab}},
        {QT_TR_NOOP("&Help"), {kAbout}},
    };
    for (const MenuLayout& entry : menus) {
        QMenu* menu = menuBar()->addMenu(tr(entry.title));
        for (CommandRef item : entry.items) {
            if (item == kSeparator) {
                menu->addSeparator();
            } else {
                menu->addAction(Action(item));
            }
            if (item == kPlantOverview) {
                menu->addAction(overviewPane_->AcknowledgeAction());  // the overview's own
                menu->addAction(overviewPane_->LogoutAction());
            }
        }
        // States are computed on demand, as the menu opens.
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
    // The save-data and message items: one menu each, dropped down from the Function menu and
    // from the dialog bar's Save and Message buttons alike. Each item carries its command, so
    // that the drop-down brings the view's states in as it opens.
    const auto addItem = [this](Command menu, CommandRef item) {
        Action(item)->setData(QVariant::fromValue(item));
        DropDownMenu(menu)->addAction(Action(item));
    };
    for (Command item : {kSaveDisplay, kSaveEvent, kManualSample, kManualTrigger}) {
        addItem(kSaveDataMenu, item);
    }
    for (int message = 1; message <= kMessageCount; ++message) {
        addItem(kWriteMessageMenu, {kMessage, message});
    }
}

void CMainFrame::MakeBars() {
    using enum Command;
    mainToolBar_ = addToolBar(tr("Main"));
    mainToolBar_->setObjectName(QStringLiteral("main"));
    mainToolBar_->setMovable(false);
    for (CommandRef item :
         std::initializer_list<CommandRef>{kLogin, kLogout, kRefresh, kSeparator, kStyleShift,
                                           kSeparator, kRegister, kConfig, kSeparator, kAbout}) {
        if (item == kSeparator) {
            mainToolBar_->addSeparator();
        } else {
            mainToolBar_->addAction(Action(item));
        }
    }

    controlToolBar_ = new QToolBar(tr("Control"), this);
    controlToolBar_->setObjectName(QStringLiteral("control"));
    controlToolBar_->setMovable(false);
    addToolBar(Qt::LeftToolBarArea, controlToolBar_);
    for (CommandRef item : std::initializer_list<CommandRef>{
             kControlMenu, kTrendMenu, kDigitalMenu, kBarMenu, kOverview, kSeparator, kSaveImage}) {
        if (item == kSeparator) {
            controlToolBar_->addSeparator();
        } else if (QMenu* menu = DropDownMenu(item.command)) {
            auto* button = new QToolButton(controlToolBar_);
            // The menu first: setting it after the default action would take the action out of
            // the button again, leaving it without caption, icon and command.
            button->setMenu(menu);
            button->setDefaultAction(menu->menuAction());
            button->setPopupMode(QToolButton::InstantPopup);
            NameAfter(button, menu->title());
            controlToolBar_->addWidget(button);
        } else {
            controlToolBar_->addAction(Action(item));
        }
    }
    controlToolBar_->hide();

    addToolBarBreak(Qt::TopToolBarArea);
    dialogBarHolder_ = new QToolBar(tr("Functions"), this);
    dialogBarHolder_->setObjectName(QStringLiteral("functions"));
    dialogBarHolder_->setMovable(false);
    dialogBar_ = new CControlDialogBar(dialogBarHolder_);
    dialogBarHolder_->addWidget(dialogBar_);
    addToolBar(Qt::TopToolBarArea, dialogBarHolder_);
    connect(dialogBar_, &CControlDialogBar::Pressed, this, &CMainFrame::OnDialogBarPressed);
    dialogBarHolder_->hide();
}

QAction* CMainFrame::Action(CommandRef command) const {
    const auto it = actions_.find(command);
    return it != actions_.end() ? it->second : nullptr;
}

QMenu* CMainFrame::DropDownMenu(Command command) const {
    const auto it = dropDowns_.find(command);
    return it != dropDowns_.end() ? it->second : nullptr;
}

CPlainLabel* CMainFrame::StatusPane(int index) const {
    return index == 0 ? prompt_ : (index == 1 ? status_ : updated_);
}

QWidget* CMainFrame::ClientPane() const {
    QWidget* current = stack_->currentWidget();
    for (const std::unique_ptr<Tab>& tab : tabs_) {
        if (tab->page == current) {
            return tab->page->widget();
        }
    }
    return current;
}

int CMainFrame::CurrentTab() const {
    return tabs_.empty() ? -1 : tabBar_->currentIndex();
}

int CMainFrame::IndexOfView(const QWidget* view) const {
    for (size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i]->key == view) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

FrameState CMainFrame::State() const {
    const int current = CurrentTab();
    FrameState state;
    state.loggedIn = loggedIn_;
    state.registeredCount = registeredCount_;
    state.loginRunning = loginInProgress_;
    state.imageShown = imageShown_;
    state.controlBarVisible = !controlToolBar_->isHidden();
    state.view = current >= 0 ? tabs_[static_cast<size_t>(current)]->commands : nullptr;
    state.darkLook = look_.dark;
    state.openCount = TabCount();
    return state;
}

void CMainFrame::UpdateCommandStates() {
    const FrameState state = State();
    for (const CommandSpec& command : FrameCommands()) {
        const CommandState shown = CommandStateFor(command, state);
        QAction* action = Action(command.command);
        action->setEnabled(shown.enabled);
        action->setChecked(shown.checked);
        const QString caption = shown.caption.isEmpty() ? MenuTextOf(command) : shown.caption;
        action->setText(caption);
        if (QPushButton* button = dialogBar_->Button(command.command)) {
            button->setEnabled(shown.enabled);
            if (!shown.caption.isEmpty()) {
                button->setText(shown.caption);
            }
        }
    }
    cancelLogin_->setVisible(loginInProgress_);
}

void CMainFrame::Run(CommandRef command) {
    const CommandSpec* entry = FindCommand(command);
    if (entry != nullptr && entry->run.handler != nullptr) {
        (this->*entry->run.handler)();
    } else if (const int current = CurrentTab(); current >= 0) {
        if (ICommandTarget* view = tabs_[static_cast<size_t>(current)]->commands) {
            view->Run(command);
            UpdateCommandStates();
        }
    }
}

void CMainFrame::OnDisplayMenuAboutToShow(Command menuCommand) {
    QMenu* menu = DropDownMenu(menuCommand);
    const int current = CurrentTab();
    if (menuCommand == Command::kControlMenu && current >= 0) {
        if (QMenu* program = ProgramSubmenu(menu)) {
            patternMenuDisabled_ =
                UpdateProgramSubmenu(program, tabs_[static_cast<size_t>(current)]->facts(),
                                     [this](CommandRef item) { Run(item); });
        }
    }
    ApplyItemStates(menu, State().view, patternMenuDisabled_);
}

void CMainFrame::OnDialogBarPressed(Command command) {
    if (QMenu* menu = DropDownMenu(command)) {
        const QPushButton* button = dialogBar_->Button(command);
        // popup(), not exec(): the window's event loop keeps running while the menu is open.
        menu->popup(button->mapToGlobal(button->rect().bottomLeft()));
        return;
    }
    Run(command);
}

void CMainFrame::OnLogin() {
    RunLogin({}, {});
}

void CMainFrame::LoginAtStart(const std::string& name, const std::string& user,
                              const std::optional<std::string>& password) {
    if (!password) {
        RunLogin(name, user);
        return;
    }
    if (loginInProgress_ || ShowInstrument(name)) {
        return;
    }
    loginInProgress_ = true;
    ShowStatusMessage("");
    UpdateCommandStates();
    BeginLogin(name, user, *password);
}

void CMainFrame::RunLogin(const std::string& presetName, const std::string& presetUser) {
    if (loginInProgress_) {
        return;
    }
    loginInProgress_ = true;
    ShowStatusMessage("");
    UpdateCommandStates();  // Config, Register and Login are off while a log-in runs
    CLoginDlg dlg(*store_, passwords_.get(), {}, this);
    if (!presetName.empty()) {
        dlg.SelectInstrument(presetName);
        dlg.UserField()->setText(
            QString::fromLatin1(presetUser.data(), static_cast<qsizetype>(presetUser.size())));
        dlg.PasswordField()->setFocus();
    }
    if (dlg.exec() != QDialog::Accepted) {
        AbandonLogin();
        return;
    }
    if (ShowInstrument(dlg.InstrumentName())) {
        // Open already: its tab, and no second connection to it.
        AbandonLogin();
        return;
    }
    pendingRemember_ = dlg.RememberPassword();
    if (dlg.RememberPassword() && !dlg.PasswordRecalled()) {
        pendingPassword_ = dlg.Password();
    }
    BeginLogin(dlg.InstrumentName(), dlg.UserName(), dlg.Password());
}

void CMainFrame::BeginLogin(const std::string& name, const std::string& user,
                            const std::string& password) {
    CInstrumentRegistry registry;
    if (const RzExpected<void> loaded = registry.Load(); !loaded) {
        ShowStatusMessages(loaded.error());
    }
    const auto address = registry.FindAddress(name);
    if (!address) {
        ShowOwnStatus(
            tr("No instrument named '%1' is registered").arg(QString::fromLatin1(name.c_str())));
        AbandonLogin();
        return;
    }
    if (controller_ == nullptr) {
        ShowOwnStatus(tr("No connection to instruments in this build"));
        AbandonLogin();
        return;
    }
    pendingInstrument_ = name;
    pendingAddress_ = *address;
    pendingUser_ = user;
    controller_->StartLogin(LoginRequest{name, *address, port_, user, password});
}

void CMainFrame::ShowOwnStatus(const QString& text) {
    relay_->Flush();
    status_->setText(text);
}

void CMainFrame::AbandonLogin() {
    loginInProgress_ = false;
    UpdateCommandStates();
    relay_->Flush();
    emit LoginFinished(false);
}

void CMainFrame::LoginSucceeded(QWidget* view, ICommandTarget* commands,
                                std::function<InstrumentFacts()> facts,
                                std::function<void(bool)> shown) {
    if (!loginInProgress_ || view == nullptr) {
        return;
    }
    auto tab = std::make_unique<Tab>();
    tab->instrument = pendingInstrument_;
    tab->key = view;
    tab->view = view;
    tab->commands = commands;
    tab->facts = facts ? std::move(facts) : [] { return InstrumentFacts{}; };
    tab->shown = std::move(shown);
    tab->client = view->size() + QSize(5, 5);
    tab->page = new QScrollArea(stack_);
    tab->page->setFrameShape(QFrame::NoFrame);
    tab->page->setBackgroundRole(QPalette::Window);
    view->resize(view->size());  // the view keeps its size in the scroll area
    tab->page->setWidget(view);
    stack_->addWidget(tab->page);
    tabs_.push_back(std::move(tab));
    loggedIn_ = true;
    const QString name = PlainTitle(QString::fromLatin1(pendingInstrument_.c_str()));
    const int index = tabBar_->addTab(name);
    tabBar_->setAccessibleTabName(index, name);
    if (tabBar_->currentIndex() != index) {
        tabBar_->setCurrentIndex(index);  // which applies it
    }
    ApplyTab(index, true);
    store_->SetLastLogin(pendingInstrument_);
    ShowStatusMessage("");
    RememberInstrument();
    FinishLogin();
    emit LoginFinished(true);
}

bool CMainFrame::ShowInstrument(const std::string& instrument) {
    for (size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i]->instrument == instrument) {
            tabBar_->setCurrentIndex(static_cast<int>(i));
            ApplyTab(static_cast<int>(i), true);
            return true;
        }
    }
    return false;
}

void CMainFrame::ApplyTab(int index, bool toFront) {
    if (index < 0 || index >= TabCount() || index != tabBar_->currentIndex()) {
        return;
    }
    Tab& tab = *tabs_[static_cast<size_t>(index)];
    const InstrumentFacts facts = tab.facts();
    if (facts.modelClass != menusModelClass_) {
        menusModelClass_ = facts.modelClass;
        FillDisplayMenus(DropDownMenu(Command::kControlMenu), DropDownMenu(Command::kTrendMenu),
                         DropDownMenu(Command::kDigitalMenu), DropDownMenu(Command::kBarMenu),
                         facts.modelClass, [this](CommandRef item) { Run(item); });
    }
    setWindowTitle(Title() + u'-' + PlainTitle(QString::fromLatin1(tab.instrument.c_str())));
    imageShown_ = tab.imageShown;
    controlToolBar_->setVisible(tab.imageShown && tab.controlBar);
    dialogBarHolder_->setVisible(tab.imageShown);
    updated_->setText(tab.updated);
    ShowAlarm(tab.alarm);
    bool pageShown = stack_->currentWidget() == tab.page;
    for (const std::unique_ptr<Tab>& other : tabs_) {
        pageShown = pageShown || stack_->currentWidget() == other->page;
    }
    if (toFront || pageShown) {
        stack_->setCurrentWidget(tab.page);
    }
    FitClientPane(ClientWanted(index));
    UpdateShownTabs();
    UpdateCommandStates();
}

QSize CMainFrame::ClientWanted(int index) const {
    const QSize client = tabs_[static_cast<size_t>(index)]->client;
    return TabCount() > 1 ? client + QSize(0, tabBar_->sizeHint().height()) : client;
}

void CMainFrame::UpdateShownTabs() {
    const int current = CurrentTab();
    for (size_t i = 0; i < tabs_.size(); ++i) {
        Tab& tab = *tabs_[i];
        const bool shown = static_cast<int>(i) == current && stack_->currentWidget() == tab.page;
        if (tab.shown && shown != tab.shownNow) {
            tab.shownNow = shown;
            tab.shown(shown);
        }
    }
}

void CMainFrame::OnNextTab() {
    if (TabCount() > 1) {
        tabBar_->setCurrentIndex((tabBar_->currentIndex() + 1) % TabCount());
        ApplyTab(tabBar_->currentIndex(), true);
    }
}

void CMainFrame::OnPreviousTab() {
    if (TabCount() > 1) {
        tabBar_->setCurrentIndex((tabBar_->currentIndex() + TabCount() - 1) % TabCount());
        ApplyTab(tabBar_->currentIndex(), true);
    }
}

void CMainFrame::LoginFailed() {
    if (!loginInProgress_) {
        return;
    }
    FinishLogin();  // the reason is in the status text already
    relay_->Flush();
    emit LoginFinished(false);
}

void CMainFrame::FinishLogin() {
    loginInProgress_ = false;
    pendingInstrument_.clear();
    pendingAddress_.clear();
    pendingUser_.clear();
    pendingRemember_.reset();
    pendingPassword_.reset();
    UpdateCommandStates();
}

void CMainFrame::RememberInstrument() {
    CInstrumentSettings settings({}, store_.get());
    CInstrumentPrefs prefs = settings.For(pendingInstrument_);
    const CInstrumentPrefs before = prefs;
    prefs.userName = pendingUser_;
    prefs.rememberPassword = pendingRemember_.value_or(before.rememberPassword);
    settings.Set(pendingInstrument_, prefs);
    const CPasswordKey key{pendingInstrument_, pendingAddress_, pendingUser_};
    if (pendingRemember_ == false && before.rememberPassword) {
        passwords_->Forget(key);
        if (before.userName != pendingUser_) {
            passwords_->Forget({pendingInstrument_, pendingAddress_, before.userName});
        }
    } else if (pendingPassword_) {
        const QString name = QString::fromLatin1(pendingInstrument_.c_str());
        passwords_->Keep(key, *pendingPassword_, this, [this, name](const QString& unavailable) {
            if (!unavailable.isEmpty()) {
                ShowOwnStatus(tr("The password for %1 is kept until the console closes: no secret "
                                 "store (%2)")
                                  .arg(name, unavailable));
            }
        });
    }
}

void CMainFrame::OnCancelLogin() {
    if (loginInProgress_ && controller_ != nullptr) {
        controller_->CancelLogin();
    }
}

void CMainFrame::OnLogout() {
    LogoutTab(CurrentTab());
}

bool CMainFrame::LogoutInstrument(const std::string& instrument) {
    for (size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i]->instrument == instrument) {
            LogoutTab(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void CMainFrame::LogoutTab(int index) {
    if (index < 0 || index >= TabCount()) {
        return;
    }
    const QWidget* view = tabs_[static_cast<size_t>(index)]->key;
    if (controller_ != nullptr) {
        controller_->LogoutFrom(view);
    }
    ConnectionClosed(view);  // at once, even while an exchange still waits on the instrument
}

void CMainFrame::ShowDataUpdated(const QString& text) {
    updated_->setText(text);
}

void CMainFrame::ShowAlarm(const QString& alarm) {
    alarm_->setText(alarm.isEmpty() ? QString() : tr("Alarm on %1").arg(alarm));
    alarm_->setVisible(!alarm.isEmpty());
}

void CMainFrame::MarkAlarm(const QString& instrument, const QString& alarm) {
    const std::string name = instrument.toLatin1().toStdString();
    for (size_t i = 0; i < tabs_.size(); ++i) {
        Tab& tab = *tabs_[i];
        if (tab.instrument != name) {
            continue;
        }
        tab.alarm = alarm;
        const int index = static_cast<int>(i);
        // The alarm pane's red: one colour marks an alarm wherever it shows.
        tabBar_->setTabTextColor(
            index, alarm.isEmpty() ? QColor() : alarm_->palette().color(QPalette::Window));
        // A screen reader hears a tab's tool tip as its description.
        tabBar_->setTabToolTip(index, alarm.isEmpty() ? QString() : tr("in alarm"));
        if (index == CurrentTab()) {
            ShowAlarm(alarm);
        }
    }
}

void CMainFrame::ConnectionClosed() {
    while (!tabs_.empty()) {
        CloseTab(TabCount() - 1);
    }
}

void CMainFrame::ConnectionClosed(const QWidget* view) {
    if (const int index = IndexOfView(view); index >= 0) {
        CloseTab(index);
    }
}

void CMainFrame::CloseTab(int index) {
    std::unique_ptr<Tab> tab = std::move(tabs_[static_cast<size_t>(index)]);
    tabs_.erase(tabs_.begin() + index);
    if (tab->view) {
        tab->view->hide();
        tab->page->takeWidget();  // the view ends with its connection
    }
    if (tab->trace) {
        closedTraces_.push_back(tab->trace);
    }
    const bool pageShown = stack_->currentWidget() == tab->page;
    stack_->removeWidget(tab->page);
    tab->page->deleteLater();
    // The next tab becomes the current one.
    tabBar_->removeTab(index);
    if (!tabs_.empty()) {
        const int current = tabBar_->currentIndex();
        ApplyTab(current, pageShown);
        return;
    }
    controlToolBar_->hide();
    dialogBarHolder_->hide();
    updated_->clear();
    ShowAlarm(QString());
    loggedIn_ = false;
    imageShown_ = false;
    stack_->setCurrentWidget(LoggedOutPage());
    ResizeWithin(kLoggedOutSize);
    setWindowTitle(Title());
    UpdateCommandStates();
}

void CMainFrame::FitClientPane(QSize clientSize) {
    layout()->activate();
    const QSize chrome = size() - centralWidget()->size();
    ResizeWithin(clientSize + chrome);
    layout()->activate();
}

void CMainFrame::ResizeWithin(QSize wanted) {
    wanted_ = wanted;
    const QSize margins = frameGeometry().size() - geometry().size();  // title bar and borders
    const QScreen* shownOn = screen();
    const QRect area = shownOn != nullptr ? shownOn->availableGeometry() : QRect();
    const QRect placed = FitWithin(QRect(pos(), wanted + margins), area);
    // Before it is first shown the window system places the window.
    if (isVisible() && placed.topLeft() != pos()) {
        move(placed.topLeft());
    }
    resize(placed.size() - margins);
}

void CMainFrame::ResizeForView(int widthChange, int heightChange) {
    if (const int current = CurrentTab(); current >= 0) {
        tabs_[static_cast<size_t>(current)]->client += QSize(widthChange, heightChange);
    }
    ResizeWithin(wanted_ + QSize(widthChange, heightChange));
}

void CMainFrame::ShowControlBars(bool show) {
    if (const int current = CurrentTab(); current >= 0) {
        tabs_[static_cast<size_t>(current)]->imageShown = show;
        tabs_[static_cast<size_t>(current)]->controlBar = show;
    }
    // The view's size, not the part of it a window on a small screen shows.
    const QSize client = wanted_ - (size() - centralWidget()->size());
    imageShown_ = show;
    controlToolBar_->setVisible(show);
    dialogBarHolder_->setVisible(show);
    FitClientPane(client);
    UpdateCommandStates();
}

void CMainFrame::ViewResized(const QWidget* view, int widthChange, int heightChange) {
    const int index = IndexOfView(view);
    if (index == CurrentTab()) {
        ResizeForView(widthChange, heightChange);
    } else if (index >= 0) {
        tabs_[static_cast<size_t>(index)]->client += QSize(widthChange, heightChange);
    }
}

void CMainFrame::ViewImageShown(const QWidget* view, bool shown) {
    const int index = IndexOfView(view);
    if (index == CurrentTab()) {
        ShowControlBars(shown);
    } else if (index >= 0) {
        tabs_[static_cast<size_t>(index)]->imageShown = shown;
        tabs_[static_cast<size_t>(index)]->controlBar = shown;
    }
}

void CMainFrame::ViewDataUpdated(const QWidget* view, const QString& text) {
    const int index = IndexOfView(view);
    if (index >= 0) {
        tabs_[static_cast<size_t>(index)]->updated = text;
    }
    if (index == CurrentTab()) {
        ShowDataUpdated(text);
    }
}

void CMainFrame::OnRegister() {
    if (registerOpen_ || loginInProgress_) {
        return;
    }
    registerOpen_ = true;
    CRegisterDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) {
        registeredCount_ = dlg.RegisteredCount();
        // What the console kept for a record taken out goes with it: a later instrument under
        // that name and address inherits no user name and no password.
        CInstrumentSettings settings({}, store_.get());
        for (const CRegisterDlg::Dropped& record : dlg.DroppedRecords()) {
            const CInstrumentPrefs prefs = settings.For(record.name);
            if (record.nameGone) {
                settings.Remove(record.name);
            }
            const QString name = QString::fromLatin1(record.name.c_str());
            passwords_->Forget({record.name, record.address, prefs.userName}, this,
                               [this, name, prefs](const QString& unavailable) {
                                   if (prefs.rememberPassword && !unavailable.isEmpty()) {
                                       ShowOwnStatus(tr("The password for %1 could not be removed "
                                                        "from the secret store: %2")
                                                         .arg(name, unavailable));
                                   }
                               });
        }
        overview_->LoadRegistry();
        if (!loggedIn_ && stack_->currentWidget() == logo_) {
            stack_->setCurrentWidget(LoggedOutPage());
        }
    }
    registerOpen_ = false;
    UpdateCommandStates();
}

void CMainFrame::OnConfig() {
    if (configOpen_ || loggedIn_ || loginInProgress_) {
        return;
    }
    configOpen_ = true;
    CConfigDlg dlg({}, this);
    dlg.exec();
    configOpen_ = false;
}

void CMainFrame::OnExit() {
    close();
}

void CMainFrame::OnControlToolBar() {
    controlToolBar_->setVisible(controlToolBar_->isHidden());
    if (const int current = CurrentTab(); current >= 0) {
        tabs_[static_cast<size_t>(current)]->controlBar = !controlToolBar_->isHidden();
    }
    UpdateCommandStates();
}

void CMainFrame::OnTrace() {
    const int current = CurrentTab();
    if (current < 0 || controller_ == nullptr) {
        return;
    }
    Tab& tab = *tabs_[static_cast<size_t>(current)];
    const std::shared_ptr<const CExchangeTrace> trace = controller_->TraceOf(tab.key);
    if (!trace) {
        return;
    }
    // The window of a closed tab still shows what was said last until the next is opened; each
    // log-in has its own.
    for (QPointer<CTraceWindow>& closed : closedTraces_) {
        delete closed.data();
    }
    closedTraces_.clear();
    if (tab.trace == nullptr || tab.trace->Source() != trace.get()) {
        delete tab.trace.data();
        tab.trace = new CTraceWindow(trace, this);
        if (TabCount() > 1) {  // which instrument's it is
            tab.trace->setWindowTitle(tab.trace->windowTitle() + u'-' +
                                      PlainTitle(QString::fromLatin1(tab.instrument.c_str())));
        }
    }
    tab.trace->show();
    tab.trace->raise();
    tab.trace->activateWindow();
}

void CMainFrame::OnAbout() {
    AboutBox(this);
}

QWidget* CMainFrame::LoggedOutPage() const {
    return registeredCount_ > 1 ? static_cast<QWidget*>(overviewPane_) : logo_;
}

void CMainFrame::OnPlantOverview() {
    if (stack_->currentWidget() != overviewPane_) {
        stack_->setCurrentWidget(overviewPane_);
        overviewPane_->setFocus();
    } else if (const int current = CurrentTab(); current >= 0) {
        ApplyTab(current, true);
    } else {
        stack_->setCurrentWidget(logo_);
    }
}

void CMainFrame::OnOpenInstrument(int row) {
    if (row < 0 || row >= overview_->rowCount()) {
        return;
    }
    const std::string name = overview_->Instruments()[static_cast<size_t>(row)].name;
    if (loginInProgress_ || ShowInstrument(name)) {
        return;
    }
    const std::string user = InstrumentPrefs(name).userName;
    if (controller_ != nullptr && controller_->LoggedInAlready(name, user)) {
        // The overview keeps a connection to it: no password to ask for, no second log-in.
        LoginAtStart(name, user, std::string());
        return;
    }
    RunLogin(name, user);
}

void CMainFrame::OnDarkLook() {
    look_.dark = !look_.dark;
    store_->SetDarkLook(look_.dark);
    ApplyLook(*qApp, LookFor(look_));
    UpdateCommandStates();
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        prompt_->setText(tip.isEmpty() ? tr("Ready") : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    store_->SetWindowGeometry(saveGeometry());
    if (loginInProgress_ && controller_ != nullptr) {
        controller_->CancelLogin();
    }
    while (CurrentTab() >= 0) {
        OnLogout();
    }
    event->accept();
}
