#include "ui/Layout.h"

namespace tamsel {

namespace {

struct SizeTable {
    int window;
    Rect viewer;
    int closeW, closeH, setupGap, buttonW, buttonH, arrowGap, arrow, thumbGap, thumbW, thumbH;
    Rect gps;
};

constexpr SizeTable kSizes[2] = {
    {600, {65, 124, 360, 272}, 110, 50, 15, 110, 70, 35, 70, 17, 96, 72, {443, 26, 128, 44}},
    {800, {87, 166, 480, 360}, 150, 70, 30, 150, 100, 48, 100, 15, 129, 97, {591, 35, 170, 57}},
};

} // namespace

MainLayout ComputeMainLayout(int windowSizeMod)
{
    const SizeTable& t = kSizes[windowSizeMod == 1 ? 1 : 0];
    MainLayout l;
    l.window = {0, 0, t.window, t.window};
    l.viewer = t.viewer;
    l.close = {l.viewer.Right() + 60, l.viewer.y - 5, t.closeW, t.closeH};
    l.setup = {l.close.x, l.close.Bottom() + t.setupGap, t.buttonW, t.buttonH};
    l.capture = {l.setup.x, l.setup.Bottom(), t.buttonW, t.buttonH};
    l.del = {l.capture.x, l.capture.Bottom(), t.buttonW, t.buttonH};
    l.left = {l.viewer.x, l.viewer.Bottom() + t.arrowGap, t.arrow, t.arrow};
    l.thumb = {l.left.Right() + t.thumbGap, l.left.y, t.thumbW, t.thumbH};
    l.right = {l.thumb.Right() + 17, l.thumb.y, t.arrow, t.arrow};
    l.mode = {l.right.Right() + 17, l.right.y, t.arrow, t.arrow};
    l.gps = t.gps;
    return l;
}

} // namespace tamsel
