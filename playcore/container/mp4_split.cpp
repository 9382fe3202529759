#include "playcore/container/mp4_split.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "playcore/container/mp4_tracks.h"
#include "playcore/container/mp4_write.h"
#include "playcore/container/sample_tables.h"

namespace playcore {

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

// The chunks of one track in chunk order, with their samples.
bool ExpandTrack(const TrackBoxes& t, int label, const sTAGNODE& mdat,
                 std::vector<ChunkRecord>* out, std::string* why) {
    const std::string what = label == 0 ? "video track: " : "audio track: ";
    TableView co, sc;
    if (!ReadTable(*t.stco, 1, &co)) return Fail(why, what + "malformed stco");
    if (!ReadTable(*t.stsc, 3, &sc)) return Fail(why, what + "malformed stsc");
    uint32_t constant = 0, samples = 0;
    if (!PayloadBE32(*t.stsz, 4, &constant) || !PayloadBE32(*t.stsz, 8, &samples) ||
        (constant == 0 && uint64_t(samples) * 4 > t.stsz->data.size() - 12))
        return Fail(why, what + "malformed stsz");
    if (samples > kMaxSplitSamples || co.count > kMaxSplitChunks)
        return Fail(why, what + "too many samples or chunks");
    if (co.count > 0 && (sc.count == 0 || LoadBE32(sc.entries) != 1))
        return Fail(why, what + "the stsc does not start at chunk 1");
    const uint8_t* sizes = t.stsz->data.data() + 12;
    const uint64_t mdatStart = mdat.origOffset, mdatEnd = mdat.origOffset + mdat.origSize;

    const size_t first = out->size();
    uint64_t sample = 0;
    uint32_t entry = 0;
    for (uint32_t c = 0; c < co.count; ++c) {
        // The entry that covers chunk c + 1: the last whose first chunk is not after it.
        while (entry + 1 < sc.count && LoadBE32(sc.entries + (entry + 1) * 12) <= c + 1) {
            if (LoadBE32(sc.entries + (entry + 1) * 12) <= LoadBE32(sc.entries + entry * 12))
                return Fail(why, what + "the stsc chunk numbers do not rise");
            ++entry;
        }
        const uint32_t perChunk = LoadBE32(sc.entries + entry * 12 + 4);
        if (perChunk > samples - sample)
            return Fail(why, what + "the chunks hold more samples than the stsz lists");
        ChunkRecord r;
        r.track = label;
        r.index = c;
        r.sourceOffset = LoadBE32(co.entries + size_t(c) * 4);
        r.sampleCount = perChunk;
        r.sizes.reserve(perChunk);
        for (uint32_t k = 0; k < perChunk; ++k, ++sample) {
            const uint32_t size = constant ? constant : LoadBE32(sizes + sample * 4);
            r.sizes.push_back(size);
            r.written += size;
        }
        if (r.sourceOffset < mdatStart || r.written > mdatEnd - r.sourceOffset)
            return Fail(why, what + "a chunk lies outside the media data");
        out->push_back(std::move(r));
    }
    if (sample != samples) return Fail(why, what + "the chunks do not hold every sample");
    // Distance to the track's next chunk; the last one reaches to the end of
    // the media data (so does a chunk whose successor lies before it).
    for (size_t k = first; k < out->size(); ++k) {
        const uint64_t from = (*out)[k].sourceOffset;
        const uint64_t next = k + 1 < out->size() ? (*out)[k + 1].sourceOffset : mdatEnd;
        (*out)[k].sourceLength = (next >= from ? next : mdatEnd) - from;
    }
    return true;
}

// A copy of node's subtree without the nodes in leaveOut; clones records
// which copy stands for which original.
std::unique_ptr<sTAGNODE> Clone(const sTAGNODE& node, const std::set<const sTAGNODE*>& leaveOut,
                                std::map<const sTAGNODE*, sTAGNODE*>& clones) {
    auto c = std::make_unique<sTAGNODE>();
    c->depth = node.depth;
    c->data = node.data;
    c->leaf = node.leaf;
    std::copy(std::begin(node.type), std::end(node.type), std::begin(c->type));
    c->source = node.source;
    c->size = node.size;
    c->offset = node.offset;
    c->copied = node.copied;
    c->origSize = node.origSize;
    c->origOffset = node.origOffset;
    c->recordBytes = node.recordBytes;
    c->blockBytes = node.blockBytes;
    c->recordCount = node.recordCount;
    c->joinedCount = node.joinedCount;
    c->payloadInSource = node.payloadInSource;
    c->gpsBlock = node.gpsBlock;
    c->gpsHeaderBytes = node.gpsHeaderBytes;
    c->gpsRecordBytes = node.gpsRecordBytes;
    c->tailOffset = node.tailOffset;
    c->tailSize = node.tailSize;
    for (const auto& child : node.children)
        if (!leaveOut.count(child.get())) c->children.push_back(Clone(*child, leaveOut, clones));
    clones[&node] = c.get();
    return c;
}

// One output: the tracks video and audio of the movie.
bool WriteCamera(sMP4MOVIE& movie, const MovieLayout& layout, size_t video, size_t audio, bool rear,
                 const std::string& path, const std::atomic<bool>* running, std::string* why) {
    std::vector<ChunkRecord> chunks;
    if (!BuildChunkList(movie, video, audio, &chunks, why)) return false;

    std::set<const sTAGNODE*> leaveOut;
    for (size_t i = 0; i < layout.tracks.size(); ++i)
        if (i != video && i != audio) leaveOut.insert(layout.tracks[i].trak);
    std::map<const sTAGNODE*, sTAGNODE*> clones;
    std::unique_ptr<sTAGNODE> root = Clone(movie.root, leaveOut, clones);

    // The new mdat: the chunks one after another, copied from the source at
    // write time as an append chain of source ranges (neighbouring chunks
    // that also neighbour in the source are copied as one range).
    sTAGNODE& mdat = *clones.at(layout.mdat);
    std::vector<std::pair<uint64_t, uint64_t>> ranges; // source offset, length
    uint64_t total = 0;
    for (const ChunkRecord& r : chunks) {
        if (r.written == 0) continue;
        if (!ranges.empty() && ranges.back().first + ranges.back().second == r.sourceOffset)
            ranges.back().second += r.written;
        else
            ranges.emplace_back(r.sourceOffset, r.written);
        total += r.written;
    }
    std::vector<std::unique_ptr<sTAGNODE>> pieces;
    mdat.size = total;
    mdat.origOffset = ranges.empty() ? 0 : ranges[0].first;
    mdat.origSize = ranges.empty() ? 0 : ranges[0].second;
    sTAGNODE* last = nullptr;
    for (size_t k = 1; k < ranges.size(); ++k) {
        auto piece = std::make_unique<sTAGNODE>();
        piece->source = mdat.source;
        piece->leaf = 1;
        piece->payloadInSource = true;
        piece->origOffset = piece->offset = ranges[k].first;
        piece->origSize = piece->size = ranges[k].second;
        (last ? last->appendNext : mdat.appendHead) = piece.get();
        last = piece.get();
        pieces.push_back(std::move(piece));
    }
    if (8 + total > kMax32) return Fail(why, "the media data would reach 4 GiB");

    // The chunks' new offsets, from the start of the new mdat's payload (32
    // in the recorder's layout: a 24-byte ftyp and the mdat header).
    uint64_t position = 8;
    for (const auto& child : root->children) {
        if (child.get() == &mdat) break;
        position += NodeSize(*child);
    }
    sTAGNODE* stco[2] = {clones.at(layout.tracks[video].stco),
                         clones.at(layout.tracks[audio].stco)};
    for (const ChunkRecord& r : chunks) {
        if (position > kMax32) return Fail(why, "chunk offsets would pass 4 GiB");
        StoreBE32(stco[r.track]->data.data() + 8 + size_t(r.index) * 4, uint32_t(position));
        position += r.written;
    }

    // Track IDs 1 and 2 in file order, next-track ID 3, and the duration.
    FieldAt at;
    uint32_t id = 1;
    for (size_t i : {video, audio}) {
        sTAGNODE& tkhd = *clones.at(layout.tracks[i].tkhd);
        if (!TrackIdField(tkhd, &at)) return Fail(why, "unsupported tkhd box");
        StoreField(tkhd.data, at, id++);
    }
    sTAGNODE& mvhd = *clones.at(layout.mvhd);
    if (!NextTrackIdField(mvhd, &at)) return Fail(why, "unsupported mvhd box");
    StoreField(mvhd.data, at, 3);
    if (rear) {
        // The rear file lasts as long as the rear camera's track.
        FieldAt from;
        const sTAGNODE& tkhd = *layout.tracks[video].tkhd;
        if (!DurationField(tkhd, &from) || !DurationField(mvhd, &at))
            return Fail(why, "unsupported tkhd or mvhd box");
        const uint64_t duration = LoadField(tkhd.data, from);
        if (at.bytes == 4 && duration > kMax32) return Fail(why, "the duration does not fit");
        StoreField(mvhd.data, at, duration);
    }

    if (ReplacesSource(*root, path)) return Fail(why, "the output would replace its source");
    OutputFile out;
    out.StopWhenCleared(running);
    if (!out.Create(path)) return Fail(why, "cannot create a file in the output folder");
    if (WriteTree(*root, out) && out.Commit()) return true;
    const bool cancelled = out.stopped();
    out.Abandon();
    return Fail(why, cancelled ? "cancelled" : "reading the source or writing the output failed");
}

bool SeparateChecked(sMP4MOVIE& movie, const std::string& frontPath, const std::string& rearPath,
                     const std::atomic<bool>* running, std::string* why) {
    MovieLayout layout;
    if (!ReadMovieLayout(movie, &layout, why)) return false;
    if (layout.mdat->appendHead) return Fail(why, "the movie is part of a join");
    const size_t tracks = layout.tracks.size();
    if (tracks < 2) return Fail(why, "the movie has fewer than two tracks");
    const size_t audio = tracks - 1;
    if (!frontPath.empty() && !WriteCamera(movie, layout, 0, audio, false, frontPath, running, why))
        return false;
    if (!rearPath.empty() && tracks >= 3)
        return WriteCamera(movie, layout, 1, audio, true, rearPath, running, why);
    return true;
}

} // namespace

