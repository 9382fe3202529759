// The context menu's items per engine state and their enabling per area.

#include <gtest/gtest.h>

#include "kinetta/shell/movie_menu_items.h"

namespace kinetta {
// main_window_rules.h; its command names clash with the menu's own.
bool CommandHasFlow(int command);
} // namespace kinetta

using namespace kinetta;

namespace {

std::vector<int> Commands(const std::vector<MovieMenuItem>& items) {
    std::vector<int> out;
    for (const auto& i : items)
        out.push_back(i.command);
    return out;
}

const MovieMenuItem* Find(const std::vector<MovieMenuItem>& items, int command) {
    for (const auto& i : items)
        if (i.command == command) return &i;
    return nullptr;
}

} // namespace

TEST(MovieMenuItems, ItemsPerEngineState) {
    MovieMenuContext ctx;
    ctx.engineState = kStateClosed;
    EXPECT_EQ(MovieMenuItems(ctx), (std::vector<MovieMenuItem>{{38014, kStrBrowse, true}}));

    ctx.engineState = kStateStopped;
    const auto stopped = MovieMenuItems(ctx);
    EXPECT_EQ(Commands(stopped),
              (std::vector<int>{38002, 38000, 38004, 38003, 38010, 38202, 38203, 38201, 38018,
                                38006, 38016, 38014, 38210, 38211}));
    EXPECT_EQ(stopped[0].text, kStrPlay);

    ctx.engineState = kStatePlaying;
    const auto playing = MovieMenuItems(ctx);
    EXPECT_EQ(Commands(playing), (std::vector<int>{38002, 38010, 38202, 38203, 38201, 38018, 38006,
                                                   38016, 38014, 38210, 38211}));
    EXPECT_EQ(playing[0].text, kStrPause);

    ctx.engineState = kStatePaused;
    const auto paused = MovieMenuItems(ctx);
    EXPECT_EQ(Commands(paused), Commands(playing));
    EXPECT_EQ(paused[0].text, kStrPlay);
}

TEST(MovieMenuItems, ItemsThatDoNotApplyAreDisabled) {
    MovieMenuContext ctx;
    ctx.engineState = kStatePaused;
    ctx.mode = OperatingMode::Single;
    ctx.displayModel = 4;
    auto items = MovieMenuItems(ctx);
    EXPECT_TRUE(Find(items, 38202)->enabled);  // flip: the front camera's
    EXPECT_FALSE(Find(items, 38203)->enabled); // mirror: the rear camera's
    EXPECT_FALSE(Find(items, 38201)->enabled); // reset turns only the dewarped view

    ctx.camera = 1;
    ctx.displayModel = 3;
    ctx.mode = OperatingMode::Full;
    items = MovieMenuItems(ctx);
    EXPECT_FALSE(Find(items, 38202)->enabled);
    EXPECT_TRUE(Find(items, 38203)->enabled);
    EXPECT_TRUE(Find(items, 38201)->enabled);
    EXPECT_FALSE(Find(items, 38018)->enabled); // no camera switch in Full mode

    ctx.areaHasMovie = false; // the area shows its no-data text
    items = MovieMenuItems(ctx);
    for (int c : {38010, 38202, 38203, 38201, 38006})
        EXPECT_FALSE(Find(items, c)->enabled) << c;
    for (int c : {38002, 38016, 38014})
        EXPECT_TRUE(Find(items, c)->enabled) << c;
}

TEST(MovieMenuItems, CommandsWithoutTheirFlowAreDisabledAsOnTheToolbar) {
    MovieMenuContext ctx;
    ctx.engineState = kStatePaused;
    // A build without the still-picture flow lists "静止画" disabled.
    ctx.hasFlow = [](int command) { return command != 38006; };
    auto items = MovieMenuItems(ctx);
    EXPECT_FALSE(Find(items, 38006)->enabled);
    for (int c : {38002, 38010, 38202, 38018, 38016, 38014})
        EXPECT_TRUE(Find(items, c)->enabled) << c;
    // This build: every item of a toolbar command follows the toolbar's list.
    ctx.hasFlow = CommandHasFlow;
    items = MovieMenuItems(ctx);
    for (const MovieMenuItem& item : items)
        if (!CommandHasFlow(item.command)) {
            EXPECT_FALSE(item.enabled) << item.command;
        }
    EXPECT_TRUE(Find(items, 38002)->enabled);
    EXPECT_TRUE(Find(items, 38014)->enabled);
}
