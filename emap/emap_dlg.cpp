#include "emap/emap_dlg.h"

#include <QFileDialog>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "base/trace.h"
#include "device/channel_directory.h"
#include "emap/map_view.h"
#include "events/log_writer.h"
#include "liveview/channel_text.h"
#include "monitor/alarm_rows.h"
#include "store/config_store.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"
#include "ui_UIEmapDlg.h"

namespace ocv {
namespace {

constexpr int kMsgMapPictureImported = kWmUser + 520;
constexpr int kMsgMapPictureLoaded = kWmUser + 521;
constexpr int kLogAddMap = 30;
constexpr int kLogModifyMap = 31;
constexpr int kLogDeleteMap = 32;
constexpr int kFlashMs = 500;
// A map without a readable picture still shows its items on a plain area of this size.
constexpr int kPlainWidth = 1024, kPlainHeight = 768;

QString Local(const char* text) { return QString::fromLocal8Bit(text); }

}  // namespace

UIEmapDlg::UIEmapDlg(ConfigStore& store, LogWriter& log, const ChannelDirectory& directory, EventBridge& events,
                     OpenLiveFn openLive, QWidget* parent)
    : QWidget(parent),
      store_(store),
      log_(log),
      directory_(directory),
      openLive_(std::move(openLive)),
      pictures_(std::make_unique<MapPictureWorker>()) {
    Ui::UIEmapDlg ui;
    ui.setupUi(this);
    mapList_ = ui.mapList;
    devTree_ = ui.devTree;
    alarmList_ = ui.alarmList;
    view_ = ui.mapView;
    title_ = ui.titleLabel;
    msgLabel_ = ui.msgLabel;
    ui.mapLabel->setText(Tr("Map"));
    ui.devLabel->setText(Tr("Device"));
    ui.alarmLabel->setText(Tr("Alarm"));
    ui.addMapBtn->setText(Tr("Add map"));
    ui.modifyMapBtn->setText(Tr("Modify map"));
    ui.deleteMapBtn->setText(Tr("Delete Map"));
    ui.ackBtn->setText(Tr("Acknowledge"));
    cameraIcon_ = SkinPixmap("emapCamera.png");
    linkIcon_ = SkinPixmap("emapLink.png");

    scene_ = new QGraphicsScene(this);
    view_->setScene(scene_);
    view_->onChannelDropped = [this](int device, int channel, QPointF at) { PlaceChannel(device, channel, at); };
    view_->onMapDropped = [this](int mapId, QPointF at) { PlaceLink(mapId, at); };
    view_->onItemActivated = [this](MapItemGraphic* item) { ActivateItem(item->item().itemId); };
    view_->onItemMenu = [this](MapItemGraphic* item, QPoint at) { ShowItemMenu(item, at); };

    flashTimer_ = new QTimer(this);
    flashTimer_->setInterval(kFlashMs);
    connect(flashTimer_, &QTimer::timeout, this, [this] { Flash(); });

    connect(ui.addMapBtn, &QPushButton::clicked, this, [this] { AddMap(); });
    connect(ui.modifyMapBtn, &QPushButton::clicked, this, [this] { ModifyMap(); });
    connect(ui.deleteMapBtn, &QPushButton::clicked, this, [this] { DeleteMap(); });
    connect(ui.ackBtn, &QPushButton::clicked, this, [this] { AcknowledgeAll(); });
    connect(mapList_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) ShowMap(item->data(kMapIdRole).toInt());
    });
    connect(alarmList_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const int channelId = item->data(Qt::UserRole).toInt();
        std::vector<int> maps =
            MapsShowingChannel(store_.maps(), DeviceIndexOf(channelId), ChannelIndexOf(channelId));
        if (!maps.empty()) ShowMap(maps.front());
    });

    events.Subscribe(this, CoreEventHub::MaskOf<MapAlarmRaised>() | CoreEventHub::MaskOf<ConfigChanged>(),
                     [this](const CoreEvent& e) {
                         if (const auto* alarm = std::get_if<MapAlarmRaised>(&e)) {
                             OnMapAlarm(alarm->channelId, alarm->type, alarm->time);
                         } else if (const auto* change = std::get_if<ConfigChanged>(&e)) {
                             if (change->part == ConfigPart::kMaps || change->part == ConfigPart::kDevices ||
                                 change->part == ConfigPart::kAll) {
                                 RefreshMapList();
                                 RefreshTree();
                                 SyncItems();
                             }
                         }
                     });

    RefreshTree();
    RefreshMapList();
    if (!store_.maps().empty()) ShowMap(store_.maps().front().id);
}

