// mkcard: writes sample SD cards of the recorder, or single recordings.
//
//   mkcard --family tx40|tx50 --preset test|demo|bench --out DIR [--jobs N]
//          [--seed N] [--force] [--x264-preset NAME]
//   mkcard recording --family tx40|tx50 --out FILE [options]   (see --help)
//   mkcard --version

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/mkcard/card.h"
#include "tools/mkcard/recording.h"
#include "util/json_text.h"
#include "util/version_text.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace mkcard;

const char kSynopsis[] = "usage: mkcard --family tx40|tx50 --preset test|demo|bench --out DIR\n"
                         "              [--jobs N] [--seed N] [--force] [--x264-preset NAME]\n"
                         "       mkcard recording --family tx40|tx50 --out FILE [options]\n";
// --help prints the synopsis in the form help2man reads ("Usage:", "  or:"),
// what the program does and the options; the manual page is made from it.
const char kHelpSynopsis[] =
    "Usage: mkcard --family tx40|tx50 --preset test|demo|bench --out DIR [--jobs N] [--seed N] "
    "[--force] [--x264-preset NAME]\n"
    "  or:  mkcard recording --family tx40|tx50 --out FILE [options]\n"
    "\n";
const char kDescription[] =
    "Writes sample SD cards of a drive recorder of the TX40 or TX50 family, or\n"
    "single recordings, with pictures, sound and the recorder's GPS and acceleration\n"
    "block, for tests, demonstrations and benchmarks.\n"
    "\n";
const char kOptions[] =
    "options of a single recording:\n"
    "  --content front|rear|combined   cameras in the file (front)\n"
    "  --size WxH --rear-size WxH      picture sizes (320x180, 320x180)\n"
    "  --duration SECONDS              movie length (3)\n"
    "  --fps F | --frame-us N          frame rate or duration (34364 us = 29.1 fps)\n"
    "  --gop N --crf N --x264-preset NAME --chunk-ms N\n"
    "  --start YYYY-MM-DDThh:mm:ss     recording start (2023-05-25T10:15:00)\n"
    "  --first-frame N                 frame number the first picture shows (0)\n"
    "  --trigger A|G|M|P|S|O|R|T|U     what the recording shows for that trigger letter:\n"
    "                                  G shock, M user point, P parked, S parked with a shock,\n"
    "                                  O speed camera, R radar, T time lapse, U time lapse\n"
    "                                  with a shock (events on the middle record)\n"
    "  --parked                        standing still, header letter P\n"
    "  --time-lapse                    66666 us frames, 15 s of real time per movie second\n"
    "  --event KIND@RECORD             shock-x shock-y shock-z user-point emergency-stop parking\n"
    "                                  speeding speed-camera radar assist-h assist-a assist-b\n"
    "  --no-fix A-B --jump A-B         records without a fix / with a position jump\n"
    "  --records N --count N           records written / count field written\n"
    "  --no-gps --no-end-marker --unfinished --no-audio --udta-unknown\n"
    "  --header-repeat N               N further header readings marked \"@CS\"\n"
    "  --levels L1,L2,L3 --letter C --tx50-letter C --flags A,B\n"
    "  --firmware X.Y.Z | --identification SIXBYTES\n"
    "  --voltage TENTHS --seconds-to-add N --seed N\n";
const std::string kUsage = std::string(kSynopsis) + kOptions;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "mkcard: %s\n", message.c_str());
    std::exit(2);
}

struct Args {
    std::vector<std::string> items;
    size_t at = 0;
    bool More() const { return at < items.size(); }
    std::string Next() { return items[at++]; }
    std::string Value(const std::string& option) {
        if (!More()) Fail(option + " needs a value");
        return Next();
    }
};

long ToLong(const std::string& text, const std::string& option) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end) Fail(option + ": not a number: " + text);
    return v;
}

double ToDouble(const std::string& text, const std::string& option) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end) Fail(option + ": not a number: " + text);
    return v;
}

void ToSize(const std::string& text, int* w, int* h, const std::string& option) {
    if (std::sscanf(text.c_str(), "%dx%d", w, h) != 2 || *w < 32 || *h < 16 || *w % 2 || *h % 2)
        Fail(option + ": expected an even size such as 320x180, got " + text);
}

std::pair<int, int> ToRange(const std::string& text, const std::string& option) {
    int a = 0, b = 0;
    if (std::sscanf(text.c_str(), "%d-%d", &a, &b) == 2) return {a, b};
    if (std::sscanf(text.c_str(), "%d", &a) == 1) return {a, a};
    Fail(option + ": expected A-B, got " + text);
}

