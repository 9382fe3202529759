#include "kinetta/catalogue/container_probe.h"

#include <cstdio>
#include <string_view>

#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "util/text.h"

namespace kinetta {

namespace {

// Size in bytes and sample count of one stsz box: a constant sample size times
// the count, or the sum of the table. False when the box is malformed or its
// count is more than its table or the media data hold.
bool StszTotals(const playcore::sMP4MOVIE& movie, const playcore::sTAGNODE& stsz, int64_t* size,
                int64_t* frames) {
    playcore::StszBox box;
    uint32_t count = 0;
    if (!box.Read(stsz) || !playcore::CheckedSampleCount(movie, stsz, &count)) return false;
    *frames = count;
    *size = static_cast<int64_t>(box.TotalBytes());
    return true;
}

} // namespace

std::string FirmwareVersionText(const uint8_t (&id)[6]) {
    auto number = [&](size_t from, size_t n) {
        return kutil::LeadingInt(std::string_view(reinterpret_cast<const char*>(id) + from, n));
    };
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d.%d.%d", number(1, 1), number(2, 2), number(4, 2));
    return buf;
}

RecordingProbe ContainerProbe(RecorderFamily family) {
    RecordingProbe p;
    p.isComplete = [family](const std::string& path) {
        return playcore::IsRecordingComplete(path, family);
    };
    p.frameCount = [family](const std::string& path) -> int64_t {
        return playcore::FirstSampleCount(path, family);
    };
    p.cameraStream = [family](const std::string& path, int camera, int64_t* size, int64_t* frames) {
        auto movie = playcore::OpenMp4Movie(path, false, family);
        if (!movie) return false;
        const auto& stsz = movie->List(playcore::kStszList);
        // A file with both cameras holds front video, rear video and audio.
        if (stsz.size() < 3 || camera < 0 || camera > 1) return false;
        return StszTotals(*movie, *stsz[static_cast<size_t>(camera)], size, frames);
    };
    p.firmwareVersion = [family](const std::string& path) -> std::string {
        playcore::GpsBlockInfo info;
        if (!playcore::ReadBlockInfo(path, &info, family)) return {};
        return FirmwareVersionText(info.id);
    };
    return p;
}

} // namespace kinetta
