#include "tools/devsim/test_picture.h"

#include <cctype>
#include <cstdio>

namespace ocv::devsim {

namespace {

struct Glyph {
    char c;
    uint8_t rows[7];  // five pixels a row, most significant of the five bits leftmost
};

const Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},                      {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},                {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'+', {0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0}},       {'/', {0, 0x01, 0x02, 0x04, 0x08, 0x10, 0}},
    {'_', {0, 0, 0, 0, 0, 0, 0x1F}},                   {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
};

const Glyph& FindGlyph(char c) {
    c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const Glyph& g : kFont) {
        if (g.c == c) return g;
    }
    return kFont[sizeof kFont / sizeof kFont[0] - 1];
}

void FillLuma(I420Picture* pic, int x0, int y0, int w, int h, uint8_t value) {
    for (int y = y0 < 0 ? 0 : y0; y < y0 + h && y < pic->height; ++y) {
        for (int x = x0 < 0 ? 0 : x0; x < x0 + w && x < pic->width; ++x) pic->y[size_t(y) * pic->width + x] = value;
    }
}

// Neutral chroma over a luma rectangle, so text boxes are black and white on any background.
void FillNeutralChroma(I420Picture* pic, int x0, int y0, int w, int h) {
    int cw = pic->width / 2, ch = pic->height / 2;
    for (int y = (y0 < 0 ? 0 : y0) / 2; y < (y0 + h + 1) / 2 && y < ch; ++y) {
        for (int x = (x0 < 0 ? 0 : x0) / 2; x < (x0 + w + 1) / 2 && x < cw; ++x) {
            pic->u[size_t(y) * cw + x] = 128;
            pic->v[size_t(y) * cw + x] = 128;
        }
    }
}

}  // namespace

void DrawText(I420Picture* pic, int x, int y, int scale, const std::string& text) {
    int cell = 6 * scale;
    FillLuma(pic, x - scale, y - scale, int(text.size()) * cell + scale, 9 * scale, 16);
    FillNeutralChroma(pic, x - scale, y - scale, int(text.size()) * cell + scale, 9 * scale);
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = FindGlyph(text[i]);
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (g.rows[row] & (0x10 >> col)) {
                    FillLuma(pic, x + int(i) * cell + col * scale, y + row * scale, scale, scale, 235);
                }
            }
        }
    }
}

void DrawTestPicture(I420Picture* pic, int width, int height, const std::string& label, int index, int fps) {
    pic->width = width;
    pic->height = height;
    pic->y.resize(size_t(width) * height);
    pic->u.resize(size_t(width / 2) * (height / 2));
    pic->v.resize(pic->u.size());
    // Diagonal bands drifting with time, and colour bars, so every frame differs.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) pic->y[size_t(y) * width + x] = uint8_t(40 + ((x + y + 3 * index) & 0x7F));
    }
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            int bar = x * 8 / (width / 2);
            pic->u[size_t(y) * (width / 2) + x] = uint8_t(64 + bar * 16);
            pic->v[size_t(y) * (width / 2) + x] = uint8_t(192 - bar * 16);
        }
    }
    // A box moving across the picture.
    int box = height / 6;
    int span = width - box;
    int pos = span > 0 ? (index * 4) % (2 * span) : 0;
    if (pos > span) pos = 2 * span - pos;
    FillLuma(pic, pos, height / 2 - box / 2, box, box, 220);

    int scale = height / 120 > 0 ? height / 120 : 1;
    DrawText(pic, 2 * scale + 1, 2 * scale + 1, scale, label);
    int hundredths = fps > 0 ? index * 100 / fps : 0;
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d:%02d.%02d", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
    DrawText(pic, 2 * scale + 1, height - 10 * scale, scale, clock);
}

void DrawThermalPicture(I420Picture* pic, int width, int height, const std::string& label, int index, int fps) {
    pic->width = width;
    pic->height = height;
    pic->y.assign(size_t(width) * height, 0);
    pic->u.assign(size_t(width / 2) * (height / 2), 0);
    pic->v.assign(pic->u.size(), 0);
    // The figure: an upright ellipse drifting left and right, hottest in its middle.
    double cx = width / 2.0 + (width / 3.0) * ((index % 100) < 50 ? (index % 50) / 25.0 - 1 : 1 - (index % 50) / 25.0);
    double cy = height * 0.55, rx = width / 9.0, ry = height / 3.0;
    auto heat = [&](int x, int y) {
        double dx = (x - cx) / rx, dy = (y - cy) / ry;
        double d = dx * dx + dy * dy;
        return d >= 1 ? 0.08 + 0.04 * double(y) / height : 1.0 - 0.6 * d;  // 0 cold .. 1 hot
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pic->y[size_t(y) * width + x] = uint8_t(30 + 200 * heat(x, y));
    // Cold is blue (high U, low V), warm is red to yellow (low U, high V).
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            double h = heat(2 * x, 2 * y);
            pic->u[size_t(y) * (width / 2) + x] = uint8_t(170 - 120 * h);
            pic->v[size_t(y) * (width / 2) + x] = uint8_t(110 + 100 * (h > 0.5 ? 1.0 : h * 2));
        }
    }
    int scale = height / 120 > 0 ? height / 120 : 1;
    DrawText(pic, 2 * scale + 1, 2 * scale + 1, scale, label);
    (void)fps;
}

}  // namespace ocv::devsim
