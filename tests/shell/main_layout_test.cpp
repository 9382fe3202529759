// Rectangles of the main window at the design size and when scaled.

#include <gtest/gtest.h>

#include "kinetta/shell/main_layout.h"

using namespace kinetta;

TEST(MainLayout, DesignSizeAtScaleOne) {
    MainLayout L = ComputeMainLayout({});
    EXPECT_EQ(L.innerWidth, 1084);
    EXPECT_EQ(L.movieWidth, 709);
    EXPECT_EQ(L.innerHeight, 624);
    EXPECT_EQ(L.movieHeight, 406);
    EXPECT_EQ(L.movie, (Rect{8, 28, 709, 406}));
    EXPECT_EQ(L.infoPanel, (Rect{8, 444, 569, 120}));
    EXPECT_EQ(L.controller, (Rect{577, 444, 140, 120}));
    EXPECT_EQ(L.graph, (Rect{8, 564, 709, 93}));
    EXPECT_EQ(L.listColumn.left, 717);
    EXPECT_EQ(L.listColumn.right(), 1093);
    EXPECT_EQ(L.listColumn.top, 27);
    EXPECT_EQ(L.listColumn.bottom(), 658);
    EXPECT_EQ(L.minimiseButton.left, 990);
    EXPECT_EQ(L.maximiseButton.left, 1016);
    EXPECT_EQ(L.closeButton.left, 1042);

    FloatingPlaces p = DefaultFloatingPlaces(L, 1.0, false);
    EXPECT_EQ(p.map, (Rect{717, 27, 375, 421}));
    EXPECT_EQ(p.secondMovie.width, 375);
    EXPECT_EQ(p.secondMovie.height, 230);
    EXPECT_EQ(p.secondMovie.bottom(), 658 - 4 - 206 - 20 + 230);
}

TEST(MainLayout, LargerWindowGivesTheMovieTheRoom) {
    MainLayoutInput in;
    in.clientWidth = 1650;
    in.clientHeight = 1050;
    MainLayout L = ComputeMainLayout(in);
    EXPECT_EQ(L.movieWidth, 1259);
    EXPECT_EQ(L.movieHeight, 756);
    EXPECT_EQ(L.listColumn.width, 376);
    EXPECT_EQ(L.graph.height, 93); // the graph keeps its height
}

TEST(MainLayout, PanoramaMovesTheListColumn) {
    MainLayoutInput in;
    in.panorama = true;
    MainLayout L = ComputeMainLayout(in);
    EXPECT_EQ(L.listColumn.top, L.movie.bottom());
    EXPECT_EQ(DefaultFloatingPlaces(L, 1.0, true).map.top, L.movie.top);
}

TEST(MainLayout, ToolbarGroupsAndFamilies) {
    MainLayout tx40 = ComputeMainLayout({});
    ASSERT_EQ(tx40.toolbar.size(), 19u);
    EXPECT_EQ(tx40.toolbar[0].rect, (Rect{20, 665, 32, 32}));
    EXPECT_EQ(tx40.toolbar[1].rect.left, 20 + 43);
    EXPECT_EQ(tx40.toolbar[14].command, 38014);
    EXPECT_EQ(tx40.toolbar[14].rect.left, 20 + 14 * 43 + 30); // the second group's gap

    MainLayoutInput in;
    in.family = RecorderFamily::TX50;
    MainLayout tx50 = ComputeMainLayout(in);
    ASSERT_EQ(tx50.toolbar.size(), 18u);
    EXPECT_EQ(tx50.toolbar[8].command, 38009);
    EXPECT_EQ(tx50.toolbar[13].command, 38014);
    EXPECT_EQ(tx40.toolbar[14].rect.left - tx50.toolbar[13].rect.left, 43);

    in.mode = OperatingMode::Full;
    in.family = RecorderFamily::TX40;
    EXPECT_EQ(ComputeMainLayout(in).toolbar.back().command, 38017);

    MainLayoutInput scaled;
    scaled.s = 1.5;
    scaled.clientWidth = 1650;
    scaled.clientHeight = 1050;
    MainLayout big = ComputeMainLayout(scaled);
    EXPECT_EQ(big.toolbar[0].rect.width, 48);
    EXPECT_EQ(big.volumeSlider, (Rect{1650 - 180, 1050 - 7 - (57 + 18) / 2, 150, 30}));
}
