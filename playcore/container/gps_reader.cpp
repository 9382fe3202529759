#include "playcore/container/gps_reader.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace playcore {

namespace {

void ClearLocked(sGPSREADER& r) {
    r.recordCounter = 0;
    r.maxAccel = 0;
    r.gps.clear();
    r.accel.clear();
    r.spare.clear();
    r.info = GpsBlockInfo{};
    r.frameTable.clear();
    r.loaded = false;
    r.differenced = false;
}

// A value's difference from the previous record's value, moved 0.005 G away
// from zero (the recorder's rounding of a non-zero change).
double Difference(double now, double before) {
    const double d = now - before;
    if (d > 0) return d + 0.005;
    if (d < 0) return d - 0.005;
    return 0;
}

// Decodes a located block into the reader (whose mutex the caller holds and
// whose family is set); a failure leaves it cleared.
bool DecodeInto(sGPSREADER& reader, const GpsBlockBytes& block) {
    if (!DecodeRecords(reader.family, block.bytes.data(), block.bytes.size(), &reader.gps,
                       &reader.accel, &reader.info, &reader.recordCounter)) {
        ClearLocked(reader);
        return false;
    }
    reader.loaded = true;
    return true;
}

} // namespace

void ClearReader(sGPSREADER& reader) {
    std::lock_guard lock(reader.mutex);
    ClearLocked(reader);
}

void MoveReader(sGPSREADER& from, sGPSREADER& to) {
    if (&from == &to) return;
    std::scoped_lock lock(from.mutex, to.mutex);
    ClearLocked(to);
    to.family = from.family;
    to.recordCounter = from.recordCounter;
    to.maxAccel = from.maxAccel;
    // Moving a vector keeps its elements in place, so the links and the
    // per-frame table stay valid.
    to.gps = std::move(from.gps);
    to.accel = std::move(from.accel);
    to.spare = std::move(from.spare);
    to.info = from.info;
    to.frameTable = std::move(from.frameTable);
    to.loaded = from.loaded;
    to.differenced = from.differenced;
    ClearLocked(from);
}

bool LoadRecords(sGPSREADER& reader, const std::string& path, RecorderFamily family) {
    std::lock_guard lock(reader.mutex);
    ClearLocked(reader);
    reader.family = family;
    auto movie = OpenMp4Movie(path, true, family);
    if (!movie) return false;
    GpsBlockBytes block;
    if (!LocateBlock(*movie, &block)) return false;
    movie.reset(); // the block is copied; views and handles are released here
    return DecodeInto(reader, block);
}

bool LoadRecords(sGPSREADER& reader, sMP4MOVIE& movie) {
    std::lock_guard lock(reader.mutex);
    ClearLocked(reader);
    reader.family = movie.family;
    GpsBlockBytes block;
    if (!LocateBlock(movie, &block)) return false;
    return DecodeInto(reader, block);
}

