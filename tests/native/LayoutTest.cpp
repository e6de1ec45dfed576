#include "ui/Layout.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

void ExpectRect(const Rect& r, int x, int y, int w, int h, const char* what)
{
    EXPECT_EQ(r.x, x) << what;
    EXPECT_EQ(r.y, y) << what;
    EXPECT_EQ(r.width, w) << what;
    EXPECT_EQ(r.height, h) << what;
}

TEST(MainLayout, SmallWindow)
{
    const MainLayout l = ComputeMainLayout(0);
    ExpectRect(l.window, 0, 0, 600, 600, "window");
    ExpectRect(l.viewer, 65, 124, 360, 272, "viewer");
    ExpectRect(l.close, 485, 119, 110, 50, "close");
    ExpectRect(l.setup, 485, 184, 110, 70, "setup");
    ExpectRect(l.capture, 485, 254, 110, 70, "capture");
    ExpectRect(l.del, 485, 324, 110, 70, "delete");
    ExpectRect(l.left, 65, 431, 70, 70, "left");
    ExpectRect(l.thumb, 152, 431, 96, 72, "thumbnail");
    ExpectRect(l.right, 265, 431, 70, 70, "right");
    ExpectRect(l.mode, 352, 431, 70, 70, "mode");
    ExpectRect(l.gps, 443, 26, 128, 44, "gps");
    EXPECT_EQ(l.close.Right(), 595);
}

TEST(MainLayout, LargeWindow)
{
    const MainLayout l = ComputeMainLayout(1);
    ExpectRect(l.window, 0, 0, 800, 800, "window");
    ExpectRect(l.viewer, 87, 166, 480, 360, "viewer");
    ExpectRect(l.close, 627, 161, 150, 70, "close");
    ExpectRect(l.setup, 627, 261, 150, 100, "setup");
    ExpectRect(l.capture, 627, 361, 150, 100, "capture");
    ExpectRect(l.del, 627, 461, 150, 100, "delete");
    ExpectRect(l.left, 87, 574, 100, 100, "left");
    ExpectRect(l.thumb, 202, 574, 129, 97, "thumbnail");
    ExpectRect(l.right, 348, 574, 100, 100, "right");
    ExpectRect(l.mode, 465, 574, 100, 100, "mode");
    ExpectRect(l.gps, 591, 35, 170, 57, "gps");
    EXPECT_EQ(l.mode.Right(), 565);
}

} // namespace
} // namespace tamsel
