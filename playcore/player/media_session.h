#pragma once
// MediaSession: the media pipeline of one player on FFmpeg. It stands where
// the platform's media session, source and topology stood: it opens the
// file, resolves the branches it is given (a decoder and a FrameScheduler
// per video stream, a decoder, an AudioRing and an AudioOutput for the
// sound), runs them against one PresentationClock and reports its
// milestones as MediaEvents.
//
// Threads (per session):
//  * worker: resolves the topology, then demuxes: reads packets into one
//    PacketQueue per branch, pacing itself by their fill; performs seeks
//    (the newest request wins, so fast scrubbing does not pile up seeks);
//  * one decoder thread per branch (VideoDecoder, AudioDecoder; libavcodec
//    adds its own frame threads);
//  * one scheduler thread per video branch (FrameScheduler), presenting;
//  * the audio output's own thread (inside the AudioOutput).
// Control calls (Start, Pause, Scrub, ...) come from the player under its
// lock and return at once; nothing here waits for decoding except Close,
// which waits for the threads at most the time it is given.
//
// Locks: `control_` of the core guards the playback state and the branch
// list (lock order: player lock -> control -> scheduler / ring / queue /
// clock locks, each a leaf). Scheduler callbacks take `control_` with no
// scheduler lock held.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playcore/player/audio_output.h"
#include "playcore/player/frame_scheduler.h"
#include "playcore/player/media_event.h"
#include "playcore/player/media_source.h"
#include "playcore/player/video_decoder.h"

namespace playcore {

struct SessionOptions {
    bool hardwareDecode = false;
    int decoderThreads = 0; // per video decoder; 0 chooses by the machine
    // Makes the output of a sound branch; none (or an output whose Open
    // fails) fails the topology, as a missing audio device does.
    std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput;
};

struct SessionTopology {
    struct Video {
        int stream = -1;               // the player's stream numbering
        FrameTarget* target = nullptr; // may be null; see MediaSession::SetTarget
    };
    std::vector<Video> video; // branch i of the session is video[i]
    int audioStream = -1;     // -1: no sound branch
};

struct SessionStats {
    struct Branch {
        VideoDecoder::Stats decoder;
        FrameScheduler::Stats scheduler;
    };
    std::vector<Branch> video;
    bool sound = false;        // the topology has a sound branch
    uint64_t soundReports = 0; // reports of the heard sound that drove the clock
};

class SessionCore;

class MediaSession {
public:
    explicit MediaSession(SessionOptions options);
    // Closes (waiting at most kCloseWaitMs) unless Close was called.
    ~MediaSession();
    MediaSession(const MediaSession&) = delete;
    MediaSession& operator=(const MediaSession&) = delete;

    // The events of this session, in order. Shut down after SessionClosed.
    std::shared_ptr<MediaEventQueue> Events() const;

    // Opens the file's container (on the calling thread; no decoding).
    // heldFile: as MediaSource::Open.
    PlayerResult OpenSource(const std::string& path, int heldFile = -1);
    // Takes a container opened ahead (MediaSource::Open on another thread)
    // instead of OpenSource; its reads give up with this session's.
    PlayerResult AdoptSource(std::unique_ptr<MediaSource> source);
    // The opened file, or null. Immutable after OpenSource.
    const MediaSource* Source() const;

    // Resolves the branches on the worker thread. Posts TopologySet (with
    // the failure code of the first branch that could not be built) and,
    // when every branch was built, TopologyStatus kTopologyStatusReady. May
    // be called again after a failure (the retry without sound).
    PlayerResult SetTopology(SessionTopology topology);
    bool Resolved() const;
    // Whether the resolved topology has a sound branch.
    bool HasSound() const;

    // ---- playback (any thread; return at once) ----
    // Runs from the held position at `rate` (0.25..4); `thin` decodes key frames only.
    void Start(double rate, bool thin);
    // Seeks to `position` exactly, then runs.
    void StartAt(MediaTime position, double rate, bool thin);
    // Stops the clock where it stands and shows exactly the frame of that
    // time; posts SessionPaused. Returns the time held.
    MediaTime Pause();
    // Seeks to `time` and shows exactly the frame of that time, once; the
    // clock stands at `time` (rate 0).
    void Scrub(MediaTime time);
    MediaTime Time() const;
    bool ClockRunning() const;
    void SetVolume(float volume);
    // Routes video branch `branch` to `target` (null: frames are consumed unseen).
    void SetTarget(int branch, FrameTarget* target);
    SessionStats Stats() const;

    // Stops every thread; no target is called after it returns. Waits at
    // most `timeoutMs` for the threads; those still busy then (a read stuck
    // on a removed card) are left to end by themselves and take the rest of
    // the session with them. Posts SessionClosed. Returns whether every
    // thread ended in time.
    bool Close(int timeoutMs);

private:
    std::shared_ptr<SessionCore> core_;
    bool closed_ = false; // owner's thread only
};

} // namespace playcore
