#include "videogrid/video_play_bar.h"

#include <QCoreApplication>
#include <algorithm>
#include <QPushButton>
#include <QResizeEvent>

#include "videogrid/cell_messages.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIVideoPlayBar.h"

namespace ocv {

namespace {
constexpr int kRightAreaWidth = 47;
constexpr int kNameLabelX = 200;
}  // namespace

UIVideoPlayBar::UIVideoPlayBar(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::UIVideoPlayBar>()) {
    ui_->setupUi(this);
    struct Button {
        QPushButton* button;
        const char* image;
        const char* tip;
        int number;
    };
    const Button buttons[] = {
        {ui_->pbPlayBtn, "pbPlay.png", "Pause", PlayBarPause},
        {ui_->pbPauseBtn, "pbPause.png", "Play", PlayBarResume},
        {ui_->pbStopBtn, "pbStop.png", "Stop", PlayBarStop},
        {ui_->pbSlowBtn, "pbSlow.png", "Slow", PlayBarSlow},
        {ui_->pbNormalBtn, "pbNormal.png", "Normal", PlayBarNormal},
        {ui_->pbFastBtn, "pbFast.png", "Fast", PlayBarFast},
        {ui_->pbFrameBtn, "pbFrame.png", "Frame", PlayBarFrame},
        {ui_->photoBtn, "photo.png", "Capture", PlayBarPhoto},
        {ui_->pbCloseBtn, "pbClose.png", "Close", PlayBarClose},
    };
    for (const Button& b : buttons) {
        b.button->setIcon(SkinIcon(b.image));
        b.button->setToolTip(Tr(b.tip));
        const int number = b.number;
        connect(b.button, &QPushButton::clicked, this, [this, number] { Clicked(number); });
    }
    SetPaused(false);
}

UIVideoPlayBar::~UIVideoPlayBar() = default;

void UIVideoPlayBar::SetName(const QString& name) { ui_->nameLabel->setText(name); }

void UIVideoPlayBar::SetPaused(bool paused) {
    paused_ = paused;
    ui_->pbPauseBtn->setVisible(paused);
    ui_->pbPlayBtn->setVisible(!paused);
}

void UIVideoPlayBar::Clicked(int number) {
    if (page_ == nullptr) return;
    // Synchronous: the page acts on the button before the bar returns to the event loop.
    WindowMessage message(number, cellIndex_, number);
    QCoreApplication::sendEvent(page_, &message);
}

void UIVideoPlayBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width();
    ui_->playBackBarHor->setGeometry(0, 0, w, height());
    ui_->photoArea->setGeometry(w - kRightAreaWidth, 0, kRightAreaWidth, height());
    ui_->nameLabel->setGeometry(kNameLabelX, 3, std::max(0, w - kRightAreaWidth - kNameLabelX - 4), 20);
}

}  // namespace ocv
