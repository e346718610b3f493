#include "setup/motion_preview.h"

#include <QMouseEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "videogrid/qt_video_surface.h"

namespace ocv {

MotionPreview::MotionPreview(QWidget* parent) : QWidget(parent), area_(new VideoPictureArea(qRgb(0x20, 0x20, 0x20), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area_);
    setMinimumSize(352, 288);
}

void MotionPreview::SetPictureSize(int width, int height) {
    pictureWidth_ = std::max(width, 0);
    pictureHeight_ = std::max(height, 0);
}

void MotionPreview::SetDrawing(bool on) {
    drawing_ = on;
    pressed_ = false;
    setCursor(on ? Qt::CrossCursor : Qt::ArrowCursor);
}

QPoint MotionPreview::PicturePoint(const QPoint& w) const {
    // Where the player put the picture inside the area (it keeps margins), else the whole area.
    QRect placed(0, 0, area_->width(), area_->height());
    if (auto last = area_->LastPicture(); last && last->width > 0 && last->height > 0)
        placed = QRect(last->x, last->y, last->width, last->height);
    if (placed.width() <= 0 || placed.height() <= 0 || pictureWidth_ <= 0 || pictureHeight_ <= 0) return {};
    QPoint inArea = area_->mapFrom(this, w);
    int x = std::clamp(inArea.x() - placed.x(), 0, placed.width());
    int y = std::clamp(inArea.y() - placed.y(), 0, placed.height());
    return {int(int64_t(x) * pictureWidth_ / placed.width()), int(int64_t(y) * pictureHeight_ / placed.height())};
}

AreaRect MotionPreview::DragRect(const QPoint& to) const {
    QPoint a = PicturePoint(start_), b = PicturePoint(to);
    return AreaFromDrag(a.x(), a.y(), b.x(), b.y(), pictureWidth_, pictureHeight_);
}

void MotionPreview::mousePressEvent(QMouseEvent* e) {
    if (!drawing_ || e->button() != Qt::LeftButton || pictureWidth_ <= 0) return;
    pressed_ = true;
    start_ = e->position().toPoint();
}

void MotionPreview::mouseMoveEvent(QMouseEvent* e) {
    if (!pressed_) return;
    if (dragging_) dragging_(DragRect(e->position().toPoint()));
}

void MotionPreview::mouseReleaseEvent(QMouseEvent* e) {
    if (!pressed_ || e->button() != Qt::LeftButton) return;
    pressed_ = false;
    AreaRect r = DragRect(e->position().toPoint());
    if (dragging_) dragging_(AreaRect{});
    if (!r.Empty() && drawn_) drawn_(r);
}

}  // namespace ocv
