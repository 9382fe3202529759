#include "kinetta/clips/clip_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/clips/source_digests.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/output_files.h"
#include "platform/files.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_trim.h"
#include "playcore/container/mp4_write.h"
#include "util/sha256.h"
#include "util/text.h"

namespace kinetta {

namespace {

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

// Files a span may run through on either side of the recording: far more
// than 120 s of the shortest recordings the recorder writes.
constexpr int kMaxChainFiles = 64;
constexpr double kSlack = 1e-9;

std::string Name(const std::string& path) {
    return std::string(kutil::FileNameOf(path));
}

std::string Seconds3(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

// Why a walk along the neighbours stopped short of the span.
struct WalkStop {
    enum { None, NoNeighbour, Unreadable, Gap } reason = None;
    std::string neighbour; // its file name
    double gap = 0;        // seconds
};

std::string EdgeNote(const WalkStop& stop, bool start, const std::string& edgeFile) {
    const std::string side = start ? "前" : "次";
    const std::string edge =
        start ? edgeFile + " の先頭から始まります。" : edgeFile + " の末尾で終わります。";
    switch (stop.reason) {
    case WalkStop::NoNeighbour:
        return std::string(start ? "前に続く" : "後に続く") + "録画がないため、" + edge;
    case WalkStop::Unreadable:
        return side + "の録画 " + stop.neighbour + " を読めないため、" + edge;
    case WalkStop::Gap: {
        char gap[32];
        std::snprintf(gap, sizeof gap, "%.1f", std::fabs(stop.gap));
        return side + "の録画 " + stop.neighbour + " との間に " + gap + " 秒の" +
               (stop.gap >= 0 ? "空き" : "重なり") + "があるため、" + edge;
    }
    case WalkStop::None:
        break;
    }
    return {};
}

// One camera's chain: its own file, and as many files before and after as
// the span needs and that follow without a gap.
bool PlanCamera(const ClipRequest& r, ClipCamera camera, const std::string& path,
                const ClipSourceFile* known, ClipCameraPlan* out, std::string* why) {
    out->camera = camera;
    std::vector<ClipSourceFile> files(1);
    if (known)
        files[0] = *known;
    else if (!ReadClipSource(path, r.family, &files[0], why))
        return false;
    size_t current = 0;
    const double own = files[0].facts.Duration();
    const double t = std::clamp(r.moment, 0.0, own);

    WalkStop startStop, endStop;
    double need = r.before - t;
    while (need > kSlack) {
        if (current >= kMaxChainFiles) break;
        const ClipSourceFile& first = files.front();
        const std::string prev = NeighbourFile(first.facts.path, r.family, -1);
        if (prev.empty()) {
            startStop.reason = WalkStop::NoNeighbour;
            break;
        }
        ClipSourceFile f;
        if (!ReadClipSource(prev, r.family, &f)) {
            startStop = {WalkStop::Unreadable, Name(prev), 0};
            break;
        }
        const FollowTest test =
            Follows(f.facts, Name(prev), first.facts, Name(first.facts.path),
                    f.facts.recordFrames.empty() ? NameRealPerMovieSecond(Name(prev), r.family)
                                                 : f.realPerMovieSecond);
        if (!test.follows) {
            startStop = {WalkStop::Gap, Name(prev), test.gapSeconds};
            break;
        }
        need -= f.facts.Duration();
        files.insert(files.begin(), std::move(f));
        ++current;
    }
    need = t + r.after - own;
    for (int n = 0; need > kSlack && n < kMaxChainFiles; ++n) {
        const ClipSourceFile& last = files.back();
        const std::string next = NeighbourFile(last.facts.path, r.family, +1);
        if (next.empty()) {
            endStop.reason = WalkStop::NoNeighbour;
            break;
        }
        ClipSourceFile f;
        if (!ReadClipSource(next, r.family, &f)) {
            endStop = {WalkStop::Unreadable, Name(next), 0};
            break;
        }
        const FollowTest test =
            Follows(last.facts, Name(last.facts.path), f.facts, Name(next),
                    last.facts.recordFrames.empty()
                        ? NameRealPerMovieSecond(Name(last.facts.path), r.family)
                        : last.realPerMovieSecond);
        if (!test.follows) {
            endStop = {WalkStop::Gap, Name(next), test.gapSeconds};
            break;
        }
        need -= f.facts.Duration();
        files.push_back(std::move(f));
    }

    std::vector<MovieFacts> facts;
    for (const ClipSourceFile& f : files) {
        out->chain.push_back(f.facts.path);
        facts.push_back(f.facts);
    }
    out->current = current;
    if (!PlanSpan(facts, current, t, r.before, r.after, &out->span))
        return Fail(why, path + ": a recording of the span has no frames");
    const ClipPart& a = out->span.parts.front();
    const ClipPart& b = out->span.parts.back();
    out->firstFileName = Name(out->chain[a.file]);
    out->lastFileName = Name(out->chain[b.file]);
    out->firstSeconds = facts[a.file].frameStart[a.firstFrame];
    out->lastSeconds = facts[b.file].frameStart[size_t(b.lastFrame) + 1];
    if (out->span.cutAtStart) {
        if (startStop.reason == WalkStop::None) startStop.reason = WalkStop::NoNeighbour;
        out->startNote = EdgeNote(startStop, true, out->firstFileName);
    }
    if (out->span.cutAtEnd) {
        if (endStop.reason == WalkStop::None) endStop.reason = WalkStop::NoNeighbour;
        out->endNote = EdgeNote(endStop, false, out->lastFileName);
    }
    return true;
}

// Whether the join carries the GPS records of a movie appended to first: a
// block in both (the join takes records only from one block into another).
bool HasBlock(playcore::sMP4MOVIE& movie) {
    if (movie.family == RecorderFamily::TX50) return movie.tx50Gps.present;
    for (playcore::sTAGNODE* n : movie.List(playcore::kGps0List))
        if (n->gps) return true;
    return false;
}

uint64_t BlockRecords(playcore::sMP4MOVIE& movie) {
    if (movie.family == RecorderFamily::TX50)
        return movie.tx50Gps.present ? movie.tx50Gps.recordCount : 0;
    for (playcore::sTAGNODE* n : movie.List(playcore::kGps0List))
        if (n->gps) return n->gps->recordCount;
    return 0;
}

// Frames of a movie's first picture track; 0 when it has none.
uint64_t PictureFrames(playcore::sMP4MOVIE& movie) {
    std::vector<playcore::TrackTiming> timings;
    if (!playcore::ReadTrackTimings(movie, &timings)) return 0;
    for (const playcore::TrackTiming& t : timings)
        if (t.kind == playcore::TrackTiming::Kind::Video) return t.Samples();
    return 0;
}

// One camera's clip as a movie in memory: its files joined, then trimmed.
// The join keeps the files open until the movie is written.
std::unique_ptr<playcore::sMULTIMOVIE> BuildCameraMovie(const ClipRequest& r,
                                                        const ClipCameraPlan& c, std::string* why) {
    const std::vector<ClipPart>& parts = c.span.parts;
    auto join = playcore::OpenJoin(c.chain[parts.front().file], std::string(), r.family);
    if (!join) {
        Fail(why, c.chain[parts.front().file] + ": cannot be opened as a movie");
        return nullptr;
    }
    // Each file's frames and GPS records as it stands alone, taken before a
    // join adds the next file's to the first.
    struct Own {
        uint64_t frames;
        bool block;
        uint64_t records;
    };
    const auto own = [](playcore::sMP4MOVIE& m) {
        return Own{PictureFrames(m), HasBlock(m), HasBlock(m) ? BlockRecords(m) : 0};
    };
    std::vector<Own> files{own(*join->front)};
    for (size_t k = 1; k < parts.size(); ++k) {
        std::string reason;
        if (!playcore::AppendToJoin(*join, c.chain[parts[k].file], std::string(), &reason)) {
            Fail(why, reason);
            return nullptr;
        }
        files.push_back(own(*join->frontAppended.back()));
    }
    // In the joined movie each file's frames follow the ones before; its
    // records follow too when the join carried them (a block in the first
    // file and in this one).
    playcore::TrimRange range;
    range.firstFrame = parts.front().firstFrame;
    uint64_t frames = 0, records = 0;
    bool started = false;
    for (size_t k = 0; k < parts.size(); ++k) {
        const ClipPart& p = parts[k];
        if (p.lastFrame >= files[k].frames) {
            Fail(why, c.chain[p.file] + ": the movie changed since the clip was planned");
            return nullptr;
        }
        if (k + 1 == parts.size()) {
            if (frames + p.lastFrame > 0xFFFFFFFFull) {
                Fail(why, "the joined movie holds too many frames");
                return nullptr;
            }
            range.lastFrame = uint32_t(frames + p.lastFrame);
        }
        frames += files[k].frames;
        if (!files[0].block || !files[k].block) continue;
        if (p.firstRecord + p.recordCount > files[k].records) {
            Fail(why, c.chain[p.file] + ": the GPS records changed since the clip was planned");
            return nullptr;
        }
        if (p.recordCount > 0 && !started) {
            range.firstRecord = records + p.firstRecord;
            started = true;
        }
        range.recordCount += p.recordCount;
        records += files[k].records;
    }
    std::string reason;
    if (!playcore::TrimMovie(*join->front, range, &reason)) {
        Fail(why, c.output + ": " + reason);
        return nullptr;
    }
    return join;
}

// A name as a line of a SHA-256 tool's check list: a name holding a
// backslash or a line break is escaped and the line starts with a backslash
// (the tools' own convention), so no name can make a line of its own.
std::string DigestLine(const std::string& sha, const std::string& name) {
    std::string escaped;
    bool escape = false;
    for (char ch : name) {
        if (ch == '\\') {
            escaped += "\\\\";
            escape = true;
        } else if (ch == '\n') {
            escaped += "\\n";
            escape = true;
        } else if (ch == '\r') {
            escaped += "\\r";
            escape = true;
        } else {
            escaped += ch;
        }
    }
    return (escape ? "\\" : "") + sha + "  " + escaped + "\n";
}

// A name or path inside a text line: line breaks shown as "\n".
std::string OneLine(const std::string& text) {
    std::string out;
    for (char ch : text)
        out += ch == '\n'   ? std::string("\\n")
               : ch == '\r' ? std::string("\\r")
                            : std::string(1, ch);
    return out;
}

std::string DateTimeText(const playcore::RecordTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", unsigned(t.year),
                  unsigned(t.month), unsigned(t.day), unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    return text;
}

// The SHA-256 of an output taken while it is written: a thread reads the
// temporary file as far as the writer has put bytes in it
// (OutputFile::WatchBytesInFile; the file is only appended to) and hashes
// them in order, so that the clip is hashed by the time its writing and its
// sync are done, from the page cache, as a reader of the finished file would.
class FollowingHash {
public:
    FollowingHash() = default;
    FollowingHash(const FollowingHash&) = delete;
    FollowingHash& operator=(const FollowingHash&) = delete;
    ~FollowingHash() { Stop(); }

    // After out.Create: opens its temporary file and follows it.
    bool Start(playcore::OutputFile& out, const std::atomic<bool>* running) {
        fd_ = ::open(out.temporaryPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) return false;
        running_ = running;
        out_ = &out;
        out.WatchBytesInFile([this](uint64_t bytes) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                available_ = bytes;
            }
            more_.notify_one();
        });
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    // The writer is done: the output holds size bytes.
    void Finished(uint64_t size) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            total_ = size;
            available_ = size;
            finished_ = true;
        }
        more_.notify_one();
    }
    // Waits for the digest; empty when the output could not be read to its
    // size or the work was stopped.
    std::string Result() {
        if (thread_.joinable()) thread_.join();
        return digest_;
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        more_.notify_one();
        if (thread_.joinable()) thread_.join();
        if (out_) out_->WatchBytesInFile(nullptr);
        out_ = nullptr;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    void Run() {
        kutil::Sha256 hash;
        std::vector<uint8_t> buffer(1u << 20);
        uint64_t done = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            more_.wait(lock, [&] { return stop_ || finished_ || available_ > done; });
            if (stop_ || (running_ && !running_->load())) return;
            const uint64_t until = available_;
            const bool last = finished_;
            lock.unlock();
            while (done < until) {
                if (running_ && !running_->load()) return;
                const size_t want = size_t(std::min<uint64_t>(until - done, buffer.size()));
                const ssize_t n = ::pread(fd_, buffer.data(), want, off_t(done));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return; // the file holds less than was written
                hash.Update(buffer.data(), size_t(n));
                done += uint64_t(n);
            }
            lock.lock();
            if (last && done == total_) {
                digest_ = kutil::Sha256::Hex(hash.Finish());
                return;
            }
        }
    }