// What a recording of a trigger letter shows: parking kinds stand still, event
// kinds carry their event on the middle record.
void ApplyTrigger(char trigger, RecordingSpec* recipe) {
    const int middle = std::max(0, static_cast<int>(recipe->durationSeconds) / 2);
    auto event = [&](EventKind kind) { recipe->events.push_back({middle, kind}); };
    auto park = [&] {
        recipe->parked = true;
        recipe->header.letter = 'P';
        recipe->events.push_back({0, EventKind::Parking});
    };
    auto lapse = [&] {
        park();
        recipe->frameUs = kFrameUsTimeLapse;
        recipe->realSecondsPerRecord = 15;
    };
    switch (trigger) {
    case 'G':
        event(EventKind::ShockY);
        break;
    case 'M':
        event(EventKind::UserPoint);
        break;
    case 'P':
        park();
        break;
    case 'S':
        park();
        event(EventKind::ShockZ);
        break;
    case 'O':
        event(EventKind::SpeedCamera);
        break;
    case 'R':
        event(EventKind::Radar);
        break;
    case 'T':
        lapse();
        break;
    case 'U':
        lapse();
        event(EventKind::ShockZ);
        break;
    default:
        break;
    }
}

int RunRecording(Args args) {
    RecordingSpec recipe;
    std::string out;
    bool familySet = false;
    int headerRepeats = 0;
    std::string trigger;
    while (args.More()) {
        const std::string o = args.Next();
        if (o == "--family") {
            if (!ParseFamily(args.Value(o), &recipe.family)) Fail("--family tx40|tx50");
            familySet = true;
        } else if (o == "--out")
            out = args.Value(o);
        else if (o == "--content") {
            const std::string v = args.Value(o);
            if (v == "front")
                recipe.content = FileContent::Front;
            else if (v == "rear")
                recipe.content = FileContent::Rear;
            else if (v == "combined")
                recipe.content = FileContent::Combined;
            else
                Fail("--content front|rear|combined");
        } else if (o == "--size")
            ToSize(args.Value(o), &recipe.frontWidth, &recipe.frontHeight, o);
        else if (o == "--rear-size")
            ToSize(args.Value(o), &recipe.rearWidth, &recipe.rearHeight, o);
        else if (o == "--duration")
            recipe.durationSeconds = ToDouble(args.Value(o), o);
        else if (o == "--fps")
            recipe.frameUs = static_cast<uint32_t>(std::lround(1e6 / ToDouble(args.Value(o), o)));
        else if (o == "--frame-us")
            recipe.frameUs = static_cast<uint32_t>(ToLong(args.Value(o), o));
        else if (o == "--gop")
            recipe.gop = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--crf")
            recipe.crf = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--x264-preset")
            recipe.x264Preset = args.Value(o);
        else if (o == "--chunk-ms")
            recipe.chunkSeconds = ToDouble(args.Value(o), o) / 1000;
        else if (o == "--first-frame")
            recipe.firstFrame = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--start") {
            CivilTime& t = recipe.start;
            if (std::sscanf(args.Value(o).c_str(), "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day,
                            &t.hour, &t.minute, &t.second) != 6)
                Fail("--start YYYY-MM-DDThh:mm:ss");
        } else if (o == "--trigger") {
            trigger = args.Value(o);
            if (trigger.size() != 1 ||
                std::string("AGMPSORTU").find(trigger[0]) == std::string::npos)
                Fail("--trigger A|G|M|P|S|O|R|T|U");
        } else if (o == "--parked") {
            recipe.parked = true;
            recipe.header.letter = 'P';
        } else if (o == "--time-lapse") {
            recipe.parked = true;
            recipe.frameUs = kFrameUsTimeLapse;
            recipe.realSecondsPerRecord = 15;
        } else if (o == "--event") {
            const std::string v = args.Value(o);
            const size_t at = v.find('@');
            GpsEvent e;
            if (at == std::string::npos || !ParseEventName(v.substr(0, at), &e.kind))
                Fail("--event KIND@RECORD, got " + v);
            e.record = static_cast<int>(ToLong(v.substr(at + 1), o));
            if (!EventFits(recipe.family, e.kind) && familySet)
                Fail(std::string("the family's records cannot carry ") + EventName(e.kind));
            recipe.events.push_back(e);
        } else if (o == "--no-fix")
            recipe.noFix.push_back(ToRange(args.Value(o), o));
        else if (o == "--jump")
            recipe.jumps.push_back(ToRange(args.Value(o), o));
        else if (o == "--records")
            recipe.recordCount = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--count")
            recipe.countOverride = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--no-gps")
            recipe.gps = false;
        else if (o == "--no-end-marker")
            recipe.endMarker = false;
        else if (o == "--unfinished")
            recipe.unfinished = true;
        else if (o == "--no-audio")
            recipe.audio = false;
        else if (o == "--udta-unknown")
            recipe.unknownUdtaChild = true;
        else if (o == "--header-repeat")
            headerRepeats = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--levels") {
            auto& l = recipe.header.levels;
            if (std::sscanf(args.Value(o).c_str(), "%d,%d,%d", &l[0], &l[1], &l[2]) != 3)
                Fail("--levels L1,L2,L3");
        } else if (o == "--letter")
            recipe.header.letter = args.Value(o).c_str()[0];
        else if (o == "--tx50-letter")
            recipe.header.tx50Letter = args.Value(o).c_str()[0];
        else if (o == "--flags") {
            int a = 1, b = 1;
            if (std::sscanf(args.Value(o).c_str(), "%d,%d", &a, &b) != 2) Fail("--flags A,B");
            recipe.header.flagA = static_cast<uint8_t>(a);
            recipe.header.flagB = static_cast<uint8_t>(b);
        } else if (o == "--firmware") {
            int a = 0, b = 0, c = 0;
            if (std::sscanf(args.Value(o).c_str(), "%d.%d.%d", &a, &b, &c) != 3)
                Fail("--firmware X.Y.Z");
            recipe.header.identification = IdentificationFor(a, b, c);
        } else if (o == "--identification") {
            recipe.header.identification = args.Value(o);
            if (recipe.header.identification.size() != 6) Fail("--identification takes six bytes");
        } else if (o == "--voltage")
            recipe.voltageTenths = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--seconds-to-add")
            recipe.secondsToAdd = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--seed")
            recipe.seed = static_cast<uint64_t>(ToLong(args.Value(o), o));
        else
            Fail("unknown option " + o + "\n" + kUsage);
    }
    if (!familySet || out.empty()) Fail(std::string("--family and --out are required\n") + kUsage);
    if (!trigger.empty()) ApplyTrigger(trigger[0], &recipe);
    for (const GpsEvent& e : recipe.events)
        if (!EventFits(recipe.family, e.kind))
            Fail(std::string("the family's records cannot carry ") + EventName(e.kind));
    for (int j = 1; j <= headerRepeats; ++j) {
        GpsHeader h = recipe.header;
        for (int& l : h.levels)
            l += 100 * j;
        recipe.repeatedHeaders.push_back(h);
    }

    RecordingReport report;
    std::string error;
    if (!WriteRecording(recipe, out, &report, &error)) Fail(error);
    kutil::Json j;
    j["path"] = out;
    j["family"] = FamilyName(recipe.family);
    j["bytes"] = report.fileSize;
    j["frames"] = report.frames;
    j["records"] = report.records.size();
    kutil::Json tracks = kutil::Json::array();
    for (const TrackReport& t : report.tracks)
        tracks.push_back(
            kutil::Json{{"kind", t.kind}, {"samples", t.samples}, {"chunks", t.chunks}});
    j["tracks"] = std::move(tracks);
    j["seconds"] = kutil::JsonNumber(report.encodeSeconds, 4);
    const int cameras = recipe.content == FileContent::Combined ? 2 : 1;
    j["frames_per_second"] =
        kutil::JsonNumber(report.frames * cameras / std::max(1e-9, report.encodeSeconds), 4);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

