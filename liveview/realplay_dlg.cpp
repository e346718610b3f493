#include "liveview/realplay_dlg.h"

#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>
#include <utility>
#include <vector>

#include "events/log_writer.h"
#include "liveview/date_popup.h"
#include "liveview/ptz_popup.h"
#include "liveview/rota_wnd.h"
#include "liveview/temperature_picture_dlg.h"
#include "store/config_store.h"
#include "widgets/message_box.h"

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
                  [this](int message, intptr_t w, intptr_t l) { Post(message, w, l); }),
      jobs_([this](int message, intptr_t w, intptr_t l) { Post(message, w, l); }),
      tours_(services_.connections, [this](int message, intptr_t w, intptr_t l) { Post(message, w, l); }),
      commands_(LiveCommandServices{controller_, tours_, services_.connections, services_.players,
                                    services_.directory, services_.recording, services_.talk, services_.actions,
                                    services_.deviceConfig, jobs_},
                *this,
                LiveCommandHooks{
                    [this] { return Settings(); },
                    [this](int device, int channel, int kind, int value) {
                        return services_.store.ModifyChannel(device, channel, kind, value, nullptr, 0);
                    },
                    [this](int device, int flag) {
                        DeviceRecord record = services_.store.device(device);
                        record.thermalFlag = flag;
                        return services_.store.ModifyDevice(record, device);
                    },
                    [this](int subtype, int device, int channel) {
                        services_.log.LogWrite(kLogOperate, subtype, device, channel, "",
                                               CurrentSession().user().userName);
                    }}),
      ptzSender_(services_.ptz),
      temperature_(services_.temperature, services_.connections,
                   [this](int message, intptr_t w, intptr_t l) { Post(message, w, l); }) {
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

    SetUpToolbar();
    QWidget* left = findChild<QWidget*>("leftVer");
    connect(findChild<QPushButton*>("lineOption"), &QPushButton::toggled, this,
            [left](bool hide) { left->setVisible(!hide); });
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) { ShowTreeMenu(pos); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OnTreeDoubleClick(item); });
    connect(tree_, &QTreeWidget::itemExpanded, this, [](QTreeWidgetItem* item) {
        item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupOpen}));
    });
    connect(tree_, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem* item) {
        item->setData(0, TreeIconDelegate::kIconsRole, QVariant::fromValue(QList<int>{kIconGroupClosed}));
    });

    controller_.LoadGroups();
    BuildTree();
    SetUpPtzPanel();
    SetUpTemperatureColumn();

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
    tours_.SetSplitMode(mode);
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
    if (options_.startWorkers) {
        restore_->Start(ChannelsToConnectAtStart(services_.directory, services_.connectAtStart), options_.restoreDelay);
        temperature_.Start();
    }
    SyncToolbar();
}

UIRealPlayDlg::~UIRealPlayDlg() {
    restore_->Stop();
    temperature_.Stop();
    tours_.StopAll();
    ptzSender_.Flush();
    jobs_.Flush();
    if (fullScreen_) ToggleFullScreen();
    if (picker_) picker_->close();
    for (QWidget* popup : {static_cast<QWidget*>(ptzPopup_.data()), static_cast<QWidget*>(rotaWnd_.data()),
                           static_cast<QWidget*>(datePopup_.data())})
        if (popup) delete popup;
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
    const int id = ChannelIdOf(device, channel);
    ChannelStateView extra{services_.players.SoundOn(id), services_.talk.IsTalking(id)};
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
    SetUpPtzPanel();
    SetUpTemperatureColumn();
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
    Tell(commands_.OpenFromTree(item->data(0, kDeviceRole).toInt(), item->data(0, kChannelRole).toInt(),
                                item->data(0, kGroupRole).toInt()));
    SyncToolbar();
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
        Tell(commands_.DropGroup(item->data(0, kGroupRole).toInt()));
    } else {
        Tell(commands_.DropChannel(item->data(0, kDeviceRole).toInt(), item->data(0, kChannelRole).toInt(),
                                   item->data(0, kGroupRole).toInt(), target));
    }
    SyncToolbar();
}

