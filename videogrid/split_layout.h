#pragma once
// The arithmetic of the screen panel: where each of the 36 cells lies for a split mode and a
// panel size, which cell is selected and whether one is maximised, and the hit test. Free of
// Qt so that the live view and playback pages share it and tests check it exactly.
#include <array>
#include <cstdint>
#include <string>

namespace ocv {

constexpr int kMaxCells = 36;

struct CellRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const CellRect&) const = default;
};

// The 17 split modes in the order the picker shows them.
constexpr std::array<int, 17> kSplitModes = {1, 4, 6, 8, 9, 10, 101, 13, 131, 14, 16, 17, 19, 22, 25, 32, 36};
bool IsValidSplitMode(int mode);
// Cells a split mode shows (101 counts as 10, 131 as 13); an unknown mode shows 4.
int CellCountOf(int mode);

class SplitLayout {
public:
    // The panel's client size; odd sizes lose one pixel so both are even. Runs the layout.
    void Resize(int width, int height);
    // Choosing the current mode again does nothing unless a cell is maximised (then it restores).
    // Mode 1 selects cell 0. Choosing a mode always clears the maximised state.
    void SetSplitMode(int mode);
    // Left double-click in a cell: selects it, then (except in mode 1) toggles maximising.
    // Returns whether the page is to be told (false in mode 1).
    bool Activate(int cell);
    void Select(int cell);

    // The lowest-index cell whose rectangle holds the point, edges included; -1 for none.
    int HitTest(int x, int y) const;

    int SplitMode() const { return mode_; }
    int Selected() const { return selected_; }
    bool IsMaximized() const { return maximized_; }
    const CellRect& Cell(int index) const { return cells_[static_cast<size_t>(index)]; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    void Layout();
    void LayoutUniform(int n);
    void LayoutIrregular(int mode);

    int width_ = 0, height_ = 0;
    int mode_ = 0;
    int selected_ = 0;
    bool maximized_ = false;
    std::array<CellRect, kMaxCells> cells_{};
};

// The live view's screen memory: the split mode and the channel identifier of each cell
// (0 for none), kept as key SCREEN1 of section CONFIG in config.ini.
struct ScreenMemory {
    int32_t splitMode = 0;
    int32_t channelIds[kMaxCells] = {};
};
static_assert(sizeof(ScreenMemory) == 148);
// Zero-filled when missing or damaged.
ScreenMemory LoadScreenMemory(const std::string& configIni);
bool SaveScreenMemory(const std::string& configIni, const ScreenMemory& memory);

}  // namespace ocv
