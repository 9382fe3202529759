// The acceleration graph and the information panel in the viewer, on a
// generated card of each family: the panel's date and time follow the
// picture, clicks on the graph seek to the previous and next event, an axis
// button removes its axis and marks, a parking recording is plotted by
// record, and full screen hides both.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include <QAbstractItemModel>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/telemetry/telemetry_feature.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"
#include "support/temp_dir.h"
#include "support/viewer_rig.h"
#include "tools/mkcard/framecode.h"
#include "tools/mkcard/recording.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using mkcard::EventKind;

// Both families' cards: an 8-s recording with a shock, a user point and a
// parking mark, and a parking recording.
class Cards : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
            const bool tx50 = family == RecorderFamily::TX50;
            const std::string card = *dir / (tx50 ? "tx50" : "tx40");
            const std::string folder = card + "/20230525_001/";
            fs::create_directories(folder);
            const std::string names[2] = {tx50 ? "001_101500ANN_F.MP4" : "001_101500A_M.MP4",
                                          tx50 ? "002_101600PNN_F.MP4" : "002_101600P_M.MP4"};
            for (int i = 0; i < 2; ++i) {
                mkcard::RecordingSpec s;
                s.family = family;
                s.start = {2023, 5, 25, 10, 15 + i, 0};
                s.durationSeconds = i == 0 ? 8 : 5;
                if (i == 0)
                    s.events = {{2, tx50 ? EventKind::ShockY : EventKind::ShockX},
                                {4, EventKind::UserPoint},
                                {6, EventKind::Parking}};
                else
                    s.events = {{2, EventKind::Parking}};
                s.parked = i == 1;
                mkcard::RecordingReport report;
                std::string error;
                ASSERT_TRUE(mkcard::WriteRecording(s, folder + names[i], &report, &error)) << error;
            }
            ktest::WriteModelMarker(card, family);
            (tx50 ? tx50Card : tx40Card) = card;
        }
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string tx40Card, tx50Card;
};
const auto* const kCards = ::testing::AddGlobalTestEnvironment(new Cards);

// A paused seek may show a frame or two before the one asked for (the
// session's forward seek lands on the decoded frame at or before it).
constexpr int kSeekSlack = 3;

using ktest::WaitFor;

// The settings folder outlives the viewer started in it.
struct Home {
    ktest::TempDir home;
};

struct Viewer : Home, ktest::ViewerRig {
    // homeDir: the settings folder of an earlier run; empty: a fresh one.
    Viewer(std::string cardRoot, RecorderFamily family, const std::string& homeDir = {})
        : ViewerRig(homeDir.empty() ? home.path() : homeDir, std::move(cardRoot), family, {},
                    [](CkinettaDlg& d) {
                        d.MovieArea(0)->SetDisplayModel(
                            2); // as recorded: the frame code stays readable
                    }) {}
    bool WaitPrepared(int row) {
        return WaitFor([&] {
            return dlg->State().Loaded() && !dlg->State().Busy() &&
                   dlg->State().SelectedIndex() == row &&
                   dlg->Features().Find<TelemetryFeature>()->Graph()->HasMovie() &&
                   dlg->Control().SliderLast() > 0;
        });
    }
    void Command(int id) { dlg->ToolbarButton(id)->click(); }
    void Click(int row) {
        CFileListCtrl* list = dlg->Filer()->List();
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    long long Position() { return session.GetPosition(dlg->State().CameraSelection()); }
    // The frame the main area shows: as recorded, the whole frame stands on a
    // square of the area's shorter side in its middle.
    int Shown() {
        const QImage rgb = dlg->MovieArea(0)->GrabPicture().convertToFormat(QImage::Format_RGB32);
        if (rgb.isNull()) return -1;
        std::vector<uint8_t> luma(static_cast<size_t>(rgb.width()) * rgb.height());
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x)
                luma[static_cast<size_t>(y) * rgb.width() + x] =
                    static_cast<uint8_t>(qGray(rgb.pixel(x, y)));
        const int side = std::min(rgb.width(), rgb.height());
        const kframecode::Rect square{(rgb.width() - side) / 2, (rgb.height() - side) / 2, side,
                                      side};
        return kframecode::ReadFrameCode(luma.data(), rgb.width(), rgb.height(), rgb.width(),
                                         square);
    }
    const PanelState& Panel() { return dlg->Features().Find<TelemetryFeature>()->Panel()->State(); }
};

class TelemetryWindow : public ::testing::TestWithParam<RecorderFamily> {
protected:
    std::string Card() const {
        return GetParam() == RecorderFamily::TX50 ? Cards::tx50Card : Cards::tx40Card;
    }
};

