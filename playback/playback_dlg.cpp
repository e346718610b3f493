#include "playback/playback_dlg.h"

#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "events/log_writer.h"
#include "liveview/channel_text.h"
#include "playback/backup_dlg.h"
#include "playback/day_calendar.h"
#include "playback/preview_wnd.h"
#include "playback/timeline_wnd.h"
#include "store/config_store.h"
#include "videogrid/cell_messages.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/tree_icon_delegate.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"
#include "ui_UIPlaybackDlg.h"

namespace ocv::playback {
namespace {

constexpr int kDeviceRole = Qt::UserRole + 1;
constexpr int kChannelRole = Qt::UserRole + 2;
constexpr int kGroupRole = Qt::UserRole + 3;
constexpr int kTickMs = 250;
constexpr int kCellMenuWidth = 130;
// The preview pops up this far above the toolbar's play option (its top edge).
constexpr int kPreviewAboveToolbar = 47;

bool IsChannelItem(const QTreeWidgetItem* item) { return item && item->data(0, kDeviceRole).isValid(); }

QPoint UnpackPoint(intptr_t lParam) { return QPoint(PointX(lParam), PointY(lParam)); }

// The device list, groups and states the tree shows.
constexpr uint64_t kTreeEventKinds =
    CoreEventHub::MaskOf<DeviceStateChanged>() | CoreEventHub::MaskOf<ConfigChanged>();

}  // namespace

UIPlaybackDlg::UIPlaybackDlg(PlaybackPageServices services, QWidget* parent, Options options)
    : QWidget(parent), services_(services), options_(options) {
    setObjectName("UIPlaybackDlg");
    Ui::UIPlaybackDlg ui;
    ui.setupUi(this);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);

    QPointer<UIPlaybackDlg> self(this);
    PostFn post = [self](int message, intptr_t w, intptr_t l) {
        if (self) PostWindowMessage(self, message, w, l);
    };
    players_ = std::make_unique<QvxPlaybackPlayers>(zoom_, post, services_.drawMethod);
    ConfigStore& store = services_.store;
    controller_ = std::make_unique<PlaybackController>(
        PlaybackServices{*players_, remote_, services_.directory, zoom_, &services_.log,
                         [&store] { return store.settings(); }, {}},
        *this, post);

    listColumn_ = ui.listVertical;
    viewArea_ = ui.viewVertical;
    sliderArea_ = ui.playSliderVer;
    toolArea_ = ui.toolHor;
    tree_ = ui.devRpTree;
    typeCombo_ = ui.typeCombo;
    localOption_ = ui.localOption;
    remoteOption_ = ui.remoteOption;
    playOption_ = ui.playOption;
    zoomOption_ = ui.zoomOption;
    soundOption_ = ui.soundOption;
    clipOption_ = ui.clipOption;
    syncOption_ = ui.syncOption;
    downBtn_ = ui.downBtn;
    backupBtn_ = ui.backupBtn;
    msgLabel_ = ui.msgLabel;

    // The panel: four cells with title strips; the selected one shows the playback bar.
    auto* viewLayout = new QVBoxLayout(viewArea_);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    panel_ = new UIScreenPannel(this, ScreenPannelOptions{kPlaybackWindows, UIScreenWnd::kStripPlayback, true}, viewArea_);
    viewLayout->addWidget(panel_);
    panel_->SetSplitMode(4);
    panel_->SelectCell(0);

    auto* timelineLayout = new QVBoxLayout(ui.timelineHolder);
    timelineLayout->setContentsMargins(0, 0, 0, 0);
    timeline_ = new TimelineWnd(*controller_, this, ui.timelineHolder);
    timelineLayout->addWidget(timeline_);

