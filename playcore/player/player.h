#pragma once
// CPlayer: the movie player of one PlaybackEngine. It opens one movie file
// in a MediaSession (FFmpeg), routes every video stream of the file to a
// Presenter drawing into the right movie window, sends the sound to the
// audio output, carries out the engine's start, pause, scrub, rate and
// volume requests, and posts the session's milestones to the engine's movie
// window: UM_MOVIE_READY when the movie can play, UM_MOVIE_ENDED 200 ms after
// its end, UM_MOVIE_PAUSED when a pause took effect.
//
// Streams and windows: the file's streams are numbered from its last track
// down (a one-camera recording: 0 sound, 1 video; a combined recording:
// 0 sound, 1 rear video, 2 front video). Video branches are built from the
// last stream down, so branch 0 is the engine's own camera (the front camera
// of a combined recording, in window0) and branch 1 the rear camera of a
// combined recording (in window1).
//
// Threads: every operation runs on the UI thread. The session's milestones
// are handled on the player's event thread, which takes the player lock
// unless the player is closing. Nothing here waits for decoding; Close waits
// at most 5 s for the session's threads.
//
// Lock order: player lock (`mutex_`) -> session control -> scheduler,
// ring, queue and clock locks; player lock -> presenter lock -> model lock.
// Messages are posted, never sent.

#include <QSize>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/message_sink.h"
#include "playcore/models/sphere_model.h"
#include "playcore/player/media_session.h"
#include "playcore/player/player_rules.h"
#include "playcore/player/player_types.h"

namespace playcore {

class Presenter;
class VideoSurface;

// A movie window as the player sees it: where the picture is drawn and
// where the player's messages go. Either may be null.
struct PlayerWindow {
    VideoSurface* surface = nullptr;
    platform::MessageTarget target = nullptr;
    bool IsNull() const { return !surface && !target; }
};

struct PlayerOptions {
    platform::MessageSink* sink = nullptr; // receives the milestones; may be null
    // The session's combined-file flag: the open recording holds both cameras.
    bool combinedFile = false;
    // "DECODE"/"HW" = "on": try VAAPI first; software when it is not there.
    bool hardwareDecode = false;
    int decoderThreads = 0; // per video stream; 0 chooses by the machine
    // The sound output; empty: the machine's default device (Qt Multimedia).
    std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput;
};

// A rectangle as x, y, width, height (GetVideoRect).
struct PlayerRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class CPlayer {
public:
    // The engine's two 640-byte display-model blocks: copied into each new
    // presenter when its branch is built and back out when the player closes.
    using ModelStates = std::array<ModelStateBlock, 2>;

    // cameraIndex 0 front, 1 rear (the engine's camera). `savedModelState`
    // belongs to the engine and must outlive the player (may be null).
    // Initial values: rate 1.0, thinning off, volume 0, state Closed.
    static std::unique_ptr<CPlayer> Create(int cameraIndex, PlayerWindow window0,
                                           PlayerWindow window1, ModelStates* savedModelState,
                                           PlayerOptions options);
    // Closes.
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // Closes any previous file, opens `path` and hands its branches to the
    // session; state OpenPending. UM_MOVIE_READY follows when every branch
    // resolved (a topology whose sound fails is tried once more without
    // sound). A negative libavformat code when the file cannot be opened
    // (the player is Closed then). heldFile: a descriptor of path's regular
    // file the caller holds open and keeps (MediaSource::Open); -1: none.
    // opened: path's container opened ahead (MediaSource::Open), taken
    // instead of opening it here.
    PlayerResult OpenFile(const std::string& path, int heldFile = -1,
                          std::unique_ptr<MediaSource> opened = nullptr);
    // Paused or Stopped: runs from the current position at the stored rate
    // and thinning; state Started. Otherwise kResultInvalidRequest.
    PlayerResult Play();
    // The engine's restart: from `time` (exact frame) at the stored rate;
    // state Started. Refused before ready and while closing.
    PlayerResult PlayFrom(MediaTime time);
    // Started: stops the clock at its time T and shows exactly the frame at
    // T; state Paused; UM_MOVIE_PAUSED follows. Otherwise kResultInvalidRequest.
    PlayerResult Pause();
    // Shows exactly the frame at `time`, once, with the clock standing there
    // (rate 0). The state does not change.
    PlayerResult ScrubTo(MediaTime time);
    // The clock time (100-ns units). A started clock that still reads 0 is
    // read again after 10 ms, at most 10 reads in all. -1 without a session.
    MediaTime GetTime();
    // 0..65535; every sound channel gets volume / 65535. The value is kept
    // and applied whenever sound is there; kResultInvalidPointer while the
    // player has no sound to apply it to.
    PlayerResult SetVolume(int volume);
    // Destination rectangle of branch 0 as its display model holds it;
    // kResultInvalidPointer before ready.
    PlayerResult GetVideoRect(PlayerRect* rect) const;
    // Hands (x, y, x + width, y + height) to the presenter of `branch`;
    // kResultInvalidPointer before ready.
    PlayerResult SetVideoRect(int branch, int x, int y, int width, int height);
    // The presenter of `branch` draws again with its current model (a
    // changed window size is taken at that paint).
    PlayerResult Refresh(int branch);
    // The display-model state of `branch`; an absent branch gives a zeroed block.
    void SaveModelState(int branch, ModelStateBlock* block) const;
    // Releases the session (waiting at most 5 s for its threads), the
    // presenters (their model states go back to the engine's blocks) and
    // every reference; state Closed.
    PlayerResult Close();

