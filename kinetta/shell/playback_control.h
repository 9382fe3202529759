#pragma once
// PlaybackControl: the main window's playback of the open recording. It runs
// the playback commands (to the start, previous, play/pause, slow,
// fast-forward, next, the camera switch), the position slider and the volume
// slider, seeking, the 100 ms position timer, the speed change and its timer,
// the volume and its fades, the near-end latch, and continuous play at the
// end of a movie. It shows the position, the speed and the play face on the
// window's controls, and tells the features through the ViewerState:
// FrameShown (inside the telemetry lock), StillFrameSettled, PositionTick,
// PlaybackStateChanged, SpeedShown and PlaybackFinished.
//
// The window keeps the selection procedure (select, open, ready, load,
// prepare, close); the control asks it to select a row or a folder through
// Host. Without a window (the volume rules' tests) only the volume, fade and
// near-end functions may be used.
//
// Timers (ids of the main window): 100 the position timer (100 ms), 107 the
// volume fade-in (10 ms), 109 the speed change (half the double-click time,
// once). UI thread only.

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <string>

#include "playcore/session/playback_session.h"

class QLabel;

namespace kinetta {

class CMovieStatic;
class CSkinSliderCtrl;
class ViewerState;
struct RecordingEntry;

// Why the current open was started.
enum OpenReason : int { kOpenBySelection = 0, kOpenByNext = 1, kOpenByPrevious = 2 };

class PlaybackControl : public QObject {
public:
    static constexpr int kTimerPosition = 100; // 100 ms: position display and near-end check
    static constexpr int kTimerFadeIn = 107;   // 10 ms: volume fade-in
    static constexpr int kTimerSpeed = 109;    // half the double-click time once: apply the speed

    // What the control asks of the main window.
    struct Host {
        std::function<void(bool playing)> showPlayFace;
        std::function<void()> updateToolbar;
        std::function<void()> placeMovieAreas;
        // The selection procedure for row with reason (OpenReason); moveList:
        // the list's highlight moves to it first.
        std::function<void(int row, int reason, bool moveList)> selectRow;
        // The folder-tree item after the selected one; -1 for none.
        std::function<int()> nextFolderItem;
        // Lists folder item's recordings; playFirst: its first one plays.
        std::function<void(int item, bool playFirst)> showFolder;
    };
    // The window's controls the playback is shown on (children of the window).
    struct Widgets {
        CSkinSliderCtrl* position = nullptr; // control 38100
        CSkinSliderCtrl* volume = nullptr;   // control 38101
        QLabel* speedText = nullptr;
        QLabel* timeText = nullptr;
        std::array<CMovieStatic*, 2> areas{};
    };

    // session outlives the control; state (the window's, may be null
    // without a window) outlives it as well.
    explicit PlaybackControl(playcore::PlaybackSession& session, ViewerState* state = nullptr);
    ~PlaybackControl() override;
    // The window's controls and host, once they exist (start-up).
    void SetWindow(Widgets widgets, Host host);

    // ---- volume and fades (0..65535) ----
    int Volume() const { return volume_; }
    // The text "DISPLAY"/"VOLUME" holds at start-up: empty is the loudest,
    // text that is no number reads 0. Remembers when the file already holds
    // the value, so that nothing is written back.
    void LoadVolume(const std::string& stored);
    // Clamps volume and applies it to the engines cam reaches; with store,
    // also writes "DISPLAY"/"VOLUME" when it differs from what the file holds
    // (each write replaces and syncs the file).
    void SetVolume(int cam, int volume, bool store);
    // The same for the camera selection, and the volume slider follows.
    void ChangeVolume(int volume, bool store);
    void ApplyVolume() { ChangeVolume(volume_, true); }
    // A fade-in starts from silence (StartFadeIn runs its timer).
    void RestartFadeIn() { fadeLevel_ = 0; }
    // One 10 ms step of the fade-in on cam's engines; false once the volume
    // is reached (the timer stops then).
    bool FadeInStep(int cam);
    // Synchronous fade-out on cam's engines: 4000 lower every 10 ms from the
    // current level, then silence.
    void FadeOut(int cam);
    // The fade-in stops and the camera selection fades out (before a pause,
    // a seek, full screen).
    void FadeOutNow();

    // ---- the near-end latch ----
    bool NearEnd() const { return nearEnd_; }
    void ClearNearEnd() { nearEnd_ = false; }
    // Latches (and fades out on volumeCam) once the master camera plays
    // within the seek margin of its end; stays latched until cleared. loaded:
    // a recording is loaded. speedEngine: the engine whose speed step counts.
    bool CheckNearEnd(bool loaded, int masterCam, int speedEngine, int volumeCam);
    // CheckNearEnd for the window's recording; the fade-in stops when it latches.
    bool IsNearEnd();