    auto* calendarLayout = new QVBoxLayout(ui.calendarHolder);
    calendarLayout->setContentsMargins(0, 0, 0, 0);
    calendar_ = new DayCalendar(ui.calendarHolder);
    calendarLayout->addWidget(calendar_);
    connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate d) {
        OnWindowMessage(kMsgDayChosen, d.day(), d.year() * 100 + d.month());
    });
    connect(calendar_, &QCalendarWidget::currentPageChanged, this,
            [this](int year, int month) { controller_->ShowMonth(year, month); });

    for (const char* type : {"All REC", "Manual REC", "Alarm REC", "Plan REC"}) typeCombo_->addItem(Tr(type));
    connect(typeCombo_, &QComboBox::currentIndexChanged, this, [this](int index) { controller_->SetTypeFilter(index); });

    localOption_->setText(Tr("Local"));
    remoteOption_->setText(Tr("Remote"));
    localOption_->setChecked(true);
    connect(localOption_, &QPushButton::clicked, this, [this] { OnModeChosen(false); });
    connect(remoteOption_, &QPushButton::clicked, this, [this] { OnModeChosen(true); });
    backupBtn_->setText(Tr("Backup"));
    connect(backupBtn_, &QPushButton::clicked, this, [this] { OpenBackupWindow(false); });

    struct Button {
        QPushButton* button;
        const char* image;
        const char* tip;
    };
    for (const Button& b : {Button{ui.fullScreenBtn, "rpFullScreen.png", "Full Screen"},
                            Button{playOption_, "pbPlay.png", "Play/Stop"},
                            Button{ui.snapBtn, "photo.png", "Capture"},
                            Button{zoomOption_, "rpZoom.png", "Enlarge"},
                            Button{soundOption_, "pbSound.png", "Sound"},
                            Button{clipOption_, "pbClip.png", "Clip"},
                            Button{syncOption_, "pbSync.png", "Sync"},
                            Button{downBtn_, "pbDownload.png", "Download"},
                            Button{ui.upDownBtn, "pbUpDown.png", "Time line"},
                            Button{ui.zoomInBtn, "pbZoomIn.png", "Amplify"},
                            Button{ui.zoomOutBtn, "pbZoomOut.png", "Shrink"},
                            Button{ui.prevBtn, "pbPrev.png", "Forward"},
                            Button{ui.nextBtn, "pbNext.png", "Setback"},
                            Button{ui.prevPageBtn, "pbPrevPage.png", "Previous"},
                            Button{ui.nextPageBtn, "pbNextPage.png", "Next"}}) {
        b.button->setIcon(SkinIcon(b.image));
        b.button->setIconSize(QSize(20, 20));
        b.button->setToolTip(Tr(b.tip));
        b.button->setFocusPolicy(Qt::NoFocus);
    }
    connect(ui.fullScreenBtn, &QPushButton::clicked, this, [this] { ToggleFullScreen(); });
    connect(playOption_, &QPushButton::clicked, this, [this] {
        if (controller_->IsPlaying(SelectedWindow())) controller_->Stop(-1);
        else controller_->Play(-1);
        UpdateToolbar();
    });
    connect(ui.snapBtn, &QPushButton::clicked, this, [this] { RunCellCommand(kCmdCapture); });
    connect(zoomOption_, &QPushButton::toggled, this, [this](bool on) {
        controller_->SetZoomMode(on);
        zoomOption_->setToolTip(Tr(on ? "Close enlarge" : "Enlarge"));
    });
    connect(soundOption_, &QPushButton::clicked, this, [this] {
        controller_->ToggleSound(-1);
        UpdateToolbar();
    });
    connect(clipOption_, &QPushButton::toggled, this, [this](bool on) {
        controller_->SetClipMode(on);
        downBtn_->setVisible(on);
        timeline_->update();
    });
    connect(syncOption_, &QPushButton::toggled, this, [this](bool on) { controller_->SetSync(on); });
    connect(downBtn_, &QPushButton::clicked, this, [this] { OpenBackupWindow(true); });
    QWidget* slider = sliderArea_;
    connect(ui.upDownBtn, &QPushButton::toggled, this, [slider](bool hide) { slider->setVisible(!hide); });
    QWidget* left = listColumn_;
    connect(ui.lineOption, &QPushButton::toggled, this, [left](bool hide) { left->setVisible(!hide); });
    QWidget* dates = ui.dateSelectVer;
    connect(ui.splitUpDownOption, &QPushButton::toggled, this, [dates](bool hide) { dates->setVisible(!hide); });
    downBtn_->setVisible(false);

    TimelineModel& model = controller_->timeline();
    auto timelineButton = [this](QPushButton* button, std::function<void()> action) {
        connect(button, &QPushButton::clicked, this, [this, action] {
            action();
            timeline_->update();
        });
    };
    timelineButton(ui.zoomInBtn, [&model] { model.ZoomIn(); });
    timelineButton(ui.zoomOutBtn, [&model] { model.ZoomOut(); });
    timelineButton(ui.prevBtn, [&model] { model.Step(-1); });
    timelineButton(ui.nextBtn, [&model] { model.Step(1); });
    timelineButton(ui.prevPageBtn, [&model] { model.Step(-kDivisions); });
    timelineButton(ui.nextPageBtn, [&model] { model.Step(kDivisions); });

    tree_->setItemDelegate(new TreeIconDelegate(tree_));
    connect(tree_, &QTreeWidget::itemExpanded, this, [](QTreeWidgetItem* item) {
        if (!IsChannelItem(item) && item->parent() != nullptr)
            item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupOpen}));
    });
    connect(tree_, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem* item) {
        if (!IsChannelItem(item) && item->parent() != nullptr)
            item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupClosed}));
    });
    connect(tree_, &QTreeWidget::customContextMenuRequested, this, [this](QPoint at) {
        QMenu menu(this);
        menu.addAction(Tr("Collapse all"), this, [this] { OnWindowMessage(kMsgTreeMenuCommand, 0, 0); });
        menu.addAction(Tr("Expand all"), this, [this] { OnWindowMessage(kMsgTreeMenuCommand, 1, 0); });
        menu.exec(tree_->viewport()->mapToGlobal(at));
    });

    preview_ = new UIPreviewWnd(this);
    preview_->hide();

    services_.events.Subscribe(this, kTreeEventKinds, [this](const CoreEvent&) { BuildTree(); }, [this] { BuildTree(); });

    OnModeChosen(false);
    SelectWindow(0);

    tick_ = new QTimer(this);
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, [this] {
        controller_->Tick();
        UpdateToolbar();
    });
    if (options_.startTimers) tick_->start();
}

