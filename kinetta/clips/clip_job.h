#pragma once
// Event clips, the work: one clip is planned from a request (which files,
// frames and records each camera's clip takes, its names, what the index
// says), then written: each camera's file cut without re-encoding (a trim,
// or a join of consecutive recordings trimmed, playcore/container/mp4_trim.h),
// and the index beside them with the SHA-256 of every source and clip. The
// files of one clip appear together under their final names, or none of them
// (a cancel, a failure, a full disk), and never in place of an existing file.
//
// The viewer runs this as a file-operation flow on a worker (RunClipJob with
// a JobControl: progress, cancel, the failure text); `kinetta-cli clip` and
// `kinetta-cli clips` run the same work in the foreground.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/clips/clip_files.h"
#include "kinetta/clips/clip_span.h"

namespace kinetta {

class DigestCache;

// What to cut.
struct ClipRequest {
    RecorderFamily family = RecorderFamily::TX40;
    // The recording: the files of a pair (either may be empty), or a combined
    // recording's file in frontPath with combined set.
    std::string frontPath, rearPath;
    bool combined = false;
    // The file whose GPS records and events tell the moment (the front file,
    // the rear file of a recording without one, the combined file), and the
    // moment in seconds of that file's movie.
    std::string telemetryPath;
    double moment = 0;
    // The kind word of the clip's name (ClipKindWord; "moment" for a chosen
    // position) and the events the clip is cut for, the first at the moment
    // (several when clips of one recording overlapped and were merged).
    std::string kindWord{kMomentKindWord};
    std::vector<ClipEvent> events;
    double before = kClipDefaultSeconds, after = kClipDefaultSeconds;
    std::string folder; // where the clip and its index go
};

// The recording of a catalogue entry as a request's files.
ClipRequest RequestForEntry(const RecordingEntry& entry, RecorderFamily family);

// What the viewer cuts at, in frames of the recording's telemetry file (the
// index of its per-frame table, as the graph, the map pins and the playback
// position count them).
enum class ClipAt {
    Frame,        // the frame itself, without an event ("moment")
    EventOfKind,  // the event of `kind` nearest the frame (a graph mark, a map pin)
    NearestEvent, // the listed event nearest the frame within the clip's window
                  // [frame - before, frame + after] (seconds), else the frame itself
    FirstEvent,   // the recording's first listed event, else its start
};
struct ClipTarget {
    ClipAt at = ClipAt::Frame;
    int64_t frame = 0;
    int kind = -1; // EventOfKind: the event kind 0..13
};

// The request of entry for target: the telemetry file is read
// (ReadClipSource), its events are kept when listed[detector entry] is set,
// the moment is the chosen event's start (the event becomes the clip's
// event and names it) or the start of the frame (clamped to the file's
// frames, named "moment"). before/after are the clip's seconds; the folder
// is left empty. False, with the reason, when the file cannot be read or
// EventOfKind finds no listed event of that kind.
bool RequestForTarget(const RecordingEntry& entry, RecorderFamily family, const ClipTarget& target,
                      const ClipSeconds& seconds, const std::array<bool, 10>& listed,
                      ClipRequest* out, std::string* why = nullptr);

// One camera's clip.
struct ClipCameraPlan {
    ClipCamera camera = ClipCamera::Front;
    std::vector<std::string> chain; // consecutive files of the camera, in order
    size_t current = 0;             // the recording's own file in chain
    ClipSpan span;                  // over chain
    std::string output;             // the clip's final path
    // Why the span stops at an edge of the chain (empty when it did not
    // reach one), in the index's words.
    std::string startNote, endNote;
    // Where the span starts and ends in its files: file name and seconds.
    std::string firstFileName, lastFileName;
    double firstSeconds = 0, lastSeconds = 0;
};

// The moment as the index gives it: the record the viewer shows at the
// moment's frame of the telemetry file.
struct ClipMomentInfo {
    int64_t frame = 0;
    bool hasRecord = false; // the file has GPS records
    bool validFix = false;
    playcore::RecordTime time; // hasRecord: the date and time at the moment
    double latitude = 0, longitude = 0, speed = 0;
    ClipMomentName name;
};

struct ClipPlan {
    ClipRequest request;
    std::string stem;
    std::vector<ClipCameraPlan> cameras;
    ClipMomentInfo moment;
    std::string indexPath;
};

// Plans the clip: reads the files, walks the recordings before and after as
// far as the span needs and they follow without a gap, plans each camera's
// span, and chooses the first stem none of whose files exists in the folder
// ("_2", "_3", ... when taken). False, with the reason, when a file cannot be
// read, the moment lies outside the recording, or the folder is not one.
// telemetry, when given, is what ReadClipSource gave for
// request.telemetryPath a moment ago; the file is then not read again.
bool PlanClip(const ClipRequest& request, ClipPlan* plan, std::string* why = nullptr,
              const ClipSourceFile* telemetry = nullptr);

// What writing a clip did.
enum class ClipResult { Written, Failed, Cancelled, NoRoom };

struct ClipFileDigest {
    std::string path;
    std::string sha256; // lower-case hexadecimal
};

struct ClipWritten {
    std::vector<ClipFileDigest> clips;   // final paths
    std::vector<ClipFileDigest> sources; // every file a clip was cut from
    std::string indexPath;
    uint64_t bytes = 0; // written, clips and index
};

// Writes a planned clip. progress (when given) is called with (steps done,
// steps) as each camera's file and the index are done. With checkRoom, a
// folder without room for the clips (kFreeSpaceMargin included) gives
// NoRoom before anything is written. *running cleared stops the work within
// one copy window and leaves nothing. The sources' digests come from digests
// (null: DigestCache::Shared()) where it knows them, and are kept there when
// read (kinetta/clips/source_digests.h); each clip is hashed while it is
// written.
ClipResult WriteClip(const ClipPlan& plan, const std::atomic<bool>* running,
                     const std::function<void(int, int)>& progress, bool checkRoom,
                     ClipWritten* written, std::string* why = nullptr,
                     DigestCache* digests = nullptr);

// The index text (UTF-8) of a written clip.
std::string ClipIndexText(const ClipPlan& plan, const ClipWritten& written);

// The events of one recording cut as clips: each event of the chosen kinds
// (ClipKindWord) gives the span [moment - before, moment + after]; events
// whose spans overlap are merged into one clip, named after its first event.
std::vector<ClipRequest> RequestsForEvents(const ClipRequest& recording,
                                           const std::vector<ClipEvent>& events,
                                           const std::vector<std::string>& kinds);

// What a clip job did, for the command line.
struct ClipJobReport {
    std::vector<ClipPlan> plans; // one per clip written
    std::vector<ClipWritten> written;
    std::string why; // the reason of a failure
};

// The viewer's flow work (worker thread): every request planned and written
// in order, UM_PROGRESS (clips done, count) after each, stopping between
// clips (and within a write) when the running flag is cleared. A folder
// without room: "出力先フォルダーの空き容量が不足しています。"; any other
// failure: "イベントの切り出しに失敗しました。". Success: the folder is stored
// under "CLIP_FOLDER" (when remember is set), the folder and the files written
// as the job's outputs, progress (100, 100), completion.
// Returns UM_FILEOP_DONE.
std::uint32_t RunClipJob(const std::vector<ClipRequest>& requests, bool remember, JobControl& job,
                         ClipJobReport* report = nullptr);

} // namespace kinetta
