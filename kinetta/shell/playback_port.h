#pragma once
// PlaybackPort: the playback session as the main window uses it. Every call is
// one operation of the process-wide PlaybackSession, under the same name and
// with the same meaning (positions and lengths in frames; cam is a
// CameraSelection: 0 front, 1 rear, 2 both; integer results 0 failure,
// 1 success, 2 too short). The main window holds only this interface, so the
// window logic stays readable as a list of session calls.
//
// Every call is made on the UI thread, except PrefetchTelemetry, which the
// prefetch threads call.

#include <QSize>

#include <string>

#include "platform/message_sink.h"

namespace playcore {
class VideoSurface;
struct sGPSREADER;
} // namespace playcore

namespace kinetta {

enum EngineStateCode : int {
    kEngineClosed = 0,
    kEngineStopped = 1,
    kEnginePlaying = 2,
    kEnginePaused = 3
};

// A movie area as an engine target: where it draws and where it posts.
struct EngineWindow {
    playcore::VideoSurface* surface = nullptr;
    platform::MessageTarget target = nullptr;
};

class PlaybackPort {
public:
    virtual ~PlaybackPort() = default;

    // Start and stop of the engines (engine k draws into window k).
    virtual bool InitEngine(int engine, EngineWindow window0, const std::string& fontFace) = 0;
    virtual bool EngineReady(int engine) const = 0;
    virtual void TermEngine(int engine) = 0;
    virtual void SetHardwareDecode(bool on) = 0;
    // The recorder family whose GPS layout every telemetry read and
    // completeness check parses: true the TX40 family, false the TX50 family.
    virtual void SetFamilyFlag(bool tx40) = 0;
    virtual void ReleaseTrackCache() = 0;

    // Opening and closing a recording.
    virtual void SetCombinedFile(bool combined) = 0; // also hands the flag to the presenters
    virtual void SetWindows(int engine, EngineWindow window0, EngineWindow window1) = 0;
    virtual int OpenMovies(const std::string& front, const std::string& rear) = 0;
    virtual bool Opened(int engine) const = 0;
    virtual bool CloseMovies() = 0;
    virtual bool IsRecordingComplete(const std::string& path) = 0;

    // Telemetry.
    virtual bool LoadTelemetry(const std::string& front, const std::string& rear) = 0;
    // keepFront, keepRear: the recording about to be opened, whose records
    // read ahead stay for its load; every other prefetch is dropped.
    virtual bool ReleaseTelemetry(const std::string& keepFront = {},
                                  const std::string& keepRear = {}) = 0;
    virtual bool PrefetchTelemetry(const std::string& front, const std::string& rear) = 0;
    virtual bool HasTelemetry() = 0; // the master engine holds records
    virtual bool LockTelemetry() = 0;
    virtual bool UnlockTelemetry() = 0;
    // The reader whose records the views show (lists and per-frame table);
    // null when none. Only between LockTelemetry and UnlockTelemetry. The
    // graph's detectors mark matched records in it, hence not const.
    virtual playcore::sGPSREADER* TelemetryReaderLocked() { return nullptr; }

    // Playback.
    virtual bool Play(int cam) = 0;
    virtual bool Pause(int cam) = 0;
    virtual bool Stop(int cam) = 0;
    virtual int GetState(int cam) = 0;
    virtual long long GetPosition(int cam) = 0;
    virtual long long GetLength(int cam) = 0;
    virtual long long GetMasterLength() = 0;
    virtual bool SeekFrame(int cam, long long frame) = 0;
    virtual bool SeekFrameForward(int cam, long long frame) = 0;
    virtual bool SetVolume(int cam, int volume) = 0;
    virtual bool SetSpeed(int step) = 0;
    virtual int SpeedStep(int engine) = 0;
    virtual int NextSpeedStep(int engine, bool faster) = 0;
    // Restarts the running engines cam reaches at frame after a speed change.
    virtual bool RestartAt(int cam, long long frame) = 0;
    virtual float GetFrameDuration(int cam) = 0;
    virtual QSize GetVideoSize(int cam) = 0;
    virtual bool Redraw(int cam) = 0;
    virtual bool EnableStream(int stream, bool on) = 0;
    virtual bool SetDisplayMode(int cam, int model) = 0;

    // The movie windows' view operations (cam 0 front, 1 rear).
    // dx, dy: fractions of a turn; scale: the area's zoom factor.
    virtual bool DragView(int cam, float dx, float dy, float scale) = 0;
    virtual bool CommitViewRotation(int cam) = 0;
    virtual bool ResetModelPose(int cam) = 0;
    // Mirrors the camera's picture; true when it is now mirrored.
    virtual bool FlipView(int cam) = 0;
    // 1 keeps the picture's aspect ratio, 0 stretches it over the area.
    virtual bool SetFitMode(int cam, int mode) = 0;
    // The area's client size, which the display models take their shape from.
    virtual bool SetViewAspect(int cam, int width, int height) = 0;
    // Focus point (area pixels) and zoom factor of each camera's picture.
    struct Placement {
        float focusX = 0, focusY = 0;
        float zoom = 1.0f;
    };
    virtual bool SetVideoPlacement(const Placement& front, const Placement& rear) = 0;
    // The engine whose telemetry the views show (TelemetryMaster), 0 when none.
    virtual int MasterEngine() = 0;
};

} // namespace kinetta
