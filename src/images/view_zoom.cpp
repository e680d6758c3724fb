#include "images/view_zoom.h"

#include <algorithm>
#include <array>

namespace kelvot {

namespace {

double PlaceAxis(double start, double extent, double view) {
    if (extent <= view) return (view - extent) / 2;
    return std::clamp(start, view - extent, 0.0);
}

// Whole and half steps, so 1:1 and the crisp 2x are always reached.
constexpr std::array kScales{1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2,
                             2.0 / 3,  1.0,      1.5,     2.0,     3.0,     4.0,     6.0,
                             8.0,      12.0,     16.0,    24.0,    32.0};

} // namespace

ZoomView PlaceInView(ZoomView view, const ZoomFrame& frame) {
    view.left = PlaceAxis(view.left, frame.width * view.scale, frame.viewWidth);
    view.top = PlaceAxis(view.top, frame.height * view.scale, frame.viewHeight);
    return view;
}

ZoomView ZoomAround(ZoomView view, double scale, double x, double y, const ZoomFrame& frame) {
    const double pictureX = (x - view.left) / view.scale, pictureY = (y - view.top) / view.scale;
    return PlaceInView({scale, x - pictureX * scale, y - pictureY * scale}, frame);
}

double NextZoomScale(double scale, int direction) {
    // A scale a hair off a step (a fitted one) moves to the step beyond it, not onto itself.
    if (direction > 0) {
        const auto next = std::upper_bound(kScales.begin(), kScales.end(), scale * 1.001);
        return next == kScales.end() ? kScales.back() : *next;
    }
    const auto next = std::lower_bound(kScales.begin(), kScales.end(), scale / 1.001);
    return next == kScales.begin() ? kScales.front() : *(next - 1);
}

} // namespace kelvot
