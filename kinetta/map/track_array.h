#pragma once
// The tracks the map page draws, in the form the page's host calls return
// them (TrackArray), and the two sources: the open recording's samples
// (RecordingTrack) and the samples of every recording of the list as shown
// (GroupTrack).

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kinetta/catalogue/catalogue.h"
#include "playcore/container/gps_block.h"
#include "kinetta/base/recorder_family.h"

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
// or its rear file when it has none. The main window rebuilds it whenever the
// list is rebuilt; every reader copies under the track's own mutex.
class GroupTrack {
public:
    // Reads the tracks of rows; false when a file cannot be read (the track
    // then holds the samples read before it, as the reader leaves them).
    bool Rebuild(const std::vector<RecordingEntry>& rows, RecorderFamily family);
    void Set(std::vector<playcore::GpsRecord> samples);
    void Clear();
    std::vector<playcore::GpsRecord> Copy() const;
    TrackArray Array() const;

private:
    mutable std::mutex mutex_;
    std::vector<playcore::GpsRecord> samples_; // guarded by mutex_
};

} // namespace kinetta::map