    int fd_ = -1;
    const std::atomic<bool>* running_ = nullptr;
    playcore::OutputFile* out_ = nullptr; // watched; outlives this
    std::mutex mutex_;
    std::condition_variable more_;
    uint64_t available_ = 0, total_ = 0; // guarded by mutex_
    bool finished_ = false, stop_ = false;
    std::string digest_; // written by the thread before it ends
    std::thread thread_;
};

std::string CameraText(ClipCamera c) {
    return c == ClipCamera::Front  ? "前方カメラ"
           : c == ClipCamera::Rear ? "後方カメラ"
                                   : "前方・後方カメラ";
}

} // namespace

ClipRequest RequestForEntry(const RecordingEntry& entry, RecorderFamily family) {
    ClipRequest r;
    r.family = family;
    r.combined = !entry.frontName.empty() && IsCombinedName(entry.frontName, family);
    r.frontPath = entry.frontPath;
    r.rearPath = r.combined ? std::string() : entry.rearPath;
    r.telemetryPath = entry.frontPath.empty() ? entry.rearPath : entry.frontPath;
    return r;
}

bool PlanClip(const ClipRequest& r, ClipPlan* plan, std::string* why,
              const ClipSourceFile* telemetry) {
    *plan = ClipPlan{};
    plan->request = r;
    if (!platform::IsDirectory(r.folder)) return Fail(why, r.folder + ": not a folder");
    if (r.telemetryPath.empty() || (r.frontPath.empty() && r.rearPath.empty()))
        return Fail(why, "no recording was given");
    ClipSourceFile read;
    if (telemetry && telemetry->facts.path != r.telemetryPath) telemetry = nullptr;
    if (!telemetry && !ReadClipSource(r.telemetryPath, r.family, &read, why)) return false;
    const ClipSourceFile& tele = telemetry ? *telemetry : read;
    if (!(r.moment >= 0) || r.moment >= tele.facts.Duration())
        return Fail(why, "the moment " + Seconds3(r.moment) + " s lies outside " +
                             Name(r.telemetryPath) + " (" + Seconds3(tele.facts.Duration()) +
                             " s)");

    // The moment: the record the viewer shows at its frame.
    ClipMomentInfo& m = plan->moment;
    m.frame = tele.facts.FrameAt(r.moment);
    const int32_t rec =
        size_t(m.frame) < tele.frameRecord.size() ? tele.frameRecord[size_t(m.frame)] : -1;
    if (rec >= 0 && size_t(rec) < tele.gps.size()) {
        const playcore::GpsRecord& g = tele.gps[size_t(rec)];
        const int64_t recordFrame = tele.facts.recordFrames[size_t(rec)];
        const double since =
            r.moment -
            tele.facts.frameStart[size_t(std::clamp<int64_t>(recordFrame, 0, tele.facts.Frames()))];
        m.hasRecord = true;
        m.validFix = g.valid == 1;
        m.time = AddSeconds(g.time, std::lround(std::max(0.0, since) * tele.realPerMovieSecond));
        m.latitude = g.latitude;
        m.longitude = g.longitude;
        m.speed = g.speed;
    }
    if (m.hasRecord && m.time.year >= 2000) {
        m.name.fromGps = true;
        m.name.time = m.time;
    } else {
        int number = 0, start = 0;
        const std::string name = Name(r.telemetryPath);
        NameNumberAndTime(name, &number, &start);
        m.name.fileNumber = number;
        m.name.secondsOfDay =
            start + int(std::lround(r.moment * NameRealPerMovieSecond(name, r.family)));
    }

    std::vector<std::pair<ClipCamera, std::string>> cameras;
    if (r.combined) {
        cameras.emplace_back(ClipCamera::Combined, r.frontPath);
    } else {
        if (!r.frontPath.empty()) cameras.emplace_back(ClipCamera::Front, r.frontPath);
        if (!r.rearPath.empty()) cameras.emplace_back(ClipCamera::Rear, r.rearPath);
    }
    for (const auto& [camera, path] : cameras) {
        ClipCameraPlan c;
        if (!PlanCamera(r, camera, path, path == r.telemetryPath ? &tele : nullptr, &c, why))
            return false;
        plan->cameras.push_back(std::move(c));
    }

    // The first stem none of whose files exists (without regard to case:
    // the folder may be a card's).
    const platform::FolderIndex folder = platform::FolderIndex::Read(r.folder);
    for (int n = 1; n < 10000 && plan->stem.empty(); ++n) {
        const std::string stem = ClipStem(m.name, r.kindWord, n);
        bool free = !folder.Find(ClipIndexName(stem));
        for (ClipCamera c : {ClipCamera::Front, ClipCamera::Rear, ClipCamera::Combined})
            free = free && !folder.Find(ClipFileName(stem, c));
        if (free) plan->stem = stem;
    }
    if (plan->stem.empty()) return Fail(why, r.folder + ": no free name for the clip");
    for (ClipCameraPlan& c : plan->cameras)
        c.output = kutil::JoinPath(r.folder, ClipFileName(plan->stem, c.camera));
    plan->indexPath = kutil::JoinPath(r.folder, ClipIndexName(plan->stem));
    return true;
}

