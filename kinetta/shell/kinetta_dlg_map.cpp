// The main window's side of the map: creating the map window and starting
// its browser control unseen, the bridge's messages (UM_WEBVIEW_CREATED,
// UM_MAP_STATUS, UM_MAP_SEEK), the tracks and event pins of the open
// recording (retried from the position timer until they reach the page), the
// position and play status the page receives, the group track rebuilt with
// the list, and the map window's command 38013.

#include <QDir>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_window.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/telemetry_views.h"

namespace kinetta {

map::MapWindow* CkinettaDlg::Map() const {
    return map_.get();
}

bool CkinettaDlg::MapVisible() const {
    return map_ && map_->MapOn();
}

void CkinettaDlg::CreateMap() {
    if (!hooks_.browserComponentMissing)
        hooks_.browserComponentMissing = [] { return !map::BrowserComponentAvailable(); };

    map::MapWindowHost host;
    host.recordingLoaded = [this] { return loaded_; };
    host.fullScreen = [this] { return view_.FullScreen(); };
    host.selectedIndex = [this] { return SelectedEntry() ? selected_ : -1; };
    host.selectedParking = [this] {
        const RecordingEntry* e = SelectedEntry();
        return e && e->parking != 0;
    };
    host.position = [this] {
        const long long p = static_cast<long long>(playback_.GetPosition(MasterCamera()));
        return std::clamp(p, 0LL, std::max(0LL, play_.sliderLast));
    };
    host.refreshViews = [this] {
        if (loaded_) UpdateViewsAt(std::max<long long>(0, playback_.GetPosition(MasterCamera())));
    };
    host.defaultPlace = [this] {
        const FloatingPlaces places =
            DefaultFloatingPlaces(layout_, SkinScale(), areas_[0]->DisplayModel() == 4);
        return ScreenRect(places.map);
    };
    host.flagB = [this] {
        // The panel's flag byte B: the TX50 block's byte, always 1 for TX40.
        if (CurrentFamily() != RecorderFamily::TX50 || !loaded_) return 1;
        TelemetryLock lock(telemetryAccess_.get());
        const playcore::sGPSREADER* r = lock.Reader();
        return r ? static_cast<int>(r->info.flagB) : 1;
    };
    host.telemetry = telemetryAccess_.get();

    map::MapWindow::Options options;
    options.tiles = map::ReadTileSettings(Settings());
    options.storageRoot = QString::fromStdString(hooks_.mapStorageRoot);
    options.startBrowser = !hooks_.startMapBrowser || hooks_.startMapBrowser();
    options.noRuntime = hooks_.browserComponentMissing();
    map_ = std::make_unique<map::MapWindow>(this, sink_.get(), std::move(host), std::move(options));
    floating_.SetMapFrame(map_->Frame());
    logo_ = map_->Logo();
    map_->Frame()->SetCloseAction([this] {
        if (MapVisible()) OnMapDisplay();
    });

    // The open recording's track, copied under the session's telemetry lock.
    map_->Wrap().Recording().SetSource([this] {
        TelemetryLock lock(telemetryAccess_.get());
        const playcore::sGPSREADER* r = lock.Reader();
        return r ? r->gps : std::vector<playcore::GpsRecord>{};
    });
}

void CkinettaDlg::StartMapBringUp() {
    if (!map_) return;
    map_->SetInitialised(true);
    map_->StartBringUp();
}

void CkinettaDlg::EndMap() {
    if (!map_) return;
    map_->Shutdown();
    floating_.SetMapFrame(nullptr);
    logo_ = nullptr;
}

bool CkinettaDlg::HandleMapMessage(int message, std::intptr_t lParam) {
    if (!map_) return false;
    switch (message) {
    case UM_WEBVIEW_CREATED:
        map_->OnWebViewCreated();
        return true;
    case UM_MAP_STATUS:
        // The page (re)created its map: tracks and pins go to it again.
        mapTracksFor_ = 0;
        RunMapTracksStep();
        map_->OnPageReady();
        update();
        return true;
    case UM_MAP_SEEK: {
        if (!loaded_) return true;
        const int state = playback_.GetState(MasterCamera());
        SeekTo(cameraSelection_, lParam, state); // a still player's marker moves there
        return true;
    }
    default:
        return false;
    }
}

void CkinettaDlg::RunMapTracksStep() {
    if (!map_ || !loaded_ || shutDown_ || mapTracksFor_ == openSerial_) return;
    const RecordingEntry* e = SelectedEntry();
    if (!e || !telemetry_) return;
    map::CGoogleMapDlgWrap& wrap = map_->Wrap();
    if (!wrap.PageInitialised()) return;
    const int index = selected_;
    bool complete = false;
    {
        // The event list as the detectors built it; its records stay put
        // while the telemetry is locked.
        std::lock_guard mapLock(mapDataLock_);
        const EventList events = telemetry_->Events();
        TelemetryLock lock(telemetryAccess_.get());
        if (!lock.Reader()) return;
        wrap.RebuildMapTrack(index);
        complete = wrap.SendEventIcons(events, telemetry_->Flags().listing, index);
    }
    if (!complete) return; // again on the next tick
    mapTracksFor_ = openSerial_;
    const int state = playback_.GetState(MasterCamera());
    if (state == kEnginePlaying) return;
    if (state == kEnginePaused)
        MapStatus(1);
    else
        MapStatus(2);
}

void CkinettaDlg::PrepareMapViews() {
    if (!map_) return;
    mapTracksFor_ = 0;
    RunMapTracksStep();
    map_->Wrap().ExecuteMapScript(map::kScriptMoveMarker);
}

void CkinettaDlg::MapStatus(int kind) {
    if (!map_) return;
    if (kind == 0)
        map_->OnPlaybackStarted();
    else
        map_->Wrap().SetMapStatus(kind);
}

void CkinettaDlg::MapMarkerToPosition() {
    if (map_) map_->Wrap().ExecuteMapScript(map::kScriptMoveMarker);
}

void CkinettaDlg::UpdateMapAt(long long frame) {
    if (map_) map_->UpdatePosition(frame);
}

void CkinettaDlg::LayOutMap() {
    if (!map_) return;
    map_->SizeContents();
    map_->UpdateMapOrLogo();
}

void CkinettaDlg::RebuildMapGroup() {
    if (!map_) return;
    std::vector<RecordingEntry> rows;
    {
        std::lock_guard lock(stateLock_);
        rows = rows_;
    }
    map_->Wrap().Group().Rebuild(rows, CurrentFamily());
    // The page draws the group again with the next track step.
    mapTracksFor_ = 0;
    RunMapTracksStep();
}

void CkinettaDlg::RebuildMapEventIcons() {
    // The listing flags changed: the pins of the selected recording are sent
    // again (the event list was rebuilt with the new flags).
    if (!map_) return;
    mapTracksFor_ = 0;
    RunMapTracksStep();
}

void CkinettaDlg::OnMapDisplay() {
    if (!map_) return;
    map_->SwitchMapWindow();
    if (CSkinButton* b = ToolbarButton(kCmdMapDisplay)) {
        b->SetPressedLook(map_->MapOn());
        b->update();
    }
}

void CkinettaDlg::MapSourceChanged() {
    if (!map_ || !map_->MapOn()) return;
    OnMapDisplay();
}

} // namespace kinetta