bool BuildChunkList(sMP4MOVIE& movie, size_t videoTrack, size_t audioTrack,
                    std::vector<ChunkRecord>* out, std::string* why) {
    out->clear();
    MovieLayout layout;
    if (!ReadMovieLayout(movie, &layout, why)) return false;
    if (videoTrack >= layout.tracks.size() || audioTrack >= layout.tracks.size() ||
        videoTrack == audioTrack)
        return Fail(why, "no such pair of tracks");
    std::vector<ChunkRecord> v, a;
    if (!ExpandTrack(layout.tracks[videoTrack], 0, *layout.mdat, &v, why) ||
        !ExpandTrack(layout.tracks[audioTrack], 1, *layout.mdat, &a, why))
        return false;
    out->reserve(v.size() + a.size());
    size_t i = 0, k = 0;
    while (i < v.size() || k < a.size()) {
        const bool audioNext =
            i == v.size() || (k < a.size() && a[k].sourceOffset <= v[i].sourceOffset);
        out->push_back(std::move(audioNext ? a[k++] : v[i++]));
    }
    return true;
}

bool SeparateTracks(sMP4MOVIE& movie, const std::string& frontPath, const std::string& rearPath,
                    const std::atomic<bool>* running, std::string* why) {
    try {
        return SeparateChecked(movie, frontPath, rearPath, running, why);
    } catch (const std::bad_alloc&) {
        return Fail(why, "out of memory");
    }
}

} // namespace playcore
