#include "kinetta/fileops/file_ops_feature.h"

#include <algorithm>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_progress.h"

namespace kinetta {

FileOpsFeature::FileOpsFeature(ViewerState& viewer) : ViewerFeature(viewer) {
    const ViewerState::Requests& ask = viewer.Ask();
    CFileOps::Host host;
    host.stopAndClose = ask.stopAndClose;
    host.flowRunning = ask.flowRunning;
    host.reloadList = ask.reloadAfterDelete;
    host.markProcessed = ask.markProcessed;
    host.selectionRequest = [&viewer](FileSelectMode mode) {
        FileSelectRequest request;
        request.mode = mode;
        {
            std::lock_guard lock(viewer.RowsLock());
            request.current = viewer.RowsLocked();
            request.focusRow = std::max(viewer.SelectedLocked(), 0);
        }
        // While the source is still being read behind its list, its
        // recordings are known by their names only (not measured, unfinished
        // ones among them): the choice is the list's until the read is done.
        if (const Catalogue* source = viewer.Source())
            request.all = source->NamesOnly() ? request.current : source->Entries();
        return request;
    };
    host.sourceKind = [&viewer] { return static_cast<int>(viewer.Kind()); };
    host.selectedRecording = [&viewer]() -> std::optional<RecordingEntry> {
        std::lock_guard lock(viewer.RowsLock());
        const int row = viewer.SelectedLocked();
        const auto& rows = viewer.RowsLocked();
        if (row < 0 || row >= static_cast<int>(rows.size())) return std::nullopt;
        return rows[static_cast<size_t>(row)];
    };
    // The front camera's flip (command 38011): the conversion's mounting direction.
    host.flipped = [&viewer] { return viewer.Mirrored(0); };
    FileOpAnswerer answerer;
    answerer.messageBox = ask.messageBox;
    // The progress window takes the window's progress bar.
    auto* bar = new CSkinProgressBarCtrl(38102, viewer.Window());
    ops_ = std::make_unique<CFileOps>(viewer.Window(), bar, std::move(host), std::move(answerer));

    connect(&viewer, &ViewerState::LaidOut, this, [this](const FeaturePlaces& p) {
        if (p.chrome) ops_->Place(p.progressBar);
    });
    connect(&viewer, &ViewerState::ToolbarUpdated, this, [this] { UpdateJoinButton(); });
    connect(&viewer, &ViewerState::ShuttingDown, this, [this](ShutdownStep step) {
        if (step != ShutdownStep::kStopWork) return;
        // A flow stops between two files; nothing is left half-written.
        ops_->Shutdown();
        viewer_.Note("file flows stopped");
    });
}

FileOpsFeature::~FileOpsFeature() = default;

void FileOpsFeature::OnMessage(const WindowMessage& m) {
    ops_->HandleMessage(m.Message(), m.WParam(), m.LParam());
}

void FileOpsFeature::OnCommand(int id) {
    switch (id) {
    case kCmdSaveSplit:
        ops_->Save();
        return;
    case kCmdDelete:
        ops_->Delete();
        return;
    case kCmdJoin:
        ops_->JoinOrConvert();
        return;
    default:
        return;
    }
}

void FileOpsFeature::UpdateJoinButton() {
    CSkinButton* b = viewer_.Ask().commandButton(kCmdJoin);
    if (!b) return;
    const SourceKind kind = viewer_.Kind();
    const bool convert = kind == kSourceFolder || kind == kSourceFile;
    const QString text = Text(convert ? kStrUploadConversion : kStrJoin);
    if (b->toolTip() != text) {
        b->setToolTip(text);
        b->setAccessibleName(text);
    }
}

} // namespace kinetta
