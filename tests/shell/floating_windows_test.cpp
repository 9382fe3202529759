// The main window's floating frames: which frame a notification names, the
// second movie window holding movie area 1 in Full mode and giving it back,
// and the default places that leave a switched-off map hidden.

#include <gtest/gtest.h>

#include <QWidget>

#include "kinetta/base/settings_store.h"
#include "kinetta/shell/floating_windows.h"
#include "kinetta/shell/movie_static.h"
#include "kinetta/skin/movie_dialog.h"
#include "skin/gui_support.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

TEST(FloatingWindows, FramesAreToldApartAndPutBackWithoutShowingAnOffMap) {
    ktest::App();
    ktest::TempDir home;
    SetSettingsDirectory(home.path());
    MovieViewState view; // outlives the area, a child of owner
    QWidget owner;
    auto* area1 = new CMovieStatic(1, nullptr, view, &owner);
    FloatingWindows w;
    EXPECT_FALSE(w.IsMapFrame(nullptr)); // no map yet: nothing is its frame
    EXPECT_FALSE(w.IsSecondMovie(nullptr));

    w.CreateSecondMovie(&owner, area1, /*fullMode=*/true);
    ASSERT_NE(w.SecondMovie(), nullptr);
    EXPECT_EQ(area1->parentWidget(), w.SecondMovie());
    CMovieDialog map(FloatingKind::Map, &owner);
    w.SetMapFrame(&map);
    EXPECT_TRUE(w.IsMapFrame(&map));
    EXPECT_FALSE(w.IsMapFrame(w.SecondMovie()));
    EXPECT_TRUE(w.IsSecondMovie(w.SecondMovie()));

    const QRect mapPlace(300, 200, 400, 300), secondPlace(50, 60, 320, 200);
    w.PlaceAtStart(mapPlace, secondPlace, true);
    EXPECT_EQ(w.SecondMovie()->pos(), secondPlace.topLeft());
    EXPECT_TRUE(w.SecondMovie()->isVisible());
    map.hide(); // the user switched the map off
    w.PutAtDefaultPlaces(mapPlace, secondPlace, true);
    EXPECT_FALSE(map.isVisible());
    EXPECT_EQ(map.geometry().topLeft(), mapPlace.topLeft());
    EXPECT_EQ(w.SecondMovie()->geometry().topLeft(), secondPlace.topLeft());

    w.EndSecondMovie(&owner, area1, true);
    EXPECT_EQ(w.SecondMovie(), nullptr);
    EXPECT_EQ(area1->parentWidget(), &owner); // freed with the owner, not with the frame
    w.SetMapFrame(nullptr);
}

} // namespace
} // namespace kinetta
