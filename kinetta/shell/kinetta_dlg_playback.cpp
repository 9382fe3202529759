// Playback of the main window: the selection procedure, opening a recording,
// the engines' ready and end notifications, the telemetry prefetch, play,
// stop, seek, the position timer, the volume fades and the toolbar.

#include <QApplication>
#include <QScreen>
#include <QThread>

#include <chrono>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_slider.h"
#include "kinetta/telemetry/telemetry_views.h"

namespace kinetta {

namespace {
// The area's no-data text (movie_area_pointer.h), as a QString.
QString NoDataQText(int area) {
    const std::string_view s = NoDataText(area);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

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

bool CkinettaDlg::TimerActive(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second && it->second->isActive();
}

void CkinettaDlg::OnTimer(int id) {
    if (shutDown_) return;
    switch (id) {
    case kTimerPosition:
        return OnPositionTimer();
    case kTimerOpen:
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
    case kTimerFadeIn:
        if (!play_.FadeInStep(cameraSelection_)) KillTimer(kTimerFadeIn);
        return;
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
    case kTimerSpeed:
        return ApplySpeedChange();
    default:
        return;
    }
}

// ---- small helpers ------------------------------------------------------------

int CkinettaDlg::SelectedIndex() const {
    std::lock_guard lock(stateLock_);
    return selected_;
}

const RecordingEntry* CkinettaDlg::SelectedEntry() const {
    // rows_ and selected_ change only on this (the UI) thread.
    if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size())) return nullptr;
    return &rows_[static_cast<size_t>(selected_)];
}

int CkinettaDlg::MasterCamera() const {
    return cameraSelection_;
}

int CkinettaDlg::SpeedEngine() const {
    if (combined_) return 0;
    if (cameraSelection_ == kCameraBoth) return playback_.Master();
    return cameraSelection_;
}

void CkinettaDlg::ShowSpeedText() {
    const bool ready = playback_.IsReady(0) || playback_.IsReady(1);
    const std::string text =
        ready ? SpeedText(playback_.CurrentSpeedStep(SpeedEngine())) : std::string();
    speedText_->setText(QString::fromStdString(text));
    if (telemetry_) telemetry_->SetSpeedText(speedText_->text());
}

void CkinettaDlg::SetVolume(int volume, bool store) {
    play_.SetVolume(cameraSelection_, volume, store);
    volumeSlider_->SetPos(play_.Volume());
}

void CkinettaDlg::FadeOut() {
    // Synchronous: 4000 lower every 10 ms, then silence.
    KillTimer(kTimerFadeIn);
    play_.FadeOut(cameraSelection_);
}

void CkinettaDlg::UpdateToolbar() {
    ToolbarInput in;
    in.mode = kBuildMode;
    in.busy = busy_;
    in.loaded = loaded_;
    in.engineReady = playback_.IsReady(0) || playback_.IsReady(1);
    in.speedStep = in.engineReady ? playback_.CurrentSpeedStep(SpeedEngine()) : 1;
    {
        std::lock_guard lock(stateLock_);
        in.selected = selected_;
        in.rowCount = static_cast<int>(rows_.size());
    }
    in.hasNextFolder = filer_ && filer_->NextFolderItem() >= 0;
    in.controlsDisabled = controlsDisabled_;
    in.otherCameraOpen = combined_ || playback_.Opened(1 - shownCamera_);
    toolbar_ = ComputeToolbar(in);
    // While a file operation runs nothing may open a movie or start another flow.
    if (FileOpRunning()) {
        toolbar_.enabled.fill(false);
        toolbar_.recordingList = false;
    }
    for (auto& [command, button] : toolbarButtons_)
        button->setEnabled(toolbar_.Enabled(command));
    UpdateJoinButton();
    for (auto& [command, button] : captionButtons_)
        button->setEnabled(toolbar_.captionButtons);
    // The list takes clicks while a selection waits for its open, so that
    // quick changes open only the last row; it is held only during the open.
    if (filer_) filer_->setEnabled(!awaitingReady_ && !FileOpRunning() && !StillRunning());
    // The panel and its axis buttons wait, like the toolbar, for the open.
    if (telemetry_) telemetry_->Panel()->setEnabled(!busy_);
}

void CkinettaDlg::ClearBusy() {
    busy_ = false;
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

void CkinettaDlg::ShowNoDataTexts() {
    for (int k = 0; k < 2; ++k) {
        const bool has = combined_ || playback_.Opened(k);
        areas_[k]->SetNoData(has ? QString() : NoDataQText(k));
        pairEndShownAt_[static_cast<size_t>(k)] = -1;
    }
}

// ---- selecting and opening ------------------------------------------------------

void CkinettaDlg::SelectRecording(int row, int reason) {
    {
        std::lock_guard lock(stateLock_);
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        selected_ = row;
    }
    openReason_ = reason;
    play_.finished = false;
    CloseRecording(SelectedEntry());
    ShowPlayFace(false);
    busy_ = true;
    setCursor(Qt::WaitCursor);
    UpdateToolbar();
    EnableController();
    StartTimer(kTimerOpenTimeout, 30000, true);
    StartTimer(kTimerOpen, 500, true);
}

void CkinettaDlg::CloseRecording(const RecordingEntry* opening) {
    KillTimer(kTimerPosition);
    KillTimer(kTimerPrepare);
    KillTimer(kTimerFadeIn);
    KillTimer(kTimerOpen);
    // The views let go of the records before the session releases them. What
    // was read ahead for the recording about to be opened stays for its load.
    ResetTelemetryViews();
    if (opening)
        playback_.ReleaseTelemetry(opening->frontPath, opening->rearPath);
    else
        playback_.ReleaseTelemetry();
    playback_.CloseMovies();
    loaded_ = false;
    play_.ClearNearEnd();
    playAfterLoad_ = false;
    awaitingReady_ = false;
    play_.markerFrame = -1;
    readyCount_ = endedCount_ = 0;
    if (controlsDisabled_) {
        controlsDisabled_ = false;
        position_->setEnabled(true);
    }
    cameraSelection_ = CameraSelectionAfterClose(kBuildMode, cameraSelection_);
    shownCamera_ = cameraSelection_ == kCameraRear ? 1 : 0;
}

void CkinettaDlg::OpenSelectedRecording() {
    KillTimer(kTimerPosition);
    position_->setEnabled(true);
    const RecordingEntry* selected = SelectedEntry();
    CloseRecording(selected);
    if (!selected) {
        ClearBusy();
        return;
    }
    const RecordingEntry entry = *selected;
    ++openCount_;
    ++openSerial_;
    const RecorderFamily family = CurrentFamily();
    combined_ = IsCombinedName(entry.frontName, family);
    playback_.SetCombinedFile(combined_);
    playback_.SetCombinedFlag(combined_); // the presenters of this recording's players
    if (combined_) {
        playback_.SetWindows(0, {areas_[0], areas_[0]->Target()}, {areas_[1], areas_[1]->Target()});
    } else {
        for (int k = 0; k < 2; ++k)
            playback_.SetWindows(k, {areas_[k], areas_[k]->Target()}, {});
    }
    pair_ = !combined_ && !entry.frontPath.empty() && !entry.rearPath.empty();
    // A recording with only its rear movie shows the rear camera.
    if (kBuildMode != OperatingMode::Full && entry.frontPath.empty() && !entry.rearPath.empty()) {
        cameraSelection_ = kCameraRear;
        shownCamera_ = 1;
    }
    PlaceMovieAreas();
    for (CMovieStatic* a : areas_)
        a->Reset();

    const int result =
        playback_.OpenMovies(entry.frontPath, combined_ ? std::string() : entry.rearPath);
    if (result == 1) {
        parkingTrace_ = traceFlag_ && entry.parking;
        expectedReady_ = ExpectedReadyCount(pair_, playback_.Opened(0), playback_.Opened(1));
        readyCount_ = 0;
        awaitingReady_ = true;
        busy_ = true;
        UpdateToolbar();
        return;
    }
    // Continuous play passes over a recording that does not open.
    const int row = SelectedIndex();
    if (openReason_ == kOpenByNext && row + 1 < static_cast<int>(rows_.size())) {
        ClearBusy();
        OnNext(true);
        return;
    }
    ClearBusy();
    for (CMovieStatic* a : areas_)
        a->update();
    ShowMessage(Text(result == 2 ? kStrTooShortToPlay : kStrOpenFailed), Text(kStrErrorCaption));
}

void CkinettaDlg::MovieReady(int) {
    if (!awaitingReady_ || shutDown_) return; // a notification of a closed open
    if (++readyCount_ < expectedReady_) return;
    readyCount_ = 0;
    awaitingReady_ = false;
    KillTimer(kTimerOpen);
    PlaceMovieAreas();
    play_.masterLength = playback_.GetMasterLength();
    ShowSpeedText();
    for (int k = 0; k < 2; ++k) {
        // Zoom mode keeps the engine's display model as it is.
        if (!view_.ZoomMode()) playback_.SetDisplayMode(k, areas_[k]->DisplayModel());
        areas_[k]->update();
    }
    ShowNoDataTexts();
    UpdateToolbar();
    EnableController();
    if (openReason_ == kOpenBySelection) {
        StartPrefetch();
    } else if (!PlaySelected()) {
        playAfterLoad_ = true;
    }
}

void CkinettaDlg::JoinPrefetchThreads() {
    if (prefetch_.joinable()) prefetch_.join();
    if (nextPrefetch_.joinable()) nextPrefetch_.join();
}

void CkinettaDlg::StartPrefetch() {
    if (prefetch_.joinable()) prefetch_.join();
    const unsigned serial = openSerial_;
    prefetch_ = std::thread([this, serial] {
        std::string front, rear;
        {
            std::lock_guard lock(stateLock_);
            if (selected_ >= 0 && selected_ < static_cast<int>(rows_.size())) {
                front = rows_[static_cast<size_t>(selected_)].frontPath;
                rear = rows_[static_cast<size_t>(selected_)].rearPath;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        playback_.PrefetchTelemetry(front, rear);
        // The serial tells the answer of this open from one of an older open.
        PostWindowMessage(this, UM_TELEMETRY_PREFETCHED, serial);
    });
}

void CkinettaDlg::StartNextPrefetch() {
    if (nextPrefetch_.joinable()) nextPrefetch_.join();
    nextPrefetch_ = std::thread([this] {
        std::string front, rear;
        {
            std::lock_guard lock(stateLock_);
            const size_t next = static_cast<size_t>(selected_ + 1);
            if (selected_ < 0 || next >= rows_.size()) return;
            front = rows_[next].frontPath;
            rear = rows_[next].rearPath;
        }
        playback_.PrefetchTelemetry(front, rear);
    });
}

// Loads the telemetry and picks the recording's start speed; false when the
// telemetry cannot be loaded (the recording then cannot be played).
static bool LoadAndChooseSpeed(playcore::PlaybackSession& playback, const RecordingEntry& e,
                               int speedEngine, int* rememberedSpeed) {
    if (!playback.LoadTelemetry(e.frontPath, e.rearPath)) return false;
    const int def = DefaultSpeedStep(e, CurrentFamily());
    const int current = playback.CurrentSpeedStep(speedEngine);
    const int chosen = ChooseStartSpeed(def, current, *rememberedSpeed);
    if (chosen != current) playback.SetSpeed(chosen);
    *rememberedSpeed = chosen;
    return true;
}

void CkinettaDlg::OnTelemetryPrefetched(unsigned serial) {
    if (serial != openSerial_ || awaitingReady_) return; // an older open's answer
    const RecordingEntry* e = SelectedEntry();
    if (!e) return;
    if (!loaded_) {
        loaded_ = true;
        ClearBusy();
        if (!LoadAndChooseSpeed(playback_, *e, SpeedEngine(), &play_.rememberedSpeed)) {
            loaded_ = false;
            UpdateToolbar();
            return;
        }
        ApplyVolume();
    }
    if (playAfterLoad_) {
        playAfterLoad_ = false;
        ShowPlayFace(StartPlayback());
    } else if (play_.continuous) {
        ShowPlayFace(StartPlayback());
    } else {
        // Not playing yet: show the recording's first frame.
        playback_.SeekFrame(cameraSelection_, 0);
        ShowPlayFace(false);
    }
    ShowSpeedText();
    UpdateToolbar();
    StartTimer(kTimerPrepare, 100, true);
    if (!playback_.HasTelemetry()) playback_.Redraw(cameraSelection_);
}

bool CkinettaDlg::PlaySelected() {
    if (loaded_) return StartPlayback();
    const RecordingEntry* e = SelectedEntry();
    if (!e) return false;
    loaded_ = true;
    ClearBusy();
    if (!LoadAndChooseSpeed(playback_, *e, SpeedEngine(), &play_.rememberedSpeed)) {
        loaded_ = false;
        UpdateToolbar();
        return false;
    }
    const bool started = StartPlayback();
    play_.continuous = play_.continuous || started;
    ShowPlayFace(started);
    ShowSpeedText();
    UpdateToolbar();
    StartTimer(kTimerPrepare, 100, true);
    return started;
}

bool CkinettaDlg::StartPlayback() {
    const int state = playback_.GetState(MasterCamera());
    if (state == kEngineClosed) return false;
    if (state == kEnginePlaying) return true;
    if (!playback_.Play(cameraSelection_)) return false;
    play_.RestartFadeIn();
    playback_.SetVolume(cameraSelection_, 0);
    StartTimer(kTimerFadeIn, 10, false);
    play_.startedOnce = true;
    MapStatus(0);
    return true;
}

void CkinettaDlg::StopPlayback() {
    const int state = playback_.GetState(MasterCamera());
    if (state != kEnginePlaying && state != kEnginePaused) return;
    {
        std::lock_guard lock(stateLock_);
        playback_.Stop(cameraSelection_);
    }
    ShowPlayFace(false);
    MapStatus(2);
    if (const RecordingEntry* e = SelectedEntry())
        play_.rememberedSpeed = DefaultSpeedStep(*e, CurrentFamily());
}

bool CkinettaDlg::IsNearEnd() {
    const bool was = play_.NearEnd();
    const bool near = play_.CheckNearEnd(loaded_, MasterCamera(), SpeedEngine(), cameraSelection_);
    if (near && !was) KillTimer(kTimerFadeIn); // faded out
    return near;
}

void CkinettaDlg::MovieEnded(int camera) {
    if (play_.finished || shutDown_ || !loaded_) return;
    ++endedCount_;
    const bool two = pair_ && playback_.Opened(0) && playback_.Opened(1);
    const double frontMs =
        static_cast<double>(playback_.GetLength(0)) * playback_.GetFrameDuration(0);
    const double rearMs =
        static_cast<double>(playback_.GetLength(1)) * playback_.GetFrameDuration(1);
    if (!EndCompletes(kBuildMode, two, endedCount_, camera, frontMs, rearMs)) return;
    endedCount_ = 0;
    const int cam = cameraSelection_;
    OnNext(true);
    if (!play_.continueIntoNextFolder) return;
    const int item = filer_->NextFolderItem();
    if (item >= 0) {
        play_.continueIntoNextFolder = false;
        ShowFolder(item, true);
        return;
    }
    // The last folder has ended: back to its start, paused.
    play_.continueIntoNextFolder = false;
    play_.ClearNearEnd();
    SeekTo(cam, 0, kEnginePaused);
    for (CMovieStatic* a : areas_)
        a->update();
    if (telemetry_) telemetry_->ResetPanel();
}

// ---- seeking and the position ----------------------------------------------------

void CkinettaDlg::SeekTo(int cam, long long frame, int state) {
    const int step = playback_.CurrentSpeedStep(SpeedEngine());
    const long long last = playback_.GetLength(MasterCamera());
    const long long limit =
        SeekLimit(static_cast<int>(std::min<long long>(frame, INT32_MAX)),
                  static_cast<int>(std::min<long long>(play_.sliderLast, INT32_MAX)), step);
    const int margin = SeekMargin(step, playback_.GetFrameDuration(cam));
    const long long target = std::min(last - 2LL * margin, limit);
    if (state == kEngineStopped || state == kEnginePaused) {
        if (target >= 0) playback_.SeekFrameForward(cam, target);
        UpdateViewsAt(frame);
        for (int k = 0; k < 2; ++k)
            if (!areas_[k]->NoData() && areas_[k]->isVisible()) playback_.Redraw(k);
        UpdateToolbar();
        MapMarkerToPosition();
    } else if (state == kEnginePlaying) {
        playback_.Pause(cam);
        playback_.SeekFrame(cam, std::max(0LL, target));
        UpdateViewsAt(frame);
        playback_.Play(cam);
        play_.RestartFadeIn();
        StartTimer(kTimerFadeIn, 10, false);
    }
    QThread::msleep(100);
    UpdatePositionDisplay(std::max<long long>(0, playback_.GetPosition(MasterCamera())));
}

void CkinettaDlg::OnPositionTimer() {
    RunMapTracksStep(); // until the page has the open recording's tracks and pins
    const int state = playback_.GetState(MasterCamera());
    if (state != kEnginePlaying) return;
    if (IsNearEnd()) {
        if (!controlsDisabled_) {
            controlsDisabled_ = true;
            position_->setEnabled(false);
            UpdateToolbar();
        }
    } else if (controlsDisabled_) {
        controlsDisabled_ = false;
        position_->setEnabled(true);
        UpdateToolbar();
    }
    const long long p = playback_.GetPosition(MasterCamera());
    if (p > 0) {
        UpdatePositionDisplay(p);
        const long long length = playback_.GetLength(MasterCamera());
        if (play_.markerFrame == -1 || std::llabs(p - play_.markerFrame) <= length / 1000 + 100) {
            UpdateViewsAt(p);
            play_.markerFrame = -1;
        }
    }
    ShowPlayFace(playback_.GetState(MasterCamera()) == kEnginePlaying);
}

void CkinettaDlg::UpdatePositionDisplay(long long position) {
    if (!position_->Dragging()) position_->SetPos(static_cast<int>(position));
    timeText_->setText(QString::fromStdString(
        PositionText(position, play_.sliderLast, playback_.GetFrameDuration(MasterCamera()))));
    const RecordingEntry* e = SelectedEntry();
    if (!e || !pair_) return;
    const int ended =
        EndedShorterCamera(e->frontFrames, e->rearFrames, PairEndTolerance(*e), position);
    if (ended >= 0 && !areas_[ended]->NoData()) {
        areas_[ended]->SetNoData(NoDataQText(ended));
        pairEndShownAt_[static_cast<size_t>(ended)] = position;
    }
}

void CkinettaDlg::PrepareRecordingViews() {
    const RecordingEntry* e = SelectedEntry();
    if (!e || !loaded_) return;
    for (int k = 0; k < 2; ++k)
        ApplyAreaAspect(k);
    playback_.SetVolume(cameraSelection_, 0); // the fade-in raises it
    play_.sliderLast = playback_.GetLength(MasterCamera());
    position_->SetRange(0, static_cast<int>(std::min<long long>(play_.sliderLast, INT32_MAX)));
    ShowSpeedText();
    play_.masterLength = playback_.GetMasterLength();
    PrepareTelemetryViews();
    UpdateViewsAt(0);
    PrepareMapViews();
    UpdatePositionDisplay(std::max<long long>(0, playback_.GetPosition(MasterCamera())));
    play_.markerFrame = -1;
    StartTimer(kTimerPosition, 100, false);
    PlaceMovieAreas();
    StartNextPrefetch();
}

void CkinettaDlg::UpdateViewsAt(long long frame) {
    // The graph, the panel and the map read the record of this frame. The
    // bracket keeps the records still.
    if (!playback_.LockTelemetry()) return;
    const long long f = std::clamp(frame, 0LL, std::max(0LL, play_.sliderLast));
    if (telemetry_) telemetry_->UpdateAt(f);
    UpdateMapAt(f);
    playback_.UnlockTelemetry();
}

} // namespace kinetta