void UIRealPlayDlg::SelectCell(int cell) { panel_->SelectCell(cell); }

void UIRealPlayDlg::SetSplitMode(int mode) {
    if (!IsValidSplitMode(mode)) return;
    panel_->SetSplitMode(mode);
    controller_.OnSplitChosen(mode);
    tours_.SetSplitMode(mode);
    // Choosing a split ends a maximised cell: the tours go on.
    tours_.SetPaused(false);
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
            SyncToolbar();
            break;
        case kMsgCellMenuCommand:
            OnCellCommand(static_cast<int>(wParam));
            break;
        case kMsgTreeMenuCommand:
            OnTreeCommand(static_cast<int>(wParam));
            break;
        case kMsgTourShow:
            // The tour was started by the operator; its steps ask nothing.
            quietRights_ = true;
            commands_.OnTourShow(static_cast<int>(wParam), static_cast<int>(lParam));
            quietRights_ = false;
            SyncToolbar();
            break;
        case kMsgTourClearAll:
            quietRights_ = true;
            commands_.OnTourClearAll();
            quietRights_ = false;
            break;
        case kMsgTourEnded:
            SyncToolbar();
            break;
        case kMsgJobsDone:
            jobs_.RunCompletions();
            SyncToolbar();
            break;
        case kMsgTemperatureReady:
            OnTemperatureRecords();
            break;
        case kMsgTemperatureActivated:
            ShowTemperaturePicture(static_cast<int>(wParam));
            break;
        case kMsgTemperatureDate: {
            QDate date = UIDatePopup::Unpack(wParam);
            if (!date.isValid()) break;
            temperature_.SetDate(CalendarDate{date.year(), date.month(), date.day()});
            dateBtn_->setText(QString::fromStdString(FormatCalendarDate(temperature_.Date())));
            break;
        }
        case kMsgPtzPopupClosed:
            ptzPopup_ = nullptr;
            break;
        case kMsgRotaWndClosed:
            rotaWnd_ = nullptr;
            break;
        default:
            break;
    }
}

