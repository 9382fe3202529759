// The save flow's work without a window: the names of separated cameras, the
// plan by camera switches, the outputs of a run (separations with two tracks
// each, copies byte for byte), cancel and failure, and kinetta-cli save.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fileops/flow_files.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/fileops/save_flow.h"
#include "playcore/container/mp4_tree.h"
#include "support/command_run.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

using ktest::WriteBytes;

RecordingEntry Combined(const std::string& path) {
    return ktest::Entry(path);
}

RecordingEntry Pair(const std::string& front, const std::string& rear) {
    return ktest::Entry(front, rear);
}

size_t Tracks(const std::string& path) {
    auto movie = playcore::OpenMp4Movie(path, true, RecorderFamily::TX40);
    return movie ? movie->List(playcore::kTkhdList).size() : 0;
}

// Runs the save as the viewer does, on a worker.
JobControl::Outcome RunOnWorker(const SavePlan& plan, SaveReport* report,
                                bool cancelFirst = false) {
    return ktest::RunOnWorker([&](JobControl& j) { return RunSave(plan, j, report); }, cancelFirst);
}

TEST(SaveNames, CombinedNamesMoveTheTriggerLetterBeforeTheCamera) {
    EXPECT_EQ(SeparatedName("012_153012_A.MP4", 'M'), "012_153012A_M.MP4");
    EXPECT_EQ(SeparatedName("012_153012_A.MP4", 'R'), "012_153012A_R.MP4");
    EXPECT_EQ(SeparatedName("JB03_012_153012_G.mp4", 'M'), "JB03_012_153012G_M.mp4");
    EXPECT_EQ(SeparatedName(".MP4", 'M'), ""); // too short to have the parts
    EXPECT_EQ(SeparatedName("", 'M'), "");
}

TEST(SavePlan, CamerasSwitchedOffAreNotWrittenAndExistingNamesAreFound) {
    ktest::TempDir dir;
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    const std::vector<RecordingEntry> entries = {
        Combined(card + "012_153012_A.MP4"),
        Pair(card + "013_153112A_M.MP4", card + "013_153112A_R.MP4"),
        Pair(card + "014_153212A_M.MP4", "")};
    const SavePlan both = PlanSave(entries, out, true, true, RecorderFamily::TX40);
    ASSERT_EQ(both.recordings.size(), 3u);
    ASSERT_EQ(both.recordings[0].size(), 2u);
    EXPECT_EQ(both.recordings[0][0].path, out + "/012_153012A_M.MP4");
    EXPECT_EQ(both.recordings[0][1].path, out + "/012_153012A_R.MP4");
    EXPECT_EQ(both.recordings[1][1].path, out + "/013_153112A_R.MP4");
    EXPECT_EQ(both.recordings[2].size(), 1u); // no rear file: nothing for it
    const SavePlan front = PlanSave(entries, out, true, false, RecorderFamily::TX40);
    EXPECT_EQ(front.recordings[0].size(), 1u);
    EXPECT_FALSE(front.recordings[0][0].rear);
    EXPECT_EQ(front.recordings[1].size(), 1u);

    std::ofstream(out + "/012_153012A_R.MP4") << "x";
    std::ofstream(out + "/013_153112A_M.MP4") << "x";
    EXPECT_EQ(both.ExistingSeparations(), std::vector<std::string>{out + "/012_153012A_R.MP4"});
    EXPECT_EQ(both.ExistingCopies(), std::vector<std::string>{out + "/013_153112A_M.MP4"});
    EXPECT_TRUE(front.ExistingSeparations().empty()); // only the rear output exists
}

