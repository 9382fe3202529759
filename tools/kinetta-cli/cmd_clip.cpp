// kinetta-cli clip and clips: event clips cut without re-encoding, one JSON
// line per clip written. `clip` cuts one recording at a moment or at one of
// its events; `clips` cuts every event of the chosen kinds on a card or in a
// folder, merging the overlapping clips of one recording.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/partner_search.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/clips/clip_job.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

constexpr const char* kClipUsage =
    "usage: kinetta-cli clip --family tx40|tx50 FILE (--at SECONDS | --event K) [--before S] "
    "[--after S] --out DIR\n";
constexpr const char* kClipsUsage =
    "usage: kinetta-cli clips --family tx40|tx50 --kind sd|folder SOURCE "
    "[--kinds shock,user,emergency,parking,speeding,camera,radar,assist] [--before S] "
    "[--after S] --out DIR\n";

bool ParseSeconds(const std::string& text, double low, double high, double* out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end || !std::isfinite(v) || v < low || v > high) return false;
    *out = v;
    return true;
}

// Options common to both commands; the others are left in args. False for a
// malformed value.
struct SpanOptions {
    double before, after;
    std::string out;
};
bool TakeSpanOptions(Args& args, SpanOptions* o) {
    // The viewer's settings give the defaults: "Default_Folder.ini" of the
    // current folder, section "CLIP".
    const kinetta::ClipSeconds s = kinetta::ReadClipSeconds(kinetta::SettingsStore("."));
    o->before = s.before;
    o->after = s.after;
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool value = i + 1 < args.size();
        if (a == "--before" || a == "--after") {
            if (!value ||
                !ParseSeconds(args[i + 1], kinetta::kClipMinSeconds, kinetta::kClipMaxSeconds,
                              a == "--before" ? &o->before : &o->after))
                return false;
            ++i;
        } else if (a == "--out") {
            if (!value) return false;
            o->out = args[++i];
        } else {
            rest.push_back(a);
        }
    }
    args = std::move(rest);
    return !o->out.empty();
}

std::vector<std::string> SplitCommas(const std::string& list) {
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        words.push_back(list.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) return words;
        start = comma + 1;
    }
}

std::string CameraWord(kinetta::ClipCamera c) {
    return c == kinetta::ClipCamera::Front  ? "front"
           : c == kinetta::ClipCamera::Rear ? "rear"
                                            : "combined";
}

void PrintClip(const kinetta::ClipPlan& plan, const kinetta::ClipWritten& written) {
    using kutil::Json;
    Json j;
    j["ok"] = true;
    j["index"] = written.indexPath;
    j["kind"] = plan.request.kindWord;
    j["source"] = plan.request.telemetryPath;
    j["moment"] = kutil::JsonNumber(plan.request.moment, 9);
    j["frame"] = plan.moment.frame;
    j["before"] = kutil::JsonNumber(plan.request.before, 9);
    j["after"] = kutil::JsonNumber(plan.request.after, 9);
    Json events = Json::array();
    for (const kinetta::ClipEvent& e : plan.request.events)
        events.push_back(Json{{"record", e.record},
                              {"frame", e.frame},
                              {"kind", e.kind},
                              {"seconds", kutil::JsonNumber(e.seconds, 9)}});
    j["events"] = std::move(events);
    Json clips = Json::array();
    for (size_t i = 0; i < plan.cameras.size(); ++i) {
        const kinetta::ClipCameraPlan& c = plan.cameras[i];
        Json parts = Json::array();
        for (const kinetta::ClipPart& p : c.span.parts)
            parts.push_back(Json{{"file", c.chain[p.file]},
                                 {"firstFrame", p.firstFrame},
                                 {"lastFrame", p.lastFrame},
                                 {"firstRecord", p.firstRecord},
                                 {"records", p.recordCount}});
        Json clip;
        clip["camera"] = CameraWord(c.camera);
        clip["path"] = c.output;
        clip["sha256"] = i < written.clips.size() ? written.clips[i].sha256 : std::string();
        clip["frames"] = c.span.Frames();
        clip["records"] = c.span.Records();
        clip["start"] = kutil::JsonNumber(c.span.startSeconds, 9);
        clip["end"] = kutil::JsonNumber(c.span.endSeconds, 9);
        clip["cutAtStart"] = c.span.cutAtStart;
        clip["cutAtEnd"] = c.span.cutAtEnd;
        clip["parts"] = std::move(parts);
        clips.push_back(std::move(clip));
    }
    j["clips"] = std::move(clips);
    Json sources = Json::array();
    for (const kinetta::ClipFileDigest& d : written.sources)
        sources.push_back(Json{{"path", d.path}, {"sha256", d.sha256}});
    j["sources"] = std::move(sources);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    std::fflush(stdout);
}

// Plans and writes one clip; prints its line. False, with the reason on
// stderr, when it fails.
// telemetry: the request's telemetry file as ReadClipSource gave it, so that
// the plan does not read it again.
bool CutOne(const char* command, const kinetta::ClipRequest& request,
            const kinetta::ClipSourceFile& telemetry) {
    kinetta::ClipPlan plan;
    std::string why;
    if (!kinetta::PlanClip(request, &plan, &why, &telemetry)) {
        ReportFailure(command, why);
        return false;
    }
    kinetta::ClipWritten written;
    const kinetta::ClipResult result =
        kinetta::WriteClip(plan, nullptr, nullptr, true, &written, &why);
    if (result != kinetta::ClipResult::Written) {
        ReportFailure(command, why.empty() ? std::string("the clip was not written") : why);
        return false;
    }
    PrintClip(plan, written);
    return true;
}

