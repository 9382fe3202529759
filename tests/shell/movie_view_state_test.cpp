// The main window's view state: zoom mode and its clicks, what the engines
// are given for the pictures, the fit mode per display model, full screen and
// its refusal near the end of a movie, the menu's camera.

#include <gtest/gtest.h>

#include "kinetta/shell/movie_view_state.h"

namespace kinetta {
namespace {

TEST(MovieViewState, ZoomClicksDoubleUpToTheLimitOnlyInZoomMode) {
    MovieViewState v;
    EXPECT_FALSE(v.ZoomAt(0, 10, 20)); // outside zoom mode a click magnifies nothing
    EXPECT_EQ(v.Zoom(0), 1.0);
    ASSERT_TRUE(v.ToggleZoomMode());
    for (double want : {2.0, 4.0, 8.0, 8.0}) {
        ASSERT_TRUE(v.ZoomAt(0, 100, 50));
        EXPECT_EQ(v.Zoom(0), want);
    }
    ASSERT_TRUE(v.ZoomAt(1, 7, 9));
    EXPECT_EQ(v.Zoom(1), 2.0); // each camera on its own
    EXPECT_EQ(v.Zoom(5), 8.0); // any other index is the front camera
    const auto p = v.Placements();
    EXPECT_FLOAT_EQ(p[0].zoom, 8.0f);
    EXPECT_FLOAT_EQ(p[0].focusX, 100.0f);
    EXPECT_FLOAT_EQ(p[0].focusY, 50.0f);
    EXPECT_FLOAT_EQ(p[1].focusX, 7.0f);
    EXPECT_EQ(p[1].offsetX, 0);

    // A double-click's reset, then leaving zoom mode shows both whole pictures.
    EXPECT_TRUE(v.ResetZoom(1));
    EXPECT_FALSE(v.ResetZoom(1)); // nothing to do the second time
    EXPECT_FALSE(v.ToggleZoomMode());
    EXPECT_EQ(v.Zoom(0), 1.0);
    EXPECT_FLOAT_EQ(v.Placements()[0].zoom, 1.0f);
}

TEST(MovieViewState, FitModeKeepsTheShapeOfFlatModelsOnlyWithTheAspectKept) {
    MovieViewState v;
    ASSERT_TRUE(v.KeepAspect());
    const int keep[6] = {0, 1, 1, 0, 0, 1}; // models 0..5: split, as recorded and plain keep it
    for (int model = 0; model <= 5; ++model)
        EXPECT_EQ(v.FitMode(model), keep[model]) << model;
    v.SetKeepAspect(false);
    for (int model = 0; model <= 5; ++model)
        EXPECT_EQ(v.FitMode(model), 0) << model;
}

TEST(MovieViewState, FullScreenRemembersThePlaceAndIsRefusedNearTheEnd) {
    EXPECT_FALSE(MovieViewState::FullScreenRefused(0, 0)); // nothing open: no end to be near
    EXPECT_FALSE(MovieViewState::FullScreenRefused(100, 89));
    EXPECT_TRUE(MovieViewState::FullScreenRefused(100, 90));
    EXPECT_TRUE(MovieViewState::FullScreenRefused(100, 150));

    MovieViewState v;
    v.EnterFullScreen({40, 30, 1100, 700});
    EXPECT_TRUE(v.FullScreen());
    EXPECT_EQ(v.NormalGeometry(), (Rect{40, 30, 1100, 700}));
    EXPECT_EQ(v.LeaveFullScreen(), (Rect{40, 30, 1100, 700}));
    EXPECT_FALSE(v.FullScreen());

    v.SetMenuCamera(1);
    EXPECT_EQ(v.MenuCamera(), 1);
    v.SetMenuCamera(7);
    EXPECT_EQ(v.MenuCamera(), 0);
    v.SetMirrored(1, true);
    EXPECT_TRUE(v.Mirrored(1));
    EXPECT_FALSE(v.Mirrored(0));
}

} // namespace
} // namespace kinetta
