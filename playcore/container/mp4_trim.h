#pragma once
// Trimming a movie to a run of whole samples without decoding: the kept
// samples of every track get new sample tables, the media data is rebuilt
// from the kept chunks (copied from the sources when the movie is written),
// the durations are those of the kept span, and the GPS and acceleration
// block keeps a given run of its records. The picture starts on a key frame;
// the sound keeps the frames that cover the picture, and its edit list hides
// what it holds before the picture's first frame, to the sample.
//
// A trim edits the movie's tree the way a join does, and works on a joined
// movie as well: a span that runs over two recordings is their join, trimmed.
// Sources are only ever read.

#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// The timing of one track, from its tables.
struct TrackTiming {
    enum class Kind { Video, Sound, Other };
    Kind kind = Kind::Other; // from the track's handler ("vide", "soun")
    uint32_t timescale = 0;  // units a second (mdhd)
    // Decode time of every sample in timescale units, and one more entry: the
    // end of the last sample. start.size() is the sample count + 1.
    std::vector<uint64_t> start;
    // Numbers (from 0) of the sync samples, ascending; every sample when the
    // track has no sync-sample table.
    std::vector<uint32_t> sync;
    // Media time at which the first edit starts (0 without an edit list):
    // what the track holds before it is not shown.
    int64_t editMediaTime = 0;
    uint32_t Samples() const { return start.empty() ? 0 : uint32_t(start.size() - 1); }
};

// Samples a track may hold for its timing to be read (a recorder's track
// holds a few thousand; a joined movie of a day's recordings fewer than this).
inline constexpr uint32_t kMaxTimedSamples = 1u << 24;

// The timing of every track of the movie, in file order. False, with the
// reason, when a track's tables are malformed (a stts whose samples do not
// add up to the stsz count, a sync sample outside the track), it has more
// than kMaxTimedSamples samples, or its mdhd has no time scale.
bool ReadTrackTimings(sMP4MOVIE& movie, std::vector<TrackTiming>* out, std::string* why = nullptr);

// The sample of a track shown at media time t (the last one starting at or
// before it; 0 before the first).
uint32_t SampleAt(const TrackTiming& timing, uint64_t t);

// What a trim keeps.
struct TrimRange {
    // Samples of the first video track kept, inclusive; the first must be a
    // sync sample. The other tracks keep what covers the same time: another
    // picture track from its key frame at or before the start, the sound the
    // frames that overlap the span (and one before it, which the decoder
    // needs to start cleanly and the edit list hides).
    uint32_t firstFrame = 0;
    uint32_t lastFrame = 0;
    // GPS records kept, numbered over the movie's records (joined ones
    // included): [firstRecord, firstRecord + recordCount).
    uint64_t firstRecord = 0;
    uint64_t recordCount = 0;
};

// Trims movie to range. Every check is made before anything changes, so a
// trim that fails leaves the movie as it was. Fails for a movie whose layout
// join also refuses (not one mdat before one moov, co64), a track that is
// neither picture nor sound, a first frame that is not a sync sample, frames
// or records outside the movie, a track that would keep no sample, sample
// tables the trim cannot carry (stz2, sdtp, sbgp, subs, stsh, stdp, padb),
// an edit list of more than one edit, a chunk that straddles two files of a
// join, or an output of 4 GiB or more. The movie's (joined) sources must
// stay open until it is written.
bool TrimMovie(sMP4MOVIE& movie, const TrimRange& range, std::string* why = nullptr);

} // namespace playcore
