#pragma once
// sGPSREADER: the GPS and acceleration records of one recording and their time base.
//
// The telemetry of one recording: its GPS and acceleration records, the block
// header, and the time base that ties each movie frame to a record.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "playcore/container/gps_block.h"

namespace playcore {

// One loaded recording. Every operation below takes the reader's mutex for
// its whole run (recursive, unbounded wait); callers that walk the lists from
// another thread take it too (the session's data lock brackets those walks).
struct sGPSREADER {
    mutable std::recursive_mutex mutex;

    // Guarded by mutex:
    RecorderFamily family = RecorderFamily::TX40; // layout the lists were read with
    int recordCounter = 0;                        // records decoded by the last reading
    double maxAccel = 0;                          // largest |gx|, |gy|, |gz| after the time base
    std::vector<GpsRecord> gps;                   // owned, in record order
    std::vector<AccelRecord> accel;               // owned, in record order
    std::vector<GpsRecord> spare;                 // a third list, not filled by the readers
    GpsBlockInfo info;
    // One entry per movie frame: the record shown at that frame (nullptr when
    // there are no records). Points into accel; the lists are never resized
    // while a time base exists.
    std::vector<AccelRecord*> frameTable;
    bool loaded = false;
    // The TX40 family's acceleration values are turned into differences once;
    // a second time base over the same lists must not difference them again.
    bool differenced = false;
};

// Empties the reader (lists, table, info, flags).
void ClearReader(sGPSREADER& reader);

// Moves the lists and table of from into to (from is left empty). Used when
// the recording opened is the one that was read ahead.
void MoveReader(sGPSREADER& from, sGPSREADER& to);

// Clears the reader, opens path as a movie, locates and decodes its block.
// False when the file cannot be opened as a movie or a list cannot grow (the
// reader is then cleared). A recording without a block loads with empty lists.
bool LoadRecords(sGPSREADER& reader, const std::string& path, RecorderFamily family);
// The same from a movie already open; its family decodes the records.
bool LoadRecords(sGPSREADER& reader, sMP4MOVIE& movie);

// The time base for a movie of frameCount frames: each record's frame, the
// per-frame table, the links between the lists, and the maximum acceleration
// (after the TX40 family's differences). False for a negative frame count or
// one too large for a table (kMaxTimeBaseFrames).
inline constexpr int64_t kMaxTimeBaseFrames = 10'000'000;
bool BuildTimeBase(sGPSREADER& reader, int64_t frameCount);

// Only the block header of path; false when the file cannot be opened.
bool ReadBlockInfo(const std::string& path, GpsBlockInfo* info, RecorderFamily family);

// The two files of one recording; either may be empty.
struct TrackSource {
    std::string frontPath;
    std::string rearPath;
};

// For every entry in order, the GPS records of its front file (its rear file
// when it has no front file), appended into one list that replaces *out. No
// acceleration records, no time base. Stops at the first file that cannot be
// read and returns false; *out then holds the records read before it.
bool ReadAllTracks(const std::vector<TrackSource>& entries, std::vector<GpsRecord>* out,
                   RecorderFamily family);

// Time of the first record of an opened movie. True with no time when the
// movie has no block (or an empty one); false when the block cannot be read.
bool ReadRecordingStartTime(sMP4MOVIE& movie, std::optional<RecordTime>* time);

} // namespace playcore
