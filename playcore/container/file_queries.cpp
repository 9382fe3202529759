#include "playcore/container/file_queries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/file_io.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/boxes/tkhd_box.h"

namespace playcore {

namespace {

// Up to length bytes at offset (the completeness test reads two small pieces).
size_t ReadAt(int fd, uint64_t offset, uint8_t* out, size_t length) {
    const int64_t n = platform::ReadAt(fd, offset, out, length);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

} // namespace

bool IsRecordingComplete(const std::string& path, RecorderFamily family) {
    // Only a regular file: a FIFO would block the open.
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return false;
    struct stat st {};
    const bool complete = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                          IsRecordingComplete(fd, static_cast<uint64_t>(st.st_size), family);
    ::close(fd);
    return complete;
}

bool IsRecordingComplete(int fd, uint64_t size, RecorderFamily family) {
    const size_t want = family == RecorderFamily::TX50 ? kCompleteTailTx50 : kCompleteTailTx40;
    if (size < want) return false;
    uint8_t tail[kCompleteTailTx50];
    const size_t got = ReadAt(fd, size - want, tail, want);
    for (size_t i = 0; i < got; ++i)
        if (tail[i] == 0) tail[i] = ' ';
    const std::string_view text(reinterpret_cast<const char*>(tail), got);
    if (got != want || text.find("CSOEND") == std::string_view::npos) return false;
    uint8_t head[260];
    const size_t headGot = ReadAt(fd, 0, head, sizeof head);
    return headGot >= 8 && std::memcmp(head + 4, "ftyp", 4) == 0;
}

FrameTimingProbe ProbeFrameTiming(const sMP4MOVIE& movie) {
    FrameTimingProbe probe;
    const auto& stts = movie.List(kSttsList);
    // The last stts box is the audio track's; without a video track before it
    // there is nothing to probe and the decoder is asked instead.
    if (stts.size() < 2) return probe;
    for (size_t i = 0; i + 1 < stts.size(); ++i) {
        SttsBox table;
        // A table that does not fit its box, one without entries, or one whose
        // counts add up to zero gives no timing.
        const SttsSums sums = table.Read(*stts[i]) ? table.Sums() : SttsSums{};
        if (sums.entries == 0 || sums.count32 == 0) {
            probe.result = kProbeUnknown;
            return probe;
        }
        CameraTiming t;
        t.durationS = static_cast<float>(sums.total32) / 1000000.0f;
        t.frameDurationMs = static_cast<float>((sums.total32 / sums.count32) / 1000);
        probe.cameras.push_back(t);
        const bool longEnough = t.durationS > 2.0f;
        const bool fifteenPerSecond =
            t.frameDurationMs > 0 && std::floor(1000.0f / t.frameDurationMs) == 15.0f;
        if (!longEnough && !fifteenPerSecond) {
            probe.result = kProbeTooShort;
            return probe;
        }
    }
    probe.result = kProbeAccepted;
    return probe;
}

FrameTimingProbe ProbeFrameTiming(const std::string& path, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    if (!movie) return {};
    return ProbeFrameTiming(*movie);
}

long long FirstSampleCount(const std::string& path, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    uint32_t count = 0;
    if (!movie || movie->List(kStszList).empty() ||
        !CheckedSampleCount(*movie, *movie->List(kStszList).front(), &count))
        return -1;
    return count;
}

int StszCount(const std::string& path, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    return movie ? static_cast<int>(movie->List(kStszList).size()) : -1;
}

int TrackWidth(const std::string& path, int trackIndex, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    if (!movie || trackIndex < 0) return -1;
    const auto& tkhd = movie->List(kTkhdList);
    if (tkhd.size() < 3 || size_t(trackIndex) >= tkhd.size()) return -1;
    TkhdBox box;
    return box.Read(*tkhd[size_t(trackIndex)]) ? int(box.Width()) : -1;
}

float ProbedFrameDuration(const std::string& path, RecorderFamily family) {
    FrameTimingProbe probe = ProbeFrameTiming(path, family);
    if (probe.cameras.empty()) return -1.0f;
    return probe.cameras.front().frameDurationMs;
}

double FramesPerSecond(const std::string& path, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    if (!movie || movie->List(kSttsList).empty()) return -1.0;
    SttsBox table;
    if (!table.Read(*movie->List(kSttsList).front())) return -1.0;
    const SttsSums sums = table.Sums();
    if (sums.count == 0 || sums.total == 0) return -1.0;
    return 1000000.0 / (double(sums.total) / double(sums.count));
}

} // namespace playcore