UIPlaybackDlg::~UIPlaybackDlg() {
    if (tick_) tick_->stop();
    if (fullScreen_) ToggleFullScreen();
    if (backup_) delete backup_.data();
    delete preview_;
    preview_ = nullptr;
    // The players draw into the panel's surfaces: they stop before the windows go.
    controller_.reset();
}

UIBackupDlg* UIPlaybackDlg::backupWindow() { return backup_.data(); }

void UIPlaybackDlg::OnHidden() {
    if (preview_) preview_->HidePreview();
}

// ---------------------------------------------------------------- tree

void UIPlaybackDlg::BuildTree() {
    tree_->clear();
    channelItems_.clear();
    auto* root = new QTreeWidgetItem(tree_);
    root->setText(0, Tr(controller_->remote() ? "Remote" : "Local"));
    const std::vector<GroupView> groups = services_.directory.Groups();
    for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
        auto* node = new QTreeWidgetItem(root);
        node->setText(0, QString::fromStdString(groups[static_cast<size_t>(g)].name));
        node->setData(0, kGroupRole, g);
        node->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupClosed}));
        for (const GroupView::Member& m : groups[static_cast<size_t>(g)].members) {
            const DeviceInfo* dev = m.device >= 0 && m.device < kMaxDevices ? services_.directory.Device(m.device) : nullptr;
            if (!IsValidChannelOf(dev, m.channel)) continue;
            auto* item = new QTreeWidgetItem(node);
            const DeviceState state = services_.directory.Runtime().device(m.device).deviceState.load();
            item->setText(0, QString::fromStdString(TreeChannelLabel(*dev, m.channel, state)));
            item->setData(0, kDeviceRole, m.device);
            item->setData(0, kChannelRole, m.channel);
            item->setData(0, kGroupRole, g);
            item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconChannelOn}));
            channelItems_[ChannelIdOf(m.device, m.channel)].push_back(item);
        }
    }
    root->setExpanded(true);
    if (root->childCount() > 0) root->child(0)->setExpanded(true);
}

