#include "kinetta/map/map_feature.h"

#include <QWidget>

#include <algorithm>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_window.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/telemetry/telemetry_feature.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

MapFeature::MapFeature(ViewerState& viewer, TelemetryFeature& telemetry, Options options)
    : ViewerFeature(viewer), telemetry_(telemetry) {
    TelemetryAccess* access = &telemetry_.Access();
    const ViewerState::Requests& ask = viewer.Ask();
    map::MapWindowHost host;
    host.recordingLoaded = [&viewer] { return viewer.Loaded(); };
    host.fullScreen = [&viewer] { return viewer.FullScreen(); };
    host.selectedIndex = [&viewer] { return viewer.SelectedEntry() ? viewer.SelectedIndex() : -1; };
    host.selectedParking = [&viewer] {
        const RecordingEntry* e = viewer.SelectedEntry();
        return e && e->parking != 0;
    };
    host.position = ask.position;
    host.refreshViews = ask.refreshViews;
    host.defaultPlace = ask.mapDefaultPlace;
    host.flagB = [&viewer, access] {
        // The panel's flag byte B: the TX50 block's byte, always 1 for TX40.
        if (CurrentFamily() != RecorderFamily::TX50 || !viewer.Loaded()) return 1;
        TelemetryLock lock(access);
        const playcore::sGPSREADER* r = lock.Reader();
        return r ? static_cast<int>(r->info.flagB) : 1;
    };
    host.telemetry = access;

    map::MapWindow::Options o;
    o.tiles = map::ReadTileSettings(Settings());
    o.storageRoot = options.storageRoot;
    o.startBrowser = options.startBrowser;
    o.noRuntime = options.noRuntime;
    o.note = [&viewer](std::string_view step) { viewer.Note(step); };
    map_ = std::make_unique<map::MapWindow>(viewer.Window(), viewer.Sink(), std::move(host),
                                            std::move(o));
    ask.adoptMapFrame(map_->Frame());
    map_->Frame()->SetCloseAction([this] {
        if (MapOn()) Switch();
    });
    // The open recording's track, copied under the session's telemetry lock.
    map_->Wrap().Recording().SetSource([access] {
        TelemetryLock lock(access);
        const playcore::sGPSREADER* r = lock.Reader();
        return r ? r->gps : std::vector<playcore::GpsRecord>{};
    });

    connect(&viewer, &ViewerState::StartupStageDone, this, [this](int stage) {
        if (stage != 1) return;
        map_->SetInitialised(true);
        map_->StartBringUp();
    });
    connect(&viewer, &ViewerState::LaidOut, this, [this] { LayOutMap(); });
    connect(&viewer, &ViewerState::FloatingFrameSized, this, [this](QObject* frame) {
        if (frame == map_->Frame()) LayOutMap();
    });
    connect(&viewer, &ViewerState::RecordingPrepared, this, [this] { SendTracksAgain(); });
    connect(&viewer, &ViewerState::FrameShown, this, [this](long long frame) {
        // Telemetry locked; off, the page is sent the 1000.0 sentinel.
        map_->UpdatePosition(frame);
        viewer_.Note("map at the frame");
    });
    connect(&viewer, &ViewerState::StillFrameSettled, this,
            [this] { map_->Wrap().ExecuteMapScript(map::kScriptMoveMarker); });
    connect(&viewer, &ViewerState::PositionTick, this, [this] { RunTracksStep(); });
    connect(&viewer, &ViewerState::PlaybackStateChanged, this, [this](int state) {
        // The page's play status: playing (also reveals the map), paused, stopped.
        if (state == playcore::kEnginePlaying)
            map_->OnPlaybackStarted();
        else
            map_->Wrap().SetMapStatus(state == playcore::kEnginePaused ? 1 : 2);
    });
    connect(&viewer, &ViewerState::ListRebuilt, this, [this] {
        // The group's files are read by the track's worker, never here. The
        // old group stays drawn until the first part of the new one arrives;
        // after each part the page draws the group again with the track step.
        map_->Wrap().Group().Load(viewer_.Rows(), CurrentFamily(), [this](bool) {
            QMetaObject::invokeMethod(
                this, [this] { SendTracksAgain(); }, Qt::QueuedConnection);
        });
    });
    // The detector switches changed: the pins of the selected recording are
    // sent again (the event list was rebuilt with the new flags).
    connect(&telemetry_, &TelemetryFeature::EventsChanged, this, [this] { SendTracksAgain(); });
    // A new source starts with the map window off.
    connect(&viewer, &ViewerState::SourceChanged, this, [this] {
        if (MapOn()) Switch();
    });
    connect(&viewer, &ViewerState::ShuttingDown, this, [this](ShutdownStep step) {
        if (step == ShutdownStep::kEndWindows) {
            map_->Wrap().Group().Stop(); // the group's reading ends first
            map_->Shutdown();            // monitor, bridge, windows
            viewer_.Ask().adoptMapFrame(nullptr);
        } else if (step == ShutdownStep::kTakeLocks) {
            std::lock_guard lock(dataLock_);
        }
    });
}

MapFeature::~MapFeature() = default;

bool MapFeature::MapOn() const {
    return map_->MapOn();
}

void MapFeature::OnMessage(const WindowMessage& m) {
    switch (m.Message()) {
    case UM_WEBVIEW_CREATED:
        map_->OnWebViewCreated();
        return;
    case UM_MAP_STATUS:
        // The page (re)created its map: tracks and pins go to it again.
        SendTracksAgain();
        map_->OnPageReady();
        viewer_.Window()->update();
        return;
    case UM_MAP_SEEK:
        viewer_.Ask().seek(m.LParam()); // a still player's marker moves there
        return;
    default:
        return;
    }
}

void MapFeature::OnCommand(int id) {
    if (id == kCmdMapDisplay) Switch();
}

void MapFeature::SendTracksAgain() {
    tracksFor_ = 0;
    RunTracksStep();
}

void MapFeature::RunTracksStep() {
    if (!viewer_.Loaded() || viewer_.ShutDown() || tracksFor_ == viewer_.OpenSerial()) return;
    if (!viewer_.SelectedEntry()) return;
    map::CGoogleMapDlgWrap& wrap = map_->Wrap();
    if (!wrap.PageInitialised()) return;
    const int index = viewer_.SelectedIndex();
    TelemetryViews& views = telemetry_.Views();
    bool complete = false;
    {
        // The event list as the detectors built it; its records stay put
        // while the telemetry is locked.
        std::lock_guard mapLock(dataLock_);
        const EventList events = views.Events();
        TelemetryLock lock(&telemetry_.Access());
        if (!lock.Reader()) return;
        wrap.RebuildMapTrack(index);
        complete = wrap.SendEventIcons(events, views.Flags().listing, index);
    }
    if (!complete) return; // again on the next tick
    tracksFor_ = viewer_.OpenSerial();
    const int state = viewer_.Session().GetState(viewer_.CameraSelection());
    if (state == playcore::kEnginePlaying) return;
    wrap.SetMapStatus(state == playcore::kEnginePaused ? 1 : 2);
}

void MapFeature::Switch() {
    map_->SwitchMapWindow();
    if (CSkinButton* b = viewer_.Ask().commandButton(kCmdMapDisplay)) {
        b->SetPressedLook(map_->MapOn());
        b->update();
    }
}

void MapFeature::LayOutMap() {
    map_->SizeContents();
    map_->UpdateMapOrLogo();
}

} // namespace kinetta
