#pragma once
// The arithmetic of the playback time line, free of Qt: the visible span (view start S in
// minutes after midnight and M minutes per division, 12 divisions), zoom and paging, where a
// time lies on the control and which time lies under a point, the bars of the recordings, the
// clip range and the cursor. The Qt control only paints what this computes.
#include <cstdint>
#include <string>

#include "playback/record_list.h"

namespace ocv::playback {

constexpr int kDivisions = 12;
constexpr int kTimeAreaLeft = 100;     // x where the time area starts
constexpr int kTimeAreaMargin = 152;   // width minus the time area (left column and right margin)
constexpr int kRows = 5;               // the tick row and one row per window
constexpr int kTimelineWindows = 4;
constexpr int kMinutesPerDay = 1440;

// Colours (0xAARRGGBB).
constexpr uint32_t kTimelineBackground = 0xFF313131;
constexpr uint32_t kTimelineTopRow = 0xFF000000;
constexpr uint32_t kTickColour = 0xFFAAAAAA;
constexpr uint32_t kLabelColour = 0xFF646464;
constexpr uint32_t kClipColour = 0xFFFFFF00;
constexpr uint32_t kCursorColour = 0xFF00FF00;

// Colour of a recording's bar: green manual, red alarm, blue plan. Devices that count types in
// tens (10, 20, 30) get the same colours; anything else is drawn green.
uint32_t RecordTypeColour(int recordType);

struct BarRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool operator==(const BarRect&) const = default;
};

struct ClipRange {
    int row = -1;  // window 0..3, -1 when there is none
    int start = -1, end = -1;  // seconds after midnight
    bool IsSet() const { return row >= 0; }
};

class TimelineModel {
public:
    static constexpr int kMinutesPerDivisionSteps[5] = {120, 60, 30, 15, 5};

    int viewStart() const { return viewStart_; }              // S, minutes
    int minutesPerDivision() const { return minutes_; }       // M
    int visibleMinutes() const { return kDivisions * minutes_; }
    // Largest S for the current M: 12 x (120 - M).
    int MaxViewStart() const { return kDivisions * (120 - minutes_); }
    // Restores a view as it was kept: M must be one of the steps (else it stays), S within the
    // day (0..1440). Zoom and paging then apply their bounds.
    void SetView(int viewStart, int minutesPerDivision);

    // zoomInBtn / zoomOutBtn: one step finer or coarser, S kept within the new bounds. false
    // at the end of the steps (nothing changes).
    bool ZoomIn();
    bool ZoomOut();
    // prevBtn / nextBtn: S -/+ M; prevPageBtn / nextPageBtn: S -/+ 12 x M; within 0..MaxViewStart.
    void Step(int divisions);
    // Moves the view the least so that second t of the day is visible (the cursor following
    // playback); false when it already was.
    bool Reveal(int t);

    // Geometry of a control of width x height pixels.
    void Resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    int RowHeight() const { return height_ / kRows; }
    int DivisionWidth() const { return (width_ - kTimeAreaMargin) / kDivisions; }
    int TimeAreaRight() const { return kTimeAreaLeft + kDivisions * DivisionWidth(); }
    // x of tick i (0..12) and its "%02d:%02d" label.
    int TickX(int i) const { return kTimeAreaLeft + i * DivisionWidth(); }
    std::string TickLabel(int i) const;

    // x of second t: 101 + (t - S x 60) x V / (M x 60), not left of the area.
    int XOfSecond(int t) const;
    // The second under x, or -1 outside the time area.
    int SecondAtX(int x) const;
    // The window (0..3) whose row holds y, or -1 for the tick row and outside.
    int WindowAtY(int y) const;
    // A pointer over the time area of a window's row: that window and second (1828, 1829);
    // false elsewhere.
    bool Hit(int x, int y, int* window, int* second) const;

    // The bar of an entry in window w's row: from row top + 4 to row bottom - 3, at least one
    // pixel wide, clipped to the time area. false when it is not drawn (no duration, ends before
    // the view, starts after it).
    bool EntryBar(int window, const RecordEntry& entry, BarRect* out) const;
    // The clip range's bar: row top + 8 to row bottom - 7.
    bool ClipBar(const ClipRange& clip, BarRect* out) const;

    // Cursor time (seconds after midnight, -1 none), drawn as "%d:%02d:%02d" centred on its x.
    void SetCursor(int t) { cursor_ = t; }
    int cursor() const { return cursor_; }
    static std::string CursorText(int t);

private:
    int viewStart_ = 0;
    int minutes_ = 120;
    int width_ = 0, height_ = 0;
    int cursor_ = -1;
};

// The clip-mode click on window row w at second t: a click in another window's row, or when no
// range exists, starts a new range there (start = end = t); before the start moves the start,
// after the end moves the end. windowHasChannel false clears the range.
void ClipClick(ClipRange* clip, int window, int t, bool windowHasChannel);

}  // namespace ocv::playback
