#include "videogrid/split_layout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/profile.h"

namespace ocv {
namespace {

// A cell of an irregular layout: grid lines c0,r0 to c1,r1.
struct Span {
    int c0, r0, c1, r1;
};

struct Irregular {
    int mode;
    int k;
    std::vector<Span> cells;
};

void Row(std::vector<Span>* cells, int row, int from, int to) {
    for (int c = from; c <= to; ++c) cells->push_back({c, row, c + 1, row + 1});
}
void Column(std::vector<Span>* cells, int column, int from, int to) {
    for (int r = from; r <= to; ++r) cells->push_back({column, r, column + 1, r + 1});
}

const std::vector<Irregular>& IrregularModes() {
    static const std::vector<Irregular> modes = [] {
        std::vector<Irregular> m;
        {
            Irregular x{6, 3, {{0, 0, 2, 2}, {2, 0, 3, 1}, {2, 1, 3, 2}, {0, 2, 1, 3}, {1, 2, 2, 3}, {2, 2, 3, 3}}};
            m.push_back(x);
        }
        {
            Irregular x{8, 4, {{0, 0, 3, 3}, {3, 0, 4, 1}, {3, 1, 4, 2}, {3, 2, 4, 3}}};
            Row(&x.cells, 3, 0, 3);
            m.push_back(x);
        }
        {
            Irregular x{10, 4, {{0, 0, 2, 2}, {2, 0, 4, 2}}};
            Row(&x.cells, 2, 0, 3);
            Row(&x.cells, 3, 0, 3);
            m.push_back(x);
        }
        {
            Irregular x{101, 5, {{0, 0, 4, 4}}};
            Column(&x.cells, 4, 0, 3);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{13, 4, {}};
            Row(&x.cells, 0, 0, 3);
            x.cells.insert(x.cells.end(), {{0, 1, 1, 2}, {0, 2, 1, 3}, {1, 1, 3, 3}, {3, 1, 4, 2}, {3, 2, 4, 3}});
            Row(&x.cells, 3, 0, 3);
            m.push_back(x);
        }
        {
            Irregular x{131, 5, {{0, 0, 2, 2}, {2, 0, 4, 2}, {0, 2, 2, 4}, {2, 2, 4, 4}}};
            Column(&x.cells, 4, 0, 3);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{14, 5, {{0, 0, 3, 3}, {3, 0, 5, 2}, {3, 2, 4, 3}, {4, 2, 5, 3}}};
            Row(&x.cells, 3, 0, 4);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{17, 5, {{0, 0, 3, 3}, {3, 0, 4, 1}, {4, 0, 5, 1}, {3, 1, 4, 2}, {4, 1, 5, 2}, {3, 2, 4, 3}, {4, 2, 5, 3}}};
            Row(&x.cells, 3, 0, 4);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{19, 5, {{0, 0, 2, 2}, {2, 0, 4, 2}, {4, 0, 5, 1}, {4, 1, 5, 2}}};
            Row(&x.cells, 2, 0, 4);
            Row(&x.cells, 3, 0, 4);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{22, 5, {{0, 0, 2, 2}, {2, 0, 3, 1}, {3, 0, 4, 1}, {4, 0, 5, 1}, {2, 1, 3, 2}, {3, 1, 4, 2}, {4, 1, 5, 2}}};
            Row(&x.cells, 2, 0, 4);
            Row(&x.cells, 3, 0, 4);
            Row(&x.cells, 4, 0, 4);
            m.push_back(x);
        }
        {
            Irregular x{32, 7, {{0, 0, 2, 2}, {2, 0, 4, 2}, {4, 0, 5, 1}, {5, 0, 6, 1}, {6, 0, 7, 1},
                                {4, 1, 5, 2}, {5, 1, 6, 2}, {6, 1, 7, 2}, {0, 2, 2, 4}, {0, 4, 1, 5},
                                {1, 4, 2, 5}, {2, 2, 5, 5}, {5, 2, 6, 3}, {6, 2, 7, 3}, {5, 3, 6, 4},
                                {6, 3, 7, 4}, {5, 4, 6, 5}, {6, 4, 7, 5}}};
            Row(&x.cells, 5, 0, 6);
            Row(&x.cells, 6, 0, 6);
            m.push_back(x);
        }
        return m;
    }();
    return modes;
}

const Irregular* FindIrregular(int mode) {
    for (const Irregular& m : IrregularModes())
        if (m.mode == mode) return &m;
    return nullptr;
}

int UniformSide(int mode) {
    switch (mode) {
        case 1: return 1;
        case 4: return 2;
        case 9: return 3;
        case 16: return 4;
        case 25: return 5;
        case 36: return 6;
        default: return 2;
    }
}

}  // namespace

bool IsValidSplitMode(int mode) {
    return std::find(kSplitModes.begin(), kSplitModes.end(), mode) != kSplitModes.end();
}

int CellCountOf(int mode) {
    if (mode == 101) return 10;
    if (mode == 131) return 13;
    return IsValidSplitMode(mode) ? mode : 4;
}

void SplitLayout::Resize(int width, int height) {
    width_ = std::max(0, width - (width & 1));
    height_ = std::max(0, height - (height & 1));
    Layout();
}

void SplitLayout::SetSplitMode(int mode) {
    if (mode == mode_ && !maximized_) return;
    maximized_ = false;
    if (mode == 1) selected_ = 0;
    mode_ = mode;
    Layout();
}

void SplitLayout::Select(int cell) {
    if (cell >= 0 && cell < kMaxCells) selected_ = cell;
}

bool SplitLayout::Activate(int cell) {
    Select(cell);
    if (mode_ == 1) return false;
    maximized_ = !maximized_;
    Layout();
    return true;
}

int SplitLayout::HitTest(int x, int y) const {
    for (int i = 0; i < kMaxCells; ++i) {
        const CellRect& r = cells_[static_cast<size_t>(i)];
        if (r.IsEmpty()) continue;
        if (r.left <= x && x <= r.right && r.top <= y && y <= r.bottom) return i;
    }
    return -1;
}

void SplitLayout::Layout() {
    if (mode_ == 0) return;
    cells_.fill(CellRect{});
    if (maximized_) {
        cells_[static_cast<size_t>(selected_)] = {0, 0, width_ - 1, height_ - 1};
        return;
    }
    if (FindIrregular(mode_)) LayoutIrregular(mode_);
    else LayoutUniform(UniformSide(mode_));
}

void SplitLayout::LayoutUniform(int n) {
    if (n == 1) {
        cells_[0] = {0, 0, width_ - 1, height_ - 1};
        return;
    }
    int cw = width_ / n, ch = height_ / n;
    for (int i = 0; i < n * n; ++i) {
        int col = i % n, row = i / n;
        CellRect& r = cells_[static_cast<size_t>(i)];
        r = {cw * col, ch * row, cw * (col + 1), ch * (row + 1)};
        if (col == n - 1) r.right = width_ - 1;
        if (row == n - 1) r.bottom = height_ - 1;
    }
}

void SplitLayout::LayoutIrregular(int mode) {
    const Irregular& m = *FindIrregular(mode);
    int a = (width_ - 2) / m.k, b = (height_ - 2) / m.k;
    auto x = [&](int line) { return line == m.k ? width_ - 1 : line * a; };
    auto y = [&](int line) { return line == m.k ? height_ - 1 : line * b; };
    for (size_t i = 0; i < m.cells.size() && i < cells_.size(); ++i) {
        const Span& s = m.cells[i];
        cells_[i] = {x(s.c0), y(s.r0), x(s.c1), y(s.r1)};
    }
}

ScreenMemory LoadScreenMemory(const std::string& configIni) {
    ScreenMemory memory;
    if (!GetPrivateProfileStructA("CONFIG", "SCREEN1", &memory, sizeof memory, configIni.c_str()))
        memory = ScreenMemory{};
    return memory;
}

bool SaveScreenMemory(const std::string& configIni, const ScreenMemory& memory) {
    return WritePrivateProfileStructA("CONFIG", "SCREEN1", &memory, sizeof memory, configIni.c_str());
}

}  // namespace ocv
