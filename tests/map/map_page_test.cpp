// The map page in the real browser engine, through the real bridge, against a
// tile server on 127.0.0.1 that the test starts (and stops): stretches, the
// position index, the marker and its play status, event pins and their click,
// the offline sentinel, reachability lost and regained, and the host scheme's
// refusal of other origins.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>
#include <memory>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/page_state.h"
#include "kinetta/map/tile_probe.h"
#include "tools/map-bench/local_tile_server.h"

using namespace kinetta;
using namespace kinetta::map;
using kinetta::maptest::LocalTileServer;
using playcore::AccelRecord;
using playcore::GpsRecord;

namespace {

constexpr int kWait = 30000; // ms; a generous bound for a loaded machine

struct PostedMessage {
    uint32_t message;
    intptr_t lParam;
    uintptr_t wParam;
};

// Records what the bridge posts to the main window.
class RecordingSink : public platform::MessageSink {
public:
    std::vector<PostedMessage> posts;
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t wParam,
              intptr_t lParam) override {
        posts.push_back({message, lParam, wParam});
        return true;
    }
    int Count(uint32_t message) const {
        int n = 0;
        for (const auto& p : posts)
            n += p.message == message;
        return n;
    }
};

// Receives UM_WEBVIEW_CREATED.
class Notified : public QObject {
public:
    int created = 0;
    bool event(QEvent* e) override {
        if (const WindowMessage* m = AsWindowMessage(e)) {
            if (m->Message() == int(UM_WEBVIEW_CREATED)) ++created;
            return true;
        }
        return QObject::event(e);
    }
};

// The map dialog, counting the state messages it posts (one per SetSend,
// which the page calls once a second).
class CountingMapDlg : public CGoogleMapDlg2 {
public:
    int sends = 0;
    void PostMapState(const MapState& state) override {
        ++sends;
        CGoogleMapDlg2::PostMapState(state);
    }
};

GpsRecord Fix(double lat, double lng, int frame) {
    GpsRecord g;
    g.latitude = lat;
    g.longitude = lng;
    g.framePos = frame;
    g.valid = 1;
    return g;
}

// One page for the whole run: the page is loaded once per program run.
class Rig {
public:
    static Rig& Get() {
        if (!instance) instance = new Rig; // one page for the run, like the viewer's map
        return *instance;
    }
    static inline Rig* instance = nullptr;

    ~Rig() {
        if (wrap) wrap->SetMapDialog(nullptr);
        delete dialog; // the page goes before its profile, inside the application
        wrap.reset();
    }

    LocalTileServer tiles;
    RecordingSink sink;
    std::unique_ptr<CGoogleMapDlgWrap> wrap;
    CountingMapDlg* dialog = nullptr;
    Notified notified;
    QTemporaryDir storage;
    std::vector<GpsRecord> track;
    bool ready = false;

    QWebEnginePage* Page() { return dialog->Holder().Page(); }
    QJsonObject PageState() { return ReadMapPageState(Page()); }
    QString State() { return PageState().value("state").toString(); }

    void Run(const std::string& script) { wrap->ExecuteMapScript(script); }

    // Waits for n more state messages: the page has run show() n times since.
    bool WaitSends(int n) {
        const int until = dialog->sends + n;
        return WaitUntil([&] { return dialog->sends >= until; }, kWait);
    }

    // The recording track and the group track, sent as the main window does.
    void SetTrack(std::vector<GpsRecord> t) {
        track = std::move(t);
        wrap->Group().Set(track);
        wrap->Recording().SetSource([this] { return track; });
        wrap->RebuildMapTrack(0);
    }

private:
    Rig() {
        using namespace std::chrono_literals;
        if (!tiles.Start()) return;
        const std::string tmpl = tiles.TileTemplate().toStdString();
        wrap = std::make_unique<CGoogleMapDlgWrap>(&sink, TileServerProbe(tmpl),
                                                   MakeTileSettings(tmpl, "Test tiles"));
        dialog = new CountingMapDlg;
        dialog->resize(800, 600);
        dialog->SetHostFuncs(wrap.get());
        wrap->SetMapDialog(dialog);
        wrap->SetMapShown(1);
        wrap->StartMonitor();
        dialog->show();
        if (!dialog->StartWebView(&notified, wrap->Tiles(), storage.path())) return;
        if (!WaitUntil([&] { return notified.created == 1; }, kWait)) return;
        dialog->Holder().LoadPage();
        ready = WaitUntil([&] { return sink.Count(UM_MAP_STATUS) >= 1; }, kWait) &&
                WaitUntil([&] { return State() == "ready"; }, kWait);
    }
};

class MapPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.ready) << "the map page did not become ready";
        rig.wrap->SetMapPosition(0, 0);
        rig.wrap->SetMapStatus(2); // stopped: the page moves its marker only when told
        rig.wrap->SetSend();       // at once, not at the page's next round
        rig.PageState();
    }
    Rig& rig = Rig::Get();
};

QJsonArray Stretches(const QJsonObject& s) {
    return s.value("stretches").toArray();
}
std::vector<int> Counts(const QJsonObject& s, const char* style) {
    std::vector<int> out;
    for (const auto& v : s.value("polylines").toObject().value(style).toArray())
        out.push_back(v.toInt());
    return out;
}

// Eight fixes ten frames apart: 0.0013 degrees of latitude (no break), one
// 0.0014 step (break), a jump to latitude 60 (break), where longitude steps of
// 0.0025 count as 0.00125 (no break).
std::vector<GpsRecord> TestTrack() {
    return {Fix(35.0000, 139.0, 10), Fix(35.0013, 139.0, 20), Fix(35.0026, 139.0, 30),
            Fix(35.0040, 139.0, 40), Fix(35.0053, 139.0, 50), Fix(60.0, 10.0, 60),
            Fix(60.0, 10.0025, 70),  Fix(60.0, 10.0050, 80)};
}

} // namespace

TEST_F(MapPage, StretchesSplitAtTheBreakDistanceWithTheLatitudeCosine) {
    rig.SetTrack(TestTrack());
    const QJsonObject s = rig.PageState();
    EXPECT_EQ(s.value("gridPoints").toInt(), 8);
    EXPECT_EQ(s.value("groupPoints").toInt(), 8);
    const QJsonArray st = Stretches(s);
    ASSERT_EQ(st.size(), 3);
    EXPECT_EQ(st[0].toObject().value("start").toInt(), 0);
    EXPECT_EQ(st[0].toObject().value("end").toInt(), 2);
    EXPECT_EQ(st[1].toObject().value("start").toInt(), 3);
    EXPECT_EQ(st[1].toObject().value("end").toInt(), 4);
    EXPECT_EQ(st[2].toObject().value("start").toInt(), 5);
    EXPECT_EQ(st[2].toObject().value("end").toInt(), 7);
    // The group track's lines: one per stretch of its own split.
    EXPECT_EQ(Counts(s, "group"), (std::vector<int>{3, 2, 3}));
}

TEST_F(MapPage, IndexOfThePositionStepsBackAndClamps) {
    rig.SetTrack(TestTrack());
    auto markerAt = [&](int frame) {
        rig.wrap->SetCurrentFrame(frame);
        rig.Run("orbitgrplist.MoveMarker()");
        return rig.PageState().value("marker").toObject();
    };
    // Before the first fix: index 0.
    QJsonObject m = markerAt(3);
    EXPECT_DOUBLE_EQ(m.value("lat").toDouble(), 35.0);
    // After the last fix: the last index.
    m = markerAt(1000);
    EXPECT_DOUBLE_EQ(m.value("lat").toDouble(), 60.0);
    EXPECT_DOUBLE_EQ(m.value("lng").toDouble(), 10.005);
    // Between fixes 3 (frame 40) and 4 (frame 50): the fix before the first
    // one at or after the position.
    m = markerAt(45);
    EXPECT_DOUBLE_EQ(m.value("lat").toDouble(), 35.0040);
    EXPECT_EQ(rig.PageState().value("lastJpgNum").toInt(), 45);
}

