#include "shell/main_dlg.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSizeGrip>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "device/device_service.h"
#include "events/alarm_sound.h"
#include "events/log_record.h"
#include "monitor/alarm_monitor.h"
#include "platform/app_dir.h"
#include "base/build_string.h"
#include "base/lang.h"
#include "base/trace.h"
#include "widgets/client_context.h"
#include "shell/database_report.h"
#include "shell/debug_console.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "setup/system_display_config.h"
#include "shell/client_pages.h"
#include "shell/client_services.h"
#include "snapshots/snapshot_viewer_dlg.h"
#include "widgets/event_bridge.h"
#include "shell/window_config.h"
#include "widgets/window_message.h"
#include "store/config_files.h"
#include "ui_MainDlg.h"

namespace ocv {

namespace {

// The page of a TOOLBAR index (1..9) in the client's page list; "" when none.
QString PageOfToolbarIndex(int index) {
    for (const PageInfo& p : ClientPages())
        if (p.toolbarIndex == index) return p.name;
    return {};
}

QString ConfigIni() { return QString::fromStdString(AppPath("config.ini")); }

// Width of the frame band in which the pointer resizes the window.
constexpr int kResizeBand = 6;
// The window is never made smaller than this by hand.
constexpr int kMinWindowWidth = 800;
constexpr int kMinWindowHeight = 560;

// Ends every modal dialog (a login, a question, a file dialog, the lock) as cancelled. Each
// dialog's own loop returns, so the code that opened it goes on as after a Cancel.
void EndModalDialogs() {
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->hide();
        }
    }
}

}  // namespace

MainDlg::MainDlg(DeviceService& service, WavPlayer* wavPlayer, Options options)
    : QWidget(nullptr),
      service_(service),
      wavPlayer_(wavPlayer),
      options_(options),
      events_(std::make_unique<EventBridge>(service.hub())) {
    setObjectName("MainDlg");
    setWindowTitle(QString::fromStdString(Shared().title.empty() ? GetLangString("BODY TEMPERATURESCREENING SYSTEM")
                                                                 : Shared().title));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

MainDlg::~MainDlg() {
    ClosePages();
    // The workers end with the window (they read the store, which outlives them).
    if (status_) status_->Stop();
    if (timeSync_) timeSync_->Stop();
    TracePipe::Instance().SetListener(nullptr);
}

bool MainDlg::Create() {
    LogOut();
    service_.log().LogWrite(kLogSystem, kLogEnterSystem, -1, -1, "", "");

    // A database that cannot be used leaves the client without devices and accounts: the
    // operator hears about it before anything else, not from recordings that never happened.
    const std::string problem = DatabaseProblemText(service_.store(), AppDir());
    if (!problem.empty()) ShowMessage(nullptr, QString::fromStdString(problem), QString(), kMsgError);
    if (terminationRequested_) return false;

    int remembered = FindRememberedUser(service_.store());
    if (remembered >= 0) {
        LogInAs(service_.store().user(remembered));
    } else if (!ShowLoginDialog(nullptr, true)) {
        return false;
    }
    if (terminationRequested_) return false;  // asked to end while the login ran

    const std::string ini = ConfigIni().toStdString();
    SoundAttributes sounds = LoadSoundAttributes(ini);
    service_.sounds().SetTemperatureRepeat(sounds.TemperatureRepeat());
    service_.players().SetDrawMethod(LoadDrawMethod(ini));
    BuildWindow();

    OpenPage("setup");
    ToolbarBlock toolbar = LoadToolbar(ini);
    int order[10];
    int count = PageOpenOrder(toolbar, order);
    for (int i = 0; i < count; ++i) OpenPage(PageOfToolbarIndex(order[i]));
    // Nothing asked for beside the setup home: the first page of the list the operator may open
    // (the live view) comes to the front.
    const bool asked = std::any_of(pages_.begin(), pages_.end(), [](const auto& p) { return p.first != "setup"; });
    for (const PageInfo& p : ClientPages()) {
        if (asked) break;
        if (p.right >= 0 && CurrentSession().HasRight(p.right)) {
            OpenPage(p.name);
            break;
        }
    }
    RenewClockSnapshot();

    status_ = std::make_unique<StatusWorker>(
        service_.store(),
        StatusWorker::Hooks{[this] { service_.alarms().ResetDayCounters(); },
                            [this] { service_.log().DeleteOldLogs(service_.store().settings().LOGMONTH); },
                            [this] { service_.timeSync().MarkAll(service_.store()); },
                            [this](const StatusTick& t) {
                                auto meter = [](int v) { return v < 0 ? 255 : v; };
                                intptr_t packed = meter(t.cpuPercent) | (meter(t.networkPercent) << 8) |
                                                  (t.dateChanged ? 1 << 16 : 0);
                                PostWindowMessage(this, kMsgStatusTick, static_cast<intptr_t>(t.now.time), packed);
                            }});
    timeSync_ = std::make_unique<TimeSyncWorker>(
        service_.store(), service_.timeSync(), [this](int d, int c, uint32_t command, const void* block, uint32_t length) {
            return service_.deviceConfig().SendChannelConfig(d, c, command, block, length);
        });
    if (options_.startThreads) {
        if (wavPlayer_) service_.SetWavPlayer(wavPlayer_);
        status_->Start();
        service_.StartWorkers();
        timeSync_->Start();
    }
    // The alarm and event window, the alarm picture worker (message 1214) and today's readings
    // read back from the alarm log; a child of this window, it goes with it.
    new AlarmMonitor(this,
                     AlarmMonitorServices{service_.store(), service_.directory(), service_.players(), service_.sounds(),
                                          service_.alarms(), service_.hub(), *events_, ini},
                     options_.startThreads);

    ResolutionBlock size = LoadResolution(ini);
    resize(size.width, size.height);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ReadSizeLock();
    // The size lock and the display settings are read again whenever the settings are saved.
    events_->Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent& e) {
        const ConfigPart part = std::get<ConfigChanged>(e).part;
        if (part == ConfigPart::kSettings || part == ConfigPart::kAll) ReadSizeLock();
    });
    loginInfo_ = new UILoginInfoWnd(this);

    if (options_.startThreads) service_.connections().StartAllDeviceThreads();
    created_ = true;
    return true;
}

