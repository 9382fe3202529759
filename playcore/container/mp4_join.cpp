#include "playcore/container/mp4_join.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "playcore/container/boxes/mdhd_box.h"
#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/stco_box.h"
#include "playcore/container/boxes/stsc_box.h"
#include "playcore/container/boxes/stss_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/chunk_list.h"
#include "playcore/container/failure.h"
#include "playcore/container/gps_layout.h"
#include "playcore/container/mp4_tracks.h"
#include "playcore/container/mp4_write.h"

namespace playcore {

namespace {

std::string TrackText(size_t i) {
    return "track " + std::to_string(i + 1) + ": ";
}

void PutBE32(std::vector<uint8_t>& to, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    to.insert(to.end(), b, b + 4);
}

// A payload that replaces a node's copy when the join is committed.
struct Edit {
    sTAGNODE* node;
    std::vector<uint8_t> data;
};

// Everything JoinMovies changes, worked out before any of it is applied.
struct JoinPlan {
    std::vector<Edit> edits;
    sTAGNODE* targetGps = nullptr; // TX40 family: the GPS nodes to chain
    sTAGNODE* appendedGps = nullptr;
    uint64_t joinedGpsCount = 0;
    bool joinTx50 = false;
    std::vector<uint8_t> tx50Records;
    uint32_t tx50Count = 0;
};

// A table box payload: T's version/flags, the summed count, T's entries,
// then the appended entries as given. False when the box would not fit the
// 32-bit size field.
template <uint32_t Words>
bool ConcatTable(const sTAGNODE& t, const TableBox<Words>& tv,
                 const std::vector<uint8_t>& appendedEntries, uint32_t appendedCount,
                 std::vector<uint8_t>* out) {
    const uint64_t count = uint64_t(tv.Count()) + appendedCount;
    const uint64_t bytes = 8 + count * Words * 4;
    if (count > kMax32 || bytes + 8 > kMax32) return false;
    out->reserve(static_cast<size_t>(bytes));
    out->assign(t.data.begin(), t.data.begin() + 4);
    PutBE32(*out, static_cast<uint32_t>(count));
    out->insert(out->end(), tv.Entries(), tv.Entries() + tv.EntryBytes());
    out->insert(out->end(), appendedEntries.begin(), appendedEntries.end());
    return true;
}

// The appended table's entries, each entry's first field passed through shift
// (which may refuse a value).
template <uint32_t Words, typename Shift>
bool ShiftedEntries(const TableBox<Words>& av, Shift shift, std::vector<uint8_t>* out) {
    out->assign(av.Entries(), av.Entries() + av.EntryBytes());
    for (uint32_t i = 0; i < av.Count(); ++i) {
        uint64_t value = av.Word(i, 0);
        if (!shift(&value) || value > kMax32) return false;
        StoreBE32(out->data() + size_t(i) * Words * 4, static_cast<uint32_t>(value));
    }
    return true;
}

bool PlanStts(size_t i, const TrackBoxes& t, const TrackBoxes& a, JoinPlan& plan,
              std::string* why) {
    SttsBox tv, av;
    if (!tv.Read(*t.stts) || !av.Read(*a.stts)) return Fail(why, TrackText(i) + "malformed stts");
    if (av.Count() == 0) return Fail(why, TrackText(i) + "the appended stts has no entries");
    std::vector<uint8_t> entries(av.Entries(), av.Entries() + av.EntryBytes());
    Edit e{t.stts, {}};
    if (!ConcatTable(*t.stts, tv, entries, av.Count(), &e.data))
        return Fail(why, TrackText(i) + "the joined stts is too large");
    plan.edits.push_back(std::move(e));
    return true;
}

bool PlanStsz(size_t i, const TrackBoxes& t, const TrackBoxes& a, JoinPlan& plan,
              uint32_t* targetSamples, uint32_t* appendedSamples, std::string* why) {
    StszBox tz, az;
    if (!tz.Read(*t.stsz) || !az.Read(*a.stsz)) return Fail(why, TrackText(i) + "malformed stsz");
    const uint32_t tc = tz.ConstantSize(), ac = az.ConstantSize();
    const uint32_t tn = tz.SampleCount(), an = az.SampleCount();
    *targetSamples = tn;
    *appendedSamples = an;
    const uint64_t count = uint64_t(tn) + an;
    if (count > kMax32) return Fail(why, TrackText(i) + "too many samples");
    Edit e{t.stsz, {}};
    if (tz.HasTable() && az.HasTable()) {
        // One size per sample in both: T's sizes followed by the appended ones.
        if (12 + count * 4 + 8 > kMax32) return Fail(why, TrackText(i) + "too many samples");
        e.data.reserve(static_cast<size_t>(12 + count * 4));
        e.data.assign(t.stsz->data.begin(), t.stsz->data.begin() + 8);
        PutBE32(e.data, static_cast<uint32_t>(count));
        e.data.insert(e.data.end(), tz.Table(), tz.Table() + size_t(tn) * 4);
        e.data.insert(e.data.end(), az.Table(), az.Table() + size_t(an) * 4);
    } else if (tc == ac) {
        // The same size for every sample of both: only the count grows.
        e.data = t.stsz->data;
        StoreBE32(e.data.data() + 8, static_cast<uint32_t>(count));
    } else {
        // Keeping T's table here would give the appended samples wrong sizes.
        return Fail(why, TrackText(i) + "the sample sizes of the two movies cannot be combined");
    }
    plan.edits.push_back(std::move(e));
    return true;
}

bool PlanStss(size_t i, const TrackBoxes& t, const TrackBoxes& a, uint32_t targetSamples,
              JoinPlan& plan, std::string* why) {
    if (!t.stss && !a.stss) return true; // every sample of both is a sync sample
    if (!t.stss || !a.stss)
        return Fail(why, TrackText(i) + "only one of the movies has a sync-sample table");
    StssBox tv, av;
    if (!tv.Read(*t.stss) || !av.Read(*a.stss)) return Fail(why, TrackText(i) + "malformed stss");
    if (av.Count() == 0) return Fail(why, TrackText(i) + "the appended stss has no entries");
    // Sample numbers of the appended movie follow T's samples.
    std::vector<uint8_t> entries;
    const auto afterTarget = [&](uint64_t* v) {
        *v += targetSamples;
        return true;
    };
    if (!ShiftedEntries(av, afterTarget, &entries))
        return Fail(why, TrackText(i) + "sync-sample numbers would not fit 32 bits");
    Edit e{t.stss, {}};
    if (!ConcatTable(*t.stss, tv, entries, av.Count(), &e.data))
        return Fail(why, TrackText(i) + "the joined stss is too large");
    plan.edits.push_back(std::move(e));
    return true;
}

bool PlanStscStco(size_t i, const TrackBoxes& t, const TrackBoxes& a, const sTAGNODE& appendedMdat,
                  uint64_t outputBase, JoinPlan& plan, std::string* why) {
    StscBox tsc, asc;
    StcoBox tco, aco;
    if (!tsc.Read(*t.stsc) || !asc.Read(*a.stsc)) return Fail(why, TrackText(i) + "malformed stsc");
    if (!tco.Read(*t.stco) || !aco.Read(*a.stco)) return Fail(why, TrackText(i) + "malformed stco");
    if (aco.Count() > 0 && asc.Count() == 0)
        return Fail(why, TrackText(i) + "the appended stsc has no entries");
    // The appended chunks are numbered after T's chunks. On the recorder's
    // files (one stsc entry per chunk) T's chunk count is its entry count;
    // counting chunks keeps other layouts right too.
    const uint64_t targetChunks = tco.Count();
    std::vector<uint8_t> entries;
    const auto afterTarget = [&](uint64_t* v) {
        *v += targetChunks;
        return true;
    };
    if (!ShiftedEntries(asc, afterTarget, &entries))
        return Fail(why, TrackText(i) + "chunk numbers would not fit 32 bits");
    Edit sc{t.stsc, {}};
    if (!ConcatTable(*t.stsc, tsc, entries, asc.Count(), &sc.data))
        return Fail(why, TrackText(i) + "the joined stsc is too large");

    // In the output the appended media follow T's media (outputBase is where
    // they start), each chunk at the same distance from the start of its
    // media data as in its own file.
    const uint64_t from = appendedMdat.origOffset, length = appendedMdat.origSize;
    bool outside = false;
    if (!ShiftedEntries(
            aco,
            [&](uint64_t* v) {
                if (*v < from || *v - from > length) {
                    outside = true;
                    return false;
                }
                *v = outputBase + (*v - from);
                return true;
            },
            &entries))
        return Fail(why, TrackText(i) + (outside ? "a chunk lies outside the media data"
                                                 : "chunk offsets would pass 4 GiB"));
    Edit co{t.stco, {}};
    if (!ConcatTable(*t.stco, tco, entries, aco.Count(), &co.data))
        return Fail(why, TrackText(i) + "the joined stco is too large");
    plan.edits.push_back(std::move(sc));
    plan.edits.push_back(std::move(co));
    return true;
}

// Adds the appended box's duration to T's. A 32-bit media duration that
// would overflow (71.6 minutes at the recorder's 1,000,000 units a second)
// makes the mdhd a version-1 box; any other overflow fails.
bool PlanDuration(sTAGNODE& t, const sTAGNODE& a, JoinPlan& plan, const std::string& what,
                  std::string* why) {
    FieldAt ft, fa;
    if (!DurationField(t, &ft) || !DurationField(a, &fa))
        return Fail(why, what + "unsupported " + std::string(t.Type()) + " box");
    const uint64_t vt = LoadField(t.data, ft), va = LoadField(a.data, fa);
    if (va > std::numeric_limits<uint64_t>::max() - vt)
        return Fail(why, what + "the joined duration overflows");
    const uint64_t sum = vt + va;
    Edit e{&t, {}};
    if (ft.bytes == 4 && sum > kMax32) {
        MdhdBox mdhd;
        if (!t.Is("mdhd") || !mdhd.Read(t))
            return Fail(why, what + "the joined " + std::string(t.Type()) +
                                 " duration does not fit 32 bits");
        e.data = mdhd.Version1Payload(sum);
    } else {
        e.data = t.data;
        StoreField(e.data, ft, sum);
    }
    plan.edits.push_back(std::move(e));
    return true;
}

bool InChain(const sTAGNODE& head, const sTAGNODE& node) {
    for (const sTAGNODE* a = head.appendHead; a; a = a->appendNext)
        if (a == &node) return true;
    return false;
}

void AppendToChain(sTAGNODE& head, sTAGNODE& node) {
    if (!head.appendHead) {
        head.appendHead = &node;
        return;
    }
    sTAGNODE* last = head.appendHead;
    while (last->appendNext)
        last = last->appendNext;
    last->appendNext = &node;
}

// Whether two mvhd or two mdhd boxes count time in the same units: the
// appended durations and sample deltas are taken over as they are.
bool SameTimeScale(const sTAGNODE& t, const sTAGNODE& a) {
    FieldAt ft, fa;
    return TimeScaleField(t, &ft) && TimeScaleField(a, &fa) &&
           LoadField(t.data, ft) == LoadField(a.data, fa);
}

// The GPS block node of a TX40 family movie, if any.
sTAGNODE* GpsNode(sMP4MOVIE& movie) {
    for (sTAGNODE* node : movie.List(kGps0List))
        if (node->gps) return node;
    return nullptr;
}

bool PlanGps(sMP4MOVIE& target, sMP4MOVIE& appended, JoinPlan& plan, std::string* why) {
    if (target.family == RecorderFamily::TX40) {
        sTAGNODE* gt = GpsNode(target);
        sTAGNODE* ga = GpsNode(appended);
        if (!gt || !ga) return true; // records are carried only between two blocks
        if (ga->appendHead || ga->appendNext || InChain(*gt, *ga) ||
            ga->gps->recordSize != gt->gps->recordSize)
            return Fail(why, "the GPS blocks cannot be joined");
        const uint64_t count = gt->gps->Count() + ga->gps->recordCount;
        if (count > 0xFFFF)
            return Fail(why, "the joined GPS block would hold 65536 records or more");
        plan.targetGps = gt;
        plan.appendedGps = ga;
        plan.joinedGpsCount = count;
        return true;
    }
    const Tx50GpsBlock& bt = target.tx50Gps;
    const Tx50GpsBlock& ba = appended.tx50Gps;
    if (!bt.present || !ba.present) return true;
    const uint64_t count = uint64_t(bt.recordCount) + ba.recordCount;
    if (count >= 65536) return Fail(why, "the joined GPS block would hold 65536 records or more");
    plan.joinTx50 = true;
    plan.tx50Count = static_cast<uint32_t>(count);
    plan.tx50Records.reserve(bt.records.size() + ba.records.size());
    plan.tx50Records = bt.records;
    plan.tx50Records.insert(plan.tx50Records.end(), ba.records.begin(), ba.records.end());
    return true;
}

bool JoinMoviesChecked(sMP4MOVIE& target, sMP4MOVIE& appended, std::string* why) {
    if (&target == &appended) return Fail(why, "a movie cannot be joined to itself");
    if (target.family != appended.family)
        return Fail(why, "the movies were opened as different recorder families");
    MovieLayout lt, la;
    std::string reason;
    if (!ReadMovieLayout(target, &lt, &reason)) return Fail(why, "first movie: " + reason);
    if (!ReadMovieLayout(appended, &la, &reason)) return Fail(why, "appended movie: " + reason);
    if (lt.tracks.empty()) return Fail(why, "the movies have no tracks");
    if (lt.tracks.size() != la.tracks.size())
        return Fail(why, "the movies have different numbers of tracks");
    if (la.mdat->appendHead || la.mdat->appendNext || la.mdat->size != la.mdat->origSize ||
        InChain(*lt.mdat, *la.mdat))
        return Fail(why, "the appended movie is itself joined or appended elsewhere");

    // Where T's media data lie in the output: after the boxes before its mdat.
    // T's own chunk offsets stay right only when that is where they lie in T's
    // file, that is when nothing before the mdat grows (the recorder writes
    // ftyp, mdat, moov; a moov before the mdat would grow with every join).
    uint64_t payload = 8;
    for (size_t k = 0; k < lt.mdatIndex; ++k)
        payload += NodeSize(*target.root.children[k]);
    if (payload != lt.mdat->origOffset || lt.moovIndex < lt.mdatIndex)
        return Fail(why, "the first movie's media data would move (its moov comes first)");
    const uint64_t mediaBytes = lt.mdat->size; // M: T's media so far
    if (8 + mediaBytes + la.mdat->size > kMax32)
        return Fail(why, "the joined media data would reach 4 GiB");
    const uint64_t outputBase = payload + mediaBytes;

    if (!SameTimeScale(*lt.mvhd, *la.mvhd))
        return Fail(why, "the movies count time in different units");
    for (size_t i = 0; i < lt.tracks.size(); ++i)
        if (!SameTimeScale(*lt.tracks[i].mdhd, *la.tracks[i].mdhd))
            return Fail(why, TrackText(i) + "the tracks count time in different units");

    // Every chunk of both movies must lie inside its own file's media data:
    // the output copies exactly those bytes, and a chunk offset pointing
    // elsewhere (into the moov, past the end) would carry other bytes as
    // samples. T's tables are checked while T is still its own file alone;
    // afterwards its appended parts were checked when they were appended.
    {
        std::vector<ChunkRecord> chunks;
        for (size_t i = 0; i < lt.tracks.size(); ++i) {
            std::string reason;
            chunks.clear();
            if (!lt.mdat->appendHead && !ExpandChunks(lt.tracks[i], 0, *lt.mdat, &chunks, &reason))
                return Fail(why, "first movie: " + TrackText(i) + reason);
            chunks.clear();
            if (!ExpandChunks(la.tracks[i], 0, *la.mdat, &chunks, &reason))
                return Fail(why, "appended movie: " + TrackText(i) + reason);
        }
    }

    JoinPlan plan;
    bool anySamples = false;
    for (size_t i = 0; i < lt.tracks.size(); ++i) {
        const TrackBoxes& t = lt.tracks[i];
        const TrackBoxes& a = la.tracks[i];
        uint32_t targetSamples = 0, appendedSamples = 0;
        if (!PlanStsz(i, t, a, plan, &targetSamples, &appendedSamples, why)) return false;
        anySamples = anySamples || appendedSamples > 0;
        if (!PlanStts(i, t, a, plan, why) || !PlanStss(i, t, a, targetSamples, plan, why) ||
            !PlanStscStco(i, t, a, *la.mdat, outputBase, plan, why))
            return false;
        const std::string what = TrackText(i);
        if (!PlanDuration(*t.tkhd, *a.tkhd, plan, what, why) ||
            !PlanDuration(*t.mdhd, *a.mdhd, plan, what, why))
            return false;
        if (bool(t.elst) != bool(a.elst))
            return Fail(why, what + "only one of the movies has an edit list");
        if (t.elst && !PlanDuration(*t.elst, *a.elst, plan, what, why)) return false;
    }
    if (!anySamples) return Fail(why, "the appended movie holds no samples");
    if (!PlanDuration(*lt.mvhd, *la.mvhd, plan, "movie: ", why)) return false;
    if (!PlanGps(target, appended, plan, why)) return false;

    // Commit: nothing below can fail.
    for (Edit& e : plan.edits) {
        e.node->data = std::move(e.data);
        e.node->size = e.node->copied = e.node->data.size();
    }
    AppendToChain(*lt.mdat, *la.mdat);
    lt.mdat->size += la.mdat->size;
    if (plan.targetGps) {
        plan.targetGps->gps->blockBytes += plan.appendedGps->gps->recordBytes;
        plan.targetGps->gps->joinedCount = plan.joinedGpsCount;
        AppendToChain(*plan.targetGps, *plan.appendedGps);
    }
    if (plan.joinTx50) {
        target.tx50Gps.records = std::move(plan.tx50Records);
        target.tx50Gps.recordCount = plan.tx50Count;
    }
    MvhdBox mvhd;
    if (mvhd.Read(*lt.mvhd) && mvhd.Version() == 0) target.duration = uint32_t(mvhd.Duration());
    return true;
}

bool WriteMovie(sMP4MOVIE& movie, const std::string& path, const std::atomic<bool>* running,
                std::string* why, OnExisting existing) {
    if (ReplacesSource(movie.root, path))
        return Fail(why, "the output would replace one of its sources");
    if (MovieOutputBytes(movie) > kMaxMappedFileSize)
        return Fail(why, "the output would be 4 GiB or larger");
    OutputFile out;
    out.StopWhenCleared(running);
    if (!out.Create(path)) return Fail(why, "cannot create a file in the output folder");
    if (WriteMovie(movie, out) && out.Prepare()) {
        if (existing == OnExisting::Replace ? out.Publish() : out.PublishNoReplace()) return true;
        return Fail(why, errno == EEXIST ? path + ": exists"
                                         : "the output could not be renamed into place");
    }
    const bool cancelled = out.stopped();
    out.Abandon();
    return Fail(why, cancelled ? "cancelled" : "reading a source or writing the output failed");
}

} // namespace

std::unique_ptr<sMULTIMOVIE> OpenJoin(const std::string& frontPath, const std::string& rearPath,
                                      RecorderFamily family) {
    if (frontPath.empty() && rearPath.empty()) return nullptr;
    auto join = std::make_unique<sMULTIMOVIE>();
    join->family = family;
    if (!frontPath.empty() && !(join->front = OpenMp4Movie(frontPath, true, family)))
        return nullptr;
    if (!rearPath.empty() && !(join->rear = OpenMp4Movie(rearPath, true, family))) return nullptr;
    join->valid = 1;
    return join;
}

bool AppendToJoin(sMULTIMOVIE& join, const std::string& frontPath, const std::string& rearPath,
                  std::string* why) {
    if (!join.valid) return true;
    struct Camera {
        const std::string& path;
        std::unique_ptr<sMP4MOVIE>& target;
        std::vector<std::unique_ptr<sMP4MOVIE>>& appended;
        std::unique_ptr<sMP4MOVIE> movie;
    };
    Camera cameras[2] = {{frontPath, join.front, join.frontAppended, nullptr},
                         {rearPath, join.rear, join.rearAppended, nullptr}};
    for (Camera& c : cameras) {
        if (c.path.empty()) continue;
        if (!c.target) {
            join.valid = 0;
            return Fail(why, c.path + ": the join was not opened with this camera");
        }
        if (!(c.movie = OpenMp4Movie(c.path, true, join.family))) {
            join.valid = 0;
            return Fail(why, c.path + ": cannot be opened as a movie");
        }
    }
    for (Camera& c : cameras) {
        if (!c.movie) continue;
        std::string reason;
        if (!JoinMovies(*c.target, *c.movie, &reason)) {
            join.valid = 0;
            return Fail(why, c.path + ": " + reason);
        }
        c.appended.push_back(std::move(c.movie));
    }
    return true;
}

bool JoinMovies(sMP4MOVIE& target, sMP4MOVIE& appended, std::string* why) {
    try {
        return JoinMoviesChecked(target, appended, why);
    } catch (const std::bad_alloc&) {
        // Only the plan was being built: target is unchanged.
        return Fail(why, "out of memory");
    }
}

bool WriteJoined(sMULTIMOVIE& join, JoinCamera camera, const std::string& outputPath,
                 const std::atomic<bool>* running, std::string* why, OnExisting existing) {
    std::unique_ptr<sMP4MOVIE>& movie = camera == JoinCamera::Front ? join.front : join.rear;
    auto& appended = camera == JoinCamera::Front ? join.frontAppended : join.rearAppended;
    bool ok = false;
    if (!join.valid)
        Fail(why, "an append failed; the joined movie is not written");
    else if (!movie)
        Fail(why, "the join holds no movie of that camera");
    else
        ok = WriteMovie(*movie, outputPath, running, why, existing);
    // The joined tree points into the appended movies: it goes first.
    movie.reset();
    appended.clear();
    return ok;
}

JoinResult JoinFiles(const std::vector<std::string>& inputs, const std::string& output,
                     RecorderFamily family, const std::atomic<bool>* running, std::string* why,
                     OnExisting existing) {
    if (inputs.empty()) {
        Fail(why, "nothing to join");
        return kJoinFailed;
    }
    auto join = OpenJoin(inputs[0], std::string(), family);
    if (!join) {
        Fail(why, inputs[0] + ": cannot be opened as a movie");
        return kJoinFailed;
    }
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (running && !running->load()) return kJoinCancelled;
        if (!AppendToJoin(*join, inputs[i], std::string(), why)) return kJoinFailed;
    }
    if (running && !running->load()) return kJoinCancelled;
    if (WriteJoined(*join, JoinCamera::Front, output, running, why, existing)) return kJoinWritten;
    return running && !running->load() ? kJoinCancelled : kJoinFailed;
}

} // namespace playcore