QTreeWidgetItem* UIPlaybackDlg::ChannelItem(int group, int device, int channel) const {
    auto found = channelItems_.find(ChannelIdOf(device, channel));
    if (found == channelItems_.end()) return nullptr;
    for (QTreeWidgetItem* item : found->second)
        if (item->data(0, kGroupRole).toInt() == group) return item;
    return nullptr;
}

void UIPlaybackDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (e->source() == tree_ || e->source() == tree_->viewport()) e->acceptProposedAction();
}

void UIPlaybackDlg::dragMoveEvent(QDragMoveEvent* e) {
    if (e->source() == tree_ || e->source() == tree_->viewport()) e->acceptProposedAction();
}

void UIPlaybackDlg::dropEvent(QDropEvent* e) {
    if (e->source() != tree_ && e->source() != tree_->viewport()) return;
    // A copy: a move would make the tree remove the dragged entry.
    e->setDropAction(Qt::CopyAction);
    e->accept();
    DropTreeItem(tree_->currentItem(), e->position().toPoint());
}

void UIPlaybackDlg::DropTreeItem(QTreeWidgetItem* item, QPoint pagePoint) {
    if (!IsChannelItem(item)) return;  // a group or the root does nothing
    const QPoint inPanel = panel_->mapFrom(this, pagePoint);
    if (!panel_->rect().contains(inPanel)) return;
    const int target = panel_->HitTest(inPanel);
    if (target < 0) return;
    const int device = item->data(0, kDeviceRole).toInt(), channel = item->data(0, kChannelRole).toInt();
    controller_->DropChannel(device, channel, target);
    // The window that took the channel becomes the selected one; a refused drop moves nothing.
    if (controller_->WindowChannel(target) == ChannelIdOf(device, channel)) SelectWindow(target);
}

// ---------------------------------------------------------------- mode, windows, toolbar

void UIPlaybackDlg::OnModeChosen(bool remote) {
    preview_->HidePreview();
    if (backup_) backup_->hide();
    controller_->SetMode(remote);
    localOption_->setChecked(!remote);
    remoteOption_->setChecked(remote);
    backupBtn_->setVisible(!remote);
    zoomOption_->setChecked(false);
    const Date& d = controller_->date();
    calendar_->setSelectedDate(QDate(d.year, d.month, d.day));
    BuildTree();
    UpdateToolbar();
}

void UIPlaybackDlg::SelectWindow(int window) {
    if (window < 0 || window >= kPlaybackWindows) return;
    panel_->SelectCell(window);
    const int id = controller_->WindowChannel(window);
    if (id >= 0) {
        auto found = channelItems_.find(id);
        if (found != channelItems_.end() && !found->second.empty()) tree_->setCurrentItem(found->second.front());
    }
    UpdateToolbar();
    timeline_->update();
}

void UIPlaybackDlg::UpdateToolbar() {
    const int w = SelectedWindow();
    const bool playing = controller_->IsPlaying(w);
    if (playOption_->isChecked() != playing) playOption_->setChecked(playing);
    const bool sound = controller_->SoundOn(w);
    if (soundOption_->isChecked() != sound) soundOption_->setChecked(sound);
}