void MainDlg::BuildWindow() {
    Ui::MainDlg ui;  // the frame comes from skin/ui; menus and pages are added here
    ui.setupUi(this);
    ui.systemLabel->setText(windowTitle());
    connect(this, &QWidget::windowTitleChanged, ui.systemLabel, &QLabel::setText);

    SetupMenu(ui.fileMenu, "File", kMsgFileMenu,
              {{0, "menu_snap.png", "Open capture file"}, {3, "menu_exit.png", "Exit system"}});
    SetupMenu(ui.systemMenu, "System", kMsgSystemMenu,
              {{0, "menu_lock.png", "Logout"}, {3, nullptr, "Import file"}, {4, nullptr, "Export file"}});
    MenuItems viewItems;
    static const char* const kSizeTexts[7] = {"1024*720", "1024*768", "1280*1024", "1360*768",
                                              "1366*768", "1440*900", "1920*1080"};
    for (int i = 0; i < 7; ++i) viewItems.emplace_back(i, nullptr, kSizeTexts[i]);
    viewItems.emplace_back(7, "menu_fullscreen.png", "Full Screen");
    SetupMenu(ui.viewMenu, "View", kMsgViewMenu, viewItems);
    SetupMenu(ui.toolMenu, "Tool", kMsgToolMenu, {});
    SetupMenu(ui.helpMenu, "Help", kMsgHelpMenu, {{0, "menu_help.png", "User's manual"}, {1, "menu_about.png", "About"}});

    ui.loginInfoBtn->setText(QString::fromLocal8Bit(CurrentSession().user().userName));
    ui.loginInfoBtn->setIcon(SkinIcon("user.png"));
    connect(ui.loginInfoBtn, &QPushButton::clicked, this, [this] {
        if (!loginInfo_) return;
        loginInfo_->Refresh();
        loginInfo_->move(mapToGlobal(QPoint(width() - loginInfo_->sizeHint().width() - 8, 32)));
        loginInfo_->show();
    });
    ui.lockBtn->setIcon(SkinIcon("lock.png"));
    connect(ui.lockBtn, &QPushButton::clicked, this, [this] { Lock(); });
    connect(ui.minBtn, &QPushButton::clicked, this, [this] { showMinimized(); });
    maxBtn_ = ui.maxBtn;
    restoreBtn_ = ui.restoreBtn;
    connect(maxBtn_, &QPushButton::clicked, this, [this] { showMaximized(); });
    connect(restoreBtn_, &QPushButton::clicked, this, [this] { showNormal(); });
    titleBar_ = ui.titleBar;
    setMouseTracking(true);
    sizeGrip_ = new QSizeGrip(ui.statusBar);
    sizeGrip_->setObjectName("sizeGrip");
    ui.statusLayout->addWidget(sizeGrip_, 0, Qt::AlignBottom | Qt::AlignRight);
    setupOption_ = ui.setupOption;
    setupOption_->setIcon(SkinIcon("menu_setup.png"));
    setupOption_->setToolTip(Tr("Control"));
    connect(setupOption_, &QPushButton::clicked, this, [this] {
        OpenPage("setup");
        OnPageChanged();  // checked exactly while the setup home is in front
    });
    UpdateFrame();
    connect(ui.closeBtn, &QPushButton::clicked, this, [this] { ExitSystem(false); });

    tabStrip_ = ui.tabLayout;
    pageStack_ = ui.pageStack;
    connect(pageStack_, &QStackedWidget::currentChanged, this, [this] { OnPageChanged(); });
    dateText_ = ui.dateText;
    timeText_ = ui.timeText;
    cpuProgress_ = ui.cpuProgress;
    networkProgress_ = ui.networkProgress;
    ui.netText->setText(Tr("NET"));
    for (QProgressBar* p : {cpuProgress_, networkProgress_}) {
        p->setRange(0, 100);
        p->setFormat("%p%");
    }

    ClockSnapshot now = clockSnapshot();
    dateText_->setText(QString::asprintf("%04d-%02d-%02d", now.year, now.month, now.day));
    timeText_->setText(QString::asprintf("%02d:%02d:%02d", now.hour, now.minute, now.second));

    auto* consoleKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F11), this);
    consoleKey->setContext(Qt::ApplicationShortcut);
    connect(consoleKey, &QShortcut::activated, this, &MainDlg::ToggleDebugConsole);
}

