// "イベントを切り出し" in the viewer: the movie menu's command cuts the event
// nearest the playback position into the chosen folder (key "CLIP_FOLDER")
// on the file flows, and a cancel leaves nothing; the graph's plain right
// click still seeks to the next event while Ctrl + right click on a mark
// offers that event's clip; a map pin's and a list row's offers carry the
// right file, moment and event kind to the flow.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QContextMenuEvent>
#include <QMenu>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "clips/private_cache.h"
#include "fileops/fileops_support.h"
#include "kinetta/base/command_ids.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/clips/clip_feature.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/movie_view_control.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/telemetry/gsensor_dlg.h"
#include "kinetta/telemetry/telemetry_feature.h"
#include "tools/mkcard/recording.h"
#include "util/sha256.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using ktest::FileOpsViewer;
using ktest::WaitFor;

// A TX40 card: the pair 001 (8 s, a shock at 2 s and a user point at 6 s)
// and the pair 002 (5 s, no event), written once for the binary.
class Card : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        card = dir->path() + "/card";
        const std::string folder = card + "/20230525_001/";
        fs::create_directories(folder);
        for (int i = 0; i < 2; ++i)
            for (mkcard::FileContent content :
                 {mkcard::FileContent::Front, mkcard::FileContent::Rear}) {
                mkcard::RecordingSpec s;
                s.family = playcore::RecorderFamily::TX40;
                s.content = content;
                s.start = {2023, 5, 25, 10, 15 + i, 0};
                s.durationSeconds = i == 0 ? 8 : 5;
                s.frontWidth = s.rearWidth = 160;
                s.frontHeight = s.rearHeight = 90;
                if (i == 0)
                    s.events = {{2, mkcard::EventKind::ShockX}, {6, mkcard::EventKind::UserPoint}};
                const std::string name = std::string(i == 0 ? "001_101500A" : "002_101600A") +
                                         (content == mkcard::FileContent::Front ? "_M" : "_R") +
                                         ".MP4";
                mkcard::RecordingReport report;
                std::string error;
                ASSERT_TRUE(mkcard::WriteRecording(s, folder + name, &report, &error)) << error;
                // The viewer keeps the digests only of files not changed a moment ago.
                ktest::WaitUntilSettled(folder + name);
            }
        ktest::WriteModelMarker(card, RecorderFamily::TX40);
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string card;
};
const auto* const kCard = ::testing::AddGlobalTestEnvironment(new Card);

// The settings before the viewer starts: clips of 2 s before and after.
struct ClipHome {
    ktest::TempDir home;
    ClipHome() {
        SettingsStore s(home.path());
        s.Write("CLIP", "BEFORE", "2");
        s.Write("CLIP", "AFTER", "2");
    }
};

struct ClipViewer : ClipHome, FileOpsViewer {
    std::mutex lock;
    std::vector<ClipRequest> requests; // every request that reached the flow

    ClipViewer() : FileOpsViewer(home.path(), Card::card, RecorderFamily::TX40) {
        Clips()->SetRequestWatch([this](const ClipRequest& r) {
            std::lock_guard hold(lock);
            requests.push_back(r);
        });
    }
    ClipFeature* Clips() { return dlg->Features().Find<ClipFeature>(); }
    CGSensorDlg* Graph() { return dlg->Features().Find<TelemetryFeature>()->Graph(); }
    bool Ready() {
        return WaitLoaded() && WaitFor([&] { return Graph()->HasMovie(); }) &&
               WaitFor([&] { return dlg->Filer()->Rows().size() == 2; });
    }
    long long Position() { return session.GetPosition(dlg->State().CameraSelection()); }
    // The one-item menu's choice, once it is shown.
    bool ChooseOfferedClip() {
        if (!WaitFor([&] { return Clips()->OfferedMenu() != nullptr; })) return false;
        QMenu* menu = Clips()->OfferedMenu();
        if (menu->actions().size() != 1 || menu->actions()[0]->text() != "イベントを切り出し")
            return false;
        menu->actions()[0]->trigger();
        menu->close();
        return true;
    }
    ClipRequest LastRequest() {
        std::lock_guard hold(lock);
        return requests.empty() ? ClipRequest{} : requests.back();
    }
    size_t Requests() {
        std::lock_guard hold(lock);
        return requests.size();
    }
};