TEST_F(MapPage, StretchStartingAtTheIndexIsDrawnWhollyAfterThePosition) {
    rig.SetTrack(TestTrack());
    rig.wrap->SetCurrentFrame(45); // index 3, the start of the second stretch
    rig.Run("orbitgrplist.MoveMarker()");
    QJsonObject s = rig.PageState();
    EXPECT_EQ(Counts(s, "before"), (std::vector<int>{3}));
    EXPECT_EQ(Counts(s, "after"), (std::vector<int>{2, 3}));
    // Inside a stretch both parts hold the point at the index.
    rig.wrap->SetCurrentFrame(75); // index 5... frame 80 is the first at or after: index 6
    rig.Run("orbitgrplist.MoveMarker()");
    s = rig.PageState();
    EXPECT_EQ(Counts(s, "before"), (std::vector<int>{3, 2, 2}));
    EXPECT_EQ(Counts(s, "after"), (std::vector<int>{2}));
}

TEST_F(MapPage, MarkerFollowsOnlyWhileNeitherPausedNorStopped) {
    rig.SetTrack(TestTrack());
    rig.wrap->SetCurrentFrame(3);
    rig.Run("orbitgrplist.MoveMarker()");
    ASSERT_DOUBLE_EQ(rig.PageState().value("marker").toObject().value("lat").toDouble(), 35.0);

    // Paused: the position changes, two update rounds pass, the marker stays.
    rig.wrap->SetMapStatus(1);
    rig.wrap->SetMapPosition(35.0053, 139.0);
    rig.wrap->SetCurrentFrame(55);
    ASSERT_TRUE(rig.WaitSends(3));
    QJsonObject s = rig.PageState();
    EXPECT_EQ(s.value("status").toString(), "pause");
    EXPECT_DOUBLE_EQ(s.value("marker").toObject().value("lat").toDouble(), 35.0);
    // The program's explicit call still moves it.
    rig.Run("orbitgrplist.MoveMarker()");
    EXPECT_DOUBLE_EQ(rig.PageState().value("marker").toObject().value("lat").toDouble(), 35.0053);

    // Stopped: the same.
    rig.wrap->SetMapStatus(2); // also moves it once
    rig.PageState();           // (the page has run it: it reads the frame when it runs)
    rig.wrap->SetCurrentFrame(3);
    ASSERT_TRUE(rig.WaitSends(3));
    EXPECT_DOUBLE_EQ(rig.PageState().value("marker").toObject().value("lat").toDouble(), 35.0053);

    // Playing: the page follows by itself within a round or two.
    rig.wrap->SetMapStatus(0);
    EXPECT_TRUE(WaitUntil(
        [&] { return rig.PageState().value("marker").toObject().value("lat").toDouble() == 35.0; },
        kWait));
}

TEST_F(MapPage, OfflineSentinelKeepsTheMarker) {
    rig.SetTrack(TestTrack());
    rig.wrap->SetCurrentFrame(1000);
    rig.Run("orbitgrplist.MoveMarker()");
    ASSERT_DOUBLE_EQ(rig.PageState().value("marker").toObject().value("lat").toDouble(), 60.0);
    rig.wrap->SetMapStatus(0);
    rig.wrap->SetMapPosition(kMapOfflineSentinel, kMapOfflineSentinel);
    rig.wrap->SetSend();
    rig.PageState();
    rig.wrap->SetCurrentFrame(3);
    ASSERT_TRUE(WaitUntil([&] { return rig.State() == "offline"; }, kWait));
    ASSERT_TRUE(rig.WaitSends(3));
    const QJsonObject s = rig.PageState();
    EXPECT_EQ(s.value("state").toString(), "offline");
    EXPECT_DOUBLE_EQ(s.value("marker").toObject().value("lat").toDouble(), 60.0);
    const auto lat = RunScriptAndWait(rig.Page(), "document.getElementById('map_lat').value");
    ASSERT_TRUE(lat);
    EXPECT_EQ(lat->toString(), "1000.000000");
    rig.wrap->SetMapPosition(0, 0);
    EXPECT_TRUE(WaitUntil([&] { return rig.State() == "ready"; }, kWait));
}

