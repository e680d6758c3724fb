#pragma once

// Where a picture goes in a preview box: centred when it fits, else scaled down to the box's width or
// height keeping its proportions. Fractions round to the nearest whole number, halves to even.

namespace kelvot {

struct DrawRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool scaled = false; // false: drawn at its own size

    bool operator==(const DrawRect&) const = default;
};

// boxWidth/boxHeight: the box's inner size; width/height: the picture's (both positive).
DrawRect FitPicture(double boxWidth, double boxHeight, int width, int height);

} // namespace kelvot