UIEmapDlg::~UIEmapDlg() { pictures_.reset(); }

const MapInfo* UIEmapDlg::FindMap(int mapId) const {
    for (const MapInfo& m : store_.maps())
        if (m.id == mapId) return &m;
    return nullptr;
}

void UIEmapDlg::WriteMapLog(int subtype, const char* mapName) {
    log_.LogWrite(kLogOperate, subtype, -1, -1, mapName, CurrentSession().user().userName);
}

bool UIEmapDlg::CheckName(const QString& name) {
    const QByteArray bytes = name.trimmed().toLocal8Bit();
    if (bytes.isEmpty()) {
        ShowMessage(this, "Please enter the map name", kMsgWarning);
        return false;
    }
    if (bytes.size() > kTextBytes - 1) {
        ShowMessage(this, "The map name is too long!", kMsgWarning);
        return false;
    }
    return true;
}

// ----- maps -----

void UIEmapDlg::AddMap() {
    if (!CheckRight(this, kRightMap)) return;
    bool ok = false;
    QString name = QInputDialog::getText(this, Tr("Add map"), Tr("Map name"), QLineEdit::Normal, QString(), &ok);
    if (!ok || !CheckName(name)) return;
    QString picture =
        QFileDialog::getOpenFileName(this, Tr("Map picture"), QString(), Tr("Pictures") + " (*.png *.jpg *.jpeg)");
    if (picture.isEmpty()) return;
    AddMapFromFile(name, picture);
}

void UIEmapDlg::ModifyMap() {
    const MapInfo* map = FindMap(current_);
    if (map == nullptr || !CheckRight(this, kRightMap)) return;
    bool ok = false;
    QString name =
        QInputDialog::getText(this, Tr("Modify map"), Tr("Map name"), QLineEdit::Normal, Local(map->name), &ok);
    if (!ok || !CheckName(name)) return;
    QString picture;
    if (ShowMessage(this, "Do you want to choose another picture for the map?", kMsgAdvice))
        picture = QFileDialog::getOpenFileName(this, Tr("Map picture"), QString(),
                                               Tr("Pictures") + " (*.png *.jpg *.jpeg)");
    ModifyMapTo(current_, name, picture);
}

void UIEmapDlg::DeleteMap() {
    if (FindMap(current_) == nullptr || !CheckRight(this, kRightMap)) return;
    if (!ShowMessage(this, "Do you want to delete the map?", kMsgAdvice)) return;
    DeleteMapNow(current_);
}

bool UIEmapDlg::AddMapFromFile(const QString& name, const QString& picture) {
    if (!CheckRight(this, kRightMap) || !CheckName(name)) return false;
    StartImport(-1, name.trimmed(), picture);
    return true;
}

bool UIEmapDlg::ModifyMapTo(int mapId, const QString& name, const QString& picture) {
    const MapInfo* map = FindMap(mapId);
    if (map == nullptr || !CheckRight(this, kRightMap) || !CheckName(name)) return false;
    if (!picture.isEmpty()) {
        StartImport(mapId, name.trimmed(), picture);
        return true;
    }
    const std::string path = map->path;
    const QByteArray bytes = name.trimmed().toLocal8Bit();
    if (store_.ModifyMap(mapId, bytes.constData(), path.c_str()) != 0) {
        ShowMessage(this, "Modify map failed", kMsgError);
        return false;
    }
    WriteMapLog(kLogModifyMap, bytes.constData());
    RefreshMapList();
    title_->setText(name.trimmed());
    return true;
}

