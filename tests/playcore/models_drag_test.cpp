// Drags, flip, commit and reset through the engine operations of CSphereModel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "playcore/models/sphere_model.h"

using namespace playcore;

namespace {

FlatParams RawNormalOf(const CSphereModel& m) {
    auto lock = m.Lock();
    return m.RawNormalLocked().Params();
}
WideParams WideOf(const CSphereModel& m) {
    auto lock = m.Lock();
    return m.WideScreenLocked().Params();
}
SphereParams SphereOf(const CSphereModel& m) {
    auto lock = m.Lock();
    return m.SphereLocked().Params();
}

// Rotation angle of a unit quaternion, radians.
double TurnAngle(const Quat& q) {
    return 2 * std::acos(std::min(1.0, std::fabs(q.w)));
}

} // namespace

TEST(FlatDrag, PanOnlyWhenZoomedWithEachModelsFactor) {
    CSphereModel m;
    m.SetDisplayMode(kModeRawNormal);
    ASSERT_TRUE(m.DragView(0.01f, -0.02f, 2.0f));
    EXPECT_FLOAT_EQ(RawNormalOf(m).panX, -0.01f * 13.163274f);
    EXPECT_FLOAT_EQ(RawNormalOf(m).panY, -0.02f * 13.163274f);
    EXPECT_FLOAT_EQ(RawNormalOf(m).zoom, 2.0f);
    ASSERT_TRUE(m.DragView(0.01f, 0.01f, 1.0f)); // back at zoom 1: the pan is reset
    EXPECT_EQ(RawNormalOf(m).panX, 0);
    EXPECT_EQ(RawNormalOf(m).panY, 0);
    // Flipped (upY < 0) the pan runs the other way.
    m.FlipView();
    m.DragView(0.01f, 0, 2.0f);
    EXPECT_FLOAT_EQ(RawNormalOf(m).panX, 0.01f * 13.163274f);

    m.SetDisplayMode(kModeDivide);
    m.DragView(0.01f, 0.01f, 3.0f);
    {
        auto lock = m.Lock();
        EXPECT_FLOAT_EQ(m.DivideLocked().Params().panX, 0.01f * 9.424778f);
        EXPECT_FLOAT_EQ(m.DivideLocked().Params().panY, -0.01f * 13.163274f);
    }
    // RawPlain flips by its eye, so its pan direction does not turn.
    m.SetDisplayMode(kModeRawPlain);
    m.DragView(0.01f, 0.01f, 2.0f);
    auto lock = m.Lock();
    EXPECT_FLOAT_EQ(m.RawPlainLocked().Params().panX, -0.01f * 14.137167f);
    EXPECT_FLOAT_EQ(m.RawPlainLocked().Params().panY, 0.01f * 14.137167f);
    EXPECT_FLOAT_EQ(m.RawPlainLocked().Params().eyeZ, 1.1f);
}

TEST(FlatDrag, WideScreenScrollsAndWrapsByWholeTurns) {
    CSphereModel m;
    m.SetDisplayMode(kModeWideScreen);
    // The first drag at zoom 1 meets previous zoom 0: it only resets the pan.
    m.DragView(0.01f, 0, 1.0f);
    EXPECT_FLOAT_EQ(WideOf(m).position, 1.0f);
    EXPECT_FLOAT_EQ(WideOf(m).prevZoom, 1.0f);
    // Right by 0.01 from 1.0 gives 0.98, below 1: one turn on, 2.0.
    m.DragView(0.01f, 0, 1.0f);
    EXPECT_FLOAT_EQ(WideOf(m).position, 2.0f);
    m.DragView(-0.3f, 0, 1.0f);
    EXPECT_FLOAT_EQ(WideOf(m).position, 2.6f);
    m.DragView(-0.3f, 0, 1.0f); // 3.2 is past 3: back by one turn
    EXPECT_FLOAT_EQ(WideOf(m).position, 2.0f);
    // A new zoom pans instead of scrolling; the same zoom again scrolls.
    m.DragView(0.1f, 0.02f, 2.0f);
    EXPECT_FLOAT_EQ(WideOf(m).position, 2.0f);
    EXPECT_FLOAT_EQ(WideOf(m).panX, -0.1f * 6.2831855f);
    EXPECT_FLOAT_EQ(WideOf(m).panY, 0.02f * 14.137167f);
    m.DragView(0.1f, 0, 2.0f);
    EXPECT_FLOAT_EQ(WideOf(m).position, 1.8f);
}

