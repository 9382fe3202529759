// kinetta-cli gpx: the GPX 1.1 file of recordings' tracks (kinetta/gpx/gpx_export.h).
// Prints {"ok":true,"out":OUT,"tracks":[{"name","records","points","segments"}...],
// "waypoints":N}; a recording without GPS records gives a track without
// points and a note on stderr.

#include <cstdio>

#include "kinetta/gpx/gpx_export.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

namespace kcli {

int CmdGpx(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    bool bad = false;
    const auto out = TakeOption(args, "--out", &bad);
    if (bad || !out || out->empty() || args.empty()) {
        std::fprintf(stderr, "usage: kinetta-cli gpx --family tx40|tx50 FILE... --out OUT.gpx\n");
        return 2;
    }
    std::vector<kinetta::gpx::GpxRecording> recordings;
    kutil::Json tracks = kutil::Json::array();
    size_t waypoints = 0;
    for (const std::string& path : args) {
        std::string error = UnreadableReason(path);
        kinetta::gpx::GpxRecording r;
        if (error.empty()) kinetta::gpx::ReadGpxRecording(path, family, &r, &error);
        if (!error.empty()) {
            ReportFailure("gpx", error);
            std::printf("%s\n", kutil::JsonLine({{"ok", false}, {"error", error}}).c_str());
            return 1;
        }
        size_t points = 0;
        for (const auto& s : r.track.segments)
            points += s.size();
        if (r.track.records == 0)
            std::fprintf(stderr,
                         "kinetta-cli gpx: note: %s has no GPS records; its track is empty\n",
                         path.c_str());
        tracks.push_back({{"name", r.track.name},
                          {"records", r.track.records},
                          {"points", points},
                          {"segments", r.track.segments.size()}});
        waypoints += r.waypoints.size();
        recordings.push_back(std::move(r));
    }
    std::string error;
    if (!kinetta::gpx::WriteGpxFile(*out, kinetta::gpx::GpxDocument(recordings, "kinetta"),
                                    &error)) {
        ReportFailure("gpx", error);
        std::printf("%s\n", kutil::JsonLine({{"ok", false}, {"error", error}}).c_str());
        return 1;
    }
    std::printf(
        "%s\n",
        kutil::JsonLine(
            {{"ok", true}, {"out", *out}, {"tracks", std::move(tracks)}, {"waypoints", waypoints}})
            .c_str());
    return 0;
}

} // namespace kcli