TEST_F(MapPage, GridDataIgnoresItsArgument) {
    rig.SetTrack(TestTrack());
    const auto same = RunScriptAndWait(rig.Page(), "var s = chrome.webview.hostObjects.sync.sample;"
                                                   "JSON.stringify(s.JS2C_GetGridData(0)) + '|' + "
                                                   "JSON.stringify(s.JS2C_GetGridData(5))");
    ASSERT_TRUE(same);
    const QStringList parts = same->toString().split('|');
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0], parts[1]);
    EXPECT_TRUE(parts[0].startsWith("[35,139,10,35.0013,139,20,")) << parts[0].toStdString();
    EXPECT_TRUE(parts[0].endsWith(",24]"));
    const auto text =
        RunScriptAndWait(rig.Page(), "chrome.webview.hostObjects.sync.sample.TestMethod('abc', 7)");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->toString(), "TestMethod(abc, 7) called.\n");
}

TEST_F(MapPage, PinClickSeeksToThePinsFrame) {
    rig.SetTrack(TestTrack());
    // Two events, linked to fixes 1 and 6, and one at (0, 0) that gets no pin.
    static std::vector<GpsRecord> gps = {Fix(35.0013, 139.0, 20), Fix(60.0, 10.0025, 70),
                                         Fix(0.0, 0.0, 30)};
    static std::vector<AccelRecord> accel(3);
    for (size_t i = 0; i < 3; ++i) {
        accel[i].gps = &gps[i];
        accel[i].framePos = gps[i].framePos;
    }
    gps[0].time.hour = 9;
    gps[0].time.minute = 5;
    gps[0].time.second = 7;
    gps[1].time.hour = 10;
    gps[1].time.minute = 15;
    gps[1].time.second = 6;
    EventList events(3);
    events[0] = {0, 0, 2, 1, &accel[0]};
    events[1] = {1, 0, 5, 3, &accel[1]};
    events[2] = {2, 0, 6, 4, &accel[2]};
    rig.Run("cplist.ClearCrashPos()");
    ASSERT_TRUE(rig.wrap->SendEventIcons(events, DetectorFlags{}.listing, 0));
    // Centre the map on the last fix, beside the second pin (the position
    // marker must not cover it).
    rig.wrap->SetCurrentFrame(1000);
    rig.Run("orbitgrplist.MoveMarker()");
    QJsonObject s;
    ASSERT_TRUE(WaitUntil(
        [&] {
            s = rig.PageState();
            return s.value("pins").toArray().size() == 2 && !s.value("moving").toBool();
        },
        kWait));
    const QJsonArray pins = s.value("pins").toArray();
    // Sent from the last event to the first.
    EXPECT_EQ(pins[0].toObject().value("kind").toInt(), 5);
    EXPECT_EQ(pins[0].toObject().value("frame").toInt(), 70);
    EXPECT_EQ(pins[1].toObject().value("kind").toInt(), 2);
    EXPECT_DOUBLE_EQ(pins[1].toObject().value("lat").toDouble(), 35.0013);
    // Each pin's tool tip names its event's kind and time.
    EXPECT_EQ(pins[0].toObject().value("tip").toString(), QStringLiteral("マニュアル 10:15:06"));
    EXPECT_EQ(pins[1].toObject().value("tip").toString(), QStringLiteral("衝撃 09:05:07"));

    // A real click on the pin's head (page pixels times the zoom factor).
    const QJsonObject pin = pins[0].toObject();
    const QPoint at(int(pin.value("x").toDouble() * kMapZoomFactor),
                    int((pin.value("y").toDouble() - 20) * kMapZoomFactor));
    QWidget* view = rig.dialog->Holder().View();
    QWindow* window = rig.dialog->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPoint inWindow = view->mapTo(rig.dialog->window(), at);
    const int seeks = rig.sink.Count(UM_MAP_SEEK);
    QTest::mouseMove(window, inWindow);
    QTest::mouseClick(window, Qt::LeftButton, {}, inWindow);
    ASSERT_TRUE(WaitUntil([&] { return rig.sink.Count(UM_MAP_SEEK) > seeks; }, kWait));
    EXPECT_EQ(rig.sink.posts.back().message, uint32_t(UM_MAP_SEEK));
    EXPECT_EQ(rig.sink.posts.back().lParam, 70);

    // The right button on the same pin offers its event's clip (kind and
    // frame) and seeks nothing.
    QTest::mouseClick(window, Qt::RightButton, {}, inWindow);
    ASSERT_TRUE(WaitUntil([&] { return rig.sink.Count(UM_CLIP_AT_EVENT) == 1; }, kWait));
    EXPECT_EQ(rig.sink.posts.back().message, uint32_t(UM_CLIP_AT_EVENT));
    EXPECT_EQ(rig.sink.posts.back().wParam, 5u);
    EXPECT_EQ(rig.sink.posts.back().lParam, 70);
    EXPECT_EQ(rig.sink.Count(UM_MAP_SEEK), seeks + 1);
}