// The digest the cache of the environment holds for the file as it is now.
std::string CachedDigest(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FileIdentity id;
    const bool known = fd >= 0 && IdentifyFile(fd, path, &id);
    if (fd >= 0) ::close(fd);
    DigestCache cache(DigestCachePath(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME")));
    return known ? cache.Find(id).value_or("") : "";
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ClipWindow, MovieMenuCutsTheNearestEventAndACancelLeavesNothing) {
    ClipViewer v;
    ASSERT_TRUE(v.Ready());
    // Once the recording is shown, its files' digests are computed in the
    // background and kept where a clip finds them (on a file system they
    // are kept for).
    for (const char* name : {"001_101500A_M.MP4", "001_101500A_R.MP4"}) {
        const std::string path = Card::card + "/20230525_001/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool kept = fd >= 0 && TrustedFileSystem(fd);
        if (fd >= 0) ::close(fd);
        if (kept) {
            EXPECT_TRUE(WaitFor([&] { return CachedDigest(path) == kutil::Sha256OfFile(path); }))
                << name;
        }
    }
    const std::string out = v.home.Mkdir("clips");
    v.folder = out;
    // At 5 s the user point (6 s) lies within the 2 s after; the shock (2 s)
    // is farther back than the 2 s before.
    const long long at = 5 * 1000 / std::max(1.0f, v.session.GetFrameDuration(0));
    v.dlg->Control().SeekFromSlider(at);
    ASSERT_TRUE(WaitFor([&] { return std::abs(v.Position() - at) <= 3; }));

    v.dlg->Views().AreaMenu(0, v.dlg->MovieArea(0)->mapToGlobal(QPoint(10, 10)));
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (menu = v.dlg->findChild<QMenu*>(QStringLiteral("movie menu"))) != nullptr;
    }));
    QAction* clip = nullptr;
    for (QAction* a : menu->actions())
        if (a->data().toInt() == kCmdClipEvent) clip = a;
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->text(), QStringLiteral("イベントを切り出し"));
    clip->trigger();
    menu->close();
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    ASSERT_EQ(v.folderPrompts.size(), 1u);
    EXPECT_EQ(v.folderPrompts[0].first,
              QStringLiteral("バックアップフォルダーを選択してください。"));

    const std::vector<std::string> written = {"EV_20230525_101506_user.txt",
                                              "EV_20230525_101506_user_F.MP4",
                                              "EV_20230525_101506_user_R.MP4"};
    EXPECT_EQ(Names(out), written);
    const std::string index = ktest::ReadFile(out + "/EV_20230525_101506_user.txt");
    EXPECT_NE(index.find("001_101500A_M.MP4"), std::string::npos) << index;
    EXPECT_NE(index.find("001_101500A_R.MP4"), std::string::npos) << index;
    EXPECT_EQ(SettingsStore(v.home.path()).Read("FOLDERPATH", "CLIP_FOLDER"), out);

    // Again, cancelled while the clip is being cut: held at the flow's start
    // until the progress window's cancel has been pressed.
    ASSERT_TRUE(v.WaitLoaded());
    std::atomic<bool> reached{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    v.Clips()->SetRequestWatch([&reached, released](const ClipRequest&) {
        reached = true;
        released.wait_for(std::chrono::seconds(20)); // a deadline, not a guess
    });
    v.shown.clear();
    v.dlg->OnCommand(kCmdClipEvent);
    ASSERT_TRUE(WaitFor([&] { return reached.load(); }));
    QTest::mouseClick(v.Ops().ProgressWindow()->CancelButton(), Qt::LeftButton);
    release.set_value();
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.shown.empty()); // a cancel shows nothing
    EXPECT_EQ(Names(out), written);
}

