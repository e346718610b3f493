#pragma once
// The Qt side of a player's video surface: a widget area that paints the pictures the
// player has already converted to the area's size, unscaled. Where OpenGL runs on hardware
// (GpuVideoAvailable) the area asks the player for the decoder's own YUV planes instead and a
// GpuVideoView child covering it scales and converts them on the GPU; elsewhere (Xvfb, the
// offscreen platform, CI) it asks for BGRA and paints with QPainter.
//
// Threads: the player calls CurrentFormat() and PictureReady() on its decoding thread. The
// size lives in one atomic word, and a burst of PictureReady() calls posts a single repaint
// event (an atomic flag, cleared when the paint takes the picture), so the decoder never
// waits for the UI.
//
// Lifetime: the area creates its surface with std::make_shared, and a player port bound to
// it holds its own reference (QVXPlay_SetDrawWnd takes one), so the surface lives as long
// as the area or a port needs it, whichever is longer. When the area is destroyed the
// surface is detached: it reports 0 x 0 and posts nothing, so a port still bound converts
// nothing and touches no widget, and it goes when that port unbinds or is de-initialised.
// Code that keeps calling a surface after its area is gone holds SharedSurface().
#include <QColor>
#include <QEvent>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "player/video_surface.h"

namespace ocv {

class QtVideoSurface final : public player::VideoSurface {
public:
    // Decoding thread.
    player::SurfaceFormat CurrentFormat() const override;
    void PictureReady() override;

    // The handle for QVXPlay_SetDrawWnd / PlayerChannelSet::CreatePlayer.
    void* Handle() { return static_cast<player::VideoSurface*>(this); }

    // Any thread: pictures painted for the first time (not repaints of the kept one), and
    // repaint events posted to the area.
    uint64_t PaintedPictures() const { return painted_.load(std::memory_order_relaxed); }
    uint64_t RepaintEventsPosted() const { return repaintsPosted_.load(std::memory_order_relaxed); }

private:
    friend class VideoPictureArea;
    void SetSize(int width, int height);
    void SetPixelFormat(player::PixelFormat format) { pixelFormat_.store(static_cast<int>(format)); }
    void Attach(QObject* receiver);
    void Detach();
    void ClearRepaintScheduled() { repaintScheduled_.store(false, std::memory_order_release); }
    void CountPainted() { painted_.fetch_add(1, std::memory_order_relaxed); }

    std::atomic<uint64_t> size_{0};  // width << 32 | height, read as one word
    std::atomic<int> pixelFormat_{static_cast<int>(player::PixelFormat::kBgra32)};
    std::atomic<bool> repaintScheduled_{false};
    std::atomic<uint64_t> painted_{0};
    std::atomic<uint64_t> repaintsPosted_{0};
    std::mutex receiverMutex_;  // orders a post against the area's destruction
    QObject* receiver_ = nullptr;
};

// The widget a surface paints into. Empty, it shows its background colour; with a picture
// it draws the picture at its place and the margins black. It is not a mouse target: its
// owner window receives the clicks.
class GpuVideoView;

class VideoPictureArea : public QWidget {
    Q_OBJECT
public:
    explicit VideoPictureArea(QRgb background, QWidget* parent = nullptr);
    ~VideoPictureArea() override;

    QtVideoSurface& Surface() { return *surface_; }
    std::shared_ptr<QtVideoSurface> SharedSurface() const { return surface_; }

    void SetBackground(QRgb colour);
    QRgb Background() const { return background_; }
    // Forgets the kept picture (the channel was closed) and shows the background again.
    void ClearPicture();
    std::shared_ptr<const player::VideoPicture> LastPicture() const { return last_; }
    // The OpenGL child drawing the pictures, or nullptr where they are painted from BGRA.
    GpuVideoView* GpuView() const { return gpu_; }

    static QEvent::Type RepaintEventType();

protected:
    void customEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PublishSize();
    // Back to BGRA pictures painted here, for good (the OpenGL child could not draw).
    void LeaveGpu();
    // Moves the newest waiting picture to last_ (counted as painted); false when none waited.
    bool TakeNewest();

    std::shared_ptr<QtVideoSurface> surface_;
    std::shared_ptr<const player::VideoPicture> last_;
    QRgb background_;
    GpuVideoView* gpu_ = nullptr;  // child, owned by Qt
};

}  // namespace ocv