int RunCard(Args args) {
    CardOptions options;
    bool familySet = false, presetSet = false;
    while (args.More()) {
        const std::string o = args.Next();
        if (o == "--family") {
            if (!ParseFamily(args.Value(o), &options.family)) Fail("--family tx40|tx50");
            familySet = true;
        } else if (o == "--preset") {
            if (!ParsePreset(args.Value(o), &options.preset)) Fail("--preset test|demo|bench");
            presetSet = true;
        } else if (o == "--out")
            options.outDir = args.Value(o);
        else if (o == "--jobs")
            options.jobs = static_cast<int>(ToLong(args.Value(o), o));
        else if (o == "--seed")
            options.seed = static_cast<uint64_t>(ToLong(args.Value(o), o));
        else if (o == "--force")
            options.force = true;
        else if (o == "--x264-preset")
            options.x264Preset = args.Value(o);
        else
            Fail("unknown option " + o + "\n" + kUsage);
    }
    if (!familySet || !presetSet || options.outDir.empty())
        Fail(std::string("--family, --preset and --out are required\n") + kUsage);
    CardReport report;
    std::string error;
    if (!WriteCard(options, &report, &error)) Fail(error);
    kutil::Json j;
    j["card"] = options.outDir;
    j["family"] = FamilyName(options.family);
    j["preset"] = PresetName(options.preset);
    j["files"] = report.files;
    j["bytes"] = report.bytes;
    j["frames"] = report.frames;
    j["seconds"] = kutil::JsonNumber(report.seconds, 4);
    j["frames_per_second"] = kutil::JsonNumber(report.frames / std::max(1e-9, report.seconds), 4);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR); // the encoders' statistics are not wanted here
    Args args;
    args.items.assign(argv + 1, argv + argc);
    if (args.items.empty()) {
        std::fputs(kUsage.c_str(), stderr);
        return 2;
    }
    if (args.items[0] == "--help" || args.items[0] == "-h") {
        std::printf("%s%s%s", kHelpSynopsis, kDescription, kOptions);
        return 0;
    }
    if (args.items[0] == "--version") {
        std::fputs(kutil::VersionText("mkcard").c_str(), stdout);
        return 0;
    }
    if (args.items[0] == "recording") {
        args.at = 1;
        return RunRecording(args);
    }
    return RunCard(args);
}
