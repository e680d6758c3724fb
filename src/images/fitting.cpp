#include "images/fitting.h"

#include <cmath>

namespace kelvot {

namespace {

// std::nearbyint under the default rounding mode rounds halves to even.
int Round(double v) {
    return static_cast<int>(std::nearbyint(v));
}

DrawRect FitToWidth(double SW, double SH, double w, double h) {
    const double d = SW / (w / h);
    return {0, Round((SH - d) / 2), Round(SW), Round(d), true};
}

DrawRect FitToHeight(double SW, double SH, double w, double h) {
    const double d = SH / (h / w);
    return {Round((SW - d) / 2), 0, Round(d), Round(SH), true};
}

} // namespace

DrawRect FitPicture(double SW, double SH, int width, int height) {
    const double w = width, h = height;
    if (SW < w && SH >= h) return FitToWidth(SW, SH, w, h);
    if (SH < h && SW >= w) return FitToHeight(SW, SH, w, h);
    if (SW >= w && SH >= h) return {Round((SW - w) / 2), Round((SH - h) / 2), width, height, false};
    // Larger both ways: the box's proportions are held in single precision, so a picture of exactly
    // the box's shape may still fall to one side of it.
    const double pictureRatio = w / h;
    const double boxRatio = static_cast<float>(SW / SH);
    if (pictureRatio > boxRatio) return FitToWidth(SW, SH, w, h);
    if (pictureRatio < boxRatio) return FitToHeight(SW, SH, w, h);
    return {0, 0, Round(SW), Round(SH), true};
}

} // namespace kelvot
