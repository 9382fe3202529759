// map-bench: figures of the map bridge and page in the real browser engine,
// against the local tile server (needs a display; bench/map.sh runs it under
// xvfb-run):
//   1. host-call round trip: 1,000 synchronous calls of the page
//      (JS2C_GetRelJpgNum), median and 95th percentile;
//   2. page load: LoadPage -> the page's report (loadLibs done) -> every tile
//      in view loaded;
//   3. a group track of 100 recordings of 60 s (6,000 fixes): reading the 100
//      files (GroupTrack::Rebuild) and the page's CreateLine (host call, split,
//      polylines).
// Prints one JSON object per figure.

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "container/mp4_builder.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/page_state.h"
#include "kinetta/map/tile_probe.h"
#include "tools/map-bench/local_tile_server.h"

using namespace kinetta;
using namespace kinetta::map;

namespace {

class Sink : public platform::MessageSink {
public:
    int reports = 0;
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t, intptr_t) override {
        if (message == UM_MAP_STATUS) ++reports;
        return true;
    }
};

class Notified : public QObject {
public:
    int created = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Type(UM_WEBVIEW_CREATED)) ++created;
        return QObject::event(e);
    }
};

// "ddmm.mmmm" of a coordinate, as the recorder writes it.
std::string Ddmm(double degrees, int width) {
    const int d = int(degrees);
    const double m = (degrees - d) * 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*.4f", width, d * 100 + m);
    return buf;
}

// 100 TX40 recordings of 60 records (one a second), a drive at about 50 km/h.
std::vector<RecordingEntry> WriteRecordings(const QString& dir) {
    using namespace testmp4;
    std::vector<RecordingEntry> rows;
    double lat = 35.68, lng = 139.76;
    for (int r = 0; r < 100; ++r) {
        std::vector<Bytes> records;
        for (int i = 0; i < 60; ++i) {
            Rec40 rec;
            lat += 0.00009;
            lng += 0.00007 * ((r / 10) % 2 ? -1 : 1);
            rec.lat = Ddmm(lat, 9);
            rec.lon = Ddmm(lng, 10);
            records.push_back(rec.Build());
        }
        const Bytes file =
            Cat({Ftyp(), Movie(ThreeTracks()), Gps0Box(Block(Header40{}.Build(60), records))});
        char name[64];
        std::snprintf(name, sizeof name, "/%03d_120000A_M.MP4", r);
        const std::string path = dir.toStdString() + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) continue;
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
        RecordingEntry e;
        e.frontPath = path;
        rows.push_back(e);
    }
    return rows;
}

void Print(const QJsonObject& o) {
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    PrepareWebEngineProcess();
    if (!std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"))
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
    QApplication app(argc, argv);
    constexpr int kWait = 60000;

    maptest::LocalTileServer tiles;
    if (!tiles.Start()) return 1;
    QTemporaryDir storage, data;
    Sink sink;
    const std::string tmpl = tiles.TileTemplate().toStdString();
    auto wrap = std::make_unique<CGoogleMapDlgWrap>(&sink, TileServerProbe(tmpl),
                                                    MakeTileSettings(tmpl, "Local tiles"));
    auto* dialog = new CGoogleMapDlg2;
    dialog->resize(900, 600);
    dialog->SetHostFuncs(wrap.get());
    wrap->SetMapDialog(dialog);
    wrap->SetMapShown(1);
    wrap->StartMonitor();
    dialog->show();
    Notified notified;
    dialog->StartWebView(&notified, wrap->Tiles(), storage.path());
    if (!WaitUntil([&] { return notified.created > 0; }, kWait)) return 1;
    // The monitor's first answer comes after one period; the page waits for it.
    WaitUntil([&] { return wrap->Connection().Reachable() == 1; }, kWait);

    // 2. Page load.
    QElapsedTimer clock;
    clock.start();
    dialog->Holder().LoadPage();
    if (!WaitUntil([&] { return sink.reports > 0; }, kWait)) return 1;
    const double reported = clock.nsecsElapsed() / 1e6;
    QJsonObject s;
    WaitUntil(
        [&] {
            s = ReadMapPageState(dialog->Holder().Page());
            return MapSettled(s);
        },
        kWait);
    const double settled = clock.nsecsElapsed() / 1e6;
    Print({{"figure", "page load"},
           {"loadToReadyMs", reported},
           {"loadToTilesLoadedMs", settled},
           {"readyToTilesLoadedMs", settled - reported},
           {"tilesServed", double(tiles.Tiles())}});

    // 1. Host-call round trip, measured by the page itself.
    wrap->SetCurrentFrame(250);
    const auto rt = RunScriptAndWait(
        dialog->Holder().Page(),
        "(function(){ var s = chrome.webview.hostObjects.sync.sample, t = [];"
        "for (var i = 0; i < 1000; i++) { var a = performance.now(); s.JS2C_GetRelJpgNum();"
        "t.push(performance.now() - a); }"
        "t.sort(function(a, b) { return a - b; });"
        "return JSON.stringify({median: t[499], p95: t[949], max: t[999]}); })()",
        kWait);
    const QJsonObject r = QJsonDocument::fromJson(rt ? rt->toString().toUtf8() : "{}").object();
    Print({{"figure", "host call round trip"},
           {"calls", 1000},
           {"medianMs", r.value("median")},
           {"p95Ms", r.value("p95")},
           {"maxMs", r.value("max")}});

    // 3. Group track of 100 recordings of 60 s.
    const auto rows = WriteRecordings(data.path());
    clock.restart();
    wrap->Group().Rebuild(rows, RecorderFamily::TX40);
    const double readMs = clock.nsecsElapsed() / 1e6;
    const auto draw =
        RunScriptAndWait(dialog->Holder().Page(),
                         "(function(){ var a = performance.now(); orbitgrplist.CreateLine();"
                         "var b = performance.now(); var s = kinettaPageState();"
                         "return JSON.stringify({ms: b - a, points: s.groupPoints,"
                         "lines: s.polylines.group.length}); })()",
                         kWait);
    const QJsonObject d = QJsonDocument::fromJson(draw ? draw->toString().toUtf8() : "{}").object();
    Print({{"figure", "group track of 100 recordings of 60 s"},
           {"samples", double(wrap->Group().Copy().size())},
           {"readFilesMs", readMs},
           {"createLineMs", d.value("ms")},
           {"points", d.value("points")},
           {"polylines", d.value("lines")}});

    wrap->SetMapDialog(nullptr);
    delete dialog;
    wrap.reset();
    return 0;
}
