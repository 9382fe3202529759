#pragma once
// ClipFeature: "イベントを切り出し", the event clips of the viewer. A clip of
// the open recording (or of a row of the list) is cut on the file flows'
// worker (RunClipJob) with their progress window, cancel, free-space check
// and end messages (kinetta/fileops/README.md), into the folder asked for
// under "CLIP_FOLDER" (remembered once the clip is written). It starts from:
//  * the movie menu's command kCmdClipEvent: the listed event nearest the
//    playback position within the clip's seconds before and after it, or
//    else the position itself;
//  * UM_CLIP_AT_EVENT (wParam kind, lParam frame), posted by a Ctrl + right
//    click on a mark of the acceleration graph and by a right click on an
//    event pin of the map: a one-item menu for that event of the open
//    recording;
//  * UM_CLIP_AT_ROW (wParam row), posted for a right click on a row of the
//    recording list: a one-item menu for that recording's first listed
//    event, or its start when it has none.
// The files are read for the request after the flow has closed the movies.
// Once a recording is shown, the SHA-256 of its files are computed in the
// background at the lowest priority (DigestPrefetch) and kept in the digest
// cache, so that its clips need to read only their own bytes.
//
// UI thread only; the clip itself on the flows' worker.

#include <QPointer>

#include <functional>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/clips/clip_job.h"
#include "kinetta/clips/source_digests.h"
#include "kinetta/shell/viewer_feature.h"

class QMenu;

namespace kinetta {

class CFileOps;
class TelemetryFeature;

class ClipFeature : public ViewerFeature {
public:
    // ops: the file flows; telemetry: the event list's detector switches.
    // Both outlive this feature.
    ClipFeature(ViewerState& viewer, CFileOps& ops, TelemetryFeature& telemetry);

    void OnCommand(int id) override;
    void OnMessage(const WindowMessage& message) override;

    // The one-item menu offered last while it is shown; null otherwise.
    QMenu* OfferedMenu() const;
    // The background digests of the recording shown (tests wait on it).
    DigestPrefetch& Prefetch() { return prefetch_; }
    // Called on the flow's worker with each request just before it is cut
    // (tests see what reached the flow, and may hold the work there).
    void SetRequestWatch(std::function<void(const ClipRequest&)> watch) {
        watch_ = std::move(watch);
    }

private:
    // Shows the one-item menu at the pointer; its choice starts the clip.
    void Offer(const RecordingEntry& entry, const ClipTarget& target);
    // Runs the flow: the folder, the request read from the files, the clip.
    bool Start(const RecordingEntry& entry, const ClipTarget& target);

    CFileOps& ops_;
    TelemetryFeature& telemetry_;
    QPointer<QMenu> menu_;
    std::function<void(const ClipRequest&)> watch_;
    DigestPrefetch prefetch_;
};

} // namespace kinetta
