#include "images/fitting.h"

#include <gtest/gtest.h>

using namespace kelvot;

TEST(Fitting, EveryCaseOfThePreviewRule) {
    // Fits: centred at its own size.
    EXPECT_EQ(FitPicture(200, 150, 64, 64), (DrawRect{68, 43, 64, 64, false}));
    EXPECT_EQ(FitPicture(200, 150, 200, 150), (DrawRect{0, 0, 200, 150, false}));
    EXPECT_EQ(FitPicture(200, 150, 63, 63), (DrawRect{68, 44, 63, 63, false})); // 68.5 and 43.5 go to even
    // Wider only: fitted to the width.
    EXPECT_EQ(FitPicture(200, 150, 256, 64), (DrawRect{0, 50, 200, 50, true}));
    // Taller only: fitted to the height; 37.5 rounds to 38.
    EXPECT_EQ(FitPicture(200, 150, 64, 256), (DrawRect{81, 0, 38, 150, true}));
    // Larger both ways: by the proportions.
    EXPECT_EQ(FitPicture(200, 150, 400, 400), (DrawRect{25, 0, 150, 150, true}));
    EXPECT_EQ(FitPicture(200, 150, 1000, 300), (DrawRect{0, 45, 200, 60, true}));
    EXPECT_EQ(FitPicture(150, 100, 300, 200), (DrawRect{0, 0, 150, 100, true})); // the same shape
}
