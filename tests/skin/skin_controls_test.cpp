// The skinned controls as widgets: pictures, buttons, check buttons, slider,
// progress bar, list and the private messages they post.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>

#include <thread>

#include "gui_support.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_list.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/skin_progress.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {
namespace {

using ktest::Mouse;
using ktest::RecordingWindow;

class SkinControls : public ::testing::Test {
protected:
    // The application exists before any widget member of a fixture.
    SkinControls() { ktest::App(); }
    void SetUp() override { SetSkinScale(1.0, 1.0, 96); }
    void TearDown() override { SetSkinScale(1.0, 1.0, 96); }
};

bool IsAccent(QColor c) {
    return c.blue() > 150 && c.red() < 80;
}
bool IsGrey(QColor c) {
    return std::abs(c.red() - c.green()) < 12 && std::abs(c.green() - c.blue()) < 12;
}

TEST_F(SkinControls, WindowMessagesCarryTheirNumberAndParametersAcrossThreads) {
    RecordingWindow w;
    PostWindowMessage(&w, 0x8515, 3, -7);
    std::thread([&w] { PostWindowMessage(&w, UM_SLIDER_END, 38100, 123456); }).join();
    const auto got = w.Take();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, 0x8515);
    EXPECT_EQ(got[0].wParam, 3u);
    EXPECT_EQ(got[0].lParam, -7);
    EXPECT_EQ(got[1].message, 0x8067);
    EXPECT_EQ(got[1].lParam, 123456);
    QEvent other(QEvent::Type(0x8515));
    EXPECT_EQ(AsWindowMessage(&other), nullptr);
    PostWindowMessage(nullptr, 0x8515); // no target: nothing happens
}

TEST_F(SkinControls, PicturesLoadAtTheScaledSize) {
    // A 128 x 32 strip at S = 1.5 loads as 192 x 48, four 48-pixel frames.
    const QPixmap strip = LoadSkinPicture(kPicControllerUp, 1.5);
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.size(), QSize(192, 48));
    const QPixmap pressed = PictureFrame(strip, kFramePressed, 4);
    EXPECT_EQ(pressed.size(), QSize(48, 48));
    // The pressed frame shows the accent, the normal frame grey (inside the tile).
    const QImage normal = PictureFrame(strip, kFrameNormal, 4).toImage();
    EXPECT_TRUE(IsGrey(normal.pixelColor(10, 24)));
    EXPECT_TRUE(IsAccent(pressed.toImage().pixelColor(10, 24)));

    // Every picture of the table is embedded and renders at its loaded size.
    for (double s : {1.0, 1.5}) {
        for (const SkinPictureInfo& info : SkinPictures()) {
            SCOPED_TRACE(info.id);
            ASSERT_TRUE(HasSkinPicture(info.id));
            const QPixmap p = LoadSkinPicture(info.id, s);
            const PixelSize want = ScaledPictureSize(info.width, info.height, s);
            EXPECT_EQ(p.size(), QSize(want.width, want.height));
        }
    }
    // The conversion worker renders the masks off the UI thread.
    QImage mask;
    std::thread([&mask] { mask = RenderSkinImage(kPicMaskFrame, QSize(400, 400)); }).join();
    ASSERT_FALSE(mask.isNull());
    EXPECT_EQ(mask.pixelColor(200, 200), QColor(0, 0, 0));
    EXPECT_EQ(mask.pixelColor(3, 200), QColor(255, 0, 0));
    EXPECT_TRUE(LoadSkinPicture(12345, 1.0).isNull());

    // A window's background pictures follow the scale they were last loaded at.
    CResourceImage images({kPicGraphTx40, kPicInfoBackground});
    images.Reload(1.5);
    EXPECT_EQ(images.Picture(kPicGraphTx40).size(), QSize(985, 105)); // trunc(657 x 1.5)
    images.Reload(1.0);
    EXPECT_EQ(images.Picture(kPicInfoBackground).size(), QSize(570, 120));
    EXPECT_TRUE(images.Picture(kPicLogoTx40).isNull()); // not held
}

TEST_F(SkinControls, SharedFontsComeFromTheScale) {
    SetSkinScale(1.0, 1.0, 96);
    // 10 points at 96 dpi: MulDiv(10, 96, 72) = 13 pixels.
    EXPECT_EQ(SharedFont(kFont10).pixelSize(), 13);
    EXPECT_EQ(SharedFont(kFont9).pixelSize(), 12);
    SetSkinScale(1.5, 1.5, 96);
    EXPECT_EQ(SharedFont(kFont10).pixelSize(), -FontHeights(1.5, 96)[1]);
    EXPECT_DOUBLE_EQ(SkinScale(), 1.5);
    // The face is requested by name; a CJK face stands in where it is missing.
    EXPECT_EQ(SharedFont(kFont10).family(), QStringLiteral("メイリオ"));
    const QString actual = QFontInfo(SharedFont(kFont10)).family();
    EXPECT_TRUE(actual.contains(QStringLiteral("CJK")) || actual == QStringLiteral("メイリオ"))
        << actual.toStdString();
}

