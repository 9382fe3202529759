#include "tools/mkcard/recording.h"

#include <algorithm>
#include <cmath>

namespace mkcard {

using kinetta::RecorderFamily;

const Route& TheRoute() {
    static const Route route;
    return route;
}

int FrameCount(double seconds, uint32_t frameUs) {
    return std::max(1, static_cast<int>(std::lround(seconds * 1e6 / frameUs)));
}

std::vector<uint8_t> RecordingTrailer(const RecordingSpec& spec,
                                      std::vector<GpsRecordValues>* records) {
    if (!spec.gps) return {};
    const int frames = FrameCount(spec.durationSeconds, spec.frameUs);
    const double movieSeconds = static_cast<double>(frames) * spec.frameUs / 1e6;
    TelemetrySpec t;
    t.family = spec.family;
    t.start = spec.start;
    // One record per started second of movie.
    t.recordCount =
        spec.recordCount >= 0 ? spec.recordCount : static_cast<int>(std::ceil(movieSeconds - 1e-9));
    t.secondsPerRecord = spec.realSecondsPerRecord;
    t.parked = spec.parked;
    t.events = spec.events;
    t.noFix = spec.noFix;
    t.jumps = spec.jumps;
    t.cameraLetter = spec.content == FileContent::Rear ? 'R' : 'M';
    t.voltageTenths = spec.voltageTenths;
    t.secondsToAdd = spec.secondsToAdd;
    t.seed = spec.seed;
    GpsBlockSpec block;
    block.family = spec.family;
    block.header = spec.header;
    block.repeatedHeaders = spec.repeatedHeaders;
    block.records = MakeRecords(t, TheRoute());
    block.endMarker = spec.endMarker;
    block.countOverride = spec.countOverride;
    std::vector<uint8_t> bytes =
        spec.family == RecorderFamily::TX50 ? EncodeGpsBlock(block) : EncodeGps0Box(block);
    if (records) *records = std::move(block.records);
    return bytes;
}

} // namespace mkcard
