// Recorder family decision, mode table, display scale and font heights.

#include <gtest/gtest.h>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/settings_store.h"
#include "support/temp_dir.h"

using namespace kinetta;

namespace {

struct Fixture {
    ktest::TempDir dir;
    SettingsStore settings{dir.path()};
    int prompts = 0;
    int failures = 0;

    FamilyDecider Make(bool decided, int answer = 1) {
        FamilyDecider d(settings, OperatingMode::Single, decided);
        d.SetPrompt(
            [this, answer] {
                ++prompts;
                return answer;
            },
            [this] { ++failures; });
        return d;
    }
};

} // namespace

TEST(FamilyDecision, FirstRunAsksForTheProduct) {
    Fixture f;
    f.settings.Write("DISPLAY", "MODELSELECT", "3"); // ignored: the family is not yet decided
    FamilyDecider d = f.Make(false, 1);
    ASSERT_TRUE(d.Decide(""));
    EXPECT_EQ(f.prompts, 1);
    EXPECT_EQ(d.Family(), RecorderFamily::TX40);
    EXPECT_EQ(CurrentFamily(), RecorderFamily::TX40);
    EXPECT_EQ(d.ModelSelection(), 2);
    EXPECT_EQ(f.settings.Read("DISPLAY", "MODELSELECT"), "2");
    EXPECT_EQ(f.settings.Read("DISPLAY", "LOWLOAD"), "1");
    EXPECT_TRUE(d.FamilyDecided());

    Fixture g;
    FamilyDecider e = g.Make(false, 2);
    ASSERT_TRUE(e.Decide(""));
    EXPECT_EQ(e.Family(), RecorderFamily::TX50);
    EXPECT_EQ(g.settings.Read("DISPLAY", "MODELSELECT"), "3");
}

TEST(FamilyDecision, PromptThatCannotBeShownRefuses) {
    Fixture f;
    FamilyDecider d = f.Make(false, 0);
    EXPECT_FALSE(d.Decide(""));
    EXPECT_EQ(f.failures, 1);
    EXPECT_FALSE(d.FamilyDecided());
    EXPECT_EQ(f.settings.Read("DISPLAY", "MODELSELECT"), "");
}

TEST(FamilyDecision, LaterRunWithoutCardUsesTheStoredChoice) {
    for (auto [stored, family] :
         {std::pair{"3", RecorderFamily::TX50}, std::pair{"1", RecorderFamily::TX40},
          std::pair{"2", RecorderFamily::TX40}, std::pair{"x", RecorderFamily::TX40}}) {
        Fixture f;
        f.settings.Write("DISPLAY", "MODELSELECT", stored);
        FamilyDecider d = f.Make(true);
        ASSERT_TRUE(d.Decide(""));
        EXPECT_EQ(f.prompts, 0);
        EXPECT_EQ(d.Family(), family) << stored;
    }
}

TEST(FamilyDecision, SettingsWithoutAStoredProductAskAsAFirstRun) {
    // A settings file that exists but holds no product (only a [MAP] section,
    // say) must not pass for a TX40 choice: the product dialog asks.
    for (auto [answer, family] :
         {std::pair{1, RecorderFamily::TX40}, std::pair{2, RecorderFamily::TX50}}) {
        Fixture f;
        f.settings.Write("MAP", "TILEURL", "http://127.0.0.1:1/{z}/{x}/{y}.png");
        FamilyDecider d = f.Make(true, answer);
        ASSERT_TRUE(d.Decide(""));
        EXPECT_EQ(f.prompts, 1);
        EXPECT_EQ(d.Family(), family);
    }
    Fixture g; // a marker still decides without asking
    FamilyDecider e = g.Make(true, 1);
    ASSERT_TRUE(e.Decide(kModelKeyTX50));
    EXPECT_EQ(g.prompts, 0);
    EXPECT_EQ(e.Family(), RecorderFamily::TX50);
}

TEST(FamilyDecision, MarkersOverrideTheStoredChoice) {
    Fixture f;
    f.settings.Write("DISPLAY", "MODELSELECT", "1");
    FamilyDecider d = f.Make(true);
    ASSERT_TRUE(d.Decide(kModelKeyTX50));
    EXPECT_EQ(d.Family(), RecorderFamily::TX50);
    EXPECT_EQ(f.settings.Read("DISPLAY", "MODELSELECT"), "3");

    Fixture g;
    g.settings.Write("DISPLAY", "MODELSELECT", "1");
    FamilyDecider e = g.Make(true);
    ASSERT_TRUE(e.Decide(kModelKeyTX40));
    EXPECT_EQ(g.settings.Read("DISPLAY", "MODELSELECT"), "1"); // a stored 1 is kept

    Fixture h;
    h.settings.Write("DISPLAY", "MODELSELECT", "3");
    FamilyDecider k = h.Make(true);
    ASSERT_TRUE(k.Decide(kModelKeyTX40));
    EXPECT_EQ(h.settings.Read("DISPLAY", "MODELSELECT"), "2"); // a stored 3 becomes 2
    EXPECT_EQ(k.Family(), RecorderFamily::TX40);
}

