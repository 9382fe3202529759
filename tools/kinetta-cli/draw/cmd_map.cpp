// kinetta-cli map: loads the real map page through the real bridge in an
// off-screen browser view, with the given recordings as the list (the K-th is
// the open recording), runs the rebuild scripts (tracks and event pins) and
// MoveMarker at frame N as the viewer does once the page reports ready, waits
// until the tiles in view are loaded and writes the picture. --state writes
// what the page holds. Needs a display (xvfb-run).
//
// Built with Qt WebEngine; otherwise the command only says that it is missing.

#include <cstdio>

#include "tools/kinetta-cli/commands.h"

#ifndef KINETTA_CLI_MAP

namespace kcli {

int CmdMap(Args) {
    std::fprintf(stderr, "kinetta-cli: map is not in this build (it needs Qt WebEngine)\n");
    return 2;
}

} // namespace kcli

#else

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEngineView>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/page_state.h"
#include "kinetta/map/tile_probe.h"
#include "kinetta/telemetry/event_list.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

namespace kcli {

namespace {

constexpr int kReadyTimeoutMs = 60000;

// The main window's part: on the page's report, the track and event steps and
// the alignment with a stopped player.
class MapHost : public QObject {
public:
    kinetta::map::CGoogleMapDlgWrap* wrap = nullptr;
    const kinetta::EventList* events = nullptr;
    kinetta::DetectorFlags flags;
    int current = 0;
    int created = 0;
    int reports = 0;
    bool eventsComplete = false;

    bool event(QEvent* e) override {
        const kinetta::WindowMessage* m = kinetta::AsWindowMessage(e);
        if (!m) return QObject::event(e);
        if (m->Message() == int(kinetta::UM_WEBVIEW_CREATED)) ++created;
        if (m->Message() == int(kinetta::UM_MAP_STATUS)) {
            ++reports;
            wrap->RebuildMapTrack(current);
            eventsComplete = wrap->SendEventIcons(*events, flags.listing, current);
            wrap->SetMapStatus(2); // stopped at the position: the marker moves there once
        }
        return true;
    }
};

// Counts the page's update rounds (one state message each).
class CountingMapDlg : public kinetta::map::CGoogleMapDlg2 {
public:
    int sends = 0;
    void PostMapState(const kinetta::map::MapState& state) override {
        ++sends;
        CGoogleMapDlg2::PostMapState(state);
    }
};

QJsonObject StateOf(const QJsonObject& s) {
    QJsonObject out;
    out["state"] = s.value("state");
    out["zoom"] = s.value("zoom");
    out["center"] = s.value("center");
    out["stretches"] = s.value("stretches");
    QJsonObject lines;
    const QJsonObject polylines = s.value("polylines").toObject();
    for (const char* style : {"group", "before", "after"}) {
        const QJsonArray counts = polylines.value(style).toArray();
        QJsonObject one;
        one["count"] = counts.size();
        one["points"] = counts;
        lines[style] = one;
    }
    out["polylines"] = lines;
    out["marker"] = s.value("marker");
    out["pins"] = s.value("pins");
    out["groupPoints"] = s.value("groupPoints");
    out["gridPoints"] = s.value("gridPoints");
    return out;
}

} // namespace

int CmdMap(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    bool bad = false;
    const auto currentText = TakeOption(args, "--current", &bad);
    const auto frameText = TakeOption(args, "--frame", &bad);
    const auto sizeText = TakeOption(args, "--size", &bad);
    const auto out = TakeOption(args, "--out", &bad);
    const auto tilesText = TakeOption(args, "--tiles", &bad);
    const auto stateOut = TakeOption(args, "--state", &bad);
    long long current = 0, frame = 0;
    int width = 0, height = 0;
    if (bad || args.empty() || !frameText || !ParseCount(*frameText, &frame) ||
        (currentText && !ParseCount(*currentText, &current)) ||
        current >= static_cast<long long>(args.size()) || !sizeText ||
        std::sscanf(sizeText->c_str(), "%dx%d", &width, &height) != 2 || width < 16 ||
        height < 16 || width > 8192 || height > 8192 || !out) {
        std::fprintf(stderr, "usage: kinetta-cli map --family tx40|tx50 FILE... [--current K] "
                             "--frame N --size WxH --out OUT.png [--tiles TEMPLATE] "
                             "[--state OUT.json]\n");
        return 2;
    }
    bool display = false;
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(var); v && *v) display = true;
    if (!display) {
        std::fprintf(stderr, "kinetta-cli map: needs a display (run it under xvfb-run)\n");
        return 1;
    }

    // The open recording with its time base and event list, as the viewer
    // holds them once it plays it.
    const std::string& openPath = args[static_cast<size_t>(current)];
    playcore::sGPSREADER reader;
    if (!LoadWithTimeBase(openPath, family, &reader)) {
        std::fprintf(stderr, "kinetta-cli map: cannot read %s\n", openPath.c_str());
        return 1;
    }
    std::lock_guard lock(reader.mutex);
    kinetta::DetectorFlags flags;
    const kinetta::EventList events =
        kinetta::BuildEventList(reader.frameTable, reader.accel, flags.listing, family);
    std::vector<kinetta::RecordingEntry> rows;
    for (const std::string& path : args) {
        kinetta::RecordingEntry e;
        e.frontPath = path;
        e.frontName = std::filesystem::path(path).filename().string();
        rows.push_back(e);
    }

