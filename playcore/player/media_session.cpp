#include "playcore/player/media_session.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "playcore/player/audio_decoder.h"
#include "playcore/player/packet_queue.h"

namespace playcore {

namespace {

// The demuxer reads ahead while any stream holds less than this...
constexpr size_t kMinQueuedPackets = 25;
constexpr MediaTime kMinQueuedTime = kUnitsPerSecond;
// ...unless the queues hold this much in all.
constexpr size_t kMaxQueuedBytes = 32u << 20;
// Frame period assumed for a stream whose file states no frame rate.
constexpr MediaTime kDefaultFramePeriod = kUnitsPerSecond / 30;

} // namespace

struct VideoBranch {
    int stream = -1;
    int fileIndex = -1;
    PacketQueue packets;
    std::unique_ptr<VideoDecoder> decoder;
    std::unique_ptr<FrameScheduler> scheduler;
};

struct SoundBranch {
    int stream = -1;
    int fileIndex = -1;
    PacketQueue packets;
    std::unique_ptr<AudioDecoder> decoder;
    std::shared_ptr<AudioRing> ring;
    std::unique_ptr<AudioOutput> output;
    ~SoundBranch() {
        if (output) output->Close();
    }
};

class SessionCore : public SchedulerListener, public std::enable_shared_from_this<SessionCore> {
public:
    explicit SessionCore(SessionOptions o) : options(std::move(o)) {}

    // Immutable after construction / OpenSource (before the worker starts).
    const SessionOptions options;
    const std::shared_ptr<MediaEventQueue> events = std::make_shared<MediaEventQueue>();
    const std::shared_ptr<PresentationClock> clock = std::make_shared<PresentationClock>();
    std::unique_ptr<MediaSource> source;
    std::atomic<bool> abort{false};
    // Serial of the newest seek request; decoders skip packets of older ones.
    std::atomic<uint64_t> latestSerial{0};

    mutable std::mutex control; // guards every field down to `threadsMutex`
    std::condition_variable workerWake;
    bool workerStarted = false;
    std::optional<SessionTopology> pendingTopology;
    bool resolved = false;
    // Branches, installed once by the worker; the objects stay put until the
    // core is destroyed, so threads may use them without the lock.
    std::vector<std::unique_ptr<VideoBranch>> videos;
    std::unique_ptr<SoundBranch> sound;
    struct SeekRequest {
        bool pending = false;
        uint64_t serial = 0;
        MediaTime target = 0;
    } seek;
    uint64_t serial = 0;
    enum class Run { Holding, Starting, Running, Ended } run = Run::Holding;
    uint64_t startGeneration = 0;
    std::vector<bool> prerolled, ended;
    bool soundActive = false;      // the current or last run plays the sound
    bool deviceContinuous = false; // the audio device holds sound of the held position
    bool thinnedSinceSeek = false; // frames were left out since the last seek

    std::mutex threadsMutex; // guards the fields below
    std::condition_variable threadsDone;
    int alive = 0;
    std::vector<std::thread> threads;

    // ---- threads ----
    void Launch(std::function<void()> body) {
        std::lock_guard lock(threadsMutex);
        ++alive;
        threads.emplace_back([self = shared_from_this(), body = std::move(body)] {
            body();
            self->ThreadExited();
        });
    }
    std::function<void()> ExitHook() {
        {
            std::lock_guard lock(threadsMutex);
            ++alive;
        }
        return [self = shared_from_this()] { self->ThreadExited(); };
    }
    void ThreadExited() {
        std::lock_guard lock(threadsMutex);
        --alive;
        threadsDone.notify_all();
    }

    // ---- worker ----
    void WorkerMain();
    PlayerResult Resolve(const SessionTopology& topology,
                         std::vector<std::unique_ptr<VideoBranch>>* videosOut,
                         std::unique_ptr<SoundBranch>* soundOut);
    void Demux();
    bool DemandLocked() const;
    void SeekTo(MediaTime target);
    PacketQueue* QueueOf(int fileIndex) const;

    // ---- control (caller holds `control`) ----
    void ScrubLocked(MediaTime t);
    void StartLocked(double rate, bool thin);
    void ReleaseLocked();
    MediaTime PauseLocked();