bool UIEmapDlg::DeleteMapNow(int mapId) {
    const MapInfo* map = FindMap(mapId);
    if (map == nullptr || !CheckRight(this, kRightMap)) return false;
    const std::string path = map->path, name = map->name;
    if (store_.DeleteMap(mapId) != 0) {
        ShowMessage(this, "Delete map failed", kMsgError);
        return false;
    }
    // Our copy of its picture goes with it; a picture kept elsewhere is the operator's.
    if (IsOwnMapPicture(path) && unlink(path.c_str()) != 0) Trace("map picture %s: not deleted\n", path.c_str());
    WriteMapLog(kLogDeleteMap, name.c_str());
    RefreshMapList();
    ShowMap(store_.maps().empty() ? -1 : store_.maps().front().id);
    return true;
}

void UIEmapDlg::StartImport(int mapId, const QString& name, const QString& picture) {
    const std::string source = picture.toLocal8Bit().toStdString();
    const std::string folder = MapPictureFolder();
    const ClockSnapshot now = clockSnapshot();
    const int sequence = ++importSequence_;
    msgLabel_->setText(Tr("Copying the picture"));
    pictures_->Post([this, mapId, name, source, folder, now, sequence] {
        MapPictureImport result = ImportMapPicture(source, folder, now, sequence);
        {
            std::lock_guard lock(resultsMutex_);
            imported_.push_back(Imported{mapId, name, std::move(result)});
        }
        PostWindowMessage(this, kMsgMapPictureImported, 0, 0);
    });
}

void UIEmapDlg::FinishImports() {
    std::deque<Imported> done;
    {
        std::lock_guard lock(resultsMutex_);
        done.swap(imported_);
    }
    for (Imported& i : done) {
        msgLabel_->clear();
        if (i.result.rc != 0) {
            ShowMessage(this, i.result.error ? i.result.error : "The picture cannot be copied", kMsgError);
            continue;
        }
        const QByteArray name = i.name.toLocal8Bit();
        int rc;
        int mapId = i.mapId;
        std::string oldPath;
        if (mapId < 0) {
            rc = store_.AddMap(name.constData(), i.result.path.c_str(), &mapId);
        } else {
            const MapInfo* map = FindMap(mapId);
            oldPath = map ? map->path : "";
            rc = map ? store_.ModifyMap(mapId, name.constData(), i.result.path.c_str()) : -1;
        }
        if (rc != 0) {
            unlink(i.result.path.c_str());  // the copy no map refers to
            ShowMessage(this, i.mapId < 0 ? "Add map failed" : "Modify map failed", kMsgError);
            continue;
        }
        if (!oldPath.empty() && oldPath != i.result.path && IsOwnMapPicture(oldPath)) unlink(oldPath.c_str());
        WriteMapLog(i.mapId < 0 ? kLogAddMap : kLogModifyMap, name.constData());
        RefreshMapList();
        ShowMap(mapId);
    }
}

void UIEmapDlg::ShowMap(int mapId) {
    const MapInfo* map = FindMap(mapId);
    current_ = map ? mapId : -1;
    for (auto& [id, graphic] : graphics_) delete graphic;
    graphics_.clear();
    delete background_;
    background_ = nullptr;
    pictureWidth_ = pictureHeight_ = 0;
    scene_->setSceneRect(QRectF());
    title_->setText(map ? Local(map->name) : QString());
    {
        const QSignalBlocker block(mapList_);
        for (int r = 0; r < mapList_->count(); ++r)
            if (mapList_->item(r)->data(kMapIdRole).toInt() == current_) mapList_->setCurrentRow(r);
    }
    if (map == nullptr) return;
    const uint64_t request = ++loadRequest_;
    const std::string path = map->path;
    pictures_->Post([this, request, mapId, path] {
        QImage picture = LoadMapPicture(path);
        {
            std::lock_guard lock(resultsMutex_);
            loaded_.push_back(Loaded{request, mapId, std::move(picture)});
        }
        PostWindowMessage(this, kMsgMapPictureLoaded, 0, 0);
    });
    SyncItems();
}