void UIRealPlayDlg::OnCellNotification(int message, int cell, QPoint point) {
    switch (message) {
        case kMsgCellSelect:
            SyncToolbar();
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
            if (target >= 0 && target != source) Tell(commands_.SwapCells(source, target));
            break;
        }
        case kMsgCellActivate:
            dragSource_ = -1;
            controller_.OnMaximizeChanged(cell, panel_->IsMaximized(), panel_->SplitMode());
            // A tour would replace what the operator is looking at: it waits.
            tours_.SetPaused(panel_->IsMaximized());
            break;
        case kMsgCellKey:
            if (fullScreen_) ToggleFullScreen();
            break;
        case kMsgCellMenu:
            dragSource_ = -1;
            ShowCellMenu(cell);
            break;
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

UIPtzDlg* UIRealPlayDlg::ptzPopup() const { return ptzPopup_; }
UIRotaWnd* UIRealPlayDlg::rotaWnd() const { return rotaWnd_; }
UIDatePopup* UIRealPlayDlg::datePopup() const { return datePopup_; }

void UIRealPlayDlg::Post(int message, intptr_t w, intptr_t l) { PostWindowMessage(this, message, w, l); }

LiveSettings UIRealPlayDlg::Settings() const {
    const SystemSettings& s = services_.store.settings();
    LiveSettings out;
    out.rotaInterval = Relaxed(s.ROTALEN);
    out.rotaType = Relaxed(s.ROTATYPE);
    out.showMode = Relaxed(s.SHOWMODE);
    out.tempUnit = Relaxed(s.tempUnit);
    return out;
}

void UIRealPlayDlg::SetUpToolbar() {
    struct ToolButton {
        const char* name;
        const char* image;
        const char* tip;
    };
    for (const ToolButton& b : {ToolButton{"fullScreenBtn", "rpFullScreen.png", "Full Screen"},
                                ToolButton{"pictureBtn", "rpPicture.png", "Split screen"},
                                ToolButton{"zoomOption", "rpZoom.png", "Enlarge"},
                                ToolButton{"stopBtn", "rpStop.png", "Stop view"},
                                ToolButton{"snapBtn", "rpSnap.png", "Capture"},
                                ToolButton{"recordOption", "rpRecord.png", "Manual REC"},
                                ToolButton{"soundOption", "rpSound.png", "Sound"},
                                ToolButton{"lastBtn", "rpLast.png", "Previous group"},
                                ToolButton{"nextBtn", "rpNext.png", "Next group"},
                                ToolButton{"rotaOption", "rpRota.png", "Rota"},
                                ToolButton{"rotaSetBtn", "rpRotaSet.png", "Rota settings"}}) {
        auto* button = findChild<QPushButton*>(b.name);
        button->setIcon(SkinIcon(b.image));
        button->setIconSize(QSize(b.name == std::string("rotaSetBtn") ? 12 : 24, 24));
        button->setToolTip(Tr(b.tip));
        button->setFocusPolicy(Qt::NoFocus);
    }
    pictureBtn_ = findChild<QPushButton*>("pictureBtn");
    zoomBtn_ = findChild<QPushButton*>("zoomOption");
    recordOption_ = findChild<QPushButton*>("recordOption");
    soundOption_ = findChild<QPushButton*>("soundOption");
    rotaOption_ = findChild<QPushButton*>("rotaOption");
    rotaSetBtn_ = findChild<QPushButton*>("rotaSetBtn");

    connect(findChild<QPushButton*>("fullScreenBtn"), &QPushButton::clicked, this, [this] { ToggleFullScreen(); });
    connect(pictureBtn_, &QPushButton::clicked, this, [this] { ShowPicker(); });
    connect(zoomBtn_, &QPushButton::toggled, this, [this](bool on) {
        controller_.SetZoomMode(on);
        zoomBtn_->setToolTip(Tr(on ? "Close enlarge" : "Enlarge"));
    });
    // Stop view closes the selected cell only; the other cells keep their channels.
    connect(findChild<QPushButton*>("stopBtn"), &QPushButton::clicked, this,
            [this] { OnCellCommand(kCellStopView); });
    connect(findChild<QPushButton*>("snapBtn"), &QPushButton::clicked, this, [this] { OnCellCommand(kCellCapture); });
    // The options show the state the operation left; a refusal or failure sets them back.
    connect(recordOption_, &QPushButton::clicked, this, [this] {
        Tell(commands_.ToggleManualRecord(SelectedCell()));
        SyncToolbar();
    });
    connect(soundOption_, &QPushButton::clicked, this, [this] {
        commands_.ToggleSound(SelectedCell());
        SyncToolbar();
    });
    connect(findChild<QPushButton*>("lastBtn"), &QPushButton::clicked, this, [this] {
        commands_.Step(SelectedCell(), -1);
    });
    connect(findChild<QPushButton*>("nextBtn"), &QPushButton::clicked, this, [this] {
        commands_.Step(SelectedCell(), +1);
    });
    connect(rotaOption_, &QPushButton::clicked, this, [this] {
        Tell(commands_.ToggleTour(SelectedCell()));
        SyncToolbar();
    });
    connect(rotaSetBtn_, &QPushButton::clicked, this, [this] { ShowRotaSettings(); });

    QWidget* map = findChild<QWidget*>("mapVertical");
    connect(findChild<QPushButton*>("mapOption"), &QPushButton::toggled, this,
            [map](bool hide) { map->setVisible(!hide); });
    QWidget* ptz = findChild<QWidget*>("ptzSelectVer");
    connect(findChild<QPushButton*>("splitUpDownOption"), &QPushButton::toggled, this,
            [ptz](bool hide) { ptz->setVisible(!hide); });
}

void UIRealPlayDlg::SyncToolbar() {
    if (!panel_) return;
    int cell = SelectedCell();
    int id = controller_.CellChannel(cell);
    bool shows = IsChannelId(id) && services_.directory.Device(DeviceIndexOf(id)) != nullptr;
    bool manual = shows &&
                  services_.directory.Runtime().channel(DeviceIndexOf(id), ChannelIndexOf(id)).recordType.load() ==
                      kRecordManual;
    recordOption_->setChecked(manual);
    recordOption_->setToolTip(Tr(manual ? "Stop manual REC" : "Manual REC"));
    soundOption_->setChecked(shows && services_.players.SoundOn(id));
    rotaOption_->setChecked(tours_.CellInTour(cell));
    rotaSetBtn_->setEnabled(!tours_.AnyRunning());
    // The temperature column follows the selected cell's channel.
    temperature_.SetChannel(shows ? id : -1);
}

// ---- PTZ --------------------------------------------------------------------------------

void UIRealPlayDlg::SetUpPtzPanel() {
    QWidget* panel = findChild<QWidget*>("ptzSelectVer");
    ptzSpeed_ = panel->findChild<QSlider*>("speedSlider");
    ptzSpeed_->setRange(kPtzSpeedMin, kPtzSpeedMax);
    ptzSpeed_->setValue(kPtzSpeedDefault);
    if (auto* label = panel->findChild<QLabel*>("ptzSpeedLabel")) label->setText(Tr("Speed"));
    SetPtzCaptions(panel);
    // The embedded panel only has the held buttons.
    BindPtzButtons(
        panel, [this](const PtzButton& b, bool pressed) { OnPtzPanelButton(b, pressed); }, [](const PtzButton&) {});
}

void UIRealPlayDlg::OnPtzPanelButton(const PtzButton& button, bool pressed) {
    if (!pressed) {
        // The release ends the command the press started, on the channel it went to.
        if (ptzHeldCode_ == button.code && IsChannelId(ptzHeldChannel_))
            ptzSender_.Send(DeviceIndexOf(ptzHeldChannel_), ChannelIndexOf(ptzHeldChannel_), button.code, 1,
                            ptzSpeed_->value());
        ptzHeldCode_ = ptzHeldChannel_ = -1;
        return;
    }
    ptzHeldCode_ = ptzHeldChannel_ = -1;
    if (!HasRight(kRightPtz)) return;
    int cell = SelectedCell();
    if (tours_.CellInTour(cell)) {
        Tell(CommandOutcome(-1, kChannelInTour));
        return;
    }
    int id = controller_.CellChannel(cell);
    if (!IsChannelId(id) || services_.directory.Device(DeviceIndexOf(id)) == nullptr) return;
    ptzHeldCode_ = button.code;
    ptzHeldChannel_ = id;
    ptzSender_.Send(DeviceIndexOf(id), ChannelIndexOf(id), button.code, 0, ptzSpeed_->value());
}

void UIRealPlayDlg::OpenPtzPopup(int cell) {
    if (ptzPopup_) {
        ptzPopup_->raise();
        return;
    }
    int id = controller_.CellChannel(cell);
    ptzPopup_ = new UIPtzDlg(IsChannelId(id) ? id : -1, ptzSender_, this, this);
    QPoint centre = panel_->mapToGlobal(panel_->rect().center());
    ptzPopup_->adjustSize();
    ptzPopup_->move(centre - QPoint(ptzPopup_->width() / 2, ptzPopup_->height() / 2));
    ptzPopup_->show();
}

// ---- Tours --------------------------------------------------------------------------------

void UIRealPlayDlg::ShowRotaSettings() {
    if (rotaWnd_) {
        rotaWnd_->close();
        return;
    }
    if (tours_.AnyRunning()) return;
    LiveSettings now = Settings();
    ConfigStore& store = services_.store;
    rotaWnd_ = new UIRotaWnd(
        now.rotaInterval, now.rotaType,
        [&store](int interval, int type) {
            SystemSettings copy = store.settings();
            copy.ROTALEN = interval;
            copy.ROTATYPE = type;
            return store.SaveSettings(copy, false);
        },
        this, this);
    rotaWnd_->ShowBeside(rotaSetBtn_->mapToGlobal(QPoint(0, 0)));
}

// ---- Menus --------------------------------------------------------------------------------

namespace {

QMenu* MenuOf(const std::vector<MenuEntry>& entries, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setMinimumWidth(130);
    menu->setStyleSheet("QMenu::item { min-height: 22px; }");
    for (const MenuEntry& e : entries) {
        QAction* action = menu->addAction(e.icon ? SkinIcon(e.icon) : QIcon(), Tr(e.text));
        action->setData(e.command);
    }
    return menu;
}

}  // namespace

QMenu* UIRealPlayDlg::BuildCellMenu(int cell) {
    CellMenuState state = commands_.MenuStateOf(cell, fullScreen_);
    state.cameraSettingsAvailable = static_cast<bool>(services_.openCameraSettings);
    return MenuOf(CellMenuEntries(state), this);
}

void UIRealPlayDlg::ShowCellMenu(int cell) {
    std::unique_ptr<QMenu> menu(BuildCellMenu(cell));
    QAction* chosen = menu->exec(QCursor::pos());
    if (chosen) Post(kMsgCellMenuCommand, chosen->data().toInt(), 0);
}

void UIRealPlayDlg::OnCellCommand(int command) {
    int cell = SelectedCell();
    int id = controller_.CellChannel(cell);
    switch (command) {
        case kCellPtz:
            if (HasRight(kRightPtz)) OpenPtzPopup(cell);
            return;
        case kCellZoomMode:
            zoomBtn_->setChecked(!zoomBtn_->isChecked());
            return;
        case kCellCameraSettings:
            if (services_.openCameraSettings) services_.openCameraSettings(id);
            return;
        case kCellFullScreen:
            ToggleFullScreen();
            return;
        default:
            Tell(commands_.CellCommand(command, cell));
            SyncToolbar();
            return;
    }
}

void UIRealPlayDlg::SetTreeMenuItem(QTreeWidgetItem* item) {
    treeTarget_ = TreeTarget{};
    if (!item) return;
    treeTarget_.group = item->data(0, kGroupRole).toInt();
    if (IsChannelItem(item)) {
        treeTarget_.device = item->data(0, kDeviceRole).toInt();
        treeTarget_.channel = item->data(0, kChannelRole).toInt();
    }
}

QMenu* UIRealPlayDlg::BuildTreeMenu(QTreeWidgetItem* item) {
    if (!item) return nullptr;
    if (IsChannelItem(item))
        return MenuOf(TreeChannelMenuEntries(commands_.TreeStateOf(item->data(0, kDeviceRole).toInt(),
                                                                   item->data(0, kChannelRole).toInt())),
                      this);
    return MenuOf(TreeGroupMenuEntries(Settings().showMode), this);
}

void UIRealPlayDlg::ShowTreeMenu(const QPoint& pos) {
    QTreeWidgetItem* item = tree_->itemAt(pos);
    std::unique_ptr<QMenu> menu(BuildTreeMenu(item));
    if (!menu) return;
    SetTreeMenuItem(item);
    QAction* chosen = menu->exec(tree_->viewport()->mapToGlobal(pos));
    if (chosen) Post(kMsgTreeMenuCommand, chosen->data().toInt(), 0);
}

void UIRealPlayDlg::OnTreeCommand(int command) {
    const TreeTarget target = treeTarget_;
    if (target.group < 0) return;
    if (target.device >= 0) {
        Tell(commands_.ChannelCommand(command, target.device, target.channel, target.group));
    } else if (command == kTreeCollapseAll || command == kTreeExpandAll) {
        for (int i = 0; i < tree_->topLevelItemCount(); ++i)
            tree_->topLevelItem(i)->setExpanded(command == kTreeExpandAll);
    } else {
        Tell(commands_.GroupCommand(command, target.group));
    }
    SyncToolbar();
}

void UIRealPlayDlg::Tell(const CommandOutcome& outcome) {
    if (!outcome.message) return;
    QString text = Tr(outcome.message);
    if (!outcome.detail.empty()) text += QString::fromStdString(outcome.detail);
    ShowMessage(this, text, Tr(MessageKindTitle(outcome.kind)), outcome.kind);
}

QTreeWidgetItem* UIRealPlayDlg::GroupItem(int group) const {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        if (tree_->topLevelItem(i)->data(0, kGroupRole).toInt() == group) return tree_->topLevelItem(i);
    return nullptr;
}

// ---- Temperature column ----------------------------------------------------------------

void UIRealPlayDlg::SetUpTemperatureColumn() {
    eventList_ = findChild<QTreeWidget*>("eventList");
    typeCombo_ = findChild<QComboBox*>("shTypeCombo");
    dateBtn_ = findChild<QPushButton*>("sTimeBtn");
    findChild<QLabel*>("tfDataLabel")->setText(Tr("TF card data"));
    eventList_->setHeaderLabels({Tr("Date time"), Tr("Temperature")});
    eventList_->header()->resizeSection(0, 140);
    typeCombo_->clear();
    typeCombo_->addItems({Tr("All"), Tr("Temperature normal"), Tr("Temperature abnormal")});
    connect(typeCombo_, &QComboBox::currentIndexChanged, this, [this](int index) { temperature_.SetFilter(index); });
    dateBtn_->setText(QString::fromStdString(FormatCalendarDate(temperature_.Date())));
    connect(dateBtn_, &QPushButton::clicked, this, [this] { ShowDatePopup(); });
    connect(eventList_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr) Post(kMsgTemperatureActivated, item->data(0, Qt::UserRole).toInt(), 0);
    });
    auto* refresh = findChild<QPushButton*>("refreshMapBtn");
    refresh->setText(Tr("Refresh"));
    connect(refresh, &QPushButton::clicked, this, [this] {
        eventList_->clear();
        temperature_.Refresh();
    });
}

