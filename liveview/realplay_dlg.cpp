#include "liveview/realplay_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "videogrid/cell_messages.h"
#include "videogrid/picture_wnd.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/event_bridge.h"
#include "widgets/tree_icon_delegate.h"
#include "platform/app_dir.h"
#include "base/lang.h"
#include "widgets/login_dialog.h"
#include "widgets/skin_image.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"
#include "store/relaxed.h"
#include "ui_UIRealPlayDlg.h"

namespace ocv {

namespace {

constexpr int kMsgCellActivate = CellActivate;
constexpr int kMsgCellSelect = CellSelect;
constexpr int kMsgCellMenu = CellMenu;
constexpr int kMsgCellMouseMove = CellMouseMove;
constexpr int kMsgCellButtonUp = CellButtonUp;
constexpr int kMsgCellKey = CellKey;
constexpr int kMsgSplitChosen = SplitChosen;

constexpr int kTagRole = Qt::UserRole;          // group index, or 64 + member index
constexpr int kDeviceRole = Qt::UserRole + 1;
constexpr int kChannelRole = Qt::UserRole + 2;
constexpr int kGroupRole = Qt::UserRole + 3;

QPoint UnpackPoint(intptr_t lParam) { return QPoint(PointX(lParam), PointY(lParam)); }

bool IsChannelItem(const QTreeWidgetItem* item) { return item && item->data(0, kTagRole).toInt() >= 64; }

}  // namespace

UIRealPlayDlg::UIRealPlayDlg(LiveViewPageServices services, QWidget* parent, Options options)
    : QWidget(parent), services_(std::move(services)), options_(options),
      controller_(LiveViewServices{services_.connections, services_.players, services_.directory}, *this,
                  AppPath("config.ini"),
                  [this](int message, intptr_t w, intptr_t l) { PostWindowMessage(this, message, w, l); }) {
    setObjectName("UIRealPlayDlg");
    Ui::UIRealPlayDlg ui;
    ui.setupUi(this);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    controller_.SetTexts(GetLangString("Temperature normal"), GetLangString("Temperature abnormal"));

    tree_ = ui.devRpTree;
    tree_->setItemDelegate(new TreeIconDelegate(tree_));
    checkNum_ = ui.checkNumLabel;
    abnormalNum_ = ui.abnomalNumLabel;
    ui.checkNumCaption->setText(Tr("Test numbers"));
    ui.abnomalNumCaption->setText(Tr("Abnormal numbers"));
    checkNum_->setStyleSheet("color: #008100;");
    abnormalNum_->setStyleSheet("color: #FF0000;");
    viewArea_ = ui.viewVertical;
    pictureBtn_ = ui.pictureBtn;
    zoomBtn_ = ui.zoomOption;

    struct ToolButton {
        QPushButton* button;
        const char* image;
        const char* tip;
    };
    for (const ToolButton& b : {ToolButton{ui.fullScreenBtn, "rpFullScreen.png", "Full Screen"},
                                ToolButton{ui.pictureBtn, "rpPicture.png", "Split screen"},
                                ToolButton{ui.zoomOption, "rpZoom.png", "Enlarge"},
                                ToolButton{ui.stopBtn, "rpStop.png", "Stop view"},
                                ToolButton{ui.lastBtn, "rpLast.png", "Previous group"},
                                ToolButton{ui.nextBtn, "rpNext.png", "Next group"}}) {
        b.button->setIcon(SkinIcon(b.image));
        b.button->setIconSize(QSize(24, 24));
        b.button->setToolTip(Tr(b.tip));
        b.button->setFocusPolicy(Qt::NoFocus);
    }
    connect(ui.fullScreenBtn, &QPushButton::clicked, this, [this] { ToggleFullScreen(); });
    connect(ui.pictureBtn, &QPushButton::clicked, this, [this] { ShowPicker(); });
    connect(ui.zoomOption, &QPushButton::toggled, this, [this](bool on) {
        controller_.SetZoomMode(on);
        zoomBtn_->setToolTip(Tr(on ? "Close enlarge" : "Enlarge"));
    });
    // Stop view closes the selected cell only; the other cells keep their channels.
    connect(ui.stopBtn, &QPushButton::clicked, this, [this] { controller_.CloseCell(SelectedCell()); });
    connect(ui.lastBtn, &QPushButton::clicked, this, [this] { controller_.StepGroup(-1); });
    connect(ui.nextBtn, &QPushButton::clicked, this, [this] { controller_.StepGroup(+1); });
    QWidget* left = ui.leftVer;
    connect(ui.lineOption, &QPushButton::toggled, this, [left](bool hide) { left->setVisible(!hide); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OnTreeDoubleClick(item); });
    connect(tree_, &QTreeWidget::itemExpanded, this, [](QTreeWidgetItem* item) {
        item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupOpen}));
    });
    connect(tree_, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem* item) {
        item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupClosed}));
    });

    controller_.LoadGroups();
    BuildTree();

    auto* viewLayout = new QVBoxLayout(viewArea_);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    panel_ = new UIScreenPannel(this, ScreenPannelOptions{kMaxCells, UIScreenWnd::kStripLive, false}, viewArea_);
    viewLayout->addWidget(panel_);

    // The zoom frame is drawn on the decoding threads; DigitalZoom is atomics only. Set before
    // the players exist and cleared only after they are gone.
    PlayerCells& players = services_.players;
    players.SetOverlayHandler([this](int slot, QVXPlayDrawContext* context, int pw, int ph, int ww, int wh, int mx,
                                     int my) { controller_.zoom().Overlay(slot, context, ZoomGeometry{pw, ph, ww, wh, mx, my}); });
    for (int cell = 0; cell < kMaxCells; ++cell) players.CreatePlayer(cell, panel_->VideoSurfaceOf(cell));

    panel_->SetSplitMode(4);
    int remembered = controller_.LoadScreenMemory();
    int mode = remembered ? remembered : 4;
    panel_->SetSplitMode(mode);
    players.SetVisibleSplit(mode);
    players.SetStreamPolicy(-1, mode);
    if (services_.dayCounters) {
        auto [readings, abnormal] = services_.dayCounters();
        ShowCounters(readings, abnormal);
    }

    // The core tells the page what changed; nothing here polls.
    services_.events.Subscribe(
        this, kLiveViewEventKinds, [this](const CoreEvent& e) { RouteLiveViewEvent(e, *this); },
        [this] { RefreshAll(); });

    restore_ = std::make_unique<RestoreWorker>(services_.connections, [this](int message, intptr_t w, intptr_t l) {
        PostWindowMessage(this, message, w, l);
    });
    if (options_.startWorkers)
        restore_->Start(ChannelsToConnectAtStart(services_.directory, services_.connectAtStart), options_.restoreDelay);
}

