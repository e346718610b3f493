#pragma once
// The screen panel: the grid of cells shared by the live view and playback pages. It places
// its cells with SplitLayout, keeps one selected, maximises one on a double-click, and
// forwards the cells' notifications to its owner page as queued window messages
// (CellActivate, CellSelect, CellMenu, CellMouseMove, CellButtonUp, CellKey; wParam = cell
// index, lParam = PackPoint in video-window coordinates; see cell_messages.h).
//
// Video surfaces: VideoSurfaceOf(cell) is the handle for PlayerChannelSet::CreatePlayer.
// Unbind (or destroy) the players before destroying the panel.
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>

#include "videogrid/split_layout.h"

namespace ocv {

class UIScreenWnd;

struct ScreenPannelOptions {
    int cellCount = kMaxCells;  // 36 for the live view, 4 for playback
    int stripStyle = 255;       // 255 live status strip; 0 playback bar
    bool titleFlag = false;     // playback: an 18-pixel title strip on each cell
};

class UIScreenPannel : public QWidget {
    Q_OBJECT
public:
    static constexpr QRgb kBackground = 0xFF232323;

    // owner receives the notifications; parent defaults to the owner when it is a widget.
    explicit UIScreenPannel(QObject* owner, const ScreenPannelOptions& options = {},
                            QWidget* parent = nullptr);
    ~UIScreenPannel() override;

    // The same mode again only matters while maximised (it restores); mode 1 selects cell 0.
    void SetSplitMode(int mode);
    int SplitMode() const { return layout_.SplitMode(); }
    bool IsMaximized() const { return layout_.IsMaximized(); }
    int Selected() const { return layout_.Selected(); }
    // Selects a cell and repaints the frames (no notification). Out-of-range is ignored.
    void SelectCell(int cell);
    // The lowest-index shown cell containing the point (panel coordinates, edges included);
    // -1 when none.
    int HitTest(QPoint point) const;

    int CellCount() const { return cellCount_; }
    UIScreenWnd* Cell(int cell) const;
    // Player handles (a player::VideoSurface* as void*), nullptr beyond the cell count; the
    // inset's only once that cell's inset was shown.
    void* VideoSurfaceOf(int cell) const;
    void* InsetSurfaceOf(int cell) const;
    uint64_t PaintedPictures(int cell) const;
    const SplitLayout& Layout() const { return layout_; }
    QObject* Owner() const { return owner_; }
    int StripStyle() const { return stripStyle_; }

    // Full screen on the monitor holding page (the primary one when it is on none): the panel
    // becomes a frameless top-level window over that monitor and page and its window hide.
    // The page handles Escape (CellKey, also when the full-screen panel itself has the focus)
    // and calls LeaveFullScreen, which puts everything back.
    void EnterFullScreen(QWidget* page);
    void LeaveFullScreen();
    bool IsFullScreen() const { return fullScreen_; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyLayout();
    void ApplySelection();
    void SelectAction(int cell);
    void Forward(int message, intptr_t wParam, intptr_t lParam);
    bool IsCell(int cell) const { return cell >= 0 && cell < cellCount_; }

    QPointer<QObject> owner_;
    int cellCount_;
    int stripStyle_;
    bool titleFlag_;
    SplitLayout layout_;
    std::array<UIScreenWnd*, kMaxCells> cells_{};

    bool fullScreen_ = false;
    QPointer<QWidget> homeParent_;
    QPointer<QWidget> fullScreenPage_;
    QRect homeGeometry_;
    QMetaObject::Connection homeGone_;
};

}  // namespace ocv
