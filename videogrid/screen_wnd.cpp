#include "videogrid/screen_wnd.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStyle>

#include "videogrid/cell_messages.h"
#include "videogrid/video_wnd.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIScreenWnd.h"

namespace ocv {

namespace {
QString Hex(QRgb colour) { return QColor::fromRgb(colour).name(QColor::HexRgb); }

QString CellStyle() {
    return QString(
               "#selectVertical { background-color: %1; }"
               "#selectVertical[selected=\"true\"] { background-color: %2; }"
               "#playStateHor { background-color: %1; }"
               "#playStateHor QLabel, #playState2Hor QLabel { background: transparent; }"
               "#nameLabel { color: #7293a4; }"
               "#name1Label { color: #ffffff; }")
        .arg(Hex(UIScreenWnd::kFrame), Hex(UIScreenWnd::kSelectedFrame));
}

bool IsCellNotification(int message) {
    switch (message) {
        case CellActivate:
        case CellSelect:
        case CellMenu:
        case CellMouseMove:
        case CellButtonUp:
        case CellKey:
        case PopupClosed: return true;
        default: return false;
    }
}
}  // namespace

UIScreenWnd::UIScreenWnd(int index, int stripStyle, bool titleFlag, QObject* page, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::UIScreenWnd>()),
      index_(index),
      stripStyle_(stripStyle),
      titleFlag_(titleFlag) {
    ui_->setupUi(this);
    setStyleSheet(CellStyle());
    const bool live = stripStyle == kStripLive;
    ui_->playStateHor->setVisible(!live && titleFlag);
    ui_->playState2Hor->setVisible(live);
    SetStatus(QString(), kStatusBackground);

    video_ = new UIVideoWnd(this, live ? UIVideoWnd::kBarModeNone : UIVideoWnd::kBarModePlayback, this);
    video_->SetCellIndex(index);
    video_->SetPageWindow(page);
    video_->raise();
    SetChannelName(QString());
    ApplyFrame();
}

UIScreenWnd::~UIScreenWnd() = default;

QRect UIScreenWnd::VideoRect(int width, int height, int stripStyle, bool titleFlag) {
    int top = 0, bottom = 0;
    if (stripStyle == kStripLive) bottom = kStatusHeight;
    else if (titleFlag) top = kTitleHeight;
    return QRect(1, 1 + top, std::max(0, width - 2), std::max(0, height - top - bottom - 2));
}

void UIScreenWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    video_->setGeometry(VideoRect(width(), height(), stripStyle_, titleFlag_));
}

void UIScreenWnd::SetSelected(bool selected) {
    if (selected != selected_) {
        selected_ = selected;
        ApplyFrame();
    }
    video_->ShowBarForSelection(selected);
}

void UIScreenWnd::ApplyFrame() {
    QWidget* frame = ui_->selectVertical;
    frame->setProperty("selected", selected_);
    frame->style()->unpolish(frame);
    frame->style()->polish(frame);
    frame->update();
}

void UIScreenWnd::SetChannelName(const QString& name) {
    const QString word = Tr("Windows");
    const int n = index_ + 1;
    ui_->nameLabel->setText(name.isEmpty() ? QString("%1%2").arg(word).arg(n)
                                           : QString("%1%2: %3").arg(word).arg(n).arg(name));
    video_->SetChannelName(name);
    if (ui_->name1Label->text().isEmpty()) ui_->name1Label->setText(name);
}

QString UIScreenWnd::Title() const { return ui_->nameLabel->text(); }

void UIScreenWnd::SetStatus(const QString& text, QRgb background) {
    ui_->name1Label->setText(text);
    if (background != statusBackground_ || ui_->playState2Hor->styleSheet().isEmpty()) {
        statusBackground_ = background;
        ui_->playState2Hor->setStyleSheet(
            QString("#playState2Hor { background-color: %1; }").arg(Hex(background)));
    }
}

void UIScreenWnd::SetStatusText(const QString& text) { ui_->name1Label->setText(text); }

QString UIScreenWnd::StatusText() const { return ui_->name1Label->text(); }

void UIScreenWnd::SetDateText(const QString& text) { ui_->dateLabel->setText(text); }

void UIScreenWnd::ShowInset(bool show) { video_->ShowInset(show); }

void UIScreenWnd::SetPaused(bool paused) { video_->SetPaused(paused); }

bool UIScreenWnd::event(QEvent* event) {
    if (event->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(event);
        if (IsCellNotification(m->message())) {
            if (QWidget* panel = parentWidget()) {
                WindowMessage forward(m->message(), m->wParam(), m->lParam());
                QCoreApplication::sendEvent(panel, &forward);
            }
            return true;
        }
    }
    return QWidget::event(event);
}

}  // namespace ocv
