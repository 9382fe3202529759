#pragma once
// The GPX 1.1 export of recordings' tracks. Each recording becomes one track
// (<trk>) named after its file, with one segment (<trkseg>) per stretch
// (stretches.h) of each run of records with a fix: a record without a fix
// between two with one starts a new segment, as GPX 1.1 asks where reception
// was lost. A point is written for every GPS record with a valid fix
// whose position is not (0.0, 0.0): its latitude and longitude, its time in
// UTC and its speed (km/h) in an extension element <kx:speed> of the
// namespace kGpxExtensionNamespace. The record's time is the machine's local
// civil time (as the recording list shows it); it is turned into UTC with the
// machine's time zone. The recorder's events (the viewer's event list with
// every detector on) become waypoints (<wpt>) named by the event's mark ("G",
// "M", "P", ...) at the fix the map pins the event to; an event whose fix is
// invalid or (0.0, 0.0) has no waypoint.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "playcore/container/gps_block.h"

namespace kinetta::gpx {

inline constexpr const char* kGpxExtensionNamespace = "urn:x-kinetta:gpx-extensions:1";

struct GpxPoint {
    double lat = 0;
    double lon = 0;
    double speedKmh = 0;
    std::optional<std::time_t> utc; // none when the local time cannot be converted
    int32_t record = 0;             // index of the GPS record
};

struct GpxWaypoint {
    GpxPoint at;
    int32_t kind = -1; // event kind 0..13
    std::string name;  // the event's mark, UTF-8
};

struct GpxTrack {
    std::string name;                            // the recording's file name
    std::vector<std::vector<GpxPoint>> segments; // one per stretch; empty without fixes
    size_t records = 0;                          // GPS records read (valid or not)
};

struct GpxRecording {
    GpxTrack track;
    std::vector<GpxWaypoint> waypoints;
};

// The UTC instant of a record's local civil time (daylight saving decided by
// the time zone); none when the time does not exist as a calendar time.
std::optional<std::time_t> LocalRecordTimeToUtc(const playcore::RecordTime& t);

// The points of records that are written (valid fix, not (0,0), finite), in
// record order, split into segments at every record that is not written and
// per stretch.
std::vector<std::vector<GpxPoint>> TrackSegments(const std::vector<playcore::GpsRecord>& records);

// The waypoint name of an event kind: its mark, "★" for kind 11 (drawn as a
// star picture), else "#<kind>" for a kind without a mark.
std::string WaypointName(int kind);

// Reads path's records with the time base of its first video track, builds
// the event list and the track; false (with *error) when the file cannot be
// read as a recording.
bool ReadGpxRecording(const std::string& path, RecorderFamily family, GpxRecording* out,
                      std::string* error);

// The GPX 1.1 document: every waypoint of every recording first, then one
// track per recording, as GPX orders them.
std::string GpxDocument(const std::vector<GpxRecording>& recordings, const std::string& creator);

// Writes text to path atomically: a temporary file beside it renamed into
// place when complete; nothing appears under path on failure or when
// *running reads false before the rename. False with *error.
bool WriteGpxFile(const std::string& path, const std::string& text, std::string* error,
                  const std::atomic<bool>* running = nullptr);

// The viewer's "GPXで保存": one GPX file in folder holding a track per entry
// (its front file, or its rear file when it has none), named after the first
// entry's file with ".gpx" ("_2.gpx", "_3.gpx", ... when that name is taken,
// so no earlier export is replaced). progress(done, total) follows each
// recording read. Nothing is written when *running clears (cancelled) or any
// recording cannot be read (error).
struct GpxExportResult {
    bool ok = false;
    bool cancelled = false;
    std::string path;  // the file written
    std::string error; // when neither ok nor cancelled
};
GpxExportResult ExportGpxToFolder(const std::vector<RecordingEntry>& entries, RecorderFamily family,
                                  const std::string& folder, const std::atomic<bool>* running,
                                  const std::function<void(int done, int total)>& progress = {});

} // namespace kinetta::gpx
