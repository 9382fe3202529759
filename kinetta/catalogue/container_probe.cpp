#include "kinetta/catalogue/container_probe.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string_view>

#include "kinetta/catalogue/file_cache.h"
#include "platform/file_io.h"

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

// Everything the scan asks of one file, found with one open of it.
struct FileFacts {
    bool readable = false; // opened for reading as a regular file
    int64_t size = 0;      // bytes, at that open
    bool complete = false; // the recorder finished it
    int64_t frames = -1;   // sample count of the first video track; -1 unreadable
    // The front (0) and rear (1) streams of a file that carries both.
    bool stream[2] = {false, false};
    int64_t streamSize[2] = {0, 0}, streamFrames[2] = {0, 0};
    // The GPS records (positions and times only: no acceleration, no time
    // base); null when the block cannot be read, as LoadRecords fails.
    std::shared_ptr<const std::vector<playcore::GpsRecord>> gps;
    std::string firmware; // "%d.%d.%d" of the block header; empty when unknown
};

// Per family: the completeness test and the records depend on it.
FileCache<FileFacts>& FactsCache(RecorderFamily family) {
    static FileCache<FileFacts> tx40, tx50;
    return family == RecorderFamily::TX50 ? tx50 : tx40;
}

FileFacts ReadFacts(const std::string& path, RecorderFamily family,
                    std::optional<FileStamp>* stamp) {
    FileFacts f;
    auto movie = playcore::OpenMp4Movie(path, true, family);
    if (!movie) {
        // No box tree: still a file that may be complete (and is then listed
        // with no frames), asked the plain way.
        *stamp = StampOf(path);
        f.readable = platform::IsReadableRegularFile(path);
        f.size = *stamp ? (*stamp)->size : 0;
        f.complete = f.readable && playcore::IsRecordingComplete(path, family);
        return f;
    }
    const int fd = movie->map.file;
    *stamp = StampOfDescriptor(fd);
    f.readable = true;
    f.size = static_cast<int64_t>(movie->map.size);
    f.complete = playcore::IsRecordingComplete(fd, movie->map.size, family);
    const auto& stsz = movie->List(playcore::kStszList);
    uint32_t count = 0;
    if (!stsz.empty() && playcore::CheckedSampleCount(*movie, *stsz.front(), &count))
        f.frames = count;
    // A file with both cameras holds front video, rear video and audio.
    if (stsz.size() >= 3)
        for (int camera = 0; camera < 2; ++camera)
            f.stream[camera] = StszTotals(*movie, *stsz[static_cast<size_t>(camera)],
                                          &f.streamSize[camera], &f.streamFrames[camera]);
    // The track of the map's group and the version of the update check come
    // from the same open (the block is read from the tree already parsed).
    playcore::sGPSREADER reader;
    if (playcore::LoadRecords(reader, *movie)) {
        for (auto& record : reader.gps)
            record.accel = nullptr; // the records stand alone
        f.gps = std::make_shared<const std::vector<playcore::GpsRecord>>(std::move(reader.gps));
    }
    playcore::GpsBlockBytes block;
    playcore::GpsBlockInfo info;
    if (playcore::LocateBlock(*movie, &block) &&
        playcore::DecodeRecords(family, block.bytes.data(), block.bytes.size(), nullptr, nullptr,
                                &info))
        f.firmware = FirmwareVersionText(info.id);
    return f;
}

// The facts of path, read when the file is not known in its present state.
// A file that cannot be asked gives "not readable" and is not kept.
FileFacts FactsOf(const std::string& path, RecorderFamily family) {
    FileCache<FileFacts>& cache = FactsCache(family);
    const std::optional<FileStamp> now = StampOf(path);
    if (!now) return {};
    if (std::optional<FileFacts> known = cache.Find(path, *now)) return *known;
    std::optional<FileStamp> read;
    FileFacts f = ReadFacts(path, family, &read);
    if (f.readable && read) cache.Put(path, *read, f);
    return f;
}

} // namespace

bool RecordingGpsTrack(const std::string& path, RecorderFamily family,
                       std::shared_ptr<const std::vector<playcore::GpsRecord>>* out) {
    *out = FactsOf(path, family).gps;
    return *out != nullptr;
}

void ForgetFileFacts() {
    FactsCache(RecorderFamily::TX40).Clear();
    FactsCache(RecorderFamily::TX50).Clear();
}

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
    // The scan's questions share one open per file (and none for a file
    // already read in its present state).
    p.isComplete = [family](const std::string& path) { return FactsOf(path, family).complete; };
    p.readable = [family](const std::string& path, int64_t* size) {
        const FileFacts f = FactsOf(path, family);
        *size = f.size;
        return f.readable;
    };
    p.frameCount = [family](const std::string& path) -> int64_t {
        return FactsOf(path, family).frames;
    };
    p.cameraStream = [family](const std::string& path, int camera, int64_t* size, int64_t* frames) {
        if (camera < 0 || camera > 1) return false;
        const FileFacts f = FactsOf(path, family);
        if (!f.stream[camera]) return false;
        *size = f.streamSize[camera];
        *frames = f.streamFrames[camera];
        return true;
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
    p.firmwareVersion = [family](const std::string& path) {
        return FactsOf(path, family).firmware;
    };
    return p;
}

} // namespace kinetta
