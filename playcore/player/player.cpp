#include "playcore/player/player.h"

#include <algorithm>
#include <chrono>

#include "playcore/player/player_rules.h"
#include "playcore/player/qt_audio_output.h"
#include "playcore/present/presenter.h"

namespace playcore {

// Hands a branch's due frames to its presenter (on the scheduler thread).
class CPlayer::Target : public FrameTarget {
public:
    explicit Target(Presenter* presenter) : presenter_(presenter) {}
    // The level is not used: presenting only hands the picture over, and
    // the surface draws at its own pace, so late frames cost no extra work.
    void PresentFrame(std::shared_ptr<const VideoFrame> frame, int) override {
        presenter_->PresentFrame(std::move(frame));
    }

private:
    Presenter* const presenter_;
};

struct CPlayer::Branch {
    int stream = -1;
    std::unique_ptr<Presenter> presenter;
    std::unique_ptr<Target> target;
    QSize fileSize;
    int rateNum = 0, rateDen = 0;
};

std::unique_ptr<CPlayer> CPlayer::Create(int cameraIndex, PlayerWindow window0,
                                         PlayerWindow window1, ModelStates* savedModelState,
                                         PlayerOptions options) {
    std::unique_ptr<CPlayer> player(new CPlayer);
    player->cameraIndex_ = cameraIndex;
    player->window0_ = window0;
    player->window1_ = window1;
    player->notifyWindow_ = !window0.IsNull() ? window0.target : window1.target;
    player->savedModelState_ = savedModelState;
    player->options_ = std::move(options);
    return player;
}

CPlayer::~CPlayer() {
    Close();
}

void CPlayer::SetStateLocked(PlayerEvent event) {
    if (const auto next = NextPlayerState(state_.load(), event)) state_ = *next;
}

void CPlayer::Post(uint32_t message) {
    if (options_.sink && notifyWindow_) options_.sink->Post(notifyWindow_, message, 0, 0);
}

const CPlayer::Branch* CPlayer::BranchAt(int branch) const {
    if (branch < 0 || branch >= static_cast<int>(branches_.size())) return nullptr;
    return branches_[static_cast<size_t>(branch)].get();
}

PlayerResult CPlayer::BuildTopologyLocked(SessionTopology* topology) {
    const MediaSource& source = *session_->Source();
    const int count = source.StreamCount();
    int videoStreams = 0;
    for (int n = 0; n < count; ++n)
        if (source.Stream(n).kind == StreamKind::Video) ++videoStreams;
    videoStreamCount_ = 0;
    // From the last stream down: branch 0 is the file's last video stream.
    for (int n = count - 1; n >= 0; --n) {
        const StreamInfo& info = source.Stream(n);
        if (info.kind == StreamKind::Video) {
            if (videoStreamCount_ >= static_cast<int>(branches_.size())) continue;
            std::unique_ptr<Branch>& slot = branches_[static_cast<size_t>(videoStreamCount_)];
            if (!slot) {
                // Built once per file: a retry without sound keeps the presenters.
                auto branch = std::make_unique<Branch>();
                branch->stream = n;
                const int window = WindowOfBranch(videoStreamCount_);
                VideoSurface* surface =
                    window == 0 ? window0_.surface : (window == 1 ? window1_.surface : nullptr);
                branch->presenter = std::make_unique<Presenter>(surface);
                if (savedModelState_)
                    branch->presenter->LoadModelState(
                        (*savedModelState_)[static_cast<size_t>(videoStreamCount_)]);
                branch->target = std::make_unique<Target>(branch->presenter.get());
                branch->fileSize = QSize(info.width, info.height);
                branch->rateNum = info.frameRateNum;
                branch->rateDen = info.frameRateDen;
                slot = std::move(branch);
            }
            topology->video.push_back({n, slot->target.get()});
            ++videoStreamCount_;
        } else if (info.kind == StreamKind::Audio && !audioDisabled_ && topology->audioStream < 0) {
            topology->audioStream = n;
        }
    }
    hasSecondCamera_ = playcore::HasSecondCamera(options_.combinedFile, cameraIndex_, videoStreams);
    return session_->SetTopology(*topology);
}

PlayerResult CPlayer::OpenFile(const std::string& path, int heldFile,
                               std::unique_ptr<MediaSource> opened) {
    std::unique_lock lock(mutex_);
    CloseLocked(lock);
    SessionOptions so;
    so.hardwareDecode = options_.hardwareDecode;
    so.decoderThreads = options_.decoderThreads;
    so.makeAudioOutput =
        options_.makeAudioOutput ? options_.makeAudioOutput : DefaultAudioOutputFactory();
    session_ = std::make_unique<MediaSession>(std::move(so));
    SetStateLocked(PlayerEvent::SessionCreated);
    audioDisabled_ = false;

    PlayerResult r =
        opened ? session_->AdoptSource(std::move(opened)) : session_->OpenSource(path, heldFile);
    if (r >= 0) {
        SessionTopology topology;
        r = BuildTopologyLocked(&topology);
    }
    if (r < 0) {
        session_->Close(kCloseWaitMs);
        session_.reset();
        branches_ = {};
        videoStreamCount_ = 0;
        SetStateLocked(PlayerEvent::OpenFailed);
        return r;
    }
    SetStateLocked(PlayerEvent::TopologySet);
    eventThread_ = std::thread([this, events = session_->Events()] { EventLoop(events); });
    return kResultOk;
}

void CPlayer::EventLoop(std::shared_ptr<MediaEventQueue> events) {
    MediaEvent event;
    while (events->Get(&event)) {
        if (event.type == MediaEventType::SessionClosed) return;
        // Close holds the lock while it waits for the session; it is never
        // waited for here, so that the session can finish closing.
        std::unique_lock lock(mutex_, std::defer_lock);
        while (state_.load() != PlayerState::Closing && !lock.owns_lock())
            lock.try_lock_for(std::chrono::milliseconds(5));
        if (!lock.owns_lock() || state_.load() == PlayerState::Closing) continue;
        HandleEventLocked(event, lock);
    }
}

void CPlayer::HandleEventLocked(const MediaEvent& event, std::unique_lock<std::timed_mutex>& lock) {
    if (!session_) return;
    if (event.status < 0) {
        // A topology that could not be built is tried once more without the
        // sound (no audio device, or sound nobody decodes). Other failures
        // are dropped.
        if (event.type == MediaEventType::TopologySet && !audioDisabled_) {
            audioDisabled_ = true;
            SessionTopology topology;
            BuildTopologyLocked(&topology);
            SetStateLocked(PlayerEvent::NewPresentation);
        }
        return;
    }
    switch (event.type) {
    case MediaEventType::TopologySet:
        rateControl_ = true;
        break;
    case MediaEventType::TopologyStatus:
        if (event.topologyStatus != kTopologyStatusReady) break;
        displayControl_ = true;
        audioVolume_ = session_->HasSound();
        // The sound starts at the player's volume, not the device's.
        if (audioVolume_) session_->SetVolume(ChannelVolume(volume_));
        SetStateLocked(PlayerEvent::TopologyReady);
        Post(UM_MOVIE_READY);
        break;
    case MediaEventType::EndOfPresentation:
        SetStateLocked(PlayerEvent::EndOfPresentation);
        // The message follows the end by 200 ms; a close meanwhile drops it.
        closing_.wait_for(lock, std::chrono::milliseconds(kEndedMessageDelayMs),
                          [&] { return state_.load() == PlayerState::Closing; });
        if (state_.load() != PlayerState::Closing) Post(UM_MOVIE_ENDED);
        break;
    case MediaEventType::SessionPaused:
        if (audioVolume_) session_->SetVolume(ChannelVolume(volume_));
        Post(UM_MOVIE_PAUSED);
        break;
    default:
        // New presentations do not occur with a local file; stopped needs nothing.
        break;
    }
}

PlayerResult CPlayer::Play() {
    std::lock_guard lock(mutex_);
    if (!session_ || !displayControl_ || !NextPlayerState(state_.load(), PlayerEvent::Play))
        return kResultInvalidRequest;
    session_->Start(rate_, thin_);
    SetStateLocked(PlayerEvent::Play);
    return kResultOk;
}

PlayerResult CPlayer::PlayFrom(MediaTime time) {
    std::lock_guard lock(mutex_);
    const PlayerState s = state_.load();
    if (!session_ || !displayControl_ ||
        !(s == PlayerState::Started || s == PlayerState::Paused || s == PlayerState::Stopped))
        return kResultInvalidRequest;
    session_->StartAt(std::max<MediaTime>(time, 0), rate_, thin_);
    state_ = PlayerState::Started;
    return kResultOk;
}

PlayerResult CPlayer::Pause() {
    std::lock_guard lock(mutex_);
    if (!session_ || !NextPlayerState(state_.load(), PlayerEvent::Pause))
        return kResultInvalidRequest;
    session_->Pause();
    SetStateLocked(PlayerEvent::Pause);
    return kResultOk;
}

PlayerResult CPlayer::ScrubTo(MediaTime time) {
    std::lock_guard lock(mutex_);
    if (!session_ || !displayControl_) return kResultInvalidRequest;
    session_->Scrub(std::max<MediaTime>(time, 0));
    return kResultOk;
}

MediaTime CPlayer::GetTime() {
    for (int read = 0; read < kClockReads; ++read) {
        MediaTime t;
        bool started;
        {
            std::lock_guard lock(mutex_);
            if (!session_) return -1;
            t = session_->Time();
            started = state_.load() == PlayerState::Started;
        }
        // Only a clock that was just started can read 0 for a moment; a
        // clock standing at 0 answers at once.
        if (t != 0 || !started) return t;
        std::this_thread::sleep_for(std::chrono::milliseconds(kClockReadRetryMs));
    }
    return 0;
}

PlayerResult CPlayer::SetVolume(int volume) {
    std::lock_guard lock(mutex_);
    volume_ = std::clamp(volume, 0, 65535);
    if (!session_ || !audioVolume_) return kResultInvalidPointer;
    session_->SetVolume(ChannelVolume(volume_));
    return kResultOk;
}

PlayerResult CPlayer::GetVideoRect(PlayerRect* rect) const {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(0);
    if (!displayControl_ || !b || !rect) return kResultInvalidPointer;
    const VideoRect r = b->presenter->GetVideoRect();
    *rect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    return kResultOk;
}

PlayerResult CPlayer::SetVideoRect(int branch, int x, int y, int width, int height) {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (!displayControl_ || !b) return kResultInvalidPointer;
    b->presenter->SetVideoRect({x, y, x + width, y + height});
    return kResultOk;
}

PlayerResult CPlayer::Refresh(int branch) {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (!b) return kResultInvalidPointer;
    b->presenter->Redraw();
    return kResultOk;
}

void CPlayer::SaveModelState(int branch, ModelStateBlock* block) const {
    if (!block) return;
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (b)
        *block = b->presenter->SaveModelState();
    else
        block->fill(0);
}

void CPlayer::CloseLocked(std::unique_lock<std::timed_mutex>& lock) {
    displayControl_ = false;
    audioVolume_ = false;
    rateControl_ = false;
    if (session_) {
        state_ = PlayerState::Closing;
        closing_.notify_all();
        // Each camera keeps its view for the next movie.
        for (size_t i = 0; i < branches_.size(); ++i)
            if (branches_[i] && savedModelState_)
                (*savedModelState_)[i] = branches_[i]->presenter->SaveModelState();
        // At most 5 s; no frame reaches a presenter after this.
        session_->Close(kCloseWaitMs);
    }
    if (eventThread_.joinable()) {
        // The event thread may be waiting for the lock; it sees Closing,
        // drops what is left and ends with the session's closed event.
        std::thread events = std::move(eventThread_);
        lock.unlock();
        events.join();
        lock.lock();
    }
    session_.reset();
    for (auto& b : branches_)
        b.reset(); // presenters go on the UI thread, with their GL objects
    videoStreamCount_ = 0;
    hasSecondCamera_ = false;
    state_ = PlayerState::Closed;
}

PlayerResult CPlayer::Close() {
    std::unique_lock lock(mutex_);
    CloseLocked(lock);
    return kResultOk;
}

void CPlayer::SetRate(float rate, bool thin) {
    std::lock_guard lock(mutex_);
    rate_ = std::clamp(rate, kMinPlayRate, kMaxPlayRate);
    thin_ = thin;
}

float CPlayer::Rate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}

