#include "playcore/container/mp4_trim.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "playcore/container/boxes/elst_box.h"
#include "playcore/container/boxes/mdhd_box.h"
#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/stss_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/chunk_list.h"
#include "playcore/container/failure.h"
#include "playcore/container/mp4_tracks.h"

namespace playcore {

namespace {

using i128 = __int128;

std::string TrackText(size_t i) {
    return "track " + std::to_string(i + 1) + ": ";
}

sTAGNODE* Child(sTAGNODE* node, std::string_view type) {
    if (!node) return nullptr;
    for (auto& c : node->children)
        if (c->Is(type)) return c.get();
    return nullptr;
}

void PutBE32(std::vector<uint8_t>& to, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    to.insert(to.end(), b, b + 4);
}

// The first edit of an elst: its media time, and whether the box holds one.
bool FirstEdit(const sTAGNODE& elst, uint32_t* edits, int64_t* mediaTime) {
    ElstBox box;
    if (!box.Read(elst)) return false;
    const size_t need = box.Version() == 0 ? 16 : 24;
    if (elst.data.size() < need) return false;
    *edits = LoadBE32(elst.data.data() + 4);
    if (box.Version() == 0) {
        *mediaTime = int32_t(LoadBE32(elst.data.data() + 12));
    } else {
        *mediaTime = int64_t(LoadField(elst.data, {16, 8}));
    }
    return true;
}

// Sample tables that describe samples by number and that a trim does not
// rewrite: a clip carrying them would describe the wrong samples. Composition
// offsets (ctts) come with pictures decoded out of order, which the
// recorder never writes; the span is cut by decode times.
constexpr std::string_view kUncarriedTables[] = {"ctts", "stz2", "sdtp", "sbgp",
                                                 "subs", "stsh", "stdp", "padb"};

// a / ta compared with b / tb (times in two time scales).
int Compare(i128 a, uint32_t ta, i128 b, uint32_t tb) {
    const i128 l = a * tb, r = b * ta;
    return l < r ? -1 : l > r ? 1 : 0;
}

// x in scale `from` expressed in scale `to`, rounded to the nearest unit.
int64_t Rescale(i128 x, uint32_t from, uint32_t to) {
    const i128 v = x * to;
    const i128 q =
        v >= 0 ? (2 * v + from) / (2 * i128(from)) : -((-2 * v + from) / (2 * i128(from)));
    return int64_t(q);
}

// A run-length table (stts) cut to samples [first, last]: the kept
// samples' values, merged into runs again.
bool SliceRuns(const sTAGNODE& box, uint32_t first, uint32_t last, std::vector<uint8_t>* out) {
    TableBox<2> table;
    if (!table.Read(box, box.Type())) return false;
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    uint64_t sample = 0;
    for (uint32_t i = 0; i < table.Count() && sample <= last; ++i) {
        const uint64_t from = sample, to = sample + table.Word(i, 0); // [from, to)
        sample = to;
        const uint64_t a = std::max<uint64_t>(from, first),
                       b = std::min<uint64_t>(to, uint64_t(last) + 1);
        if (a >= b) continue;
        const uint32_t value = table.Word(i, 1);
        if (!runs.empty() && runs.back().second == value)
            runs.back().first += uint32_t(b - a);
        else
            runs.emplace_back(uint32_t(b - a), value);
    }
    if (sample <= last) return false; // the table does not reach the last sample
    out->assign(box.data.begin(), box.data.begin() + 4);
    PutBE32(*out, uint32_t(runs.size()));
    for (const auto& [count, value] : runs) {
        PutBE32(*out, count);
        PutBE32(*out, value);
    }
    return true;
}

// A payload that replaces a node's copy when the trim is committed.
struct Edit {
    sTAGNODE* node;
    std::vector<uint8_t> data;
};

// One kept chunk (or the kept part of one).
struct KeptChunk {
    size_t track = 0;
    uint64_t oldOffset = 0; // where its kept bytes lie in the movie as written untrimmed
    uint64_t bytes = 0;
    uint32_t samples = 0;
    uint32_t description = 1;
    uint64_t newOffset = 0;
};

// A stretch of the movie's media data as written untrimmed, and the file
// and offset it is copied from.
struct Segment {
    uint64_t at = 0;
    uint64_t length = 0;
    const sTAGNODE* node = nullptr; // its source and origOffset
};

// What a track keeps.
struct TrackCut {
    uint32_t first = 0, last = 0; // samples, inclusive
    int64_t mediaTime = 0;        // of the edit in the clip
    uint64_t segment = 0;         // shown duration, movie time scale
};

// The GPS block node of a TX40 family movie, if any.
sTAGNODE* GpsNode(sMP4MOVIE& movie) {
    for (sTAGNODE* node : movie.List(kGps0List))
        if (node->gps) return node;
    return nullptr;
}

bool TrimChecked(sMP4MOVIE& movie, const TrimRange& range, std::string* why) {
    MovieLayout layout;
    if (!ReadMovieLayout(movie, &layout, why)) return false;
    std::vector<TrackTiming> timings;
    if (!ReadTrackTimings(movie, &timings, why)) return false;
    if (layout.moovIndex < layout.mdatIndex)
        return Fail(why, "the movie's media data would move (its moov comes first)");
    uint64_t payload = 8;
    for (size_t k = 0; k < layout.mdatIndex; ++k)
        payload += NodeSize(*movie.root.children[k]);
    sTAGNODE& mdat = *layout.mdat;
    if (payload != mdat.origOffset)
        return Fail(why, "the movie's media data would move (boxes before it were changed)");

    size_t v0 = timings.size();
    for (size_t i = 0; i < timings.size() && v0 == timings.size(); ++i)
        if (timings[i].kind == TrackTiming::Kind::Video) v0 = i;
    if (v0 == timings.size()) return Fail(why, "the movie has no picture track");
    const TrackTiming& master = timings[v0];
    if (range.firstFrame > range.lastFrame || range.lastFrame >= master.Samples())
        return Fail(why, "the frames asked for lie outside the movie");
    if (!std::binary_search(master.sync.begin(), master.sync.end(), range.firstFrame))
        return Fail(why, "the first frame is not a key frame");

    MvhdBox mvhd;
    if (!mvhd.Read(*layout.mvhd) || mvhd.TimeScale() == 0) return Fail(why, "unsupported mvhd box");
    const uint32_t movieScale = mvhd.TimeScale();

    // The span as the first picture track shows it: [p0, p1) in its units,
    // before its edit's media time is taken off.
    const i128 p0 = i128(master.start[range.firstFrame]) - master.editMediaTime;
    const i128 p1 = i128(master.start[size_t(range.lastFrame) + 1]) - master.editMediaTime;
    const uint32_t ms = master.timescale;
    const uint64_t shown = uint64_t(Rescale(p1 - p0, ms, movieScale));

    std::vector<TrackCut> cuts(timings.size());
    for (size_t i = 0; i < timings.size(); ++i) {
        const TrackTiming& t = timings[i];
        const TrackBoxes& boxes = layout.tracks[i];
        TrackCut& cut = cuts[i];
        if (t.kind == TrackTiming::Kind::Other)
            return Fail(why, TrackText(i) + "neither picture nor sound");
        if (t.Samples() == 0) return Fail(why, TrackText(i) + "the track holds no samples");
        if (boxes.elst) {
            uint32_t edits = 0;
            int64_t mt = 0;
            if (!FirstEdit(*boxes.elst, &edits, &mt) || edits != 1 || mt < 0)
                return Fail(why, TrackText(i) + "only an edit list of one edit can be trimmed");
        }
        // Presentation time of sample k in this track's units, compared with
        // the span's start and end.
        const auto shownAt = [&](uint32_t k) { return i128(t.start[k]) - t.editMediaTime; };
        const auto lastStartingBefore = [&](i128 p, bool orAt) -> int64_t {
            // The last sample whose presentation starts before (or at) p.
            uint32_t lo = 0, hi = t.Samples(); // answer in [lo, hi)
            if (Compare(shownAt(0), t.timescale, p, ms) > (orAt ? 0 : -1)) return -1;
            while (hi - lo > 1) {
                const uint32_t mid = lo + (hi - lo) / 2;
                if (Compare(shownAt(mid), t.timescale, p, ms) <= (orAt ? 0 : -1))
                    lo = mid;
                else
                    hi = mid;
            }
            return int64_t(lo);
        };
        if (i == v0) {
            cut.first = range.firstFrame;
            cut.last = range.lastFrame;
        } else {
            const int64_t at = lastStartingBefore(p0, true);
            uint32_t first = at < 0 ? 0 : uint32_t(at);
            if (t.kind == TrackTiming::Kind::Video) {
                // Back to the key frame at or before.
                auto it = std::upper_bound(t.sync.begin(), t.sync.end(), first);
                if (it == t.sync.begin())
                    return Fail(why, TrackText(i) + "no key frame at or before the span");
                first = *(it - 1);
            } else if (boxes.elst && first > 0) {
                // One sound frame more, hidden by the edit: the decoder's
                // first frame overlaps one it never saw.
                --first;
            }
            const int64_t end = lastStartingBefore(p1, false);
            if (end < int64_t(first))
                return Fail(why, TrackText(i) + "no sample falls in the span");
            cut.first = first;
            cut.last = uint32_t(end);
        }
        // The clip's edit starts where the span starts; the samples kept
        // before it (a key frame's run, the sound's lead-in) stay hidden.
        const int64_t spanStart = Rescale(p0, ms, t.timescale) + t.editMediaTime;
        cut.mediaTime =
            boxes.elst ? std::max<int64_t>(0, spanStart - int64_t(t.start[cut.first])) : 0;
        const uint64_t held = t.start[size_t(cut.last) + 1] - t.start[cut.first];
        const uint64_t heldShown =
            held > uint64_t(cut.mediaTime) ? held - uint64_t(cut.mediaTime) : 0;
        cut.segment =
            i == v0
                ? shown
                : std::min<uint64_t>(shown, uint64_t(Rescale(heldShown, t.timescale, movieScale)));
        if (!boxes.elst && i != v0) cut.segment = uint64_t(Rescale(held, t.timescale, movieScale));
    }

    // Tables the trim does not rewrite.
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        const sTAGNODE* stbl = nullptr;
        for (const auto& c : layout.tracks[i].trak->children)
            if (c->Is("mdia")) stbl = Child(Child(c.get(), "minf"), "stbl");
        if (!stbl) continue;
        for (const auto& c : stbl->children)
            for (std::string_view type : kUncarriedTables)
                if (c->Is(type))
                    return Fail(why, TrackText(i) + "its " + std::string(type) +
                                         " table cannot be trimmed");
    }