TEST_P(TelemetryWindow, PanelTimeFollowsThePicture) {
    Viewer v(Card(), GetParam());
    ASSERT_TRUE(v.WaitPrepared(0));
    EXPECT_EQ(v.Panel().frameIndex, 0);
    EXPECT_EQ(v.dlg->Features().Find<TelemetryFeature>()->Panel()->Texts().dateTime,
              "2023/05/25 10:15:00");

    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Panel().frameIndex > 10; }));
    const int first = v.Panel().frameIndex;
    ASSERT_TRUE(WaitFor([&] { return v.Panel().frameIndex > first + 60; }));
    EXPECT_GT(v.dlg->Features().Find<TelemetryFeature>()->Panel()->Texts().dateTime,
              "2023/05/25 10:15:01");

    // Paused and put at a frame: the picture's frame code and the drawn time
    // are of the same moment.
    v.Command(kCmdPlayPause);
    v.dlg->Control().SeekFromSlider(150);
    ASSERT_TRUE(WaitFor([&] {
        const int shown = v.Shown();
        return shown >= 0 && std::abs(shown - v.Panel().frameIndex) <= kSeekSlack;
    })) << v.Shown()
        << " " << v.Panel().frameIndex;
    const int shown = v.Shown();
    const double seconds = shown * v.session.GetFrameDuration(0) / 1000.0;
    char want[32];
    std::snprintf(want, sizeof want, "2023/05/25 10:15:%02d", static_cast<int>(seconds));
    EXPECT_EQ(v.dlg->Features().Find<TelemetryFeature>()->Panel()->Texts().dateTime, want)
        << "frame " << shown;
    EXPECT_FALSE(v.dlg->Features().Find<TelemetryFeature>()->Panel()->Texts().g[0].empty());
}

TEST_P(TelemetryWindow, GraphClicksSeekToThePreviousAndNextEvent) {
    Viewer v(Card(), GetParam());
    ASSERT_TRUE(v.WaitPrepared(0));
    const EventList events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events();
    ASSERT_EQ(events.size(), 3u);
    std::vector<int> frames;
    for (const GraphEvent& e : events)
        frames.push_back(e.accel->framePos);

    CGSensorDlg* graph = v.dlg->Features().Find<TelemetryFeature>()->Graph();
    auto clickAndRead = [&](Qt::MouseButton button, int want) {
        QTest::mouseClick(graph, button, {}, graph->rect().center());
        return WaitFor([&] { return std::abs(v.Shown() - want) <= kSeekSlack; });
    };
    v.dlg->Control().SeekFromSlider(frames[1] + 10);
    ASSERT_TRUE(WaitFor([&] { return std::abs(v.Shown() - (frames[1] + 10)) <= kSeekSlack; }));
    EXPECT_TRUE(clickAndRead(Qt::LeftButton, frames[1])) << v.Shown();
    EXPECT_TRUE(clickAndRead(Qt::LeftButton, frames[0])) << v.Shown();
    EXPECT_TRUE(clickAndRead(Qt::LeftButton, frames[2])) << v.Shown();  // before the first: last
    EXPECT_TRUE(clickAndRead(Qt::RightButton, frames[0])) << v.Shown(); // after the last: first
    EXPECT_TRUE(clickAndRead(Qt::RightButton, frames[1])) << v.Shown();
}

TEST_P(TelemetryWindow, AxisButtonRemovesItsAxisAndMarks) {
    Viewer v(Card(), GetParam());
    ASSERT_TRUE(v.WaitPrepared(0));
    const EventList events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events();
    ASSERT_FALSE(events.empty());
    const int axis = events.front().entry; // the shock's axis entry (0..2)
    ASSERT_LT(axis, 3);
    CGSensorDlg* graph = v.dlg->Features().Find<TelemetryFeature>()->Graph();
    ASSERT_TRUE(WaitFor([&] {
        return !graph->LastPlan().axes[static_cast<size_t>(axis)].empty() &&
               graph->LastPlan().marks[static_cast<size_t>(axis)].size() == 1;
    }));

    v.dlg->Features().Find<TelemetryFeature>()->Panel()->AxisButton(axis)->click();
    EXPECT_FALSE(v.dlg->Features().Find<TelemetryFeature>()->Panel()->AxisOn(axis));
    ASSERT_TRUE(WaitFor([&] {
        return graph->LastPlan().axes[static_cast<size_t>(axis)].empty() &&
               graph->LastPlan().marks[static_cast<size_t>(axis)].empty();
    }));
    for (const GraphEvent& e : v.dlg->Features().Find<TelemetryFeature>()->Views().Events())
        EXPECT_NE(e.entry, axis);
    // The other axes stay.
    EXPECT_FALSE(graph->LastPlan().axes[static_cast<size_t>((axis + 1) % 3)].empty());

    v.dlg->Features().Find<TelemetryFeature>()->Panel()->AxisButton(axis)->click();
    ASSERT_TRUE(
        WaitFor([&] { return graph->LastPlan().marks[static_cast<size_t>(axis)].size() == 1; }));
    EXPECT_EQ(v.dlg->Features().Find<TelemetryFeature>()->Views().Events().size(), events.size());
}

