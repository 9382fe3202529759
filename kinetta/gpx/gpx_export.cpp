#include "kinetta/gpx/gpx_export.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <mutex>

#include "kinetta/map/stretches.h"
#include "kinetta/services/update_check.h"
#include "kinetta/telemetry/event_list.h"
#include "kinetta/telemetry/graph_plan.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_write.h"
#include "util/text.h"

namespace kinetta::gpx {

// A track's segments are the stretches of the map (kinetta/map/stretches.h).
using map::LatLon;
using map::SplitStretches;
using map::Stretch;

namespace {

bool Written(const playcore::GpsRecord& r) {
    return r.valid && std::isfinite(r.latitude) && std::isfinite(r.longitude) &&
           std::fabs(r.latitude) <= 90 && std::fabs(r.longitude) <= 180 &&
           !(r.latitude == 0.0 && r.longitude == 0.0);
}

GpxPoint PointOf(const playcore::GpsRecord& r) {
    GpxPoint p;
    // Positions are written with nine decimals; GPX longitudes lie in
    // [-180, 180), so one that rounds to 180 is written as -180.
    p.lat = std::round(r.latitude * 1e9) / 1e9;
    p.lon = std::round(r.longitude * 1e9) / 1e9;
    if (p.lon >= 180.0) p.lon -= 360.0;
    p.speedKmh = std::isfinite(r.speed) ? r.speed : 0.0;
    p.utc = LocalRecordTimeToUtc(r.time);
    p.record = r.index;
    return p;
}

// Text for XML character data and attribute values: bytes XML 1.0 cannot
// carry (controls other than tab, line feed and carriage return) and text
// that is not UTF-8 (a file name of another encoding) become U+FFFD per byte,
// then markup characters become references.
std::string XmlText(std::string_view s) {
    const bool utf8 = kutil::IsValidUtf8(s);
    std::string clean;
    clean.reserve(s.size());
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F || (!utf8 && c >= 0x80))
            clean += "\xEF\xBF\xBD";
        else
            clean += ch;
    }
    return EscapeMarkup(clean);
}

// Degrees with nine decimals (about 0.1 mm), speed with three.
std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string UtcText(std::time_t t) {
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void AppendPoint(std::string& out, const char* element, const GpxPoint& p, const char* indent,
                 const std::string& name) {
    out += indent;
    out += '<';
    out += element;
    out += " lat=\"" + Fixed(p.lat, 9) + "\" lon=\"" + Fixed(p.lon, 9) + "\">";
    if (p.utc) {
        const std::string t = UtcText(*p.utc);
        if (!t.empty()) out += "<time>" + t + "</time>";
    }
    if (!name.empty()) out += "<name>" + XmlText(name) + "</name>";
    out += "<extensions><kx:speed>" + Fixed(p.speedKmh, 3) + "</kx:speed></extensions></";
    out += element;
    out += ">\n";
}

} // namespace

std::optional<std::time_t> LocalRecordTimeToUtc(const playcore::RecordTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1; // the zone decides, as for the local time shown
    const std::time_t utc = std::mktime(&tm);
    if (utc == static_cast<std::time_t>(-1)) return std::nullopt;
    return utc;
}

std::vector<std::vector<GpxPoint>> TrackSegments(const std::vector<playcore::GpsRecord>& records) {
    std::vector<std::vector<GpxPoint>> segments;
    // A run of records that each give a point; a record without one (the fix
    // lost) ends it, as GPX 1.1 starts a new segment where reception was lost.
    // Each run is then split where the position jumps (the map's stretches).
    std::vector<GpxPoint> points;
    std::vector<LatLon> positions;
    const auto endRun = [&] {
        for (const Stretch& s : SplitStretches(positions))
            segments.emplace_back(points.begin() + static_cast<long>(s.start),
                                  points.begin() + static_cast<long>(s.end) + 1);
        points.clear();
        positions.clear();
    };
    for (const playcore::GpsRecord& r : records) {
        if (!Written(r)) {
            endRun();
            continue;
        }
        points.push_back(PointOf(r));
        positions.push_back({r.latitude, r.longitude});
    }
    endRun();
    return segments;
}

std::string WaypointName(int kind) {
    if (kind == 11) return "\u2605"; // ★
    const char* mark = MarkGlyph(kind);
    return *mark ? std::string(mark) : "#" + std::to_string(kind);
}