TEST(FamilyDecision, AfterStartupTheFamilyCannotChange) {
    Fixture f;
    FamilyDecider d = f.Make(false, 1);
    ASSERT_TRUE(d.Decide(kModelKeyTX40));
    d.SetStartupComplete(true);
    EXPECT_FALSE(d.Decide(kModelKeyTX50));
    EXPECT_EQ(d.Family(), RecorderFamily::TX40);
    EXPECT_EQ(d.ModelSelection(), 2);
    EXPECT_TRUE(d.Decide(kModelKeyTX40)); // the same family is confirmed

    Fixture g;
    FamilyDecider e = g.Make(false, 2);
    ASSERT_TRUE(e.Decide(kModelKeyTX50));
    e.SetStartupComplete(true);
    EXPECT_FALSE(e.Decide(kModelKeyTX40));
    EXPECT_EQ(e.Family(), RecorderFamily::TX50);
}

TEST(FamilyDecision, ModelKeyAndTraceMarkerFoundInAnyCase) {
    ktest::TempDir card;
    EXPECT_EQ(ModelKeyOfRoot(card.path()), "");
    card.Write("tx50_download.URL");
    EXPECT_EQ(ModelKeyOfRoot(card.path()), kModelKeyTX50);
    card.Write("TX40_40L_Viewer_download.url");
    EXPECT_EQ(ModelKeyOfRoot(card.path()), kModelKeyTX40);
    EXPECT_FALSE(HasTraceMarker(card.path()));
    card.Write("PVTRACE.TXT");
    EXPECT_TRUE(HasTraceMarker(card.path()));
}

TEST(ModeTable, ModesDifferAsDocumented) {
    ModeLayout full = ApplyModeLayout(OperatingMode::Full);
    ModeLayout single = ApplyModeLayout(OperatingMode::Single);
    ModeLayout light = ApplyModeLayout(OperatingMode::Light);
    EXPECT_EQ(full.cameraSelection, kCameraBoth);
    EXPECT_EQ(full.toolbarButtons, 18);
    EXPECT_EQ(single.cameraSelection, kCameraFront);
    EXPECT_EQ(single.toolbarButtons, 19);
    EXPECT_EQ(single.initialDisplayModel, 4);
    EXPECT_EQ(light.initialDisplayModel, 3);
    EXPECT_EQ(CameraSelectionAfterClose(OperatingMode::Full, kCameraRear), kCameraRear);
    EXPECT_EQ(CameraSelectionAfterClose(OperatingMode::Single, kCameraRear), kCameraFront);
    EXPECT_TRUE(FastForwardEnabled(OperatingMode::Single, 3));
    EXPECT_FALSE(FastForwardEnabled(OperatingMode::Single, 4));
    EXPECT_TRUE(FastForwardEnabled(OperatingMode::Light, 0));
    EXPECT_FALSE(FastForwardEnabled(OperatingMode::Light, 1));
    EXPECT_EQ(kBuildMode, OperatingMode::Single);
}

TEST(DisplayScale, LandscapeAndPortraitWorkAreas) {
    DisplayScale land = ComputeDisplayScale(1920, 1040, 96, 96);
    EXPECT_NEAR(land.s, 0.9848, 1e-4);
    EXPECT_EQ(Scaled(land.s, 1100), 1083);
    EXPECT_EQ(Scaled(land.s, 700), 689);
    EXPECT_NEAR(land.f, land.s, 1e-12);

    DisplayScale portrait = ComputeDisplayScale(1080, 1880, 96, 120);
    EXPECT_NEAR(portrait.s, 0.8949, 1e-4);
    EXPECT_NEAR(portrait.f, portrait.s * 96 / 120, 1e-12); // the vertical DPI counts here

    DisplayScale square = ComputeDisplayScale(1000, 1000, 96, 96); // W / H = 1 is not landscape
    EXPECT_NEAR(square.s, 1000.0 / 48 / 22 * 7 * 0.125, 1e-12);
}

TEST(DisplayScale, FontHeightsAndMulDiv) {
    EXPECT_EQ(MulDiv(9, 96, 72), 12);
    EXPECT_EQ(MulDiv(10, 96, 72), 13); // 13.33
    EXPECT_EQ(MulDiv(1, 3, 2), 2);     // halves round away from zero
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
    auto h = FontHeights(1.0, 96);
    EXPECT_EQ(h, (std::array<int, 7>{-12, -13, -17, -23, -29, -16, -20}));
    auto scaled = FontHeights(1.5, 144); // trunc(1.5 x 9) = 13 points at 144 dpi
    EXPECT_EQ(scaled[0], -26);
}

TEST(DisplayScale, WindowMultipliers) {
    EXPECT_NEAR(MaxWindowMultiplier(1280, 1.0), 1280.0 * 2 / 1100, 1e-9);
    EXPECT_NEAR(MaxWindowMultiplier(3840, 1.0), 3.4285715, 1e-9);
    EXPECT_EQ(StoredMultiplier("0"), 1.0);
    EXPECT_EQ(StoredMultiplier("-2.5"), 1.0);
    EXPECT_EQ(StoredMultiplier(""), 1.0);
    EXPECT_EQ(StoredMultiplier("1.500000"), 1.5);
}

#include <clocale>

TEST(DisplayScale, StoredMultiplierIgnoresTheLocale) {
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = before ? before : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(StoredMultiplier("1.500000"), 1.5);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(StoredMultiplier(" 2.25"), 2.25);
    EXPECT_EQ(StoredMultiplier("abc"), 1.0);
}
