#pragma once
// The map page's widgets: the map view (the picture with its items, taking channels and maps
// dropped on it), the items themselves, and the two lists that items are dragged from.
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QListWidget>
#include <QPixmap>
#include <QTreeWidget>
#include <functional>

#include "store/records.h"

namespace ocv {

// What a drag from the page's lists carries.
constexpr const char* kChannelMime = "application/x-ocuvant-channel";  // "<device> <channel>"
constexpr const char* kMapMime = "application/x-ocuvant-map";          // "<map id>"
constexpr int kDeviceRole = Qt::UserRole + 1;
constexpr int kChannelRole = Qt::UserRole + 2;
constexpr int kMapIdRole = Qt::UserRole + 3;

// The colours an item's label may have (its COLOR value is the index).
constexpr int kItemColourCount = 6;
QColor ItemColour(int colour);
const char* ItemColourName(int colour);  // English

class MapItemGraphic : public QGraphicsItem {
public:
    static constexpr int kIconSize = 32;

    MapItemGraphic(const MapItem& item, QString label, const QPixmap& icon);
    const MapItem& item() const { return item_; }
    void SetItem(const MapItem& item, QString label);
    // A pending map alarm: the item flashes, lit on every other phase.
    void SetFlashing(bool flashing);
    bool Flashing() const { return flashing_; }
    void SetPhase(bool lit);
    bool Lit() const { return flashing_ && lit_; }
    // Told when a drag of the item ends somewhere else (scene = picture coordinates).
    std::function<void(MapItemGraphic* moved)> onMoved;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    MapItem item_;
    QString label_;
    QPixmap icon_;
    bool flashing_ = false;
    bool lit_ = false;
    QPointF pressedAt_;
};

class EmapView : public QGraphicsView {
    Q_OBJECT
public:
    explicit EmapView(QWidget* parent = nullptr);

    // A channel or a map dropped at a point of the picture.
    std::function<void(int device, int channel, QPointF at)> onChannelDropped;
    std::function<void(int mapId, QPointF at)> onMapDropped;
    // An item double-clicked, or its menu asked for.
    std::function<void(MapItemGraphic* item)> onItemActivated;
    std::function<void(MapItemGraphic* item, QPoint globalPos)> onItemMenu;

    // Fits the picture into the view again (after a new picture or a resize).
    void FitPicture();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MapItemGraphic* ItemAt(const QPoint& viewPos) const;
};

// The channels to place: devices, each with its channels (kDeviceRole, kChannelRole).
class EmapChannelTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit EmapChannelTree(QWidget* parent = nullptr);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
};

// The maps (kMapIdRole); dragging one onto the view places a link to it.
class EmapMapList : public QListWidget {
    Q_OBJECT
public:
    explicit EmapMapList(QWidget* parent = nullptr);

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
};

}  // namespace ocv