    // The media data as written untrimmed: the mdat's own bytes, then those
    // of every node chained to it (a join's other files).
    std::vector<Segment> segments;
    {
        uint64_t at = payload;
        segments.push_back({at, mdat.origSize, &mdat});
        at += mdat.origSize;
        for (const sTAGNODE* a = mdat.appendHead; a; a = a->appendNext) {
            segments.push_back({at, a->origSize, a});
            at += a->origSize;
        }
        if (at - payload != mdat.size)
            return Fail(why, "the media data's pieces do not add up to its size");
    }
    sTAGNODE whole;
    whole.origOffset = payload;
    whole.origSize = mdat.size;

    std::vector<KeptChunk> kept;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        std::vector<ChunkRecord> chunks;
        std::string reason;
        if (!ExpandChunks(layout.tracks[i], 0, whole, &chunks, &reason))
            return Fail(why, TrackText(i) + reason);
        const TrackCut& cut = cuts[i];
        for (const ChunkRecord& c : chunks) {
            const uint64_t from = c.firstSample, to = uint64_t(c.firstSample) + c.sampleCount;
            const uint64_t a = std::max<uint64_t>(from, cut.first);
            const uint64_t b = std::min<uint64_t>(to, uint64_t(cut.last) + 1);
            if (a >= b) continue;
            KeptChunk k;
            k.track = i;
            k.description = c.description;
            k.samples = uint32_t(b - a);
            k.oldOffset = c.sourceOffset;
            for (uint64_t s = from; s < a; ++s)
                k.oldOffset += c.sizes[size_t(s - from)];
            for (uint64_t s = a; s < b; ++s)
                k.bytes += c.sizes[size_t(s - from)];
            kept.push_back(k);
        }
    }