UIRealPlayDlg::~UIRealPlayDlg() {
    restore_->Stop();
    if (fullScreen_) ToggleFullScreen();
    if (picker_) picker_->close();
    // The players draw into the panel's surfaces: they go first.
    PlayerCells& players = services_.players;
    for (int cell = 0; cell < kMaxCells; ++cell) {
        controller_.CloseInset(cell);
        players.DestroyPlayer(cell);
    }
    // The thermal players draw into the insets: closed before the windows go.
    controller_.thermal().Flush();
    players.SetOverlayHandler(nullptr);
}

void UIRealPlayDlg::BuildTree() {
    tree_->clear();
    channelItems_.clear();
    const auto& groups = controller_.groups();
    for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
        auto* node = new QTreeWidgetItem(tree_);
        node->setText(0, QString::fromStdString(groups[g].name));
        node->setData(0, kTagRole, g);
        node->setData(0, kGroupRole, g);
        node->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupClosed}));
        int member = 0;
        for (const GroupView::Member& m : groups[g].members) {
            auto* item = new QTreeWidgetItem(node);
            item->setData(0, kTagRole, 64 + member++);
            item->setData(0, kDeviceRole, m.device);
            item->setData(0, kChannelRole, m.channel);
            item->setData(0, kGroupRole, g);
            channelItems_[ChannelIdOf(m.device, m.channel)].push_back(item);
            RefreshChannel(m.device, m.channel);
        }
    }
    if (tree_->topLevelItemCount() > 0) tree_->topLevelItem(0)->setExpanded(true);
}

QTreeWidgetItem* UIRealPlayDlg::ChannelItem(int group, int device, int channel) const {
    auto found = channelItems_.find(ChannelIdOf(device, channel));
    if (found == channelItems_.end()) return nullptr;
    for (QTreeWidgetItem* item : found->second)
        if (item->data(0, kGroupRole).toInt() == group) return item;
    return nullptr;
}

