#pragma once
// The playback time line: a tick row and one row per window with the recordings as bars in
// their type colours, the clip range and the cursor time, drawn by the rules of TimelineModel.
// The pointer is reported to the page as window messages: 1828 while it moves (window and
// second, or -1 and -1 off the rows; also while dragging, so the preview follows a scrub),
// 1829 when the left button is released over a row (a click, or the end of a scrub) and 1825
// for a right click.
#include <QPointer>
#include <QWidget>

namespace ocv::playback {

class PlaybackController;

class TimelineWnd : public QWidget {
    Q_OBJECT
public:
    TimelineWnd(PlaybackController& controller, QObject* page, QWidget* parent = nullptr);

    // The pointer at a point of the control: 1828 when the window or second under it changed.
    void PointerAt(QPoint p);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Post(int message, intptr_t wParam, intptr_t lParam);

    PlaybackController& controller_;
    QPointer<QObject> page_;
    bool dragging_ = false;
    int lastWindow_ = -2, lastSecond_ = -2;
};

}  // namespace ocv::playback