TEST_F(SkinControls, ButtonReportsHoldAndRelease) {
    RecordingWindow parent;
    CSkinButton button(kPicControllerLeft, QRect(10, 10, 32, 32), &parent, 30, true);
    EXPECT_EQ(button.objectName(), QStringLiteral("30"));
    EXPECT_EQ(button.CurrentFrame(), kFrameNormal);

    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    EXPECT_TRUE(button.PressedLook());
    EXPECT_EQ(button.CurrentFrame(), kFramePressed);
    // A second press while held reports nothing more.
    Mouse(&button, QEvent::MouseButtonPress, {6, 6});
    auto got = parent.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, UM_BUTTON_HELD);
    EXPECT_EQ(got[0].wParam, 0u);
    EXPECT_EQ(got[0].lParam, 30);

    Mouse(&button, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_FALSE(button.PressedLook());
    got = parent.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, UM_BUTTON_RELEASED);
    EXPECT_EQ(got[0].lParam, 30);
    EXPECT_EQ(parent.commands, std::vector<int>{30}); // the click itself

    // Disabled while held: the release is reported at once, so the owner stops.
    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    button.setEnabled(false);
    got = parent.Take();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].message, UM_BUTTON_RELEASED);
    EXPECT_EQ(button.CurrentFrame(), kFrameDisabled);
    button.setEnabled(true);
    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    got = parent.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, UM_BUTTON_HELD);
}

TEST_F(SkinControls, ButtonFramesFollowHoverPressedLookAndPicture) {
    RecordingWindow parent;
    CSkinButton button(38009, QRect(0, 0, 32, 32), &parent, 38009);
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.CurrentFrame(), kFrameHover);
    button.SetPressedLook(true); // the zoom button while zoom mode is on
    EXPECT_EQ(button.CurrentFrame(), kFramePressed);
    button.SetPressedLook(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.CurrentFrame(), kFrameNormal);

    // A plain button posts no hold messages; its click is a command.
    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    Mouse(&button, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_TRUE(parent.Take().empty());
    EXPECT_EQ(parent.commands, std::vector<int>{38009});

    // Rebuilt at a new size: the frames follow (rendered picture of 48 x 48 per frame).
    SetSkinScale(1.5, 1.5, 96);
    button.SetPicture(38009, QRect(4, 4, 48, 48));
    EXPECT_EQ(button.geometry(), QRect(4, 4, 48, 48));
    const QImage shown = button.grab().toImage();
    EXPECT_EQ(shown.size(), QSize(48, 48));
    EXPECT_TRUE(IsGrey(shown.pixelColor(6, 24)));
}

TEST_F(SkinControls, CheckButtonTogglesAndHoversOnlyOverItsBox) {
    RecordingWindow parent;
    CSkinCheckButton check(kPicCheckBox, QStringLiteral("音声の除去"), QRect(44, 560, 240, 40),
                           &parent, 34469);
    EXPECT_TRUE(check.isVisibleTo(&parent));
    EXPECT_EQ(check.CurrentFrame(), kCheckOff);
    Mouse(&check, QEvent::MouseMove, {100, 10}); // over the caption
    EXPECT_EQ(check.CurrentFrame(), kCheckOff);
    Mouse(&check, QEvent::MouseMove, {6, 10}); // over the box (4 .. 16)
    EXPECT_EQ(check.CurrentFrame(), kCheckOffHover);
    Mouse(&check, QEvent::MouseButtonPress, {6, 10});
    Mouse(&check, QEvent::MouseButtonRelease, {6, 10});
    EXPECT_TRUE(check.isChecked());
    EXPECT_EQ(check.CurrentFrame(), kCheckOnHover);
    EXPECT_EQ(parent.commands, std::vector<int>{34469});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&check, &leave);
    EXPECT_EQ(check.CurrentFrame(), kCheckOn);
}

class SliderTest : public SkinControls {
protected:
    void SetUp() override {
        SkinControls::SetUp();
        slider = new CSkinSliderCtrl(38100, &parent,
                                     {kPicPositionTrackPlayed, kPicPositionTrackRest,
                                      kPicPositionThumb, kPicPositionThumbDrag});
        slider->resize(700, slider->height());
        slider->SetRange(0, 100);
    }
    RecordingWindow parent;
    CSkinSliderCtrl* slider = nullptr;
};

