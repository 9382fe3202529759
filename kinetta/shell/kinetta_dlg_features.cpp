// The viewer's features, created in one place: each in one line with its
// rows of the window's message table (private messages it handles) and
// command table (commands it runs). This is the only file of the shell that
// includes a feature's header (the layers test checks it); everything else
// of the window reaches the features through the ViewerState signals and
// the FeatureSet tables.
//
// The order of the lines is the order in which the features' slots run for
// each ViewerState signal, and it matters:
//  * the file flows first: at shutdown a running flow is cancelled and its
//    worker joined before anything else ends; the exports and the GPX
//    export run on the flows and are created after them;
//  * the services before the map: at the end of the first start-up stage the
//    browser-component notice is closed before the map's browser starts,
//    and at shutdown the update check stops before the map's monitor;
//  * the event clips after the telemetry views, whose detector switches
//    decide which events a clip may be cut for;
//  * the telemetry views before the map: for every frame shown (inside the
//    telemetry lock) the graph and the panel read the frame's record before
//    the map does, a prepared recording's event list exists before the map
//    sends its pins, and the map's pins are the graph's events.
//
// Also here: what the window does for the features (ViewerState::Requests).

#include <algorithm>
#include <utility>

#include "kinetta/clips/clip_feature.h"
#include "kinetta/fileops/export_feature.h"
#include "kinetta/fileops/file_ops_feature.h"
#include "kinetta/gpx/gpx_feature.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_window.h"
#include "kinetta/services/services_feature.h"
#include "kinetta/services/update_check_async.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/telemetry/telemetry_feature.h"

namespace kinetta {

void CkinettaDlg::CreateFeatures() {
    if (!hooks_.browserComponentMissing)
        hooks_.browserComponentMissing = [] { return !map::BrowserComponentAvailable(); };
    ServicesFeature::Options services;
    services.endpoints =
        hooks_.updateEndpoints ? hooks_.updateEndpoints() : InstalledUpdateEndpoints();
    services.browserComponentMissing = hooks_.browserComponentMissing;
    services.browserComponentPage = hooks_.browserComponentPage;
    MapFeature::Options map;
    map.storageRoot = QString::fromStdString(hooks_.mapStorageRoot);
    map.startBrowser = !hooks_.startMapBrowser || hooks_.startMapBrowser();
    map.noRuntime = hooks_.browserComponentMissing();
    constexpr bool kAnyTime = FeatureSet::kAnyTime;

    // Each: the feature, its rows of the message table, its rows of the command table.
    auto* flows = features_.Add(std::make_unique<FileOpsFeature>(state_),
                                {UM_PROGRESS, UM_FILEOP_DONE, UM_FILEOP_RELOAD},
                                {{kCmdSaveSplit}, {kCmdDelete}, {kCmdJoin}});
    features_.Add(std::make_unique<ExportFeature>(state_, flows->Ops()), {},
                  {{kCmdCsv}, {kCmdStill}});
    features_.Add(std::make_unique<GpxFeature>(state_, flows->Ops()), {}, {{kCmdGpxExport}});
    features_.Add(std::make_unique<ServicesFeature>(state_, services), {UM_UPDATE_FOUND},
                  {{kCmdSettings, kAnyTime}});
    auto* telemetry =
        features_.Add(std::make_unique<TelemetryFeature>(state_),
                      {UM_GRAPH_PREV, UM_GRAPH_NEXT, UM_ICON_FILTER, UM_SETTINGS_NOTIFY}, {});
    features_.Add(std::make_unique<MapFeature>(state_, *telemetry, map),
                  {UM_WEBVIEW_CREATED, UM_MAP_STATUS, UM_MAP_SEEK}, {{kCmdMapDisplay}});
    features_.Add(std::make_unique<ClipFeature>(state_, flows->Ops(), *telemetry),
                  {UM_CLIP_AT_EVENT, UM_CLIP_AT_ROW}, {{kCmdClipEvent}});
}

namespace {
void Mark(std::vector<RecordingEntry>& list, const std::vector<RecordingEntry>& ticked) {
    for (RecordingEntry& e : list)
        for (const RecordingEntry& t : ticked)
            if (e.frontPath == t.frontPath && e.rearPath == t.rearPath) e.marked = 1;
}
} // namespace

void CkinettaDlg::ConnectRequests() {
    ViewerState::Requests& r = state_.requests_;
    r.seek = [this](long long frame) { play_.SeekInPlace(frame); };
    r.nearEnd = [this] { return play_.IsNearEnd(); };
    r.position = [this] { return play_.Position(); };
    r.refreshViews = [this] {
        if (state_.loaded_)
            play_.ShowViewsAt(std::max<long long>(0, playback_.GetPosition(play_.MasterCamera())));
    };
    r.commandButton = [this](int command) { return ToolbarButton(command); };
    r.adoptMapFrame = [this](CMovieDialog* frame) { views_.Floating().SetMapFrame(frame); };
    r.mapDefaultPlace = [this] { return views_.MapDefaultPlace(); };
    r.stopAndClose = [this] {
        // Where the recording stood, so that it opens there again after the flow.
        flowResume_ = FlowResume{};
        flowResume_.closed = true;
        if (const RecordingEntry* e = state_.SelectedEntry(); e && state_.loaded_) {
            flowResume_.front = e->frontPath;
            flowResume_.rear = e->rearPath;
            flowResume_.frame = playback_.GetPosition(play_.MasterCamera());
            flowResume_.engine = playback_.GetState(play_.MasterCamera());
        }
        if (playback_.GetState(play_.MasterCamera()) != kEngineStopped) play_.StopPlayback();
        KillTimer(kTimerOpenTimeout);
        CloseRecording();
        ResetViews();
        // No read-ahead may still hold a source open.
        prefetch_.Join();
        state_.busy_ = false;
        unsetCursor();
    };
    r.flowRunning = [this](bool running) {
        UpdateToolbar();
        if (running || state_.shutDown_) return;
        // A flow that kept the recording open (the GPX export) leaves it as it is.
        const FlowResume closed = std::exchange(flowResume_, FlowResume{});
        if (!closed.closed) return;
        int row = state_.SelectedIndex();
        {
            // The recording that was open, wherever its row is now (a delete
            // renumbers the rows); gone, the selected row opens from its start.
            std::lock_guard lock(state_.lock_);
            const auto& rows = state_.rows_;
            const auto it = std::find_if(rows.begin(), rows.end(), [&](const RecordingEntry& e) {
                return closed.frame >= 0 && e.frontPath == closed.front &&
                       e.rearPath == closed.rear;
            });
            if (it != rows.end()) row = static_cast<int>(it - rows.begin());
            resumeOpen_ = it != rows.end() ? closed : FlowResume{};
        }
        if (row >= 0) SelectRecording(row, kOpenBySelection, row != state_.SelectedIndex());
    };
    r.reloadAfterDelete = [this] { ReloadAfterDelete(); };
    r.markProcessed = [this](const std::vector<RecordingEntry>& ticked) {
        {
            std::lock_guard lock(state_.lock_);
            Mark(state_.rows_, ticked);
        }
        if (catalogue_) Mark(catalogue_->MutableEntries(), ticked);
    };
    r.holdControls = [this](bool held) {
        play_.HoldControls(held);
        if (!held) update();
    };
    r.holdPosition = [this] { return play_.HoldPosition(); };
    r.messageBox = [this](const QString& text, const QString& caption, int type) {
        return hooks_.messageBox(text, caption, type);
    };
}

} // namespace kinetta
