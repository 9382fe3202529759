// The main window's routing of commands and private messages (its own, the
// playback control's, and the features' by their table rows), the recording
// list and folder tree, browse, the reload after a delete and the loss of the
// source.

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/source.h"
#include "kinetta/catalogue/source_open_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/skin/skin_slider.h"
#include "platform/files.h"

namespace kinetta {

void CkinettaDlg::OnCommand(int id) {
    if (state_.shutDown_) return;
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
    default:
        break;
    }
    // A feature's command that is no playback command (the settings) runs
    // also near the end of a movie.
    const FeatureSet::CommandRow* row = features_.Command(id);
    if (row && row->anyTime) {
        features_.RouteCommand(id);
        return;
    }
    // Every playback command waits while the movie is within its last frames.
    if (play_.IsNearEnd()) return;
    if (!toolbar_.Enabled(id) && id >= kFirstToolbarCommand &&
        id < kFirstToolbarCommand + kToolbarCommandCount)
        return;
    if (features_.RouteCommand(id) || play_.OnCommand(id)) return;
    if (id == kCmdBrowse) return OnBrowse();
    // The display commands; the rest are commands of windows this build does not have.
    views_.OnCommand(id);
}

bool CkinettaDlg::event(QEvent* event) {
    if (const WindowMessage* m = AsWindowMessage(event)) {
        if (state_.shutDown_) return true;
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
            playback_.SeekFrame(state_.cameraSelection_, m->LParam());
            return true;
        case UM_ENGINE_TIMEOUT:
            play_.MovieEnded(play_.MasterCamera());
            return true;
        case UM_SLIDER_TRACK:
        case UM_SLIDER_BEGIN:
        case UM_SLIDER_END:
            play_.OnSliderMessage(m->Message(), static_cast<int>(m->WParam()), m->LParam());
            return true;
        case UM_APPBAR_NOTIFY:
            if (m->WParam() == kAppBarPositionChanged) RescaleForScreen();
            return true;
        default:
            // The features' messages go by their rows of the message table.
            if (features_.RouteMessage(*m)) return true;
            if (views_.HandleMessage(m->Message(), m->LParam())) return true;
            break;
        }
    }
    return CResizeDialog::event(event);
}

// ---- list, tree and source ------------------------------------------------------

void CkinettaDlg::OnListRebuilt() {
    {
        std::lock_guard lock(state_.lock_);
        state_.rows_ = filer_->Rows();
        state_.selected_ = filer_->Loading() ? -1 : filer_->SelectedRow();
    }
    // Rows by their names while a folder is read: what is derived from the
    // rows (the map's group track) waits for the folder as read.
    if (filer_->Loading()) return;
    emit state_.ListRebuilt();
}

void CkinettaDlg::OnFolderSelect(int item) {
    play_.StopContinuingIntoNextFolder();
    ShowFolder(item, false, true);
}

void CkinettaDlg::ShowFolder(int item, bool playFirst, bool inBackground) {
    if (!catalogue_ || item < 0 || item >= static_cast<int>(catalogue_->Tree().size())) return;
    // Whatever scan was asked for before is no longer wanted.
    folderScanner_.Cancel();
    folderScan_ = 0;
    CloseRecording();
    const RecorderFamily family = CurrentFamily();
    const std::string path = catalogue_->Tree()[static_cast<size_t>(item)].path;
    if (catalogue_->Kind() == kSourceFolder && item == 0) {
        // The source folder itself, scanned already.
        ShowFolderEntries(item, catalogue_->Entries(), playFirst);
        return;
    }
    if (!inBackground) {
        Catalogue folder(family, ContainerProbe(family));
        folder.OpenSource(path, kSourceFolder);
        ShowFolderEntries(item, folder.Entries(), playFirst);
        return;
    }
    // The folder's files are read by the scanner's worker; the list is empty
    // and says "読み込み中…" until its recordings arrive (no row of the folder
    // left behind can be opened meanwhile), the tree shows the folder chosen
    // at once.
    filer_->ClearList(); // ListRebuilt follows
    filer_->SetLoading(true);
    filer_->SelectFolderItem(item);
    UpdateToolbar();
    folderScanItem_ = item;
    folderScanPlayFirst_ = playFirst;
    folderScan_ = folderScanner_.Scan(
        path, family, ContainerProbe(family),
        [this](unsigned serial, std::vector<RecordingEntry> entries) {
            QMetaObject::invokeMethod(
                this,
                [this, serial, entries = std::move(entries)]() mutable {
                    OnFolderScanned(serial, std::move(entries));
                },
                Qt::QueuedConnection);
        },
        [this](unsigned serial, std::vector<RecordingEntry> entries) {
            QMetaObject::invokeMethod(
                this,
                [this, serial, entries = std::move(entries)]() mutable {
                    if (serial != 0 && serial == folderScan_ && !state_.shutDown_ &&
                        filer_->Loading())
                        filer_->SetPreview(std::move(entries), CurrentFamily());
                },
                Qt::QueuedConnection);
        });
}