    // Tiles: --tiles, else the settings file of the current folder, else the
    // public server.
    kinetta::map::MapTileSettings tiles = kinetta::map::ReadTileSettings(
        kinetta::SettingsStore(std::filesystem::current_path().string()));
    if (tilesText) tiles.tileUrl = *tilesText;

    kinetta::map::PrepareWebEngineProcess();
    if (!std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"))
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
    int argc = 1;
    char name[] = "kinetta-cli";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    MapHost host;
    kinetta::QtMessageSink sink;
    auto wrap = std::make_unique<kinetta::map::CGoogleMapDlgWrap>(
        &sink, kinetta::map::TileServerProbe(tiles.tileUrl), tiles);
    wrap->SetMessageTarget(&host);
    host.wrap = wrap.get();
    host.events = &events;
    host.current = static_cast<int>(current);
    if (!wrap->Group().Rebuild(rows, family))
        std::fprintf(stderr, "kinetta-cli map: a file of the list could not be read; the group "
                             "track ends before it\n");
    wrap->Recording().SetSource([&reader] { return reader.gps; });

    // The position: the frame clamped to the recording, its record's fix.
    long long last = static_cast<long long>(reader.frameTable.size()) - 1;
    const int at = static_cast<int>(last < 0 ? 0 : std::min(frame, last));
    wrap->SetCurrentFrame(at);

    auto* dialog = new CountingMapDlg;
    dialog->setAttribute(Qt::WA_DontShowOnScreen);
    dialog->resize(width, height);
    dialog->SetHostFuncs(wrap.get());
    wrap->SetMapDialog(dialog);
    if (!reader.frameTable.empty() && reader.frameTable[size_t(at)] &&
        reader.frameTable[size_t(at)]->gps && reader.frameTable[size_t(at)]->gps->valid)
        wrap->SetMapPosition(reader.frameTable[size_t(at)]->gps->latitude,
                             reader.frameTable[size_t(at)]->gps->longitude);
    wrap->SetMapShown(1);
    wrap->StartMonitor();
    dialog->show();

    int status = 1;
    QJsonObject summary;
    do {
        if (!dialog->StartWebView(&host, tiles) ||
            !kinetta::map::WaitUntil([&] { return host.created > 0; }, kReadyTimeoutMs)) {
            std::fprintf(stderr, "kinetta-cli map: the browser control could not be created\n");
            break;
        }
        dialog->Holder().LoadPage();
        // Ready, tracks and pins sent, the marker at the position, tiles loaded.
        const bool settled = kinetta::map::WaitUntil(
            [&] {
                if (host.reports == 0) return false;
                summary = kinetta::map::ReadMapPageState(dialog->Holder().Page());
                return kinetta::map::MapSettled(summary) &&
                       summary.value("lastJpgNum").toInt(-2) == at;
            },
            kReadyTimeoutMs);
        if (!settled) {
            std::fprintf(stderr,
                         "kinetta-cli map: the map page did not become ready (state %s; is the "
                         "tile server %s reachable?)\n",
                         qPrintable(summary.value("state").toString("none")),
                         kinetta::map::TileServerRoot(tiles.tileUrl).c_str());
            break;
        }
        // One more round of the page, so that the loaded tiles are painted.
        const int until = dialog->sends + 1;
        kinetta::map::WaitUntil([&] { return dialog->sends >= until; }, kReadyTimeoutMs);
        summary = kinetta::map::ReadMapPageState(dialog->Holder().Page());
        const QImage image = dialog->grab().toImage();
        if (image.isNull() || !image.save(QString::fromStdString(*out), "PNG")) {
            std::fprintf(stderr, "kinetta-cli map: cannot write %s\n", out->c_str());
            break;
        }
        const QJsonObject state = StateOf(summary);
        if (stateOut) {
            QFile f(QString::fromStdString(*stateOut));
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                f.write(QJsonDocument(state).toJson(QJsonDocument::Indented)) < 0) {
                std::fprintf(stderr, "kinetta-cli map: cannot write %s\n", stateOut->c_str());
                break;
            }
        }
        kutil::Json line = kutil::Json::object();
        line["ok"] = true;
        line["state"] = summary.value("state").toString().toStdString();
        line["frame"] = at;
        line["stretches"] = state.value("stretches").toArray().size();
        line["pins"] = state.value("pins").toArray().size();
        line["eventsComplete"] = host.eventsComplete;
        std::printf("%s\n", kutil::JsonLine(line).c_str());
        status = 0;
    } while (false);

    wrap->SetMapDialog(nullptr);
    delete dialog; // the page goes before its profile, inside the application
    wrap.reset();
    return status;
}

} // namespace kcli

#endif
