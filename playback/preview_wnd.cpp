#include "playback/preview_wnd.h"

#include "base/port_slots.h"
#include "base/trace.h"
#include "player/qvx_player.h"
#include "videogrid/video_wnd.h"
#include "ui_UIPreviewWnd.h"

namespace ocv::playback {

UIPreviewWnd::UIPreviewWnd(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      ui_(std::make_unique<Ui::UIPreviewWnd>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    ui_->backgroudVer->setGeometry(0, 0, kWidth, kHeight);
    // Bar mode 0 like the page's windows, but never selected: its bar stays hidden.
    video_ = new UIVideoWnd(nullptr, UIVideoWnd::kBarModePlayback, ui_->backgroudVer);
    video_->setGeometry(1, 1, kWidth - 2, kHeight - 2);
    video_->SetChannelName(" ");

    portNumber_ = TakePort();
    if (portNumber_ >= 0 && QVXPlay_InitV2(&port_, portNumber_) == 0) {
        QVXPlay_SetDrawWnd(port_, video_->SurfaceHandle());
    } else {
        Trace("hover preview: no player port\n");
        if (portNumber_ >= 0) ReleasePort(portNumber_);
        portNumber_ = -1;
        port_ = 0;
    }
    const int port = port_;
    worker_ = std::make_unique<PreviewWorker>([port](const std::string& path, int percent) {
        return port == 0 ? -1 : QVXPlay_ShotImage(port, path.c_str(), percent);
    });
    worker_->Start();
}

UIPreviewWnd::~UIPreviewWnd() {
    worker_->Stop();
    if (port_ != 0) QVXPlay_DeInit(port_);
    if (portNumber_ >= 0) ReleasePort(portNumber_);
}

void UIPreviewWnd::ShowPicture(const std::string& path, int percent, QPoint topLeft) {
    worker_->Request(path, percent);
    move(topLeft);
    if (!isVisible()) show();
}

void UIPreviewWnd::HidePreview() {
    worker_->Cancel();
    if (isVisible()) hide();
}

}  // namespace ocv::playback
