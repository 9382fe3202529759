#include "kinetta/map/map_window.h"

#include <QFileInfo>
#include <QLibraryInfo>

#include <algorithm>
#include <cstdint>

#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/map_scripts.h"
#include "kinetta/map/tile_probe.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/telemetry/telemetry_access.h"

namespace kinetta::map {

bool BrowserComponentAvailable() {
    QString helper = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (helper.isEmpty())
        helper = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                 QStringLiteral("/QtWebEngineProcess");
    const QFileInfo info(helper);
    return info.isFile() && info.isExecutable();
}

MapWindow::MapWindow(QObject* notify, platform::MessageSink* sink, MapWindowHost host,
                     Options options)
    : host_(std::move(host)), options_(std::move(options)), notify_(notify) {
    CInetConnectionAsync::Probe probe =
        options_.probe ? options_.probe : TileServerProbe(options_.tiles.tileUrl);
    wrap_ = std::make_unique<CGoogleMapDlgWrap>(sink, std::move(probe), options_.tiles,
                                                options_.probePeriod);
    wrap_->SetMessageTarget(notify);

    // The frame, hidden, layered so that it can be shown transparent.
    frame_ = new CMovieDialog(FloatingKind::Map, notify);
    frame_->hide();
    frame_->SetLayeredAlpha(0);
    noRuntime_ = options_.noRuntime;

    dialog_ = new CGoogleMapDlg2(frame_);
    dialog_->SetHostFuncs(wrap_.get());
    wrap_->SetMapDialog(dialog_);
    logo_ = new CLogoDlg(frame_);
    logo_->hide();
    // Both at size 0 until the first layout; the map dialog is shown only
    // through ShowMap, so its visibility and the shown flag agree.
    dialog_->setGeometry(0, 0, 0, 0);
    dialog_->hide();
    logo_->setGeometry(0, 0, 0, 0);

    refresh_.setSingleShot(true);
    refresh_.setInterval(kMapRefreshTimerMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        refresh_.stop();
        RequestMapPage();
    });
    wrap_->StartMonitor();
}

MapWindow::~MapWindow() {
    Shutdown();
}

void MapWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    initialised_ = false;
    refresh_.stop();
    // The monitor first (a probe under way is aborted), then the page's
    // bridge, then the windows: the map dialog's holder lets go of the host
    // object and the page before its profile.
    auto note = [this](std::string_view step) {
        if (options_.note) options_.note(step);
    };
    wrap_->Connection().Stop();
    note("map: monitor stopped");
    wrap_->SetMapDialog(nullptr);
    if (dialog_) dialog_->SetHostFuncs(nullptr);
    note("map: bridge detached");
    delete frame_;
    frame_ = nullptr;
    dialog_ = nullptr;
    logo_ = nullptr;
    note("map: windows deleted");
}

void MapWindow::StartBringUp() {
    if (shutDown_ || revealed_) return;
    // Shown but unseen: fully transparent where the desktop composes
    // windows, and off every screen where it does not (window opacity is
    // then ignored), so that no empty frame covers the list.
    frame_->SetLayeredAlpha(0);
    frame_->move(kOffScreenX, kOffScreenY);
    offScreen_ = true;
    SizeContents();
    frame_->show();
    if (options_.startBrowser && !noRuntime_ && WebEngineProcessPrepared())
        dialog_->StartWebView(notify_.data(), options_.tiles, options_.storageRoot);
}

void MapWindow::OnWebViewCreated() {
    if (shutDown_) return;
    if (!revealed_) {
        // The first placement: beside the main window, hidden while the map
        // window is off.
        if (host_.defaultPlace) frame_->move(host_.defaultPlace().topLeft());
        offScreen_ = false;
        wrap_->SetMapShown(1);
        SizeContents();
        frame_->setVisible(mapOn_);
    }
    RequestMapPage();
}

bool MapWindow::PageMayLoad() {
    if (wrap_->ConnectTest() != 1) return false;
    if (!host_.recordingLoaded || !host_.recordingLoaded()) return false;
    TelemetryLock lock(host_.telemetry);
    return FixAtLocked(host_.position ? host_.position() : 0);
}

void MapWindow::StartRefreshTimer() {
    refresh_.start(kMapRefreshTimerMs);
}

void MapWindow::RequestMapPage() {
    if (shutDown_) return;
    if (!pageRequestStep_) {
        pageRequestStep_ = true;
        if (PageMayLoad()) {
            if (!pageRequested_) {
                dialog_->Holder().LoadPage();
                pageRequested_ = true;
            }
            StartRefreshTimer();
            return;
        }
    }
    positionReady_ = true;
    UpdateMapOrLogo();
}

int MapWindow::GpsCountLocked() {
    if (!host_.telemetry) return 0;
    const playcore::sGPSREADER* r = host_.telemetry->TelemetryReaderLocked();
    return r ? static_cast<int>(r->gps.size()) : 0;
}

bool MapWindow::FixAtLocked(long long frame) {
    if (!host_.telemetry) return false;
    const playcore::sGPSREADER* r = host_.telemetry->TelemetryReaderLocked();
    if (!r || frame < 0 || frame >= static_cast<long long>(r->frameTable.size())) return false;
    const playcore::AccelRecord* a = r->frameTable[static_cast<size_t>(frame)];
    return a && a->gps && a->gps->valid != 0;
}

bool MapWindow::ShowMap(bool on) {
    if (!dialog_) return false;
    // The dialog's own visibility (not its frame's): a map shown in a
    // hidden frame still counts as shown.
    const bool visible = !dialog_->isHidden();
    if (on) {
        if (shown_ || visible) return false;
        dialog_->show();
        shown_ = true;
        return true;
    }
    if (!shown_ || !visible) return false;
    dialog_->hide();
    shown_ = false;
    return true;
}

