#pragma once

// Where the window and its controls go, worked out from the screen size and its available area, in
// pixels. Kept free of widgets so the arithmetic can be checked on its own.

namespace kelvot::app {

struct Box {
    double left = 0, top = 0, width = 0, height = 0;
};

struct WindowLayout {
    Box window;
    Box Command1, Label1, Combo1, Label2, Check1, Pic1, Pic2, List1, Picture1;
    Box Text1; // the name filter, in the gap above the list: every other control keeps its place
    double statusBarHeight = 0;
};

// screenWidth/screenHeight: the whole primary screen; workTop/workHeight: its available area.
WindowLayout ComputeWindowLayout(double screenWidth, double screenHeight, double workTop, double workHeight);

} // namespace kelvot::app