void UIRealPlayDlg::RefreshChannel(int device, int channel) {
    const DeviceInfo* dev = device >= 0 && device < kMaxDevices ? services_.directory.Device(device) : nullptr;
    if (!IsValidChannelOf(dev, channel)) return;
    auto found = channelItems_.find(ChannelIdOf(device, channel));
    if (found == channelItems_.end()) return;
    const DeviceRuntime& rt = services_.directory.Runtime().device(device);
    ChannelStateView extra{services_.players.SoundOn(ChannelIdOf(device, channel)), false};
    std::vector<int> icons = ChannelStateIcons(rt, channel, extra);
    QList<int> list(icons.begin(), icons.end());
    QString label = QString::fromStdString(TreeChannelLabel(*dev, channel, rt.deviceState.load()));
    for (QTreeWidgetItem* item : found->second) {
        item->setText(0, label);
        item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(list));
    }
}

void UIRealPlayDlg::ChannelChanged(int device, int channel) {
    RefreshChannel(device, channel);
    controller_.RelabelChannel(device, channel);
}

void UIRealPlayDlg::DeviceChanged(int device) {
    for (int channel = 0; channel < kMaxChannels; ++channel)
        if (channelItems_.count(ChannelIdOf(device, channel))) ChannelChanged(device, channel);
    controller_.RetryInsets(device);
}

void UIRealPlayDlg::TemperatureRead(int channelId, const TemperatureMark& mark) {
    controller_.SetTemperatureMark(channelId, mark);
    controller_.RelabelChannel(DeviceIndexOf(channelId), ChannelIndexOf(channelId));
}

void UIRealPlayDlg::ConfigurationChanged() {
    controller_.LoadGroups();
    BuildTree();
}

void UIRealPlayDlg::RefreshAll() {
    for (const auto& [id, items] : channelItems_) ChannelChanged(DeviceIndexOf(id), ChannelIndexOf(id));
    for (int d = 0; d < kMaxDevices; ++d)
        if (services_.directory.Device(d) != nullptr) controller_.RetryInsets(d);
}

void UIRealPlayDlg::OnTreeDoubleClick(QTreeWidgetItem* item) {
    if (!item) return;
    if (!IsChannelItem(item)) {
        item->setExpanded(!item->isExpanded());
        return;
    }
    controller_.OpenFromTree(item->data(0, kDeviceRole).toInt(), item->data(0, kChannelRole).toInt());
}

void UIRealPlayDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (e->source() == tree_ || e->source() == tree_->viewport()) e->acceptProposedAction();
}

void UIRealPlayDlg::dragMoveEvent(QDragMoveEvent* e) {
    if (e->source() == tree_ || e->source() == tree_->viewport()) e->acceptProposedAction();
}

void UIRealPlayDlg::dropEvent(QDropEvent* e) {
    if (e->source() != tree_ && e->source() != tree_->viewport()) return;
    // A copy: a move would make the tree remove the dragged entry.
    e->setDropAction(Qt::CopyAction);
    e->accept();
    DropTreeItem(tree_->currentItem(), e->position().toPoint());
}

void UIRealPlayDlg::DropTreeItem(QTreeWidgetItem* item, QPoint pagePoint) {
    if (!item) return;
    QPoint inPanel = panel_->mapFrom(this, pagePoint);
    if (!panel_->rect().contains(inPanel)) return;
    int target = panel_->HitTest(inPanel);
    if (target < 0) return;
    if (!IsChannelItem(item)) {
        controller_.ShowGroup(item->data(0, kGroupRole).toInt());
        return;
    }
    controller_.DropChannel(item->data(0, kDeviceRole).toInt(), item->data(0, kChannelRole).toInt(), target);
}

void UIRealPlayDlg::SelectCell(int cell) { panel_->SelectCell(cell); }

void UIRealPlayDlg::SetSplitMode(int mode) {
    if (!IsValidSplitMode(mode)) return;
    panel_->SetSplitMode(mode);
    controller_.OnSplitChosen(mode);
}

void UIRealPlayDlg::SetPageHidden(bool hidden) {
    controller_.SetPageHidden(hidden, panel_->SplitMode());
}

void UIRealPlayDlg::ShowPicker() {
    if (picker_) {
        picker_->close();
        return;
    }
    picker_ = new UIPictureWnd(this, this);
    picker_->setAttribute(Qt::WA_DeleteOnClose);
    picker_->ShowAt(pictureBtn_->mapToGlobal(QPoint(0, 0)) - QPoint(0, 155));
}