TEST(Flip, TwiceRestoresEveryModelExactly) {
    CSphereModel m;
    m.SetDisplayMode(kModeSphere);
    m.DragView(0.03f, 0.01f, 1.5f);
    const ModelStateBlock before = m.SaveState();
    EXPECT_TRUE(m.FlipView());
    const ModelStateBlock once = m.SaveState();
    EXPECT_NE(before, once);
    {
        auto lock = m.Lock();
        EXPECT_FLOAT_EQ(m.SphereLocked().Params().upY, -0.1f);
        EXPECT_FLOAT_EQ(m.RawNormalLocked().Params().upY, -0.1f);
        EXPECT_FLOAT_EQ(m.DivideLocked().Params().upY, -0.1f);
        EXPECT_FLOAT_EQ(m.WideScreenLocked().Params().upY, -0.1f);
        EXPECT_FLOAT_EQ(m.RawPlainLocked().Params().upY, 0.1f);
        EXPECT_FLOAT_EQ(m.RawPlainLocked().Params().eyeZ, 1.1f);
    }
    EXPECT_FALSE(m.FlipView());
    EXPECT_EQ(m.SaveState(), before);
}

TEST(SphereDrag, MeasuredFromTheCommittedStart) {
    CSphereModel m;
    m.SetDisplayMode(kModeSphere);
    // dx = 0.01 at angle 0 is the pair (-0.01, 0): half-angle 0.01 pi about y.
    ASSERT_TRUE(m.DragView(0.01f, 0, 1.0f));
    const double h = kPi * static_cast<double>(0.01f);
    Quat q = SphereOf(m).orientation.q;
    EXPECT_NEAR(q.w, std::cos(h), 1e-9);
    EXPECT_NEAR(q.y, -std::sin(h), 1e-9);
    EXPECT_NEAR(q.x, 0, 1e-12);
    EXPECT_EQ(SphereOf(m).backup.q, q);
    EXPECT_EQ(SphereOf(m).orientation.q0, Quat{});

    // Without a commit the next drag replaces this one...
    m.DragView(0.01f, 0, 1.0f);
    EXPECT_NEAR(SphereOf(m).orientation.q.w, std::cos(h), 1e-9);
    // ...after a commit it adds to it.
    m.CommitViewRotation();
    m.DragView(0.01f, 0, 1.0f);
    EXPECT_NEAR(TurnAngle(SphereOf(m).orientation.q), 4 * h, 1e-9);
    // Flipped, the same drag turns the other way.
    m.ResetModelPose();
    EXPECT_EQ(SphereOf(m).orientation.q, Quat{});
    EXPECT_EQ(SphereOf(m).orientation.rotation, DIdentity());
    m.FlipView();
    m.DragView(0.01f, 0, 1.25f);
    EXPECT_NEAR(SphereOf(m).orientation.q.y, std::sin(h), 1e-9);
    EXPECT_FLOAT_EQ(SphereOf(m).zoom, 1.25f);

    // Commit does nothing outside sphere mode.
    m.SetDisplayMode(kModeRawNormal);
    m.CommitViewRotation();
    EXPECT_EQ(SphereOf(m).orientation.q0, Quat{});
}

TEST(SphereDrag, LensAxisStaysWithinOneHundredThirtyFiveDegrees) {
    for (const Float3& p : CSphere::kProbes)
        EXPECT_NEAR(std::hypot(p.x, p.y, p.z), 1.0, 1e-6);
    EXPECT_TRUE(CSphere::WithinLimit(DIdentity()));

    // Keep turning one way, committing after each step, as a long drag would:
    // the view turns while allowed and stops at the limit. (The shortened
    // detour is not tested again, so it may pass the limit by a hair.)
    const double limit = std::cos(135 * kPi / 180);
    for (float dy : {0.02f, -0.02f}) {
        CSphereModel m;
        m.SetDisplayMode(kModeSphere);
        int accepted = 0;
        for (int i = 0; i < 60; ++i) {
            if (m.DragView(0, dy, 1.0f)) ++accepted;
            m.CommitViewRotation();
            ASSERT_GT(CSphere::LowestProbeZ(SphereOf(m).orientation.rotation), limit - 2e-3) << i;
        }
        EXPECT_GT(accepted, 0);
        EXPECT_NEAR(CSphere::LowestProbeZ(SphereOf(m).orientation.rotation), limit, 2e-3);
    }

    // A direct drag that would break the limit is replaced by a shorter turn
    // in an allowed direction.
    CSphereModel m;
    m.SetDisplayMode(kModeSphere);
    SphereOrientation direct;
    CSphere::ApplyTurn(direct, 0, -0.4); // the pair of DragView(0, 0.4) at angle 0
    const bool directAllowed = CSphere::WithinLimit(direct.rotation);
    SphereOrientation other;
    CSphere::ApplyTurn(other, 0, 0.4);
    const float dy = directAllowed ? -0.4f : 0.4f; // pick the forbidden direction
    ASSERT_NE(directAllowed, CSphere::WithinLimit(other.rotation));
    ASSERT_TRUE(m.DragView(0, dy, 1.0f));
    EXPECT_TRUE(CSphere::WithinLimit(SphereOf(m).orientation.rotation));
    EXPECT_LT(TurnAngle(SphereOf(m).orientation.q), 2 * kPi * 0.4);
}

