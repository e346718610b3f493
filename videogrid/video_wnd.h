#pragma once
// The video window of one cell: the area the player draws into (logoVer), the playback
// control bar and the lazily created inset. It takes no decisions: mouse and key events
// are posted to its owner (the cell) as CellNotification messages with wParam = cell
// index and lParam = PackPoint(x, y) in this window's coordinates (see cell_messages.h;
// CellKey carries wParam 27). Bar clicks go synchronously to the page window.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "videogrid/qt_video_surface.h"

namespace ocv {

class UIVideoMin;
class UIVideoPlayBar;

class UIVideoWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarModePlayback = 0;
    static constexpr int kBarModeNone = 255;  // live view; 2 and 3 (previews) show no bar either
    static constexpr QRgb kNoChannelBackground = 0xFF313131;
    static constexpr QRgb kChannelBackground = 0xFF000000;

    UIVideoWnd(QObject* owner, int barMode, QWidget* parent = nullptr);

    void SetCellIndex(int index);
    int CellIndex() const { return cellIndex_; }
    void SetOwner(QObject* owner) { owner_ = owner; }
    void SetBarMode(int mode);
    int BarMode() const { return barMode_; }
    // The page window the bar's clicks go to.
    void SetPageWindow(QObject* page);

    // A name turns logoVer black, an empty one back to grey (and forgets the last picture).
    void SetChannelName(const QString& name);
    const QString& ChannelName() const { return channelName_; }
    void SetPaused(bool paused);
    // Bar mode 0 only: the bar shows while the cell is selected.
    void ShowBarForSelection(bool selected);
    void ShowInset(bool show);
    bool IsInsetShown() const;
    // The inset's surface handle, or nullptr when it was never created.
    void* InsetSurfaceHandle() const;
    UIVideoMin* Inset() const { return inset_; }
    // After two cells swap channels: everything is painted again.
    void Repaint();

    UIVideoPlayBar* Bar() const { return bar_; }
    VideoPictureArea* PictureArea() const { return logo_; }
    void* SurfaceHandle() { return logo_->Surface().Handle(); }
    uint64_t PaintedPictures() const { return logo_->Surface().PaintedPictures(); }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Notify(int message, intptr_t wParam, intptr_t lParam);
    void PlaceInset();

    QPointer<QObject> owner_;
    int cellIndex_ = -1;
    int barMode_;
    QString channelName_;
    VideoPictureArea* logo_;
    UIVideoPlayBar* bar_;
    UIVideoMin* inset_ = nullptr;
};

}  // namespace ocv
