#include "kinetta/base/ui_strings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "util/text.h"

namespace kinetta {
namespace {

struct Entry {
    int index;
    const char* id;
    std::string_view text;
};

// The table as written in the data file, independent of the lookup code.
const std::vector<Entry>& WrittenEntries() {
    static const std::vector<Entry> entries = {
#define KINETTA_UI_TEXT(index, id, value) {index, #id, value},
#include "kinetta/base/ui_strings_table.inc"
#undef KINETTA_UI_TEXT
    };
    return entries;
}

// Restores the process-wide column and family after each test.
class UiStringsTest : public ::testing::Test {
protected:
    void TearDown() override {
        SelectUiStringColumn("ja_JP.UTF-8");
        SetCurrentFamily(RecorderFamily::TX40);
    }
};

TEST_F(UiStringsTest, EveryEntryIsReadBackUnderItsOwnIndex) {
    int previous = -1;
    for (const Entry& e : WrittenEntries()) {
        SCOPED_TRACE(e.id);
        EXPECT_GT(e.index, previous) << "entries out of order or repeated";
        previous = e.index;
        EXPECT_EQ(UiString(e.index), e.text);
    }
    EXPECT_LT(previous, kUiStringCount);
}

TEST_F(UiStringsTest, EntriesAreNonEmptyDistinctUtf8) {
    std::set<std::string_view> seen;
    for (const Entry& e : WrittenEntries()) {
        SCOPED_TRACE(e.id);
        EXPECT_FALSE(e.text.empty());
        EXPECT_TRUE(kutil::IsValidUtf8(e.text));
        EXPECT_TRUE(seen.insert(e.text).second) << "text also held by another entry";
        // Windows-only length modifiers ("%I64d") misread 64-bit arguments on this platform.
        EXPECT_EQ(e.text.find("%I"), std::string_view::npos);
    }
}

TEST_F(UiStringsTest, SpotTextsAndFixedFontFace) {
    EXPECT_EQ(UiString(115), "メイリオ");
    EXPECT_EQ(UiString(kStrFontFace), "メイリオ");
    EXPECT_EQ(UiString(kStrAppCaption), "VistrelS");
    EXPECT_EQ(UiString(kStrPlay), "再生");
    EXPECT_EQ(UiString(kStrPause), "一時停止");
    EXPECT_EQ(UiString(kStrConfirmCaption), "確認");
    EXPECT_EQ(UiString(kStrErrorCaption), "ERROR");
    EXPECT_EQ(UiString(kStrJoinFailed), "動画の連結に失敗しました。");
    EXPECT_EQ(UiString(kStrSaveSplit), "動画保存（分割）");
    EXPECT_EQ(UiString(kStrPleaseWait), "お待ちください...");
    // Line breaks are real CR LF / LF bytes, not backslash sequences.
    EXPECT_EQ(UiString(kStrUpdateHead), "新しいバージョンのソフトを利用できます。\r\n"
                                        "ダウンロードする場合は下記URLをクリックしてください。");
    EXPECT_EQ(UiString(kStrViewerAboutText).find('\\'), std::string_view::npos);
}

TEST_F(UiStringsTest, FormatEntriesTakeTheirArguments) {
    char out[64];
    std::snprintf(out, sizeof out, std::string(UiString(kStrItemCount)).c_str(), 12);
    EXPECT_STREQ(out, "12個");
    const unsigned long long fileBytes = 5ULL << 30; // above 4 GiB: needs the 64-bit argument
    std::snprintf(out, sizeof out, std::string(UiString(kStrSizeMiB)).c_str(), fileBytes >> 20);
    EXPECT_STREQ(out, "5120 MB");
    const long long totalBytes = 3LL << 32;
    std::snprintf(out, sizeof out, std::string(UiString(kStrTotalMiB)).c_str(), totalBytes >> 20);
    EXPECT_STREQ(out, "12288 MB");
    std::snprintf(out, sizeof out, std::string(UiString(kStrProgressPercent)).c_str(), 0);
    EXPECT_STREQ(out, "0 %");
}

TEST_F(UiStringsTest, UnknownIndicesAreEmpty) {
    EXPECT_TRUE(UiString(-1).empty());
    EXPECT_TRUE(UiString(kUiStringCount).empty());
    EXPECT_TRUE(UiString(1 << 30).empty());
    EXPECT_TRUE(UiString(114).empty()); // a gap between groups
}

TEST_F(UiStringsTest, UsEnglishSelectsColumnOneWithTheSameTexts) {
    SelectUiStringColumn("ja_JP.UTF-8");
    EXPECT_EQ(UiStringColumn(), 0);
    std::vector<std::string_view> column0;
    for (int i = 0; i < kUiStringCount; ++i)
        column0.push_back(UiString(i));

    SelectUiStringColumn("en_US.UTF-8");
    EXPECT_EQ(UiStringColumn(), 1);
    for (int i = 0; i < kUiStringCount; ++i)
        EXPECT_EQ(UiString(i), column0[i]) << i;

    SelectUiStringColumn("en_GB.UTF-8");
    EXPECT_EQ(UiStringColumn(), 0);
    SelectUiStringColumn("");
    EXPECT_EQ(UiStringColumn(), 0);
}

TEST_F(UiStringsTest, CameraTextFollowsTheRecorderFamily) {
    SetCurrentFamily(RecorderFamily::TX40);
    EXPECT_EQ(CameraText(kStrNoMovieDataMain, kStrNoMovieDataFront),
              "メインカメラの動画データがありません");
    EXPECT_EQ(CameraText(kStrSaveMain, kStrSaveFront), "メインを保存");
    SetCurrentFamily(RecorderFamily::TX50);
    EXPECT_EQ(CameraText(kStrNoMovieDataMain, kStrNoMovieDataFront),
              "フロントカメラの動画データがありません");
    EXPECT_EQ(CameraText(kStrJoinMain, kStrJoinFront), "フロントを連結");
    EXPECT_EQ(CameraText(kStrCsvDataSizeMain, kStrCsvDataSizeFront), "フロントカメラデータサイズ,");
}

TEST_F(UiStringsTest, EveryMainVariantHasAFrontVariant) {
    std::set<std::string> mains, fronts;
    for (const Entry& e : WrittenEntries()) {
        std::string_view id = e.id;
        if (id.ends_with("Main")) mains.insert(std::string(id.substr(0, id.size() - 4)));
        if (id.ends_with("Front")) fronts.insert(std::string(id.substr(0, id.size() - 5)));
    }
    EXPECT_FALSE(mains.empty());
    EXPECT_EQ(mains, fronts);
}

} // namespace
} // namespace kinetta