void UIPlaybackDlg::OpenBackupWindow(bool download) {
    if (!HasRight(kRightPlayback)) return;
    if (!backup_) {
        backup_ = new UIBackupDlg(services_.directory, &services_.log, this);
        backup_->SetOperator([this] { return OperatorName(); });
    }
    backup_->Open(controller_->MakeBackupRequest(download));
}

void UIPlaybackDlg::ToggleFullScreen() {
    if (!fullScreen_) {
        fullScreen_ = true;
        panel_->EnterFullScreen(this);
        fullScreenEscape_ = new QShortcut(QKeySequence(Qt::Key_Escape), panel_, [this] {
            if (fullScreen_) ToggleFullScreen();
        });
        fullScreenEscape_->setContext(Qt::WindowShortcut);
    } else {
        fullScreen_ = false;
        delete fullScreenEscape_;
        fullScreenEscape_ = nullptr;
        panel_->LeaveFullScreen();
        if (viewArea_->layout()->indexOf(panel_) < 0) viewArea_->layout()->addWidget(panel_);
    }
}

// ---------------------------------------------------------------- the cell menu

std::unique_ptr<QMenu> UIPlaybackDlg::MakeCellMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName("playbackCellMenu");
    menu->setMinimumWidth(kCellMenuWidth);
    const int w = SelectedWindow();
    const int state = controller_->PlayState(w);
    const bool running = state == QVXPLAY_STATE_PLAYING || state == QVXPLAY_STATE_STOPPED;
    struct Item {
        const char* icon;
        const char* text;
        int command;
    };
    const Item items[] = {
        {running ? "pbPlay.png" : "pbPause.png", running ? "Pause" : "Play", running ? kCmdPause : kCmdPlay},
        {"pbStop.png", "Stop", kCmdStop},
        {"pbSlow.png", "Slow", kCmdSlow},
        {"pbNormal.png", "Normal speed", kCmdNormal},
        {"pbFast.png", "Fast", kCmdFast},
        {"pbFrame.png", "Frame", kCmdFrame},
        {"rpZoom.png", controller_->zoomMode() ? "Close enlarge" : "Enlarge", kCmdZoom},
        {"photo.png", "Capture", kCmdCapture},
        {controller_->SoundOn(w) ? "pbSoundOff.png" : "pbSound.png",
         controller_->SoundOn(w) ? "Close sound" : "Open sound", kCmdSound},
        {controller_->DisplayMode(w) != 0 ? "pbTile.png" : "pbScale.png",
         controller_->DisplayMode(w) != 0 ? "Tile picture" : "Original picture", kCmdDisplay},
        {"menu_fullscreen.png", fullScreen_ ? "Exit full screen" : "Full Screen", kCmdFullScreen},
        {"pbClose.png", "Close", kCmdClose},
    };
    QPointer<UIPlaybackDlg> self(this);
    for (const Item& item : items) {
        QAction* action = menu->addAction(SkinIcon(item.icon), Tr(item.text));
        action->setData(item.command);
        const int command = item.command;
        connect(action, &QAction::triggered, this, [self, command] {
            if (self) PostWindowMessage(self, kMsgCellMenuCommand, command, 0);
        });
    }
    return menu;
}

void UIPlaybackDlg::RunCellCommand(int command) {
    switch (command) {
        case kCmdPlay: controller_->Play(-1); break;
        case kCmdPause: controller_->Pause(-1); break;
        case kCmdStop: controller_->Stop(-1); break;
        case kCmdSlow: controller_->Slow(-1); break;
        case kCmdFast: controller_->Fast(-1); break;
        case kCmdFrame: controller_->Frame(-1); break;
        case kCmdNormal: controller_->Normal(-1); break;
        case kCmdZoom: zoomOption_->setChecked(!controller_->zoomMode()); break;
        case kCmdCapture:
            // Only a window that shows a picture can be captured; the others say nothing.
            if (controller_->PlayState(SelectedWindow()) == QVXPLAY_STATE_NONE ||
                controller_->PlayState(SelectedWindow()) == QVXPLAY_STATE_STOPPED)
                break;
            msgLabel_->setText(Tr(controller_->Capture(-1) == 0 ? "Capture succeeded" : "Capture failed"));
            break;
        case kCmdSound: controller_->ToggleSound(-1); break;
        case kCmdDisplay: controller_->ToggleDisplay(-1); break;
        case kCmdFullScreen: ToggleFullScreen(); break;
        case kCmdClose: controller_->Close(-1); break;
        default: return;
    }
    UpdateToolbar();
}