void UIRealPlayDlg::ShowDatePopup() {
    if (datePopup_) {
        datePopup_->close();
        return;
    }
    CalendarDate d = temperature_.Date();
    datePopup_ = new UIDatePopup(QDate(d.year, d.month, d.day), this, this);
    datePopup_->ShowAbove(dateBtn_->mapToGlobal(QPoint(0, 0)));
}

void UIRealPlayDlg::OnTemperatureRecords() {
    std::vector<TemperatureRecord> records = temperature_.Records();
    int unit = Settings().tempUnit;
    eventList_->clear();
    // Each record goes on top: the newest reading is read first.
    for (const TemperatureRecord& record : records) {
        TemperatureRow row = FormatTemperatureRow(record, unit);
        auto* item = new QTreeWidgetItem();
        item->setText(0, QString::fromStdString(row.time));
        item->setText(1, QString::fromStdString(row.temperature));
        QColor colour = QColor::fromRgb(row.rgb);
        item->setForeground(0, colour);
        item->setForeground(1, colour);
        item->setData(0, Qt::UserRole, row.recordTime);
        eventList_->insertTopLevelItem(0, item);
    }
}

// The camera keeps a picture of each reading under the reading's time; the device
// configuration service fetches it (or reads its cached copy) on the jobs thread.
void UIRealPlayDlg::ShowTemperaturePicture(int recordTime) {
    int id = temperature_.channel();
    if (id < 0 || recordTime <= 0) return;
    int device = id / kMaxChannels, channel = id % kMaxChannels;
    auto picture = std::make_shared<std::vector<uint8_t>>(kMaxDevicePictureBytes);
    auto length = std::make_shared<uint32_t>(static_cast<uint32_t>(picture->size()));
    QPointer<UIRealPlayDlg> self(this);
    jobs_.Run(
        [this, device, channel, recordTime, picture, length] {
            return services_.deviceConfig.FetchDevicePicture(device, channel, recordTime, picture->data(), length.get());
        },
        [self, recordTime, picture, length](int result) {
            if (!self) return;
            QByteArray bytes(reinterpret_cast<const char*>(picture->data()), static_cast<qsizetype>(*length));
            if (!self->temperaturePicture_) self->temperaturePicture_ = new UITemperaturePictureDlg(self);
            QString title = QDateTime::fromSecsSinceEpoch(recordTime).toString("yyyy-MM-dd HH:mm:ss");
            if (result != 0 || !self->temperaturePicture_->ShowPicture(title, bytes))
                ShowMessage(self, "Failed to get the picture of this reading", 2);
        });
}

}  // namespace ocv
