#pragma once
// MapFeature: the map window as a feature of the viewer. It owns the map
// window (map_window.h) and the map-data lock, and follows the viewer: the
// bring-up at the end of the first start-up stage, the map's contents with
// every layout and every size of its frame, the tracks and event pins of the
// open recording (retried on each tick of the position timer until they
// reach the page, and sent again when the page reports ready, a part of the
// group track of a rebuilt list arrives from the track's worker, or the
// detector switches change the events), the position of every
// frame shown (with the telemetry locked; the 1000.0 sentinel while the map
// window is off), the play status, the marker moved after a still seek, the
// map window switched off with a new source, and the shutdown (monitor,
// bridge, windows). Its rows: UM_WEBVIEW_CREATED, UM_MAP_STATUS, UM_MAP_SEEK
// and command 38013.
//
// UI thread only, except what MapWindow says of its monitor and the group
// track's worker (track_array.h), which posts its arrivals here.

#include <QString>

#include <memory>
#include <mutex>

#include "kinetta/shell/viewer_feature.h"

namespace kinetta {

class TelemetryFeature;

namespace map {
class MapWindow;
}

class MapFeature : public ViewerFeature {
public:
    struct Options {
        QString storageRoot;      // the browser profile's folder; empty: the user's cache
        bool startBrowser = true; // false: the bring-up is never started
        bool noRuntime = false;   // the browser component cannot start
    };

    // telemetry: the views whose events the map pins and whose records it reads.
    MapFeature(ViewerState& viewer, TelemetryFeature& telemetry, Options options);
    ~MapFeature() override;

    map::MapWindow* Window() const { return map_.get(); }
    // The map window is switched on (command 38013).
    bool MapOn() const;

    void OnMessage(const WindowMessage& message) override;
    void OnCommand(int id) override;

private:
    // The tracks and pins of the open recording to the page, until they have
    // reached it once for this open.
    void RunTracksStep();
    void SendTracksAgain();
    // Command 38013: the map window on or off, and the button's look.
    void Switch();
    void LayOutMap();

    TelemetryFeature& telemetry_;
    std::unique_ptr<map::MapWindow> map_;
    std::mutex dataLock_;    // the map-data lock: the event lists while scripts are built
    unsigned tracksFor_ = 0; // OpenSerial whose tracks and pins reached the page; 0 none
};

} // namespace kinetta
