#include "emap/map_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QGraphicsSceneMouseEvent>
#include <QMimeData>
#include <QPainter>

namespace ocv {
namespace {

struct Colour {
    QRgb rgb;
    const char* name;
};
constexpr Colour kColours[kItemColourCount] = {{0xFFFFFFFF, "White"}, {0xFFFF4040, "Red"},
                                               {0xFF40D040, "Green"}, {0xFF4090FF, "Blue"},
                                               {0xFFFFD040, "Yellow"}, {0xFF40E0E0, "Cyan"}};

// The numbers a drag carries: exactly `count` decimal integers separated by one space.
bool ParseInts(const QByteArray& data, int count, int* out) {
    if (data.size() > 64) return false;
    QList<QByteArray> parts = data.split(' ');
    if (parts.size() != count) return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        out[i] = parts[i].toInt(&ok);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

QColor ItemColour(int colour) {
    return QColor::fromRgba(kColours[colour >= 0 && colour < kItemColourCount ? colour : 0].rgb);
}

const char* ItemColourName(int colour) {
    return kColours[colour >= 0 && colour < kItemColourCount ? colour : 0].name;
}

MapItemGraphic::MapItemGraphic(const MapItem& item, QString label, const QPixmap& icon)
    : item_(item), label_(std::move(label)), icon_(icon) {
    setFlag(ItemIsMovable);
    setFlag(ItemIsSelectable);
    setPos(item.x, item.y);
    setZValue(1);
}

void MapItemGraphic::SetItem(const MapItem& item, QString label) {
    prepareGeometryChange();
    item_ = item;
    label_ = std::move(label);
    setPos(item.x, item.y);
    update();
}

void MapItemGraphic::SetFlashing(bool flashing) {
    if (flashing_ == flashing) return;
    flashing_ = flashing;
    lit_ = flashing;
    update();
}

void MapItemGraphic::SetPhase(bool lit) {
    if (!flashing_ || lit_ == lit) return;
    lit_ = lit;
    update();
}

QRectF MapItemGraphic::boundingRect() const {
    const qreal half = kIconSize / 2.0 + 4;
    return QRectF(-std::max<qreal>(half, 90), -half, std::max<qreal>(2 * half, 180), 2 * half + 18);
}

void MapItemGraphic::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const qreal half = kIconSize / 2.0;
    QRectF iconRect(-half, -half, kIconSize, kIconSize);
    if (Lit()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 0, 0, 200));
        painter->drawEllipse(iconRect.adjusted(-4, -4, 4, 4));
    }
    if (!icon_.isNull()) {
        painter->drawPixmap(iconRect.toRect(), icon_);
    } else {
        painter->setPen(QPen(ItemColour(item_.color), 2));
        painter->setBrush(QColor(0x1b, 0x1f, 0x24));
        painter->drawEllipse(iconRect);
    }
    if (isSelected()) {
        painter->setPen(QPen(QColor(0x1f, 0x6f, 0xb8), 2, Qt::DashLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(iconRect.adjusted(-3, -3, 3, 3));
    }
    painter->setPen(ItemColour(item_.color));
    painter->drawText(QRectF(-90, half + 2, 180, 16), Qt::AlignHCenter | Qt::AlignTop, label_);
}

void MapItemGraphic::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    pressedAt_ = pos();
    QGraphicsItem::mousePressEvent(event);
}

void MapItemGraphic::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mouseReleaseEvent(event);
    if (pos() != pressedAt_ && onMoved) onMoved(this);
}

EmapView::EmapView(QWidget* parent) : QGraphicsView(parent) {
    setAcceptDrops(true);
    setDragMode(QGraphicsView::NoDrag);
    setRenderHint(QPainter::Antialiasing);
    setRenderHint(QPainter::SmoothPixmapTransform);
    setBackgroundBrush(QColor(0x14, 0x18, 0x1d));
}

void EmapView::FitPicture() {
    if (scene() == nullptr || scene()->sceneRect().isEmpty()) return;
    fitInView(scene()->sceneRect(), Qt::KeepAspectRatio);
}

void EmapView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    FitPicture();
}

void EmapView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(kChannelMime) || event->mimeData()->hasFormat(kMapMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void EmapView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(kChannelMime) || event->mimeData()->hasFormat(kMapMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void EmapView::dropEvent(QDropEvent* event) {
    const QPointF at = mapToScene(event->position().toPoint());
    const QMimeData* data = event->mimeData();
    int numbers[2] = {};
    if (data->hasFormat(kChannelMime) && ParseInts(data->data(kChannelMime), 2, numbers)) {
        event->acceptProposedAction();
        if (onChannelDropped) onChannelDropped(numbers[0], numbers[1], at);
        return;
    }
    if (data->hasFormat(kMapMime) && ParseInts(data->data(kMapMime), 1, numbers)) {
        event->acceptProposedAction();
        if (onMapDropped) onMapDropped(numbers[0], at);
        return;
    }
    event->ignore();
}

MapItemGraphic* EmapView::ItemAt(const QPoint& viewPos) const {
    for (QGraphicsItem* item : items(viewPos))
        if (auto* graphic = dynamic_cast<MapItemGraphic*>(item)) return graphic;
    return nullptr;
}

void EmapView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (MapItemGraphic* item = ItemAt(event->position().toPoint())) {
        if (onItemActivated) onItemActivated(item);
        return;
    }
    QGraphicsView::mouseDoubleClickEvent(event);
}

void EmapView::contextMenuEvent(QContextMenuEvent* event) {
    if (MapItemGraphic* item = ItemAt(event->pos())) {
        if (onItemMenu) onItemMenu(item, event->globalPos());
        return;
    }
    QGraphicsView::contextMenuEvent(event);
}

EmapChannelTree::EmapChannelTree(QWidget* parent) : QTreeWidget(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setHeaderHidden(true);
}

QStringList EmapChannelTree::mimeTypes() const { return {kChannelMime}; }

QMimeData* EmapChannelTree::mimeData(const QList<QTreeWidgetItem*>& items) const {
    for (QTreeWidgetItem* item : items) {
        QVariant channel = item->data(0, kChannelRole);
        if (!channel.isValid()) continue;  // a device: only its channels are placed
        auto* data = new QMimeData;
        data->setData(kChannelMime, QByteArray::number(item->data(0, kDeviceRole).toInt()) + ' ' +
                                        QByteArray::number(channel.toInt()));
        return data;
    }
    return nullptr;
}

EmapMapList::EmapMapList(QWidget* parent) : QListWidget(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

QStringList EmapMapList::mimeTypes() const { return {kMapMime}; }

QMimeData* EmapMapList::mimeData(const QList<QListWidgetItem*>& items) const {
    if (items.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setData(kMapMime, QByteArray::number(items.first()->data(kMapIdRole).toInt()));
    return data;
}

}  // namespace ocv
