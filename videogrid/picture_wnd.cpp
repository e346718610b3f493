#include "videogrid/picture_wnd.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include "videogrid/cell_messages.h"
#include "videogrid/split_layout.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIPictureWnd.h"

namespace ocv {

UIPictureWnd::UIPictureWnd(QObject* owner, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint),
      ui_(std::make_unique<Ui::UIPictureWnd>()),
      owner_(owner) {
    ui_->setupUi(this);
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setStyleSheet(
        "QToolButton { background: transparent; border: none; color: #c7ccd4; font-size: 10px; "
        "padding: 0px; }"
        "QToolButton:hover { background-color: #2a3340; }");
    for (int mode : kSplitModes) {
        QToolButton* button = Button(mode);
        if (button == nullptr) continue;
        button->setIcon(SkinIcon(QString("pic%1.png").arg(mode)));
        connect(button, &QToolButton::clicked, this, [this, mode] { Choose(mode); });
    }
}

UIPictureWnd::~UIPictureWnd() = default;

QToolButton* UIPictureWnd::Button(int mode) const {
    if (!IsValidSplitMode(mode)) return nullptr;
    return findChild<QToolButton*>(QString("pic%1Btn").arg(mode));
}

void UIPictureWnd::ShowAt(const QPoint& globalTopLeft) {
    move(globalTopLeft);
    show();
    raise();
    activateWindow();
    setFocus(Qt::PopupFocusReason);
}

void UIPictureWnd::Choose(int mode) {
    if (owner_ != nullptr) PostWindowMessage(owner_, SplitChosen, mode, 0);
    close();
}

bool UIPictureWnd::event(QEvent* event) {
    // Focus went to another window.
    if (event->type() == QEvent::WindowDeactivate && isVisible()) close();
    return QWidget::event(event);
}

void UIPictureWnd::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void UIPictureWnd::wheelEvent(QWheelEvent* event) { event->accept(); }

void UIPictureWnd::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor::fromRgba(kBackground));
}

}  // namespace ocv
