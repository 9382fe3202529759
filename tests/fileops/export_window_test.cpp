// The CSV export and the still pictures in the viewer: the export writes the
// list's file and asks before replacing it; the still command saves both
// cameras' pictures at the position the names carry (read back by the
// frame-number code), equal to what the windows show in the turnable view,
// and asks before replacing them; after play-then-pause the pictures of a
// TX40 pair, a TX50 pair and a combined recording show exactly the frame of
// the position in their names.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavutil/log.h>
}

#include "fileops/fileops_support.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/fileops/csv_export.h"
#include "kinetta/fileops/export_feature.h"
#include "kinetta/fileops/export_flows.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/movie_static.h"
#include "kinetta/skin/skin_slider.h"
#include "support/picture_code.h"
#include "tools/mkcard/framecode.h"

namespace kinetta {
namespace {

using ktest::FileOpsViewer;
using ktest::WaitFor;
namespace fs = std::filesystem;

constexpr int kYes = 6;
const QString kAsked = QStringLiteral("同名のファイルが存在します。続行しますか？");

class Card : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        card = dir->path() + "/card";
        const std::string folder = card + "/20230525_001/";
        for (int minute : {15, 16}) {
            const std::string stem = folder + "00" + std::to_string(minute - 14) + "_10" +
                                     std::to_string(minute) + "00A_";
            ASSERT_TRUE(ktest::WriteMovie(stem + "M.MP4", RecorderFamily::TX40,
                                          mkcard::FileContent::Front, minute));
            ASSERT_TRUE(ktest::WriteMovie(stem + "R.MP4", RecorderFamily::TX40,
                                          mkcard::FileContent::Rear, minute));
        }
        ktest::WriteModelMarker(card, RecorderFamily::TX40);
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string card;
};
const auto* const kCard = ::testing::AddGlobalTestEnvironment(new Card);

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The frame number a saved or shown picture carries: the frame stands in
// the picture where its drawn pixels are (the black around it is the
// window's), with its frame-number blocks across its top.
int Code(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) return -1;
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> luma(static_cast<size_t>(w) * h);
    int left = w, top = h, right = -1, bottom = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int g = qGray(rgb.pixel(x, y));
            luma[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(g);
            if (g > 40) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
    if (right < left) return -1;
    const kframecode::Rect drawn{left, top, right - left + 1, bottom - top + 1};
    return kframecode::ReadFrameCode(luma.data(), w, h, w, drawn);
}

void SetModel(FileOpsViewer& v, int model) {
    for (int k = 0; k < 2; ++k) {
        v.dlg->MovieArea(k)->SetDisplayModel(model);
        v.session.SetDisplayMode(k, model);
    }
}

TEST(CsvExportFlow, WritesTheListAndAsksBeforeReplacingIt) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_TRUE(v.dlg->Toolbar().Enabled(kCmdCsv));

    // A cancelled prompt ends the flow without a file or a message.
    v.folder.reset();
    v.dlg->OnCommand(kCmdCsv);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_TRUE(v.shown.empty());
    ASSERT_TRUE(v.WaitLoaded());

    v.folder = out.path();
    v.dlg->OnCommand(kCmdCsv);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_TRUE(v.Finished());
    EXPECT_EQ(v.folderPrompts.back().first, QStringLiteral("出力先フォルダーを選択してください。"));
    const std::string path = out.path() + "/Dv_20230525_101500.csv";
    const std::string text = ReadText(path);
    std::vector<RecordingEntry> rows = v.dlg->Filer()->Rows();
    ASSERT_EQ(rows.size(), 2u);
    std::string expected = CsvHeader(RecorderFamily::TX40);
    for (const RecordingEntry& e : rows)
        expected += CsvRow(MeasureRecording(e, RecorderFamily::TX40), RecorderFamily::TX40);
    EXPECT_EQ(text, expected);
    EXPECT_NE(text.find("\r\n001_101500A_M.MP4,2023/05/25,10:15:00,"), std::string::npos);
    EXPECT_EQ(ReadSetting(std::string(kFolderPathSection), std::string(kCsvFolderKey)), out.path());

