#pragma once
// The remote configuration page's preview: the selected channel's live picture (played by the
// device library into the area) on which the operator drags motion-detection rectangles while
// drawing is on. The rectangles are in the pixels of the picture the device's motion record
// describes; the device library's draw callback outlines them over every picture.
#include <QWidget>
#include <functional>

#include "setup/motion_areas.h"

namespace ocv {

class VideoPictureArea;

class MotionPreview : public QWidget {
    Q_OBJECT
public:
    explicit MotionPreview(QWidget* parent = nullptr);
    VideoPictureArea& area() const { return *area_; }
    // The picture size the rectangles are measured in (0 x 0: drawing takes nothing).
    void SetPictureSize(int width, int height);
    void SetDrawing(bool on);
    bool drawing() const { return drawing_; }
    // A rectangle the operator finished; the page decides whether it is kept.
    void SetAreaDrawnHandler(std::function<void(const AreaRect&)> fn) { drawn_ = std::move(fn); }
    // The rectangle under way changed (empty at the end of a drag).
    void SetDraggingHandler(std::function<void(const AreaRect&)> fn) { dragging_ = std::move(fn); }
    // The point of the picture under a point of the widget, clamped into the picture.
    QPoint PicturePoint(const QPoint& widgetPoint) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    AreaRect DragRect(const QPoint& to) const;

    VideoPictureArea* area_;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    bool drawing_ = false;
    bool pressed_ = false;
    QPoint start_;
    std::function<void(const AreaRect&)> drawn_;
    std::function<void(const AreaRect&)> dragging_;
};

}  // namespace ocv
