#pragma once
// The main window's PlaybackPort over the process-wide PlaybackSession.

#include "kinetta/shell/playback_port.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

class SessionPlaybackPort : public PlaybackPort {
public:
    // config.sink: where the players post their milestones (the movie areas).
    SessionPlaybackPort(playcore::PlaybackSession& session, playcore::SessionConfig config);

    bool InitEngine(int engine, EngineWindow window0, const std::string& fontFace) override;
    bool EngineReady(int engine) const override;
    void TermEngine(int engine) override;
    void SetHardwareDecode(bool on) override;
    void SetFamilyFlag(bool tx40) override;
    void ReleaseTrackCache() override;
    void SetCombinedFile(bool combined) override;
    void SetWindows(int engine, EngineWindow window0, EngineWindow window1) override;
    int OpenMovies(const std::string& front, const std::string& rear) override;
    bool Opened(int engine) const override;
    bool CloseMovies() override;
    bool IsRecordingComplete(const std::string& path) override;
    bool LoadTelemetry(const std::string& front, const std::string& rear) override;
    bool ReleaseTelemetry(const std::string& keepFront = {},
                          const std::string& keepRear = {}) override;
    bool PrefetchTelemetry(const std::string& front, const std::string& rear) override;
    bool HasTelemetry() override;
    bool LockTelemetry() override;
    bool UnlockTelemetry() override;
    playcore::sGPSREADER* TelemetryReaderLocked() override;
    bool Play(int cam) override;
    bool Pause(int cam) override;
    bool Stop(int cam) override;
    int GetState(int cam) override;
    long long GetPosition(int cam) override;
    long long GetLength(int cam) override;
    long long GetMasterLength() override;
    bool SeekFrame(int cam, long long frame) override;
    bool SeekFrameForward(int cam, long long frame) override;
    bool SetVolume(int cam, int volume) override;
    bool SetSpeed(int step) override;
    int SpeedStep(int engine) override;
    int NextSpeedStep(int engine, bool faster) override;
    bool RestartAt(int cam, long long frame) override;
    float GetFrameDuration(int cam) override;
    QSize GetVideoSize(int cam) override;
    bool Redraw(int cam) override;
    bool EnableStream(int stream, bool on) override;
    bool SetDisplayMode(int cam, int model) override;
    bool DragView(int cam, float dx, float dy, float scale) override;
    bool CommitViewRotation(int cam) override;
    bool ResetModelPose(int cam) override;
    bool FlipView(int cam) override;
    bool SetFitMode(int cam, int mode) override;
    bool SetViewAspect(int cam, int width, int height) override;
    bool SetVideoPlacement(const Placement& front, const Placement& rear) override;
    int MasterEngine() override;

private:
    playcore::PlaybackSession& session_;
};

} // namespace kinetta
