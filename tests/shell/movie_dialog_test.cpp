// The floating window, the logo panel and the context menu as widgets.

#include <gtest/gtest.h>

#include <QAction>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/shell/main_layout.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/shell/movie_menu.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"
#include "skin/gui_support.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

using ktest::MouseAt;
using ktest::RecordingWindow;

class MovieDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ktest::App();
        SetSkinScale(1.0, 1.0, 96);
        SetSettingsDirectory(dir.path());
    }
    static bool Has(const std::vector<ktest::Received>& got, int message, const void* window) {
        for (const auto& m : got)
            if (m.message == message && m.lParam == reinterpret_cast<std::intptr_t>(window))
                return true;
        return false;
    }
    ktest::TempDir dir;
};

TEST_F(MovieDialogTest, DesignSizesMatchTheDefaultPlaces) {
    const double s = 1.5;
    MainLayoutInput in{Scaled(s, 1100), Scaled(s, 700), s};
    const FloatingPlaces places = DefaultFloatingPlaces(ComputeMainLayout(in), s, false);
    EXPECT_EQ(FloatingDesignSize(FloatingKind::Map, s), QSize(places.map.width, places.map.height));
    EXPECT_EQ(FloatingDesignSize(FloatingKind::SecondMovie, s),
              QSize(places.secondMovie.width, places.secondMovie.height));
}

TEST_F(MovieDialogTest, ScaleIsRestoredAtCreationAndSavedOnResetAndClose) {
    WriteSetting("MOVIEDISPLAY", "SCALEX", "1.500000");
    WriteSetting("MOVIEDISPLAY", "SCALEY", "1.200000");
    WriteSetting("MAPDISPLAY", "SCALEX", "-2");
    RecordingWindow owner;
    CMovieDialog movie(FloatingKind::SecondMovie, &owner);
    EXPECT_EQ(movie.size(), QSize(562, 276)); // trunc(375 x 1.5), trunc(230 x 1.2)
    EXPECT_EQ(movie.windowTitle(), QStringLiteral("リヤカメラ"));
    EXPECT_EQ(movie.InnerRect(), QRect(4, 20, 562 - 8, 276 - 24));
    CMovieDialog map(FloatingKind::Map, &owner);
    EXPECT_EQ(map.size(), QSize(375, 421)); // a stored value not above 0 keeps 1
    EXPECT_EQ(map.windowTitle(), QStringLiteral("マップ"));

    owner.Take();
    movie.PutAtDefaultPlace(QRect(300, 400, 375, 230));
    EXPECT_TRUE(movie.isVisible());
    EXPECT_EQ(movie.size(), QSize(375, 230));
    EXPECT_EQ(ReadSetting("MOVIEDISPLAY", "SCALEX"), "1.000000");
    EXPECT_EQ(ReadSetting("MOVIEDISPLAY", "SCALEY"), "1.000000");
    const auto got = owner.Take();
    EXPECT_TRUE(Has(got, UM_WINDOW_SIZED, &movie));

    movie.SetMultipliers({1.25, 1.0});
    movie.close();
    EXPECT_EQ(ReadSetting("MOVIEDISPLAY", "SCALEX"), "1.250000");
}

TEST_F(MovieDialogTest, TitleStripDoubleClickAsksForTheDefaultPlaceAndReleaseRelayouts) {
    RecordingWindow owner;
    CMovieDialog map(FloatingKind::Map, &owner);
    map.setGeometry(300, 200, 375, 421);
    map.show();
    ktest::Pump();
    const QRect g = map.frameGeometry();
    owner.Take();

    MouseAt(&map, QEvent::MouseButtonDblClick, {g.left() + 100, g.top() + 10});
    auto got = owner.Take();
    EXPECT_TRUE(Has(got, UM_WINDOW_RESET, &map));
    // In the content area a double-click asks for nothing.
    MouseAt(&map, QEvent::MouseButtonDblClick, {g.left() + 100, g.top() + 200});
    got = owner.Take();
    EXPECT_FALSE(Has(got, UM_WINDOW_RESET, &map));

    MouseAt(&map, QEvent::MouseButtonPress, {g.left() + 100, g.top() + 200});
    MouseAt(&map, QEvent::MouseButtonRelease, {g.left() + 100, g.top() + 200});
    got = owner.Take();
    bool relayout = false;
    for (const auto& m : got)
        relayout |= m.message == UM_RELAYOUT;
    EXPECT_TRUE(relayout);

    map.grab(); // paints whether or not the window is exposed yet
    EXPECT_TRUE(Has(owner.Take(), UM_WINDOW_PAINTED, &map));
}

TEST_F(MovieDialogTest, LogoPanelAppliesTheLastDeferredVisibility) {
    QWidget frame;
    CLogoDlg logo(&frame);
    logo.resize(200, 200);
    frame.show();
    logo.ShowNow(false);
    logo.ShowDeferred(true);
    logo.ShowDeferred(false);
    logo.ShowDeferred(true);
    EXPECT_FALSE(logo.isVisible()); // nothing changes before the message is handled
    EXPECT_TRUE(logo.RefreshPending());
    ktest::Pump();
    EXPECT_TRUE(logo.isVisible());
    EXPECT_FALSE(logo.RefreshPending());

    EXPECT_TRUE(logo.SetLogoPicture(0));
    EXPECT_FALSE(logo.SetLogoPicture(0));
    EXPECT_EQ(logo.PictureId(), kPicMapLogoOffline);
}

TEST_F(MovieDialogTest, MenuSendsTheChosenCommandAndSkipsDisabledItems) {
    RecordingWindow owner;
    MovieMenuContext ctx;
    ctx.engineState = kStatePlaying;
    ctx.displayModel = 4;
    CMovieMenu menu(ctx, &owner);
    ASSERT_EQ(menu.actions().size(), 11);
    EXPECT_EQ(menu.actions()[0]->text(), QStringLiteral("一時停止"));
    EXPECT_EQ(menu.actions()[10]->text(), QStringLiteral("イベントを切り出し"));
    QAction* reset = menu.ActionFor(kCmdResetView);
    ASSERT_NE(reset, nullptr);
    EXPECT_FALSE(reset->isEnabled());
    reset->trigger();
    EXPECT_TRUE(owner.commands.empty());
    menu.ActionFor(kCmdDisplayMode)->trigger();
    EXPECT_EQ(owner.commands, std::vector<int>{kCmdDisplayMode});

    // Drawn in the skin's colours.
    menu.Track(QPoint(100, 100));
    ktest::Pump();
    const QImage shot = menu.grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() - 3, shot.height() / 2), kSkinWindowColor);
    menu.close();
}

} // namespace
} // namespace kinetta
