#pragma once
// TelemetryFeature: the acceleration graph and the information panel as a
// feature of the viewer. It owns the views (TelemetryViews) and the way they
// reach the session's records, places them with every layout, prepares them
// once per loaded recording, shows the record of every frame the window
// shows, resets them when the recording is given up or the list changes, and
// handles its rows of the window's message table: the graph's clicks
// (UM_GRAPH_PREV, UM_GRAPH_NEXT: seek to the previous or next event) and the
// detector switches of the panel's axis buttons and the settings dialog
// (UM_ICON_FILTER, UM_SETTINGS_NOTIFY), after which EventsChanged tells the
// map that its pins follow the new event list.
//
// UI thread only; the views' own locking is TelemetryViews'.

#include <QString>

#include <memory>

#include "kinetta/shell/viewer_feature.h"
#include "kinetta/telemetry/telemetry_views.h"

namespace kinetta {

// The session's telemetry as the views (and the map) read it.
class SessionTelemetryAccess : public TelemetryAccess {
public:
    explicit SessionTelemetryAccess(playcore::PlaybackSession& session) : session_(session) {}
    bool LockTelemetry() override;
    bool UnlockTelemetry() override;
    playcore::sGPSREADER* TelemetryReaderLocked() override;

private:
    playcore::PlaybackSession& session_;
};

class TelemetryFeature : public ViewerFeature {
    Q_OBJECT
public:
    explicit TelemetryFeature(ViewerState& viewer);

    TelemetryViews& Views() { return *views_; }
    CGSensorDlg* Graph() const { return views_->Graph(); }
    CInfoDlg* Panel() const { return views_->Panel(); }
    // The records as the views read them (the map reads the same way).
    TelemetryAccess& Access() { return access_; }

    void OnMessage(const WindowMessage& message) override;

signals:
    // The event list was built again with new detector switches.
    void EventsChanged();

private:
    void Prepare();
    void StepToEvent(bool next);

    SessionTelemetryAccess access_;
    std::unique_ptr<TelemetryViews> views_;
    QString speedText_; // the window's speed text, also shown by the panel
};

} // namespace kinetta
