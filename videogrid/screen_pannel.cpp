#include "videogrid/screen_pannel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "videogrid/cell_messages.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/window_message.h"

namespace ocv {

UIScreenPannel::UIScreenPannel(QObject* owner, const ScreenPannelOptions& options, QWidget* parent)
    : QWidget(parent != nullptr ? parent : qobject_cast<QWidget*>(owner)),
      owner_(owner),
      cellCount_(std::clamp(options.cellCount, 1, kMaxCells)),
      stripStyle_(options.stripStyle),
      titleFlag_(options.titleFlag) {
    setObjectName("UIScreenPannel");
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < cellCount_; ++i) {
        auto* cell = new UIScreenWnd(i, stripStyle_, titleFlag_, owner, this);
        cell->setGeometry(0, 0, 0, 0);
        cell->hide();
        cells_[static_cast<size_t>(i)] = cell;
    }
    ApplySelection();
}

UIScreenPannel::~UIScreenPannel() {
    // Put the page and its window back if the panel goes while in full screen.
    if (fullScreen_) {
        if (fullScreenPage_ != nullptr) {
            if (QWidget* top = fullScreenPage_->window(); top != nullptr) top->show();
            fullScreenPage_->show();
        }
    }
}

UIScreenWnd* UIScreenPannel::Cell(int cell) const {
    return IsCell(cell) ? cells_[static_cast<size_t>(cell)] : nullptr;
}

void* UIScreenPannel::VideoSurfaceOf(int cell) const {
    UIScreenWnd* c = Cell(cell);
    return c == nullptr ? nullptr : c->VideoWindow()->SurfaceHandle();
}

void* UIScreenPannel::InsetSurfaceOf(int cell) const {
    UIScreenWnd* c = Cell(cell);
    return c == nullptr ? nullptr : c->VideoWindow()->InsetSurfaceHandle();
}

uint64_t UIScreenPannel::PaintedPictures(int cell) const {
    UIScreenWnd* c = Cell(cell);
    return c == nullptr ? 0 : c->VideoWindow()->PaintedPictures();
}

void UIScreenPannel::SetSplitMode(int mode) {
    const bool wasMaximized = layout_.IsMaximized();
    const int before = layout_.SplitMode();
    layout_.SetSplitMode(mode);
    if (mode == before && !wasMaximized) return;
    ApplySelection();  // mode 1 moves the selection to cell 0
    ApplyLayout();
}

void UIScreenPannel::SelectCell(int cell) {
    if (!IsCell(cell)) return;
    layout_.Select(cell);
    ApplySelection();
}

int UIScreenPannel::HitTest(QPoint point) const {
    const int cell = layout_.HitTest(point.x(), point.y());
    return IsCell(cell) ? cell : -1;
}

void UIScreenPannel::ApplyLayout() {
    for (int i = 0; i < cellCount_; ++i) {
        UIScreenWnd* cell = cells_[static_cast<size_t>(i)];
        const CellRect& r = layout_.Cell(i);
        if (r.IsEmpty()) {
            // Hidden cells report a 0 x 0 surface, so their players convert nothing.
            cell->hide();
            cell->setGeometry(0, 0, 0, 0);
        } else {
            cell->setGeometry(r.left, r.top, r.Width(), r.Height());
            cell->show();
        }
    }
}

void UIScreenPannel::ApplySelection() {
    const int selected = layout_.Selected();
    for (int i = 0; i < cellCount_; ++i) cells_[static_cast<size_t>(i)]->SetSelected(i == selected);
}

void UIScreenPannel::SelectAction(int cell) {
    layout_.Select(cell);
    ApplySelection();
    if (auto* page = qobject_cast<QWidget*>(owner_.data())) page->setFocus(Qt::MouseFocusReason);
}

void UIScreenPannel::Forward(int message, intptr_t wParam, intptr_t lParam) {
    if (owner_ != nullptr) PostWindowMessage(owner_, message, wParam, lParam);
}

bool UIScreenPannel::event(QEvent* event) {
    if (event->type() != WindowMessage::EventType()) return QWidget::event(event);
    auto* m = static_cast<WindowMessage*>(event);
    const intptr_t w = m->wParam(), l = m->lParam();
    const int cell = static_cast<int>(w);
    switch (m->message()) {
        case CellSelect:
            if (!IsCell(cell)) return true;
            SelectAction(cell);
            Forward(CellSelect, w, l);
            return true;
        case CellMenu:
            if (!IsCell(cell)) return true;
            SelectAction(cell);
            Forward(CellSelect, w, l);
            Forward(CellMenu, w, l);
            return true;
        case CellActivate: {
            if (!IsCell(cell)) return true;
            SelectAction(cell);
            const bool tell = layout_.Activate(cell);
            ApplyLayout();
            if (tell) Forward(CellActivate, w, l);
            return true;
        }
        case CellMouseMove:
        case CellButtonUp:
        case CellKey:
            Forward(m->message(), w, l);
            return true;
        case PopupClosed:
            if (owner_ != nullptr) {
                WindowMessage notice(PopupClosed, w, l);
                QCoreApplication::sendEvent(owner_, &notice);
            }
            return true;
        default:
            return QWidget::event(event);
    }
}

void UIScreenPannel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layout_.Resize(width(), height());
    ApplyLayout();
}

void UIScreenPannel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor::fromRgba(kBackground));
}

void UIScreenPannel::keyPressEvent(QKeyEvent* event) {
    // In full screen the panel is a window of its own, so Escape may land here.
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    Forward(CellKey, kEscapeKeyCode, 0);
    event->accept();
}

void UIScreenPannel::EnterFullScreen(QWidget* page) {
    if (fullScreen_) return;
    QScreen* screen = nullptr;
    if (page != nullptr) screen = QGuiApplication::screenAt(page->mapToGlobal(page->rect().center()));
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;

    homeParent_ = parentWidget();
    homeGeometry_ = geometry();
    fullScreenPage_ = page;
    fullScreen_ = true;
    // Without its home the panel would outlive the page as a stray top-level window.
    if (homeParent_ != nullptr)
        homeGone_ = connect(homeParent_, &QObject::destroyed, this, &QObject::deleteLater);

    setParent(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(screen->geometry());
    show();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    if (page != nullptr) {
        QWidget* top = page->window();
        page->hide();
        if (top != nullptr && top != page) top->hide();
    }
}

void UIScreenPannel::LeaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    disconnect(homeGone_);
    if (fullScreenPage_ != nullptr) {
        if (QWidget* top = fullScreenPage_->window(); top != nullptr && top != fullScreenPage_) top->show();
        fullScreenPage_->show();
    }
    setParent(homeParent_, Qt::Widget);
    setGeometry(homeGeometry_);
    show();
    fullScreenPage_ = nullptr;
}

}  // namespace ocv
