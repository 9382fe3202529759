// The join flow's work without a window: output names with the join prefix,
// combined recordings joined through "tempsplit" stand-ins that are removed,
// a recording that cannot be opened fails the join with nothing written, and
// a cancel leaves nothing either.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fileops/flow_files.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/fileops/join_flow.h"
#include "playcore/container/file_queries.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

using ktest::Entry;
using ktest::WriteBytes;

JobControl::Outcome RunOnWorker(const JoinPlan& plan, bool cancelFirst = false) {
    return ktest::RunOnWorker([&](JobControl& j) { return RunJoin(plan, j); }, cancelFirst);
}

TEST(JoinNames, PrefixKindCountAndTheFirstRecordingsNameWithoutItsPrefix) {
    const RecordingEntry pair = Entry("/c/012_153012A_M.MP4", "/c/012_153012A_R.MP4");
    EXPECT_EQ(JoinedName(pair, false, JoinKind(true, true), 3, RecorderFamily::TX40),
              "JB03_012_153012A_M.MP4");
    EXPECT_EQ(JoinedName(pair, true, JoinKind(true, true), 3, RecorderFamily::TX40),
              "JB03_012_153012A_R.MP4");
    EXPECT_EQ(JoinKind(true, false), 'M');
    EXPECT_EQ(JoinKind(false, true), 'R');
    EXPECT_EQ(JoinKind(false, false), 'N');
    const RecordingEntry joined = Entry("/c/JM02_012_153012A_M.MP4");
    EXPECT_EQ(JoinedName(joined, false, 'M', 12, RecorderFamily::TX40), "JM12_012_153012A_M.MP4");
    // A combined first recording: each camera its own name.
    const RecordingEntry combined = Entry("/c/012_153012_A.MP4");
    EXPECT_EQ(JoinedName(combined, false, 'B', 2, RecorderFamily::TX40), "JB02_012_153012A_M.MP4");
    EXPECT_EQ(JoinedName(combined, true, 'B', 2, RecorderFamily::TX40), "JB02_012_153012A_R.MP4");

    const JoinPlan plan = PlanJoin({joined, Entry("/c/013_153112A_M.MP4")}, "/out", true, false,
                                   RecorderFamily::TX40);
    EXPECT_EQ(plan.frontOut, "/out/JM03_012_153012A_M.MP4"); // 2 + 1
    EXPECT_TRUE(plan.rearOut.empty());
}

TEST(JoinRun, CombinedRecordingsJoinThroughStandInsThatAreRemoved) {
    ktest::TempDir dir;
    SetSettingsDirectory(dir.path());
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    WriteBytes(card + "012_153012_A.MP4", testmp4::Combined({6, 6, 9}));
    WriteBytes(card + "013_153112_A.MP4", testmp4::Combined({4, 4, 6}));
    const JoinPlan plan =
        PlanJoin({Entry(card + "012_153012_A.MP4"), Entry(card + "013_153112_A.MP4")}, out, true,
                 true, RecorderFamily::TX40);
    const JobControl::Outcome o = RunOnWorker(plan);
    EXPECT_TRUE(o.completed) << o.failure;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"JB02_012_153012A_M.MP4", "JB02_012_153012A_R.MP4"}));
    EXPECT_EQ(playcore::FirstSampleCount(plan.frontOut, RecorderFamily::TX40), 10);
    EXPECT_EQ(playcore::FirstSampleCount(plan.rearOut, RecorderFamily::TX40), 10);
    EXPECT_EQ(ReadSetting("FOLDERPATH", "CONNECT_FOLDER"), out);
}

TEST(JoinRun, AnUnreadableSecondRecordingOrACancelWritesNothing) {
    ktest::TempDir dir;
    SetSettingsDirectory(dir.path());
    const std::string card = dir / "card/", out = dir / "out";
    fs::create_directories(out);
    WriteBytes(card + "012_153012_A.MP4", testmp4::Combined({6, 6, 9}));
    WriteBytes(card + "013_153112_A.MP4", testmp4::Bytes(64, 3)); // not a movie
    WriteBytes(card + "014_153212_A.MP4", testmp4::Combined({6, 6, 9}));
    const JoinPlan plan =
        PlanJoin({Entry(card + "012_153012_A.MP4"), Entry(card + "013_153112_A.MP4"),
                  Entry(card + "014_153212_A.MP4")},
                 out, true, true, RecorderFamily::TX40);
    JobControl::Outcome o = RunOnWorker(plan);
    EXPECT_FALSE(o.completed);
    EXPECT_EQ(o.failure, "動画の連結に失敗しました。");
    EXPECT_TRUE(fs::is_empty(out)); // neither output nor a stand-in

    const JoinPlan good =
        PlanJoin({Entry(card + "012_153012_A.MP4"), Entry(card + "014_153212_A.MP4")}, out, true,
                 true, RecorderFamily::TX40);
    o = RunOnWorker(good, true);
    EXPECT_TRUE(o.cancelled);
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(ReadSetting("FOLDERPATH", "CONNECT_FOLDER"), "");
}

} // namespace
} // namespace kinetta