void UIEmapDlg::FinishLoad() {
    std::deque<Loaded> done;
    {
        std::lock_guard lock(resultsMutex_);
        done.swap(loaded_);
    }
    for (Loaded& l : done) {
        if (l.request != loadRequest_ || l.mapId != current_) continue;  // another map is shown now
        delete background_;
        background_ = nullptr;
        if (l.picture.isNull()) {
            pictureWidth_ = kPlainWidth;
            pictureHeight_ = kPlainHeight;
            msgLabel_->setText(Tr("The map picture cannot be read"));
        } else {
            background_ = scene_->addPixmap(QPixmap::fromImage(l.picture));
            background_->setZValue(0);
            pictureWidth_ = l.picture.width();
            pictureHeight_ = l.picture.height();
            msgLabel_->clear();
        }
        scene_->setSceneRect(0, 0, pictureWidth_, pictureHeight_);
        view_->FitPicture();
    }
}

void UIEmapDlg::RefreshMapList() {
    const QSignalBlocker block(mapList_);
    mapList_->clear();
    for (const MapInfo& m : store_.maps()) {
        auto* item = new QListWidgetItem(Local(m.name), mapList_);
        item->setData(kMapIdRole, m.id);
        if (m.id == current_) mapList_->setCurrentItem(item);
    }
    if (current_ >= 0 && FindMap(current_) == nullptr) {
        // The map shown went (deleted elsewhere): show the first one left.
        QTimer::singleShot(0, this, [this] { ShowMap(store_.maps().empty() ? -1 : store_.maps().front().id); });
    }
}

void UIEmapDlg::RefreshTree() {
    devTree_->clear();
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo* device = directory_.Device(d);
        if (device == nullptr) continue;
        auto* node = new QTreeWidgetItem(devTree_, QStringList(Local(device->name)));
        node->setData(0, kDeviceRole, d);
        const int channels = std::clamp<int>(device->channelCount, 0, kMaxChannels);
        for (int c = 0; c < channels; ++c) {
            auto* leaf = new QTreeWidgetItem(node, QStringList(QString::fromStdString(CellChannelLabel(*device, c))));
            leaf->setData(0, kDeviceRole, d);
            leaf->setData(0, kChannelRole, c);
        }
    }
}

QString UIEmapDlg::ItemLabel(const MapItem& item) const {
    if (item.type == kMapItemChannel) {
        const DeviceInfo* device = directory_.Device(item.deviceIndex);
        if (device == nullptr || item.channelIndex < 0) return Tr("Unkown");
        return QString::fromStdString(CellChannelLabel(*device, item.channelIndex));
    }
    const MapInfo* target = FindMap(item.url);
    return target ? Local(target->name) : Tr("Unkown");
}

void UIEmapDlg::SyncItems() {
    const MapInfo* map = FindMap(current_);
    std::map<int, MapItemGraphic*> kept;
    if (map != nullptr) {
        for (const MapItem& item : map->items) {
            auto found = graphics_.find(item.itemId);
            MapItemGraphic* graphic;
            if (found != graphics_.end()) {
                graphic = found->second;
                graphic->SetItem(item, ItemLabel(item));
                graphics_.erase(found);
            } else {
                graphic = new MapItemGraphic(item, ItemLabel(item),
                                             item.type == kMapItemChannel ? cameraIcon_ : linkIcon_);
                graphic->onMoved = [this](MapItemGraphic* moved) {
                    if (MoveItem(moved->item().itemId, moved->pos()) != 0)
                        moved->setPos(moved->item().x, moved->item().y);  // back where it is kept
                };
                scene_->addItem(graphic);
            }
            const bool alarm = item.type == kMapItemChannel && item.deviceIndex >= 0 &&
                               board_.Flashing(ChannelIdOf(item.deviceIndex, item.channelIndex));
            graphic->SetFlashing(alarm);
            kept[item.itemId] = graphic;
        }
    }
    for (auto& [id, graphic] : graphics_) delete graphic;
    graphics_.swap(kept);
}