// ---------------------------------------------------------------- messages

bool UIPlaybackDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        OnWindowMessage(m->message(), m->wParam(), m->lParam());
        return true;
    }
    return QWidget::event(e);
}

void UIPlaybackDlg::Post(int message, intptr_t wParam, intptr_t lParam) { PostWindowMessage(this, message, wParam, lParam); }

void UIPlaybackDlg::OnWindowMessage(int message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
        case CellActivate:
        case CellSelect:
        case CellMenu:
        case CellMouseMove:
        case CellButtonUp:
        case CellKey:
            OnCellNotification(message, static_cast<int>(wParam), UnpackPoint(lParam));
            break;
        case PlayBarResume:
        case PlayBarStop:
        case PlayBarSlow:
        case PlayBarFast:
        case PlayBarFrame:
        case PlayBarPhoto:
        case PlayBarPause:
        case PlayBarNormal:
        case PlayBarClose:
            OnBarButton(message, static_cast<int>(wParam));
            break;
        case kMsgFileEnded:
            controller_->OnFileEnded(static_cast<int>(wParam), static_cast<int>(lParam));
            UpdateToolbar();
            break;
        case kMsgRemoteSearchDone:
        case kMsgRemoteOpened:
            controller_->OnWorkerResult(lParam);
            UpdateToolbar();
            break;
        case kMsgDayChosen:
            if (wParam >= 1 && wParam <= 31)
                controller_->ChooseDay(Date{static_cast<int>(lParam / 100), static_cast<int>(lParam % 100),
                                            static_cast<int>(wParam)});
            break;
        case kMsgCellMenuCommand:
            RunCellCommand(static_cast<int>(wParam));
            break;
        case kMsgTreeMenuCommand:
            if (wParam == 0) tree_->collapseAll();
            else if (wParam == 1) tree_->expandAll();
            break;
        case kMsgClipClear:
            controller_->ClearClip();
            timeline_->update();
            break;
        case kMsgTimelineHover:
            OnHover(static_cast<int>(wParam), static_cast<int>(lParam));
            break;
        case kMsgTimelineClick:
            controller_->TimelineClick(static_cast<int>(wParam), static_cast<int>(lParam));
            timeline_->update();
            UpdateToolbar();
            break;
        default:
            break;
    }
}

void UIPlaybackDlg::OnBarButton(int number, int cell) {
    if (cell != SelectedWindow()) SelectWindow(cell);
    switch (number) {
        case PlayBarResume: RunCellCommand(kCmdPlay); break;
        case PlayBarPause: RunCellCommand(kCmdPause); break;
        case PlayBarStop: RunCellCommand(kCmdStop); break;
        case PlayBarSlow: RunCellCommand(kCmdSlow); break;
        case PlayBarFast: RunCellCommand(kCmdFast); break;
        case PlayBarFrame: RunCellCommand(kCmdFrame); break;
        case PlayBarPhoto: RunCellCommand(kCmdCapture); break;
        case PlayBarNormal: RunCellCommand(kCmdNormal); break;
        case PlayBarClose: RunCellCommand(kCmdClose); break;
        default: break;
    }
}