bool ReadGpxRecording(const std::string& path, RecorderFamily family, GpxRecording* out,
                      std::string* error) {
    *out = {};
    out->track.name = std::string(kutil::FileNameOf(path));
    playcore::sGPSREADER reader;
    if (!playcore::LoadRecords(reader, path, family)) {
        *error = path + ": not a readable recording";
        return false;
    }
    const long long frames = playcore::FirstSampleCount(path, family);
    if (!playcore::BuildTimeBase(reader, frames > 0 ? frames : 0)) {
        *error = path + ": no time base for its frames";
        return false;
    }
    std::lock_guard lock(reader.mutex);
    out->track.records = reader.gps.size();
    out->track.segments = TrackSegments(reader.gps);
    const DetectorFlags all;
    for (const GraphEvent& e :
         BuildEventList(reader.frameTable, reader.accel, all.listing, family)) {
        // The fix the map pins the event to: the record's link.
        const playcore::GpsRecord* fix = e.accel ? e.accel->gps : nullptr;
        if (!fix || !Written(*fix)) continue;
        out->waypoints.push_back({PointOf(*fix), e.kind, WaypointName(e.kind)});
    }
    return true;
}

std::string GpxDocument(const std::vector<GpxRecording>& recordings, const std::string& creator) {
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" xmlns:kx=\"";
    out += kGpxExtensionNamespace;
    out += "\" version=\"1.1\" creator=\"" + XmlText(creator) + "\">\n";
    for (const GpxRecording& r : recordings)
        for (const GpxWaypoint& w : r.waypoints)
            AppendPoint(out, "wpt", w.at, "  ", w.name);
    for (const GpxRecording& r : recordings) {
        out += "  <trk>\n    <name>" + XmlText(r.track.name) + "</name>\n";
        for (const auto& segment : r.track.segments) {
            out += "    <trkseg>\n";
            for (const GpxPoint& p : segment)
                AppendPoint(out, "trkpt", p, "      ", {});
            out += "    </trkseg>\n";
        }
        out += "  </trk>\n";
    }
    out += "</gpx>\n";
    return out;
}

bool WriteGpxFile(const std::string& path, const std::string& text, std::string* error,
                  const std::atomic<bool>* running) {
    playcore::OutputFile file;
    if (!file.Create(path)) {
        *error = path + ": the folder cannot be written to";
        return false;
    }
    file.StopWhenCleared(running);
    if (!file.Write(text.data(), text.size()) || file.stopped() || !file.Commit()) {
        const bool stopped = file.stopped();
        file.Abandon();
        *error = path + (stopped ? ": cancelled" : ": the file could not be written");
        return false;
    }
    return true;
}

GpxExportResult ExportGpxToFolder(const std::vector<RecordingEntry>& entries, RecorderFamily family,
                                  const std::string& folder, const std::atomic<bool>* running,
                                  const std::function<void(int done, int total)>& progress) {
    GpxExportResult out;
    auto stopped = [running] { return running && !running->load(); };
    std::vector<GpxRecording> recordings;
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        if (stopped()) {
            out.cancelled = true;
            return out;
        }
        const RecordingEntry& e = entries[static_cast<size_t>(i)];
        const std::string& path = e.frontPath.empty() ? e.rearPath : e.frontPath;
        GpxRecording r;
        if (path.empty() || !ReadGpxRecording(path, family, &r, &out.error)) {
            if (path.empty()) out.error = "a recording without files";
            return out;
        }
        recordings.push_back(std::move(r));
        if (progress) progress(i + 1, total);
    }
    if (recordings.empty()) {
        out.error = "no recording";
        return out;
    }
    // The first entry's file name without its extension.
    std::string stem = recordings.front().track.name;
    if (const size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
    for (int n = 1;; ++n) {
        if (n > 9999) {
            out.error = folder + ": every name for " + stem + ".gpx is taken";
            return out;
        }
        const std::string name = n == 1 ? stem + ".gpx" : stem + "_" + std::to_string(n) + ".gpx";
        out.path = kutil::JoinPath(folder, name);
        struct stat st {};
        if (::lstat(out.path.c_str(), &st) != 0) break;
    }
    if (!WriteGpxFile(out.path, GpxDocument(recordings, "kinetta"), &out.error, running)) {
        out.cancelled = stopped();
        return out;
    }
    out.ok = true;
    return out;
}

} // namespace kinetta::gpx
