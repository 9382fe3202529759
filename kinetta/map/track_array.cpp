#include "kinetta/map/track_array.h"

#include <new>

#include "kinetta/map/number_text.h"
#include "playcore/container/gps_reader.h"

namespace kinetta::map {

std::string TrackArray::ToJson() const {
    std::string out = "[";
    out.reserve(elements.size() * 12 + 2);
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i) out += ',';
        const Element& e = elements[i];
        out += e.isInt ? IntText(e.integer) : RealText(e.real);
    }
    out += ']';
    return out;
}

TrackArray MakeTrackArray(const std::vector<playcore::GpsRecord>& samples) {
    TrackArray a;
    // An array that cannot grow ends with the elements added so far.
    try {
        size_t valid = 0;
        for (const auto& s : samples)
            if (s.valid) ++valid;
        a.elements.reserve(valid * 3 + 1);
        for (const auto& s : samples) {
            if (!s.valid) continue;
            a.elements.push_back({false, s.latitude, 0});
            a.elements.push_back({false, s.longitude, 0});
            a.elements.push_back({true, 0, s.framePos});
        }
        // The trailing count: the page reads triples only below it.
        a.elements.push_back({true, 0, static_cast<int32_t>(a.elements.size())});
    } catch (const std::bad_alloc&) {
    }
    return a;
}

TrackArray RecordingTrack::Array() const {
    return MakeTrackArray(source_ ? source_() : std::vector<playcore::GpsRecord>());
}

bool GroupTrack::Rebuild(const std::vector<RecordingEntry>& rows, RecorderFamily family) {
    std::vector<playcore::TrackSource> sources;
    sources.reserve(rows.size());
    for (const auto& row : rows)
        sources.push_back({row.frontPath, row.rearPath});
    std::vector<playcore::GpsRecord> samples;
    const bool ok = playcore::ReadAllTracks(sources, &samples, family);
    // The records' links point into the temporary readers; the track keeps
    // positions and frames only.
    for (auto& s : samples)
        s.accel = nullptr;
    Set(std::move(samples));
    return ok;
}

void GroupTrack::Set(std::vector<playcore::GpsRecord> samples) {
    std::lock_guard lock(mutex_);
    samples_ = std::move(samples);
}

void GroupTrack::Clear() {
    Set({});
}

std::vector<playcore::GpsRecord> GroupTrack::Copy() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

TrackArray GroupTrack::Array() const {
    std::lock_guard lock(mutex_);
    return MakeTrackArray(samples_);
}

} // namespace kinetta::map
