#include "videogrid/video_min.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include "videogrid/cell_messages.h"
#include "widgets/window_message.h"

namespace ocv {

UIVideoMin::UIVideoMin(QWidget* videoWindow)
    : QWidget(videoWindow), area_(new VideoPictureArea(kBackground, this)) {
    setObjectName("UIVideoMin");
    area_->setObjectName("insetPicture");
}

void UIVideoMin::Report(int number, const QPoint& insetPoint) {
    QWidget* target = parentWidget();
    if (target == nullptr) return;
    QPoint p = mapToParent(insetPoint);
    WindowMessage message(number, 0, PackPoint(p.x(), p.y()));
    QCoreApplication::sendEvent(target, &message);
}

void UIVideoMin::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) Report(InsetLeftDown, p);
    else if (event->button() == Qt::RightButton) Report(InsetRightDown, p);
    event->accept();
}

void UIVideoMin::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Report(InsetDoubleClick, event->position().toPoint());
    event->accept();
}

void UIVideoMin::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    area_->setGeometry(rect());
}

}  // namespace ocv
