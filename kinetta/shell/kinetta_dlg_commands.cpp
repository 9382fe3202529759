// The main window's commands and private messages: the toolbar and caption
// buttons, the sliders, the recording list and folder tree, browse, previous,
// next, the speed buttons, the camera switch and the loss of the source.

#include <QApplication>
#include <QStyleHints>
#include <QThread>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/source.h"
#include "kinetta/catalogue/source_open_dlg.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/skin/skin_slider.h"
#include "kinetta/telemetry/telemetry_views.h"
#include "platform/files.h"

namespace kinetta {

void CkinettaDlg::ShowMessage(const QString& text, const QString& caption) {
    hooks_.messageBox(text, caption, 0);
}

void CkinettaDlg::OnCommand(int id) {
    if (shutDown_) return;
    switch (id) {
    case kCmdClose:
        Shutdown();
        close();
        return;
    case kCmdMinimise:
        showMinimized();
        return;
    case kCmdMaximise:
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        return;
    case kCmdSettings: // no playback command: also near the end of a movie
        ShowSettingsDialog();
        return;
    default:
        break;
    }
    // Every playback command waits while the movie is within its last frames.
    if (IsNearEnd()) return;
    if (!toolbar_.Enabled(id) && id >= kFirstToolbarCommand &&
        id < kFirstToolbarCommand + kToolbarCommandCount)
        return;
    switch (id) {
    case kCmdToStart:
        return OnToStart();
    case kCmdPrevious:
        return OnPrevious();
    case kCmdPlayPause:
        return OnPlayPause();
    case kCmdSlow:
        return OnSpeedButton(false);
    case kCmdFastForward:
        return OnSpeedButton(true);
    case kCmdNext:
        return OnNext(false);
    case kCmdBrowse:
        return OnBrowse();
    case kCmdGpxExport:
        return OnGpxExport();
    case kCmdCameraSwitch:
        return OnCameraSwitch();
    case kCmdCsv:
        return OnCsvExport();
    case kCmdStill:
        return OnStillPicture();
    case kCmdSaveSplit:
        fileOps_->Save();
        return;
    case kCmdDelete:
        fileOps_->Delete();
        return;
    case kCmdJoin:
        fileOps_->JoinOrConvert();
        return;
    default:
        // The view commands; the rest are commands of windows this build does not have.
        OnViewCommand(id);
        return;
    }
}

bool CkinettaDlg::event(QEvent* event) {
    if (const WindowMessage* m = AsWindowMessage(event)) {
        if (shutDown_) return true;
        switch (m->Message()) {
        case UM_STARTUP_STAGE2:
            StartupStage2();
            return true;
        case UM_TELEMETRY_PREFETCHED:
            OnTelemetryPrefetched(static_cast<unsigned>(m->WParam()));
            return true;
        case UM_SOURCE_LOST:
            OnSourceLost();
            return true;
        case UM_RELAYOUT:
            LayOut();
            return true;
        case UM_ENGINE_TICK:
            playback_.SeekFrame(cameraSelection_, m->LParam());
            return true;
        case UM_ENGINE_TIMEOUT:
            MovieEnded(MasterCamera());
            return true;
        case UM_SLIDER_TRACK:
        case UM_SLIDER_BEGIN:
        case UM_SLIDER_END:
            OnSliderMessage(m->Message(), static_cast<int>(m->WParam()), m->LParam());
            return true;
        case UM_UPDATE_FOUND:
            OnUpdateFound();
            return true;
        case UM_APPBAR_NOTIFY:
            if (m->WParam() == kAppBarPositionChanged) RescaleForScreen();
            return true;
        default:
            if (HandleFileOpMessage(static_cast<int>(m->Message()), m->WParam(), m->LParam()))
                return true;
            if (HandleTelemetryMessage(static_cast<int>(m->Message()), m->WParam(), m->LParam()))
                return true;
            if (HandleViewMessage(static_cast<int>(m->Message()), m->LParam())) return true;
            if (HandleMapMessage(static_cast<int>(m->Message()), m->LParam())) return true;
            break;
        }
    }
    return CResizeDialog::event(event);
}

void CkinettaDlg::OnSliderMessage(int message, int control, long long value) {
    if (control == 38101) {
        // The engines follow the drag; the settings file takes the value once
        // it settles, at the release.
        if (message != UM_SLIDER_BEGIN)
            SetVolume(static_cast<int>(std::clamp(value, 0LL, 65535LL)), message == UM_SLIDER_END);
        return;
    }
    if (control != 38100 || !loaded_) return;
    const int step = playback_.CurrentSpeedStep(SpeedEngine());
    const int margin = SeekMargin(step, playback_.GetFrameDuration(MasterCamera()));
    const long long limit = std::max(0LL, play_.masterLength - 2LL * margin);
    switch (message) {
    case UM_SLIDER_TRACK:
        position_->SetPos(static_cast<int>(value));
        UpdateViewsAt(std::min(value, limit));
        break;
    case UM_SLIDER_BEGIN:
        // The release seeks in the state the engine had before the press.
        FadeOut();
        play_.sliderState = playback_.GetState(MasterCamera());
        if (play_.sliderState != kEnginePaused) playback_.Pause(cameraSelection_);
        if (!position_->PressHitThumb()) SeekTo(cameraSelection_, value, kEnginePaused);
        break;
    case UM_SLIDER_END: {
        const int state =
            play_.sliderState >= 0 ? play_.sliderState : playback_.GetState(MasterCamera());
        play_.sliderState = -1;
        SeekTo(cameraSelection_, std::min(value, limit), state);
        ShowPlayFace(playback_.GetState(MasterCamera()) == kEnginePlaying);
        break;
    }
    default:
        break;
    }
}

void CkinettaDlg::SeekFromSlider(long long frame) {
    if (!loaded_) return;
    const int step = playback_.CurrentSpeedStep(SpeedEngine());
    const int margin = SeekMargin(step, playback_.GetFrameDuration(MasterCamera()));
    const long long limit = std::max(0LL, play_.masterLength - 2LL * margin);
    SeekTo(cameraSelection_, std::min(frame, limit), playback_.GetState(MasterCamera()));
}

// ---- list, tree and source ------------------------------------------------------

void CkinettaDlg::OnListRebuilt() {
    {
        std::lock_guard lock(stateLock_);
        rows_ = filer_->Rows();
        selected_ = filer_->SelectedRow();
    }
    if (telemetry_) telemetry_->ResetPanel();
    RebuildMapGroup();
}

void CkinettaDlg::OnListSelect(int row) {
    SelectRecording(row, kOpenBySelection);
}

void CkinettaDlg::OnFolderSelect(int item, const QString&) {
    play_.continueIntoNextFolder = false;
    ShowFolder(item, false);
}

void CkinettaDlg::ShowFolder(int item, bool playFirst) {
    if (!catalogue_ || item < 0 || item >= static_cast<int>(catalogue_->Tree().size())) return;
    CloseRecording();
    const RecorderFamily family = CurrentFamily();
    const std::string path = catalogue_->Tree()[static_cast<size_t>(item)].path;
    std::vector<RecordingEntry> entries;
    if (catalogue_->Kind() == kSourceFolder && item == 0) {
        entries = catalogue_->Entries(); // the source folder itself, scanned already
    } else {
        Catalogue folder(family, ContainerProbe(family));
        folder.OpenSource(path, kSourceFolder);
        entries = folder.Entries();
    }
    filer_->SetScanResult(std::move(entries), family); // ListRebuilt follows
    filer_->SelectFolderItem(item);
    if (!rows_.empty()) SelectRecording(0, playFirst ? kOpenByNext : kOpenBySelection);
    UpdateToolbar();
}

void CkinettaDlg::OnBrowse() {
    // Stop and close what plays, then ask.
    if (playback_.GetState(MasterCamera()) != kEngineStopped) StopPlayback();
    CloseRecording();
    ResetViews();
    SourceKind kind = kSourceNone;
    std::string path;
    bool chosen = false;
    if (hooks_.sourcePrompt) {
        chosen = hooks_.sourcePrompt(&kind, &path);
    } else {
        CSourceOpenDlg dlg(Settings(), hooks_.removableRoots(), this);
        chosen = dlg.exec() == QDialog::Accepted;
        kind = dlg.Kind();
        path = dlg.ChosenPath();
    }
    UpdateToolbar();
    if (!chosen) return;
    // A missing source, or a card of the other family after start-up, ends
    // the command silently; the old catalogue stays.
    const RecorderFamily family = CurrentFamily();
    auto next = std::make_unique<Catalogue>(family, ContainerProbe(family));
    const BrowseOutcome out =
        ApplySourceChoice({kind, path}, *decider_, *next, kBuildMode, ContainerProbe);
    if (!out.opened && !out.openFailed) return;
    AdoptFamily();
    ApplyModeLayout();
    modelKey_ = out.modelKey;
    traceFlag_ = out.traceMarker;
    filer_->ClearList();
    filer_->ClearTree();
    const std::string source = next->SourcePath();
    ShowSource(std::move(next), source, kind, out.opened);
    LayOut();
    UpdateToolbar();
}

void CkinettaDlg::OnSourceLost() {
    StopPlayback();
    CloseRecording();
    const RecordingEntry* e = SelectedEntry();
    if (e) playback_.SetSpeed(DefaultSpeedStep(*e, CurrentFamily()));
    cameraSelection_ = CameraSelectionAfterClose(kBuildMode, cameraSelection_);
    shownCamera_ = cameraSelection_ == kCameraRear ? 1 : 0;
    filer_->ClearList();
    filer_->ClearTree();
    {
        std::lock_guard lock(stateLock_);
        rows_.clear();
        selected_ = -1;
    }
    for (CMovieStatic* a : areas_)
        a->Reset();
    PlaceMovieAreas();
    position_->SetRange(0, 0);
    position_->SetPos(0);
    timeText_->clear();
    speedText_->clear();
    UpdateToolbar();
    // Started from the card that went away: nothing is left to run.
    if (SourceWatch::ExecutableGone()) {
        Shutdown();
        close();
    }
}

// ---- playback commands ----------------------------------------------------------

void CkinettaDlg::OnToStart() {
    const RecordingEntry* e = SelectedEntry();
    if (!e || !loaded_) return;
    const int def = DefaultSpeedStep(*e, CurrentFamily());
    if (playback_.CurrentSpeedStep(SpeedEngine()) != def) playback_.SetSpeed(def);
    ApplyVolume();
    const int state = playback_.GetState(MasterCamera());
    if (state == kEnginePlaying) playback_.Stop(cameraSelection_);
    SeekTo(cameraSelection_, 0, state == kEnginePlaying ? kEngineStopped : state);
    if (state == kEnginePlaying) StartPlayback();
    ShowSpeedText();
    UpdateToolbar();
}

void CkinettaDlg::OnPrevious() {
    playback_.Pause(cameraSelection_);
    StopPlayback();
    const int row = ChoosePrevious(SelectedIndex(), static_cast<int>(rows_.size()));
    if (row >= 0) {
        filer_->SelectRow(row);
        SelectRecording(row, kOpenByPrevious);
        return;
    }
    // At the first entry: back to its start.
    if (const RecordingEntry* e = SelectedEntry())
        playback_.SetSpeed(DefaultSpeedStep(*e, CurrentFamily()));
    StopPlayback();
    playback_.SeekFrameForward(cameraSelection_, 0);
    UpdateViewsAt(0);
    UpdatePositionDisplay(0);
    ShowSpeedText();
    UpdateToolbar();
}

void CkinettaDlg::OnNext(bool forMovieEnd) {
    const RecordingEntry* e = SelectedEntry();
    if (!forMovieEnd) {
        playback_.Pause(cameraSelection_);
        StopPlayback();
        if (e) play_.rememberedSpeed = DefaultSpeedStep(*e, CurrentFamily());
    }
    const NextChoice next =
        ChooseNext(SelectedIndex(), static_cast<int>(rows_.size()), filer_->NextFolderItem() >= 0);
    switch (next.move) {
    case NextMove::SelectRow:
        filer_->SelectRow(next.row);
        SelectRecording(next.row, kOpenByNext);
        return;
    case NextMove::IntoNextFolder:
        // The folder's list has ended: the next folder's first recording
        // follows, at the end of the movie or at once when asked for.
        playback_.Pause(cameraSelection_);
        ApplyVolume();
        ShowSpeedText();
        play_.continueIntoNextFolder = true;
        if (!forMovieEnd) {
            StopPlayback();
            play_.continueIntoNextFolder = false;
            ShowFolder(filer_->NextFolderItem(), true);
        }
        return;
    case NextMove::FinishAtLastRow:
        if (e) playback_.SetSpeed(DefaultSpeedStep(*e, CurrentFamily()));
        play_.finished = true;
        play_.continueIntoNextFolder = true;
        SelectRecording(next.row, kOpenBySelection);
        play_.finished = true;
        return;
    case NextMove::Nothing:
        return;
    }
}

void CkinettaDlg::OnPlayPause() {
    play_.hasPlayed = true;
    if (!loaded_) return;
    if (playback_.GetState(MasterCamera()) == kEnginePlaying) {
        if (const RecordingEntry* e = SelectedEntry()) {
            const int def = DefaultSpeedStep(*e, CurrentFamily());
            if (playback_.CurrentSpeedStep(SpeedEngine()) != def) {
                playback_.SetSpeed(def);
                QThread::msleep(100);
            }
        }
        playback_.Pause(cameraSelection_);
        MapStatus(1);
        play_.continuous = false;
        ShowPlayFace(false);
        ShowSpeedText();
    } else {
        FadeOut();
        if (const RecordingEntry* e = SelectedEntry())
            play_.rememberedSpeed = DefaultSpeedStep(*e, CurrentFamily());
        const bool started = StartPlayback();
        if (!started) playAfterLoad_ = true;
        play_.continuous = started;
        ShowSpeedText();
        ShowPlayFace(started);
    }
    UpdateToolbar();
}

void CkinettaDlg::OnSpeedButton(bool faster) {
    // Clicks within half the double-click time collapse into one change.
    play_.speedFaster = faster;
    StartTimer(kTimerSpeed, QApplication::styleHints()->mouseDoubleClickInterval() / 2, true);
}

void CkinettaDlg::ApplySpeedChange() {
    if (IsNearEnd()) return;
    const int engine = SpeedEngine();
    const int current = playback_.CurrentSpeedStep(engine);
    const int next = playback_.NextSpeedStep(engine, play_.speedFaster);
    if (next != current) {
        playback_.SetSpeed(next);
        const long long position = playback_.GetPosition(MasterCamera());
        if (combined_) playback_.EnableStream(shownCamera_, true);
        playback_.RestartAt(cameraSelection_, position);
    }
    UpdateToolbar();
    ShowSpeedText();
}

void CkinettaDlg::OnCameraSwitch() {
    if (kBuildMode == OperatingMode::Full) return;
    const int from = shownCamera_;
    const int to = 1 - from;
    const bool targetOpen = combined_ ? true : playback_.Opened(to);
    if (!targetOpen) return;
    const int fromCam = combined_ ? from : from;
    long long p = playback_.GetPosition(fromCam);
    const int step = playback_.CurrentSpeedStep(SpeedEngine());
    const long long targetLength = playback_.GetLength(to);
    const int margin = SeekMargin(step, playback_.GetFrameDuration(to));
    p = std::max(0LL, std::min(p, targetLength - 2LL * margin));
    const int state = playback_.GetState(fromCam);
    if (state == kEnginePlaying) {
        playback_.EnableStream(from, false);
        if (!combined_) playback_.Pause(fromCam);
    }
    shownCamera_ = to;
    cameraSelection_ = to;
    PlaceMovieAreas();
    switch (state) {
    case kEngineStopped:
        playback_.EnableStream(to, true);
        playback_.Play(to);
        playback_.Stop(to);
        SeekTo(to, 0, kEngineStopped);
        break;
    case kEnginePlaying:
        playback_.EnableStream(to, true);
        if (!combined_) {
            playback_.Play(to);
            SeekTo(to, p, kEnginePlaying);
        }
        break;
    case kEnginePaused:
        // The other camera shows its frame at the same place after about a second.
        playback_.EnableStream(to, true);
        playback_.Play(to);
        QThread::msleep(500);
        playback_.Pause(to);
        QThread::msleep(500);
        SeekTo(to, p, kEnginePaused);
        break;
    default:
        break;
    }
    ApplyVolume();
    UpdateToolbar();
}

} // namespace kinetta
