// Partner search and the delete-folder convention on real folder trees.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "kinetta/catalogue/delete_folder.h"
#include "kinetta/catalogue/partner_search.h"
#include "platform/files.h"
#include "support/temp_dir.h"

using namespace kinetta;
constexpr auto TX40 = RecorderFamily::TX40;
constexpr auto TX50 = RecorderFamily::TX50;

TEST(PartnerSearch, SameTimeFirst) {
    ktest::TempDir d;
    std::string front = d.Write("f/012_153012A_M.MP4");
    std::string rear = d.Write("f/012_153012A_R.MP4");
    d.Write("f/012_153013A_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX40), rear);
    EXPECT_EQ(FindPartnerFile(rear, false, TX40), front);
}

TEST(PartnerSearch, AlternativeTimesWrapTheHour) {
    ktest::TempDir d;
    std::string front = d.Write("012_235955A_M.MP4");
    std::string rear = d.Write("012_000003A_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX40), rear);
    // and back: 000003 - 8 s is 235955 of the day before
    EXPECT_EQ(FindPartnerFile(rear, false, TX40), front);
}

TEST(PartnerSearch, CandidateOrderPrefersTriggerOverTime) {
    ktest::TempDir d;
    std::string front = d.Write("012_153012A_M.MP4");
    // The A trigger at +3 s is tried before the G trigger at the same time.
    std::string a3 = d.Write("012_153015A_R.MP4");
    d.Write("012_153012G_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX40), a3);
    // +1 is tried before -1.
    std::string plus = d.Write("012_153013A_R.MP4");
    d.Write("012_153011A_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX40), plus);
}

TEST(PartnerSearch, OtherTriggerAndNothingFurtherThanTenSeconds) {
    ktest::TempDir d;
    std::string front = d.Write("012_153012A_M.MP4");
    d.Write("012_153023A_R.MP4"); // 11 s later: not a partner
    EXPECT_EQ(FindPartnerFile(front, false, TX40), "");
    std::string shock = d.Write("012_153002G_R.MP4"); // -10 s with another trigger
    EXPECT_EQ(FindPartnerFile(front, false, TX40), shock);
}

TEST(PartnerSearch, JoinPrefixReadsTheTimeAfterIt) {
    ktest::TempDir d;
    std::string front = d.Write("JB03_012_153012A_M.MP4");
    std::string rear = d.Write("JB03_012_153014A_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX40), rear);
}

TEST(PartnerSearch, Tx50FlagsExtensionsAndCase) {
    ktest::TempDir d;
    // A copy on a case-sensitive disk: the formed ".mp4" candidate still finds ".MP4".
    std::string front = d.Write("012_153012ANN_F.MP4");
    std::string rear = d.Write("012_153013ATN_R.MP4");
    EXPECT_EQ(FindPartnerFile(front, false, TX50), rear);

    ktest::TempDir u;
    std::string f2 = u.Write("012_153012PNN_F.MP4");
    std::string unfinished = u.Write("012_153012PNN_R.DAT");
    EXPECT_EQ(FindPartnerFile(f2, false, TX50), "");
    EXPECT_EQ(FindPartnerFile(f2, true, TX50), unfinished);
}

TEST(PartnerSearch, NonRecordingNamesAndTheFileItself) {
    ktest::TempDir d;
    std::string odd = d.Write("readme.txt");
    EXPECT_EQ(FindPartnerFile(odd, true, TX40), "");
    EXPECT_EQ(FindPartnerFile(d / "012_99", true, TX50), "");
    // A combined name has no camera letter to swap: it must not find itself.
    std::string combined = d.Write("012_153012_A.MP4");
    EXPECT_EQ(FindPartnerFile(combined, true, TX40), "");
}

TEST(DeleteNumbers, NextNumberByFamily) {
    EXPECT_EQ(NextDeleteNumber({}, TX40), 0);
    EXPECT_EQ(NextDeleteNumber({}, TX50), 0);
    EXPECT_EQ(NextDeleteNumber({0, 1, 2, 5}, TX40), 3);
    EXPECT_EQ(NextDeleteNumber({0, 1, 2, 5}, TX50), 4);
    EXPECT_EQ(NextDeleteNumber({3, 4}, TX40), 0);
    EXPECT_EQ(NextDeleteNumber({3, 4}, TX50), 2);
    EXPECT_EQ(NextDeleteNumber({0, 1}, TX50), 2);
    EXPECT_EQ(NextDeleteNumber({0, 1}, TX40), 2);
    EXPECT_EQ(NextDeleteNumber({7}, TX50), 6);
    EXPECT_EQ(NextDeleteNumber({0}, TX50), 1);
    std::vector<int> full(10000);
    for (int i = 0; i < 10000; ++i)
        full[static_cast<size_t>(i)] = i;
    EXPECT_EQ(NextDeleteNumber(full, TX40), 10000);
    EXPECT_EQ(NextDeleteNumber(full, TX50), 10000);
}

TEST(DeleteFolder, ScanCountsOnlyFrontFilesOfEachKind) {
    ktest::TempDir d;
    for (const char* n : {"NTM0000F.DAT", "NTM0001R.DAT", "NTM0003F.dat", "PTM0002F.DAT",
                          "TEMP0004.DAT", "NTM12F.DAT", "xNTM0005F.DAT", "readme.txt"})
        d.Write(std::string("Delete Folder/") + n);
    d.Mkdir("Delete Folder/NTM0009F.DAT"); // a folder does not count
    DeleteNumbers n = ScanDeleteFolder(d / "Delete Folder");
    EXPECT_EQ(n.normal, (std::vector<int>{0, 3}));
    EXPECT_EQ(n.parking, (std::vector<int>{2}));
    EXPECT_EQ(n.temp, (std::vector<int>{4}));
}

namespace {

// A fake card: the temporary folder stands in for a removable drive.
class FakeCard : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetRemovableRootsProvider(
            [root = card.path()] { return std::vector<std::string>{root}; });
        card.Mkdir("Delete Folder");
    }
    void TearDown() override { platform::SetRemovableRootsProvider({}); }
    ktest::TempDir card;
};

} // namespace

TEST_F(FakeCard, PairSharesItsNumberAndTheFolderGoes) {
    card.Write("Delete Folder/NTM0000F.DAT");
    card.Write("Delete Folder/NTM0001F.DAT");
    card.Write("Delete Folder/NTM0002F.DAT");
    card.Write("Delete Folder/NTM0005F.DAT");
    std::string front = card.Write("20230525_001/012_153012ANN_F.MP4", "front");
    std::string rear = card.Write("20230525_001/012_153013ANN_R.MP4", "rear");

    RecordingDeleter deleter(front, TX50);
    ASSERT_TRUE(deleter.UsesDeleteFolder());
    ASSERT_TRUE(deleter.DeletePair(front, "")); // the rear is found by the partner search
    EXPECT_EQ(ktest::ReadFile(card / "Delete Folder/NTM0004F.DAT"), "front");
    EXPECT_EQ(ktest::ReadFile(card / "Delete Folder/NTM0004R.DAT"), "rear");
    EXPECT_FALSE(platform::Exists(card / "20230525_001"));
    EXPECT_EQ(deleter.NumbersInUse().normal, (std::vector<int>{0, 1, 2, 4, 5}));
}

TEST_F(FakeCard, ParkingPairUsesPtmAndTheNextPairItsOwnNumber) {
    std::string f1 = card.Write("d/012_153012PNN_F.MP4");
    std::string r1 = card.Write("d/012_153012PNN_R.MP4");
    std::string f2 = card.Write("d/013_154012PNN_F.MP4");
    card.Write("d/keep.txt");
    RecordingDeleter deleter(f1, TX50);
    ASSERT_TRUE(deleter.DeletePair(f1, r1));
    ASSERT_TRUE(deleter.DeletePair(f2, ""));
    EXPECT_TRUE(platform::Exists(card / "Delete Folder/PTM0000F.DAT"));
    EXPECT_TRUE(platform::Exists(card / "Delete Folder/PTM0000R.DAT"));
    EXPECT_TRUE(platform::Exists(card / "Delete Folder/PTM0001F.DAT"));
    EXPECT_TRUE(platform::Exists(card / "d/keep.txt")); // the folder still holds a file
}

TEST_F(FakeCard, ExistingTargetAndFullRangeFail) {
    std::string front = card.Write("d/012_153012ANN_F.MP4");
    card.Write("Delete Folder/ntm0000r.dat"); // taken, in another case
    RecordingDeleter deleter(front, TX50);
    card.Write("d/012_153012ANN_R.MP4");
    EXPECT_FALSE(deleter.DeletePair(front, ""));
    EXPECT_TRUE(platform::Exists(front)); // the pair stays whole

    ktest::TempDir other;
    platform::SetRemovableRootsProvider(
        [root = other.path()] { return std::vector<std::string>{root}; });
    other.Mkdir("Delete Folder");
    for (int i = 0; i <= 9999; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Delete Folder/TEMP%04d.DAT", i);
        other.Write(name, "");
    }
    std::string f = other.Write("d/012_153012ANN_F.MP4");
    RecordingDeleter full(f, TX50);
    EXPECT_FALSE(full.DeleteCombined(other.Write("d/012_153012_A.MP4")));
    EXPECT_TRUE(platform::Exists(other / "d/012_153012_A.MP4"));
}

TEST_F(FakeCard, Tx40NamesHaveNoCameraLetterForTheConvention) {
    std::string front = card.Write("d/012_153012A_M.MP4");
    RecordingDeleter deleter(front, TX40);
    EXPECT_FALSE(deleter.DeletePair(front, ""));
    EXPECT_TRUE(platform::Exists(front)); // nothing moved
}

TEST_F(FakeCard, CombinedGoesToTemp) {
    std::string a = card.Write("d/012_153012_A.MP4");
    std::string b = card.Write("e/013_153012_A.MP4");
    RecordingDeleter deleter(a, TX40);
    ASSERT_TRUE(deleter.DeleteCombined(a));
    ASSERT_TRUE(deleter.DeleteCombined(b));
    EXPECT_TRUE(platform::Exists(card / "Delete Folder/TEMP0000.DAT"));
    EXPECT_TRUE(platform::Exists(card / "Delete Folder/TEMP0001.DAT"));
}

TEST(DeleteFolder, ElsewhereRecordingsGoToTheTrash) {
    ktest::TempDir home, disk;
    ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    platform::SetRemovableRootsProvider([] { return std::vector<std::string>{}; });
    std::string front = disk.Write("rec/012_153012A_M.MP4", "f");
    std::string rear = disk.Write("rec/012_153012A_R.MP4", "r");
    RecordingDeleter deleter(front, TX40);
    EXPECT_FALSE(deleter.UsesDeleteFolder());
    ASSERT_TRUE(deleter.DeletePair(front, ""));
    EXPECT_FALSE(platform::Exists(front));
    EXPECT_FALSE(platform::Exists(rear));
    EXPECT_EQ(ktest::ReadFile(home / "Trash/files/012_153012A_M.MP4"), "f");
    std::string info = ktest::ReadFile(home / "Trash/info/012_153012A_R.MP4.trashinfo");
    EXPECT_NE(info.find("[Trash Info]\nPath=/"), std::string::npos);
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);

    // A second file of the same name gets another trash name; nothing is overwritten.
    std::string again = disk.Write("rec/012_153012A_M.MP4", "g");
    ASSERT_TRUE(RecordingDeleter::Trash(again));
    EXPECT_EQ(ktest::ReadFile(home / "Trash/files/012_153012A_M.MP4"), "f");
    EXPECT_EQ(ktest::ReadFile(home / "Trash/files/012_153012A_M.MP4.2"), "g");
    platform::SetRemovableRootsProvider({});
    ::unsetenv("XDG_DATA_HOME");
}