TEST_F(MapPage, OtherOriginsGetNothingFromTheHost) {
    const long refusedBefore = rig.dialog->Holder().Scheme()->Refused();
    QWebEnginePage other(rig.dialog->Holder().Profile());
    bool loaded = false;
    QObject::connect(&other, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    other.setHtml("<html><body>elsewhere</body></html>",
                  QUrl(QString("http://127.0.0.1:%1/").arg(rig.tiles.Port())));
    ASSERT_TRUE(WaitUntil([&] { return loaded; }, kWait));
    const auto answer = RunScriptAndWait(
        &other, "var r; try { var x = new XMLHttpRequest();"
                "x.open('GET', 'kinetta-map://map/host/JS2C_GetRelJpgNum?args=%5B%5D', false);"
                "x.send(); r = 'status ' + x.status + ' ' + x.responseText; }"
                "catch (e) { r = 'refused'; } r + ' ' + (typeof chrome === 'object' && "
                "chrome.webview ? 'bridge' : 'nobridge')");
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->toString().contains("status 200")) << answer->toString().toStdString();
    EXPECT_TRUE(answer->toString().endsWith("nobridge"));
    EXPECT_EQ(rig.dialog->Holder().Scheme()->Refused(), refusedBefore + 1);
}

TEST_F(MapPage, ThePageStaysOnItsDocument) {
    // A script (or a link) that would take the page elsewhere is refused:
    // the page, its map and its bridge stay.
    rig.Run("location.href = 'http://127.0.0.1:" + std::to_string(rig.tiles.Port()) + "/';");
    rig.Run("window.open('http://127.0.0.1:" + std::to_string(rig.tiles.Port()) + "/x');");
    ASSERT_TRUE(rig.WaitSends(2));
    EXPECT_EQ(rig.Page()->url().toString().toStdString(), std::string(kMapPageUrl));
    EXPECT_EQ(rig.State(), "ready");
}

// ---- kinetta-cli map ---------------------------------------------------------

namespace {

std::string Capture(const std::string& command, int* status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    *status = ::pclose(p);
    return out;
}

} // namespace

