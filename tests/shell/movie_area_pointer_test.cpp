// Pointer behaviour of a movie area against a fake main window: drag steps,
// inertia, clicks, double-clicks and the context menu.

#include <gtest/gtest.h>

#include "kinetta/shell/movie_area_pointer.h"
#include "moviewin_support.h"

namespace kinetta {
namespace {

using ktest::PumpUntil;

class MovieAreaPointerTest : public ::testing::Test {
protected:
    void SetUp() override { ktest::App(); }
    ktest::FakeMain host;
};

float PerPixel(double zoom, int size) {
    return static_cast<float>(60.0 / zoom / 360.0 / size);
}

TEST_F(MovieAreaPointerTest, MoveIsClampedTo100PixelsAndKeepsTheDominantAxis) {
    MovieAreaPointer p(host);
    host.zoom = 2.0;
    p.Press({100, 100});
    EXPECT_EQ(host.shape, Qt::PointingHandCursor);
    p.Move({400, 110}); // 300 pixels in one move
    ASSERT_EQ(host.drags.size(), 1u);
    EXPECT_FLOAT_EQ(host.drags[0].dx, PerPixel(2.0, 600) * 100);
    EXPECT_EQ(host.drags[0].dy, 0.0f);
    EXPECT_EQ(host.drags[0].scale, 2.0f);
    p.Move({402, 60}); // mostly vertical: only the vertical turn
    EXPECT_EQ(host.drags[1].dx, 0.0f);
    EXPECT_FLOAT_EQ(host.drags[1].dy, PerPixel(2.0, 300) * -50);
    // Each accepted move of the dewarped view is committed, so the pose adds up.
    EXPECT_FLOAT_EQ(host.PoseX(), PerPixel(2.0, 600) * 100);
    EXPECT_FLOAT_EQ(host.PoseY(), PerPixel(2.0, 300) * -50);
    // A refused vertical turn clears the drag state.
    host.acceptDrag = false;
    host.calls.clear();
    p.Move({402, 0});
    EXPECT_EQ(p.DragDelta().dy, 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"drag", "commit"}));
}

TEST_F(MovieAreaPointerTest, PanoramaTurnsOnlyHorizontallyAndStillsAreRedrawn) {
    MovieAreaPointer p(host);
    host.model = 4;
    host.state = 3; // Paused: every step must be drawn again
    p.Press({100, 100});
    for (QPoint to : {QPoint(120, 130), QPoint(150, 170), QPoint(160, 240)})
        p.Move(to);
    ASSERT_EQ(host.drags.size(), 3u);
    for (const auto& d : host.drags) {
        EXPECT_GT(d.dx, 0.0f);
        EXPECT_EQ(d.dy, 0.0f);
    }
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "redraw"), 3);
}

TEST_F(MovieAreaPointerTest, FlickKeepsTurningAndDecays) {
    MovieAreaPointer p(host);
    p.SetInertiaPeriod(std::chrono::milliseconds(1));
    p.Press({0, 100});
    p.Move({50, 100});
    p.Move({100, 102}); // last delta (50, 2), within 30 degrees of the whole drag
    p.Release({100, 102});
    EXPECT_TRUE(p.InertiaRunning());
    ASSERT_TRUE(PumpUntil([&] { return !p.InertiaRunning(); }));
    ktest::Pump();
    // The engine sees exactly the offsets of the inertia arithmetic: 1 % less
    // every step until no axis moves by more than 3 pixels.
    Inertia expect(3, {50, 2});
    std::vector<float> want;
    while (expect.Moving())
        want.push_back(DragForMove(3, expect.Step(), 1.0, 600, 300).dx);
    ASSERT_EQ(host.drags.size(), 2 + want.size());
    EXPECT_EQ(want.size(), 47u);
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_FLOAT_EQ(host.drags[2 + i].dx, want[i]) << i;
    EXPECT_EQ(host.calls.back(), "commit"); // the engine is told the drag ended
}

TEST_F(MovieAreaPointerTest, APressStopsTheInertiaAndDropsQueuedSteps) {
    MovieAreaPointer p(host);
    p.SetInertiaPeriod(std::chrono::milliseconds(1));
    p.Press({0, 0});
    p.Move({100, 0});
    p.Release({100, 0});
    ASSERT_TRUE(PumpUntil([&] { return host.drags.size() > 3; }));
    p.Press({100, 0});
    EXPECT_FALSE(p.InertiaRunning());
    const size_t at = host.drags.size();
    ktest::Pump();
    EXPECT_EQ(host.drags.size(), at); // steps already queued turn nothing
    // A last move across the whole drag starts no inertia.
    p.Move({200, 0});
    p.Move({200, 40});
    p.Release({200, 40});
    EXPECT_FALSE(p.InertiaRunning());
}

TEST_F(MovieAreaPointerTest, SingleClickIsReportedWhenThePointerStayed) {
    MovieAreaPointer p(host);
    host.model = 2;
    for (QPoint cursor : {QPoint(30, 40), QPoint(90, 90)}) {
        host.cursor = cursor;
        p.Press({30, 40});
        p.Release({30, 40});
        EXPECT_TRUE(p.ClickTimerActive());
        ASSERT_TRUE(PumpUntil([&] { return !p.ClickTimerActive(); }));
    }
    EXPECT_EQ(host.clicks, std::vector<QPoint>{QPoint(30, 40)}); // not once the pointer moved
}

TEST_F(MovieAreaPointerTest, DoubleClickEntersFullScreenExceptInZoomModeOrNearTheEnd) {
    MovieAreaPointer p(host);
    host.model = 2;
    host.zoomMode = true;
    p.Press({10, 10});
    p.Release({10, 10});
    p.DoubleClick({10, 10});
    EXPECT_EQ(host.fullScreens, 0); // zoom mode: the click is a point to magnify
    EXPECT_EQ(host.scaleResets, 1);
    EXPECT_FALSE(p.ClickTimerActive());
    // The release of the double-click and presses during the guard do nothing.
    p.Release({10, 10});
    EXPECT_FALSE(p.ClickTimerActive());
    p.Press({10, 10});
    EXPECT_FALSE(p.Dragging());
    ASSERT_TRUE(PumpUntil([&] { return !p.GuardActive(); }));
    host.zoomMode = false;
    host.nearEnd = true;
    p.DoubleClick({10, 10});
    EXPECT_EQ(host.fullScreens, 0);
    ASSERT_TRUE(PumpUntil([&] { return !p.GuardActive(); }));
    host.nearEnd = false;
    p.DoubleClick({10, 10});
    EXPECT_EQ(host.fullScreens, 1);
}

TEST_F(MovieAreaPointerTest, RightButtonOpensTheMenuEvenWithoutARecording) {
    MovieAreaPointer p(host);
    host.state = 0; // Closed: the left button does nothing
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(505, 405), b, b,
                      Qt::NoModifier);
        EXPECT_TRUE(p.HandleMouseEvent(&e));
    }
    EXPECT_FALSE(p.Dragging());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.menus, std::vector<QPoint>{QPoint(505, 405)});
}

} // namespace
} // namespace kinetta
