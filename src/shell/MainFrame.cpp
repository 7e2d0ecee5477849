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
    scroll_ = new QScrollArea(stack_);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setBackgroundRole(QPalette::Window);
    stack_->addWidget(scroll_);
    setCentralWidget(stack_);
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
    // The view is the frame's child: ended here, while the frame it reports to is whole, rather
    // than with the children after it. Its connection's hold sees that it is gone.
    delete view_.data();
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
    return current == scroll_ ? scroll_->widget() : current;
}

FrameState CMainFrame::State() const {
    FrameState state;
    state.loggedIn = loggedIn_;
    state.registeredCount = registeredCount_;
    state.loginRunning = loginInProgress_;
    state.imageShown = imageShown_;
    state.controlBarVisible = !controlToolBar_->isHidden();
    state.view = loggedIn_ ? viewCommands_ : nullptr;
    state.darkLook = look_.dark;
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
    const CommandSpec* spec = FindCommand(command);
    if (spec != nullptr && spec->run.handler != nullptr) {
        (this->*spec->run.handler)();
    } else if (loggedIn_ && viewCommands_ != nullptr) {
        viewCommands_->Run(command);
        UpdateCommandStates();
    }
}

void CMainFrame::OnDisplayMenuAboutToShow(Command menuCommand) {
    QMenu* menu = DropDownMenu(menuCommand);
    if (menuCommand == Command::kControlMenu && loggedIn_) {
        if (QMenu* program = ProgramSubmenu(menu)) {
            patternMenuDisabled_ =
                UpdateProgramSubmenu(program, facts_(), [this](CommandRef item) { Run(item); });
        }
    }
    ApplyItemStates(menu, loggedIn_ ? viewCommands_ : nullptr, patternMenuDisabled_);
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
    if (loginInProgress_ || loggedIn_) {
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
    if (loggedIn_) {
        loginInProgress_ = false;
        return;
    }
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
                                std::function<InstrumentFacts()> facts) {
    if (!loginInProgress_ || view == nullptr) {
        return;
    }
    view_ = view;
    viewCommands_ = commands;
    facts_ = facts ? std::move(facts) : [] { return InstrumentFacts{}; };
    FillDisplayMenus(DropDownMenu(Command::kControlMenu), DropDownMenu(Command::kTrendMenu),
                     DropDownMenu(Command::kDigitalMenu), DropDownMenu(Command::kBarMenu),
                     facts_().modelClass, [this](CommandRef item) { Run(item); });
    loggedIn_ = true;
    loggedInInstrument_ = pendingInstrument_;
    setWindowTitle(Title() + u'-' + PlainTitle(QString::fromLatin1(pendingInstrument_.c_str())));
    const QSize client = view->size() + QSize(5, 5);
    view->resize(view->size());  // the view keeps its size in the scroll area
    scroll_->setWidget(view);
    controlToolBar_->show();
    dialogBarHolder_->show();
    imageShown_ = true;
    stack_->setCurrentWidget(scroll_);
    FitClientPane(client);
    store_->SetLastLogin(pendingInstrument_);
    ShowStatusMessage("");
    RememberInstrument();
    FinishLogin();
    emit LoginFinished(true);
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
    if (!loggedIn_) {
        return;
    }
    if (controller_ != nullptr) {
        controller_->Logout();
    }
    ConnectionClosed();  // at once, even while an exchange still waits on the instrument
}

void CMainFrame::ShowDataUpdated(const QString& text) {
    updated_->setText(text);
}

void CMainFrame::ShowAlarm(const QString& alarm) {
    alarm_->setText(alarm.isEmpty() ? QString() : tr("Alarm on %1").arg(alarm));
    alarm_->setVisible(!alarm.isEmpty());
}

void CMainFrame::ConnectionClosed() {
    if (!loggedIn_) {
        return;
    }
    controlToolBar_->hide();
    dialogBarHolder_->hide();
    if (view_) {
        view_->hide();
        scroll_->takeWidget();
    }
    view_ = nullptr;
    viewCommands_ = nullptr;
    facts_ = nullptr;
    updated_->clear();
    ShowAlarm(QString());
    loggedIn_ = false;
    loggedInInstrument_.clear();
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
    ResizeWithin(wanted_ + QSize(widthChange, heightChange));
}

void CMainFrame::ShowControlBars(bool show) {
    // The view's size, not the part of it a window on a small screen shows.
    const QSize client = wanted_ - (size() - centralWidget()->size());
    imageShown_ = show;
    controlToolBar_->setVisible(show);
    dialogBarHolder_->setVisible(show);
    FitClientPane(client);
    UpdateCommandStates();
}

void CMainFrame::OnRegister() {
    if (registerOpen_ || loginInProgress_) {
        return;
    }
    registerOpen_ = true;
    CRegisterDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) {
        registeredCount_ = dlg.RegisteredCount();
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
    UpdateCommandStates();
}

void CMainFrame::OnTrace() {
    const std::shared_ptr<const CExchangeTrace> trace =
        controller_ != nullptr ? controller_->Trace() : nullptr;
    if (!trace) {
        return;
    }
    // After a lost link the window still shows what was said last; a new log-in has its own.
    if (traceWindow_ == nullptr || traceWindow_->Source() != trace.get()) {
        delete traceWindow_;
        traceWindow_ = new CTraceWindow(trace, this);
    }
    traceWindow_->show();
    traceWindow_->raise();
    traceWindow_->activateWindow();
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
    } else {
        stack_->setCurrentWidget(loggedIn_ ? static_cast<QWidget*>(scroll_) : logo_);
    }
}

void CMainFrame::OnOpenInstrument(int row) {
    if (row < 0 || row >= overview_->rowCount()) {
        return;
    }
    const std::string name = overview_->Instruments()[static_cast<size_t>(row)].name;
    if (loggedIn_) {
        if (name == loggedInInstrument_) {
            stack_->setCurrentWidget(scroll_);
        } else {
            // One instrument at a time: the console's connection stays with the one logged in.
            ShowOwnStatus(tr("Log out from %1 to open %2")
                              .arg(QString::fromLatin1(loggedInInstrument_.c_str()),
                                   QString::fromLatin1(name.c_str())));
        }
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
    OnLogout();
    event->accept();
}
