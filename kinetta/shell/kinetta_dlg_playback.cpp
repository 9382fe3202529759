// The main window's selection procedure: selecting a row, opening its
// recording, the engines' ready notifications, loading the prefetched
// telemetry, preparing the views once per loaded recording and closing; the
// toolbar and the window's timers. Playback itself is the playback control's.

#include <QScreen>

#include <utility>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {

// ---- timers -----------------------------------------------------------------

void CkinettaDlg::StartTimer(int id, int ms, bool once) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->setSingleShot(once);
    timer->start(ms);
}

void CkinettaDlg::KillTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end() && it->second) it->second->stop();
}

void CkinettaDlg::OnTimer(int id) {
    if (state_.shutDown_) return;
    switch (id) {
    case kTimerOpen:
        // The open waits for the files' read-ahead, polling so that the UI
        // thread never blocks on a slow card.
        if (!prefetch_.OpenAheadDone(openAhead_)) return StartTimer(kTimerOpen, 10, true);
        return OpenSelectedRecording();
    case kTimerOpenTimeout:
        // The open never completed: give the controls back.
        awaitingReady_ = false;
        play_.ClearNearEnd();
        ClearBusy();
        return;
    case kTimerToolbar:
        return UpdateToolbar();
    case kTimerPrepare:
        return PrepareRecordingViews();
    case kTimerRelayout:
        // A move or resize has settled: on another monitor S, the fonts, the
        // design size and the multipliers follow that monitor.
        if (QScreen* screen = this->screen(); screen && screen->geometry() != monitorRect_) {
            monitorRect_ = screen->geometry();
            RescaleForScreen();
        } else {
            LayOut();
        }
        PostWindowMessage(this, UM_RELAYOUT);
        return;
    default:
        return;
    }
}

// ---- the toolbar --------------------------------------------------------------

void CkinettaDlg::UpdateToolbar() {
    ToolbarInput in;
    in.mode = kBuildMode;
    in.busy = state_.busy_;
    in.loaded = state_.loaded_;
    in.engineReady = playback_.IsReady(0) || playback_.IsReady(1);
    in.speedStep = in.engineReady ? playback_.CurrentSpeedStep(play_.SpeedEngine()) : 1;
    {
        std::lock_guard lock(state_.lock_);
        in.selected = state_.selected_;
        in.rowCount = static_cast<int>(state_.rows_.size());
    }
    in.hasNextFolder = filer_ && filer_->NextFolderItem() >= 0;
    in.controlsDisabled = play_.ControlsDisabled();
    in.otherCameraOpen = state_.combined_ || playback_.Opened(1 - state_.shownCamera_);
    toolbar_ = ComputeToolbar(in);
    // While a file flow runs nothing may open a movie or start another flow.
    const ViewerFeature::Hold hold = features_.Holds();
    if (hold >= ViewerFeature::kHoldsToolbar) {
        toolbar_.enabled.fill(false);
        toolbar_.recordingList = false;
    }
    for (auto& [command, button] : toolbarButtons_)
        button->setEnabled(toolbar_.Enabled(command));
    for (auto& [command, button] : captionButtons_)
        button->setEnabled(toolbar_.captionButtons);
    // The list takes clicks while a selection waits for its open, so that
    // quick changes open only the last row; it is held only during the open
    // and while a feature holds it.
    if (filer_) filer_->setEnabled(!awaitingReady_ && hold == ViewerFeature::kHoldsNothing);
    emit state_.ToolbarUpdated();
}

void CkinettaDlg::ClearBusy() {
    state_.busy_ = false;
    KillTimer(kTimerOpenTimeout);
    unsetCursor();
    UpdateToolbar();
}

void CkinettaDlg::ResetViews() {
    for (CMovieStatic* a : areas_)
        a->Reset();
    position_->SetPos(0);
    timeText_->clear();
}

// ---- selecting and opening ------------------------------------------------------

