#pragma once
// ExportFeature: the CSV export (command 38017, a file flow over the list's
// rows) and the still pictures (command 38006, on the UI thread) as a
// feature of the viewer. Both run on the file flows' object: its prompts and
// questions, and for the CSV export its worker. While the still pictures are
// taken the sliders and the toolbar are held, and so is the list.
//
// UI thread only.

#include "kinetta/fileops/export_flows.h"
#include "kinetta/shell/viewer_feature.h"

namespace kinetta {

class ExportFeature : public ViewerFeature {
public:
    // ops: the file flows (FileOpsFeature), which outlive this feature.
    ExportFeature(ViewerState& viewer, CFileOps& ops);

    // The still-picture command and its last names.
    CStillCapture& Still() { return still_; }

    void OnCommand(int id) override;
    Hold Holds() const override { return still_.Running() ? kHoldsList : kHoldsNothing; }

private:
    CStillCapture::Host StillHost();

    CFileOps& ops_;
    CStillCapture still_;
};

} // namespace kinetta