TEST_F(SliderTest, PressDragAndReleaseReportTheValueUnderThePointer) {
    EXPECT_EQ(slider->height(), 10);
    EXPECT_EQ(slider->property("windowClass").toString(), QStringLiteral("movie slider"));
    // 10 pixels left of the slider: nothing.
    Mouse(slider, QEvent::MouseButtonPress, {-10, 5});
    EXPECT_FALSE(slider->Dragging());
    Mouse(slider, QEvent::MouseButtonRelease, {-10, 5});
    EXPECT_TRUE(parent.Take().empty());

    // 5 pixels left: a drag that starts with the value 0.
    Mouse(slider, QEvent::MouseButtonPress, {-5, 5});
    EXPECT_TRUE(slider->Dragging());
    EXPECT_TRUE(slider->PressHitThumb()); // the thumb stands at 0
    Mouse(slider, QEvent::MouseMove, {350, 5});
    Mouse(slider, QEvent::MouseMove, {-20, 5}); // outside the range: no report
    Mouse(slider, QEvent::MouseButtonRelease, {350, 5});
    EXPECT_FALSE(slider->Dragging());
    const auto got = parent.Take();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, UM_SLIDER_BEGIN);
    EXPECT_EQ(got[0].wParam, 38100u);
    EXPECT_EQ(got[0].lParam, 0);
    EXPECT_EQ(got[1].message, UM_SLIDER_TRACK);
    EXPECT_EQ(got[1].lParam, 50);
    EXPECT_EQ(got[2].message, UM_SLIDER_END);
    EXPECT_EQ(got[2].lParam, 50);
    // The slider does not move its shown position by itself.
    EXPECT_EQ(slider->Pos(), 0);

    // A press away from the thumb is told apart (the parent's click mode).
    Mouse(slider, QEvent::MouseButtonPress, {600, 5});
    EXPECT_FALSE(slider->PressHitThumb());
    // Made non-interactive while dragging: the drag ends without a report.
    slider->SetInteractive(false);
    Mouse(slider, QEvent::MouseMove, {620, 5});
    EXPECT_FALSE(slider->Dragging());
    Mouse(slider, QEvent::MouseButtonRelease, {620, 5});
    const auto after = parent.Take();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].message, UM_SLIDER_BEGIN);
    EXPECT_EQ(after[0].lParam, 86);
    Mouse(slider, QEvent::MouseButtonPress, {300, 5});
    EXPECT_TRUE(parent.Take().empty());
}

TEST_F(SliderTest, DrawsPlayedTrackThumbAndRest) {
    slider->SetPos(50);
    const QImage image = slider->grab().toImage();
    ASSERT_EQ(image.size(), QSize(700, 10));
    // Played part left of the thumb in the accent, the rest grey.
    EXPECT_TRUE(IsAccent(image.pixelColor(100, 5)));
    EXPECT_TRUE(IsGrey(image.pixelColor(600, 5)));
    const PixelRect thumb = SliderThumbRect({0, 100, 700}, 50, {25, 10}, 1.0);
    EXPECT_GT(image.pixelColor(thumb.left + 3, 5).lightness(), 180);
}

TEST_F(SkinControls, ProgressBarWithoutRangeIsWhiteWithZeroPercent) {
    QWidget host;
    CSkinProgressBarCtrl bar(38102, &host);
    EXPECT_EQ(bar.height(), 22);
    bar.resize(500, 22);
    bar.SetRange(0, 0);
    bar.SetPos(0);
    EXPECT_EQ(bar.Text(), QStringLiteral("0 %"));
    QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(2, 11), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(497, 11), QColor(255, 255, 255));
    int blue = 0;
    for (int x = 200; x < 300; ++x)
        for (int y = 0; y < 22; ++y)
            if (image.pixelColor(x, y).blue() > 200 && image.pixelColor(x, y).red() < 100) ++blue;
    EXPECT_GT(blue, 10) << "the text is drawn blue over white";

    bar.SetRange(0, 100);
    bar.SetPos(37);
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 11), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(184, 2), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(185, 2), QColor(255, 255, 255));
    EXPECT_EQ(bar.Text(), QStringLiteral("37 %"));
}

TEST_F(SkinControls, ListSwapsStateImagesUnderThePointerAndReportsClicks) {
    RecordingWindow parent;
    CSkinListCtrl list(&parent);
    list.resize(300, 200);
    list.setColumnCount(1);
    list.setRowCount(3);
    for (int row = 0; row < 3; ++row) {
        list.setItem(row, 0, new QTableWidgetItem(QStringLiteral("row %1").arg(row)));
        list.SetStateImage(row, row == 1 ? 3 : 1);
    }
    QWidget* vp = list.viewport();
    const int y0 = list.rowViewportPosition(0) + 2;
    const int y1 = list.rowViewportPosition(1) + 2;
    Mouse(vp, QEvent::MouseMove, {20, double(y0)});
    EXPECT_EQ(list.StateImage(0), 2);
    Mouse(vp, QEvent::MouseMove, {20, double(y1)}); // a ticked row keeps its image
    EXPECT_EQ(list.StateImage(0), 1);
    EXPECT_EQ(list.StateImage(1), 3);
    Mouse(vp, QEvent::MouseMove, {20, double(y0)});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(vp, &leave);
    EXPECT_EQ(list.StateImage(0), 1);

    Mouse(vp, QEvent::MouseButtonPress, {20, double(y1)});
    Mouse(vp, QEvent::MouseButtonRelease, {20, double(y1)});
    Mouse(vp, QEvent::MouseButtonPress, {20, 190}); // below the rows
    const auto got = parent.Take();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, UM_SKINLIST_CLICK);
    EXPECT_EQ(got[0].lParam, 1);
    EXPECT_EQ(got[1].lParam, -1);
}

} // namespace
} // namespace kinetta
