// Pointer behaviour of a movie area against a fake main window: drag steps,
// inertia, clicks, double-clicks and the context menu.

#include <gtest/gtest.h>

#include "kinetta/shell/movie_area_pointer.h"
#include "moviewin_support.h"

namespace kinetta {
namespace {

using ktest::FakeMain;
using ktest::PumpUntil;

class MovieAreaPointerTest : public ::testing::Test {
protected:
    void SetUp() override { ktest::App(); }
    FakeMain host;
};

float TurnPerPixel(double zoom, int size) {
    return static_cast<float>(60.0 / zoom / 360.0 / size);
}

TEST_F(MovieAreaPointerTest, MoveIsClampedTo100PixelsAndKeepsTheDominantAxis) {
    MovieAreaPointer p(host);
    host.zoom = 2.0;
    p.Press({100, 100});
    EXPECT_EQ(host.shape, Qt::PointingHandCursor);
    EXPECT_EQ(host.calls, std::vector<std::string>{"commit"});
    p.Move({400, 110}); // 300 pixels in one move
    ASSERT_EQ(host.drags.size(), 1u);
    EXPECT_FLOAT_EQ(host.drags[0].dx, TurnPerPixel(2.0, 600) * 100);
    EXPECT_EQ(host.drags[0].dy, 0.0f);
    EXPECT_EQ(host.drags[0].scale, 2.0f);
    EXPECT_EQ(p.DragDelta().dx, 100);
    EXPECT_EQ(p.DragDelta().dy, 10);
    // Mostly vertical: only the vertical turn.
    p.Move({402, 60});
    EXPECT_EQ(host.drags[1].dx, 0.0f);
    EXPECT_FLOAT_EQ(host.drags[1].dy, TurnPerPixel(2.0, 300) * -50);
    // Each accepted move of the dewarped view is committed, so the pose adds up.
    EXPECT_FLOAT_EQ(host.PoseX(), TurnPerPixel(2.0, 600) * 100);
    EXPECT_FLOAT_EQ(host.PoseY(), TurnPerPixel(2.0, 300) * -50);
    EXPECT_EQ(host.calls.back(), "commit");
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "redraw"), 0); // Playing
    p.Release({402, 60});
    EXPECT_EQ(host.shape, Qt::ArrowCursor);
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

    // Models without a drag hand nothing to the engine.
    host.drags.clear();
    host.model = 2;
    p.Press({0, 0});
    p.Move({50, 50});
    EXPECT_TRUE(host.drags.empty());
    EXPECT_EQ(host.shape, Qt::ArrowCursor);
}

TEST_F(MovieAreaPointerTest, RefusedVerticalDragClearsTheDragState) {
    MovieAreaPointer p(host);
    p.Press({100, 100});
    host.acceptDrag = false;
    p.Move({100, 160});
    EXPECT_EQ(p.DragDelta().dy, 0);
    EXPECT_EQ(p.DragOffset().dy, 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"commit", "drag", "commit"}));
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
    while (expect.Moving()) {
        const PixelDelta off = expect.Step();
        want.push_back(DragForMove(3, off, 1.0, 600, 300).dx);
    }
    ASSERT_EQ(host.drags.size(), 2 + want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_FLOAT_EQ(host.drags[2 + i].dx, want[i]) << i;
    EXPECT_EQ(want.size(), 47u); // 50 pixels a step decay below 4 in 47 steps
    // The steps grow by less each time: the motion slows down.
    for (size_t i = 2; i < want.size(); ++i)
        EXPECT_LE(want[i] - want[i - 1], want[i - 1] - want[i - 2] + 1e-7f);
    // When it has died down the engine is told the drag ended.
    EXPECT_EQ(host.calls.back(), "commit");
}

TEST_F(MovieAreaPointerTest, APressStopsTheInertiaAndDropsQueuedSteps) {
    MovieAreaPointer p(host);
    p.SetInertiaPeriod(std::chrono::milliseconds(1));
    p.Press({0, 0});
    p.Move({100, 0});
    p.Release({100, 0});
    ASSERT_TRUE(PumpUntil([&] { return host.drags.size() > 3; }));
    p.Press({100, 0}); // steps already queued must not turn the view any more
    EXPECT_FALSE(p.InertiaRunning());
    const size_t at = host.drags.size();
    ktest::Pump();
    EXPECT_EQ(host.drags.size(), at);
    p.Release({100, 0});

    // A release whose last move went across the whole drag starts no inertia.
    p.Press({0, 0});
    p.Move({100, 0});
    p.Move({100, 40});
    p.Release({100, 40});
    EXPECT_FALSE(p.InertiaRunning());
}

TEST_F(MovieAreaPointerTest, SingleClickIsReportedWhenThePointerStayed) {
    MovieAreaPointer p(host);
    host.model = 2;
    host.cursor = {30, 40};
    p.Press({30, 40});
    p.Release({30, 40});
    EXPECT_TRUE(p.ClickTimerActive());
    ASSERT_TRUE(PumpUntil([&] { return !p.ClickTimerActive(); }));
    EXPECT_EQ(host.clicks, std::vector<QPoint>{QPoint(30, 40)});

    host.cursor = {90, 90}; // moved away before the timer fired
    p.Press({30, 40});
    p.Release({30, 40});
    ASSERT_TRUE(PumpUntil([&] { return !p.ClickTimerActive(); }));
    EXPECT_EQ(host.clicks.size(), 1u);

    // A drag that ended fast is no click.
    host.model = 3;
    p.Press({30, 40});
    p.Move({80, 40});
    p.Release({80, 40});
    EXPECT_FALSE(p.ClickTimerActive());
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
    EXPECT_TRUE(p.GuardActive());
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
    EXPECT_EQ(host.scaleResets, 3);
}

TEST_F(MovieAreaPointerTest, RightButtonOpensTheMenuEvenWithoutARecording) {
    MovieAreaPointer p(host);
    host.state = 0; // Closed: the left button does nothing
    QWidget area;
    area.resize(200, 100);
    QMouseEvent left(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(505, 405), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    EXPECT_TRUE(p.HandleMouseEvent(&left));
    EXPECT_FALSE(p.Dragging());
    EXPECT_TRUE(host.calls.empty());
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(505, 405), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(p.HandleMouseEvent(&right));
    EXPECT_EQ(host.menus, std::vector<QPoint>{QPoint(505, 405)});
}

} // namespace
} // namespace kinetta
