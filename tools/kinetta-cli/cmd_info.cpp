// kinetta-cli info: the box tree of a recording, its tracks' tables, the
// frame-timing probe and the completeness test, as one JSON object.

#include <cstdio>

#include "playcore/container/file_queries.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/sample_tables.h"
#include "playcore/container/track_headers.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_writer.h"

namespace kcli {

namespace {

using namespace playcore;

void WriteBoxes(kutil::JsonWriter& j, const sTAGNODE& node) {
    for (const auto& child : node.children) {
        j.BeginObject();
        j.Key("type").String(child->Type());
        j.Key("depth").Int(child->depth);
        j.Key("offset").UInt(child->offset);
        j.Key("size").UInt(child->size);
        j.Key("leaf").Bool(child->leaf != 0);
        j.EndObject();
        WriteBoxes(j, *child);
    }
}

// The first box of a type inside a track, or nullptr.
sTAGNODE* FindIn(sTAGNODE& trak, std::string_view type) {
    std::vector<sTAGNODE*> found;
    CollectBoxes(trak, type, found);
    return found.empty() ? nullptr : found.front();
}

void EntryCount(kutil::JsonWriter& j, const char* key, sTAGNODE* box, uint32_t stride) {
    TableView t;
    j.Key(key);
    if (box && ReadTable(*box, stride, &t))
        j.UInt(t.count);
    else
        j.Null();
}

void WriteTrack(kutil::JsonWriter& j, sTAGNODE& trak) {
    j.BeginObject();
    uint32_t samples = 0;
    sTAGNODE* stsz = FindIn(trak, "stsz");
    j.Key("sampleCount");
    if (stsz && StszSampleCount(*stsz, &samples))
        j.UInt(samples);
    else
        j.Null();
    SttsSums sums;
    sTAGNODE* stts = FindIn(trak, "stts");
    const bool haveStts = stts && SumStts(*stts, &sums);
    j.Key("sttsEntries");
    haveStts ? j.UInt(sums.entries) : j.Null();
    j.Key("sttsTotal");
    haveStts ? j.UInt(sums.total) : j.Null();
    EntryCount(j, "stssEntries", FindIn(trak, "stss"), 1);
    EntryCount(j, "stcoEntries", FindIn(trak, "stco"), 1);
    EntryCount(j, "stscEntries", FindIn(trak, "stsc"), 3);
    sTAGNODE* tkhd = FindIn(trak, "tkhd");
    j.Key("width").Int(tkhd ? TkhdWidth(*tkhd) : -1);
    j.EndObject();
}

} // namespace

int CmdInfo(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kinetta-cli info --family tx40|tx50 FILE\n");
        return 2;
    }
    const std::string& path = args[0];
    kutil::JsonWriter j;
    j.BeginObject();
    auto movie = OpenMp4Movie(path, true, family);
    j.Key("ok").Bool(movie != nullptr);
    if (movie) {
        j.Key("size").UInt(movie->fileSize);
        j.Key("duration").UInt(movie->duration);
        j.Key("boxes").BeginArray();
        WriteBoxes(j, movie->root);
        j.EndArray();
        std::vector<sTAGNODE*> traks;
        CollectBoxes(movie->root, "trak", traks);
        j.Key("tracks").BeginArray();
        for (sTAGNODE* trak : traks)
            WriteTrack(j, *trak);
        j.EndArray();
        const FrameTimingProbe probe = ProbeFrameTiming(*movie);
        j.Key("probe").BeginObject();
        j.Key("result").Int(probe.result);
        j.Key("cameras").BeginArray();
        for (const CameraTiming& c : probe.cameras) {
            j.BeginObject();
            j.Key("frameDurationMs").Double(c.frameDurationMs);
            j.Key("durationS").Double(c.durationS);
            j.EndObject();
        }
        j.EndArray();
        j.EndObject();
        movie.reset();
    }
    j.Key("complete").Bool(IsRecordingComplete(path, family));
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    return j.str().find("\"ok\":true") != std::string::npos ? 0 : 1;
}

} // namespace kcli
