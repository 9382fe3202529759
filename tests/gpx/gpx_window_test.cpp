// "GPXで保存" in the viewer: the movie menu's command asks for the
// recordings (save mode, over the list's rows) and the folder (key
// "GPX_FOLDER"), writes one GPX file with a track per ticked recording on the
// flows' worker and ends with the completion; a failure, a cancelled
// selection and a name already taken.

#include <gtest/gtest.h>

#include <filesystem>

extern "C" {
#include <libavutil/log.h>
}

#include "fileops/fileops_support.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/main_window_rules.h"

namespace kinetta {
namespace {

using ktest::FileOpsViewer;

// Two front recordings of one date folder on a TX40 card, written once for
// the binary and removed at its end.
const std::string& CardRoot() {
    static ktest::TempDir dir;
    static const std::string root = [] {
        av_log_set_level(AV_LOG_ERROR);
        const std::string card = dir.path() + "/card";
        for (const auto& [name, minute] :
             {std::pair{"001_101500A_M.MP4", 15}, std::pair{"002_101600A_M.MP4", 16}})
            EXPECT_TRUE(ktest::WriteMovie(card + "/20230525_001/" + name, RecorderFamily::TX40,
                                          mkcard::FileContent::Front, minute));
        ktest::WriteModelMarker(card, RecorderFamily::TX40);
        return card;
    }();
    return root;
}

// The viewer on the card with its list of two rows shown.
struct GpxViewer : FileOpsViewer {
    explicit GpxViewer(const std::string& home)
        : FileOpsViewer(home, CardRoot(), RecorderFamily::TX40) {}
    bool Ready() {
        return WaitLoaded() &&
               ktest::WaitFor([&] { return dlg->Filer()->ScanResult().size() == 2; });
    }
};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(GpxSave, WritesTheTickedRecordingsAndRemembersTheFolder) {
    ktest::TempDir home;
    const std::string out = home.Mkdir("gpx");
    GpxViewer v(home.path());
    ASSERT_TRUE(v.Ready());

    FileSelectAnswer answer;
    answer.entries = v.dlg->Filer()->ScanResult();
    v.selection = answer;
    v.folder = out;
    v.dlg->OnCommand(kCmdGpxExport);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    ASSERT_EQ(v.selections.size(), 1u);
    EXPECT_EQ(v.selections[0].mode, FileSelectMode::Save);
    ASSERT_EQ(v.folderPrompts.size(), 1u);
    EXPECT_EQ(v.folderPrompts[0].first, QStringLiteral("GPXで保存"));

    // One file named after the first recording, a track for each.
    const std::string gpx = out + "/001_101500A_M.gpx";
    ASSERT_TRUE(std::filesystem::exists(gpx));
    const std::string text = ktest::ReadFile(gpx);
    EXPECT_EQ(Count(text, "<trk>"), 2u);
    EXPECT_EQ(Count(text, "<name>001_101500A_M.MP4</name>"), 1u);
    EXPECT_EQ(Count(text, "<name>002_101600A_M.MP4</name>"), 1u);
    EXPECT_GT(Count(text, "<trkpt "), 4u);
    EXPECT_EQ(SettingsStore(home.path()).Read("FOLDERPATH", "GPX_FOLDER"), out);

    // Again: the earlier file stays and the new one takes the next name.
    v.shown.clear();
    v.dlg->OnCommand(kCmdGpxExport);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    EXPECT_EQ(ktest::ReadFile(gpx), text);
    EXPECT_TRUE(std::filesystem::exists(out + "/001_101500A_M_2.gpx"));
    EXPECT_TRUE(v.WaitLoaded()); // the recording opens again
}

TEST(GpxSave, CancelledSelectionAndFailure) {
    ktest::TempDir home;
    const std::string out = home.Mkdir("gpx");
    GpxViewer v(home.path());
    ASSERT_TRUE(v.Ready());

    // The selection cancelled: no folder prompt, no message, nothing written.
    v.selection.reset();
    v.folder = out;
    v.dlg->OnCommand(kCmdGpxExport);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.folderPrompts.empty());
    EXPECT_TRUE(v.shown.empty());

    // A recording that went away: the failure once, nothing written, the
    // folder not remembered.
    FileSelectAnswer answer;
    answer.entries = v.dlg->Filer()->ScanResult();
    answer.entries[1].frontPath = home / "gone.MP4";
    v.selection = answer;
    v.dlg->OnCommand(kCmdGpxExport);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_TRUE(v.shown[0].text.startsWith(QStringLiteral("GPXファイルの保存に失敗しました。")))
        << v.shown[0].text.toStdString();
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("ERROR"));
    EXPECT_TRUE(std::filesystem::is_empty(out));
    EXPECT_TRUE(SettingsStore(home.path()).Read("FOLDERPATH", "GPX_FOLDER").empty());
}

} // namespace
} // namespace kinetta
