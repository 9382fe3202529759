// The controller bar against a fake main window: layout, enabling, held
// buttons stepping every 30 ms (paced by a virtual clock), reset, and the
// worker ending with the bar.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/controller_logic.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/base/message_ids.h"
#include "moviewin_support.h"

namespace kinetta {
namespace {

using ktest::FakeMain;
using ktest::PumpUntil;

// A virtual clock for the worker: each wait advances it by 30 ms; the wait
// that reaches one second blocks until the test opens the gate.
struct VirtualClock {
    std::mutex m;
    std::condition_variable cv;
    int nowMs = 0;
    std::atomic<bool> blocked{false}, open{false};
    CControllerDlg::SleepFunction Sleeper() {
        return [this](std::chrono::milliseconds ms) {
            std::unique_lock<std::mutex> lk(m);
            if ((nowMs += static_cast<int>(ms.count())) < 1000) return;
            blocked = true;
            cv.wait(lk, [this] { return open.load(); });
        };
    }
    void Open() {
        std::lock_guard<std::mutex> lk(m);
        open = true;
        cv.notify_all();
    }
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ktest::App();
        SetSkinScale(1.0, 1.0, 96);
        bar = std::make_unique<CControllerDlg>(host);
        bar->resize(140, 120);
        area = std::make_unique<MovieAreaPointer>(host);
    }
    void Hold(int command) {
        PostWindowMessage(bar.get(), UM_BUTTON_HELD, 0, command);
        ktest::Pump();
    }
    void Let(int command) {
        PostWindowMessage(bar.get(), UM_BUTTON_RELEASED, 0, command);
        ktest::Pump();
    }
    FakeMain host;
    // Outlives the bar: its worker may still be pacing through the clock
    // until the bar's destructor joins it.
    VirtualClock clock;
    std::unique_ptr<MovieAreaPointer> area;
    std::unique_ptr<CControllerDlg> bar;
};

TEST_F(ControllerTest, LayoutTooltipsAndEnablingPerModel) {
    bar->LayoutButtons();
    const QRect expected[5] = {
        {54, 6, 32, 32}, {16, 44, 32, 32}, {92, 44, 32, 32}, {54, 82, 32, 32}, {54, 44, 32, 32}};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bar->Button(i)->geometry(), expected[i]) << i;
    EXPECT_EQ(bar->Button(4)->toolTip(), QStringLiteral("リセット"));
    bar->EnableForDisplayModel(4);
    const bool inPanorama[5] = {false, true, true, false, false};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bar->Button(i)->isEnabled(), inPanorama[i]) << i;
    bar->EnableForDisplayModel(3);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(bar->Button(i)->isEnabled());
    bar->EnableForDisplayModel(0);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(bar->Button(i)->isEnabled());
}

TEST_F(ControllerTest, HoldingUpForOneSecondTurnsAbout33StepsAndResetRestoresThePose) {
    bar->SetSleepFunction(clock.Sleeper());
    bar->SetMovieArea(area.get());
    bar->EnableForDisplayModel(3);
    bar->StartWorker();
    ASSERT_TRUE(PumpUntil([&] { return bar->WorkerSuspended(); }));

    Hold(kControllerUp);
    ASSERT_TRUE(PumpUntil([&] { return clock.blocked.load(); })); // one virtual second later
    ktest::Pump();
    Let(kControllerUp);
    clock.Open();
    ASSERT_TRUE(PumpUntil([&] { return bar->WorkerSuspended(); }));
    ktest::Pump();

    const size_t steps = host.drags.size();
    EXPECT_GE(steps, 33u);
    EXPECT_LE(steps, 34u);
    for (const auto& d : host.drags) {
        EXPECT_EQ(d.camera, 0);
        EXPECT_EQ(d.dx, 0.0f);
        EXPECT_FLOAT_EQ(d.dy, static_cast<float>(60.0 / 360.0 / 300.0 * 30));
    }
    // Every step was committed: the pose is the sum of the steps.
    EXPECT_NEAR(host.PoseY(), steps * 60.0 / 360.0 / 300.0 * 30, 1e-4);
    EXPECT_EQ(bar->ActiveCommand(), 0);

    host.calls.clear();
    Hold(kControllerReset);
    EXPECT_EQ(bar->ActiveCommand(), kControllerReset);
    ASSERT_TRUE(PumpUntil([&] { return host.PoseX() == 0.0f && host.PoseY() == 0.0f; }));
    Let(kControllerReset);
    const std::vector<std::string> sequence = {"commit", "reset", "redraw", "commit"};
    EXPECT_TRUE(std::search(host.calls.begin(), host.calls.end(), sequence.begin(),
                            sequence.end()) != host.calls.end());
}

TEST_F(ControllerTest, ZoomAndSizeScaleTheStepAndPanoramaPansHorizontally) {
    bar->SetMovieArea(area.get());
    bar->SetZoom(2.0f);
    host.size = {400, 200};
    bar->EnableForDisplayModel(4);
    bar->StartWorker();
    Hold(kControllerRight);
    ASSERT_TRUE(PumpUntil([&] { return host.drags.size() >= 2; }));
    Let(kControllerRight);
    ASSERT_TRUE(PumpUntil([&] { return bar->WorkerSuspended(); }));
    ktest::Pump();
    for (const auto& d : host.drags) { // a larger zoom turns less per step
        EXPECT_FLOAT_EQ(d.dx, static_cast<float>(60.0 / 2.0 / 360.0 / 400.0 * -30));
        EXPECT_EQ(d.dy, 0.0f);
    }

    // Switching to a model without buttons ends a held command.
    Hold(kControllerLeft);
    bar->EnableForDisplayModel(2);
    EXPECT_EQ(bar->ActiveCommand(), 0);
    ASSERT_TRUE(PumpUntil([&] { return bar->WorkerSuspended(); }));
}

TEST_F(ControllerTest, ClosingWhileAButtonIsHeldEndsTheWorker) {
    bar->SetMovieArea(area.get());
    bar->EnableForDisplayModel(3);
    bar->StartWorker();
    Hold(kControllerDown);
    ASSERT_TRUE(PumpUntil([&] { return !host.drags.empty(); }));
    EXPECT_TRUE(bar->HasWorker());
    bar.reset(); // joins the worker while the button is still held
    const size_t at = host.drags.size();
    ktest::Pump();
    EXPECT_EQ(host.drags.size(), at); // steps still queued died with the bar
    EXPECT_GT(host.drags.back().dy, -1.0f);
    EXPECT_LT(host.drags.back().dy, 0.0f); // down turns by -30 pixels a step
}

} // namespace
} // namespace kinetta