ClipResult WriteClip(const ClipPlan& plan, const std::atomic<bool>* running,
                     const std::function<void(int, int)>& progress, bool checkRoom,
                     ClipWritten* written, std::string* why, DigestCache* digests) {
    if (!digests) digests = &DigestCache::Shared();
    *written = ClipWritten{};
    const auto stopped = [running] { return running && !running->load(); };
    const int steps = int(plan.cameras.size()) + 1;
    std::vector<std::unique_ptr<playcore::sMULTIMOVIE>> movies;
    uint64_t bytes = 0;
    try {
        for (const ClipCameraPlan& c : plan.cameras) {
            movies.push_back(BuildCameraMovie(plan.request, c, why));
            if (!movies.back()) return ClipResult::Failed;
            bytes += playcore::MovieOutputBytes(*movies.back()->front);
        }
    } catch (const std::bad_alloc&) {
        Fail(why, "out of memory");
        return ClipResult::Failed;
    }
    if (checkRoom && !HasRoomFor(plan.request.folder, bytes)) {
        Fail(why, plan.request.folder + ": not enough free space");
        return ClipResult::NoRoom;
    }

    // Every file the clips are cut from: its digest from the cache when the
    // cache knows this version of it, else the file is read and hashed (and
    // the digest kept) while the clips are written, by as many threads as
    // there are processors; the page cache serves the copy and the hashing
    // the same bytes.
    std::vector<std::string> sources;
    for (const ClipCameraPlan& c : plan.cameras)
        for (const ClipPart& p : c.span.parts)
            if (std::find(sources.begin(), sources.end(), c.chain[p.file]) == sources.end())
                sources.push_back(c.chain[p.file]);
    std::atomic<bool> hashing{true};
    std::atomic<size_t> nextSource{0};
    std::vector<std::string> sourceDigests(sources.size());
    std::vector<size_t> unknown;
    for (size_t i = 0; i < sources.size(); ++i) {
        FileIdentity id;
        const int fd = ::open(sources[i].c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 && IdentifyFile(fd, sources[i], &id) && TrustedFileSystem(fd))
            if (std::optional<std::string> sha = digests->Find(id)) sourceDigests[i] = *sha;
        if (fd >= 0) ::close(fd);
        if (sourceDigests[i].empty()) unknown.push_back(i);
    }
    std::vector<std::thread> hashers;
    const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    for (size_t k = 0; k < std::min(threads, unknown.size()); ++k)
        hashers.emplace_back([&] {
            for (size_t i; hashing.load() && (i = nextSource.fetch_add(1)) < unknown.size();)
                sourceDigests[unknown[i]] =
                    DigestOfSource(sources[unknown[i]], digests, &hashing).sha256;
        });
    struct StopHashers {
        std::atomic<bool>& flag;
        std::vector<std::thread>& threads;
        void Join() {
            for (std::thread& t : threads)
                if (t.joinable()) t.join();
        }
        ~StopHashers() {
            flag.store(false);
            Join();
        }
    } stopHashers{hashing, hashers};

    // Each clip is hashed as it is written (FollowingHash), the threads
    // stopped on the way out. Each clip's sync runs on a thread of its own
    // from the moment its last byte is in the file: the next clip is
    // written, and the index (whose digests are known as soon as the last
    // clip is written) is written and synced while the disk takes the clips,
    // so that the disk's work for all of them is waited for once.
    std::vector<playcore::OutputFile> outputs(plan.cameras.size() + 1);
    std::vector<std::unique_ptr<FollowingHash>> followers;
    std::unique_ptr<bool[]> synced(new bool[plan.cameras.size()]());
    struct Syncs {
        std::vector<std::thread> threads;
        void Join() {
            for (std::thread& t : threads)
                if (t.joinable()) t.join();
        }
        ~Syncs() { Join(); }
    } syncs;
    for (size_t i = 0; i < plan.cameras.size(); ++i) {
        const ClipCameraPlan& c = plan.cameras[i];
        playcore::OutputFile& out = outputs[i];
        out.StopWhenCleared(running);
        out.WriteBackAsWritten(true);
        if (platform::Exists(c.output)) {
            Fail(why, c.output + ": exists");
            return ClipResult::Failed;
        }
        if (!out.Create(c.output)) {
            Fail(why, c.output + ": cannot create a file in the folder");
            return ClipResult::Failed;
        }
        followers.push_back(std::make_unique<FollowingHash>());
        if (!followers.back()->Start(out, running)) {
            Fail(why, c.output + ": the clip cannot be read back");
            return ClipResult::Failed;
        }
        if (!playcore::WriteMovie(*movies[i]->front, out) || !out.Flush()) {
            out.Abandon();
            if (stopped()) return ClipResult::Cancelled;
            Fail(why, c.output + ": reading a source or writing the clip failed");
            return ClipResult::Failed;
        }
        followers.back()->Finished(out.written());
        movies[i].reset(); // the sources are released
        written->bytes += out.written();
        syncs.threads.emplace_back([&out, ok = &synced[i]] { *ok = out.Prepare(); });
        if (progress) progress(int(i) + 1, steps);
    }
    for (size_t i = 0; i < plan.cameras.size(); ++i) {
        const std::string sha = followers[i]->Result();
        if (sha.empty()) {
            if (stopped()) return ClipResult::Cancelled;
            Fail(why, plan.cameras[i].output + ": the clip cannot be read back");
            return ClipResult::Failed;
        }
        written->clips.push_back({plan.cameras[i].output, sha});
    }
    stopHashers.Join();
    if (stopped()) return ClipResult::Cancelled;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sourceDigests[i].empty()) {
            Fail(why, sources[i] + ": cannot be read to its end");
            return ClipResult::Failed;
        }
        // By full path, so that the index checks the source from wherever it is read.
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(sources[i], error);
        written->sources.push_back(
            {error ? sources[i] : full.lexically_normal().string(), sourceDigests[i]});
    }

    written->indexPath = plan.indexPath;
    const std::string text = ClipIndexText(plan, *written);
    playcore::OutputFile& index = outputs.back();
    if (!index.Create(plan.indexPath) || !index.Write(text.data(), text.size()) ||
        !index.Prepare()) {
        index.Abandon();
        Fail(why, plan.indexPath + ": cannot be written");
        return ClipResult::Failed;
    }
    written->bytes += text.size();
    syncs.Join();
    followers.clear();
    for (size_t i = 0; i < plan.cameras.size(); ++i) {
        if (!synced[i]) {
            if (stopped()) return ClipResult::Cancelled;
            Fail(why, plan.cameras[i].output + ": reading a source or writing the clip failed");
            return ClipResult::Failed;
        }
    }
    if (stopped()) return ClipResult::Cancelled;

    // All of them under their final names, or none: a name taken meanwhile
    // fails the clip and takes back the files published a moment ago.
    std::vector<std::string> published;
    for (playcore::OutputFile& out : outputs) {
        const std::string target = out.finalPath();
        if (!out.PublishNoReplace()) {
            for (const std::string& p : published)
                ::unlink(p.c_str());
            Fail(why, target + ": a file of this name appeared while the clip was written");
            return ClipResult::Failed;
        }
        published.push_back(target);
    }
    if (progress) progress(steps, steps);
    return ClipResult::Written;
}

