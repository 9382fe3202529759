#pragma once
// PlaybackControl: the main window's playback state that lives longer than
// one command: the volume and its fades, the near-end latch, continuous play,
// the remembered start speed, the position slider's range and press state,
// and the frame the views were last sent to. It applies the volume rules to
// the playback session itself; the window decides when (its timers, its
// handlers) and keeps the windows up to date. UI thread only.

#include <string>

#include "playcore/session/playback_session.h"

namespace kinetta {

class PlaybackControl {
public:
    // session outlives the control.
    explicit PlaybackControl(playcore::PlaybackSession& session) : session_(session) {}

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
    // A fade-in starts from silence (the caller starts the 10 ms timer).
    void RestartFadeIn() { fadeLevel_ = 0; }
    // One 10 ms step of the fade-in on cam's engines; false once the volume
    // is reached (the timer stops then).
    bool FadeInStep(int cam);
    // Synchronous fade-out on cam's engines: 4000 lower every 10 ms from the
    // current level, then silence.
    void FadeOut(int cam);

    // ---- the near-end latch ----
    bool NearEnd() const { return nearEnd_; }
    void ClearNearEnd() { nearEnd_ = false; }
    // Latches (and fades out on volumeCam) once the master camera plays
    // within the seek margin of its end; stays latched until cleared. loaded:
    // a recording is loaded. speedEngine: the engine whose speed step counts.
    bool CheckNearEnd(bool loaded, int masterCam, int speedEngine, int volumeCam);

    // ---- state the window's handlers read and write ----
    bool continuous = false;             // the next recording plays on at the end of this one
    bool continueIntoNextFolder = false; // at the end of the list, go on into the next date folder
    bool finished = false;               // the last recording of the last folder has ended
    bool hasPlayed = false;              // play was pressed at least once
    bool startedOnce = false;            // playback started at least once
    int rememberedSpeed = 1;             // speed step the next recording starts at
    bool speedFaster = false;            // the pending speed change (timer 109) is fast-forward
    long long sliderLast = 0;            // the position slider's last frame (master length)
    int sliderState = -1;       // master state when the position slider was pressed; -1 none
    long long masterLength = 0; // GetMasterLength of the loaded recording
    long long markerFrame = -1; // frame the views were sent to by a seek; -1 none

private:
    playcore::PlaybackSession& session_;
    int volume_ = 65535;
    int storedVolume_ = -1; // the value "DISPLAY"/"VOLUME" holds; -1 unknown
    int fadeLevel_ = 0;     // level of the fade-in in progress
    bool nearEnd_ = false;
};

} // namespace kinetta
