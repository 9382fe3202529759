#include "kinetta/catalogue/container_probe.h"

#include <chrono>
#include <cstdio>
#include <string_view>

#include "playcore/container/boxes/mvhd_box.h"
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

// Seconds of a record time read as a civil time (no zone).
int64_t CivilSeconds(const playcore::RecordTime& t) {
    namespace c = std::chrono;
    const c::sys_days date{c::year{t.year} / c::month{t.month} / c::day{t.day}};
    return int64_t(date.time_since_epoch().count()) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
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
    p.isTimeLapse = [family](const std::string& path) {
        auto movie = playcore::OpenMp4Movie(path, true, family);
        playcore::sGPSREADER reader;
        if (!movie || !playcore::LoadRecords(reader, *movie) || reader.gps.size() < 2) return false;
        playcore::MvhdBox mvhd;
        const auto& list = movie->List(playcore::kMvhdList);
        if (list.empty() || !mvhd.Read(*list.front()) || mvhd.TimeScale() == 0) return false;
        const double movieSeconds = double(mvhd.Duration()) / mvhd.TimeScale();
        const double realSeconds =
            double(CivilSeconds(reader.gps.back().time) - CivilSeconds(reader.gps.front().time));
        // n records over the movie: n - 1 steps of movie ÷ n each. The
        // recorder's time lapse is 15 real seconds to one of movie.
        const double n = double(reader.gps.size());
        return movieSeconds > 0 && realSeconds / ((n - 1) * movieSeconds / n) > 5;
    };
    p.firmwareVersion = [family](const std::string& path) -> std::string {
        playcore::GpsBlockInfo info;
        if (!playcore::ReadBlockInfo(path, &info, family)) return {};
        return FirmwareVersionText(info.id);
    };
    return p;
}

} // namespace kinetta