void MapWindow::UpdateMapOrLogo() {
    if (!initialised_ || shutDown_) return;
    TelemetryLock lock(host_.telemetry);
    const bool full = host_.fullScreen && host_.fullScreen();
    const int index = host_.selectedIndex ? host_.selectedIndex() : -1;
    const bool parking = host_.selectedParking && host_.selectedParking();
    const bool wanted = mapOn_ && positionReady_ && wrap_->ConnectTest() == 1 &&
                        GpsCountLocked() > 0 && index >= 0 && !parking && !noRuntime_ &&
                        (host_.flagB ? host_.flagB() != 0 : true) && pageRequestStep_;

    // Step 2: the map (before the reveal, always: the page loads unseen).
    if ((wanted || !revealed_) && (pageRequested_ || !revealed_)) {
        if (ShowMap(!full) && !full && !dialog_->isHidden()) dialog_->setFocus();
        logo_->ShowDeferred(false);
        return;
    }
    if (wanted) {
        // Step 3: wanted, but the page was never asked for.
        if (PageMayLoad()) {
            // The logo covers the map until the page is ready.
            if (mapOn_ && dialog_->isHidden()) {
                logo_->raise();
                logo_->ShowDeferred(true);
            }
        } else {
            ShowMap(false);
            if (mapOn_) {
                logo_->raise();
                logo_->ShowNow(true);
            }
        }
    } else {
        // Step 4: not wanted, revealed.
        ShowMap(false);
        if (full) {
            logo_->ShowNow(false);
            return;
        }
        if (mapOn_) {
            logo_->raise();
            logo_->ShowNow(true);
        }
    }
    ChooseLogoPicture();
}

void MapWindow::ChooseLogoPicture() {
    // The notice only when the map was used in this run, the frame is shown
    // and the tile server cannot be reached now.
    const bool offline = mapUsed_ && wrap_->ConnectTest() == 0 && wrap_->MapShown() != 0;
    logo_->SetLogoPicture(offline ? 0 : 1);
}

void MapWindow::UpdatePosition(long long frame) {
    if (shutDown_) return;
    wrap_->SetCurrentFrame(static_cast<int>(std::clamp<long long>(frame, 0, INT32_MAX)));
    const bool full = host_.fullScreen && host_.fullScreen();
    const bool loaded = host_.recordingLoaded && host_.recordingLoaded();

    // A parking recording shows the logo panel (none in full screen).
    if (host_.selectedParking && host_.selectedParking()) {
        if (!full) {
            if (shown_) ShowMap(false);
            logo_->raise();
            logo_->ShowDeferred(true);
            ChooseLogoPicture();
        } else {
            logo_->ShowDeferred(false);
        }
        return;
    }
    if (loaded) {
        positionReady_ = true;
        UpdateMapOrLogo();
    }

    const playcore::sGPSREADER* r =
        host_.telemetry ? host_.telemetry->TelemetryReaderLocked() : nullptr;
    const playcore::GpsRecord* fix = nullptr;
    if (r && frame >= 0 && frame < static_cast<long long>(r->frameTable.size())) {
        const playcore::AccelRecord* a = r->frameTable[static_cast<size_t>(frame)];
        if (a && a->gps && a->gps->valid != 0) fix = a->gps;
    }
    if (!fix) {
        if (!pageRequested_) {
            positionReady_ = false;
            UpdateMapOrLogo();
        }
        return;
    }
    if (mapOn_)
        wrap_->SetMapPosition(fix->latitude, fix->longitude);
    else
        wrap_->SetMapPosition(kMapOfflineSentinel, kMapOfflineSentinel);
    // The page loads in the background as soon as the browser control
    // exists, whether the frame is seen or not (a hidden view still loads).
    if (!pageRequested_ && dialog_->Holder().Created() && loaded) {
        dialog_->Holder().LoadPage();
        StartRefreshTimer();
        pageRequested_ = true;
    }
}

void MapWindow::Reveal() {
    if (revealed_) return;
    revealed_ = true;
    frame_->SetLayeredAlpha(255);
    if (offScreen_) {
        // Opaque now: it leaves its hiding place, and is seen only while
        // the map window is on.
        offScreen_ = false;
        if (host_.defaultPlace) frame_->move(host_.defaultPlace().topLeft());
        if (!mapOn_) frame_->hide();
    }
}

void MapWindow::SwitchMapWindow() {
    if (shutDown_) return;
    Reveal();
    mapOn_ = !mapOn_;
    SizeContents();
    if (!mapOn_) {
        frame_->hide();
        wrap_->SetMapShown(0);
        return;
    }
    frame_->hide();
    UpdateMapOrLogo();
    if (!frame_->isVisible()) {
        wrap_->SetMapShown(1);
        positionReady_ = false;
        if (host_.refreshViews) host_.refreshViews();
        frame_->SetLayeredAlpha(0);
        frame_->show();
        frame_->raise();
        pageRequestStep_ = false;
        RequestMapPage();
        frame_->SetLayeredAlpha(255);
    }
}

void MapWindow::SwitchOff() {
    if (mapOn_) SwitchMapWindow();
}

void MapWindow::OnPlaybackStarted() {
    if (shutDown_) return;
    wrap_->SetMapStatus(0);
    Reveal();
}

void MapWindow::SizeContents() {
    if (!frame_) return;
    const QRect inner = frame_->InnerRect();
    dialog_->setGeometry(inner);
    logo_->setGeometry(inner);
}

} // namespace kinetta::map