bool BuildTimeBase(sGPSREADER& reader, int64_t frameCount) {
    std::lock_guard lock(reader.mutex);
    if (frameCount < 0 || frameCount > kMaxTimeBaseFrames) return false;
    const int64_t n = frameCount;
    auto& accel = reader.accel;
    auto& gps = reader.gps;
    const int64_t r = static_cast<int64_t>(accel.size());
    try {
        reader.frameTable.assign(static_cast<size_t>(n), nullptr);
    } catch (const std::bad_alloc&) {
        reader.frameTable.clear();
        return false;
    }

    // Frame of each record: N × i ÷ R. The GPS list uses the same R.
    for (int64_t i = 0; i < r; ++i)
        accel[i].framePos = static_cast<int32_t>(n * i / r);
    for (int64_t i = 0; i < static_cast<int64_t>(gps.size()); ++i)
        gps[i].framePos = r > 0 ? static_cast<int32_t>(n * i / r) : 0;

    // The TX40 family records absolute values; the views show each axis's
    // change from the previous record.
    if (reader.family == RecorderFamily::TX40 && !reader.differenced && r > 0) {
        double px = accel[0].gx, py = accel[0].gy, pz = accel[0].gz;
        accel[0].gx = accel[0].gy = accel[0].gz = 0;
        for (int64_t i = 1; i < r; ++i) {
            const double x = accel[i].gx, y = accel[i].gy, z = accel[i].gz;
            accel[i].gx = Difference(x, px);
            accel[i].gy = Difference(y, py);
            accel[i].gz = Difference(z, pz);
            px = x;
            py = y;
            pz = z;
        }
        reader.differenced = true;
    }

    // Per-frame table: frame f shows record p; p moves on (by 2 when there are
    // more records than frames) once f + 1 reaches the next record's frame.
    if (r > 0) {
        const int64_t step = n < r ? 2 : 1;
        int64_t p = 0;
        for (int64_t f = 0; f < n; ++f) {
            reader.frameTable[f] = &accel[std::min(p, r - 1)];
            if (p + 1 < r && f + 1 >= accel[p + 1].framePos) p += step;
        }
    }

    // Links: a GPS record whose frame is not after the acceleration record's
    // gets it as its link; each acceleration record points three GPS records
    // back from the walk (in practice record j - 2), the first while fewer.
    const int64_t g = static_cast<int64_t>(gps.size());
    for (auto& rec : gps)
        rec.accel = nullptr;
    int64_t k = 0;
    for (int64_t j = 0; j < r; ++j) {
        if (g == 0) {
            accel[j].gps = nullptr;
            continue;
        }
        if (gps[k].framePos <= accel[j].framePos) {
            gps[k].accel = &accel[j];
            if (k < g - 1) ++k;
        }
        accel[j].gps = k >= 3 ? &gps[k - 3] : &gps[0];
    }

    double maxAccel = 0;
    for (const auto& rec : accel)
        maxAccel = std::max({maxAccel, std::fabs(rec.gx), std::fabs(rec.gy), std::fabs(rec.gz)});
    reader.maxAccel = maxAccel;
    return true;
}

bool ReadBlockInfo(const std::string& path, GpsBlockInfo* info, RecorderFamily family) {
    *info = GpsBlockInfo{};
    auto movie = OpenMp4Movie(path, true, family);
    if (!movie) return false;
    GpsBlockBytes block;
    if (!LocateBlock(*movie, &block)) return false;
    return DecodeRecords(family, block.bytes.data(), block.bytes.size(), nullptr, nullptr, info);
}

bool ReadAllTracks(const std::vector<TrackSource>& entries, std::vector<GpsRecord>* out,
                   RecorderFamily family) {
    std::vector<GpsRecord> all;
    bool ok = true;
    for (const TrackSource& e : entries) {
        const std::string& path = e.frontPath.empty() ? e.rearPath : e.frontPath;
        sGPSREADER reader;
        if (path.empty() || !LoadRecords(reader, path, family)) {
            ok = false;
            break;
        }
        try {
            all.insert(all.end(), reader.gps.begin(), reader.gps.end());
        } catch (const std::bad_alloc&) {
            ok = false;
            break;
        }
    }
    *out = std::move(all);
    return ok;
}

bool ReadRecordingStartTime(sMP4MOVIE& movie, std::optional<RecordTime>* time) {
    time->reset();
    GpsBlockBytes block;
    if (!LocateBlock(movie, &block)) return false;
    const GpsLayout& layout = LayoutOf(movie.family);
    if (UsableRecordCount(movie.family, block.bytes.data(), block.bytes.size()) == 0) return true;
    const uint8_t* first = block.bytes.data() + layout.headerBytes;
    if (movie.family == RecorderFamily::TX40)
        *time = DecodeRecordTime(first + 31, first + 44);
    else
        *time = DecodeRecordTime(first + 34, first + 47);
    return true;
}

} // namespace playcore
