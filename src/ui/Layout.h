// Where everything sits in the main window, for both window sizes.
#pragma once

namespace tamsel {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
};

struct MainLayout {
    Rect window, viewer, close, setup, capture, del, left, thumb, right, mode, gps;
};

// WindowSizeMod 0: 600 x 600; 1: 800 x 800. Each control is placed relative
// to the one placed before it.
MainLayout ComputeMainLayout(int windowSizeMod);

// Corner ellipse of the window's rounded shape, and the inset of its top and
// left edges.
constexpr int kWindowCornerEllipse = 33;
constexpr int kWindowShapeInset = 5;

} // namespace tamsel
