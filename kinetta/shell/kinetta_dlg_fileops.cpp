// The main window's side of the file operations: it owns the flows' object
// (CFileOps), hands it the window's messages, stops playback and closes the
// movies before a flow, holds the toolbar and the list while one runs,
// rebuilds the list after a delete and opens the selected recording again
// when the flow has ended.

#include "kinetta/base/ui_text.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "platform/files.h"

namespace kinetta {

namespace {
bool SameRecording(const RecordingEntry& a, const RecordingEntry& b) {
    return a.frontPath == b.frontPath && a.rearPath == b.rearPath;
}

void Mark(std::vector<RecordingEntry>& list, const std::vector<RecordingEntry>& ticked) {
    for (RecordingEntry& e : list)
        for (const RecordingEntry& t : ticked)
            if (SameRecording(e, t)) e.marked = 1;
}

// Whether any file of the entry is still there.
bool StillThere(const RecordingEntry& e) {
    return (!e.frontPath.empty() && platform::Exists(e.frontPath)) ||
           (!e.rearPath.empty() && platform::Exists(e.rearPath));
}
} // namespace

CFileOps* CkinettaDlg::FileOps() const {
    return fileOps_.get();
}

void CkinettaDlg::CreateFileOps() {
    CFileOps::Host host;
    host.stopAndClose = [this] {
        if (playback_.GetState(MasterCamera()) != kEngineStopped) StopPlayback();
        KillTimer(kTimerOpenTimeout);
        CloseRecording();
        ResetViews();
        // No read-ahead may still hold a source open.
        JoinPrefetchThreads();
        busy_ = false;
        unsetCursor();
    };
    host.flowRunning = [this](bool running) {
        UpdateToolbar();
        if (running || shutDown_) return;
        const int row = SelectedIndex();
        if (row >= 0) SelectRecording(row, kOpenBySelection);
    };
    host.reloadList = [this] { ReloadAfterDelete(); };
    host.markProcessed = [this](const std::vector<RecordingEntry>& ticked) {
        {
            std::lock_guard lock(stateLock_);
            Mark(rows_, ticked);
        }
        if (catalogue_) Mark(catalogue_->MutableEntries(), ticked);
    };
    host.selectionRequest = [this](FileSelectMode mode) {
        FileSelectRequest request;
        request.mode = mode;
        {
            std::lock_guard lock(stateLock_);
            request.current = rows_;
            request.focusRow = std::max(selected_, 0);
        }
        if (catalogue_) request.all = catalogue_->Entries();
        return request;
    };
    host.sourceKind = [this] { return catalogue_ ? static_cast<int>(catalogue_->Kind()) : 0; };
    host.selectedRecording = [this]() -> std::optional<RecordingEntry> {
        std::lock_guard lock(stateLock_);
        if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size())) return std::nullopt;
        return rows_[static_cast<size_t>(selected_)];
    };
    // The front camera's flip (command 38011): the conversion's mounting direction.
    host.flipped = [this] { return view_.Mirrored(0); };
    FileOpAnswerer answerer;
    answerer.messageBox = [this](const QString& text, const QString& caption, int type) {
        return hooks_.messageBox(text, caption, type);
    };
    fileOps_ = std::make_unique<CFileOps>(this, progress_, std::move(host), std::move(answerer));
}

void CkinettaDlg::PlaceFileOps(const QRect& rect) {
    if (fileOps_) fileOps_->Place(rect);
}

bool CkinettaDlg::FileOpRunning() const {
    return fileOps_ && fileOps_->Running();
}

void CkinettaDlg::EndFileOps() {
    if (fileOps_) fileOps_->Shutdown();
}

bool CkinettaDlg::HandleFileOpMessage(int message, std::uintptr_t wParam, std::intptr_t lParam) {
    return fileOps_ && fileOps_->HandleMessage(message, wParam, lParam);
}

void CkinettaDlg::UpdateJoinButton() {
    CSkinButton* b = ToolbarButton(kCmdJoin);
    if (!b) return;
    const SourceKind kind = catalogue_ ? catalogue_->Kind() : kSourceNone;
    const bool convert = kind == kSourceFolder || kind == kSourceFile;
    const QString text = Text(convert ? kStrUploadConversion : kStrJoin);
    if (b->toolTip() != text) {
        b->setToolTip(text);
        b->setAccessibleName(text);
    }
}

void CkinettaDlg::ReloadAfterDelete() {
    // The deleted recordings leave the catalogue; the rest are numbered again
    // in their order, and the list shows row 0.
    auto prune = [](std::vector<RecordingEntry> list) {
        std::vector<RecordingEntry> kept;
        for (RecordingEntry& e : list)
            if (StillThere(e)) kept.push_back(std::move(e));
        for (size_t i = 0; i < kept.size(); ++i)
            kept[i].listNumber = static_cast<int32_t>(i);
        return kept;
    };
    if (catalogue_) catalogue_->MutableEntries() = prune(catalogue_->Entries());
    std::vector<RecordingEntry> scan = prune(filer_->ScanResult());
    filer_->SetScanResult(std::move(scan), CurrentFamily()); // ListRebuilt follows
    {
        std::lock_guard lock(stateLock_);
        selected_ = rows_.empty() ? -1 : 0;
    }
    if (!rows_.empty()) filer_->SelectRow(0);
}

} // namespace kinetta
