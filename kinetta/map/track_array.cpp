#include "kinetta/map/track_array.h"

#include <chrono>
#include <memory>
#include <new>

#include "kinetta/catalogue/container_probe.h"
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

namespace {

const std::string& TrackPath(const RecordingEntry& row) {
    return row.frontPath.empty() ? row.rearPath : row.frontPath;
}

} // namespace

GroupTrack::GroupTrack() = default;

GroupTrack::~GroupTrack() {
    Stop();
}

void GroupTrack::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        ++generation_;
        next_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void GroupTrack::Load(const std::vector<RecordingEntry>& rows, RecorderFamily family,
                      Filled filled) {
    Job job;
    job.paths.reserve(rows.size());
    for (const auto& row : rows)
        job.paths.push_back(TrackPath(row));
    job.family = family;
    job.filled = std::move(filled);
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        job.generation = ++generation_;
        next_ = std::move(job);
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
}

void GroupTrack::Work() {
    using Clock = std::chrono::steady_clock;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || next_.has_value(); });
            if (stop_) return;
            job = std::move(*next_);
            next_.reset();
            reading_ = job.generation;
        }
        auto lastFill = Clock::now();
        std::vector<playcore::GpsRecord> samples;
        const bool finished =
            ReadTracks(job.paths, job.family, &samples, [&](size_t done, bool more) {
                {
                    std::lock_guard lock(mutex_);
                    if (stop_ || generation_ != job.generation) return false; // abandoned
                }
                if (more && done > 0 &&
                    Clock::now() - lastFill >= std::chrono::milliseconds(kFillIntervalMs)) {
                    if (SetIf(job.generation, samples) && job.filled) job.filled(false);
                    lastFill = Clock::now();
                }
                return true;
            });
        const bool shown = finished && SetIf(job.generation, std::move(samples));
        {
            std::lock_guard lock(mutex_);
            if (reading_ == job.generation) reading_ = 0;
        }
        if (shown && job.filled) job.filled(true);
    }
}

bool GroupTrack::ReadTracks(const std::vector<std::string>& paths, RecorderFamily family,
                            std::vector<playcore::GpsRecord>* samples, const Progress& progress,
                            bool* allRead) {
    if (allRead) *allRead = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (progress && !progress(i, true)) return false;
        std::shared_ptr<const std::vector<playcore::GpsRecord>> track;
        // The track ends before an entry whose file cannot be read.
        if (paths[i].empty() || !RecordingGpsTrack(paths[i], family, &track)) return true;
        try {
            samples->insert(samples->end(), track->begin(), track->end());
        } catch (const std::bad_alloc&) {
            return true; // the samples added so far stand
        }
    }
    if (progress && !progress(paths.size(), false)) return false;
    if (allRead) *allRead = true;
    return true;
}

bool GroupTrack::Rebuild(const std::vector<RecordingEntry>& rows, RecorderFamily family) {
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (const auto& row : rows)
        paths.push_back(TrackPath(row));
    std::vector<playcore::GpsRecord> samples;
    bool allRead = false;
    ReadTracks(paths, family, &samples, {}, &allRead);
    Set(std::move(samples));
    return allRead;
}

bool GroupTrack::SetIf(uint64_t generation, std::vector<playcore::GpsRecord> samples) {
    std::lock_guard lock(mutex_);
    if (stop_ || generation != generation_) return false;
    samples_ = std::move(samples);
    return true;
}

void GroupTrack::Set(std::vector<playcore::GpsRecord> samples) {
    std::lock_guard lock(mutex_);
    ++generation_; // a reading under way no longer applies
    next_.reset();
    samples_ = std::move(samples);
}

void GroupTrack::Clear() {
    Set({});
}

bool GroupTrack::Reading() const {
    std::lock_guard lock(mutex_);
    return next_.has_value() || (reading_ != 0 && reading_ == generation_);
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
