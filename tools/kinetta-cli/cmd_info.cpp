// kinetta-cli info: the box tree of a recording, its tracks' tables, the
// frame-timing probe and the completeness test, as one JSON object.

#include <cstdio>

#include "playcore/container/boxes/stco_box.h"
#include "playcore/container/boxes/stsc_box.h"
#include "playcore/container/boxes/stss_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/mp4_tree.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

namespace {

using namespace playcore;
using kutil::Json;

void AddBoxes(Json& list, const sTAGNODE& node) {
    for (const auto& child : node.children) {
        Json box;
        box["type"] = child->Type();
        box["depth"] = child->depth;
        box["offset"] = child->offset;
        box["size"] = child->size;
        box["leaf"] = child->leaf != 0;
        list.push_back(std::move(box));
        AddBoxes(list, *child);
    }
}

// The first box of a type inside a track, or nullptr.
sTAGNODE* FindIn(sTAGNODE& trak, std::string_view type) {
    std::vector<sTAGNODE*> found;
    CollectBoxes(trak, type, found);
    return found.empty() ? nullptr : found.front();
}

template <typename Box> Json EntryCount(sTAGNODE* node) {
    Box box;
    if (node && box.Read(*node)) return box.Count();
    return nullptr;
}

Json Track(const sMP4MOVIE& movie, sTAGNODE& trak) {
    Json j;
    uint32_t samples = 0;
    sTAGNODE* stsz = FindIn(trak, "stsz");
    // null for a count larger than the table or the media data hold
    j["sampleCount"] =
        stsz && CheckedSampleCount(movie, *stsz, &samples) ? Json(samples) : Json(nullptr);
    SttsBox stts;
    sTAGNODE* sttsNode = FindIn(trak, "stts");
    const bool haveStts = sttsNode && stts.Read(*sttsNode);
    const SttsSums sums = haveStts ? stts.Sums() : SttsSums{};
    j["sttsEntries"] = haveStts ? Json(sums.entries) : Json(nullptr);
    j["sttsTotal"] = haveStts ? Json(sums.total) : Json(nullptr);
    j["stssEntries"] = EntryCount<StssBox>(FindIn(trak, "stss"));
    j["stcoEntries"] = EntryCount<StcoBox>(FindIn(trak, "stco"));
    j["stscEntries"] = EntryCount<StscBox>(FindIn(trak, "stsc"));
    TkhdBox tkhd;
    sTAGNODE* tkhdNode = FindIn(trak, "tkhd");
    j["width"] = tkhdNode && tkhd.Read(*tkhdNode) ? int(tkhd.Width()) : -1;
    return j;
}

} // namespace

int CmdInfo(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kinetta-cli info --family tx40|tx50 FILE\n");
        return 2;
    }
    const std::string& path = args[0];
    std::string error = UnreadableReason(path);
    std::unique_ptr<sMP4MOVIE> movie;
    if (error.empty()) {
        movie = OpenMp4Movie(path, true, family);
        if (!movie) error = path + ": not an MP4 movie (its box tree cannot be read)";
    }
    Json j;
    j["ok"] = movie != nullptr;
    if (!movie) {
        j["error"] = error;
        ReportFailure("info", error);
    } else {
        j["size"] = movie->fileSize;
        j["duration"] = movie->duration;
        Json boxes = Json::array();
        AddBoxes(boxes, movie->root);
        j["boxes"] = std::move(boxes);
        std::vector<sTAGNODE*> traks;
        CollectBoxes(movie->root, "trak", traks);
        Json tracks = Json::array();
        for (sTAGNODE* trak : traks)
            tracks.push_back(Track(*movie, *trak));
        j["tracks"] = std::move(tracks);
        const FrameTimingProbe probe = ProbeFrameTiming(*movie);
        Json cameras = Json::array();
        for (const CameraTiming& c : probe.cameras)
            cameras.push_back(Json{{"frameDurationMs", kutil::JsonNumber(c.frameDurationMs)},
                                   {"durationS", kutil::JsonNumber(c.durationS)}});
        j["probe"] = Json{{"result", probe.result}, {"cameras", std::move(cameras)}};
        movie.reset();
    }
    // An unreadable path is not opened again for the completeness test.
    j["complete"] = error.empty() ? IsRecordingComplete(path, family) : false;
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return error.empty() ? 0 : 1;
}

} // namespace kcli