void MainDlg::SetupMenu(QPushButton* button, const char* title, int message, MenuItems items) {
    // Every page offers itself in the menu its registration names.
    for (const PageInfo& p : ClientPages())
        if (p.menu.menuMessage == message) items.emplace_back(p.menu.item, p.menu.icon, p.title);
    std::sort(items.begin(), items.end(),
              [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    button->setText(Tr(title));
    auto* menu = new QMenu(button);
    menu->setObjectName(button->objectName() + "Popup");
    menu->setFixedWidth(130);
    for (const auto& [id, icon, text] : items) {
        QAction* action = menu->addAction(icon ? SkinIcon(icon) : QIcon(), Tr(text));
        int item = id;
        connect(action, &QAction::triggered, this, [this, message, item] { PostWindowMessage(this, message, item, 0); });
    }
    button->setMenu(menu);
}

bool MainDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == kMsgStatusTick) {
            OnStatusTick(m->wParam(), m->lParam());
        } else if (m->message() >= kMsgFileMenu && m->message() <= kMsgHelpMenu) {
            OnMenu(m->message(), static_cast<int>(m->wParam()));
        }
        return true;
    }
    return QWidget::event(e);
}

void MainDlg::OnStatusTick(intptr_t time, intptr_t packed) {
    if (!timeText_) return;
    ClockSnapshot now = MakeClockSnapshot(time);
    timeText_->setText(QString::asprintf("%02d:%02d:%02d", now.hour, now.minute, now.second));
    if (packed & (1 << 16)) dateText_->setText(QString::asprintf("%04d-%02d-%02d", now.year, now.month, now.day));
    int cpu = packed & 0xFF, net = (packed >> 8) & 0xFF;
    if (cpu <= 100) cpuProgress_->setValue(cpu);
    if (net <= 100) networkProgress_->setValue(net);
}