    // The same export again asks; "いいえ" keeps the file and shows no completion.
    ASSERT_TRUE(v.WaitLoaded());
    fs::last_write_time(path, fs::file_time_type{});
    v.dlg->OnCommand(kCmdCsv);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(v.Count(kAsked), 1);
    EXPECT_EQ(v.Count(QStringLiteral("完了しました。")), 1);
    EXPECT_EQ(fs::last_write_time(path), fs::file_time_type{});
    // "はい" replaces it.
    ASSERT_TRUE(v.WaitLoaded());
    v.answers.push_back(kYes);
    v.dlg->OnCommand(kCmdCsv);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(v.Count(kAsked), 2);
    EXPECT_EQ(v.Count(QStringLiteral("完了しました。")), 2);
    EXPECT_NE(fs::last_write_time(path), fs::file_time_type{});
    EXPECT_EQ(ReadText(path), expected);
}

TEST(StillPicture, BothCamerasAtTheNamedPositionAsTheWindowsShowThem) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    SetModel(v, 2);
    // While playing: the command stops the movie where it stands, and both
    // pictures show the frame the names carry.
    if (v.session.GetState(0) != kEnginePlaying) v.dlg->OnCommand(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.session.GetPosition(0) > 20; }));
    ASSERT_TRUE(v.dlg->Toolbar().Enabled(kCmdStill));
    v.folder = out.path() + "/";
    v.dlg->OnCommand(kCmdStill);
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("完了しました。"));
    EXPECT_EQ(v.session.GetState(0), kEnginePaused);
    const long long p = v.session.GetPosition(0);
    const std::string tag = fs::path(out.path()).filename().string();
    char number[32];
    std::snprintf(number, sizeof number, "-001_%06lld_", p);
    const std::string front = out.path() + "/" + tag + "-001_101500A_M" + number + "M.jpg";
    const std::string rear = out.path() + "/" + tag + "-001_101500A_M" + number + "R.jpg";
    EXPECT_EQ(v.dlg->Features().Find<ExportFeature>()->Still().FrontPath(), front);
    EXPECT_EQ(v.dlg->Features().Find<ExportFeature>()->Still().RearPath(), rear);
    // Position P is counted in the viewer's whole-millisecond frame duration;
    // the picture at P is the recorded frame of that time (34,364 us each).
    const long long time100ns = static_cast<long long>(p * v.session.GetFrameDuration(0) * 10000.0);
    const int recorded = static_cast<int>(time100ns / (34364LL * 10));
    EXPECT_EQ(Code(QImage(QString::fromStdString(front))), recorded);
    EXPECT_EQ(Code(QImage(QString::fromStdString(rear))), recorded);
    EXPECT_EQ(ReadSetting(std::string(kFolderPathSection), std::string(kSnapshotFolderKey)),
              out.path() + "/");
    // The window has its controls back.
    EXPECT_TRUE(v.dlg->Toolbar().Enabled(kCmdPlayPause));
    EXPECT_TRUE(v.dlg->Filer()->isEnabled());

    // The turnable view: the same names are asked about; "はい" replaces
    // both pictures with exactly what the windows show.
    for (int i = 0; i < 4 && v.dlg->MovieArea(0)->DisplayModel() != 3; ++i)
        v.dlg->OnCommand(kCmdDisplayMode); // 2 -> 4 -> 1 -> 3
    ASSERT_TRUE(WaitFor([&] {
        return v.dlg->MovieArea(0)->isVisible() && v.dlg->MovieArea(0)->DisplayModel() == 3;
    }));
    QTest::qWait(200);
    v.answers.push_back(kYes);
    v.dlg->OnCommand(kCmdStill);
    EXPECT_EQ(v.Count(kAsked), 1);
    EXPECT_EQ(v.Count(QStringLiteral("完了しました。")), 2);
    const QImage savedFront(QString::fromStdString(front)), savedRear(QString::fromStdString(rear));
    const QImage shownFront = v.dlg->MovieArea(0)->GrabPicture();
    const QImage shownRear = v.dlg->MovieArea(1)->GrabPicture();
    EXPECT_EQ(savedFront.size(), shownFront.size());
    EXPECT_LT(ktest::PictureDifference(savedFront, shownFront), 3.0);
    EXPECT_LT(ktest::PictureDifference(savedRear, shownRear), 3.0);
    // The turned view differs from the raw picture saved before.
    EXPECT_EQ(Code(savedFront), -1);

    // "いいえ" leaves both pictures alone and reports nothing. While the
    // question is open the toolbar, the list and the sliders are held.
    fs::last_write_time(front, fs::file_time_type{});
    bool held = false;
    FileOpAnswerer asking;
    asking.folder = [&](const QString&, const std::string&) { return v.folder; };
    asking.messageBox = [&](const QString& text, const QString& caption, int type) {
        held = !v.dlg->Toolbar().Enabled(kCmdPlayPause) && !v.dlg->Toolbar().Enabled(kCmdStill) &&
               !v.dlg->Filer()->isEnabled() && !v.dlg->PositionSlider()->isEnabled();
        return v.Answer(text, caption, type);
    };
    v.Ops().SetAnswerer(std::move(asking));
    v.dlg->OnCommand(kCmdStill);
    EXPECT_TRUE(held);
    EXPECT_EQ(v.Count(kAsked), 2);
    EXPECT_EQ(v.shown.size(), 4u);
    EXPECT_EQ(fs::last_write_time(front), fs::file_time_type{});
    EXPECT_TRUE(v.dlg->Toolbar().Enabled(kCmdStill));
    EXPECT_TRUE(v.dlg->PositionSlider()->isEnabled());
}

