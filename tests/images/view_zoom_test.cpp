// The enlarged view's zoom: the point under the pointer stays put, and the picture never leaves a gap.

#include "images/view_zoom.h"

#include <gtest/gtest.h>

namespace kelvot {
namespace {

TEST(ViewZoom, KeepsThePointUnderThePointerAndPlacesThePicture) {
    const ZoomFrame big{100, 100, 400, 400}, small{100, 100, 150, 150};
    EXPECT_EQ(ZoomAround({1, 0, 0}, 2, 50, 50, big), (ZoomView{2, -50, -50}));
    EXPECT_EQ(ZoomAround({1, -100, -100}, 0.5, 0, 0, big), (ZoomView{0.5, -50, -50}));
    EXPECT_EQ(ZoomAround({1, 0, 0}, 4, 100, 100, big), (ZoomView{4, -300, -300}));
    EXPECT_EQ(ZoomAround({1, -10, -10}, 0.5, 90, 0, small), (ZoomView{0.5, 12.5, 12.5})); // smaller: centred
    EXPECT_EQ(PlaceInView({1, 30, -500}, big), (ZoomView{1, 0, -300}));                   // a drag too far
}

TEST(ViewZoom, StepsReachOneAndTwoFromAnyScale) {
    EXPECT_EQ(NextZoomScale(0.37, 1), 0.5);
    EXPECT_EQ(NextZoomScale(0.9, 1), 1);
    EXPECT_EQ(NextZoomScale(1, 1), 1.5);
    EXPECT_EQ(NextZoomScale(1.5, 1), 2);
    EXPECT_EQ(NextZoomScale(1, -1), 2.0 / 3);
    EXPECT_EQ(NextZoomScale(32, 1), 32);
    EXPECT_EQ(NextZoomScale(1.0 / 16, -1), 1.0 / 16);
}

} // namespace
} // namespace kelvot
