#pragma once
// sMULTIMOVIE: the join of consecutive recordings of one camera into one movie.
//
// Joining consecutive recordings of one camera into one movie without
// decoding: the media data of every file follow each other in one mdat, the
// sample tables are concatenated with their numbers shifted, the durations
// added, and the GPS records of every file carried into one GPS block.
//
// Nothing is copied while joining: the joined tree holds append chains to the
// other files' mdat and GPS nodes, whose bytes are copied from their own files
// when the output is written. The appended movies therefore stay open until
// then. Sources are only ever read.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"
#include "playcore/container/recorder_family.h"

namespace playcore {

// The movies of one join run. Owned by the file-operation worker that runs
// the join; one thread at a time.
struct sMULTIMOVIE {
    RecorderFamily family = RecorderFamily::TX40;
    // The first recording's movies: the trees the others are joined into.
    // Either may be absent (a camera that is not joined).
    std::unique_ptr<sMP4MOVIE> front;
    std::unique_ptr<sMP4MOVIE> rear;
    // Movies appended so far, in order; open until their camera is written,
    // because their media bytes are copied from their own files then.
    std::vector<std::unique_ptr<sMP4MOVIE>> frontAppended;
    std::vector<std::unique_ptr<sMP4MOVIE>> rearAppended;
    // 1 after a successful open; 0 once an append failed. An invalid join is
    // never written.
    int valid = 0;
};

enum class JoinCamera { Front, Rear };

// Opens the first recording's movies (an empty path: that camera is not
// joined). nullptr when no path is given or a given path does not open.
std::unique_ptr<sMULTIMOVIE> OpenJoin(const std::string& frontPath, const std::string& rearPath,
                                      RecorderFamily family);

// Opens the given movies of the next recording and joins each into the first
// recording's movie of its camera. Does nothing and succeeds when the join is
// no longer valid. A movie that cannot be opened, a camera the join was not
// opened with, or a failed JoinMovies marks the join invalid and returns false
// (why, when given, says what failed).
bool AppendToJoin(sMULTIMOVIE& join, const std::string& frontPath, const std::string& rearPath,
                  std::string* why = nullptr);

// Joins appended after target. Every check is made before anything changes,
// so a join that fails leaves target as it was. Fails when the two movies do
// not have the same tracks with the same tables and time scales, a table is
// malformed or
// empty where a sample must be, the sample sizes cannot be combined, a chunk
// of appended lies outside its mdat, the joined mdat or a chunk offset would
// not fit 32 bits (an output of 4 GiB or more), a duration would overflow
// (the media durations, in the recorder's microseconds, move to 64-bit
// fields instead), or the joined GPS record count would be 65536 or more.
// appended must stay open (and unchanged) until target has been written.
bool JoinMovies(sMP4MOVIE& target, sMP4MOVIE& appended, std::string* why = nullptr);

// Writes the joined movie of one camera to outputPath: the tree, and for the
// TX50 family the GPS block after it (header with the joined record count,
// the records of every file, "CSOEND"). The output is written under a
// temporary name in its folder and renamed into place when complete; it may
// not replace any of its sources. Fails for an invalid join, a camera the
// join does not hold, an output of 4 GiB or more, or any read or write error,
// and when *running (if given) is cleared before the output is complete.
// existing: OnExisting::Keep fails, writing nothing, when anything (a file,
// a link) stands at outputPath when the complete output is put in place.
// Afterwards, written or not, that camera's movies are closed.
bool WriteJoined(sMULTIMOVIE& join, JoinCamera camera, const std::string& outputPath,
                 const std::atomic<bool>* running = nullptr, std::string* why = nullptr,
                 OnExisting existing = OnExisting::Replace);

// Results of JoinFiles.
enum JoinResult : int {
    kJoinFailed = 0,
    kJoinWritten = 1,
    kJoinCancelled = 2, // *running was cleared; nothing was written
};

// One camera's files joined in order into output: OpenJoin, AppendToJoin for
// every further file (checking *running between two files), WriteJoined.
JoinResult JoinFiles(const std::vector<std::string>& inputs, const std::string& output,
                     RecorderFamily family, const std::atomic<bool>* running = nullptr,
                     std::string* why = nullptr, OnExisting existing = OnExisting::Replace);

} // namespace playcore
