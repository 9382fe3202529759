// The still pictures' names: both families' front names, the rear name by
// the exchanged letter, the folder tag of a drive root, and names that a
// fixed position from the end would get wrong.

#include <gtest/gtest.h>

#include "kinetta/fileops/snapshot_names.h"

using namespace kinetta;

namespace {
constexpr auto TX40 = RecorderFamily::TX40;
constexpr auto TX50 = RecorderFamily::TX50;
} // namespace

TEST(SnapshotNames, FrontAndRearOfBothFamilies) {
    const std::string front =
        SnapshotFrontPath("/media/u/Pictures", "012_153012A_M.MP4",
                          RecordingFileNumber("012_153012A_M.MP4"), 123, TX40);
    EXPECT_EQ(front, "/media/u/Pictures/Pictures-012_153012A_M-012_000123_M.jpg");
    EXPECT_EQ(SnapshotRearPath(front, TX40),
              "/media/u/Pictures/Pictures-012_153012A_M-012_000123_R.jpg");

    // The TX50 rear letter is the recording tag's camera letter, the sixteenth
    // character from the end.
    const std::string f50 =
        SnapshotFrontPath("/home/u/stills/", "012_153012ANN_F.MP4", 12, 0, TX50);
    EXPECT_EQ(f50, "/home/u/stills/stills-012_153012ANN_F-012_000000.jpg");
    const std::string r50 = SnapshotRearPath(f50, TX50);
    EXPECT_EQ(r50, "/home/u/stills/stills-012_153012ANN_R-012_000000.jpg");
    EXPECT_EQ(r50[r50.size() - 16], 'R');
    // A recording with only its rear file names the front still after it.
    EXPECT_EQ(SnapshotRearPath(r50, TX50), f50);

    EXPECT_EQ(SnapshotFrontPath("/p", "012_153012A_M.MP4", 12, -1, TX40), "");
}

TEST(SnapshotNames, FolderTagsAndFileNumbers) {
    // A drive root: its letter, and no separator added.
    EXPECT_EQ(SnapshotFolderTag("D:\\"), "D");
    EXPECT_EQ(SnapshotFrontPath("D:\\", "012_153012A_M.MP4", 12, 5, TX40),
              "D:\\D-012_153012A_M-012_000005_M.jpg");
    EXPECT_EQ(SnapshotFolderTag("/media/u/CARD/"), "CARD");
    EXPECT_EQ(SnapshotFolderTag("/"), "");

    EXPECT_EQ(RecordingFileNumber("012_153012A_M.MP4"), 12);
    EXPECT_EQ(RecordingFileNumber("999_235959ANN_F.MP4"), 999);
    EXPECT_EQ(RecordingFileNumber("movie.mp4"), 0);
}

TEST(SnapshotNames, WideFieldsAndOddNamesNeverReuseTheFrontName) {
    // A position past six digits widens the name; the exchanged letter is
    // still the camera letter, not a digit.
    const std::string f50 = SnapshotFrontPath("/s", "012_153012ANN_F.MP4", 12, 12345678, TX50);
    EXPECT_EQ(SnapshotRearPath(f50, TX50), "/s/s-012_153012ANN_R-012_12345678.jpg");

    // A name whose letter is no camera letter (a combined TX50 name): the
    // rear still gets its own name instead of overwriting the front one.
    const std::string odd = SnapshotFrontPath("/s", "012_153012_ANN_.MP4", 12, 7, TX50);
    EXPECT_EQ(odd, "/s/s-012_153012_ANN_-012_000007.jpg");
    EXPECT_EQ(SnapshotRearPath(odd, TX50), "/s/s-012_153012_ANN_-012_000007_R.jpg");
}
