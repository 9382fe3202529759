#include "tools/mkcard/recording.h"

#include <algorithm>
#include <cmath>

namespace mkcard {

using playcore::RecorderFamily;

const Route& TheRoute() {
    static const Route route;
    return route;
}

int FrameCount(double seconds, uint32_t frameUs) {
    return std::max(1, static_cast<int>(std::lround(seconds * 1e6 / frameUs)));
}

std::vector<uint8_t> RecordingTrailer(const RecordingSpec& recipe,
                                      std::vector<GpsRecordValues>* records) {
    if (!recipe.gps) return {};
    const int frames = FrameCount(recipe.durationSeconds, recipe.frameUs);
    const double movieSeconds = static_cast<double>(frames) * recipe.frameUs / 1e6;
    TelemetrySpec t;
    t.family = recipe.family;
    t.start = recipe.start;
    // One record per started second of movie.
    t.recordCount =
        recipe.recordCount >= 0 ? recipe.recordCount : static_cast<int>(std::ceil(movieSeconds - 1e-9));
    t.secondsPerRecord = recipe.realSecondsPerRecord;
    t.parked = recipe.parked;
    t.events = recipe.events;
    t.noFix = recipe.noFix;
    t.jumps = recipe.jumps;
    t.cameraLetter = recipe.content == FileContent::Rear ? 'R' : 'M';
    t.voltageTenths = recipe.voltageTenths;
    t.secondsToAdd = recipe.secondsToAdd;
    t.seed = recipe.seed;
    GpsBlockSpec block;
    block.family = recipe.family;
    block.header = recipe.header;
    block.repeatedHeaders = recipe.repeatedHeaders;
    block.records = MakeRecords(t, TheRoute());
    block.endMarker = recipe.endMarker;
    block.countOverride = recipe.countOverride;
    std::vector<uint8_t> bytes =
        recipe.family == RecorderFamily::TX50 ? EncodeGpsBlock(block) : EncodeGps0Box(block);
    if (records) *records = std::move(block.records);
    return bytes;
}

} // namespace mkcard
