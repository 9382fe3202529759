#include "kinetta/fileops/export_feature.h"

#include <chrono>

#include "kinetta/base/command_ids.h"
#include "kinetta/fileops/file_ops.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

namespace {
// How long a camera brought to a position may take to present its frame
// before the pictures are given up. A safety net only: the wait ends as soon
// as the frame is there (a scrub decodes from the key frame before it, well
// under a second here even on a loaded machine).
constexpr std::chrono::milliseconds kPresentTimeout{10000};
} // namespace

ExportFeature::ExportFeature(ViewerState& viewer, CFileOps& ops)
    : ViewerFeature(viewer), ops_(ops), still_(ops, StillHost()) {}

CStillCapture::Host ExportFeature::StillHost() {
    ViewerState& viewer = viewer_;
    playcore::PlaybackSession& session = viewer.Session();
    const ViewerState::Requests& ask = viewer.Ask();
    CStillCapture::Host host;
    host.holdControls = ask.holdControls;
    host.recording = [&viewer]() -> std::optional<RecordingEntry> {
        std::lock_guard lock(viewer.RowsLock());
        const auto& rows = viewer.RowsLocked();
        if (rows.empty()) return std::nullopt;
        const int selected = viewer.SelectedLocked();
        const size_t row = selected >= 0 && selected < static_cast<int>(rows.size())
                               ? static_cast<size_t>(selected)
                               : 0;
        return rows[row];
    };
    host.holdPosition = ask.holdPosition;
    host.presentAt = [&viewer, &session](long long position) {
        // Both cameras are brought to the position exactly (a scrub shows
        // exactly the frame of that position): a movie paused from playing
        // may show the frame before the position it reports. The camera not
        // shown is started once if it never ran, with its stream on.
        const bool combined = viewer.Combined();
        const int shown = viewer.ShownCamera();
        const int other = 1 - shown;
        if (combined || session.Opened(other)) {
            session.EnableStream(other, true);
            if (!combined && session.GetState(other) == playcore::kEngineStopped) {
                session.Play(other);
                session.Pause(other);
            }
            if (!combined) session.SeekFrameForward(other, position);
        }
        session.SeekFrameForward(shown, position);
        // Each camera's picture is taken once its presenter holds the frame
        // of P, which the scrubs above present as soon as it is decoded.
        bool shownBoth = session.WaitForFrame(shown, position, kPresentTimeout);
        if (combined || session.Opened(other))
            shownBoth = session.WaitForFrame(other, position, kPresentTimeout) && shownBoth;
        return shownBoth;
    };
    host.saveStills = [&session](const std::string& front, const std::string& rear) {
        return session.SaveStills(front, rear);
    };
    host.restore = [&viewer, &session] {
        // A combined file shows one stream at a time in this window.
        if (viewer.Combined()) session.EnableStream(1 - viewer.ShownCamera(), false);
        session.Redraw(viewer.ShownCamera());
    };
    return host;
}

void ExportFeature::OnCommand(int id) {
    switch (id) {
    case kCmdCsv:
        ops_.Run([this]() -> JobControl::Work {
            return PrepareCsvExport(ops_, viewer_.Rows(), CurrentFamily());
        });
        return;
    case kCmdStill:
        if (!viewer_.Loaded() || ops_.Running()) return;
        still_.Run(CurrentFamily());
        return;
    default:
        return;
    }
}

} // namespace kinetta
