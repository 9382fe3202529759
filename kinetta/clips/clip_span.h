#pragma once
// Event clips, the arithmetic: how many seconds a clip holds around its
// moment (settings "CLIP" / "BEFORE", "AFTER"), which frames and GPS records
// of which recordings that span takes, whether a recording follows another
// without a gap, and how a clip is named. Pure: everything here works on
// facts read from the files elsewhere (clip_files.h).
//
// Times are seconds of movie, counted from the start of a recording's first
// frame. In a time-lapse recording one movie second stands for 15 s of real
// time; the span is movie seconds there too (what the viewer plays).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playcore/container/gps_block.h"

namespace kinetta {

class SettingsStore;

// Settings: seconds before and after the moment.
inline constexpr std::string_view kClipSection = "CLIP";
inline constexpr std::string_view kClipBeforeKey = "BEFORE";
inline constexpr std::string_view kClipAfterKey = "AFTER";
inline constexpr int kClipDefaultSeconds = 10;
inline constexpr int kClipMinSeconds = 1;
inline constexpr int kClipMaxSeconds = 120;

// A setting's text as seconds: a whole number (blanks around it allowed)
// clamped to 1..120; an empty value or one that is not a whole number gives
// the default 10.
int ClipSecondsFromText(std::string_view text);

struct ClipSeconds {
    int before = kClipDefaultSeconds;
    int after = kClipDefaultSeconds;
};
ClipSeconds ReadClipSeconds(const SettingsStore& settings);

// What the planning needs of one movie file (one camera of a recording).
struct MovieFacts {
    std::string path;
    // Start of every frame of the first picture track in seconds, and one
    // more entry: the end of the last frame. frameStart.size() = frames + 1.
    std::vector<double> frameStart;
    std::vector<uint32_t> keyFrames; // ascending frame numbers
    // The frame of every GPS record under the viewer's time base (frame
    // count × record number ÷ record count), ascending.
    std::vector<int64_t> recordFrames;
    // First and last record: time, and whether the fix was valid (the
    // recorder writes times without a fix as well; those are not trusted).
    std::optional<playcore::RecordTime> firstTime, lastTime;
    bool firstValid = false, lastValid = false;

    uint32_t Frames() const { return frameStart.empty() ? 0 : uint32_t(frameStart.size() - 1); }
    double Duration() const { return frameStart.empty() ? 0 : frameStart.back(); }
    // The frame shown at t seconds (the last starting at or before it; 0 before the first).
    uint32_t FrameAt(double t) const;
    // The key frame at or before frame f.
    uint32_t KeyFrameAtOrBefore(uint32_t f) const;
};

// Seconds since an epoch of a record time read as a civil time (no zone).
int64_t CivilSeconds(const playcore::RecordTime& t);

// The recorder's file number and start time (seconds of the day) of a file
// name: "NNN_HHMMSS..." after any join prefix. False for other names.
bool NameNumberAndTime(std::string_view name, int* number, int* secondsOfDay);

// How a recording was found to follow (or not follow) the one before it.
struct FollowTest {
    bool follows = false;
    bool byGps = false;    // decided by the GPS times (else by the names)
    double gapSeconds = 0; // the second's start minus the first's end (real time)
};
// Whether `after` follows `before` without a gap: the first GPS time of
// `after` within 2 s of the end of `before` (its last record's time plus one
// record's step) when both have trusted times; otherwise the next file number
// (999 wraps to 000) and a start time in the name within 2 s of the name's
// start time plus the movie's length (times realPerMovieSecond). Names the
// grammar cannot read never follow.
inline constexpr double kFollowToleranceSeconds = 2.0;
FollowTest Follows(const MovieFacts& before, std::string_view beforeName, const MovieFacts& after,
                   std::string_view afterName, double realPerMovieSecond = 1.0);

// One recording's share of a clip.
struct ClipPart {
    size_t file = 0;         // index into the chain of files
    uint32_t firstFrame = 0; // frames kept, inclusive
    uint32_t lastFrame = 0;
    uint64_t firstRecord = 0; // GPS records kept: [firstRecord, firstRecord + recordCount)
    uint64_t recordCount = 0;
};

// The span of one camera's clip over a chain of consecutive files.
struct ClipSpan {
    std::vector<ClipPart> parts; // in order; the first starts on a key frame
    bool cutAtStart = false;     // the span reached before the first file of the chain
    bool cutAtEnd = false;       // the span reached past the last file of the chain
    double startSeconds = 0;     // where the clip starts, relative to the moment (<= 0)
    double endSeconds = 0;       // where its last frame ends, relative to the moment
    uint64_t Frames() const;
    uint64_t Records() const;
};

// The span from `before` seconds before to `after` seconds after the moment
// t of chain[current] (t in that file's seconds): its start moved back to
// the key frame at or before t - before, its end the last frame at or before
// t + after; the files before and after the current one in the chain are
// taken to follow each other without a gap. Each part keeps the records
// whose frames fall inside its frames. False when a file of the chain has no
// frames.
bool PlanSpan(const std::vector<MovieFacts>& chain, size_t current, double t, double before,
              double after, ClipSpan* out);

// Event kinds (the graph's and the map's kind numbers 0..13) as the words
// clip names and the command line use: shock (0..4), user (5), emergency (6),
// parking (7), speeding (8), camera (9), radar (10), assist (11..13); a clip
// cut at a chosen moment without an event is "moment".
std::string_view ClipKindWord(int eventKind);
inline constexpr std::string_view kMomentKindWord = "moment";
// The words `clips --kinds` accepts, in this order.
inline constexpr std::string_view kClipKindWords[] = {"shock",    "user",   "emergency", "parking",
                                                      "speeding", "camera", "radar",     "assist"};
// The word's text for people (the index), in the terms the viewer uses.
std::string_view ClipKindText(std::string_view word);

// How a clip's name tells its moment: the GPS date and time of the moment,
// or, for a recording without GPS, its file number and the time its name
// gives plus the moment.
struct ClipMomentName {
    bool fromGps = false;
    playcore::RecordTime time; // fromGps: the local date and time
    int fileNumber = 0;        // otherwise: the recorder's file number (0 unknown)
    int secondsOfDay = 0;      // and the time of day
};

// "EV_YYYYMMDD_HHMMSS_<kind>" from the GPS, "EV_N<NNN>_HHMMSS_<kind>"
// without; suffix n > 1 appends "_n" (a name kept free).
std::string ClipStem(const ClipMomentName& moment, std::string_view kindWord, int suffix = 1);

enum class ClipCamera { Front, Rear, Combined };
// The clip file of a stem: "_F.MP4", "_R.MP4", or ".MP4" for a combined one.
std::string ClipFileName(std::string_view stem, ClipCamera camera);
// The index beside the clips: stem + ".txt".
std::string ClipIndexName(std::string_view stem);

} // namespace kinetta