TEST(SphereDrag, NoAllowedDirectionLeavesTheViewAlone) {
    // A pose already past the limit (+y turned onto -z), as a bad saved state
    // could hold: every small turn from it fails, so nothing changes.
    CSphereModel m;
    ModelStateBlock b = CSphereModel::InitialState();
    const double h = std::sqrt(0.5);
    const double q[4] = {h, -h, 0, 0};
    std::memcpy(b.data() + 16, q, sizeof q);    // q0
    std::memcpy(b.data() + 48, q, sizeof q);    // q
    std::memcpy(b.data() + 0, "\x03\0\0\0", 4); // mode 3
    m.LoadState(b);
    ASSERT_FALSE(CSphere::WithinLimit(SphereOf(m).orientation.rotation));
    const ModelStateBlock before = m.SaveState();
    EXPECT_FALSE(m.DragView(0.001f, 0.0005f, 1.0f));
    EXPECT_EQ(m.SaveState(), before);
}

TEST(EngineOperations, RefusalsAndModeRules) {
    CSphereModel m;
    EXPECT_EQ(m.DisplayMode(), kModeRawNormal);
    m.SetDisplayMode(7); // draws nothing and takes no drag
    EXPECT_FALSE(m.DragView(0.1f, 0, 1));
    m.SetDisplayMode(kModeRawNormal);
    EXPECT_FALSE(m.DragView(NAN, 0, 2));
    EXPECT_FALSE(m.DragView(0.1f, 0, 0));
    EXPECT_EQ(RawNormalOf(m), FlatParams{});

    m.SetDisplayMode(kModeSphere);
    m.SetViewAspect(400, 100);
    EXPECT_FLOAT_EQ(([&] {
                        auto l = m.Lock();
                        return m.SphereLocked().Aspect();
                    })(),
                    4.0f);
    m.SetViewAspect(400, 0); // ignored
    m.SetDisplayMode(kModeRawPlain);
    m.SetViewAspect(100, 100); // mode 5: ignored
    EXPECT_FLOAT_EQ(([&] {
                        auto l = m.Lock();
                        return m.SphereLocked().Aspect();
                    })(),
                    4.0f);

    for (int v : {0, 1}) {
        m.SetDrawInterval(v);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(m.CountFrame());
    }
    m.SetDrawInterval(2);
    int drawn = 0;
    for (int i = 0; i < 10; ++i)
        drawn += m.CountFrame();
    EXPECT_EQ(drawn, 5);
}

TEST(EngineOperations, ModelsAreRebuiltForNewSizeOrMode) {
    CSphereModel m;
    auto lock = m.Lock();
    m.PrepareLocked(1280, 720);
    ASSERT_NE(m.CurrentModelLocked(), nullptr);
    EXPECT_TRUE(m.SphereLocked().IsInitialised());
    EXPECT_TRUE(m.DivideLocked().IsInitialised());
    EXPECT_TRUE(m.WideScreenLocked().IsInitialised());
    EXPECT_FALSE(m.RawPlainLocked().IsInitialised());
    const uint64_t gen = m.RawNormalLocked().MeshGeneration();
    m.PrepareLocked(1280, 720);
    EXPECT_EQ(m.RawNormalLocked().MeshGeneration(), gen);
    m.PrepareLocked(800, 800);
    EXPECT_NE(m.RawNormalLocked().MeshGeneration(), gen);
    EXPECT_FLOAT_EQ(m.RawNormalLocked().Vertices()[0].position[0], -1.0f);
    lock.unlock();

    m.SetDisplayMode(kModeRawPlain);
    lock.lock();
    m.PrepareLocked(800, 800);
    EXPECT_TRUE(m.RawPlainLocked().IsInitialised());
    EXPECT_FALSE(m.SphereLocked().IsInitialised());
    EXPECT_EQ(m.CurrentModelLocked(), &m.RawPlainLocked());
    lock.unlock();

    m.SetDisplayMode(0);
    lock.lock();
    m.PrepareLocked(800, 800);
    EXPECT_EQ(m.CurrentModelLocked(), nullptr);
}