    // New places in file order (each track's chunks keep their own order in
    // its table): the chunks stay interleaved as they were.
    std::vector<size_t> order(kept.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return kept[a].oldOffset != kept[b].oldOffset ? kept[a].oldOffset < kept[b].oldOffset
                                                      : kept[a].track < kept[b].track;
    });
    struct Range {
        const sTAGNODE* node;
        uint64_t offset, length;
    };
    std::vector<Range> ranges;
    uint64_t position = payload;
    for (size_t k : order) {
        KeptChunk& c = kept[k];
        c.newOffset = position;
        position += c.bytes;
        if (c.newOffset > kMax32) return Fail(why, "chunk offsets would pass 4 GiB");
        if (c.bytes == 0) continue;
        auto seg = std::upper_bound(segments.begin(), segments.end(), c.oldOffset,
                                    [](uint64_t x, const Segment& s) { return x < s.at; });
        if (seg == segments.begin()) return Fail(why, "a chunk lies outside the media data");
        --seg;
        if (c.oldOffset + c.bytes > seg->at + seg->length)
            return Fail(why, "a chunk straddles two files of the joined movie");
        const uint64_t from = seg->node->origOffset + (c.oldOffset - seg->at);
        if (!ranges.empty() && ranges.back().node->source == seg->node->source &&
            ranges.back().offset + ranges.back().length == from)
            ranges.back().length += c.bytes;
        else
            ranges.push_back({seg->node, from, c.bytes});
    }
    const uint64_t media = position - payload;
    if (media == 0) return Fail(why, "the span holds no media data");
    // The boxes other than the mdat never grow by a trim but for the header
    // versions a long duration needs; bound the output by that.
    uint64_t others = 0;
    for (const auto& child : movie.root.children)
        if (child.get() != &mdat) others += NodeSize(*child);
    if (others + 8 + media + 24 * layout.tracks.size() > kMax32)
        return Fail(why, "the clip would be 4 GiB or larger");

    // New tables.
    std::vector<Edit> edits;
    uint64_t movieDuration = 0;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        const TrackBoxes& t = layout.tracks[i];
        const TrackCut& cut = cuts[i];
        const std::string what = TrackText(i);
        std::vector<const KeptChunk*> mine;
        for (const KeptChunk& c : kept)
            if (c.track == i) mine.push_back(&c);

        Edit stts{t.stts, {}};
        if (!SliceRuns(*t.stts, cut.first, cut.last, &stts.data))
            return Fail(why, what + "malformed stts");
        edits.push_back(std::move(stts));
        if (t.stss) {
            StssBox box;
            if (!box.Read(*t.stss)) return Fail(why, what + "malformed stss");
            Edit e{t.stss, {}};
            e.data.assign(t.stss->data.begin(), t.stss->data.begin() + 4);
            PutBE32(e.data, 0);
            uint32_t n = 0;
            for (uint32_t k = 0; k < box.Count(); ++k) {
                const uint32_t s = box.SyncSample(k); // from 1
                if (s >= uint64_t(cut.first) + 1 && s <= uint64_t(cut.last) + 1) {
                    PutBE32(e.data, s - cut.first);
                    ++n;
                }
            }
            StoreBE32(e.data.data() + 4, n);
            edits.push_back(std::move(e));
        }
        {
            StszBox box;
            if (!box.Read(*t.stsz)) return Fail(why, what + "malformed stsz");
            Edit e{t.stsz, {}};
            e.data.assign(t.stsz->data.begin(), t.stsz->data.begin() + 8);
            PutBE32(e.data, cut.last - cut.first + 1);
            if (box.HasTable())
                e.data.insert(e.data.end(), box.Table() + size_t(cut.first) * 4,
                              box.Table() + (size_t(cut.last) + 1) * 4);
            edits.push_back(std::move(e));
        }
        {
            // One entry per chunk, as the recorder writes them.
            Edit sc{t.stsc, {}}, co{t.stco, {}};
            sc.data.assign(t.stsc->data.begin(), t.stsc->data.begin() + 4);
            co.data.assign(t.stco->data.begin(), t.stco->data.begin() + 4);
            PutBE32(sc.data, uint32_t(mine.size()));
            PutBE32(co.data, uint32_t(mine.size()));
            uint32_t number = 1;
            for (const KeptChunk* c : mine) {
                PutBE32(sc.data, number++);
                PutBE32(sc.data, c->samples);
                PutBE32(sc.data, c->description);
                PutBE32(co.data, uint32_t(c->newOffset));
            }
            edits.push_back(std::move(sc));
            edits.push_back(std::move(co));
        }
        // Durations: the media held, and the span shown.
        const TrackTiming& tt = timings[i];
        const uint64_t held = tt.start[size_t(cut.last) + 1] - tt.start[cut.first];
        {
            MdhdBox box;
            if (!box.Read(*t.mdhd)) return Fail(why, what + "unsupported mdhd box");
            Edit e{t.mdhd, {}};
            if (box.DurationField().bytes == 4 && held > kMax32) {
                e.data = box.Version1Payload(held);
            } else {
                e.data = t.mdhd->data;
                StoreField(e.data, box.DurationField(), held);
            }
            edits.push_back(std::move(e));
        }
        {
            TkhdBox box;
            if (!box.Read(*t.tkhd)) return Fail(why, what + "unsupported tkhd box");
            if (box.DurationField().bytes == 4 && cut.segment > kMax32)
                return Fail(why, what + "the duration does not fit");
            Edit e{t.tkhd, t.tkhd->data};
            StoreField(e.data, box.DurationField(), cut.segment);
            edits.push_back(std::move(e));
        }
        if (t.elst) {
            ElstBox box;
            if (!box.Read(*t.elst)) return Fail(why, what + "unsupported elst box");
            Edit e{t.elst, t.elst->data};
            const bool v0box = box.Version() == 0;
            if (v0box &&
                (cut.segment > kMax32 || cut.mediaTime > std::numeric_limits<int32_t>::max()))
                return Fail(why, what + "the edit does not fit");
            StoreField(e.data, box.FirstDurationField(), cut.segment);
            StoreField(e.data, v0box ? FieldAt{12, 4} : FieldAt{16, 8}, uint64_t(cut.mediaTime));
            edits.push_back(std::move(e));
        }
        movieDuration = std::max(movieDuration, cut.segment);
    }
    {
        if (mvhd.DurationField().bytes == 4 && movieDuration > kMax32)
            return Fail(why, "the duration does not fit");
        Edit e{layout.mvhd, layout.mvhd->data};
        StoreField(e.data, mvhd.DurationField(), movieDuration);
        edits.push_back(std::move(e));
    }

    // GPS records.
    const uint64_t keepFrom = range.firstRecord, keepTo = range.firstRecord + range.recordCount;
    if (keepTo < keepFrom) return Fail(why, "the records asked for lie outside the movie");
    struct GpsCut {
        sTAGNODE* node;
        uint64_t first, count;
    };
    std::vector<GpsCut> gpsCuts;
    Tx50GpsBlock tx50;
    bool cutTx50 = false;
    if (movie.family == RecorderFamily::TX40) {
        sTAGNODE* head = GpsNode(movie);
        uint64_t total = 0;
        for (sTAGNODE* n = head; n; n = n == head ? head->appendHead : n->appendNext) {
            if (!n->gps) return Fail(why, "the GPS block chain holds a node without a block");
            const uint64_t from = total, to = total + n->gps->recordCount;
            total = to;
            const uint64_t a = std::max(from, keepFrom), b = std::min(to, keepTo);
            gpsCuts.push_back({n, n->gps->firstRecord + (a < b ? a - from : 0), a < b ? b - a : 0});
        }
        if (keepTo > total) return Fail(why, "the records asked for lie outside the movie");
    } else {
        const Tx50GpsBlock& b = movie.tx50Gps;
        const uint64_t total = b.present ? b.recordCount : 0;
        if (keepTo > total) return Fail(why, "the records asked for lie outside the movie");
        if (b.present) {
            const size_t r = kTx50Layout.recordBytes;
            tx50 = b;
            tx50.records.assign(b.records.begin() + ptrdiff_t(keepFrom * r),
                                b.records.begin() + ptrdiff_t(keepTo * r));
            tx50.recordCount = uint32_t(range.recordCount);
            cutTx50 = true;
        }
    }

    // Commit: nothing below can fail but an allocation, made first.
    std::vector<std::unique_ptr<sTAGNODE>> pieces;
    for (size_t k = 1; k < ranges.size(); ++k) {
        auto piece = std::make_unique<sTAGNODE>();
        piece->source = ranges[k].node->source;
        piece->leaf = 1;
        piece->payloadInSource = true;
        std::memcpy(piece->type, "mdat", 4);
        piece->origOffset = piece->offset = ranges[k].offset;
        piece->origSize = piece->size = ranges[k].length;
        pieces.push_back(std::move(piece));
    }
    movie.madeNodes.reserve(movie.madeNodes.size() + pieces.size());

    for (Edit& e : edits) {
        e.node->data = std::move(e.data);
        e.node->size = e.node->copied = e.node->data.size();
    }
    mdat.source = ranges.front().node->source;
    mdat.origOffset = mdat.offset = ranges.front().offset;
    mdat.origSize = ranges.front().length;
    mdat.size = media;
    mdat.appendHead = nullptr;
    sTAGNODE* last = nullptr;
    for (auto& piece : pieces) {
        (last ? last->appendNext : mdat.appendHead) = piece.get();
        last = piece.get();
        movie.madeNodes.push_back(std::move(piece));
    }
    uint64_t kept32 = 0;
    for (const GpsCut& g : gpsCuts) {
        g.node->gps->firstRecord = g.first;
        g.node->gps->recordCount = g.count;
        g.node->gps->recordBytes = g.count * g.node->gps->recordSize;
        kept32 += g.count;
    }
    if (!gpsCuts.empty()) {
        GpsBoxBlock& head = *gpsCuts.front().node->gps;
        head.joinedCount = gpsCuts.size() > 1 ? kept32 : 0;
        head.blockBytes = head.Count() * head.recordSize + head.headerBytes + kBlockEndBytes;
    }
    if (cutTx50) movie.tx50Gps = std::move(tx50);
    movie.duration = uint32_t(std::min<uint64_t>(movieDuration, kMax32));
    return true;
}

} // namespace