TEST_P(TelemetryWindow, PanelAndAxisStatesAreRememberedForTheNextStart) {
    ktest::TempDir home;
    int axis = 0;
    {
        Viewer v(Card(), GetParam(), home.path());
        ASSERT_TRUE(v.WaitPrepared(0));
        const EventList events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events();
        ASSERT_FALSE(events.empty());
        axis = events.front().entry; // the shock's axis
        ASSERT_LT(axis, 3);
        CSkinButton* button = v.dlg->Features().Find<TelemetryFeature>()->Panel()->AxisButton(axis);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        ASSERT_TRUE(WaitFor([&] {
            return SettingsStore(home.path()).Read("DISPLAY", "INFOCHECK") ==
                   std::to_string(31 - (4 << axis));
        }));
        v.dlg->OnCommand(kCmdClose);
    }
    // Between the runs the panel is switched off in the file.
    ASSERT_TRUE(SettingsStore(home.path())
                    .Write("DISPLAY", "INFOCHECK", std::to_string(31 - (4 << axis) - 1)));

    Viewer v(Card(), GetParam(), home.path());
    ASSERT_TRUE(v.WaitPrepared(0));
    TelemetryFeature& t = *v.dlg->Features().Find<TelemetryFeature>();
    EXPECT_FALSE(t.Panel()->isVisible());
    ASSERT_TRUE(t.Graph()->isVisible());
    EXPECT_EQ(t.Graph()->geometry().height(), v.dlg->Layout().graph.height);
    EXPECT_FALSE(t.Panel()->AxisOn(axis));
    EXPECT_TRUE(t.Panel()->AxisOn((axis + 1) % 3));
    // The graph draws neither the axis nor its marks, the event list leaves them out.
    ASSERT_TRUE(WaitFor(
        [&] { return !t.Graph()->LastPlan().axes[static_cast<size_t>((axis + 1) % 3)].empty(); }));
    EXPECT_TRUE(t.Graph()->LastPlan().axes[static_cast<size_t>(axis)].empty());
    EXPECT_TRUE(t.Graph()->LastPlan().marks[static_cast<size_t>(axis)].empty());
    for (const GraphEvent& e : t.Views().Events())
        EXPECT_NE(e.entry, axis);
    // Back from full screen the panel stays as remembered.
    v.dlg->Views().AreaFullScreen(0);
    v.dlg->Views().AreaFullScreen(0);
    ASSERT_FALSE(v.dlg->View().FullScreen());
    EXPECT_TRUE(t.Graph()->isVisible());
    EXPECT_FALSE(t.Panel()->isVisible());
}

TEST_P(TelemetryWindow, ParkingRecordingIsPlottedByRecordAndFullScreenHidesTheViews) {
    Viewer v(Card(), GetParam());
    ASSERT_TRUE(v.WaitPrepared(0));
    EXPECT_FALSE(v.dlg->Features().Find<TelemetryFeature>()->Graph()->Geometry().parking);
    EXPECT_TRUE(v.dlg->Features().Find<TelemetryFeature>()->Graph()->isVisible());
    EXPECT_TRUE(v.dlg->Features().Find<TelemetryFeature>()->Panel()->isVisible());
    EXPECT_EQ(v.dlg->Features().Find<TelemetryFeature>()->Graph()->geometry().height(),
              v.dlg->Layout().graph.height);

    v.Click(1);
    ASSERT_TRUE(v.WaitPrepared(1));
    CGSensorDlg* graph = v.dlg->Features().Find<TelemetryFeature>()->Graph();
    EXPECT_TRUE(graph->Geometry().parking);
    // Few records over the plot width: one column per record, 6p apart.
    size_t records = 0;
    ASSERT_TRUE(v.session.LockTelemetry());
    if (const auto* reader = v.session.GetTelemetry()) records = reader->accel.size();
    v.session.UnlockTelemetry();
    ASSERT_GE(records, 5u);
    ASSERT_TRUE(WaitFor([&] { return graph->LastPlan().columnsPlotted == int(records); }))
        << graph->LastPlan().columnsPlotted;
    const auto& marks = graph->LastPlan().marks[5];
    ASSERT_EQ(marks.size(), 1u);
    const double p = graph->LastPlan().plotWidth / (double(records) * 6);
    EXPECT_NEAR(marks[0].x, graph->LastPlan().left + 2 * 6 * p, 1e-6);

    v.dlg->Views().AreaFullScreen(0);
    ASSERT_TRUE(v.dlg->View().FullScreen());
    EXPECT_FALSE(v.dlg->Features().Find<TelemetryFeature>()->Graph()->isVisible());
    EXPECT_FALSE(v.dlg->Features().Find<TelemetryFeature>()->Panel()->isVisible());
    v.dlg->Views().AreaFullScreen(0);
    ASSERT_FALSE(v.dlg->View().FullScreen());
    EXPECT_TRUE(v.dlg->Features().Find<TelemetryFeature>()->Graph()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Families, TelemetryWindow,
                         ::testing::Values(RecorderFamily::TX40, RecorderFamily::TX50),
                         [](const auto& info) {
                             return std::string(info.param == RecorderFamily::TX50 ? "TX50"
                                                                                   : "TX40");
                         });

} // namespace
} // namespace kinetta
