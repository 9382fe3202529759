// The controller bar against a fake main window: layout, enabling, held
// buttons stepping every 30 ms (paced by a virtual clock), reset, and the
// stepping ending with the bar.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "kinetta/base/message_ids.h"
#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/controller_logic.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "moviewin_support.h"

namespace kinetta {
namespace {

using ktest::FakeMain;
using ktest::PumpUntil;

// A virtual clock for the steps: the real step timer is held off (a period
// of an hour), and each 30 ms of a virtual second fires its timeout once.
void HoldOffRealTimer(CControllerDlg& bar) {
    bar.SetStepPeriod(std::chrono::hours(1));
}
void RunVirtualSecond(CControllerDlg& bar) {
    for (int t = CControllerDlg::kStepMs; t < 1000; t += CControllerDlg::kStepMs)
        QMetaObject::invokeMethod(&bar.StepTimer(), "timeout", Qt::DirectConnection);
}

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
    EXPECT_EQ(bar->StepTimer().interval(), 30);
    HoldOffRealTimer(*bar);
    bar->SetMovieArea(area.get());
    bar->EnableForDisplayModel(3);
    EXPECT_FALSE(bar->Stepping());

    Hold(kControllerUp);
    ASSERT_TRUE(bar->Stepping());
    RunVirtualSecond(*bar);
    Let(kControllerUp);
    EXPECT_FALSE(bar->Stepping());
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
    Hold(kControllerRight);
    ASSERT_TRUE(PumpUntil([&] { return host.drags.size() >= 2; })); // the real 30 ms timer
    Let(kControllerRight);
    EXPECT_FALSE(bar->Stepping());
    const size_t released = host.drags.size();
    ktest::Pump();
    EXPECT_EQ(host.drags.size(), released); // nothing turns after the release
    for (const auto& d : host.drags) {      // a larger zoom turns less per step
        EXPECT_FLOAT_EQ(d.dx, static_cast<float>(60.0 / 2.0 / 360.0 / 400.0 * -30));
        EXPECT_EQ(d.dy, 0.0f);
    }

    // Switching to a model without buttons ends a held command.
    Hold(kControllerLeft);
    bar->EnableForDisplayModel(2);
    EXPECT_EQ(bar->ActiveCommand(), 0);
    EXPECT_FALSE(bar->Stepping());
}

TEST_F(ControllerTest, ClosingWhileAButtonIsHeldEndsTheStepping) {
    bar->SetMovieArea(area.get());
    bar->EnableForDisplayModel(3);
    Hold(kControllerDown);
    ASSERT_TRUE(PumpUntil([&] { return host.drags.size() >= 2; }));
    EXPECT_TRUE(bar->Stepping());
    bar.reset(); // ends the bar while the button is still held
    const size_t at = host.drags.size();
    ktest::Pump();
    EXPECT_EQ(host.drags.size(), at); // no step after the bar ended
    EXPECT_GT(host.drags.back().dy, -1.0f);
    EXPECT_LT(host.drags.back().dy, 0.0f); // down turns by -30 pixels a step
}

} // namespace
} // namespace kinetta