void MainDlg::OnMenu(int message, int item) {
    // A page's own menu entry opens it.
    for (const PageInfo& p : ClientPages()) {
        if (p.menu.menuMessage == message && p.menu.item == item) {
            OpenPage(p.name);
            return;
        }
    }
    switch (message) {
        case kMsgFileMenu:
            if (item == 0) OpenSnapshotViewer();
            else if (item == 3) ExitSystem(false);
            break;
        case kMsgSystemMenu:
            if (item == 0) Logout();
            else if (item == 3) ImportConfiguration();
            else if (item == 4) ExportConfiguration();
            break;
        case kMsgViewMenu:
            if (item >= 0 && item <= 6) ApplyViewSize(item);
            else if (item == 7) ToggleFullScreen();
            break;
        case kMsgHelpMenu:
            if (item == 0) OpenHelp();
            else if (item == 1) ShowAbout();
            break;
        default: break;
    }
}

void MainDlg::ApplyViewSize(int item) {
    int width = 0, height = 0;
    if (!ViewItemSize(item, &width, &height)) return;
    if (isFullScreen() || isMaximized()) showNormal();
    // A locked window is locked at the size chosen now.
    if (sizeLocked_) setFixedSize(width, height);
    resize(width, height);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width / 2, height / 2));
    SaveResolution(ConfigIni().toStdString(), ResolutionBlock{width, height, sizeLocked_ ? 0 : 1});
    UpdateFrame();
}