TEST(SaveRun, SeparatesCombinedRecordingsCopiesPairsAndRemembersTheFolder) {
    ktest::TempDir dir;
    SetSettingsDirectory(dir.path());
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    WriteBytes(card + "012_153012_A.MP4", testmp4::Combined({6, 6, 9}));
    const testmp4::Bytes front = testmp4::Combined({5, 5, 5}), rear = testmp4::Bytes(3000, 7);
    WriteBytes(card + "013_153112A_M.MP4", front);
    WriteBytes(card + "013_153112A_R.MP4", rear);
    std::ofstream(out + "/013_153112A_R.MP4") << "older"; // replaced after the user's yes
    const SavePlan plan = PlanSave({Combined(card + "012_153012_A.MP4"),
                                    Pair(card + "013_153112A_M.MP4", card + "013_153112A_R.MP4")},
                                   out, true, true, RecorderFamily::TX40);
    SaveReport report;
    const JobControl::Outcome o = RunOnWorker(plan, &report);
    EXPECT_TRUE(o.completed) << report.why;
    EXPECT_TRUE(o.failure.empty());
    EXPECT_EQ(report.written.size(), 4u);
    EXPECT_EQ(Tracks(out + "/012_153012A_M.MP4"), 2u);
    EXPECT_EQ(Tracks(out + "/012_153012A_R.MP4"), 2u);
    EXPECT_EQ(testmp4::ReadAll(out + "/013_153112A_M.MP4"), front);
    EXPECT_EQ(testmp4::ReadAll(out + "/013_153112A_R.MP4"), rear);
    EXPECT_EQ(ReadSetting("FOLDERPATH", "DOWNLOAD_FOLDER"), out);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(out))
        ++files;
    EXPECT_EQ(files, 4u); // no temporary left
}

TEST(SaveRun, ACancelWritesNothingMoreAndAFailureIsReportedOnce) {
    ktest::TempDir dir;
    SetSettingsDirectory(dir.path());
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    WriteBytes(card + "012_153012_A.MP4", testmp4::Combined({6, 6, 9}));
    const SavePlan plan =
        PlanSave({Combined(card + "012_153012_A.MP4")}, out, true, true, RecorderFamily::TX40);
    SaveReport report;
    JobControl::Outcome o = RunOnWorker(plan, &report, true);
    EXPECT_TRUE(o.cancelled);
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(ReadSetting("FOLDERPATH", "DOWNLOAD_FOLDER"), "");

    // A combined file that is no movie: the split failure, nothing written.
    WriteBytes(card + "013_153112_A.MP4", testmp4::Bytes(100, 1));
    const SavePlan bad =
        PlanSave({Combined(card + "013_153112_A.MP4")}, out, true, true, RecorderFamily::TX40);
    o = RunOnWorker(bad, &report);
    EXPECT_FALSE(o.completed);
    EXPECT_EQ(o.failure, "動画の分割に失敗しました。");
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(SaveCli, PrintsOneLinePerOutputAndRefusesExistingNames) {
    ktest::TempDir dir;
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    WriteBytes(card + "012_153012_A.MP4", testmp4::Combined({6, 6, 9}));
    WriteBytes(card + "013_153112A_M.MP4", testmp4::Bytes(500, 1));
    WriteBytes(card + "013_153112A_R.MP4", testmp4::Bytes(700, 2));
    const std::string cli = ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");
    const std::string cmd = cli + " save --family tx40 --out '" + out + "' '" + card +
                            "012_153012_A.MP4' '" + card + "013_153112A_M.MP4'";
    ktest::CommandRun r = ktest::RunCommand(cmd + " --cameras front");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_NE(r.out.find("012_153012A_M.MP4\""), std::string::npos);
    EXPECT_EQ(r.out.find("_R.MP4"), std::string::npos);
    // The same again: the names exist and stay; with --overwrite both cameras.
    r = ktest::RunCommand(cmd);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists"), std::string::npos);
    EXPECT_FALSE(fs::exists(out + "/013_153112A_R.MP4"));
    r = ktest::RunCommand(cmd + " --overwrite");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4); // the pair's partner too
    EXPECT_EQ(fs::file_size(out + "/013_153112A_R.MP4"), 700u);
    EXPECT_EQ(ktest::RunCommand(cli + " save --family tx40 '" + card + "x'").status, 2);
}

} // namespace
} // namespace kinetta