void CkinettaDlg::SelectRecording(int row, int reason, bool moveList) {
    if (moveList) filer_->SelectRow(row);
    {
        std::lock_guard lock(state_.lock_);
        if (row < 0 || row >= static_cast<int>(state_.rows_.size())) return;
        state_.selected_ = row;
    }
    openReason_ = reason;
    play_.ClearFinished();
    CloseRecording(state_.SelectedEntry());
    ShowPlayFace(false);
    state_.busy_ = true;
    setCursor(Qt::WaitCursor);
    UpdateToolbar();
    views_.EnableController();
    StartTimer(kTimerOpenTimeout, 30000, true);
    StartTimer(kTimerOpen, 500, true);
    // Meanwhile the files are read ahead for the open.
    if (const RecordingEntry* e = state_.SelectedEntry()) {
        const bool combined = IsCombinedName(e->frontName, CurrentFamily());
        openAhead_ =
            prefetch_.RequestOpenAhead(e->frontPath, combined ? std::string() : e->rearPath);
    }
}

void CkinettaDlg::CloseRecording(const RecordingEntry* opening) {
    // The position and fade-in timers stop, the near-end latch clears.
    play_.Close();
    KillTimer(kTimerPrepare);
    KillTimer(kTimerOpen);
    // The views let go of the records before the session releases them. What
    // was read ahead for the recording about to be opened stays for its load.
    emit state_.RecordingClosed();
    if (opening)
        playback_.ReleaseTelemetry(opening->frontPath, opening->rearPath);
    else
        playback_.ReleaseTelemetry();
    playback_.CloseMovies();
    state_.loaded_ = false;
    awaitingReady_ = false;
    readyCount_ = 0;
    state_.cameraSelection_ = CameraSelectionAfterClose(kBuildMode, state_.cameraSelection_);
    state_.shownCamera_ = state_.cameraSelection_ == kCameraRear ? 1 : 0;
}

void CkinettaDlg::OpenSelectedRecording() {
    position_->setEnabled(true);
    const RecordingEntry* selected = state_.SelectedEntry();
    CloseRecording(selected);
    if (!selected) {
        ClearBusy();
        return;
    }
    const RecordingEntry entry = *selected;
    ++state_.openSerial_;
    const RecorderFamily family = CurrentFamily();
    const bool combined = IsCombinedName(entry.frontName, family);
    state_.combined_ = combined;
    playback_.SetCombinedFile(combined);
    playback_.SetCombinedFlag(combined); // the presenters of this recording's players
    if (combined) {
        playback_.SetWindows(0, {areas_[0], areas_[0]->Target()}, {areas_[1], areas_[1]->Target()});
    } else {
        for (int k = 0; k < 2; ++k)
            playback_.SetWindows(k, {areas_[k], areas_[k]->Target()}, {});
    }
    state_.pair_ = !combined && !entry.frontPath.empty() && !entry.rearPath.empty();
    // A recording with only its rear movie shows the rear camera.
    if (kBuildMode != OperatingMode::Full && entry.frontPath.empty() && !entry.rearPath.empty()) {
        state_.cameraSelection_ = kCameraRear;
        state_.shownCamera_ = 1;
    }
    PlaceMovieAreas();
    for (CMovieStatic* a : areas_)
        a->Reset();

    const int result =
        playback_.OpenMovies(entry.frontPath, combined ? std::string() : entry.rearPath);
    if (result == 1) {
        expectedReady_ = ExpectedReadyCount(state_.pair_, playback_.Opened(0), playback_.Opened(1));
        readyCount_ = 0;
        awaitingReady_ = true;
        state_.busy_ = true;
        UpdateToolbar();
        emit state_.RecordingOpened(entry, family);
        return;
    }
    // Continuous play passes over a recording that does not open.
    const int row = state_.SelectedIndex();
    if (openReason_ == kOpenByNext && row + 1 < static_cast<int>(state_.rows_.size())) {
        ClearBusy();
        play_.OnNext(true);
        return;
    }
    ClearBusy();
    for (CMovieStatic* a : areas_)
        a->update();
    hooks_.messageBox(Text(result == 2 ? kStrTooShortToPlay : kStrOpenFailed),
                      Text(kStrErrorCaption), 0);
}