TEST(ClipWindow, GraphRightClickStillSeeksWhileCtrlOnAMarkOffersItsClip) {
    ClipViewer v;
    ASSERT_TRUE(v.Ready());
    v.folder = v.home.Mkdir("clips");
    const EventList events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events();
    ASSERT_EQ(events.size(), 2u);
    CGSensorDlg* graph = v.Graph();
    ASSERT_TRUE(WaitFor([&] { return !graph->LastPlan().marks[3].empty(); })); // the user point
    const GraphMark mark = graph->LastPlan().marks[3][0];
    const QPoint onMark(int(mark.x) + 2, graph->height() / 2);
    ASSERT_EQ(v.Position(), 0);

    // Ctrl + right click on the user point's mark: its clip is offered, no seek.
    QTest::mouseClick(graph, Qt::RightButton, Qt::ControlModifier, onMark);
    ASSERT_TRUE(WaitFor([&] { return v.Clips()->OfferedMenu() != nullptr; }));
    QTest::qWait(0);
    EXPECT_EQ(v.Position(), 0);
    v.Clips()->OfferedMenu()->close();

    // The plain right click at the same place: the next event, as ever.
    QTest::mouseClick(graph, Qt::RightButton, {}, onMark);
    ASSERT_TRUE(WaitFor([&] { return std::abs(v.Position() - events[0].accel->framePos) <= 3; }))
        << v.Position();
    EXPECT_EQ(v.Clips()->OfferedMenu(), nullptr);

    // The offered clip is the user point's.
    QTest::mouseClick(graph, Qt::RightButton, Qt::ControlModifier, onMark);
    ASSERT_TRUE(v.ChooseOfferedClip());
    ASSERT_TRUE(WaitFor([&] { return v.Requests() == 1; }));
    ASSERT_TRUE(v.WaitEnded());
    const ClipRequest r = v.LastRequest();
    EXPECT_EQ(fs::path(r.telemetryPath).filename(), "001_101500A_M.MP4");
    EXPECT_EQ(r.kindWord, "user");
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].kind, 5);
    // The clip counts frames in the file's sample table, the viewer from the
    // movie's duration: the same event may stand one frame apart.
    EXPECT_LE(std::abs(r.events[0].frame - events[1].accel->framePos), 1);
}

TEST(ClipWindow, MapPinAndListRowOffersCarryFileMomentAndKind) {
    ClipViewer v;
    ASSERT_TRUE(v.Ready());
    v.folder = v.home.Mkdir("clips");
    const EventList events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events();
    ASSERT_EQ(events.size(), 2u);

    // A pin's right click as the map's bridge posts it: the shock's kind and frame.
    PostWindowMessage(v.dlg.get(), UM_CLIP_AT_EVENT, uintptr_t(events[0].kind),
                      events[0].accel->framePos);
    ASSERT_TRUE(v.ChooseOfferedClip());
    ASSERT_TRUE(WaitFor([&] { return v.Requests() == 1; }));
    ASSERT_TRUE(v.WaitEnded());
    ClipRequest r = v.LastRequest();
    EXPECT_EQ(fs::path(r.frontPath).filename(), "001_101500A_M.MP4");
    EXPECT_EQ(fs::path(r.rearPath).filename(), "001_101500A_R.MP4");
    EXPECT_EQ(r.kindWord, "shock");
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_LE(std::abs(r.events[0].frame - events[0].accel->framePos), 1);
    const double frame = v.session.GetFrameDuration(0) / 1000.0; // seconds
    const double shock = events[0].accel->framePos * frame;
    EXPECT_NEAR(r.moment, shock, 1.5 * frame);
    EXPECT_EQ(r.before, 2);
    EXPECT_EQ(r.after, 2);

    // A row's right click: its first event, or its start without one.
    struct Row {
        int row;
        const char* file;
        const char* kind;
        double moment;
    };
    for (const Row& want : {Row{0, "001_101500A_M.MP4", "shock", shock},
                            Row{1, "002_101600A_M.MP4", "moment", 0.0}}) {
        ASSERT_TRUE(v.WaitLoaded());
        const size_t before = v.Requests();
        CFileListCtrl* list = v.dlg->Filer()->List();
        const QPoint at = list->visualRect(list->model()->index(want.row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        ASSERT_TRUE(v.ChooseOfferedClip()) << want.row;
        ASSERT_TRUE(WaitFor([&] { return v.Requests() == before + 1; })) << want.row;
        ASSERT_TRUE(v.WaitEnded());
        r = v.LastRequest();
        EXPECT_EQ(fs::path(r.telemetryPath).filename(), want.file) << want.row;
        EXPECT_EQ(r.kindWord, want.kind) << want.row;
        EXPECT_NEAR(r.moment, want.moment, 1.5 * frame) << want.row;
        EXPECT_EQ(r.events.size(), want.moment > 0 ? 1u : 0u) << want.row;
    }
}

} // namespace
} // namespace kinetta
