#pragma once
// The inset of a video window: a square in its lower-left corner where the live view shows
// a camera's thermal picture. Its clicks go to the video window as InsetLeftDown,
// InsetDoubleClick and InsetRightDown (lParam = the point in video-window coordinates), so
// a click on the thermal picture behaves like a click on the cell.
#include <QPointer>
#include <QWidget>

#include "videogrid/qt_video_surface.h"

namespace ocv {

class UIVideoMin : public QWidget {
    Q_OBJECT
public:
    static constexpr QRgb kBackground = 0xFF313131;

    // videoWindow is the parent that receives the click notifications.
    explicit UIVideoMin(QWidget* videoWindow);

    VideoPictureArea* PictureArea() const { return area_; }
    // The handle for the thermal stream's player.
    void* SurfaceHandle() { return area_->Surface().Handle(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Report(int number, const QPoint& insetPoint);

    VideoPictureArea* area_;
};

}  // namespace ocv
