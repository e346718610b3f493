#pragma once
// The hover preview (UIPreviewWnd): a borderless 160 x 90 tool window with a 1-pixel yellow
// frame around a video window, a player port of its own and the preview worker that draws the
// picture of a recording at a percentage into it (QVXPlay_ShotImage).
#include <QWidget>
#include <memory>

#include "playback/preview_worker.h"

namespace Ui {
class UIPreviewWnd;
}

namespace ocv {
class UIVideoWnd;
}

namespace ocv::playback {

class UIPreviewWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 90;

    explicit UIPreviewWnd(QWidget* parent = nullptr);
    // Stops the worker and frees the port.
    ~UIPreviewWnd() override;

    // The picture of path at percent, shown at a screen point (the window's top left).
    void ShowPicture(const std::string& path, int percent, QPoint topLeft);
    void HidePreview();
    int Port() const { return port_; }
    const PreviewWorker& worker() const { return *worker_; }
    UIVideoWnd* VideoWindow() const { return video_; }

private:
    std::unique_ptr<Ui::UIPreviewWnd> ui_;
    UIVideoWnd* video_ = nullptr;
    int port_ = 0;
    int portNumber_ = -1;
    std::unique_ptr<PreviewWorker> worker_;
};

}  // namespace ocv::playback
