// Geometry of the skinned controls and the picture table, without a display.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {
namespace {

TEST(ScaledPicture, StripsKeepSquareFramesOtherPicturesUseWidthPlusOne) {
    // A 128 x 32 button strip at S = 1.5: four 48-pixel frames.
    EXPECT_EQ(ScaledPictureSize(128, 32, 1.5), (PixelSize{192, 48}));
    EXPECT_EQ(ScaledPictureSize(128, 32, 1.0), (PixelSize{128, 32}));
    // At S = 0.9848 (a 1040-pixel-high work area) each frame is trunc(31.5) = 31.
    EXPECT_EQ(ScaledPictureSize(128, 32, 1040.0 / 1056.0), (PixelSize{124, 31}));
    // 25 x 10 is no strip of squares: trunc((25 + 1) x 1.5) wide.
    EXPECT_EQ(ScaledPictureSize(25, 10, 1.5), (PixelSize{39, 15}));
    EXPECT_EQ(ScaledPictureSize(52, 12, 1.0), (PixelSize{53, 12}));
    EXPECT_EQ(ScaledPictureSize(0, 12, 1.0), (PixelSize{0, 0}));
    EXPECT_EQ(ScaledPictureSize(12, 0, 1.0), (PixelSize{0, 0}));
}

TEST(ButtonFrames, PrecedenceOfDisabledPressedAndHover) {
    ButtonLook look;
    EXPECT_EQ(ButtonFrame(look), kFrameNormal);
    look.hover = true;
    EXPECT_EQ(ButtonFrame(look), kFrameHover);
    look.rebuilding = true; // no hover while the frames are rebuilt
    EXPECT_EQ(ButtonFrame(look), kFrameNormal);
    look.rebuilding = false;
    look.pressedLook = true; // the pressed look wins over hover
    EXPECT_EQ(ButtonFrame(look), kFramePressed);
    look.pressedLook = false;
    look.checked = true;
    EXPECT_EQ(ButtonFrame(look), kFramePressed);
    look.enabled = false;
    EXPECT_EQ(ButtonFrame(look), kFrameDisabled);

    EXPECT_EQ(CheckBoxFrame(false, false, true), kCheckOff);
    EXPECT_EQ(CheckBoxFrame(false, true, true), kCheckOffHover);
    EXPECT_EQ(CheckBoxFrame(true, false, true), kCheckOn);
    EXPECT_EQ(CheckBoxFrame(true, true, true), kCheckOnHover);
    EXPECT_EQ(CheckBoxFrame(true, true, false), kCheckOnDisabled);
    EXPECT_EQ(CheckBoxFrame(false, true, false), kCheckOffDisabled);
}

TEST(SkinnedDialog, TitleStripCloseButtonAndCheckBox) {
    EXPECT_EQ(TitleStripHeight(1.5), 30);
    EXPECT_EQ(CaptionTextX(1.5, true), 31);
    EXPECT_EQ(CaptionTextX(1.5, false), 7);
    EXPECT_EQ(CloseButtonRect(400, 1.0), PixelRect::FromSize(380, 4, 13, 12));
    EXPECT_EQ(CloseButtonRect(400, 1.5), PixelRect::FromSize(370, 6, 19, 18));
    EXPECT_EQ(CheckBoxRect(1.5), PixelRect::FromSize(0, 6, 18, 18));
    EXPECT_EQ(CheckCaptionX(1.5), 24);
}

TEST(Slider, PressRangeAndValueUnderThePointer) {
    const SliderScale sc{0, 100, 700};
    // At S = 1 a press 5 pixels left of the slider counts and gives 0; 10 pixels does not.
    EXPECT_TRUE(SliderAcceptsX(sc, -5, 1.0));
    EXPECT_EQ(SliderValueAt(sc, -5), 0);
    EXPECT_FALSE(SliderAcceptsX(sc, -10, 1.0));
    EXPECT_TRUE(SliderAcceptsX(sc, -14, 1.5));
    EXPECT_FALSE(SliderAcceptsX(sc, -15, 1.5));
    EXPECT_TRUE(SliderAcceptsX(sc, 709, 1.0));
    EXPECT_FALSE(SliderAcceptsX(sc, 710, 1.0));
    EXPECT_EQ(SliderValueAt(sc, 709), 100); // held to max
    // 101 values over 700 pixels: x = 350 lies in value trunc(350 x 101 / 700) = 50.
    EXPECT_EQ(SliderValueAt(sc, 350), 50);
    EXPECT_EQ(SliderValueAt(sc, 699), 100);

    // The volume slider: 65536 values over 100 pixels.
    const SliderScale volume{0, 65535, 100};
    EXPECT_EQ(SliderValueAt(volume, 50), 32768);
    EXPECT_EQ(SliderValueAt(volume, 100), 65535);

    // Nothing when W / n is not above 0.
    EXPECT_FALSE(SliderValueAt({0, 100, 0}, 5).has_value());
    EXPECT_FALSE(SliderValueAt({10, 5, 700}, 5).has_value());
}

TEST(Slider, DrawingGeometry) {
    const SliderScale sc{0, 1000, 709};
    const PixelSize thumb{25, 10};
    EXPECT_EQ(SliderThumbRect(sc, 0, thumb, 1.0), PixelRect::FromSize(0, 0, 27, 10));
    // x = trunc(400 x (709 - 25) / 1001) = 273.
    EXPECT_EQ(SliderThumbRect(sc, 400, thumb, 1.0).left, 273);
    EXPECT_EQ(SliderThumbRect(sc, 1000, thumb, 1.0).left, 683);
    const PixelRect scaled = SliderThumbRect(sc, 400, thumb, 1.5);
    EXPECT_EQ(scaled.Width(), 40);
    EXPECT_EQ(scaled.Height(), 15);
    EXPECT_EQ(scaled.left, 400 * (709 - 37) / 1001);
    EXPECT_EQ(SliderSplitX(sc, 500), 709 * 500 / 1001);
    EXPECT_EQ(SliderSplitX({0, 65535, 100}, 65535), 99);

    const PixelRect t = PixelRect::FromSize(100, 0, 27, 10);
    EXPECT_TRUE(SliderHitsThumb(t, 90, 1.0));
    EXPECT_FALSE(SliderHitsThumb(t, 89, 1.0));
    EXPECT_TRUE(SliderHitsThumb(t, 136, 1.0));
    EXPECT_FALSE(SliderHitsThumb(t, 137, 1.0));
}

TEST(ProgressBar, FillAndTextBox) {
    EXPECT_EQ(ProgressBarHeight(1.5), 33);
    // max = min: nothing is blue.
    EXPECT_EQ(ProgressFillWidth(0, 0, 0, 500), 0);
    EXPECT_EQ(ProgressFillWidth(50, 7, 7, 500), 0);
    EXPECT_EQ(ProgressFillWidth(37, 0, 100, 500), 185);
    EXPECT_EQ(ProgressFillWidth(100, 0, 100, 500), 500);
    // Positions outside the range stay inside the bar.
    EXPECT_EQ(ProgressFillWidth(250, 0, 100, 500), 500);
    EXPECT_EQ(ProgressFillWidth(-5, 0, 100, 500), 0);
    EXPECT_EQ(ProgressTextBox(500, 22, 1.0), (PixelRect{200, 0, 300, 22}));
    EXPECT_EQ(ProgressTextBox(501, 33, 1.5), (PixelRect{175, 0, 325, 33}));
}

TEST(ResizeFrame, RegionsInTheirOrder) {
    const PixelRect w{100, 100, 500, 400}; // b = 4 at S = 1
    auto at = [&](int x, int y, double s = 1.0) { return ResizeHitTest(w, {x, y}, s, false); };
    // Corners win over the edges that meet in them.
    EXPECT_EQ(at(100, 100), HitRegion::TopLeft);
    EXPECT_EQ(at(103, 103), HitRegion::TopLeft);
    EXPECT_EQ(at(499, 100), HitRegion::TopRight);
    EXPECT_EQ(at(100, 399), HitRegion::BottomLeft);
    EXPECT_EQ(at(499, 399), HitRegion::BottomRight);
    EXPECT_EQ(at(104, 103), HitRegion::Top);
    EXPECT_EQ(at(100, 104), HitRegion::Left);
    EXPECT_EQ(at(496, 250), HitRegion::Right);
    EXPECT_EQ(at(495, 250), HitRegion::None);
    EXPECT_EQ(at(300, 396), HitRegion::Bottom);
    // Caption: the top 28 pixels inside the side borders.
    EXPECT_EQ(at(300, 104), HitRegion::Caption);
    EXPECT_EQ(at(104, 127), HitRegion::Caption);
    EXPECT_EQ(at(300, 128), HitRegion::None);
    // Bottom band: 38 + 2 pixels above the bottom edge are client.
    EXPECT_EQ(at(300, 360), HitRegion::Client);
    EXPECT_EQ(at(300, 359), HitRegion::None);
    EXPECT_EQ(at(99, 250), HitRegion::None);
    EXPECT_EQ(at(500, 250), HitRegion::None);
    // S = 1.5: border 6, caption 42, band 57 + 3.
    EXPECT_EQ(at(105, 250, 1.5), HitRegion::Left);
    EXPECT_EQ(at(300, 141, 1.5), HitRegion::Caption);
    EXPECT_EQ(at(300, 340, 1.5), HitRegion::Client);
    EXPECT_EQ(at(300, 339, 1.5), HitRegion::None);
    // Full screen: client everywhere inside.
    EXPECT_EQ(ResizeHitTest(w, {100, 100}, 1.0, true), HitRegion::Client);
    EXPECT_EQ(ResizeHitTest(w, {50, 50}, 1.0, true), HitRegion::None);

    EXPECT_EQ(CursorForRegion(HitRegion::Left), ResizeCursor::SizeWE);
    EXPECT_EQ(CursorForRegion(HitRegion::Bottom), ResizeCursor::SizeNS);
    EXPECT_EQ(CursorForRegion(HitRegion::TopLeft), ResizeCursor::SizeNWSE);
    EXPECT_EQ(CursorForRegion(HitRegion::BottomRight), ResizeCursor::SizeNWSE);
    EXPECT_EQ(CursorForRegion(HitRegion::TopRight), ResizeCursor::SizeNESW);
    EXPECT_EQ(CursorForRegion(HitRegion::BottomLeft), ResizeCursor::SizeNESW);
    EXPECT_EQ(CursorForRegion(HitRegion::Caption), ResizeCursor::Arrow);
}

TEST(ResizeFrame, DragStopsAtDesignAndMonitorSize) {
    const PixelSize design{375, 421}, monitor{1920, 1080};
    const PixelRect start = PixelRect::FromSize(1000, 100, 500, 500);
    // Smaller than the design size: stops there, the opposite edge stays.
    PixelRect r = ResizeDragRect(start, HitRegion::Right, {1100, 300}, design, monitor);
    EXPECT_EQ(r, PixelRect::FromSize(1000, 100, 375, 500));
    r = ResizeDragRect(start, HitRegion::Left, {1400, 300}, design, monitor);
    EXPECT_EQ(r, (PixelRect{1500 - 375, 100, 1500, 600}));
    // Larger than the monitor: stops at the monitor's size.
    r = ResizeDragRect(start, HitRegion::Left, {-3000, 300}, design, monitor);
    EXPECT_EQ(r, (PixelRect{1500 - 1920, 100, 1500, 600}));
    r = ResizeDragRect(start, HitRegion::BottomRight, {9000, 9000}, design, monitor);
    EXPECT_EQ(r, PixelRect::FromSize(1000, 100, 1920, 1080));
    r = ResizeDragRect(start, HitRegion::Top, {1200, 50}, design, monitor);
    EXPECT_EQ(r, (PixelRect{1000, 50, 1500, 600}));
    r = ResizeDragRect(start, HitRegion::TopLeft, {1400, 500}, design, monitor);
    EXPECT_EQ(r, (PixelRect{1500 - 375, 600 - 421, 1500, 600}));
    // A move region leaves the rectangle alone.
    EXPECT_EQ(ResizeDragRect(start, HitRegion::Caption, {0, 0}, design, monitor), start);
    // On a monitor smaller than the design size the design size wins.
    r = ResizeDragRect(start, HitRegion::Right, {5000, 0}, design, {300, 300});
    EXPECT_EQ(r.Width(), 375);
}

TEST(ResizeFrame, Multipliers) {
    const PixelSize design{1100, 700}, monitor{1920, 1080};
    ScaleMultipliers m = MultipliersForSize({1650, 1050}, design, monitor);
    EXPECT_DOUBLE_EQ(m.x, 1.5);
    EXPECT_DOUBLE_EQ(m.y, 1.5);
    m = MultipliersForSize({900, 600}, design, monitor);
    EXPECT_DOUBLE_EQ(m.x, 1.0);
    EXPECT_DOUBLE_EQ(m.y, 1.0);
    m = MultipliersForSize({5000, 5000}, design, monitor);
    EXPECT_DOUBLE_EQ(m.x, 1920.0 / 1100.0);
    EXPECT_DOUBLE_EQ(m.y, 1080.0 / 700.0);

    EXPECT_EQ(SizeForMultipliers({1100, 700}, {1.5, 1.5}), (PixelSize{1650, 1050}));
    EXPECT_EQ(SizeForMultipliers({1083, 689}, {0.5, 1.0}), (PixelSize{1083, 689}));
    EXPECT_EQ(SizeForMultipliers({375, 421}, {1.333, 1.1}), (PixelSize{499, 463}));
}

TEST(MessageBox, LayoutOfOneAndTwoButtons) {
    // Text 200 x 20 at S = 1: 280 x 200 box.
    MessageBoxLayout one = LayoutMessageBox({200, 20}, kMbOk, 1.0);
    EXPECT_EQ(one.box, (PixelSize{280, 20 + 60 + 60 + 20}));
    EXPECT_EQ(one.text, PixelRect::FromSize(40, 30, 200, 20));
    EXPECT_FALSE(one.hasSecond);
    // The only button stands in the last button's place.
    EXPECT_EQ(one.first, PixelRect::FromSize(280 - 15 - 100, 160 - 15 - 30, 100, 30));

    MessageBoxLayout two = LayoutMessageBox({200, 20}, kMbYesNo, 1.5);
    EXPECT_EQ(two.box, (PixelSize{300 + 120, 30 + 90 + 90 + 30}));
    EXPECT_TRUE(two.hasSecond);
    EXPECT_EQ(two.second, PixelRect::FromSize(420 - 22 - 150, 240 - 22 - 45, 150, 45));
    EXPECT_EQ(two.first, PixelRect::FromSize(two.second.left - 22 - 150, two.second.top, 150, 45));

    EXPECT_EQ(MessageBoxButtonResult(kMbOk, 0), kIdOk);
    EXPECT_EQ(MessageBoxButtonResult(kMbOkCancel, 1), kIdCancel);
    EXPECT_EQ(MessageBoxButtonResult(kMbYesNo, 0), kIdYes);
    EXPECT_EQ(MessageBoxButtonResult(kMbYesNo, 1), kIdNo);
    // Escape is the second button, also for a box that shows only one.
    EXPECT_EQ(MessageBoxEscapeResult(kMbOk), 2);
    EXPECT_EQ(MessageBoxEscapeResult(kMbOkCancel), 2);
    EXPECT_EQ(MessageBoxEscapeResult(kMbYesNo), 7);
}

TEST(WaitDialog, MarqueePlace) {
    EXPECT_EQ(WaitDialogMarqueeRect(1.0), PixelRect::FromSize(800, 600, 450, 200));
    EXPECT_EQ(WaitDialogMarqueeRect(1.5), PixelRect::FromSize(1200, 900, 675, 300));
}

// Width and height of an SVG's root element, or {0, 0}.
PixelSize SvgSize(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    static const std::regex root(
        R"re(<svg[^>]*\swidth="(\d+)"\s+height="(\d+)"\s+viewBox="0 0 (\d+) (\d+)")re");
    std::smatch m;
    if (!std::regex_search(text, m, root)) return {};
    if (m[1] != m[3] || m[2] != m[4]) return {}; // the view box is the nominal size
    return {std::stoi(m[1]), std::stoi(m[2])};
}

TEST(Artwork, EveryPictureHasItsSvgAtTheStoredSize) {
    const std::filesystem::path dir = std::filesystem::path(KINETTA_SOURCE_DIR) / "resources/skin";
    std::set<std::string> listed;
    for (const SkinPictureInfo& info : SkinPictures()) {
        const std::string name = std::to_string(info.id) + ".svg";
        listed.insert(name);
        SCOPED_TRACE(name);
        EXPECT_EQ(SvgSize((dir / name).string()), (PixelSize{info.width, info.height}));
        ASSERT_GT(info.frames, 0);
        EXPECT_EQ(info.width % info.frames, 0) << "frames must divide the strip evenly";
        EXPECT_EQ(FindSkinPicture(info.id), &info);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".svg") {
            EXPECT_TRUE(listed.count(entry.path().filename().string()))
                << entry.path() << " is not in the picture table";
        }
    }
    // The pictures the windows name by number.
    for (int id :
         {159, 160, 161, 167, 168, 169, 170, 174, 217, 352, 360, 361, 362, 363, 364, 370, 371, 375})
        EXPECT_NE(FindSkinPicture(id), nullptr) << id;
    for (int id = 38000; id <= 38018; ++id) {
        const SkinPictureInfo* info = FindSkinPicture(id);
        ASSERT_NE(info, nullptr) << id;
        EXPECT_EQ(info->width, 128);
        EXPECT_EQ(info->height, 32);
    }
    EXPECT_EQ(FindSkinPicture(38019), nullptr);
    EXPECT_EQ(FolderMarkPicture(0x02), kPicMarkFirst);
    EXPECT_EQ(FolderMarkPicture(0x40), kPicMarkFirst + 5);
    EXPECT_EQ(FolderMarkPicture(0x01), 0);
}

} // namespace
} // namespace kinetta
