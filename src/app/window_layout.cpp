#include "app/window_layout.h"

#include <algorithm>

namespace kelvot::app {

namespace {

// The controls' design positions were drawn at 15 units a pixel.
constexpr Box Design(double left, double top, double width, double height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

} // namespace

WindowLayout ComputeWindowLayout(double W, double H, double workTop, double workHeight) {
    WindowLayout l;
    l.window.width = 0.75 * W;
    l.window.height = workHeight;
    l.window.top = workTop;
    l.window.left = (W - l.window.width) / 2;
    const double FW = l.window.width, FH = l.window.height;

    l.Command1 = Design(360, 240, 1455, 495);
    l.Label1 = Design(2640, 360, 735, 375);
    l.Combo1 = Design(3480, 360, 1695, 315);
    l.Label2 = Design(6360, 360, 3855, 735);
    l.Check1 = Design(360, 840, 4815, 375);
    l.Pic1 = Design(360, 1320, 5775, 3975);
    l.Pic2 = Design(360, 5520, 5775, 3975);
    l.List1 = Design(7440, 1680, 2655, 6780);
    l.Picture1 = Design(5400, 360, 780, 780);

    l.List1 = {0.625 * FW, 0.112 * FH, 0.25 * W, 0.75 * H};
    l.Label2 = {0.5 * FW, 0.025 * FH, 0.35 * W, 0.06 * H};
    l.Command1.top = 0.02 * FH;
    l.Check1.top = 0.075 * FH;
    l.Combo1.top = 0.025 * FH;
    l.Label1.top = 0.025 * FH;
    l.Pic1 = {l.Pic1.left, 0.12 * FH, 0.425 * W, 0.359 * H};
    l.Pic2 = {l.Pic2.left, 0.515 * FH, 0.425 * W, 0.359 * H};
    l.statusBarHeight = 0.0335 * H;

    // The name filter fills the gap between the path and the list. On a small screen it is no less tall
    // than the combo box, so its text stays readable, and reaches up into the path's last line.
    const double gap = std::max(l.List1.top - (l.Label2.top + l.Label2.height), 0.0);
    const double height = std::max(0.8 * gap, l.Combo1.height), below = std::max(0.1 * gap, 2.0);
    l.Text1 = {l.List1.left, l.List1.top - below - height, l.List1.width, height};
    return l;
}

} // namespace kelvot::app
