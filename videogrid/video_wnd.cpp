#include "videogrid/video_wnd.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

#include "videogrid/cell_messages.h"
#include "videogrid/video_min.h"
#include "videogrid/video_play_bar.h"
#include "widgets/window_message.h"

namespace ocv {

UIVideoWnd::UIVideoWnd(QObject* owner, int barMode, QWidget* parent)
    : QWidget(parent),
      owner_(owner),
      barMode_(barMode),
      logo_(new VideoPictureArea(kNoChannelBackground, this)),
      bar_(new UIVideoPlayBar(this)) {
    setObjectName("UIVideoWnd");
    logo_->setObjectName("logoVer");
    bar_->setObjectName("UIVideoPlayBar");
    bar_->SetBarMode(barMode);
    bar_->hide();
    setMouseTracking(true);  // moves without a button reach the page too (drag, zoom)
    setFocusPolicy(Qt::ClickFocus);
}

void UIVideoWnd::SetCellIndex(int index) {
    cellIndex_ = index;
    bar_->SetCellIndex(index);
}

void UIVideoWnd::SetBarMode(int mode) {
    barMode_ = mode;
    bar_->SetBarMode(mode);
    if (mode != kBarModePlayback) bar_->hide();
}

void UIVideoWnd::SetPageWindow(QObject* page) { bar_->SetPageWindow(page); }

void UIVideoWnd::SetChannelName(const QString& name) {
    channelName_ = name;
    bar_->SetName(name);
    logo_->SetBackground(name.isEmpty() ? kNoChannelBackground : kChannelBackground);
    // Without a channel the last picture of the previous one must not stay on screen.
    if (name.isEmpty()) logo_->ClearPicture();
}

void UIVideoWnd::SetPaused(bool paused) { bar_->SetPaused(paused); }

void UIVideoWnd::ShowBarForSelection(bool selected) {
    if (barMode_ != kBarModePlayback) return;
    bar_->setVisible(selected);
    if (selected) bar_->raise();
}

void UIVideoWnd::ShowInset(bool show) {
    if (inset_ == nullptr) {
        if (!show) return;
        inset_ = new UIVideoMin(this);
        PlaceInset();
    }
    inset_->setVisible(show);
    if (show) inset_->raise();
}

bool UIVideoWnd::IsInsetShown() const { return inset_ != nullptr && inset_->isVisibleTo(this); }

void* UIVideoWnd::InsetSurfaceHandle() const {
    return inset_ == nullptr ? nullptr : inset_->SurfaceHandle();
}

void UIVideoWnd::Repaint() {
    logo_->update();
    if (inset_ != nullptr) inset_->PictureArea()->update();
}

void UIVideoWnd::PlaceInset() {
    if (inset_ == nullptr) return;
    const int side = width() / 3;
    inset_->setGeometry(0, height() - side, side, side);
}

void UIVideoWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    logo_->setGeometry(rect());
    bar_->setGeometry(0, height() - UIVideoPlayBar::kHeight, width(), UIVideoPlayBar::kHeight);
    PlaceInset();
}

void UIVideoWnd::Notify(int message, intptr_t wParam, intptr_t lParam) {
    if (owner_ != nullptr) PostWindowMessage(owner_, message, wParam, lParam);
}

bool UIVideoWnd::event(QEvent* event) {
    if (event->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(event);
        switch (m->message()) {
            case InsetLeftDown: Notify(CellSelect, cellIndex_, m->lParam()); return true;
            case InsetDoubleClick: Notify(CellActivate, cellIndex_, m->lParam()); return true;
            case InsetRightDown: Notify(CellMenu, cellIndex_, m->lParam()); return true;
            default: return QWidget::event(event);
        }
    }
    return QWidget::event(event);
}

static intptr_t PointOf(const QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    return PackPoint(p.x(), p.y());
}

void UIVideoWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Notify(CellSelect, cellIndex_, PointOf(event));
    else if (event->button() == Qt::RightButton) Notify(CellMenu, cellIndex_, PointOf(event));
    event->accept();
}

void UIVideoWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Notify(CellButtonUp, cellIndex_, PointOf(event));
    event->accept();
}

void UIVideoWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Notify(CellActivate, cellIndex_, PointOf(event));
    event->accept();
}

void UIVideoWnd::mouseMoveEvent(QMouseEvent* event) {
    Notify(CellMouseMove, cellIndex_, PointOf(event));
    event->accept();
}

void UIVideoWnd::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    const QPoint p = mapFromGlobal(QCursor::pos());
    Notify(CellKey, kEscapeKeyCode, PackPoint(p.x(), p.y()));
    event->accept();
}

}  // namespace ocv