MapItemGraphic* UIEmapDlg::ItemGraphic(int itemId) const {
    auto found = graphics_.find(itemId);
    return found == graphics_.end() ? nullptr : found->second;
}

// ----- items -----

int UIEmapDlg::PlaceChannel(int device, int channel, QPointF at) {
    if (FindMap(current_) == nullptr || !CheckRight(this, kRightMap)) return -1;
    MapItem item{};
    item.type = kMapItemChannel;
    item.deviceIndex = device;
    item.channelIndex = channel;
    item.x = static_cast<int>(at.x());
    item.y = static_cast<int>(at.y());
    ClampItemPosition(&item.x, &item.y, pictureWidth_, pictureHeight_);
    int rc = store_.AddMapItem(current_, &item);
    if (rc == -2) ShowMessage(this, "The camera is on this map already", kMsgWarning);
    else if (rc != 0) ShowMessage(this, "Modify map failed", kMsgError);
    else WriteMapLog(kLogModifyMap, FindMap(current_)->name);
    SyncItems();
    return rc;
}

int UIEmapDlg::PlaceLink(int mapId, QPointF at) {
    if (FindMap(current_) == nullptr || !CheckRight(this, kRightMap)) return -1;
    if (mapId == current_) {
        ShowMessage(this, "A map cannot link to itself", kMsgWarning);
        return -1;
    }
    if (FindMap(mapId) == nullptr) return -1;
    MapItem item{};
    item.type = kMapItemLink;
    item.url = mapId;
    item.x = static_cast<int>(at.x());
    item.y = static_cast<int>(at.y());
    ClampItemPosition(&item.x, &item.y, pictureWidth_, pictureHeight_);
    int rc = store_.AddMapItem(current_, &item);
    if (rc == -2) ShowMessage(this, "The link is on this map already", kMsgWarning);
    else if (rc != 0) ShowMessage(this, "Modify map failed", kMsgError);
    else WriteMapLog(kLogModifyMap, FindMap(current_)->name);
    SyncItems();
    return rc;
}

int UIEmapDlg::MoveItem(int itemId, QPointF at) {
    MapItemGraphic* graphic = ItemGraphic(itemId);
    if (graphic == nullptr || !CheckRight(this, kRightMap)) return -1;
    MapItem item = graphic->item();
    item.x = static_cast<int>(at.x());
    item.y = static_cast<int>(at.y());
    ClampItemPosition(&item.x, &item.y, pictureWidth_, pictureHeight_);
    int rc = store_.ModifyMapItem(item);
    if (rc != 0) ShowMessage(this, "Modify map failed", kMsgError);
    SyncItems();
    return rc;
}

int UIEmapDlg::DeleteItem(int itemId) {
    if (ItemGraphic(itemId) == nullptr || !CheckRight(this, kRightMap)) return -1;
    int rc = store_.DeleteMapItem(itemId);
    if (rc != 0) ShowMessage(this, "Modify map failed", kMsgError);
    else WriteMapLog(kLogModifyMap, FindMap(current_)->name);
    SyncItems();
    return rc;
}

int UIEmapDlg::SetItemColour(int itemId, int colour) {
    MapItemGraphic* graphic = ItemGraphic(itemId);
    if (graphic == nullptr || colour < 0 || colour >= kItemColourCount || !CheckRight(this, kRightMap)) return -1;
    MapItem item = graphic->item();
    item.color = colour;
    int rc = store_.ModifyMapItem(item);
    if (rc != 0) ShowMessage(this, "Modify map failed", kMsgError);
    SyncItems();
    return rc;
}