std::string ClipIndexText(const ClipPlan& plan, const ClipWritten& written) {
    const ClipRequest& r = plan.request;
    const ClipMomentInfo& m = plan.moment;
    std::string t;
    t += "kinetta イベント切り出し\n";
    t += "イベント: " + std::string(ClipKindText(r.kindWord)) + " (" + r.kindWord + ")\n";
    if (m.name.fromGps) {
        t += "日時: " + DateTimeText(m.time) + "\n";
    } else {
        const int s = ((m.name.secondsOfDay % 86400) + 86400) % 86400;
        char text[96];
        std::snprintf(text, sizeof text,
                      "日時: GPS の記録なし (ファイル番号 %03d, 名前の時刻から %02d:%02d:%02d)\n",
                      m.name.fileNumber % 1000, s / 3600, s / 60 % 60, s % 60);
        t += text;
    }
    char text[160];
    if (m.hasRecord && m.validFix) {
        std::snprintf(text, sizeof text, "位置: %s %.6f / %s %.6f\n",
                      m.latitude < 0 ? "南緯" : "北緯", std::fabs(m.latitude),
                      m.longitude < 0 ? "西経" : "東経", std::fabs(m.longitude));
        t += text;
        std::snprintf(text, sizeof text, "速度: %.0f km/h\n", m.speed);
        t += text;
    } else {
        t += m.hasRecord ? "位置: なし (GPS の測位なし)\n速度: なし (GPS の測位なし)\n"
                         : "位置: なし (GPS の記録なし)\n速度: なし (GPS の記録なし)\n";
    }
    t += "録画: " + OneLine(Name(r.telemetryPath)) + " の " + Seconds3(r.moment) +
         " 秒 (フレーム " + std::to_string(m.frame) + ")\n";
    std::snprintf(text, sizeof text, "範囲: 前 %g 秒 / 後 %g 秒\n", r.before, r.after);
    t += text;
    if (!r.events.empty()) {
        t += "イベント一覧:\n";
        for (const ClipEvent& e : r.events) {
            const std::string_view word = ClipKindWord(e.kind);
            t += "  " + std::string(ClipKindText(word)) + " (" + std::string(word) +
                 "): " + OneLine(Name(r.telemetryPath)) + " の " + Seconds3(e.seconds) +
                 " 秒 (フレーム " + std::to_string(e.frame) + ", 記録 " + std::to_string(e.record) +
                 ")\n";
        }
    }
    for (const ClipCameraPlan& c : plan.cameras) {
        const ClipSpan& s = c.span;
        t += CameraText(c.camera) + ": " + OneLine(Name(c.output)) + "\n";
        t += "  " + OneLine(c.firstFileName) + " の " + Seconds3(c.firstSeconds) + " 秒から " +
             OneLine(c.lastFileName) + " の " + Seconds3(c.lastSeconds) + " 秒まで (" +
             Seconds3(s.endSeconds - s.startSeconds) + " 秒, " + std::to_string(s.Frames()) +
             " フレーム, GPS 記録 " + std::to_string(s.Records()) + " 件)\n";
        t += "  イベントの " + Seconds3(-s.startSeconds) + " 秒前から " + Seconds3(s.endSeconds) +
             " 秒後まで\n";
        if (!c.startNote.empty()) t += "  注記: " + OneLine(c.startNote) + "\n";
        if (!c.endNote.empty()) t += "  注記: " + OneLine(c.endNote) + "\n";
        for (const ClipPart& p : s.parts)
            t += "  元ファイル: " + OneLine(c.chain[p.file]) + "\n";
    }
    t += "SHA-256 (切り出したファイルと元ファイル; sha256sum -c で確かめられます):\n";
    for (const ClipFileDigest& d : written.clips)
        t += DigestLine(d.sha256, Name(d.path));
    for (const ClipFileDigest& d : written.sources)
        t += DigestLine(d.sha256, d.path);
    return t;
}

