#pragma once
// PlaybackSession: the main window's playback interface. It owns two
// PlaybackEngines (engine 0 the front camera, engine 1 the rear camera) and
// routes every request to one engine, the other, or both, keeping the two
// aligned when both are addressed; it gives the telemetry views access to the
// GPS and acceleration records the engines loaded.
//
// cam is a camera selection: 0 front, 1 rear, 2 both. When the open
// recording is one file holding both cameras (CombinedFile), engine 0 alone
// plays it and cam (0 for 2) is the camera index inside that file.
// Positions and lengths are frames of the addressed engine; frames given for
// both cameras are engine-0 frames.
//
// Results: 0 failure, 1 success, 2 too short to play (OpenMovies only); a
// boolean result is 1 when any addressed engine succeeded. An engine that is
// not ready is skipped (or answers 0) without touching the other one.
// Nothing throws across this interface.
//
// Threads: the UI thread makes every call, except PrefetchTelemetry and
// PrepareMovies (the read-ahead threads) and the telemetry walks bracketed by
// LockTelemetry/UnlockTelemetry. DragView is safe from any thread as well. Locks are per
// engine (see playback_engine.h); operations on both engines take them
// engine 0 first.
//
// Messages: each player posts UM_MOVIE_READY (0x83EB), UM_MOVIE_ENDED
// (0x83EA) and UM_MOVIE_PAUSED (0x83E9), wParam and lParam 0, from its own
// threads to the message target of its engine's window0 through the sink
// given to Configure.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "playcore/session/playback_engine.h"
#include "playcore/session/session_rules.h"

namespace playcore {

// What the engines need besides their windows; set before InitEngine.
struct SessionConfig {
    platform::MessageSink* sink = nullptr; // receives the players' messages
    // The sound output of each player; empty: the machine's default device.
    std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput;
    int decoderThreads = 0; // per video stream; 0 chooses by the machine
    int logicalDpi = 96;    // of the movie windows' screen (overlay font height)
};

class PlaybackSession {
public:
    // The process-wide session.
    static PlaybackSession& Instance();

    // A separate session (tests); the viewer uses Instance().
    PlaybackSession();
    // Terminates the engines that are still ready.
    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // ---- start-up and shutdown ----
    void Configure(SessionConfig config);
    // InitEngine (slot 0) on engine k with its windows; the engine is ready
    // when it succeeds. window1 is the second movie area for a combined file.
    bool InitEngine(int k, PlayerWindow window0, PlayerWindow window1 = {},
                    const std::string& fontFace = kOverlayFontFace);
    // Both engines: front area to engine 0, rear area to engine 1. The number
    // of engines made ready.
    int InitEngines(PlayerWindow front, PlayerWindow rear,
                    const std::string& fontFace = kOverlayFontFace);
    // ReleaseTrackCache, then TermEngine on every ready engine (not ready afterwards).
    void TermEngines();
    bool IsReady(int k) const;
    // Engine k is ready and its last OpenMovie succeeded.
    bool Opened(int k) const;

    // ---- what the main window sets on every recording change ----
    void SetCombinedFile(bool combined);
    bool CombinedFile() const { return combinedFile_.load(); }
    // Hands CombinedFile to the players made from now on (slot 44 on both engines).
    void SetCombinedFlag(bool flag);
    bool CombinedForPresenter() const { return combinedForPresenter_.load(); }
    // Replaces engine k's target windows (slot 3).
    bool SetWindows(int k, PlayerWindow window0, PlayerWindow window1 = {});
    // "DECODE"/"HW" (slot 17 on both engines).
    void SetHardwareDecode(bool on);
    // Recorder family the records of every later load, prefetch and track read
    // are decoded with: true TX40 family, false TX50 family. The TX40 family
    // until the application decides the family of the run and hands it over
    // (at start-up, after the product dialog, at a change of source).
    void SetFamilyFlag(bool tx40);
    bool FamilyFlag() const { return familyFlag_.load(); }

    // ---- direct access for the movie windows' view operations ----
    PlaybackEngine& Engine(int k) { return engines_[Index(k)]; }
    const EngineOps& Ops(int k) const { return ops_[Index(k)]; }
    // Puts an operation table of the caller's behind engine k (the seam where
    // tests stand in for an engine); before InitEngine.
    void SetOps(int k, const EngineOps& ops) { ops_[Index(k)] = ops; }
    // The engine and camera index a camera selection reaches now.
    EngineCamera Route(int cam) const;
    int Master() const;
    // Diagnostic: waits on engine locks not yet followed by their release.
    int32_t LockWaiters() const { return lockWaiters_.load(); }

