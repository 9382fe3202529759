// Display-model cycle, drag steps and inertia of a movie area.

#include <gtest/gtest.h>

#include "kinetta/shell/movie_pointer.h"

using namespace kinetta;

TEST(MoviePointer, ModelCycles) {
    int m = 4;
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(m = NextDisplayModel(OperatingMode::Full, m));
    EXPECT_EQ(seen, (std::vector<int>{1, 3, 2, 4}));
    EXPECT_EQ(NextDisplayModel(OperatingMode::Single, 4), 1);
    EXPECT_EQ(NextDisplayModel(OperatingMode::Light, 3), 2);
    EXPECT_EQ(NextDisplayModel(OperatingMode::Light, 2), 3);
    EXPECT_EQ(NextDisplayModel(OperatingMode::Light, 4), 2); // Light never reaches 1 or 4
}

TEST(MoviePointer, DragStepsClampAndKeepTheDominantAxis) {
    PixelDelta d = ClampedDelta(400, 10, 100, 0);
    EXPECT_EQ(d.dx, 100); // a 300-pixel move is applied as 100
    EXPECT_EQ(d.dy, 10);
    ViewDrag v = DragForMove(3, d, 1.0, 600, 300);
    EXPECT_FLOAT_EQ(v.dx, 60.0f / 360.0f / 600.0f * 100.0f);
    EXPECT_EQ(v.dy, 0.0f);
    ViewDrag vertical = DragForMove(3, {5, -80}, 2.0, 600, 300);
    EXPECT_EQ(vertical.dx, 0.0f);
    EXPECT_FLOAT_EQ(vertical.dy, 60.0f / 2.0f / 360.0f / 300.0f * -80.0f);
    // The panorama turns only horizontally, even on a mostly vertical drag.
    ViewDrag pano = DragForMove(4, {20, 90}, 1.0, 600, 300);
    EXPECT_GT(pano.dx, 0.0f);
    EXPECT_EQ(pano.dy, 0.0f);
    EXPECT_EQ(DragForMove(2, {20, 0}, 1.0, 600, 300).dx, 0.0f);
    EXPECT_EQ(DragForMove(3, {20, 0}, 1.0, 0, 300).dx, 0.0f);
}

TEST(MoviePointer, InertiaRulesAndDecay) {
    EXPECT_TRUE(ResumesInertia(0, 0, 100, 10, {30, 2}));
    EXPECT_FALSE(ResumesInertia(0, 0, 100, 0, {0, 30}));   // the last move went elsewhere
    EXPECT_FALSE(ResumesInertia(50, 50, 50, 50, {10, 0})); // no movement since the press
    EXPECT_TRUE(IsClickRelease({3, -3}));
    EXPECT_FALSE(IsClickRelease({4, 0}));

    Inertia flick(3, {100, 0});
    int steps = 0, previous = 100;
    while (flick.Moving()) {
        flick.Step();
        EXPECT_LT(flick.Delta().dx, previous); // slows every 30 ms
        EXPECT_GE(flick.Delta().dx, previous * 99 / 100 - 1);
        previous = flick.Delta().dx;
        ++steps;
    }
    EXPECT_EQ(flick.Delta().dx, 3);
    EXPECT_EQ(steps, 97);
    EXPECT_GT(flick.Offset().dx, 4000);

    Inertia pano(4, {50, 40});
    pano.Step();
    EXPECT_EQ(pano.Offset().dy, 0);
    EXPECT_EQ(pano.Offset().dx, 49 / 2);
    EXPECT_FALSE(Inertia(3, {3, -3}).Moving());
}

#include "kinetta/shell/controller_logic.h"

TEST(ControllerBar, LayoutStepsAndEnabling) {
    auto r = ControllerButtonRects(140, 120, 1.0);
    EXPECT_EQ(r[0], (Rect{54, 6, 32, 32}));  // up
    EXPECT_EQ(r[1], (Rect{16, 44, 32, 32})); // left
    EXPECT_EQ(r[2], (Rect{92, 44, 32, 32})); // right
    EXPECT_EQ(r[3], (Rect{54, 82, 32, 32})); // down
    EXPECT_EQ(r[4], (Rect{54, 44, 32, 32})); // reset
    EXPECT_EQ(ControllerButtonRects(0, 120, 1.0)[0], Rect{});

    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(ControllerButtonEnabled(i, 3));
        EXPECT_FALSE(ControllerButtonEnabled(i, 1));
        EXPECT_FALSE(ControllerButtonEnabled(i, 2));
    }
    EXPECT_TRUE(ControllerButtonEnabled(1, 4));
    EXPECT_TRUE(ControllerButtonEnabled(2, 4));
    EXPECT_FALSE(ControllerButtonEnabled(0, 4));
    EXPECT_FALSE(ControllerButtonEnabled(4, 4));

    // Held "上" for a second: about 33 steps of 30 pixels against the area's size.
    const auto& up = ControllerButtons()[0];
    EXPECT_EQ(up.command, 29);
    EXPECT_EQ(1000 / Inertia::kPeriodMs, 33);
    ViewDrag step = DragForMove(3, up.step, 1.0, 709, 406);
    EXPECT_FLOAT_EQ(step.dy, 60.0f / 360.0f / 406.0f * 30.0f);
    ViewDrag zoomed = DragForMove(3, up.step, 2.0, 709, 406);
    EXPECT_LT(zoomed.dy, step.dy); // a larger zoom turns less per step
    // In the panorama only left and right act, and only horizontally.
    EXPECT_EQ(DragForMove(4, ControllerButtons()[0].step, 1.0, 709, 406).dx, 0.0f);
    EXPECT_GT(DragForMove(4, ControllerButtons()[1].step, 1.0, 709, 406).dx, 0.0f);
}