// The recording a given file belongs to: a combined file alone, a camera
// file with its partner, a clip with its pair's other clip; any other movie
// alone: as a combined recording when it holds two pictures (the TX50
// family's combined names are outside its grammar), else as one camera.
// pictureTracks: the file's picture tracks (ReadClipSource).
kinetta::ClipRequest RequestForFile(const std::string& path, kinetta::RecorderFamily family,
                                    int pictureTracks) {
    using namespace kinetta;
    RecordingEntry e;
    const std::string name(kutil::FileNameOf(path));
    std::string partner;
    bool rear = false;
    if (IsCombinedName(name, family)) {
        // alone
    } else if (IsFrontName(name, family) || IsRearName(name, family)) {
        rear = !IsFrontName(name, family);
        partner = FindPartnerFile(path, false, family);
    } else if (const ClipNameKind k = ClassifyClipName(name);
               k == ClipNameKind::Front || k == ClipNameKind::Rear) {
        rear = k == ClipNameKind::Rear;
        const std::string other = kutil::JoinPath(kutil::DirectoryOf(path), ClipPartnerName(name));
        if (UnreadableReason(other).empty()) partner = other;
    }
    e.frontPath = rear ? partner : path;
    e.rearPath = rear ? path : partner;
    e.frontName = std::string(kutil::FileNameOf(e.frontPath));
    e.rearName = std::string(kutil::FileNameOf(e.rearPath));
    ClipRequest r = RequestForEntry(e, family);
    if (!r.combined && partner.empty() && ClassifyClipName(name) == ClipNameKind::None &&
        pictureTracks >= 2) {
        r.combined = true;
        r.frontPath = path;
        r.rearPath.clear();
    }
    r.telemetryPath = path; // the events and the moment are the given file's
    return r;
}

} // namespace

int CmdClip(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    SpanOptions span;
    if (!TakeSpanOptions(args, &span)) {
        std::fprintf(stderr, "%s", kClipUsage);
        return 2;
    }
    bool bad = false;
    std::optional<double> at;
    std::optional<long long> event;
    Args files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size()) {
            double v = 0;
            if (!ParseSeconds(args[++i], 0, 1e9, &v)) bad = true;
            at = v;
        } else if (args[i] == "--event" && i + 1 < args.size()) {
            char* end = nullptr;
            const std::string& text = args[++i];
            const long long v = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end || v < 0) bad = true;
            event = v;
        } else if (!args[i].empty() && args[i][0] == '-') {
            bad = true;
        } else {
            files.push_back(args[i]);
        }
    }
    if (bad || files.size() != 1 || at.has_value() == event.has_value()) {
        std::fprintf(stderr, "%s", kClipUsage);
        return 2;
    }
    const std::string& file = files[0];
    if (const std::string why = UnreadableReason(file); !why.empty()) {
        ReportFailure("clip", why);
        return 1;
    }
    // Read once: its picture tracks tell a combined file, its events give
    // the moment, and the plan takes it as it is.
    kinetta::ClipSourceFile source;
    std::string why;
    if (!kinetta::ReadClipSource(file, family, &source, &why)) {
        ReportFailure("clip", why);
        return 1;
    }
    kinetta::ClipRequest request = RequestForFile(file, family, source.pictureTracks);
    request.before = span.before;
    request.after = span.after;
    request.folder = span.out;
    if (at) {
        request.moment = *at;
    } else {
        if (*event >= static_cast<long long>(source.events.size())) {
            ReportFailure("clip", file + ": event " + std::to_string(*event) + " does not exist (" +
                                      std::to_string(source.events.size()) + " events)");
            return 1;
        }
        const kinetta::ClipEvent& e = source.events[size_t(*event)];
        request.moment = e.seconds;
        request.kindWord = std::string(kinetta::ClipKindWord(e.kind));
        request.events = {e};
    }
    return CutOne("clip", request, source) ? 0 : 1;
}

int CmdClips(Args args) {
    using namespace kinetta;
    RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    SpanOptions span;
    if (!TakeSpanOptions(args, &span)) {
        std::fprintf(stderr, "%s", kClipsUsage);
        return 2;
    }
    int kind = kSourceNone;
    std::vector<std::string> kinds(std::begin(kClipKindWords), std::end(kClipKindWords));
    std::string source;
    bool bad = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && i + 1 < args.size()) {
            kind = SourceKindOf(args[++i]);
            if (kind != kSourceCard && kind != kSourceFolder) bad = true;
        } else if (args[i] == "--kinds" && i + 1 < args.size()) {
            kinds = SplitCommas(args[++i]);
            for (const std::string& word : kinds)
                if (std::find(std::begin(kClipKindWords), std::end(kClipKindWords), word) ==
                    std::end(kClipKindWords))
                    bad = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            bad = true;
        } else if (source.empty()) {
            source = args[i];
        } else {
            bad = true;
        }
    }
    if (bad || kind == kSourceNone || source.empty()) {
        std::fprintf(stderr, "%s", kClipsUsage);
        return 2;
    }
    if (const std::string why = SourceProblem(source, kind); !why.empty()) {
        ReportFailure("clips", why);
        return 1;
    }
    Catalogue catalogue(family, ContainerProbe(family));
    catalogue.OpenSource(source, static_cast<SourceKind>(kind));
    for (const RecordingEntry& entry : catalogue.Entries()) {
        ClipRequest recording = RequestForEntry(entry, family);
        recording.before = span.before;
        recording.after = span.after;
        recording.folder = span.out;
        ClipSourceFile file;
        std::string why;
        if (!ReadClipSource(recording.telemetryPath, family, &file, &why)) {
            ReportFailure("clips", why);
            return 1;
        }
        for (const ClipRequest& r : RequestsForEvents(recording, file.events, kinds))
            if (!CutOne("clips", r, file)) return 1;
    }
    return 0;
}

} // namespace kcli
