#pragma once
// GpxFeature: "GPXで保存" (command 38210 of the movie menu) as a feature of
// the viewer. The recordings ticked in the file-selection dialog (save mode
// titled "GPXで保存", over the list's rows) are written as one GPX file (gpx_export.h) into the
// folder asked for, remembered under "GPX_FOLDER" once the file is written.
// The work runs on the file flows' worker with their progress window,
// cancel and end messages (kinetta/fileops/README.md); a cancel shows
// nothing, a failure "GPXファイルの保存に失敗しました。" with the reason, the
// completion the folder and the file. Unlike the flows that write movies it
// leaves the recording being watched open, playing or paused where it was.
//
// The smallest feature of the viewer, and the model for a new one
// (kinetta/README.md): its own folder, one line in the window that creates
// it, its row in the command table.
//
// UI thread only; the export itself on the flows' worker.

#include "kinetta/shell/viewer_feature.h"

namespace kinetta {

class CFileOps;

class GpxFeature : public ViewerFeature {
public:
    // ops: the file flows (FileOpsFeature), which outlive this feature.
    GpxFeature(ViewerState& viewer, CFileOps& ops) : ViewerFeature(viewer), ops_(ops) {}

    void OnCommand(int id) override;

private:
    CFileOps& ops_;
};

} // namespace kinetta