std::vector<ClipRequest> RequestsForEvents(const ClipRequest& recording,
                                           const std::vector<ClipEvent>& events,
                                           const std::vector<std::string>& kinds) {
    std::vector<ClipRequest> out;
    double end = 0;
    for (const ClipEvent& e : events) {
        const std::string_view word = ClipKindWord(e.kind);
        if (std::find(kinds.begin(), kinds.end(), word) == kinds.end()) continue;
        if (!out.empty() && e.seconds - recording.before < end) {
            // Overlaps the clip before: that clip runs on to this event's end.
            ClipRequest& last = out.back();
            end = std::max(end, e.seconds + recording.after);
            last.after = end - last.moment;
            last.events.push_back(e);
            continue;
        }
        ClipRequest r = recording;
        r.moment = e.seconds;
        r.kindWord = std::string(word);
        r.events = {e};
        end = e.seconds + recording.after;
        out.push_back(std::move(r));
    }
    return out;
}

bool RequestForTarget(const RecordingEntry& entry, RecorderFamily family, const ClipTarget& target,
                      const ClipSeconds& seconds, const std::array<bool, 10>& listed,
                      ClipRequest* out, std::string* why) {
    ClipRequest r = RequestForEntry(entry, family);
    r.before = seconds.before;
    r.after = seconds.after;
    if (r.telemetryPath.empty()) return Fail(why, "no recording was given");
    ClipSourceFile source;
    if (!ReadClipSource(r.telemetryPath, family, &source, why)) return false;
    const uint32_t frames = source.facts.Frames();
    if (frames == 0) return Fail(why, Name(r.telemetryPath) + ": no frames");
    const int64_t frame = std::clamp<int64_t>(target.frame, 0, int64_t(frames) - 1);
    const double at = source.facts.frameStart[size_t(frame)];

    std::vector<ClipEvent> events;
    for (const ClipEvent& e : source.events)
        if (e.entry >= 0 && size_t(e.entry) < listed.size() && listed[size_t(e.entry)])
            events.push_back(e);
    const ClipEvent* chosen = nullptr;
    switch (target.at) {
    case ClipAt::Frame:
        break;
    case ClipAt::EventOfKind:
        for (const ClipEvent& e : events)
            if (e.kind == target.kind &&
                (!chosen || std::llabs(e.frame - frame) < std::llabs(chosen->frame - frame)))
                chosen = &e;
        if (!chosen)
            return Fail(why, Name(r.telemetryPath) + ": no event of kind " +
                                 std::to_string(target.kind) + " is listed");
        break;
    case ClipAt::NearestEvent:
        for (const ClipEvent& e : events) {
            const double d = e.seconds - at;
            if (d < -double(seconds.before) || d > double(seconds.after)) continue;
            if (!chosen || std::fabs(d) < std::fabs(chosen->seconds - at)) chosen = &e;
        }
        break;
    case ClipAt::FirstEvent:
        for (const ClipEvent& e : events)
            if (!chosen || e.frame < chosen->frame) chosen = &e;
        break;
    }
    if (chosen) {
        r.moment = chosen->seconds;
        r.kindWord = std::string(ClipKindWord(chosen->kind));
        r.events = {*chosen};
    } else {
        r.moment = target.at == ClipAt::FirstEvent ? 0.0 : at;
        r.kindWord = std::string(kMomentKindWord);
        r.events.clear();
    }
    *out = std::move(r);
    return true;
}

