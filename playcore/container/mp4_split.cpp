#include "playcore/container/mp4_split.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/failure.h"
#include "playcore/container/mp4_write.h"

namespace playcore {

namespace {

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
    c->payloadInSource = node.payloadInSource;
    if (node.gps) c->gps = std::make_unique<GpsBoxBlock>(*node.gps);
    c->tailOffset = node.tailOffset;
    c->tailSize = node.tailSize;
    for (const auto& child : node.children)
        if (!leaveOut.count(child.get())) c->children.push_back(Clone(*child, leaveOut, clones));
    clones[&node] = c.get();
    return c;
}

// One output: the tracks video and audio of the movie.
// One output: the tracks video and audio of the movie, written and synced
// under out's temporary name (out.Prepare); the caller publishes it.
bool WriteCamera(sMP4MOVIE& movie, const MovieLayout& layout, size_t video, size_t audio, bool rear,
                 const std::string& path, OutputFile& out, const std::atomic<bool>* running,
                 std::string* why) {
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
    uint32_t id = 1;
    for (size_t i : {video, audio}) {
        sTAGNODE& tkhd = *clones.at(layout.tracks[i].tkhd);
        TkhdBox box;
        if (!box.Read(tkhd)) return Fail(why, "unsupported tkhd box");
        StoreField(tkhd.data, box.TrackIdField(), id++);
    }
    sTAGNODE& mvhd = *clones.at(layout.mvhd);
    MvhdBox movieHeader;
    if (!movieHeader.Read(mvhd)) return Fail(why, "unsupported mvhd box");
    StoreField(mvhd.data, movieHeader.NextTrackIdField(), 3);
    if (rear) {
        // The rear file lasts as long as the rear camera's track.
        TkhdBox rearHeader;
        if (!rearHeader.Read(*layout.tracks[video].tkhd)) return Fail(why, "unsupported tkhd box");
        const uint64_t duration = rearHeader.Duration();
        const FieldAt at = movieHeader.DurationField();
        if (at.bytes == 4 && duration > kMax32) return Fail(why, "the duration does not fit");
        StoreField(mvhd.data, at, duration);
    }

    if (ReplacesSource(*root, path)) return Fail(why, "the output would replace its source");
    out.StopWhenCleared(running);
    if (!out.Create(path)) return Fail(why, "cannot create a file in the output folder");
    if (WriteTree(*root, out) && out.Prepare()) return true;
    const bool cancelled = out.stopped();
    out.Abandon();
    return Fail(why, cancelled ? "cancelled" : "reading the source or writing the output failed");
}

// Whether two output paths name the same file: the same name in the same
// folder once links and "." / ".." in the folder part are resolved.
bool SameOutput(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
    return ea || eb ? a == b : ca == cb;
}

bool SeparateChecked(sMP4MOVIE& movie, const std::string& frontPath, const std::string& rearPath,
                     const std::atomic<bool>* running, std::string* why, OnExisting existing) {
    MovieLayout layout;
    if (!ReadMovieLayout(movie, &layout, why)) return false;
    if (layout.mdat->appendHead) return Fail(why, "the movie is part of a join");
    const size_t tracks = layout.tracks.size();
    if (tracks < 2) return Fail(why, "the movie has fewer than two tracks");
    const size_t audio = tracks - 1;
    const bool writeFront = !frontPath.empty();
    const bool writeRear = !rearPath.empty() && tracks >= 3;
    if (writeFront && writeRear && SameOutput(frontPath, rearPath))
        return Fail(why, "the two outputs are the same file");
    // Both files are written and synced under temporary names first, and
    // renamed into place only when both are complete: a full disk or a
    // folder that cannot be written leaves neither.
    OutputFile front, rear;
    if (writeFront && !WriteCamera(movie, layout, 0, audio, false, frontPath, front, running, why))
        return false;
    if (writeRear && !WriteCamera(movie, layout, 1, audio, true, rearPath, rear, running, why))
        return false; // front's destructor removes its temporary
    const auto publish = [existing](OutputFile& out) {
        return existing == OnExisting::Replace ? out.Publish() : out.PublishNoReplace();
    };
    if (writeFront && !publish(front))
        return Fail(why, errno == EEXIST ? frontPath + ": exists"
                                         : "the front output could not be renamed into place");
    if (writeRear && !publish(rear)) {
        const int error = errno;
        // The front file appeared a moment ago under its final name: take it
        // back, so that the two appear together or not at all.
        if (writeFront) ::unlink(frontPath.c_str());
        return Fail(why, error == EEXIST ? rearPath + ": exists"
                                         : "the rear output could not be renamed into place");
    }
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
    if (!ExpandChunks(layout.tracks[videoTrack], 0, *layout.mdat, &v, why) ||
        !ExpandChunks(layout.tracks[audioTrack], 1, *layout.mdat, &a, why))
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
                    const std::atomic<bool>* running, std::string* why, OnExisting existing) {
    try {
        return SeparateChecked(movie, frontPath, rearPath, running, why, existing);
    } catch (const std::bad_alloc&) {
        return Fail(why, "out of memory");
    }
}

} // namespace playcore