void CkinettaDlg::OnFolderScanned(unsigned serial, std::vector<RecordingEntry> entries) {
    // Only the latest request of the source still shown counts.
    if (serial == 0 || serial != folderScan_ || state_.shutDown_ || !catalogue_ ||
        folderScanItem_ >= static_cast<int>(catalogue_->Tree().size()))
        return;
    folderScan_ = 0;
    ShowFolderEntries(folderScanItem_, std::move(entries), folderScanPlayFirst_);
}

void CkinettaDlg::ShowFolderEntries(int item, std::vector<RecordingEntry> entries, bool playFirst) {
    filer_->SetScanResult(std::move(entries), CurrentFamily()); // ListRebuilt follows
    filer_->SelectFolderItem(item);
    if (!state_.rows_.empty()) SelectRecording(0, playFirst ? kOpenByNext : kOpenBySelection);
    UpdateToolbar();
}

void CkinettaDlg::OnBrowse() {
    // Stop and close what plays, then ask.
    if (playback_.GetState(play_.MasterCamera()) != kEngineStopped) play_.StopPlayback();
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
    Catalogue unread(CurrentFamily(), {});
    const BrowseOutcome out =
        ApplySourceChoice({kind, path}, *decider_, unread, kBuildMode, ContainerProbe, false);
    if (!out.accepted) return;
    AdoptFamily();
    ApplyModeLayout();
    state_.modelKey_ = out.modelKey;
    state_.voltageTrace_ = out.traceMarker;
    filer_->ClearTree();
    // The chosen source is read on the folder scanner's worker, as at
    // start-up: the window answers meanwhile (a card behind a slow reader
    // takes minutes) and the list says it is loading.
    ReadSourceInBackground(out.path, kind, false);
    LayOut();
    UpdateToolbar();
}

void CkinettaDlg::ReloadAfterDelete() {
    // The deleted recordings leave the catalogue; the rest are numbered again
    // in their order, and the list shows row 0.
    auto prune = [](std::vector<RecordingEntry> list) {
        std::vector<RecordingEntry> kept;
        for (RecordingEntry& e : list) {
            const bool there = (!e.frontPath.empty() && platform::Exists(e.frontPath)) ||
                               (!e.rearPath.empty() && platform::Exists(e.rearPath));
            if (there) kept.push_back(std::move(e));
        }
        for (size_t i = 0; i < kept.size(); ++i)
            kept[i].listNumber = static_cast<int32_t>(i);
        return kept;
    };
    if (catalogue_) catalogue_->MutableEntries() = prune(catalogue_->Entries());
    // The whole read under way may have listed files before they went.
    if (sourceVerify_ != 0) StartSourceVerify();
    std::vector<RecordingEntry> scan = prune(filer_->ScanResult());
    filer_->SetScanResult(std::move(scan), CurrentFamily()); // ListRebuilt follows
    {
        std::lock_guard lock(state_.lock_);
        state_.selected_ = state_.rows_.empty() ? -1 : 0;
    }
    if (!state_.rows_.empty()) filer_->SelectRow(0);
}

void CkinettaDlg::OnSourceLost() {
    folderScanner_.Cancel(); // nothing of the lost source is shown any more
    folderScan_ = 0;
    sourceScan_ = 0;
    sourceVerifier_.Cancel();
    sourceVerify_ = 0;
    play_.StopPlayback();
    CloseRecording();
    play_.ResetSpeedToDefault();
    state_.cameraSelection_ = CameraSelectionAfterClose(kBuildMode, state_.cameraSelection_);
    state_.shownCamera_ = state_.cameraSelection_ == kCameraRear ? 1 : 0;
    filer_->ClearList();
    filer_->ClearTree();
    {
        std::lock_guard lock(state_.lock_);
        state_.rows_.clear();
        state_.selected_ = -1;
    }
    for (CMovieStatic* a : areas_)
        a->Reset();
    PlaceMovieAreas();
    position_->SetRange(0, 0);
    position_->SetPos(0);
    timeText_->clear();
    speedText_->clear();
    UpdateToolbar();
    emit state_.SourceLost();
    // Started from the card that went away: nothing is left to run.
    if (SourceWatch::ExecutableGone()) {
        Shutdown();
        close();
    }
}

} // namespace kinetta
