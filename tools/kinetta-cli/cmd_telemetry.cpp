// kinetta-cli telemetry: the GPS and acceleration records of a recording,
// its block header and, with --frames N, the time base for N frames.

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

namespace {

using namespace playcore;
using kutil::Json;
using kutil::JsonNumber;

std::string FormatTime(const RecordTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string Letter(char c) {
    return c ? std::string(1, c) : std::string();
}

} // namespace

int CmdTelemetry(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    std::optional<long long> frames;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--frames") continue;
        char* end = nullptr;
        if (i + 1 < args.size()) frames = std::strtoll(args[i + 1].c_str(), &end, 10);
        if (!frames || !end || *end || *frames < 0) {
            std::fprintf(stderr, "kinetta-cli telemetry: --frames needs a frame count\n");
            return 2;
        }
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
        break;
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kinetta-cli telemetry --family tx40|tx50 FILE [--frames N]\n");
        return 2;
    }
    const std::string& path = args[0];

    sGPSREADER reader;
    std::string error = UnreadableReason(path);
    if (error.empty() && !LoadRecords(reader, path, family))
        error = path + ": not an MP4 movie (its box tree cannot be read)";
    if (error.empty() && frames && !BuildTimeBase(reader, *frames))
        error = "no time base for " + std::to_string(*frames) + " frames (at most " +
                std::to_string(kMaxTimeBaseFrames) + ")";

    Json j;
    j["ok"] = error.empty();
    if (!error.empty()) {
        j["error"] = error;
        ReportFailure("telemetry", error);
        std::printf("%s\n", kutil::JsonLine(j).c_str());
        return 1;
    }
    std::lock_guard lock(reader.mutex);
    const GpsBlockInfo& info = reader.info;
    j["info"] = Json{
        {"level1", JsonNumber(info.level1, 6)},
        {"level2", JsonNumber(info.level2, 6)},
        {"level3", JsonNumber(info.level3, 6)},
        {"letter", Letter(info.letter)},
        {"id", std::string(reinterpret_cast<const char*>(info.id), 6)},
        {"tx50Letter", Letter(info.tx50Letter)},
        {"flagA", info.flagA},
        {"flagB", info.flagB},
    };

    Json records = Json::array();
    for (size_t i = 0; i < reader.gps.size() && i < reader.accel.size(); ++i) {
        const GpsRecord& g = reader.gps[i];
        const AccelRecord& a = reader.accel[i];
        records.push_back(Json{
            {"valid", g.valid},
            {"lat", JsonNumber(g.latitude, 10)},
            {"lon", JsonNumber(g.longitude, 10)},
            {"speed", JsonNumber(g.speed, 6)},
            {"time", FormatTime(g.time)},
            {"gx", JsonNumber(a.gx, 6)},
            {"gy", JsonNumber(a.gy, 6)},
            {"gz", JsonNumber(a.gz, 6)},
            {"kind", a.kind},
            {"axis", a.axis},
            {"code2", a.code2},
            {"extra", a.extra},
            {"number", a.number},
            {"framePos", a.framePos},
        });
    }
    j["records"] = std::move(records);

    if (frames) {
        Json table = Json::array();
        for (const AccelRecord* a : reader.frameTable)
            table.push_back(a ? Json(a - reader.accel.data()) : Json(nullptr));
        j["frameTable"] = std::move(table);
        Json links = Json::array();
        for (const AccelRecord& a : reader.accel)
            links.push_back(a.gps ? Json(a.gps - reader.gps.data()) : Json(nullptr));
        j["gpsLink"] = std::move(links);
        j["maxAccel"] = JsonNumber(reader.maxAccel, 6);
    }

    std::optional<RecordTime> start;
    auto movie = OpenMp4Movie(path, false, family);
    j["startTime"] = movie && ReadRecordingStartTime(*movie, &start) && start
                         ? Json(FormatTime(*start))
                         : Json(nullptr);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
