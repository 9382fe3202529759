// kinetta-cli telemetry: the GPS and acceleration records of a recording,
// its block header and, with --frames N, the time base for N frames.

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_writer.h"

namespace kcli {

namespace {

using namespace playcore;

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
    kinetta::RecorderFamily family;
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
    bool ok = LoadRecords(reader, path, family);
    if (ok && frames) ok = BuildTimeBase(reader, *frames);

    kutil::JsonWriter j;
    j.BeginObject();
    j.Key("ok").Bool(ok);
    if (ok) {
        std::lock_guard lock(reader.mutex);
        const GpsBlockInfo& info = reader.info;
        j.Key("info").BeginObject();
        j.Key("level1").Double(info.level1, 6);
        j.Key("level2").Double(info.level2, 6);
        j.Key("level3").Double(info.level3, 6);
        j.Key("letter").String(Letter(info.letter));
        j.Key("id").String(std::string_view(reinterpret_cast<const char*>(info.id), 6));
        j.Key("tx50Letter").String(Letter(info.tx50Letter));
        j.Key("flagA").Int(info.flagA);
        j.Key("flagB").Int(info.flagB);
        j.EndObject();

        j.Key("records").BeginArray();
        for (size_t i = 0; i < reader.gps.size() && i < reader.accel.size(); ++i) {
            const GpsRecord& g = reader.gps[i];
            const AccelRecord& a = reader.accel[i];
            j.BeginObject();
            j.Key("valid").Int(g.valid);
            j.Key("lat").Double(g.latitude, 10);
            j.Key("lon").Double(g.longitude, 10);
            j.Key("speed").Double(g.speed, 6);
            j.Key("time").String(FormatTime(g.time));
            j.Key("gx").Double(a.gx, 6);
            j.Key("gy").Double(a.gy, 6);
            j.Key("gz").Double(a.gz, 6);
            j.Key("kind").Int(a.kind);
            j.Key("axis").Int(a.axis);
            j.Key("code2").Int(a.code2);
            j.Key("extra").Int(a.extra);
            j.Key("number").Int(a.number);
            j.Key("framePos").Int(a.framePos);
            j.EndObject();
        }
        j.EndArray();

        if (frames) {
            j.Key("frameTable").BeginArray();
            for (const AccelRecord* a : reader.frameTable)
                a ? j.Int(a - reader.accel.data()) : j.Null();
            j.EndArray();
            j.Key("gpsLink").BeginArray();
            for (const AccelRecord& a : reader.accel)
                a.gps ? j.Int(a.gps - reader.gps.data()) : j.Null();
            j.EndArray();
            j.Key("maxAccel").Double(reader.maxAccel, 6);
        }

        std::optional<RecordTime> start;
        auto movie = OpenMp4Movie(path, false, family);
        j.Key("startTime");
        if (movie && ReadRecordingStartTime(*movie, &start) && start)
            j.String(FormatTime(*start));
        else
            j.Null();
    }
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    return ok ? 0 : 1;
}

} // namespace kcli
