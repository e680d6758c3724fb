#pragma once

// Zooming and panning a picture in a view, worked out without widgets: where the picture goes when its
// scale changes around a point, or when it is dragged.

namespace kelvot {

// The picture drawn at `scale` view pixels a picture pixel, its top-left corner at (left, top) in the view.
struct ZoomView {
    double scale = 1, left = 0, top = 0;
    bool operator==(const ZoomView&) const = default;
};

// A view of viewWidth × viewHeight showing a picture of width × height.
struct ZoomFrame {
    double viewWidth = 0, viewHeight = 0, width = 0, height = 0;
};

// Along each axis: centred where the picture is no larger than the view, else moved back so that no gap
// opens between its edge and the view's.
ZoomView PlaceInView(ZoomView view, const ZoomFrame& frame);

// The view at `scale` with the picture's point under (x, y) still under it, then placed.
ZoomView ZoomAround(ZoomView view, double scale, double x, double y, const ZoomFrame& frame);

// The next scale of the zoom's steps above `scale` (direction > 0) or below it, within 1/16 to 32.
double NextZoomScale(double scale, int direction);

} // namespace kelvot