bool CPlayer::Thin() const {
    std::lock_guard lock(mutex_);
    return thin_;
}

bool CPlayer::IsReady() const {
    std::lock_guard lock(mutex_);
    return displayControl_;
}

bool CPlayer::HasSecondCamera() const {
    std::lock_guard lock(mutex_);
    return hasSecondCamera_;
}

MediaTime CPlayer::Duration() const {
    std::lock_guard lock(mutex_);
    return session_ && session_->Source() ? session_->Source()->Duration() : 0;
}

int CPlayer::VideoBranchCount() const {
    std::lock_guard lock(mutex_);
    return videoStreamCount_;
}

Presenter* CPlayer::PresenterOf(int branch) const {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    return b ? b->presenter.get() : nullptr;
}

QSize CPlayer::GetVideoSize(int branch) const {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (!b) return QSize();
    const QSize seen = b->presenter->GetVideoSize();
    return seen.isValid() && !seen.isEmpty() ? seen : b->fileSize;
}

float CPlayer::GetFramePeriod(int branch) const {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (!b || b->rateNum <= 0 || b->rateDen <= 0) return 0.0f;
    return static_cast<float>(b->rateDen) / static_cast<float>(b->rateNum);
}

PlayerResult CPlayer::EnableStream(int branch, bool on) {
    std::lock_guard lock(mutex_);
    const Branch* b = BranchAt(branch);
    if (!b) return kResultInvalidPointer;
    b->presenter->EnableStream(on);
    return kResultOk;
}

SessionStats CPlayer::Stats() const {
    std::lock_guard lock(mutex_);
    return session_ ? session_->Stats() : SessionStats{};
}

} // namespace playcore