void MainDlg::OpenPage(const QString& name) {
    auto found = pages_.find(name);
    if (found != pages_.end()) {
        pageStack_->setCurrentWidget(found->second.content);
        OnPageChanged();
        return;
    }
    const PageInfo* info = FindClientPage(name);
    if (info == nullptr || !info->create) return;  // a page this client does not have
    if (info->right >= 0) {
        if (!CheckRight(this, info->right)) return;
    } else if (!CurrentSession().LoggedIn() && !ShowLoginDialog(this, true)) {
        // Nobody logged in first logs in; what the page allows is checked there on every operation.
        return;
    }
    auto* holder = new QWidget(pageStack_);
    holder->setObjectName(name + "TabCtrl");
    auto* holderLayout = new QVBoxLayout(holder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    PageContext context = MakePageContext(service_, *events_, options_.startThreads);
    Page* page = info->create(context, holder);
    if (page == nullptr) {
        delete holder;
        return;
    }
    holderLayout->addWidget(page->Widget());
    pageStack_->addWidget(holder);

    auto* tab = new QWidget(this);
    tab->setObjectName(name + "CtrlTab");
    auto* tabLayout = new QHBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    auto* button = new QPushButton(Tr(info->title), tab);
    button->setObjectName(name + "ButtonTab");
    button->setCheckable(true);
    auto* close = new QPushButton(QStringLiteral("\u2715"), tab);
    close->setObjectName(name + "CloseTab");
    close->setFlat(true);
    tabLayout->addWidget(button);
    tabLayout->addWidget(close);
    tabStrip_->insertWidget(tabStrip_->count() - 1, tab);
    pages_[name] = OpenedPage{tab, holder, page, info->closesWithSession};
    connect(button, &QPushButton::clicked, this, [this, name] { OpenPage(name); });
    connect(close, &QPushButton::clicked, this, [this, name] { ClosePage(name); });
    pageStack_->setCurrentWidget(holder);
    OnPageChanged();
}

Page* MainDlg::FindPage(const QString& name) const {
    auto it = pages_.find(name);
    return it == pages_.end() ? nullptr : it->second.page;
}

void MainDlg::ClosePage(const QString& name) {
    auto it = pages_.find(name);
    if (it == pages_.end()) return;
    // Out of the stack at once: a closed page takes no more clicks while it waits to go.
    it->second.page->OnHidden();
    pageStack_->removeWidget(it->second.content);
    it->second.content->hide();
    it->second.tab->hide();
    it->second.tab->deleteLater();
    it->second.content->deleteLater();
    pages_.erase(it);
    OnPageChanged();
}

void MainDlg::OnPageChanged() {
    QWidget* current = locked_ ? nullptr : pageStack_->currentWidget();
    for (auto& [name, opened] : pages_) {
        if (auto* button = opened.tab->findChild<QPushButton*>(name + "ButtonTab"))
            button->setChecked(opened.content == pageStack_->currentWidget());
        // A page behind another tab (or behind the lock) does no work for nobody to see.
        if (opened.content == current) opened.page->OnShown();
        else opened.page->OnHidden();
    }
    if (setupOption_) {
        auto setup = pages_.find("setup");
        setupOption_->setChecked(setup != pages_.end() && setup->second.content == current);
    }
}

void MainDlg::ClosePages() {
    for (auto& [name, opened] : pages_) {
        opened.page->OnHidden();
        opened.tab->deleteLater();
        opened.content->deleteLater();
    }
    pages_.clear();
    if (loginInfo_) loginInfo_->hide();
}

void MainDlg::CloseSessionPages() {
    std::vector<QString> closing;
    for (auto& [name, opened] : pages_)
        if (opened.closesWithSession) closing.push_back(name);
    for (const QString& name : closing) ClosePage(name);
    for (auto& [name, opened] : pages_) opened.page->OnUserChanged();
}

void MainDlg::OnTerminationRequested(int signalNumber) {
    Trace("signal %d: leaving through the exit procedure\n", signalNumber);
    if (!closedByExit()) ExitSystem(true);
}

bool MainDlg::ExitSystem(bool force) {
    if (force) {
        // Nothing modal may hold the way out: a login, a question or the lock would otherwise
        // keep its own loop running (before the main loop runs, the application's quit does
        // nothing at all).
        EndModalDialogs();
        if (!created_) {
            terminationRequested_ = true;  // Create sees it when the login returns
            return true;
        }
    } else {
        if (!ShowMessage(this, "Do you want to exit the system?", kMsgAdvice)) return false;
        if (service_.store().settings().ENABLEOSD == 1 && !ShowLoginDialog(this, true)) return false;
        if (!CheckRight(this, kRightExit)) return false;
    }
    const char* user = CurrentSession().user().userName;
    service_.log().LogWrite(kLogOperate, kLogLogout, -1, -1, "", user);
    service_.log().LogWrite(kLogSystem, kLogExitSystem, -1, -1, "", user);
    ClosePages();
    exiting_ = true;
    close();
    return true;
}

void MainDlg::closeEvent(QCloseEvent* e) {
    if (exiting_ || !created_) {
        e->accept();
        QCoreApplication::quit();
        return;
    }
    e->ignore();
    ExitSystem(false);
}

void MainDlg::Logout() {
    UILoginDlg confirm(service_.store(), service_.log(), false, true, this);
    if (confirm.exec() != QDialog::Accepted) return;
    OpenPage("setup");
    service_.log().LogWrite(kLogOperate, kLogLogout, -1, -1, "", CurrentSession().user().userName);
    LogOut();
    // Pages opened with the rights of who just left: those showing accounts close, the others
    // ask for a login at their next guarded operation.
    CloseSessionPages();
    if (loginInfo_) loginInfo_->hide();
    if (auto* b = findChild<QPushButton*>("loginInfoBtn")) b->setText(QString());
}

void MainDlg::Lock() {
    // Pages showing accounts are not left open behind the lock; whoever unlocks opens them
    // again. The others rest while nobody can see them.
    CloseSessionPages();
    hide();
    locked_ = true;
    OnPageChanged();
    UILockDlg lock(nullptr);
    // Only the right password ends the lock; the exit procedure ends it as cancelled and the
    // window then stays hidden while it closes.
    if (lock.exec() == QDialog::Accepted && !exiting_) {
        locked_ = false;
        show();
        OnPageChanged();
    }
}

void MainDlg::OpenHelp() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(AppPath("help.pdf"))));
}

void MainDlg::ShowAbout() {
    QString text = windowTitle() + "\n" + Tr("Version") + " " + kVersionText + "-" +
                   QString::fromStdString(GetBuildString());
    ShowMessage(this, text, Tr("About"), kMsgCustom);
}

