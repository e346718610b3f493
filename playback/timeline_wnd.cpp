#include "playback/timeline_wnd.h"

#include <QMouseEvent>
#include <QPainter>

#include "playback/playback_controller.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"

namespace ocv::playback {
namespace {

QColor Colour(uint32_t argb) { return QColor::fromRgba(argb); }
QRect RectOf(const BarRect& b) { return QRect(b.left, b.top, b.right - b.left, b.bottom - b.top); }

}  // namespace

TimelineWnd::TimelineWnd(PlaybackController& controller, QObject* page, QWidget* parent)
    : QWidget(parent), controller_(controller), page_(page) {
    setObjectName("timelineWnd");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(100);
}

void TimelineWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    controller_.timeline().Resize(width(), height());
}

void TimelineWnd::paintEvent(QPaintEvent*) {
    const TimelineModel& m = controller_.timeline();
    QPainter p(this);
    const int w = width(), h = height(), r = m.RowHeight();
    p.fillRect(rect(), Colour(kTimelineBackground));
    p.fillRect(0, 0, w, r, Colour(kTimelineTopRow));
    p.setPen(Colour(kTimelineTopRow));
    p.drawLine(kTimeAreaLeft, 0, kTimeAreaLeft, h);
    for (int row = 1; row <= kRows; ++row) p.drawLine(0, row * r, w, row * r);

    QFont small = font();
    small.setPixelSize(std::max(8, std::min(11, r - 8)));
    p.setFont(small);
    for (int i = 0; i <= kDivisions; ++i) {
        const int x = m.TickX(i);
        p.fillRect(x, r - 6, 2, 6, Colour(kTickColour));
        p.setPen(Colour(kLabelColour));
        p.drawText(QRect(x - 40, 0, 40, r - 4), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromStdString(m.TickLabel(i)));
    }
    const QString word = Tr("Windows");
    for (int window = 0; window < kTimelineWindows; ++window) {
        p.setPen(Colour(kLabelColour));
        p.drawText(QRect(6, (window + 1) * r, kTimeAreaLeft - 8, r), Qt::AlignLeft | Qt::AlignVCenter,
                   QString("%1 %2").arg(word).arg(window + 1, 2, 10, QChar('0')));
        BarRect bar;
        for (const RecordEntry& e : controller_.WindowList(window))
            if (m.EntryBar(window, e, &bar)) p.fillRect(RectOf(bar), Colour(RecordTypeColour(e.type)));
    }
    BarRect clip;
    if (m.ClipBar(controller_.clip(), &clip)) p.fillRect(RectOf(clip), Colour(kClipColour));
    const int cursor = m.cursor();
    if (cursor >= 0 && cursor >= m.viewStart() * 60 && cursor < (m.viewStart() + m.visibleMinutes()) * 60) {
        const int x = m.XOfSecond(cursor);
        p.setPen(Colour(kCursorColour));
        p.drawLine(x, r, x, h);
        p.drawText(QRect(x - 30, 0, 60, r), Qt::AlignCenter, QString::fromStdString(TimelineModel::CursorText(cursor)));
    }
}

void TimelineWnd::Post(int message, intptr_t wParam, intptr_t lParam) {
    if (page_) PostWindowMessage(page_, message, wParam, lParam);
}

void TimelineWnd::PointerAt(QPoint point) {
    int window = -1, second = -1;
    if (!controller_.timeline().Hit(point.x(), point.y(), &window, &second)) window = second = -1;
    if (window == lastWindow_ && second == lastSecond_) return;
    lastWindow_ = window;
    lastSecond_ = second;
    Post(kMsgTimelineHover, window, second);
}

void TimelineWnd::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        Post(kMsgClipClear, 0, 0);
    } else if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        PointerAt(p);
    }
    event->accept();
}

void TimelineWnd::mouseMoveEvent(QMouseEvent* event) {
    PointerAt(event->position().toPoint());
    event->accept();
}

void TimelineWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    int window = -1, second = -1;
    if (controller_.timeline().Hit(event->position().toPoint().x(), event->position().toPoint().y(), &window, &second))
        Post(kMsgTimelineClick, window, second);
    event->accept();
}

void TimelineWnd::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (dragging_) return;
    lastWindow_ = lastSecond_ = -2;
    Post(kMsgTimelineHover, -1, -1);
}

}  // namespace ocv::playback