// Played, then paused, then the still: each camera's picture is the
// recorded frame of the position the names carry, in both families and in a
// combined file (both cameras in one movie, one engine).
TEST(StillPicture, AfterPlayThenPauseEachCameraShowsTheFrameOfItsName) {
    struct Case {
        const char* name;
        RecorderFamily family;
        std::vector<std::pair<std::string, mkcard::FileContent>> files;
        const char* pattern; // "-<number>_<position>" and what follows, front and rear
        const char* rearPattern;
    };
    const Case cases[] = {
        {"TX40 pair",
         RecorderFamily::TX40,
         {{"001_101500A_M.MP4", mkcard::FileContent::Front},
          {"001_101500A_R.MP4", mkcard::FileContent::Rear}},
         "-001_%06lld_M.jpg",
         "-001_%06lld_R.jpg"},
        {"TX50 pair",
         RecorderFamily::TX50,
         {{"001_101500ANN_F.MP4", mkcard::FileContent::Front},
          {"001_101500ANN_R.MP4", mkcard::FileContent::Rear}},
         "001_101500ANN_F-001_%06lld.jpg",
         "001_101500ANN_R-001_%06lld.jpg"},
        {"combined",
         RecorderFamily::TX40,
         {{"002_101600_A.MP4", mkcard::FileContent::Combined}},
         "002_101600_A-002_%06lld_M.jpg",
         "002_101600_A-002_%06lld_R.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ktest::TempDir card, home, out;
        const std::string folder = card / "20230525_001/";
        for (const auto& [file, content] : c.files)
            ASSERT_TRUE(ktest::WriteMovie(folder + file, c.family, content, 15, 0, 4.0));
        ktest::WriteModelMarker(card.path(), c.family);
        FileOpsViewer v(home.path(), card.path(), c.family);
        ASSERT_TRUE(v.WaitLoaded());
        SetModel(v, 2);
        v.dlg->OnCommand(kCmdPlayPause);
        ASSERT_TRUE(WaitFor([&] { return v.session.GetPosition(0) > 30; }));
        v.dlg->OnCommand(kCmdPlayPause);
        ASSERT_TRUE(WaitFor([&] { return v.session.GetState(0) == kEnginePaused; }));
        v.folder = out.path();
        QElapsedTimer took;
        took.start();
        v.dlg->OnCommand(kCmdStill);
        // Reported, not asserted: the command's time up to its message.
        std::printf("%s: the still took %lld ms\n", c.name, static_cast<long long>(took.elapsed()));
        ASSERT_EQ(v.shown.size(), 1u);
        EXPECT_EQ(v.shown[0].text.section('\n', 0, 0), QStringLiteral("完了しました。"));
        const long long p = v.session.GetPosition(0);
        char front[64], rear[64];
        std::snprintf(front, sizeof front, c.pattern, p);
        std::snprintf(rear, sizeof rear, c.rearPattern, p);
        const CStillCapture& still = v.dlg->Features().Find<ExportFeature>()->Still();
        ASSERT_TRUE(still.FrontPath().ends_with(front)) << still.FrontPath();
        ASSERT_TRUE(still.RearPath().ends_with(rear)) << still.RearPath();
        // P counts the viewer's whole-millisecond frame duration; the picture
        // at P is the recorded frame of that time (34,364 us each).
        const long long time100ns =
            static_cast<long long>(p * v.session.GetFrameDuration(0) * 10000.0);
        const int recorded = static_cast<int>(time100ns / (mkcard::kFrameUs29_1 * 10LL));
        EXPECT_EQ(Code(QImage(QString::fromStdString(still.FrontPath()))), recorded);
        EXPECT_EQ(Code(QImage(QString::fromStdString(still.RearPath()))), recorded);
    }
}

} // namespace
} // namespace kinetta