bool MainDlg::AnyChannelBusy() const {
    const ConfigStore& store = service_.store();
    const RuntimeTable& runtime = service_.runtime();
    for (int d = 0; d < kMaxDevices; ++d) {
        if (store.device(d).IsEmpty()) continue;
        for (const ChannelRuntime& c : runtime.device(d).channels)
            if (c.mainStream.load() != 0 || c.connectPending.load() != 0) return true;
    }
    return false;
}

void MainDlg::ImportConfiguration() {
    if (AnyChannelBusy()) {
        ShowMessage(this, "Please stop all channels, and then try again!", kMsgError);
        return;
    }
    if (CurrentSession().user().level != kLevelAdministrator) {
        ShowMessage(this, "Insufficient permissions to operate!", kMsgError);
        return;
    }
    if (!ShowMessage(this, "Do you want to import the configuration?", kMsgAdvice)) return;
    QString path = QFileDialog::getOpenFileName(this, Tr("Open file"), QString(), "bak Files(*.bak)");
    if (path.isEmpty()) return;
    ImportConfigurationFile(path);
}

void MainDlg::ImportConfigurationFile(const QString& path) {
    const QByteArray file = path.toLocal8Bit();
    // A wrong file (the usual mistake) is refused while everything still runs.
    if (ConfigStore::CheckImportFile(file.constData()) != 0) {
        ShowMessage(this, "Import configuration failed!", kMsgError);
        return;
    }
    const bool devicesWereRunning = service_.connections().AnyDeviceThreadRunning();
    service_.connections().StopAllDevices();
    if (service_.store().ImportConfiguration(file.constData()) == 0) {
        ShowMessage(this, "Import configuration successful, system will automatically exit.", kMsgComplete);
        ExitSystem(true);
        return;
    }
    // The live configuration is back (the store reloaded it): so are the devices.
    if (devicesWereRunning) service_.connections().StartAllDeviceThreads();
    ShowMessage(this, "Import configuration failed!", kMsgError);
}

void MainDlg::ExportConfiguration() {
    if (CurrentSession().user().level != kLevelAdministrator) {
        ShowMessage(this, "Insufficient permissions to operate!", kMsgError);
        return;
    }
    QString folder = QFileDialog::getExistingDirectory(this, Tr("Export file"));
    if (folder.isEmpty()) return;
    std::string written;
    if (ExportConfigurationFile(service_.store(), AppPath(kTemplateDatabaseName), folder.toStdString(),
                                clockSnapshot(), &written) != 0) {
        ShowMessage(this, "Export Configuration Failed!", kMsgError);
        return;
    }
    ShowMessage(this, Tr("Export Configuration successfully!") + "\n" + QString::fromStdString(written), QString(),
                kMsgComplete);
}

void MainDlg::ToggleDebugConsole() {
    if (console_) {
        console_->deleteLater();
        console_ = nullptr;
        return;
    }
    console_ = new DebugConsole(this);
    console_->show();
}

void MainDlg::OpenSnapshotViewer() {
    if (!CurrentSession().LoggedIn() && !ShowLoginDialog(this, true)) return;
    UISnapshotDlg viewer(service_.store(), this);
    viewer.resize(1000, 640);
    if (modalHook_) {
        modalHook_(viewer);
        return;
    }
    viewer.exec();
}

void MainDlg::ReadSizeLock() {
    const WindowSizeLock lock = LoadWindowSizeLock(ConfigIni().toStdString());
    sizeLocked_ = lock.locked;
    if (sizeLocked_ && !isMaximized() && !isFullScreen()) resize(lock.width, lock.height);
    UpdateFrame();
}

void MainDlg::UpdateFrame() {
    if (!maxBtn_) return;
    const bool normal = !isMaximized() && !isFullScreen();
    maxBtn_->setVisible(normal);
    maxBtn_->setEnabled(!sizeLocked_);
    restoreBtn_->setVisible(!normal);
    sizeGrip_->setVisible(normal && !sizeLocked_);
    if (sizeLocked_ && normal) {
        setFixedSize(size());
    } else {
        setMinimumSize(kMinWindowWidth, kMinWindowHeight);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void MainDlg::ToggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
        return;
    }
    // The lock keeps the normal window's size only; the whole screen is another matter.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    showFullScreen();
}

