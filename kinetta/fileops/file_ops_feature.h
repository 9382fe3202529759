#pragma once
// FileOpsFeature: the file flows as a feature of the viewer. It owns the
// flows' object (CFileOps) with its progress window, which takes the
// window's progress bar (control 38102), and runs the commands of its rows:
// save and split (38008), delete (38015), join or upload conversion (38007).
// The flows' worker posts UM_PROGRESS, UM_FILEOP_DONE and UM_FILEOP_RELOAD
// to the main window, whose message table hands them here. While a flow runs
// it holds the toolbar and the list. Command 38007's text and tooltip follow
// the source: "連結" on a card (or without a source), "アップロード変換" for a
// folder or a single file. Closing the viewer cancels a running flow and
// waits for its worker first of all.
//
// UI thread only.

#include <memory>

#include "kinetta/fileops/file_ops.h"
#include "kinetta/shell/viewer_feature.h"

namespace kinetta {

class FileOpsFeature : public ViewerFeature {
public:
    explicit FileOpsFeature(ViewerState& viewer);
    ~FileOpsFeature() override;

    CFileOps& Ops() { return *ops_; }
    // Whether a flow's worker runs (the toolbar and the list are held).
    bool Running() const { return ops_->Running(); }

    void OnMessage(const WindowMessage& message) override;
    void OnCommand(int id) override;
    Hold Holds() const override { return Running() ? kHoldsToolbar : kHoldsNothing; }

private:
    void UpdateJoinButton();

    std::unique_ptr<CFileOps> ops_;
};

} // namespace kinetta