bool ReadTrackTimings(sMP4MOVIE& movie, std::vector<TrackTiming>* out, std::string* why) {
    out->clear();
    MovieLayout layout;
    if (!ReadMovieLayout(movie, &layout, why)) return false;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        const TrackBoxes& t = layout.tracks[i];
        const std::string what = TrackText(i);
        TrackTiming timing;
        sTAGNODE* hdlr = nullptr;
        for (const auto& c : t.trak->children)
            if (c->Is("mdia")) hdlr = Child(c.get(), "hdlr");
        if (hdlr && hdlr->data.size() >= 12) {
            const std::string_view handler(reinterpret_cast<const char*>(hdlr->data.data()) + 8, 4);
            timing.kind = handler == "vide"   ? TrackTiming::Kind::Video
                          : handler == "soun" ? TrackTiming::Kind::Sound
                                              : TrackTiming::Kind::Other;
        }
        MdhdBox mdhd;
        if (!mdhd.Read(*t.mdhd) || mdhd.TimeScale() == 0)
            return Fail(why, what + "its mdhd has no time scale");
        timing.timescale = mdhd.TimeScale();
        SttsBox stts;
        StszBox stsz;
        if (!stts.Read(*t.stts)) return Fail(why, what + "malformed stts");
        if (!stsz.Read(*t.stsz)) return Fail(why, what + "malformed stsz");
        const SttsSums sums = stts.Sums();
        if (sums.count != stsz.SampleCount())
            return Fail(why, what + "the stts and stsz count different samples");
        if (sums.count > kMaxTimedSamples) return Fail(why, what + "too many samples");
        timing.start.reserve(size_t(sums.count) + 1);
        uint64_t time = 0;
        for (uint32_t e = 0; e < stts.Count(); ++e)
            for (uint32_t k = 0; k < stts.SampleCount(e); ++k) {
                timing.start.push_back(time);
                time += stts.Delta(e);
            }
        timing.start.push_back(time);
        const uint32_t n = timing.Samples();
        if (t.stss) {
            StssBox stss;
            if (!stss.Read(*t.stss)) return Fail(why, what + "malformed stss");
            timing.sync.reserve(stss.Count());
            for (uint32_t k = 0; k < stss.Count(); ++k) {
                const uint32_t s = stss.SyncSample(k);
                if (s == 0 || s > n || (!timing.sync.empty() && s - 1 <= timing.sync.back()))
                    return Fail(why, what + "a sync sample lies outside the track or out of order");
                timing.sync.push_back(s - 1);
            }
        } else {
            timing.sync.resize(n);
            for (uint32_t k = 0; k < n; ++k)
                timing.sync[k] = k;
        }
        if (t.elst) {
            uint32_t edits = 0;
            int64_t mediaTime = 0;
            if (!FirstEdit(*t.elst, &edits, &mediaTime)) return Fail(why, what + "malformed elst");
            timing.editMediaTime = std::max<int64_t>(0, mediaTime);
        }
        out->push_back(std::move(timing));
    }
    return true;
}

uint32_t SampleAt(const TrackTiming& timing, uint64_t t) {
    if (timing.Samples() == 0) return 0;
    const auto end = timing.start.end() - 1; // the entries that are samples' starts
    auto it = std::upper_bound(timing.start.begin(), end, t);
    return it == timing.start.begin() ? 0 : uint32_t(it - timing.start.begin() - 1);
}

bool TrimMovie(sMP4MOVIE& movie, const TrimRange& range, std::string* why) {
    try {
        return TrimChecked(movie, range, why);
    } catch (const std::bad_alloc&) {
        // Only the plan and the new nodes were being made: the movie is as it was.
        return Fail(why, "out of memory");
    }
}

} // namespace playcore