TEST_F(MapPage, CommandLineDrawsTheRecordingsTracksAndPins) {
    QTemporaryDir dir;
    const std::string bin = KINETTA_TEST_BINARY_DIR;
    const std::string mkcard = bin + "/tools/mkcard/mkcard recording --family tx50 --size 160x90 ";
    const std::string a = dir.filePath("a.MP4").toStdString();
    const std::string b = dir.filePath("b.MP4").toStdString();
    int status = 0;
    Capture(mkcard + "--out " + a +
                " --duration 20 --event shock-x@3 --event user-point@8 "
                "--event radar@14",
            &status);
    ASSERT_EQ(status, 0);
    Capture(mkcard + "--out " + b + " --duration 10 --start 2023-05-25T10:15:20 --jump 5-6",
            &status);
    ASSERT_EQ(status, 0);
    const std::string cli = bin + "/tools/kinetta-cli/kinetta-cli ";
    const std::string events = Capture(cli + "events --family tx50 " + a, &status);
    ASSERT_EQ(status, 0);

    const std::string png = dir.filePath("map.png").toStdString();
    const std::string state = dir.filePath("state.json").toStdString();
    const std::string line =
        Capture(cli + "map --family tx50 " + a + " " + b + " --frame 300 --size 640x480 --out " +
                    png + " --tiles '" + rig.tiles.TileTemplate().toStdString() + "' --state " +
                    state + " 2>/dev/null",
                &status);
    ASSERT_EQ(status, 0) << line;
    EXPECT_NE(line.find("\"ok\":true"), std::string::npos) << line;

    QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(640, 480));
    // The recording's track before the position is drawn in pure blue.
    bool blue = false;
    for (int y = 0; y < image.height() && !blue; ++y)
        for (int x = 0; x < image.width() && !blue; ++x)
            blue = image.pixel(x, y) == qRgb(0, 0, 255);
    EXPECT_TRUE(blue);

    QFile f(QString::fromStdString(state));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject s = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(s.value("state").toString(), "ready");
    EXPECT_EQ(s.value("gridPoints").toInt(), 20); // one fix a second
    EXPECT_EQ(s.value("groupPoints").toInt(), 30);
    // The group track breaks at the jump of the second recording.
    EXPECT_GE(s.value("polylines").toObject().value("group").toObject().value("count").toInt(), 2);
    // The position (frame 300) splits the recording's track: both parts hold
    // the point at the index.
    int before = 0, after = 0;
    for (const auto& v :
         s.value("polylines").toObject().value("before").toObject().value("points").toArray())
        before += v.toInt();
    for (const auto& v :
         s.value("polylines").toObject().value("after").toObject().value("points").toArray())
        after += v.toInt();
    EXPECT_EQ(before + after, 21);
    // One pin per event of the event list, from the last to the first.
    const QJsonArray pins = s.value("pins").toArray();
    std::vector<std::pair<int, int>> expected; // kind, frame
    for (const QString& l : QString::fromStdString(events).split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject e = QJsonDocument::fromJson(l.toUtf8()).object();
        expected.insert(expected.begin(), {e.value("kind").toInt(), e.value("frame").toInt()});
    }
    ASSERT_EQ(pins.size(), int(expected.size()));
    ASSERT_EQ(pins.size(), 3);
    for (int i = 0; i < pins.size(); ++i) {
        EXPECT_EQ(pins[i].toObject().value("kind").toInt(), expected[size_t(i)].first);
        EXPECT_EQ(pins[i].toObject().value("frame").toInt(), expected[size_t(i)].second);
    }
}

// Last: the tile server stops answering and answers again.
TEST_F(MapPage, ZZ_TileServerLostAndFoundAgain) {
    const int reports = rig.sink.Count(UM_MAP_STATUS);
    rig.tiles.Stop();
    EXPECT_TRUE(WaitUntil([&] { return rig.State() == "waiting"; }, kWait));
    EXPECT_EQ(rig.wrap->PageInitialised(), 0);
    EXPECT_FALSE(rig.PageState().value("mapCreated").toBool());
    ASSERT_TRUE(rig.tiles.Start());
    EXPECT_TRUE(WaitUntil([&] { return rig.State() == "ready"; }, kWait));
    EXPECT_TRUE(WaitUntil([&] { return rig.sink.Count(UM_MAP_STATUS) > reports; }, kWait));
    EXPECT_EQ(rig.wrap->PageInitialised(), 1);
    // The program's rebuild after the report draws the tracks again.
    rig.SetTrack(TestTrack());
    EXPECT_EQ(Stretches(rig.PageState()).size(), 3);
}

int main(int argc, char** argv) {
    PrepareWebEngineProcess();
    // Software drawing: a virtual X server has no GPU.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    delete Rig::instance;
    return status;
}