void CkinettaDlg::MovieReady(int) {
    if (!awaitingReady_ || state_.shutDown_) return; // a notification of a closed open
    if (++readyCount_ < expectedReady_) return;
    readyCount_ = 0;
    awaitingReady_ = false;
    KillTimer(kTimerOpen);
    PlaceMovieAreas();
    play_.ReadMasterLength();
    play_.ShowSpeedText();
    for (int k = 0; k < 2; ++k) {
        // Zoom mode keeps the engine's display model as it is.
        if (!view_.ZoomMode()) playback_.SetDisplayMode(k, view_.DisplayModel(k));
        areas_[k]->update();
    }
    play_.ShowNoDataTexts();
    UpdateToolbar();
    views_.EnableController();
    if (openReason_ == kOpenBySelection) {
        prefetch_.StartSelected(state_.openSerial_);
    } else if (!PlaySelected()) {
        play_.SetPlayAfterLoad(true);
    }
}

void CkinettaDlg::OnTelemetryPrefetched(unsigned serial) {
    if (serial != state_.openSerial_ || awaitingReady_) return; // an older open's answer
    const RecordingEntry* e = state_.SelectedEntry();
    if (!e) return;
    if (!state_.loaded_) {
        state_.loaded_ = true;
        ClearBusy();
        if (!play_.LoadTelemetry(*e)) {
            state_.loaded_ = false;
            UpdateToolbar();
            return;
        }
        play_.ApplyVolume();
    }
    if (play_.TakePlayAfterLoad() || play_.Continuous()) {
        ShowPlayFace(play_.StartPlayback());
    } else {
        // Not playing yet: show the recording's first frame.
        playback_.SeekFrame(state_.cameraSelection_, 0);
        ShowPlayFace(false);
    }
    play_.ShowSpeedText();
    UpdateToolbar();
    StartTimer(kTimerPrepare, 100, true);
    if (!playback_.HasTelemetry()) playback_.Redraw(state_.cameraSelection_);
}

bool CkinettaDlg::PlaySelected() {
    if (state_.loaded_) return play_.StartPlayback();
    const RecordingEntry* e = state_.SelectedEntry();
    if (!e) return false;
    state_.loaded_ = true;
    ClearBusy();
    if (!play_.LoadTelemetry(*e)) {
        state_.loaded_ = false;
        UpdateToolbar();
        return false;
    }
    const bool started = play_.StartPlayback();
    play_.SetContinuous(play_.Continuous() || started);
    ShowPlayFace(started);
    play_.ShowSpeedText();
    UpdateToolbar();
    StartTimer(kTimerPrepare, 100, true);
    return started;
}

void CkinettaDlg::PrepareRecordingViews() {
    if (!state_.SelectedEntry() || !state_.loaded_) return;
    for (int k = 0; k < 2; ++k)
        views_.ApplyAreaAspect(k);
    play_.Prepare(); // the views prepared and at frame 0, the position timer running
    PlaceMovieAreas();
    // After a flow, or at start-up, the recording comes back at its position.
    ResumeAfterFlow();
    prefetch_.StartNext();
}

void CkinettaDlg::ResumeAfterFlow() {
    const FlowResume resume = std::exchange(resumeOpen_, FlowResume{});
    const RecordingEntry* e = state_.SelectedEntry();
    if (resume.frame < 0 || !e || e->frontPath != resume.front || e->rearPath != resume.rear)
        return; // another recording was chosen meanwhile
    // A freshly opened movie stands stopped at frame 0: one that was paused
    // is paused again (a stopped engine pauses only after playing, silent
    // here as the fade-in has not begun), then brought exactly to its frame;
    // one that played plays on from there.
    const int cam = state_.cameraSelection_;
    if (resume.engine == kEnginePaused &&
        playback_.GetState(play_.MasterCamera()) == kEngineStopped) {
        playback_.Play(cam);
        playback_.Pause(cam);
    }
    play_.SeekInPlace(resume.frame);
    if (resume.engine == kEnginePlaying) ShowPlayFace(play_.StartPlayback());
}

} // namespace kinetta
