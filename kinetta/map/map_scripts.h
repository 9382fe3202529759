#pragma once
// What the program says to the map page: the script texts it runs there, the
// state message it posts, and the walk that turns a recording's event list
// into event-pin scripts.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/map/json_holder.h"
#include "kinetta/telemetry/event_list.h"
#include "playcore/container/gps_block.h"

namespace kinetta::map {

// Script texts run in the page.
inline constexpr std::string_view kScriptClearCrashPos = "cplist.ClearCrashPos()";
inline constexpr std::string_view kScriptRemoveLineList = "orbitgrplist.RemoveLineList()";
inline constexpr std::string_view kScriptCreateLine = "orbitgrplist.CreateLine()";
inline constexpr std::string_view kScriptMoveMarker = "orbitgrplist.MoveMarker()";
// "orbitgrplist.CreateGridLine(%d)" with the recording's list index.
std::string CreateGridLineScript(int recordingIndex);

// The four scripts that rebuild the tracks, in the order they run.
std::vector<std::string> RebuildTrackScripts(int recordingIndex);

// The latitude and longitude the page receives while the map display is off;
// the page does not move its marker for values of 1000 or more.
inline constexpr double kMapOfflineSentinel = 1000.0;

// Play status texts of the map state; SetMapStatus kind 0, 1, 2.
inline constexpr std::string_view kStatusPlaying = "";
inline constexpr std::string_view kStatusPause = "pause";
inline constexpr std::string_view kStatusStop = "stop";
std::string_view MapStatusText(int kind); // empty for an unknown kind

// The state message: holder is filled afresh with map_lat, map_lng (six
// decimals), map_status, val_command "update" and val_end (empty, without
// separator) and written by the writing rule.
std::string MapStateMessage(CJsonHolder& holder, double latitude, double longitude,
                            std::string_view status);

// One event pin: "cplist.AddCrashPos(%d,%f,%f,%f,%d,%d,%d,%f,%f,%d,%f,%f)".
struct CrashPosArgs {
    int32_t icon = 0; // event kind 0..13, the page's icon index
    double levelX = 0, levelY = 0, levelZ = 0;
    int32_t fileIndex = 0;
    int32_t recordingIndex = 0;
    int32_t frame = 0; // framePos of the event's acceleration sample
    double latitude = 0, longitude = 0;
    int32_t valid = 0;
    double speed = 0, direction = 0;
};
std::string AddCrashPosScript(const CrashPosArgs& args);

struct EventWalk {
    bool complete = false;            // false: the walk met an event without a sample
    std::vector<std::string> scripts; // AddCrashPos scripts, last event first
    // For each script, the tool tip of its pin: the event's kind and the
    // local time of its record ("衝撃 10:15:06"), as a TipLast script.
    std::vector<std::string> tips;
};

// The script that gives the pin added last the tool tip text (a pin keeps
// the first tip it is given).
std::string TipLastScript(std::string_view text);

// Walks the recording's event list from the last event to the first: an
// event whose detector entry has its listing flag off (or no entry) is
// skipped, one whose GPS sample lies at exactly (0.0, 0.0) is skipped; every
// other gives one AddCrashPos script. An event without an acceleration
// sample or without a linked GPS sample ends the walk incomplete. An empty
// list is complete. Call with the telemetry locked (the events point into
// the session's records).
EventWalk WalkEvents(const EventList& events, const std::array<bool, kDetectorCount>& listing,
                     int recordingIndex);

} // namespace kinetta::map
