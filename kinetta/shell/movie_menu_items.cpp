#include "kinetta/shell/movie_menu_items.h"

namespace kinetta {

std::vector<MovieMenuItem> MovieMenuItems(const MovieMenuContext& ctx) {
    std::vector<MovieMenuItem> items;
    const int state = ctx.engineState;
    if (state != kStateStopped && state != kStatePlaying && state != kStatePaused) {
        items.push_back({kCmdBrowse, kStrBrowse, true});
        return items;
    }
    if (state == kStateStopped) {
        items.push_back({kCmdPlay, kStrPlay, true});
        items.push_back({kCmdStop, kStrStop, true}); // back to the start
        items.push_back({kCmdFastForward, kStrFastForward, true});
        items.push_back({kCmdSlow, kStrSlow, true});
    } else if (state == kStatePlaying) {
        items.push_back({kCmdPlay, kStrPause, true});
    } else {
        items.push_back({kCmdPlay, kStrPlay, true});
    }
    // Display items act on the picture of the clicked area: none while it
    // shows its no-data text; the flip is the front camera's, the mirror the
    // rear camera's, and the reset only turns back a dewarped view (model 3).
    const bool shown = ctx.areaHasMovie;
    items.push_back({kCmdDisplayMode, kStrDisplayModeSwitch, shown});
    items.push_back({kCmdMenuFlipFront, kStrFlipPicture, shown && ctx.camera == 0});
    items.push_back({kCmdMenuMirrorRear, kStrMirrorImage, shown && ctx.camera == 1});
    items.push_back({kCmdResetView, kStrReset, shown && ctx.displayModel == 3});
    // Full mode shows the rear camera in its own window: there is no camera switch.
    items.push_back({kCmdCameraSwitch, kStrCameraSwitch, ctx.mode != OperatingMode::Full});
    items.push_back({kCmdStill, kStrStillPicture, shown});
    items.push_back({kCmdSettings, kStrSettings, true});
    items.push_back({kCmdBrowse, kStrBrowse, true});
    items.push_back({kCmdMenuGpxExport, kStrGpxSave, true});
    // The event clip of the open recording, at the playback position.
    items.push_back({kCmdMenuClipEvent, kStrClipEvent, true});
    if (ctx.hasFlow)
        for (MovieMenuItem& item : items)
            item.enabled = item.enabled && ctx.hasFlow(item.command);
    return items;
}

} // namespace kinetta