std::uint32_t RunClipJob(const std::vector<ClipRequest>& requests, bool remember, JobControl& job,
                         ClipJobReport* report) {
    ClipJobReport local;
    ClipJobReport& rep = report ? *report : local;
    const int total = int(requests.size());
    for (int i = 0; i < total; ++i) {
        if (!job.Running()) return UM_FILEOP_DONE; // cancelled: nothing more, no message
        ClipPlan plan;
        std::string why;
        if (!PlanClip(requests[size_t(i)], &plan, &why)) {
            rep.why = why;
            job.SetFailure(std::string(UiString(kStrClipFailed)));
            return UM_FILEOP_DONE;
        }
        ClipWritten written;
        const ClipResult result = WriteClip(plan, job.RunningFlag(), nullptr, true, &written, &why);
        if (result == ClipResult::Cancelled || !job.Running()) return UM_FILEOP_DONE;
        if (result != ClipResult::Written) {
            rep.why = why;
            job.SetFailure(std::string(
                UiString(result == ClipResult::NoRoom ? kStrNoSpaceForOutput : kStrClipFailed)));
            return UM_FILEOP_DONE;
        }
        rep.plans.push_back(std::move(plan));
        rep.written.push_back(std::move(written));
        job.Progress(i + 1, total);
    }
    if (remember && !requests.empty()) RememberFolder(kClipFolderKey, requests.front().folder);
    // The completion names the clips and their indexes in the folder.
    std::vector<std::string> files;
    for (const ClipWritten& w : rep.written) {
        for (const ClipFileDigest& c : w.clips)
            files.push_back(c.path);
        if (!w.indexPath.empty()) files.push_back(w.indexPath);
    }
    if (!requests.empty()) job.SetOutputs(requests.front().folder, std::move(files));
    job.Progress(100, 100);
    job.SetCompleted();
    return UM_FILEOP_DONE;
}

} // namespace kinetta
