#pragma once
// The tracks the map page draws, in the form the page's host calls return
// them (TrackArray), and the two sources: the open recording's samples
// (RecordingTrack) and the samples of every recording of the list as shown
// (GroupTrack).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "playcore/container/gps_block.h"

namespace kinetta::map {

// A flat array of typed elements: for every GPS sample with a valid fix, in
// sample order, latitude and longitude (64-bit floats) and the sample's
// framePos (32-bit integer); then one integer holding the number of elements
// before it (three per valid sample). No valid sample gives the array [0].
// An array that cannot grow (allocation) ends with the elements added so far.
struct TrackArray {
    struct Element {
        bool isInt = false;
        double real = 0;     // when !isInt
        int32_t integer = 0; // when isInt
    };
    std::vector<Element> elements;

    size_t Size() const { return elements.size(); }
    // The array as JSON, as the page receives it: floats with 17 significant
    // digits (exact round trip), integers as integers; a non-finite float
    // (which a decoded record never holds) is written as 0.
    std::string ToJson() const;
};

TrackArray MakeTrackArray(const std::vector<playcore::GpsRecord>& samples);

// The samples of the recording the playback core has open. The source copies
// them under the playback core's telemetry lock; until one is set (and when
// it yields nothing) the track is empty.
class RecordingTrack {
public:
    using Source = std::function<std::vector<playcore::GpsRecord>()>;
    void SetSource(Source source) { source_ = std::move(source); }
    TrackArray Array() const;

private:
    Source source_; // UI thread
};

// The samples of every recording of the main list as shown (after the
// trigger filter), concatenated in list order: of each entry its front file,
// or its rear file when it has none; the track ends before the first file
// that cannot be read. The main window rebuilds it whenever the list is
// rebuilt; every reader copies under the track's own mutex.
//
// Load reads in the background: the caller returns at once and a worker
// thread owned by the track reads the files in list order (each file's
// samples are kept per file, file_cache.h, so a file is read once per run
// however often the list is rebuilt). While it reads, the track grows: about
// every kFillInterval, and at the end, the samples of the entries read so
// far replace the track and `filled` is called on the worker thread. A new
// Load, Set or Clear abandons the reading under way; its samples never reach
// the track.
class GroupTrack {
public:
    using Filled = std::function<void(bool complete)>;
    static constexpr int kFillIntervalMs = 250;

    GroupTrack();
    ~GroupTrack(); // stops the worker (waits for the file it is reading)
    GroupTrack(const GroupTrack&) = delete;
    GroupTrack& operator=(const GroupTrack&) = delete;

    void Load(const std::vector<RecordingEntry>& rows, RecorderFamily family, Filled filled);
    // The same read on the calling thread (the command line's map, benches);
    // false when a file cannot be read (the track then holds the samples of
    // the entries before it).
    bool Rebuild(const std::vector<RecordingEntry>& rows, RecorderFamily family);
    void Set(std::vector<playcore::GpsRecord> samples);
    void Clear();
    // Ends the worker; a Load after this reads nothing. For the shutdown.
    void Stop();
    std::vector<playcore::GpsRecord> Copy() const;
    TrackArray Array() const;
    // Whether the track of the last Load is still being read.
    bool Reading() const;

private:
    struct Job {
        std::vector<std::string> paths; // per entry: front file, or rear when none
        RecorderFamily family = RecorderFamily::TX40;
        Filled filled;
        uint64_t generation = 0;
    };
    void Work();
    // Appends the samples of paths in order until one cannot be read (or
    // memory runs out), asking progress (entries done, more to come) before
    // each entry and at the end; false when progress said stop. *allRead:
    // every entry was read.
    using Progress = std::function<bool(size_t done, bool more)>;
    static bool ReadTracks(const std::vector<std::string>& paths, RecorderFamily family,
                           std::vector<playcore::GpsRecord>* samples, const Progress& progress,
                           bool* allRead = nullptr);
    // Replaces the samples when generation is still the current one.
    bool SetIf(uint64_t generation, std::vector<playcore::GpsRecord> samples);

    mutable std::mutex mutex_;
    std::vector<playcore::GpsRecord> samples_; // guarded by mutex_
    uint64_t generation_ = 0;                  // guarded by mutex_; bumped by every change
    std::optional<Job> next_;                  // guarded by mutex_; the job to start
    uint64_t reading_ = 0;                     // guarded by mutex_; generation being read
    bool stop_ = false;                        // guarded by mutex_
    std::condition_variable wake_;
    std::thread worker_; // started by the first Load; joined by Stop
};

} // namespace kinetta::map