    // ---- commands and messages of the window ----
    // Commands 38000..38005 and 38018; false for any other command.
    bool OnCommand(int id);
    // UM_SLIDER_TRACK, UM_SLIDER_BEGIN, UM_SLIDER_END of the position (38100)
    // and volume (38101) sliders.
    void OnSliderMessage(int message, int control, long long value);
    // The end of a movie of the open recording (UM_MOVIE_ENDED, the engine's time-out).
    void MovieEnded(int camera);
    // Next recording (38005); forMovieEnd: continuous play at the end of a movie.
    void OnNext(bool forMovieEnd);

    // ---- seeking and the position ----
    // Seeks as the position slider does when released at frame.
    void SeekFromSlider(long long frame);
    // Seeks the loaded recording to frame in the master engine's state.
    void SeekInPlace(long long frame);
    // Seeks cam to frame (limited by the slider's end and the seek margin)
    // and ends in state (stopped, paused or playing).
    void SeekTo(int cam, long long frame, int state);
    // The playback position within the slider's range.
    long long Position() const;
    // The views at frame (clamped to the slider's range), telemetry locked.
    void ShowViewsAt(long long frame);
    void UpdatePositionDisplay(long long position);
    // Each area without a movie shows its no-data text (an open is ready).
    void ShowNoDataTexts();
    // The position (frames) at which the shorter movie's area of camera last
    // switched to its no-data text; -1 when it has not.
    long long PairEndShownAt(int camera) const { return pairEndShownAt_[camera & 1]; }

    // ---- starting, stopping, loading ----
    bool StartPlayback();
    void StopPlayback();
    // Loads the selected recording's telemetry and picks its start speed;
    // false when it cannot be loaded (it cannot be played then).
    bool LoadTelemetry(const RecordingEntry& e);
    // Once per loaded recording: the slider's range, the speed text, the
    // views prepared and shown at frame 0, the position timer started.
    void Prepare();
    // The recording is given up: the timers stop, the latches clear.
    void Close();
    void ShowSpeedText();
    // Holds (true) or gives back (false) the sliders and the toolbar (still pictures).
    void HoldControls(bool held);
    // Pauses a playing movie where it stands and shows its position; returns
    // the position (frames), -1 when nothing is loaded (still pictures).
    long long HoldPosition();
    // The selected recording's default speed (time-lapse recordings start at x0.5).
    void ResetSpeedToDefault();
    // Every timer of the control stops (shutdown).
    void StopTimers();
    bool ControlsDisabled() const { return controlsDisabled_; }
    void SetPlayAfterLoad(bool on) { playAfterLoad_ = on; }
    bool TakePlayAfterLoad();
    bool Continuous() const { return continuous_; }
    void SetContinuous(bool on) { continuous_ = on; }
    // Clears the end-of-list mark; a new recording was selected.
    void ClearFinished() { finished_ = false; }
    // The user chose a folder: the end of its list does not go on into the next one.
    void StopContinuingIntoNextFolder() { continueIntoNextFolder_ = false; }
    bool Finished() const { return finished_; }
    long long SliderLast() const { return sliderLast_; }
    long long MasterLength() const { return masterLength_; }
    void ReadMasterLength() { masterLength_ = session_.GetMasterLength(); }
    // The engine the position and state are read from, and the one whose speed step is asked.
    int MasterCamera() const;
    int SpeedEngine() const;

private:
    void OnToStart();
    void OnPrevious();
    void OnPlayPause();
    void ApplySpeedChange();
    void OnCameraSwitch();
    void OnPositionTimer();
    void StartFadeIn();
    // The last frame the position slider may seek to: the master length less
    // twice the seek margin.
    long long SlideLimit() const;

    playcore::PlaybackSession& session_;
    ViewerState* state_; // the window's; null without a window
    Widgets widgets_;
    Host host_;
    QTimer position_, fadeIn_, speed_; // timers 100, 107, 109

    int volume_ = 65535;
    int storedVolume_ = -1; // the value "DISPLAY"/"VOLUME" holds; -1 unknown
    int fadeLevel_ = 0;     // level of the fade-in in progress
    bool nearEnd_ = false;
    bool continuous_ = false;             // the next recording plays on at the end of this one
    bool continueIntoNextFolder_ = false; // at the end of the list, go on into the next date folder
    bool finished_ = false;               // the last recording of the last folder has ended
    bool playAfterLoad_ = false;          // start playback as soon as loading finishes
    bool controlsDisabled_ = false;       // the slider and toolbar are held (near the end, stills)
    int rememberedSpeed_ = 1;             // speed step the next recording starts at
    bool speedFaster_ = false;            // the pending speed change (timer 109) is fast-forward
    long long sliderLast_ = 0;            // the position slider's last frame (master length)
    int sliderState_ = -1;       // master state when the position slider was pressed; -1 none
    long long masterLength_ = 0; // GetMasterLength of the loaded recording
    long long markerFrame_ = -1; // frame the views were sent to by a seek; -1 none
    int endedCount_ = 0;         // UM_MOVIE_ENDED notifications of this open
    std::array<long long, 2> pairEndShownAt_{-1, -1};
};

} // namespace kinetta
