#pragma once
// The electronic map page: maps whose pictures the operator chose (PNG or JPEG, copied into the
// application directory), channel items and links to other maps placed by dragging from the
// lists and moved by dragging on the map, all kept through the store's map operations. A
// double-click opens a channel's live video (the live view is asked through the opener the
// client gives) or the linked map. Map alarms (channels armed and linked to the map) flash on
// their items until the operator acknowledges them. Every change needs the "Map" right.
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "emap/map_picture.h"
#include "emap/map_rules.h"
#include "widgets/page.h"

class QGraphicsPixmapItem;
class QGraphicsScene;
class QLabel;
class QListWidget;
class QTimer;

namespace ocv {

class ChannelDirectory;
class ConfigStore;
class EmapChannelTree;
class EmapMapList;
class EmapView;
class EventBridge;
class LogWriter;
class MapItemGraphic;
struct MapInfo;

class UIEmapDlg : public QWidget, public Page {
    Q_OBJECT
public:
    // Asks the live view to show a channel (opening it if needed): 0, or -1.
    using OpenLiveFn = std::function<int(int device, int channel)>;

    UIEmapDlg(ConfigStore& store, LogWriter& log, const ChannelDirectory& directory, EventBridge& events,
              OpenLiveFn openLive, QWidget* parent);
    ~UIEmapDlg() override;

    QWidget* Widget() override { return this; }

    // The buttons: they ask for names and files, then do what the calls below do.
    void AddMap();
    void ModifyMap();
    void DeleteMap();
    // A new map named name with a copy of the picture file; it appears once the copy is made
    // (off this thread). false when refused at once (right, name).
    bool AddMapFromFile(const QString& name, const QString& picture);
    // Renames a map and, when picture is not empty, gives it a copy of that picture.
    bool ModifyMapTo(int mapId, const QString& name, const QString& picture);
    bool DeleteMapNow(int mapId);

    // Item operations at picture coordinates; the store's result (0, -1, -2), or -1 refused.
    int PlaceChannel(int device, int channel, QPointF at);
    int PlaceLink(int mapId, QPointF at);
    int MoveItem(int itemId, QPointF at);
    int DeleteItem(int itemId);
    int SetItemColour(int itemId, int colour);
    // A double-click: a channel's live video (its alarm acknowledged), or the linked map.
    void ActivateItem(int itemId);

    void ShowMap(int mapId);
    int CurrentMap() const { return current_; }
    MapItemGraphic* ItemGraphic(int itemId) const;
    const MapAlarmBoard& alarms() const { return board_; }
    void Acknowledge(int channelId);
    void AcknowledgeAll();
    // Tests: waits for the picture thread, then handles what it posted.
    void WaitForPictures();
    EmapView* view() const { return view_; }
    QListWidget* alarmList() const { return alarmList_; }

protected:
    bool event(QEvent* e) override;

private:
    struct Loaded {
        uint64_t request;
        int mapId;
        QImage picture;
    };
    struct Imported {
        int mapId;  // -1 for a new map
        QString name;
        MapPictureImport result;
    };

    const MapInfo* FindMap(int mapId) const;
    bool CheckName(const QString& name);
    void StartImport(int mapId, const QString& name, const QString& picture);
    void FinishImports();
    void FinishLoad();
    void RefreshMapList();
    void RefreshTree();
    void SyncItems();
    void RefreshAlarms();
    QString ItemLabel(const MapItem& item) const;
    void OnMapAlarm(int channelId, int type, uint32_t time);
    void ShowItemMenu(MapItemGraphic* item, QPoint globalPos);
    void Flash();
    void WriteMapLog(int subtype, const char* mapName);

    ConfigStore& store_;
    LogWriter& log_;
    const ChannelDirectory& directory_;
    OpenLiveFn openLive_;
    MapAlarmBoard board_;
    int current_ = -1;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    uint64_t loadRequest_ = 0;
    int importSequence_ = 0;
    bool phase_ = false;

    QGraphicsScene* scene_;
    QGraphicsPixmapItem* background_ = nullptr;
    std::map<int, MapItemGraphic*> graphics_;  // by item id
    QPixmap cameraIcon_, linkIcon_;
    EmapMapList* mapList_;
    EmapChannelTree* devTree_;
    QListWidget* alarmList_;
    EmapView* view_;
    QLabel* title_;
    QLabel* msgLabel_;
    QTimer* flashTimer_;

    std::mutex resultsMutex_;  // what the picture thread hands back
    std::deque<Imported> imported_;
    std::deque<Loaded> loaded_;
    // Last: it runs tasks that post to this page, so it ends first.
    std::unique_ptr<MapPictureWorker> pictures_;
};

}  // namespace ocv