void UIEmapDlg::ActivateItem(int itemId) {
    MapItemGraphic* graphic = ItemGraphic(itemId);
    if (graphic == nullptr) return;
    const MapItem item = graphic->item();
    if (item.type != kMapItemChannel) {
        if (FindMap(item.url)) ShowMap(item.url);
        return;
    }
    if (item.deviceIndex < 0 || item.channelIndex < 0) return;  // its channel is gone
    Acknowledge(ChannelIdOf(item.deviceIndex, item.channelIndex));
    if (openLive_ && openLive_(item.deviceIndex, item.channelIndex) != 0)
        msgLabel_->setText(Tr("The live view cannot show the camera"));
}

void UIEmapDlg::ShowItemMenu(MapItemGraphic* graphic, QPoint globalPos) {
    const MapItem item = graphic->item();
    QMenu menu(this);
    if (item.type == kMapItemChannel) {
        menu.addAction(Tr("Open video"), this, [this, id = item.itemId] { ActivateItem(id); });
        if (item.deviceIndex >= 0 && board_.Flashing(ChannelIdOf(item.deviceIndex, item.channelIndex)))
            menu.addAction(Tr("Acknowledge"), this,
                           [this, id = ChannelIdOf(item.deviceIndex, item.channelIndex)] { Acknowledge(id); });
    } else {
        menu.addAction(Tr("Open map"), this, [this, id = item.itemId] { ActivateItem(id); });
    }
    QMenu* colours = menu.addMenu(Tr("Colour"));
    for (int c = 0; c < kItemColourCount; ++c) {
        QAction* action = colours->addAction(Tr(ItemColourName(c)), this, [this, id = item.itemId, c] {
            SetItemColour(id, c);
        });
        action->setCheckable(true);
        action->setChecked(item.color == c);
    }
    menu.addAction(Tr("Delete"), this, [this, id = item.itemId] { DeleteItem(id); });
    menu.exec(globalPos);
}

// ----- alarms -----

void UIEmapDlg::OnMapAlarm(int channelId, int type, uint32_t time) {
    if (!board_.Raise(channelId, type, time)) return;
    RefreshAlarms();
    SyncItems();
    if (!flashTimer_->isActive()) flashTimer_->start();
}

void UIEmapDlg::Acknowledge(int channelId) {
    if (!board_.Acknowledge(channelId)) return;
    RefreshAlarms();
    SyncItems();
}

void UIEmapDlg::AcknowledgeAll() {
    board_.AcknowledgeAll();
    RefreshAlarms();
    SyncItems();
}

void UIEmapDlg::RefreshAlarms() {
    alarmList_->clear();
    for (const MapAlarmBoard::Pending& p : board_.pending()) {
        const DeviceInfo* device = directory_.Device(DeviceIndexOf(p.channelId));
        QString where = device ? QString::fromStdString(CellChannelLabel(*device, ChannelIndexOf(p.channelId)))
                               : QString::number(p.channelId);
        auto* row = new QListWidgetItem(QString::fromStdString(AlarmTimeText(p.time)) + "  " + where + "  " +
                                            Tr(MapAlarmTypeName(p.type)),
                                        alarmList_);
        row->setData(Qt::UserRole, p.channelId);
        row->setForeground(QColor(0xFF, 0x40, 0x40));
    }
    if (board_.pending().empty()) flashTimer_->stop();
}

void UIEmapDlg::Flash() {
    phase_ = !phase_;
    for (auto& [id, graphic] : graphics_) graphic->SetPhase(phase_);
}

void UIEmapDlg::WaitForPictures() {
    pictures_->WaitIdle();
    FinishImports();
    FinishLoad();
}

bool UIEmapDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == kMsgMapPictureImported) FinishImports();
        else if (m->message() == kMsgMapPictureLoaded) FinishLoad();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace ocv
