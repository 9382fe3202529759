#include "kinetta/telemetry/telemetry_feature.h"

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

bool SessionTelemetryAccess::LockTelemetry() {
    return session_.LockTelemetry() != 0;
}

bool SessionTelemetryAccess::UnlockTelemetry() {
    return session_.UnlockTelemetry() != 0;
}

playcore::sGPSREADER* SessionTelemetryAccess::TelemetryReaderLocked() {
    return session_.GetTelemetryForMarking();
}

TelemetryFeature::TelemetryFeature(ViewerState& viewer)
    : ViewerFeature(viewer), access_(viewer.Session()),
      views_(std::make_unique<TelemetryViews>(viewer.Window(), &access_, CurrentFamily())) {
    // The views as the last run left them (the settings folder is known by
    // now; a first run reads nothing and shows everything).
    views_->ApplyInfoCheck(ParseInfoCheck(ReadSetting("DISPLAY", "INFOCHECK")));
    connect(&viewer, &ViewerState::LaidOut, this, [this](const FeaturePlaces& p) {
        views_->Place(p.graph, p.infoPanel, p.scale, p.maximised, p.chrome);
    });
    connect(&viewer, &ViewerState::RecordingPrepared, this, [this] { Prepare(); });
    connect(&viewer, &ViewerState::FrameShown, this, [this](long long frame) {
        views_->UpdateAt(frame);
        viewer_.Note("graph and panel at the frame");
    });
    // The views let go of the records before the session releases them.
    connect(&viewer, &ViewerState::RecordingClosed, this, [this] { views_->Reset(); });
    connect(&viewer, &ViewerState::ListRebuilt, this, [this] { views_->ResetPanel(); });
    connect(&viewer, &ViewerState::PlaybackFinished, this, [this] { views_->ResetPanel(); });
    connect(&viewer, &ViewerState::SpeedShown, this, [this](const QString& text) {
        speedText_ = text;
        views_->SetSpeedText(text);
    });
    // The panel and its axis buttons wait, like the toolbar, for an open.
    connect(&viewer, &ViewerState::ToolbarUpdated, this,
            [this] { views_->Panel()->setEnabled(!viewer_.Busy()); });
}

void TelemetryFeature::Prepare() {
    const RecordingEntry* e = viewer_.SelectedEntry();
    if (!e) return;
    playcore::PlaybackSession& session = viewer_.Session();
    const int master = viewer_.CameraSelection();
    views_->SetFamily(CurrentFamily());
    TelemetryViews::Recording r;
    r.parking = e->parking != 0;
    r.timeLapse = e->timeLapse != 0;
    r.frameDurationMs = session.GetFrameDuration(master);
    int videoWidth = 0, videoHeight = 0;
    session.GetVideoSize(master, &videoWidth, &videoHeight);
    r.videoHeight = videoHeight;
    r.pairLength = session.GetMasterLength();
    r.voltageTrace = viewer_.VoltageTrace();
    views_->Prepare(r);
    views_->SetSpeedText(speedText_);
}

void TelemetryFeature::OnMessage(const WindowMessage& m) {
    switch (m.Message()) {
    case UM_GRAPH_PREV:
        return StepToEvent(false);
    case UM_GRAPH_NEXT:
        return StepToEvent(true);
    case UM_ICON_FILTER:
        views_->OnIconFilter(static_cast<int>(m.WParam()), m.LParam() != 0);
        // Remembered for the next start.
        WriteSetting("DISPLAY", "INFOCHECK", InfoCheckText(views_->CurrentInfoCheck()));
        emit EventsChanged();
        return;
    case UM_SETTINGS_NOTIFY:
        views_->OnSettingsNotify(static_cast<int>(m.WParam()), m.LParam() != 0);
        emit EventsChanged();
        return;
    default:
        return;
    }
}

void TelemetryFeature::StepToEvent(bool next) {
    if (!viewer_.Loaded() || viewer_.Ask().nearEnd()) return;
    const long long current = viewer_.Session().GetPosition(viewer_.CameraSelection());
    const auto frame = next ? views_->NextEvent(current) : views_->PreviousEvent(current);
    if (frame) viewer_.Ask().seek(*frame);
}

} // namespace kinetta