    // ---- SchedulerListener ----
    void OnSchedulerPrerolled(int stream, uint64_t generation) override;
    void OnSchedulerEnded(int stream, uint64_t serial) override;

    int BranchOf(int stream) const {
        for (size_t i = 0; i < videos.size(); ++i)
            if (videos[i]->stream == stream) return static_cast<int>(i);
        return -1;
    }
};

// ------------------------------------------------------------------ worker

PlayerResult SessionCore::Resolve(const SessionTopology& topology,
                                  std::vector<std::unique_ptr<VideoBranch>>* videosOut,
                                  std::unique_ptr<SoundBranch>* soundOut) {
    const MediaSource& src = *source;
    for (const SessionTopology::Video& v : topology.video) {
        if (v.stream < 0 || v.stream >= src.StreamCount() ||
            src.Stream(v.stream).kind != StreamKind::Video)
            return AVERROR(EINVAL);
        auto branch = std::make_unique<VideoBranch>();
        branch->stream = v.stream;
        branch->fileIndex = src.Stream(v.stream).fileIndex;
        const AVStream* st = src.FileStream(v.stream);
        branch->packets.SetUnitsPerTick(static_cast<double>(kUnitsPerSecond) * st->time_base.num /
                                        st->time_base.den);
        branch->decoder = std::make_unique<VideoDecoder>(src, v.stream, &latestSerial);
        const PlayerResult r =
            branch->decoder->Open(options.hardwareDecode, options.decoderThreads);
        if (r < 0) return r;
        MediaTime period = src.Stream(v.stream).framePeriod;
        if (period <= 0) period = kDefaultFramePeriod;
        branch->scheduler = std::make_unique<FrameScheduler>(v.stream, clock, period, this);
        branch->scheduler->SetTarget(v.target);
        videosOut->push_back(std::move(branch));
    }
    if (topology.audioStream >= 0) {
        const int n = topology.audioStream;
        if (n >= src.StreamCount() || src.Stream(n).kind != StreamKind::Audio)
            return AVERROR(EINVAL);
        if (!src.Stream(n).decodable) return AVERROR_DECODER_NOT_FOUND;
        auto branch = std::make_unique<SoundBranch>();
        branch->stream = n;
        branch->fileIndex = src.Stream(n).fileIndex;
        const AVStream* st = src.FileStream(n);
        branch->packets.SetUnitsPerTick(static_cast<double>(kUnitsPerSecond) * st->time_base.num /
                                        st->time_base.den);
        branch->decoder = std::make_unique<AudioDecoder>(src, n, &latestSerial);
        const PlayerResult r = branch->decoder->Open();
        if (r < 0) return r;
        branch->ring =
            std::make_shared<AudioRing>(branch->decoder->SampleRate(), branch->decoder->Channels());
        if (options.makeAudioOutput) branch->output = options.makeAudioOutput();
        if (!branch->output ||
            !branch->output->Open(branch->decoder->SampleRate(), branch->decoder->Channels(),
                                  branch->ring, clock)) {
            branch->output.reset();
            return AVERROR(ENODEV);
        }
        *soundOut = std::move(branch);
    }
    return kResultOk;
}

void SessionCore::WorkerMain() {
    for (;;) {
        SessionTopology topology;
        {
            std::unique_lock lock(control);
            workerWake.wait(lock, [&] { return abort.load() || pendingTopology.has_value(); });
            if (abort) return;
            topology = std::move(*pendingTopology);
            pendingTopology.reset();
        }
        std::vector<std::unique_ptr<VideoBranch>> newVideos;
        std::unique_ptr<SoundBranch> newSound;
        const PlayerResult r = Resolve(topology, &newVideos, &newSound);
        if (r < 0) {
            events->Post({MediaEventType::TopologySet, r, 0});
            continue;
        }
        {
            std::lock_guard lock(control);
            if (abort) return; // the branches go with the locals
            // Streams without a branch are not read at all.
            AVFormatContext* format = source->Format();
            for (unsigned i = 0; i < format->nb_streams; ++i)
                format->streams[i]->discard = AVDISCARD_ALL;
            for (auto& v : newVideos)
                format->streams[v->fileIndex]->discard = AVDISCARD_DEFAULT;
            if (newSound) format->streams[newSound->fileIndex]->discard = AVDISCARD_DEFAULT;

            videos = std::move(newVideos);
            sound = std::move(newSound);
            resolved = true;
            prerolled.assign(videos.size(), false);
            ended.assign(videos.size(), false);
            for (auto& v : videos) {
                VideoBranch* b = v.get();
                Launch([b] { b->decoder->Run(&b->packets, b->scheduler.get()); });
                b->scheduler->Start(ExitHook());
            }
            if (sound) {
                SoundBranch* b = sound.get();
                Launch([b] { b->decoder->Run(&b->packets, b->ring.get()); });
            }
        }
        events->Post({MediaEventType::TopologySet, kResultOk, 0});
        events->Post({MediaEventType::TopologyStatus, kResultOk, kTopologyStatusReady});
        break;
    }
    Demux();
}

PacketQueue* SessionCore::QueueOf(int fileIndex) const {
    for (const auto& v : videos)
        if (v->fileIndex == fileIndex) return &v->packets;
    if (sound && sound->fileIndex == fileIndex) return &sound->packets;
    return nullptr;
}

// The ffplay rule: read on while some stream that has not ended holds less
// than a second (and 25 packets), unless everything queued is already large.
bool SessionCore::DemandLocked() const {
    size_t bytes = 0;
    bool hungry = false;
    auto look = [&](const PacketQueue& q) {
        bytes += q.Bytes();
        if (!q.Ended() && (q.Count() < kMinQueuedPackets || q.Duration() < kMinQueuedTime))
            hungry = true;
    };
    for (const auto& v : videos)
        look(v->packets);
    if (sound) look(sound->packets);
    return hungry && bytes < kMaxQueuedBytes;
}

void SessionCore::SeekTo(MediaTime target) {
    AVFormatContext* format = source->Format();
    int ref = -1;
    if (!videos.empty())
        ref = videos.front()->fileIndex;
    else if (sound)
        ref = sound->fileIndex;
    if (ref < 0) return;
    const AVStream* st = format->streams[ref];
    const int64_t ts = source->FromMediaTime(std::max<MediaTime>(target, 0), st->time_base);
    // The key frame at or before the target; the decoders pass over the
    // frames up to it. A target before the first key frame takes the first.
    if (av_seek_frame(format, ref, ts, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(format, ref, INT64_MIN, ts, INT64_MAX, 0);
}

void SessionCore::Demux() {
    AVFormatContext* format = source->Format();
    AVPacket* packet = av_packet_alloc();
    if (!packet) return;
    uint64_t current = 0;
    bool atEnd = false;
    while (!abort) {
        std::optional<SeekRequest> request;
        bool wanted = false;
        {
            std::unique_lock lock(control);
            if (seek.pending) {
                request = seek;
                seek.pending = false;
            } else {
                wanted = !atEnd && DemandLocked();
                if (!wanted) {
                    workerWake.wait_for(lock, std::chrono::milliseconds(10),
                                        [&] { return abort.load() || seek.pending; });
                    continue;
                }
            }
        }
        if (request) {
            SeekTo(request->target);
            current = request->serial;
            atEnd = false;
            auto flush = [&](PacketQueue& q) {
                q.Clear();
                q.Put({PacketItem::Kind::Flush, nullptr, current, request->target});
            };
            for (auto& v : videos)
                flush(v->packets);
            if (sound) flush(sound->packets);
            continue;
        }
        const int ret = av_read_frame(format, packet);
        if (abort) break;
        if (ret == AVERROR(EAGAIN)) continue;
        if (ret < 0) {
            // The end of the file, or a file that cannot be read further
            // (cut short, card removed): the streams end here.
            for (auto& v : videos)
                v->packets.Put({PacketItem::Kind::End, nullptr, current, 0});
            if (sound) sound->packets.Put({PacketItem::Kind::End, nullptr, current, 0});
            atEnd = true;
            continue;
        }
        PacketQueue* q = QueueOf(packet->stream_index);
        if (!q) {
            av_packet_unref(packet);
            continue;
        }
        AVPacket* owned = av_packet_alloc();
        if (!owned) {
            av_packet_unref(packet);
            continue;
        }
        av_packet_move_ref(owned, packet);
        q->Put({PacketItem::Kind::Packet, owned, current, 0});
    }
    av_packet_free(&packet);
}

// ----------------------------------------------------------------- control

void SessionCore::ScrubLocked(MediaTime t) {
    if (t < 0) t = 0;
    const uint64_t s = ++serial;
    latestSerial.store(s);
    clock->Hold(t);
    run = Run::Holding;
    thinnedSinceSeek = false;
    deviceContinuous = false;
    // What follows the new position is decoded whole until a thinned start.
    for (auto& v : videos)
        v->decoder->SetThin(false);
    if (sound) {
        sound->output->Pause();
        sound->output->Flush();
        sound->ring->Flush(s);
    }
    for (auto& v : videos)
        v->scheduler->Flush(s, t);
    seek = {true, s, t};
    workerWake.notify_all();
}

void SessionCore::StartLocked(double rate, bool thin) {
    if (!resolved) return;
    // Leaving thinned play: decode every frame again from an exact position.
    if (!thin && thinnedSinceSeek) ScrubLocked(clock->Now());
    for (auto& v : videos)
        v->decoder->SetThin(thin);
    if (thin) thinnedSinceSeek = true;
    const MediaTime t = clock->Now();
    const bool withSound = sound && rate == 1.0;
    if (sound && withSound) {
        if (!deviceContinuous) {
            sound->output->Flush();
            sound->ring->DiscardBefore(t);
        }
    }
    soundActive = withSound;
    clock->Arm(t, rate, withSound);
    const uint64_t generation = ++startGeneration;
    prerolled.assign(videos.size(), false);
    ended.assign(videos.size(), false);
    run = Run::Starting;
    for (auto& v : videos)
        v->scheduler->Run(generation);
    if (videos.empty()) ReleaseLocked();
}

void SessionCore::ReleaseLocked() {
    run = Run::Running;
    clock->Release();
    if (sound) {
        if (soundActive)
            sound->output->Play();
        else
            sound->output->Pause();
    }
    for (auto& v : videos)
        v->scheduler->Wake();
}

MediaTime SessionCore::PauseLocked() {
    const MediaTime t = clock->Freeze();
    if (sound) sound->output->Pause();
    bool canHold = resolved && !thinnedSinceSeek;
    for (auto& v : videos)
        canHold = canHold && v->scheduler->CanHoldAt(t);
    if (canHold) {
        for (auto& v : videos)
            v->scheduler->Hold(t);
        deviceContinuous = soundActive;
        run = Run::Holding;
    } else {
        ScrubLocked(t);
    }
    events->Post({MediaEventType::SessionPaused, kResultOk, 0});
    return t;
}

void SessionCore::OnSchedulerPrerolled(int stream, uint64_t generation) {
    std::lock_guard lock(control);
    if (generation != startGeneration || run != Run::Starting) return;
    const int b = BranchOf(stream);
    if (b < 0) return;
    prerolled[static_cast<size_t>(b)] = true;
    if (std::all_of(prerolled.begin(), prerolled.end(), [](bool p) { return p; })) ReleaseLocked();
}

void SessionCore::OnSchedulerEnded(int stream, uint64_t endSerial) {
    std::lock_guard lock(control);
    if (endSerial != serial || run != Run::Running) return;
    const int b = BranchOf(stream);
    if (b < 0) return;
    ended[static_cast<size_t>(b)] = true;
    if (!std::all_of(ended.begin(), ended.end(), [](bool e) { return e; })) return;
    run = Run::Ended;
    clock->Freeze();
    if (sound) sound->output->Pause();
    deviceContinuous = false;
    events->Post({MediaEventType::EndOfPresentation, kResultOk, 0});
}

// ------------------------------------------------------------------ facade

MediaSession::MediaSession(SessionOptions options)
    : core_(std::make_shared<SessionCore>(std::move(options))) {}

MediaSession::~MediaSession() {
    if (!closed_) Close(kCloseWaitMs);
}

std::shared_ptr<MediaEventQueue> MediaSession::Events() const {
    return core_->events;
}

PlayerResult MediaSession::OpenSource(const std::string& path, int heldFile) {
    std::lock_guard lock(core_->control);
    if (core_->source || core_->workerStarted) return kResultInvalidRequest;
    return MediaSource::Open(path, &core_->abort, &core_->source, heldFile);
}

PlayerResult MediaSession::AdoptSource(std::unique_ptr<MediaSource> source) {
    std::lock_guard lock(core_->control);
    if (!source || core_->source || core_->workerStarted) return kResultInvalidRequest;
    source->SetAbort(&core_->abort);
    core_->source = std::move(source);
    return kResultOk;
}

const MediaSource* MediaSession::Source() const {
    return core_->source.get();
}

PlayerResult MediaSession::SetTopology(SessionTopology topology) {
    std::lock_guard lock(core_->control);
    if (!core_->source || core_->resolved || core_->abort) return kResultInvalidRequest;
    core_->pendingTopology = std::move(topology);
    if (!core_->workerStarted) {
        core_->workerStarted = true;
        SessionCore* c = core_.get();
        core_->Launch([c] { c->WorkerMain(); });
    }
    core_->workerWake.notify_all();
    return kResultOk;
}

bool MediaSession::Resolved() const {
    std::lock_guard lock(core_->control);
    return core_->resolved;
}

bool MediaSession::HasSound() const {
    std::lock_guard lock(core_->control);
    return core_->sound != nullptr;
}

void MediaSession::Start(double rate, bool thin) {
    std::lock_guard lock(core_->control);
    core_->StartLocked(rate, thin);
}

void MediaSession::StartAt(MediaTime position, double rate, bool thin) {
    std::lock_guard lock(core_->control);
    if (!core_->resolved) return;
    core_->ScrubLocked(position);
    core_->StartLocked(rate, thin);
}

MediaTime MediaSession::Pause() {
    std::lock_guard lock(core_->control);
    return core_->PauseLocked();
}

void MediaSession::Scrub(MediaTime time) {
    std::lock_guard lock(core_->control);
    if (!core_->resolved) return;
    core_->ScrubLocked(time);
}

MediaTime MediaSession::Time() const {
    return core_->clock->Now();
}

bool MediaSession::ClockRunning() const {
    return core_->clock->Running();
}

void MediaSession::SetVolume(float volume) {
    std::lock_guard lock(core_->control);
    if (core_->sound) core_->sound->output->SetVolume(volume);
}

void MediaSession::SetTarget(int branch, FrameTarget* target) {
    std::lock_guard lock(core_->control);
    if (branch >= 0 && branch < static_cast<int>(core_->videos.size()))
        core_->videos[static_cast<size_t>(branch)]->scheduler->SetTarget(target);
}

SessionStats MediaSession::Stats() const {
    std::lock_guard lock(core_->control);
    SessionStats stats;
    for (const auto& v : core_->videos)
        stats.video.push_back({v->decoder->GetStats(), v->scheduler->GetStats()});
    stats.sound = core_->sound != nullptr;
    stats.soundReports = core_->clock->AudioReports();
    return stats;
}

bool MediaSession::Close(int timeoutMs) {
    if (closed_) return true;
    closed_ = true;
    SessionCore& c = *core_;
    {
        std::lock_guard lock(c.control);
        c.abort = true;
        c.workerWake.notify_all();
        for (auto& v : c.videos) {
            v->packets.Abort();
            v->scheduler->Abort();
            v->scheduler->DetachTarget();
        }
        if (c.sound) {
            c.sound->packets.Abort();
            c.sound->ring->Abort();
        }
    }
    bool done;
    {
        std::unique_lock lock(c.threadsMutex);
        done = c.threadsDone.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return c.alive == 0; });
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(c.threadsMutex);
        threads.swap(c.threads);
    }
    {
        std::lock_guard lock(c.control);
        for (auto& v : c.videos)
            done ? v->scheduler->Join() : v->scheduler->Detach();
    }
    for (std::thread& t : threads)
        done ? t.join() : t.detach();
    if (done) {
        std::lock_guard lock(c.control);
        if (c.sound) c.sound->output->Close();
    }
    c.events->Post({MediaEventType::SessionClosed, kResultOk, 0});
    c.events->ShutDown();
    return done;
}

} // namespace playcore
