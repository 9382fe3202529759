// The main window's side of the acceleration graph and the information
// panel: creating and placing them, preparing them once per loaded
// recording, the position updates, the reset when a recording is given up,
// the graph's clicks (previous / next event) and the detector switches of
// the panel's axis buttons and the settings dialog.

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/telemetry_views.h"

namespace kinetta {

namespace {

// The session's telemetry as the views read it.
class SessionTelemetryAccess : public TelemetryAccess {
public:
    explicit SessionTelemetryAccess(playcore::PlaybackSession& session) : session_(session) {}
    bool LockTelemetry() override { return session_.LockTelemetry() != 0; }
    bool UnlockTelemetry() override { return session_.UnlockTelemetry() != 0; }
    playcore::sGPSREADER* TelemetryReaderLocked() override {
        return session_.GetTelemetryForMarking();
    }

private:
    playcore::PlaybackSession& session_;
};

QRect ToRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

} // namespace

CGSensorDlg* CkinettaDlg::Graph() const {
    return telemetry_ ? telemetry_->Graph() : nullptr;
}

CInfoDlg* CkinettaDlg::InfoPanel() const {
    return telemetry_ ? telemetry_->Panel() : nullptr;
}

void CkinettaDlg::CreateTelemetryViews() {
    telemetryAccess_ = std::make_unique<SessionTelemetryAccess>(playback_);
    telemetry_ = std::make_unique<TelemetryViews>(this, telemetryAccess_.get(), CurrentFamily());
}

void CkinettaDlg::PlaceTelemetryViews(bool shown) {
    if (!telemetry_) return;
    telemetry_->Place(ToRect(layout_.graph), ToRect(layout_.infoPanel), SkinScale(), isMaximized(),
                      shown);
}

void CkinettaDlg::PrepareTelemetryViews() {
    const RecordingEntry* e = SelectedEntry();
    if (!telemetry_ || !e) return;
    telemetry_->SetFamily(CurrentFamily());
    TelemetryViews::Recording r;
    r.parking = e->parking != 0;
    r.timeLapse = e->timeLapse != 0;
    r.frameDurationMs = playback_.GetFrameDuration(MasterCamera());
    int videoWidth = 0, videoHeight = 0;
    playback_.GetVideoSize(MasterCamera(), &videoWidth, &videoHeight);
    r.videoHeight = videoHeight;
    r.pairLength = playback_.GetMasterLength();
    r.voltageTrace = traceFlag_;
    telemetry_->Prepare(r);
    telemetry_->SetSpeedText(speedText_->text());
}

void CkinettaDlg::ResetTelemetryViews() {
    if (telemetry_) telemetry_->Reset();
}

bool CkinettaDlg::HandleTelemetryMessage(int message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!telemetry_) return false;
    switch (message) {
    case UM_GRAPH_PREV:
        OnGraphStep(false);
        return true;
    case UM_GRAPH_NEXT:
        OnGraphStep(true);
        return true;
    case UM_ICON_FILTER:
        telemetry_->OnIconFilter(static_cast<int>(wParam), lParam != 0);
        RebuildMapEventIcons();
        return true;
    case UM_SETTINGS_NOTIFY:
        telemetry_->OnSettingsNotify(static_cast<int>(wParam), lParam != 0);
        RebuildMapEventIcons();
        return true;
    default:
        return false;
    }
}

void CkinettaDlg::OnGraphStep(bool next) {
    if (!loaded_ || IsNearEnd()) return;
    const int cam = MasterCamera();
    const long long current = playback_.GetPosition(cam);
    const auto frame = next ? telemetry_->NextEvent(current) : telemetry_->PreviousEvent(current);
    if (!frame) return;
    SeekTo(cameraSelection_, *frame, playback_.GetState(cam));
}

} // namespace kinetta
