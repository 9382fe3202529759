// The map bridge without a browser: the JSON writing and reading rules, the
// track arrays, the group track over the list as shown, the scripts and the
// event walk, the host object's dispatch, the main window's side of the bridge
// and the reachability monitor.

#include <gtest/gtest.h>

#include <clocale>
#include <thread>

#include "container/mp4_builder.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_selection.h"
#include "kinetta/map/host_object.h"
#include "kinetta/map/inet_connection.h"
#include "kinetta/map/json_holder.h"
#include "kinetta/map/map_address.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_scripts.h"
#include "kinetta/map/track_array.h"

using namespace kinetta;
using namespace kinetta::map;
using playcore::AccelRecord;
using playcore::GpsRecord;

namespace {

GpsRecord Fix(double lat, double lng, int frame, int valid = 1) {
    GpsRecord g;
    g.latitude = lat;
    g.longitude = lng;
    g.framePos = frame;
    g.valid = valid;
    return g;
}

struct PostedMessage {
    platform::MessageTarget target;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

class RecordingSink : public platform::MessageSink {
public:
    std::vector<PostedMessage> posts;
    bool Post(platform::MessageTarget target, uint32_t message, uintptr_t wParam,
              intptr_t lParam) override {
        posts.push_back({target, message, wParam, lParam});
        return true;
    }
};

class FakeDialog : public IMapDialog {
public:
    MapState state;
    std::vector<std::string> scripts;
    std::vector<std::string> messages;
    CJsonHolder json;
    MapState& State() override { return state; }
    void ExecuteMapScript(const std::string& script) override { scripts.push_back(script); }
    void PostMapState(const MapState& s) override {
        messages.push_back(MapStateMessage(json, s.latitude, s.longitude, s.status));
    }
};

} // namespace

// ---- JSON rules ------------------------------------------------------------

TEST(MapJson, StateMessageIsWrittenInKeyOrderWithSixDecimals) {
    CJsonHolder h;
    h.Set("stale", "x", ","); // filled afresh
    EXPECT_EQ(MapStateMessage(h, 35.5, 139.25, "pause"),
              "{\"map_lat\":\"35.500000\",\"map_lng\":\"139.250000\",\"map_status\":\"pause\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    EXPECT_EQ(MapStateMessage(h, kMapOfflineSentinel, kMapOfflineSentinel, ""),
              "{\"map_lat\":\"1000.000000\",\"map_lng\":\"1000.000000\",\"map_status\":\"\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    // Negative values, and a process locale whose decimal mark is a comma
    // (when the machine has one) change nothing but the sign.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(MapStateMessage(h, -33.8688, -151.2093, "stop"),
              "{\"map_lat\":\"-33.868800\",\"map_lng\":\"-151.209300\",\"map_status\":\"stop\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(MapJson, ReadingRuleStoresQuotedPairsOnly) {
    CJsonHolder two;
    two.Read("{\"map_lat\":\"35.5\",\"map_status\":\"pause\"}");
    ASSERT_EQ(two.Size(), 2u);
    EXPECT_EQ(two.Value("map_lat"), "35.5");
    EXPECT_EQ(two.Entries().at("map_lat").second, ",");
    EXPECT_EQ(two.Value("map_status"), "pause");
    EXPECT_EQ(two.Entries().at("map_status").second, "");

    // An unquoted number never reaches the value's end: nothing is stored.
    CJsonHolder number;
    number.Read("{\"map_lat\":35.5}");
    EXPECT_EQ(number.Size(), 0u);

    // A stray opening brace restarts the object but keeps what was collected:
    // the key "ab" goes on collecting after it.
    CJsonHolder stray;
    stray.Read("{\"a{b\":\"v\"}");
    EXPECT_EQ(stray.Size(), 0u); // the brace moved to state 1, the quote then started a new key
    CJsonHolder stray2;
    stray2.Read("{\"k\":\"v{\"w\":\"x\"}");
    // "v" was collected as value; the brace restarts; the next pair's key
    // collects onto "k" and its value onto "v".
    ASSERT_EQ(stray2.Size(), 1u);
    EXPECT_EQ(stray2.Value("kw"), "vx");

    // A closing brace outside a value ends the object; a comma, colon or
    // closing brace inside a string is dropped; a repeated key replaces.
    CJsonHolder h;
    h.Read("{\"a\":\"1,2:3}\",\"a\":\"x\"} {\"b\":\"y\"}");
    EXPECT_EQ(h.Value("a"), "x");
    EXPECT_EQ(h.Value("b"), "y");
    CJsonHolder dropped;
    dropped.Read("{\"a\":\"1,2:3}4\"}");
    EXPECT_EQ(dropped.Value("a"), "1234");

    // Truncated or empty text stores nothing and reads nothing outside it.
    CJsonHolder cut;
    cut.Read("{\"a\":\"v");
    cut.Read("");
    cut.Read("}}}\"\"::,,");
    EXPECT_EQ(cut.Size(), 0u);
}

TEST(MapJson, WrittenObjectReadsBackWithTheSameEntries) {
    CJsonHolder h;
    const std::string text = MapStateMessage(h, 35.681236, 139.767125, "stop");
    CJsonHolder back;
    back.Read(text);
    EXPECT_EQ(back.Entries(), h.Entries());
}

// ---- tracks ----------------------------------------------------------------

TEST(MapTrack, ArrayHoldsValidFixesAndTheTrailingCount) {
    EXPECT_EQ(MakeTrackArray({}).ToJson(), "[0]");
    EXPECT_EQ(MakeTrackArray({Fix(35, 139, 0, 0), Fix(36, 140, 1, 0)}).ToJson(), "[0]");

    const TrackArray a =
        MakeTrackArray({Fix(35.5, 139.25, 0), Fix(1, 2, 5, 0), Fix(35.681236, 139.767125, 30)});
    ASSERT_EQ(a.Size(), 7u);
    EXPECT_EQ(a.ToJson(), "[35.5,139.25,0,35.681236,139.767125,30,6]");
    EXPECT_FALSE(a.elements[0].isInt);
    EXPECT_TRUE(a.elements[2].isInt);
    EXPECT_TRUE(a.elements[6].isInt);
    EXPECT_EQ(a.elements[6].integer, 6);
    // Coordinates travel exactly.
    const TrackArray exact = MakeTrackArray({Fix(0.1 + 0.2, -179.99999999999997, 7)});
    EXPECT_EQ(exact.ToJson(), "[0.30000000000000004,-179.99999999999997,7,3]");
}

TEST(MapTrack, RecordingTrackCopiesFromItsSource) {
    RecordingTrack track;
    EXPECT_EQ(track.Array().ToJson(), "[0]");
    track.SetSource([] { return std::vector<GpsRecord>{Fix(10, 20, 3)}; });
    EXPECT_EQ(track.Array().ToJson(), "[10,20,3,3]");
}

TEST(MapTrack, GroupTrackFollowsTheListAsShown) {
    using namespace testmp4;
    TempDir dir;
    // Three TX40 recordings of two fixes each; the second has no front file
    // (its rear file serves), the third is a shock recording.
    auto write = [&](const std::string& name, const std::string& lat) {
        Rec40 a, b;
        a.lat = lat;
        b.lat = lat;
        b.status = 'V'; // no fix: not in the array
        Rec40 c;
        c.lat = lat;
        c.lon = "13946.0000";
        const Bytes block = Block(Header40{}.Build(3), {a.Build(), b.Build(), c.Build()});
        return dir.Write(name, Cat({Ftyp(), Movie(ThreeTracks()), Gps0Box(block)}));
    };
    RecordingEntry first, second, third;
    first.frontPath = write("001_120000A_M.MP4", "3540.0000");
    first.frontName = "001_120000A_M.MP4";
    second.rearPath = write("002_120000A_S.MP4", "3541.0000");
    second.rearName = "002_120000A_S.MP4";
    third.frontPath = write("003_120000G_M.MP4", "3542.0000");
    third.frontName = "003_120000G_M.MP4";

    TriggerFilter filter;
    filter.on[1] = false; // shock recordings hidden
    const auto rows = FilterRows({first, second, third}, filter, RecorderFamily::TX40);
    ASSERT_EQ(rows.size(), 2u);

    GroupTrack group;
    ASSERT_TRUE(group.Rebuild(rows, RecorderFamily::TX40));
    const auto samples = group.Copy();
    ASSERT_EQ(samples.size(), 6u); // every record of both files, valid or not
    EXPECT_NEAR(samples[0].latitude, 35 + 40.0 / 60, 1e-9);
    EXPECT_NEAR(samples[3].latitude, 35 + 41.0 / 60, 1e-9);
    for (const auto& s : samples)
        EXPECT_EQ(s.accel, nullptr);
    const TrackArray a = group.Array();
    ASSERT_EQ(a.Size(), 4u * 3 + 1); // two valid fixes per file
    EXPECT_EQ(a.elements.back().integer, 12);
    EXPECT_NEAR(a.elements[6].real, 35 + 41.0 / 60, 1e-9);
    EXPECT_NEAR(a.elements[10].real, 139 + 46.0 / 60, 1e-9);

    // A file that cannot be read ends the reading and reports it.
    RecordingEntry gone;
    gone.frontPath = dir.File("missing.MP4");
    EXPECT_FALSE(group.Rebuild({first, gone, second}, RecorderFamily::TX40));
    EXPECT_EQ(group.Copy().size(), 3u);
}

// ---- scripts and events ----------------------------------------------------

TEST(MapScripts, RebuildAndEventScriptsHaveTheirExactTexts) {
    EXPECT_EQ(
        RebuildTrackScripts(4),
        (std::vector<std::string>{"cplist.ClearCrashPos()", "orbitgrplist.RemoveLineList()",
                                  "orbitgrplist.CreateLine()", "orbitgrplist.CreateGridLine(4)"}));
    CrashPosArgs a;
    a.icon = 2;
    a.levelX = 0.25;
    a.levelY = -1.5;
    a.levelZ = 0.0625;
    a.recordingIndex = 3;
    a.frame = 250;
    a.latitude = 35.681236;
    a.longitude = 139.767125;
    a.valid = 1;
    a.speed = 48;
    EXPECT_EQ(AddCrashPosScript(a), "cplist.AddCrashPos(2,0.250000,-1.500000,0.062500,0,3,250,"
                                    "35.681236,139.767125,1,48.000000,0.000000)");
}

TEST(MapScripts, EventWalkRunsFromLastToFirstAndStopsAtAMissingSample) {
    std::vector<GpsRecord> gps = {Fix(35.1, 139.1, 10), Fix(0.0, 0.0, 20), Fix(35.3, 139.3, 30),
                                  Fix(35.4, 139.4, 40)};
    std::vector<AccelRecord> accel(4);
    for (size_t i = 0; i < 4; ++i) {
        accel[i].framePos = gps[i].framePos;
        accel[i].gps = &gps[i];
    }
    auto event = [&](int kind, int entry, size_t i) {
        GraphEvent e;
        e.record = int32_t(i);
        e.kind = kind;
        e.entry = entry;
        e.accel = &accel[i];
        return e;
    };
    DetectorFlags flags;
    EXPECT_TRUE(WalkEvents({}, flags.listing, 0).complete);

    EventList events = {event(0, 0, 0), event(5, 3, 1), event(2, 1, 2), event(6, 4, 3)};
    flags.Set(4, false); // emergency stop not listed
    EventWalk walk = WalkEvents(events, flags.listing, 7);
    EXPECT_TRUE(walk.complete);
    ASSERT_EQ(walk.scripts.size(), 2u); // (0, 0) and the unlisted entry skipped
    EXPECT_EQ(walk.scripts[0].rfind("cplist.AddCrashPos(2,", 0), 0u) << walk.scripts[0];
    EXPECT_NE(walk.scripts[0].find(",0,7,30,35.300000,139.300000,1,"), std::string::npos);
    EXPECT_EQ(walk.scripts[1].rfind("cplist.AddCrashPos(0,", 0), 0u);

    // An event without its GPS sample ends the walk: the later events were
    // sent, the earlier ones are not.
    accel[2].gps = nullptr;
    walk = WalkEvents(events, DetectorFlags{}.listing, 0);
    EXPECT_FALSE(walk.complete);
    ASSERT_EQ(walk.scripts.size(), 1u);
    EXPECT_EQ(walk.scripts[0].rfind("cplist.AddCrashPos(6,", 0), 0u);
    events[3].accel = nullptr;
    walk = WalkEvents(events, DetectorFlags{}.listing, 0);
    EXPECT_FALSE(walk.complete);
    EXPECT_TRUE(walk.scripts.empty());
}

// ---- host object -----------------------------------------------------------

namespace {

struct CountingFuncs : IHostWebViewFuncs {
    std::vector<std::string> calls;
    std::string gridText;
    int ConnectTest() override { return calls.push_back("ConnectTest"), 1; }
    void OnInitHtml() override { calls.push_back("OnInitHtml"); }
    TrackArray GetGPSData() override {
        calls.push_back("GetGPSData");
        return MakeTrackArray({Fix(1, 2, 3)});
    }
    TrackArray GetGridData(std::string_view text) override {
        calls.push_back("GetGridData");
        gridText = std::string(text);
        return MakeTrackArray({Fix(4, 5, 6)});
    }
    std::string GetRelJpgNum() override { return calls.push_back("GetRelJpgNum"), "250"; }
    void OnClickCrashPoint(int, int, int ipos, int, double, double, double, double) override {
        calls.push_back("OnClickCrashPoint " + std::to_string(ipos));
    }
    std::string GetMapURL() override { return calls.push_back("GetMapURL"), "u\"rl"; }
    void SetSend() override { calls.push_back("SetSend"); }
};

} // namespace

TEST(MapHostObject, ElevenMethodsInInterfaceOrderAnswerInJson) {
    const char* order[] = {"CallCallbackAsynchronously",
                           "TestMethod",
                           "JS2C_ConnectTest",
                           "JS2C_GetMapURL",
                           "JS2C_GetGPSData",
                           "JS2C_GetGridData",
                           "JS2C_GetRelJpgNum",
                           "JS2C_OnClickCrashPoint",
                           "JS2C_OnInitHtml",
                           "JS2C_SetSend",
                           "JS2C_OnRightClickCrashPoint"};
    for (int i = 0; i < HostWebViewObject::kMethodCount; ++i) {
        EXPECT_EQ(HostWebViewObject::MethodName(i), order[i]);
        EXPECT_EQ(HostWebViewObject::MethodIndex(order[i]), i);
    }
    EXPECT_EQ(HostWebViewObject::kFirstDispId, 0x60010000);

    CountingFuncs funcs;
    std::vector<std::function<void()>> queued;
    std::vector<int64_t> ran;
    HostWebViewObject host(
        &funcs, [&](std::function<void()> f) { queued.push_back(std::move(f)); },
        [&](int64_t id) { ran.push_back(id); });
    std::string a;
    ASSERT_TRUE(host.Invoke("TestMethod", "[\"testtesttest\",1]", &a));
    EXPECT_EQ(a, "{\"r\":\"TestMethod(testtesttest, 1) called.\\n\"}");
    ASSERT_TRUE(host.Invoke("JS2C_ConnectTest", "[]", &a));
    EXPECT_EQ(a, "{\"r\":1}");
    ASSERT_TRUE(host.Invoke("JS2C_GetMapURL", "", &a));
    EXPECT_EQ(a, "{\"r\":\"u\\\"rl\"}");
    ASSERT_TRUE(host.Invoke("JS2C_GetGPSData", "[]", &a));
    EXPECT_EQ(a, "{\"r\":[1,2,3,3]}");
    std::string zero, five;
    ASSERT_TRUE(host.Invoke("JS2C_GetGridData", "[0]", &zero));
    ASSERT_TRUE(host.Invoke("JS2C_GetGridData", "[5]", &five));
    EXPECT_EQ(zero, five);
    EXPECT_EQ(zero, "{\"r\":[4,5,6,3]}");
    EXPECT_EQ(funcs.gridText, "true");
    ASSERT_TRUE(host.Invoke("JS2C_GetRelJpgNum", "[]", &a));
    EXPECT_EQ(a, "{\"r\":\"250\"}");
    ASSERT_TRUE(host.Invoke("JS2C_OnClickCrashPoint", "[0,3,250,1,35.5,139.2,40,0]", &a));
    EXPECT_EQ(a, "{}");
    EXPECT_EQ(funcs.calls.back(), "OnClickCrashPoint 250");
    // Mistyped or missing arguments read as 0.
    ASSERT_TRUE(host.Invoke("JS2C_OnClickCrashPoint", "[\"x\",null]", &a));
    EXPECT_EQ(funcs.calls.back(), "OnClickCrashPoint 0");
    ASSERT_TRUE(host.Invoke("JS2C_OnInitHtml", "[]", &a));
    ASSERT_TRUE(host.Invoke("JS2C_SetSend", "[]", &a));
    EXPECT_EQ(funcs.calls.back(), "SetSend");

    // The callback runs later, not inside the call.
    ASSERT_TRUE(host.Invoke("CallCallbackAsynchronously", "[17]", &a));
    EXPECT_TRUE(ran.empty());
    ASSERT_EQ(queued.size(), 1u);
    queued[0]();
    EXPECT_EQ(ran, std::vector<int64_t>{17});

    EXPECT_FALSE(host.Invoke("JS2C_Unknown", "[]", &a));
    EXPECT_FALSE(host.Invoke("TestMethod", "{\"a\":1}", &a));
    EXPECT_FALSE(host.Invoke("TestMethod", "[1,", &a));
    EXPECT_FALSE(host.Invoke("TestMethod", std::string(100000, '['), &a)); // no deep recursion
    EXPECT_FALSE(host.Invoke("TestMethod", "[\"\xff\xfe\"]", &a));         // not UTF-8
    ASSERT_TRUE(host.Invoke("TestMethod", "[\"[[[\\\"]]]\",2]", &a));      // brackets in a text
    EXPECT_EQ(a, "{\"r\":\"TestMethod([[[\\\"]]], 2) called.\\n\"}");

    // Without the functions behind it every method gives its default.
    HostWebViewObject bare(nullptr, nullptr, nullptr);
    ASSERT_TRUE(bare.Invoke("JS2C_ConnectTest", "[]", &a));
    EXPECT_EQ(a, "{\"r\":0}");
    ASSERT_TRUE(bare.Invoke("JS2C_GetGPSData", "[]", &a));
    EXPECT_EQ(a, "{\"r\":[]}");
    ASSERT_TRUE(bare.Invoke("JS2C_GetRelJpgNum", "[]", &a));
    EXPECT_EQ(a, "{\"r\":\"\"}");
    ASSERT_TRUE(bare.Invoke("CallCallbackAsynchronously", "[1]", &a));
}

// ---- the main window's side ------------------------------------------------

TEST(MapWrap, ConnectTestFlagsMessagesAndScripts) {
    RecordingSink sink;
    std::atomic<bool> reachable{false};
    CGoogleMapDlgWrap wrap(
        &sink, [&](const std::atomic<bool>&) { return reachable.load(); }, {},
        std::chrono::milliseconds(5));
    int mainWindow = 0;
    wrap.SetMessageTarget(&mainWindow);

    // Without a dialog, state and scripts go nowhere.
    wrap.SetMapPosition(1, 2);
    wrap.SetMapStatus(2);
    wrap.SetSend();

    FakeDialog dialog;
    wrap.SetMapDialog(&dialog);

    wrap.OnInitHtml();
    EXPECT_EQ(wrap.PageInitialised(), 1);
    ASSERT_EQ(sink.posts.size(), 1u);
    EXPECT_EQ(sink.posts[0].message, uint32_t(UM_MAP_STATUS));
    EXPECT_EQ(sink.posts[0].target, &mainWindow);
    EXPECT_EQ(sink.posts[0].lParam, 0);

    // Map not shown: 0, and the page stays initialised.
    EXPECT_EQ(wrap.ConnectTest(), 0);
    EXPECT_EQ(wrap.PageInitialised(), 1);
    // Shown but unreachable: 0, and the page must start over.
    wrap.SetMapShown(1);
    EXPECT_EQ(wrap.ConnectTest(), 0);
    EXPECT_EQ(wrap.PageInitialised(), 0);
    // Reachable once the monitor has tested.
    reachable = true;
    wrap.StartMonitor();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (wrap.ConnectTest() != 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(wrap.ConnectTest(), 1);

    wrap.OnClickCrashPoint(0, 3, 250, 1, 35.5, 139.2, 40, 0);
    ASSERT_EQ(sink.posts.size(), 2u);
    EXPECT_EQ(sink.posts[1].message, uint32_t(UM_MAP_SEEK));
    EXPECT_EQ(sink.posts[1].wParam, 0u);
    EXPECT_EQ(sink.posts[1].lParam, 250);

    wrap.SetCurrentFrame(250);
    EXPECT_EQ(wrap.GetRelJpgNum(), "250");
    EXPECT_EQ(wrap.GetMapURL(), std::string(kMapLibraryUrl));

    wrap.SetMapPosition(35.5, 139.25);
    wrap.SetMapStatus(1);
    EXPECT_TRUE(dialog.scripts.empty());
    wrap.SetSend();
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0],
              "{\"map_lat\":\"35.500000\",\"map_lng\":\"139.250000\",\"map_status\":\"pause\","
              "\"val_command\":\"update\",\"val_end\":\"\"}");
    wrap.SetMapStatus(2);
    EXPECT_EQ(dialog.state.status, "stop");
    EXPECT_EQ(dialog.scripts, std::vector<std::string>{"orbitgrplist.MoveMarker()"});
    wrap.SetMapStatus(0);
    EXPECT_EQ(dialog.state.status, "");

    dialog.scripts.clear();
    wrap.RebuildMapTrack(2);
    EXPECT_EQ(dialog.scripts, RebuildTrackScripts(2));

    wrap.Group().Set({Fix(1, 2, 0)});
    wrap.Recording().SetSource([] { return std::vector<GpsRecord>{Fix(3, 4, 9)}; });
    EXPECT_EQ(wrap.GetGPSData().ToJson(), "[1,2,0,3]");
    EXPECT_EQ(wrap.GetGridData("false").ToJson(), "[3,4,9,3]");
}

TEST(MapWrap, MonitorFollowsTheProbeAndStopsPromptly) {
    std::atomic<int> answer{1};
    std::atomic<bool> blocking{false};
    CInetConnectionAsync inet(
        [&](const std::atomic<bool>& stop) {
            // A probe that hangs until the monitor stops.
            while (blocking.load() && !stop.load())
                std::this_thread::yield();
            return answer.load() != 0;
        },
        std::chrono::milliseconds(2));
    EXPECT_EQ(inet.Reachable(), 0);
    inet.Start();
    auto waitFor = [&](int value) {
        const long from = inet.Rounds();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((inet.Rounds() < from + 2 || inet.Reachable() != value) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        return inet.Reachable() == value;
    };
    EXPECT_TRUE(waitFor(1));
    answer = 0;
    EXPECT_TRUE(waitFor(0));
    answer = 1;
    EXPECT_TRUE(waitFor(1));
    blocking = true;
    inet.Stop(); // returns although the probe would never finish by itself
    inet.Stop();
}

TEST(MapAddress, TileServerRootAndSettings) {
    EXPECT_EQ(TileServerRoot(kDefaultTileUrl), "https://tile.openstreetmap.org/");
    EXPECT_EQ(TileServerRoot("http://127.0.0.1:8123/{z}/{x}/{y}.png"), "http://127.0.0.1:8123/");
    EXPECT_EQ(TileServerRoot("HTTPS://{s}.tile.example.org/{z}/{x}/{y}.png"),
              "https://a.tile.example.org/");
    EXPECT_EQ(TileServerRoot("https://tiles.example.org?key=1"), "https://tiles.example.org/");
    EXPECT_EQ(TileServerRoot("file:///etc/passwd"), "");
    EXPECT_EQ(TileServerRoot("https:///x"), "");
    EXPECT_EQ(TileServerRoot("https://{z}.example.org/"), "");
    EXPECT_EQ(TileServerRoot("https://user@evil.example/"), "");
    EXPECT_EQ(TileServerRoot(""), "");

    const MapTileSettings d = MakeTileSettings("", "");
    EXPECT_EQ(d.tileUrl, "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    EXPECT_NE(d.attribution.find("OpenStreetMap"), std::string::npos);
    const MapTileSettings s = MakeTileSettings("http://t/{z}/{x}/{y}.png", "© T");
    EXPECT_EQ(s.tileUrl, "http://t/{z}/{x}/{y}.png");
    EXPECT_EQ(s.attribution, "© T");

    testmp4::TempDir dir;
    SettingsStore store(dir.path());
    EXPECT_EQ(ReadTileSettings(store).tileUrl, std::string(kDefaultTileUrl));
    ASSERT_TRUE(store.Write("MAP", "TILEURL", "http://127.0.0.1:9/{z}/{x}/{y}.png"));
    const MapTileSettings read = ReadTileSettings(store);
    EXPECT_EQ(read.tileUrl, "http://127.0.0.1:9/{z}/{x}/{y}.png");
    EXPECT_EQ(read.attribution, std::string(kDefaultAttribution));
}
