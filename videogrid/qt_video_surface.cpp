#include "videogrid/qt_video_surface.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include "videogrid/gpu_video_view.h"

namespace ocv {

namespace {
constexpr uint64_t PackSize(int width, int height) {
    return static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32 | static_cast<uint32_t>(height);
}
}  // namespace

player::SurfaceFormat QtVideoSurface::CurrentFormat() const {
    uint64_t size = size_.load(std::memory_order_acquire);
    player::SurfaceFormat format;
    format.width = static_cast<int>(size >> 32);
    format.height = static_cast<int>(size & 0xFFFFFFFFu);
    format.format = static_cast<player::PixelFormat>(pixelFormat_.load(std::memory_order_relaxed));
    return format;
}

void QtVideoSurface::PictureReady() {
    // Only the first picture of a burst posts; the paint takes whichever is newest.
    if (repaintScheduled_.exchange(true, std::memory_order_acq_rel)) return;
    std::lock_guard lock(receiverMutex_);
    if (receiver_ == nullptr) return;  // the area is gone: nothing to repaint
    repaintsPosted_.fetch_add(1, std::memory_order_relaxed);
    QCoreApplication::postEvent(receiver_, new QEvent(VideoPictureArea::RepaintEventType()));
}

void QtVideoSurface::SetSize(int width, int height) {
    size_.store(PackSize(width, height), std::memory_order_release);
}

void QtVideoSurface::Attach(QObject* receiver) {
    std::lock_guard lock(receiverMutex_);
    receiver_ = receiver;
}

void QtVideoSurface::Detach() {
    SetSize(0, 0);
    std::lock_guard lock(receiverMutex_);
    receiver_ = nullptr;
    // Events already posted are removed by QObject's destructor of the receiver.
}

VideoPictureArea::VideoPictureArea(QRgb background, QWidget* parent)
    : QWidget(parent), surface_(std::make_shared<QtVideoSurface>()), background_(background) {
    setAttribute(Qt::WA_OpaquePaintEvent);   // every pixel is painted: no erase first
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    surface_->Attach(this);
    if (GpuVideoAvailable()) {
        gpu_ = new GpuVideoView(background, this);
        gpu_->setGeometry(rect());
        // Not from inside the child's initializeGL: it goes at the next turn of the event loop.
        gpu_->SetFailureHandler([this] { QMetaObject::invokeMethod(this, [this] { LeaveGpu(); }, Qt::QueuedConnection); });
        surface_->SetPixelFormat(player::PixelFormat::kDecodedYuv);
    }
}

void VideoPictureArea::LeaveGpu() {
    if (!gpu_) return;
    surface_->SetPixelFormat(player::PixelFormat::kBgra32);
    delete gpu_;
    gpu_ = nullptr;
    // The kept picture may be the decoder's planes, which this area cannot paint: the next
    // picture comes as BGRA.
    if (last_ && last_->format != player::PixelFormat::kBgra32) last_.reset();
    update();
}

VideoPictureArea::~VideoPictureArea() {
    surface_->Detach();
    // A waiting picture would keep the player's pooled memory for as long as a port still
    // holds the surface.
    surface_->TakePicture();
    surface_.reset();
}

QEvent::Type VideoPictureArea::RepaintEventType() {
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
}

void VideoPictureArea::SetBackground(QRgb colour) {
    if (colour == background_) return;
    background_ = colour;
    if (gpu_) gpu_->SetBackground(colour);
    if (!last_) update();
}

void VideoPictureArea::ClearPicture() {
    surface_->TakePicture();  // a picture still waiting belongs to the closed channel too
    if (!last_) return;
    last_.reset();
    if (gpu_) gpu_->SetPicture(nullptr);
    update();
}

bool VideoPictureArea::TakeNewest() {
    // Clear the flag before taking, so a picture posted after the take schedules anew.
    surface_->ClearRepaintScheduled();
    auto picture = surface_->TakePicture();
    if (!picture) return false;
    last_ = std::move(picture);
    surface_->CountPainted();
    return true;
}

void VideoPictureArea::customEvent(QEvent* event) {
    if (event->type() != RepaintEventType()) return QWidget::customEvent(event);
    if (isVisible()) {
        // The OpenGL child draws it at its next paint (counted as painted when handed over).
        if (gpu_) {
            if (TakeNewest()) gpu_->SetPicture(last_);
            return;
        }
        update();
        return;
    }
    // Not shown: drop the picture now so that the next one schedules a repaint again.
    surface_->ClearRepaintScheduled();
    surface_->TakePicture();
}

void VideoPictureArea::paintEvent(QPaintEvent* event) {
    if (gpu_) {
        if (TakeNewest()) gpu_->SetPicture(last_);
        return;  // covered by the child
    }
    TakeNewest();
    QPainter painter(this);
    const player::VideoPicture* picture = last_.get();
    if (picture == nullptr) {
        painter.fillRect(event->rect(), QColor::fromRgba(background_));
        return;
    }
    QRect drawn(picture->x, picture->y, picture->width, picture->height);
    if (picture->format == player::PixelFormat::kBgra32 && picture->planes[0] != nullptr &&
        picture->width > 0 && picture->height > 0) {
        // Wraps the player's plane without copying; the picture stays alive in last_.
        QImage image(picture->planes[0], picture->width, picture->height, picture->strides[0],
                     QImage::Format_RGB32);
        painter.drawImage(drawn.topLeft(), image);
    } else {
        drawn = QRect();
    }
    QRegion margins = QRegion(event->rect()) - QRegion(drawn);
    for (const QRect& r : margins) painter.fillRect(r, Qt::black);
}

void VideoPictureArea::PublishSize() {
    if (isVisible()) surface_->SetSize(width(), height());
    else surface_->SetSize(0, 0);
}

void VideoPictureArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (gpu_) gpu_->setGeometry(rect());
    PublishSize();
}

void VideoPictureArea::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    PublishSize();
}

void VideoPictureArea::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    surface_->SetSize(0, 0);
}

}  // namespace ocv