void UIRealPlayDlg::ToggleFullScreen() {
    if (!fullScreen_) {
        fullScreen_ = true;
        panel_->EnterFullScreen(this);
        // The page is hidden now: Escape is caught on the panel's own window.
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

void UIRealPlayDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && fullScreen_) {
        ToggleFullScreen();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool UIRealPlayDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        OnWindowMessage(m->message(), m->wParam(), m->lParam());
        return true;
    }
    return QWidget::event(e);
}

void UIRealPlayDlg::OnWindowMessage(int message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
        case kMsgCellActivate:
        case kMsgCellSelect:
        case kMsgCellMenu:
        case kMsgCellMouseMove:
        case kMsgCellButtonUp:
        case kMsgCellKey:
            OnCellNotification(message, static_cast<int>(wParam), UnpackPoint(lParam));
            break;
        case kMsgSplitChosen:
            SetSplitMode(static_cast<int>(wParam));
            break;
        case kMsgInsetFailed:
            controller_.OnInsetOpenFailed(static_cast<int>(wParam), static_cast<int>(lParam));
            break;
        case kMsgRestoreCells:
            quietRights_ = true;
            controller_.RestoreCells();
            quietRights_ = false;
            break;
        default:
            break;
    }
}

void UIRealPlayDlg::OnCellNotification(int message, int cell, QPoint point) {
    switch (message) {
        case kMsgCellSelect:
            if (controller_.zoomMode()) {
                controller_.ZoomPress(cell, point.x(), point.y());
            } else {
                dragSource_ = cell;
                dragMoved_ = false;
            }
            break;
        case kMsgCellMouseMove:
            if (controller_.zoomMode()) controller_.ZoomMove(cell, point.x(), point.y());
            else if (dragSource_ >= 0) dragMoved_ = true;
            break;
        case kMsgCellButtonUp: {
            if (controller_.zoomMode()) {
                controller_.ZoomRelease(cell, point.x(), point.y());
                break;
            }
            int source = dragSource_;
            bool moved = dragMoved_;
            dragSource_ = -1;
            dragMoved_ = false;
            if (source < 0 || !moved) break;
            // The button goes up in the cell that took the press; where it is now decides.
            int target = panel_->HitTest(CellPointToPanel(cell, point));
            if (target >= 0 && target != source) controller_.SwapCells(source, target);
            break;
        }
        case kMsgCellActivate:
            dragSource_ = -1;
            controller_.OnMaximizeChanged(cell, panel_->IsMaximized(), panel_->SplitMode());
            break;
        case kMsgCellKey:
            if (fullScreen_) ToggleFullScreen();
            break;
        case kMsgCellMenu:
        default:
            break;
    }
}

QPoint UIRealPlayDlg::CellPointToPanel(int cell, QPoint point) const {
    UIScreenWnd* wnd = panel_->Cell(cell);
    if (!wnd || !wnd->VideoWindow()) return QPoint(-1, -1);
    return wnd->VideoWindow()->mapTo(panel_, point);
}

void UIRealPlayDlg::ShowCounters(int readings, int abnormal) {
    // Rewritten only when the value changed: every reading and the reset to 0 when the day
    // changes come as events.
    for (auto [label, value] : {std::pair{checkNum_, readings}, std::pair{abnormalNum_, abnormal}}) {
        QString text = QString::number(value);
        if (label->text() != text) label->setText(text);
    }
}

int UIRealPlayDlg::SelectedCell() const { return panel_ ? panel_->Selected() : 0; }

void UIRealPlayDlg::SetCellText(int cell, const std::string& name, const CellStrip& strip) {
    UIScreenWnd* wnd = panel_ ? panel_->Cell(cell) : nullptr;
    if (!wnd) return;
    wnd->SetStatus(QString::fromStdString(strip.text), strip.argb);
    wnd->SetChannelName(QString::fromStdString(name));
}

void UIRealPlayDlg::ShowInset(int cell, bool show) {
    if (UIScreenWnd* wnd = panel_ ? panel_->Cell(cell) : nullptr) wnd->ShowInset(show);
}

void* UIRealPlayDlg::InsetHandle(int cell) { return panel_ ? panel_->InsetSurfaceOf(cell) : nullptr; }

void UIRealPlayDlg::RepaintCell(int cell) {
    if (UIScreenWnd* wnd = panel_ ? panel_->Cell(cell) : nullptr) wnd->update();
}

bool UIRealPlayDlg::HasRight(int right) {
    if (quietRights_) return CurrentSession().HasRight(right);
    return CheckRight(this, right);
}

}  // namespace ocv
