#include "kinetta/map/map_scripts.h"

#include "kinetta/map/number_text.h"
#include "util/json_text.h"

#include <cstdio>

namespace kinetta::map {

std::string CreateGridLineScript(int recordingIndex) {
    return "orbitgrplist.CreateGridLine(" + IntText(recordingIndex) + ")";
}

std::vector<std::string> RebuildTrackScripts(int recordingIndex) {
    return {std::string(kScriptClearCrashPos), std::string(kScriptRemoveLineList),
            std::string(kScriptCreateLine), CreateGridLineScript(recordingIndex)};
}

std::string_view MapStatusText(int kind) {
    switch (kind) {
    case 1:
        return kStatusPause;
    case 2:
        return kStatusStop;
    default:
        return kStatusPlaying;
    }
}

std::string MapStateMessage(CJsonHolder& holder, double latitude, double longitude,
                            std::string_view status) {
    holder.Clear();
    holder.Set("map_lat", FixedText(latitude), ",");
    holder.Set("map_lng", FixedText(longitude), ",");
    holder.Set("map_status", std::string(status), ",");
    holder.Set("val_command", "update", ",");
    holder.Set("val_end", "", "");
    return holder.Write();
}

std::string AddCrashPosScript(const CrashPosArgs& a) {
    std::string s = "cplist.AddCrashPos(";
    s += IntText(a.icon) + ',';
    s += FixedText(a.levelX) + ',';
    s += FixedText(a.levelY) + ',';
    s += FixedText(a.levelZ) + ',';
    s += IntText(a.fileIndex) + ',';
    s += IntText(a.recordingIndex) + ',';
    s += IntText(a.frame) + ',';
    s += FixedText(a.latitude) + ',';
    s += FixedText(a.longitude) + ',';
    s += IntText(a.valid) + ',';
    s += FixedText(a.speed) + ',';
    s += FixedText(a.direction) + ')';
    return s;
}

std::string TipLastScript(std::string_view text) {
    // A JSON string literal is a JavaScript one: quotes, backslashes and
    // controls escaped, bytes that are not UTF-8 replaced.
    return "cplist.TipLast(" + kutil::JsonQuote(text) + ")";
}

EventWalk WalkEvents(const EventList& events, const std::array<bool, kDetectorCount>& listing,
                     int recordingIndex) {
    EventWalk walk;
    for (size_t i = events.size(); i-- > 0;) {
        const GraphEvent& e = events[i];
        if (e.entry < 0 || e.entry >= kDetectorCount || !listing[size_t(e.entry)]) continue;
        if (!e.accel || !e.accel->gps) return walk; // incomplete: tried again later
        const playcore::GpsRecord& g = *e.accel->gps;
        if (g.latitude == 0.0 && g.longitude == 0.0) continue;
        CrashPosArgs a;
        a.icon = e.kind;
        a.levelX = e.accel->gx;
        a.levelY = e.accel->gy;
        a.levelZ = e.accel->gz;
        a.fileIndex = 0;
        a.recordingIndex = recordingIndex;
        a.frame = e.accel->framePos;
        a.latitude = g.latitude;
        a.longitude = g.longitude;
        a.valid = g.valid;
        a.speed = g.speed;
        a.direction = g.direction;
        walk.scripts.push_back(AddCrashPosScript(a));
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", g.time.hour % 100, g.time.minute % 100,
                      g.time.second % 100);
        walk.tips.push_back(TipLastScript(std::string(EventKindText(e.kind)) + ' ' + time));
    }
    walk.complete = true;
    return walk;
}

} // namespace kinetta::map