void MainDlg::ToggleMaximized() {
    if (isMaximized()) showNormal();
    else if (!sizeLocked_ && !isFullScreen()) showMaximized();
}

void MainDlg::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) {
        // Leaving full screen or maximised: a locked window takes its locked size again.
        if (sizeLocked_ && !isMaximized() && !isFullScreen()) ReadSizeLock();
        else UpdateFrame();
    }
}

Qt::Edges MainDlg::ResizeEdgesAt(QPoint p) const {
    Qt::Edges edges;
    if (sizeLocked_ || isMaximized() || isFullScreen()) return edges;
    if (p.x() < kResizeBand) edges |= Qt::LeftEdge;
    if (p.x() >= width() - kResizeBand) edges |= Qt::RightEdge;
    if (p.y() < kResizeBand) edges |= Qt::TopEdge;
    if (p.y() >= height() - kResizeBand) edges |= Qt::BottomEdge;
    return edges;
}

void MainDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const Qt::Edges edges = ResizeEdgesAt(e->position().toPoint());
        if (edges) {
            // The window system resizes when it can; otherwise the moves below do.
            if (windowHandle() && windowHandle()->startSystemResize(edges)) return;
            resizeEdges_ = edges;
            resizeStart_ = e->globalPosition().toPoint();
            resizeGeometry_ = geometry();
            return;
        }
        dragging_ = true;
        dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(e);
}

void MainDlg::mouseMoveEvent(QMouseEvent* e) {
    if (resizeEdges_ && (e->buttons() & Qt::LeftButton)) {
        const QPoint delta = e->globalPosition().toPoint() - resizeStart_;
        QRect g = resizeGeometry_;
        // QRect's right and bottom are inclusive: a width w spans left .. left + w - 1.
        const int minW = minimumWidth(), minH = minimumHeight();
        if (resizeEdges_ & Qt::LeftEdge) g.setLeft(std::min(g.left() + delta.x(), g.right() - minW + 1));
        if (resizeEdges_ & Qt::RightEdge) g.setRight(std::max(g.right() + delta.x(), g.left() + minW - 1));
        if (resizeEdges_ & Qt::TopEdge) g.setTop(std::min(g.top() + delta.y(), g.bottom() - minH + 1));
        if (resizeEdges_ & Qt::BottomEdge) g.setBottom(std::max(g.bottom() + delta.y(), g.top() + minH - 1));
        setGeometry(g);
        return;
    }
    if (e->buttons() == Qt::NoButton) {
        const Qt::Edges edges = ResizeEdgesAt(e->position().toPoint());
        if ((edges & Qt::LeftEdge && edges & Qt::TopEdge) || (edges & Qt::RightEdge && edges & Qt::BottomEdge))
            setCursor(Qt::SizeFDiagCursor);
        else if ((edges & Qt::RightEdge && edges & Qt::TopEdge) || (edges & Qt::LeftEdge && edges & Qt::BottomEdge))
            setCursor(Qt::SizeBDiagCursor);
        else if (edges & (Qt::LeftEdge | Qt::RightEdge))
            setCursor(Qt::SizeHorCursor);
        else if (edges & (Qt::TopEdge | Qt::BottomEdge))
            setCursor(Qt::SizeVerCursor);
        else
            unsetCursor();
    } else if (dragging_ && (e->buttons() & Qt::LeftButton) && !isMaximized() && !isFullScreen()) {
        move(e->globalPosition().toPoint() - dragOffset_);
    }
    QWidget::mouseMoveEvent(e);
}

void MainDlg::mouseReleaseEvent(QMouseEvent* e) {
    resizeEdges_ = {};
    dragging_ = false;
    QWidget::mouseReleaseEvent(e);
}

void MainDlg::mouseDoubleClickEvent(QMouseEvent* e) {
    // A double click on the title bar maximises and restores, as on any window.
    if (e->button() == Qt::LeftButton && titleBar_ && titleBar_->geometry().contains(e->position().toPoint())) {
        ToggleMaximized();
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

}  // namespace ocv