    // ---- the session operations ----
    int IsRecordingComplete(const std::string& path);
    int OpenMovies(const std::string& frontPath, const std::string& rearPath);
    int CloseMovies();
    int LoadTelemetry(const std::string& frontPath, const std::string& rearPath);
    // Clears both engines' records. The records read ahead by PrefetchTelemetry
    // stay where they are of the recording about to be opened (engine 0 keeps a
    // prefetch of keepFront, engine 1 of keepRear), so that its LoadTelemetry
    // takes them; every other prefetch is dropped.
    int ReleaseTelemetry(const std::string& keepFront = {}, const std::string& keepRear = {});
    int Play(int cam);
    int Pause(int cam);
    int Stop(int cam);
    EngineState GetState(int cam);
    int64_t GetPosition(int cam);
    int SeekFrame(int cam, int64_t frame);
    int SeekFrameForward(int cam, int64_t frame);
    int64_t GetLength(int cam);
    int64_t GetMasterLength();
    int SetVolume(int cam, int volume);
    int SetSpeed(int step);
    // The step one press of fast-forward (faster) or slow leads to on engine k.
    SpeedStep NextSpeedStep(int engine, bool faster);
    // Waits until camera cam (0 front, 1 rear) shows the picture a seek to
    // `frame` (engine-0 frames, as SeekFrame takes them) presents, at most
    // `timeout`. Woken by each picture the camera takes, it returns at once
    // when that picture is there. False when the camera holds no ready movie
    // or the time-out passed first. The UI thread, which alone closes the
    // players, so the camera's presenter stays while it waits.
    bool WaitForFrame(int cam, int64_t frame, std::chrono::milliseconds timeout);
    // Empty paths are cameras not asked for.
    int SaveStills(const std::string& frontPath, const std::string& rearPath);
    float GetFrameDuration(int cam);
    int Redraw(int cam);
    int SetVideoPlacement(const VideoPlacement& front, const VideoPlacement& rear, bool repaint);
    int EnableStream(int i, bool on);
    int CommitViewRotation(int cam);
    int SetViewAspect(int cam, int w, int h);
    // Reads the records of any file into `reader` under the master's playLock.
    int ReadTelemetryOf(sGPSREADER& reader, const std::string& path);
    // Reads the first given path ahead (the front into engine 0, else the
    // rear into engine 1) so that the next LoadTelemetry of that file takes it.
    int PrefetchTelemetry(const std::string& frontPath, const std::string& rearPath);
    // Reads ahead what the next OpenMovies of these paths reads of the files
    // (the box trees, the containers), the front into engine 0 and the rear
    // into engine 1 (empty: none), so that the open reads nothing more on
    // the calling thread. Takes no engine lock while it reads. 1 when any
    // file was prepared.
    int PrepareMovies(const std::string& frontPath, const std::string& rearPath);
    // Drops what PrepareMovies read (its descriptors close): before a file
    // flow moves or deletes files.
    void DiscardPreparedMovies();
    // The master's current lists; null when no master is ready. Valid while
    // the caller holds LockTelemetry (and the movie stays loaded).
    const std::vector<GpsRecord>* GetGpsRecords();
    const std::vector<AccelRecord>* GetAccelRecords();
    const GpsBlockInfo* GetTelemetryHeader();
    PlacementRect GetVideoRect(int cam);
    // Callers bracket every walk over the record lists with these. They take
    // and release the dataLock of both engines, engine 0 first.
    int LockTelemetry();
    int UnlockTelemetry();
    int ReleaseTrackCache();

    // ---- further operations of the main window and the movie windows ----
    // The master's whole reader (lists, per-frame table); as GetGpsRecords.
    const sGPSREADER* GetTelemetry();
    // The same reader for the telemetry views, whose event detectors mark
    // matched records in it; only inside LockTelemetry/UnlockTelemetry.
    sGPSREADER* GetTelemetryForMarking();
    // Whether the master holds GPS records (takes the telemetry lock itself).
    bool HasTelemetry();
    // The GPS track of the list's recordings into the track cache
    // (ReadAllTracks under the cache's dataLock), and a copy of it.
    int ReadTrackCache(const std::vector<TrackSource>& entries);
    std::vector<GpsRecord> CopyTrackCache();
    // Restarts the running engines at `frame` (engine-0 frames; engine 1 at
    // the same time) at their stored rate, after a speed change.
    int RestartAt(int cam, int64_t frame);
    // The speed step of the engine cam reaches (the master for 2).
    SpeedStep CurrentSpeedStep(int cam);
    int GetVideoSize(int cam, int* width, int* height);
    float GetFramePeriod(int cam);
    int DragView(int cam, float dx, float dy, float scale);
    int FlipView(int cam);
    int SetDisplayMode(int cam, int mode);
    int ResetModelPose(int cam);
    int SetDrawInterval(int cam, int value);
    int SetFitMode(int cam, int mode);

private:
    friend struct EngineAccess;
    static size_t Index(int k) { return k == 1 ? 1 : 0; }
    bool ReadyAt(int k) const;
    int SeekBoth(int cam, int64_t frame, bool forward);

    std::array<PlaybackEngine, 2> engines_;
    std::array<EngineOps, 2> ops_;
    PlaybackEngine spare_; // never opened: its dataLock and track cache serve ReleaseTrackCache

    // Written by the UI thread, read from any thread.
    std::atomic<bool> combinedFile_{false};
    std::atomic<bool> familyFlag_{true};
    std::atomic<bool> combinedForPresenter_{false};
    std::atomic<int32_t> lockWaiters_{0};

    // Set by Configure before the engines are initialised (UI thread).
    SessionConfig config_;
};

// The process-wide session (PlaybackSession::Instance()).
PlaybackSession& Session();

} // namespace playcore
