#pragma once
// Event clips, what is read from the recordings: each file's frame timing,
// key frames, GPS records and the events the viewer lists for it, and the
// recordings before and after it in its folder. Pure (the container toolkit
// and the telemetry core); every file is opened, read and closed here.

#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/clips/clip_span.h"
#include "playcore/container/gps_block.h"

namespace kinetta {

// One event of a recording as `kinetta-cli events` lists it.
struct ClipEvent {
    int record = 0;     // index of its GPS and acceleration record
    int64_t frame = 0;  // the record's frame under the viewer's time base
    int kind = -1;      // event kind 0..13
    int entry = -1;     // detector entry 0..9
    double seconds = 0; // the frame's start in the recording
};

// Everything read from one movie file.
struct ClipSourceFile {
    MovieFacts facts;
    std::vector<playcore::GpsRecord> gps; // the records in file order (links cleared)
    std::vector<int32_t> frameRecord;     // the record each frame shows (-1 none)
    std::vector<ClipEvent> events;        // every detector listing
    // Real seconds one movie second stands for, from the records' times (15
    // in a time-lapse recording); 1 when the records cannot tell.
    double realPerMovieSecond = 1.0;
    int pictureTracks = 0; // 2 in a combined recording
};

// Reads path: the first picture track's frames and key frames, the GPS
// block with the time base the viewer builds for the file (its first video
// track's frame count), and the event list. False, with the reason, when the
// file is not a movie of the family or its tables are malformed; a file
// without a GPS block reads with no records.
bool ReadClipSource(const std::string& path, RecorderFamily family, ClipSourceFile* out,
                    std::string* why = nullptr);

// The recording file of the same camera before (direction -1) or after (+1)
// path in its folder: recorder names only (no join prefix), the same camera
// form (front, rear or combined), in name order, which is file-number order.
// Empty when there is none or it is not a finished recording.
std::string NeighbourFile(const std::string& path, RecorderFamily family, int direction);

// Real seconds a movie second stands for, by the name: 15 for a TX50
// time-lapse name, else 1.
double NameRealPerMovieSecond(std::string_view name, RecorderFamily family);

// A record time shifted by whole seconds, as a civil time.
playcore::RecordTime AddSeconds(const playcore::RecordTime& t, int64_t seconds);

} // namespace kinetta