void UIPlaybackDlg::OnCellNotification(int message, int cell, QPoint point) {
    switch (message) {
        case CellSelect:
            SelectWindow(cell);
            controller_->ZoomPress(cell, point.x(), point.y());
            break;
        case CellMouseMove:
            controller_->ZoomMove(cell, point.x(), point.y());
            break;
        case CellButtonUp:
            controller_->ZoomRelease(cell, point.x(), point.y());
            break;
        case CellMenu: {
            SelectWindow(cell);
            std::unique_ptr<QMenu> menu = MakeCellMenu();
            menu->exec(QCursor::pos());
            break;
        }
        case CellKey:
            if (fullScreen_) ToggleFullScreen();
            break;
        case CellActivate:
        default:
            break;
    }
}

void UIPlaybackDlg::OnHover(int window, int second) {
    std::string path;
    int percent = 0;
    if (window < 0 || !controller_->PreviewTarget(window, second, &path, &percent)) {
        preview_->HidePreview();
        return;
    }
    const QPoint top = playOption_->mapToGlobal(QPoint(0, 0));
    preview_->ShowPicture(path, percent, QPoint(QCursor::pos().x() - UIPreviewWnd::kWidth / 2, top.y() - kPreviewAboveToolbar));
}

void UIPlaybackDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Escape:
            if (fullScreen_) ToggleFullScreen();
            break;
        case Qt::Key_Space:
            controller_->TogglePlay(-1);
            break;
        case Qt::Key_Left:
            controller_->Jump(-1, -kJumpSeconds);
            break;
        case Qt::Key_Right:
            controller_->Jump(-1, kJumpSeconds);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            controller_->Fast(-1);
            break;
        case Qt::Key_Minus:
            controller_->Slow(-1);
            break;
        default:
            QWidget::keyPressEvent(e);
            return;
    }
    UpdateToolbar();
    timeline_->update();
}

// ---------------------------------------------------------------- PlaybackView

int UIPlaybackDlg::SelectedWindow() const { return panel_ ? panel_->Selected() : 0; }

void* UIPlaybackDlg::SurfaceOf(int window) { return panel_ ? panel_->VideoSurfaceOf(window) : nullptr; }

void UIPlaybackDlg::SetWindowTitle(int window, const std::string& title) {
    if (UIScreenWnd* cell = panel_ ? panel_->Cell(window) : nullptr) cell->SetChannelName(QString::fromStdString(title));
}

void UIPlaybackDlg::SetWindowPaused(int window, bool paused) {
    if (UIScreenWnd* cell = panel_ ? panel_->Cell(window) : nullptr) cell->SetPaused(paused);
    if (window == SelectedWindow() && playOption_) UpdateToolbar();
}

void UIPlaybackDlg::RepaintWindow(int window, bool clear) {
    UIScreenWnd* cell = panel_ ? panel_->Cell(window) : nullptr;
    if (!cell) return;
    if (clear) cell->VideoWindow()->PictureArea()->ClearPicture();
    cell->VideoWindow()->PictureArea()->update();
}

void UIPlaybackDlg::ShowNotice(const char* english) { ShowMessage(this, english, kMsgAdvice); }

void UIPlaybackDlg::SetSearching(bool searching) {
    msgLabel_->setText(searching ? Tr("Searching, please wait ...") : QString());
    listColumn_->setEnabled(!searching);
    sliderArea_->setEnabled(!searching);
    viewArea_->setEnabled(!searching);
}

void UIPlaybackDlg::TimelineChanged() {
    if (timeline_) timeline_->update();
}

void UIPlaybackDlg::DayMarksChanged() {
    if (!calendar_) return;
    const Date& d = controller_->date();
    calendar_->SetMarks(controller_->dayMarks(), d.year, d.month);
    // The controller may change the day itself (a mode switch goes back to today).
    const QDate shown(d.year, d.month, d.day);
    if (calendar_->selectedDate() != shown && shown.isValid()) calendar_->setSelectedDate(shown);
}

bool UIPlaybackDlg::HasRight(int right) { return CheckRight(this, right); }

std::string UIPlaybackDlg::OperatorName() const { return CurrentSession().user().userName; }

}  // namespace ocv::playback