    // ---- what the engine reads and sets besides ----
    // Stored rate and thinning; they take effect at the next Play, PlayFrom
    // or ScrubTo. Rates outside 0.25..4 are brought into it.
    void SetRate(float rate, bool thin);
    float Rate() const;
    bool Thin() const;
    // The topology is ready (the engine's "display control" is held).
    bool IsReady() const;
    PlayerState State() const { return state_.load(); }
    bool HasSecondCamera() const;
    // The movie's duration (100-ns units), 0 unknown.
    MediaTime Duration() const;
    uint32_t SeekingCapabilities() const { return kPlayerSeekingCapabilities; }
    int VideoBranchCount() const;
    // The presenter of `branch`, for the view operations; null when absent.
    // Valid until Close or the next OpenFile.
    Presenter* PresenterOf(int branch) const;
    // Native picture size of `branch` (from its frames, else from the file).
    QSize GetVideoSize(int branch) const;
    // Seconds per frame of `branch`: denominator / numerator of its frame
    // rate; 0 when unknown.
    float GetFramePeriod(int branch) const;
    // The presenter of `branch` draws (on) or consumes unseen (off) its frames.
    PlayerResult EnableStream(int branch, bool on);
    SessionStats Stats() const;

private:
    struct Branch;
    class Target;

    CPlayer() = default;
    void CloseLocked(std::unique_lock<std::timed_mutex>& lock);
    PlayerResult BuildTopologyLocked(SessionTopology* topology);
    void SetStateLocked(PlayerEvent event);
    void Post(uint32_t message);
    void EventLoop(std::shared_ptr<MediaEventQueue> events);
    void HandleEventLocked(const MediaEvent& event, std::unique_lock<std::timed_mutex>& lock);
    const Branch* BranchAt(int branch) const;

    // Set by Create, read-only afterwards.
    int cameraIndex_ = 0;
    PlayerWindow window0_, window1_;
    platform::MessageTarget notifyWindow_ = nullptr;
    ModelStates* savedModelState_ = nullptr;
    PlayerOptions options_;

    mutable std::timed_mutex mutex_; // the player lock: guards every field below
    std::unique_ptr<MediaSession> session_;
    std::array<std::unique_ptr<Branch>, 2> branches_; // video branches in build order
    int videoStreamCount_ = 0;                        // branches built so far
    bool hasSecondCamera_ = false;
    bool audioDisabled_ = false;  // a topology failed: the next one leaves the sound out
    bool rateControl_ = false;    // the topology was set (rate and clock usable)
    bool displayControl_ = false; // the topology is ready
    bool audioVolume_ = false;    // ready with a sound branch
    float rate_ = 1.0f;
    bool thin_ = false;
    int volume_ = 0;
    std::thread eventThread_;             // started by OpenFile, joined by Close (UI thread)
    std::condition_variable_any closing_; // wakes the end-of-movie delay when closing

    // Written under the lock; read without it by the event thread, which must
    // not wait for the lock while Close holds it.
    std::atomic<PlayerState> state_{PlayerState::Closed};
};

} // namespace playcore
