// The file-name grammar of both recorder families.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "kinetta/catalogue/recording_names.h"

using namespace kinetta;
constexpr auto TX40 = RecorderFamily::TX40;
constexpr auto TX50 = RecorderFamily::TX50;

TEST(NamesTx40, FrontCameraFile) {
    const char* n = "012_153012A_M.MP4";
    EXPECT_TRUE(IsRecordingName(n, TX40));
    EXPECT_TRUE(IsFrontName(n, TX40));
    EXPECT_TRUE(IsCameraName(n, TX40));
    EXPECT_FALSE(IsRearName(n, TX40));
    EXPECT_FALSE(IsCombinedName(n, TX40));
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Trigger, TX40), 0);
    EXPECT_EQ(TriggerText(n, TX40), "常時");
    EXPECT_EQ(RecordingBaseName(n, TX40), "012_153012A");
    EXPECT_EQ(DisplayName(n), "012_153012A");
}

TEST(NamesTx40, EveryTriggerLetterOfFrontAndRearFiles) {
    // Front files end in "M.MP4": each must read as its own trigger, not as manual.
    struct Case {
        char letter;
        int code;
        const char* text;
        int bit;
        bool event, parking;
    } cases[] = {{'A', 0, "常時", 0x01, false, false},
                 {'G', 1, "衝撃", 0x04, true, false},
                 {'M', 2, "マニュアル", 0x02, true, false},
                 {'P', 3, "駐車", 0x08, false, true},
                 {'S', 4, "駐車衝撃", 0x10, true, true}};
    for (const Case& c : cases) {
        for (const char* camera : {"M", "R"}) {
            std::string name = std::string("012_153012") + c.letter + "_" + camera + ".MP4";
            SCOPED_TRACE(name);
            EXPECT_EQ(TriggerCode(name, TriggerPosition::Trigger, TX40), c.code);
            EXPECT_EQ(TriggerText(name, TX40), c.text);
            EXPECT_EQ(TriggerFilterBits(name, TX40), c.bit);
            EXPECT_EQ(IsEventRecording(name, TX40), c.event);
            EXPECT_EQ(IsParkingRecording(name, TX40), c.parking);
            EXPECT_TRUE(IsCameraName(name, TX40));
        }
    }
}

TEST(NamesTx40, RearWithBlankTriggerReadsAsRadar) {
    const char* n = "012_153012__R.MP4";
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Trigger, TX40), 6);
    EXPECT_EQ(TriggerText(n, TX40), "レーダー");
    EXPECT_TRUE(IsRearName(n, TX40));
}

TEST(NamesTx40, CombinedPassesEveryCameraTest) {
    const char* n = "012_153012_A.MP4";
    EXPECT_TRUE(IsCombinedName(n, TX40));
    EXPECT_TRUE(IsFrontName(n, TX40));
    EXPECT_TRUE(IsRearName(n, TX40));
    EXPECT_TRUE(IsCameraName(n, TX40));
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Trigger, TX40), 0);
    EXPECT_EQ(StripJoinPrefix(n), "012_153012A.MP4");
    EXPECT_EQ(RecordingBaseName(n, TX40), "012_153012_A");
    EXPECT_EQ(IsCombinedName("012_153012_G.MP4", TX40), true);
    EXPECT_EQ(TriggerCode("012_153012_G.MP4", TriggerPosition::Trigger, TX40), 1);
}

TEST(NamesTx40, JoinPrefix) {
    const char* n = "JB03_012_153012A_M.MP4";
    EXPECT_TRUE(HasJoinPrefix(n, TX40));
    EXPECT_FALSE(IsRecordingName(n, TX40));
    EXPECT_TRUE(IsFrontName(n, TX40));
    EXPECT_EQ(JoinCount(n), 3);
    EXPECT_EQ(StripJoinPrefix(n), "012_153012A_M.MP4");
    EXPECT_EQ(JoinCount("JM05_012_153012A_M.MP4"), 5);
    EXPECT_EQ(JoinCount("012_153012A_M.MP4"), 1);

    // Kind N is accepted by the grammar but not by the prefix search, so the
    // prefix rule looks at index 3 ("2") and every grammar test fails.
    const char* k = "JN02_012_153012A_M.MP4";
    EXPECT_FALSE(HasJoinPrefix(k, TX40));
    EXPECT_FALSE(IsFrontName(k, TX40));
    EXPECT_FALSE(IsCameraName(k, TX40));
    EXPECT_FALSE(IsCombinedName(k, TX40));
}

TEST(NamesTx40, WildcardAndCaseOfTheExtension) {
    // "." is the expression's wildcard, but the TX40 trigger search looks for a
    // literal ".MP4", so such names still fail; TX50 reads its positions from
    // the end and accepts them.
    EXPECT_FALSE(IsFrontName("012_153012A_MxMP4", TX40));
    EXPECT_FALSE(IsCombinedName("012_153012_AxMP4", TX40));
    EXPECT_TRUE(IsFrontName("012_153012ANN_FxMP4", TX50));
    EXPECT_TRUE(IsFrontNameAnyExt("012_153012ANN_FxDAT"));
    // The extension is all upper or all lower case.
    EXPECT_TRUE(IsFrontName("012_153012A_M.mp4", TX40));
    for (const char* mixed : {"012_153012A_M.Mp4", "012_153012A_M.mP4"}) {
        SCOPED_TRACE(mixed);
        EXPECT_FALSE(IsFrontName(mixed, TX40));
        EXPECT_FALSE(IsRearName(mixed, TX40));
        EXPECT_FALSE(IsCameraName(mixed, TX40));
        EXPECT_FALSE(IsCombinedName(mixed, TX40));
    }
    // The movie-file test wants a real ".MP4" extension in any case.
    EXPECT_TRUE(IsRecordingMovieFile("/card/20230525_001/012_153012A_M.MP4", TX40));
    EXPECT_TRUE(IsRecordingMovieFile("/card/012_153012A_M.mp4", TX40));
    EXPECT_FALSE(IsRecordingMovieFile("/card/012_153012ANN_FxMP4", TX50));
}

TEST(NamesTx40, TriggerTextNeedsALongName) {
    // An 11-character name has a trigger letter but no list text.
    const char* n = "01A_M.MP4xx";
    ASSERT_EQ(std::string(n).size(), 11u);
    EXPECT_NE(TriggerCode(n, TriggerPosition::Trigger, TX40), -1);
    EXPECT_EQ(TriggerText(n, TX40), "");
}

TEST(NamesTx40, OtherFamilysNamesFail) {
    EXPECT_FALSE(IsFrontName("012_153012ANN_F.MP4", TX40));
    EXPECT_FALSE(IsRearName("012_153012ANN_R.MP4", TX40));
    for (const char* n : {"012_153012A_M.MP4", "012_153012A_R.MP4"}) {
        EXPECT_FALSE(IsFrontName(n, TX50));
        EXPECT_FALSE(IsRearName(n, TX50));
        EXPECT_FALSE(IsCombinedName(n, TX50));
    }
}

TEST(NamesTx50, PositionsAndBits) {
    const char* n = "012_153012GTO_F.MP4";
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Trigger, TX50), 1);
    EXPECT_EQ(TriggerCode(n, TriggerPosition::TimeLapse, TX50), 7);
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Enforcement, TX50), 5);
    EXPECT_EQ(TriggerFilterBits(n, TX50), 0x04 | 0x20);
    EXPECT_TRUE(IsEventRecording(n, TX50));
    EXPECT_EQ(TriggerText(n, TX50), "衝撃");
    EXPECT_TRUE(IsFrontName(n, TX50));
    EXPECT_TRUE(IsFrontNameAnyExt(n));

    // A radar warning on a continuous recording: no trigger text beyond "常時", radar bit.
    const char* radar = "012_153012ANR_R.MP4";
    EXPECT_FALSE(IsRearName(radar, TX50)); // "R" is not an enforcement flag of the grammar
    EXPECT_EQ(TriggerFilterBits(radar, TX50), 0x01 | 0x40);
    EXPECT_TRUE(IsEventRecording(radar, TX50));

    const char* parking = "012_153012PNN_R.MP4";
    EXPECT_TRUE(IsParkingRecording(parking, TX50));
    EXPECT_FALSE(IsEventRecording(parking, TX50));
    EXPECT_TRUE(IsRearName(parking, TX50));
    EXPECT_EQ(RecordingBaseName(parking, TX50), "012_153012PNN");
}

TEST(NamesTx50, UnfinishedFilesAndAnyExtension) {
    EXPECT_TRUE(IsFrontNameAnyExt("012_153012ANN_F.DAT"));
    EXPECT_TRUE(IsRearNameAnyExt("012_153012ANN_R.dat"));
    EXPECT_FALSE(IsFrontNameAnyExt("012_153012ANN_R.DAT"));
    EXPECT_FALSE(IsFrontName("012_153012ANN_F.DAT", TX50));
    EXPECT_FALSE(IsFrontNameAnyExt("JB02_012_153012ANN_F.MP4")); // no join prefix here
    EXPECT_FALSE(IsFrontNameAnyExt("012_153012A_M.MP4"));
}

TEST(NamesTx50, JoinPrefixAndBaseName) {
    const char* n = "JM02_012_153012ANN_F.MP4";
    EXPECT_TRUE(HasJoinPrefix(n, TX50));
    EXPECT_TRUE(IsFrontName(n, TX50));
    EXPECT_EQ(JoinCount(n), 2);
    EXPECT_EQ(StripJoinPrefix(n), "012_153012ANN_F.MP4");
    EXPECT_EQ(RecordingBaseName(n, TX50), "JM02_012_153012ANN");
}

TEST(NamesTx50, CombinedNamesHaveNoTriggerAtTheirPositions) {
    // The positions are read from the end of the name; in a combined name they
    // hold "_", the trigger and the time-lapse flag, so nothing is recognised.
    const char* n = "012_153012_ANN_.MP4";
    EXPECT_EQ(TriggerCode(n, TriggerPosition::Trigger, TX50), -1);
    EXPECT_FALSE(IsCombinedName(n, TX50));
    EXPECT_FALSE(IsRecordingName(n, TX50));
}

TEST(Names, OddInputIsHandled) {
    for (const char* n : {"", "J", "JB", "_", "012", "012_", ".MP4", "A.MP4", "\xff\xfe.MP4"}) {
        for (RecorderFamily f : {TX40, TX50}) {
            SCOPED_TRACE(n);
            EXPECT_FALSE(IsCameraName(n, f));
            EXPECT_FALSE(IsCombinedName(n, f));
            (void)TriggerText(n, f);
            (void)RecordingBaseName(n, f);
            (void)StripJoinPrefix(n);
            (void)JoinCount(n);
            (void)DisplayName(n);
        }
    }
    EXPECT_EQ(DisplayName("readme"), "readme");
    EXPECT_EQ(DisplayName("a.b.c"), "a");
    EXPECT_EQ(StripJoinPrefix("012_153012A"), "012_153012A"); // eleven characters: index 10 is 'A'
}

TEST(Names, CurrentFamilyIsReadOnEveryCall) {
    SetCurrentFamily(TX50);
    EXPECT_TRUE(IsFrontName("012_153012ANN_F.MP4"));
    EXPECT_FALSE(IsFrontName("012_153012A_M.MP4"));
    SetCurrentFamily(TX40);
    EXPECT_FALSE(IsFrontName("012_153012ANN_F.MP4"));
    EXPECT_TRUE(IsFrontName("012_153012A_M.MP4"));
}

// The grammar was once a set of ECMAScript expressions; the table matcher that
// replaced them must answer exactly as they did. Every valid form of both
// families, and each of them with one character replaced, dropped or added
// at every position, is put to both.
namespace {

struct Reference {
    RecorderFamily family;
    std::regex combined, front, rear, either, join, clip, anyFront, anyRear, suffix, ext;

    explicit Reference(RecorderFamily f) : family(f) {
        const bool tx50 = f == TX50;
        const std::string head = "[0-9]{3,3}_[0-9]{6,6}", flags = tx50 ? "[NT]{1,1}[NO]{1,1}" : "";
        const std::string prefix = "(?:J[MRBN]{1,1}[0-9]{2,2}_)?", exts = "(?:.MP4|.mp4)";
        const auto camera = [&](const std::string& letters) {
            return std::regex(prefix + head + "[APGSM_]{1,1}" + flags + "_[" + letters + "]{1,1}" +
                              exts);
        };
        combined = std::regex(prefix + head + "_[APGSM_]{1,1}" + flags + (tx50 ? "_" : "") + exts);
        front = camera(tx50 ? "F" : "M");
        rear = camera("R");
        either = camera(tx50 ? "FR" : "MR");
        join = std::regex("J[MRB]{1,1}[0-9]{2,2}_[0-9]{3,3}_");
        clip = std::regex("EV_([0-9]{8}|N[0-9]{3})_[0-9]{6}_[a-z]+(_[0-9]+)?(_F|_R)?\\.(MP4|mp4)");
        const std::string any = "[0-9]{3,3}_[0-9]{6,6}[APGSM_]{1,1}[NT]{1,1}[NO]{1,1}_[";
        anyFront = std::regex(any + "F]{1,1}(?:.MP4|.mp4|.DAT|.dat)");
        anyRear = std::regex(any + "R]{1,1}(?:.MP4|.mp4|.DAT|.dat)");
        suffix =
            std::regex(std::string("[A-Z]{1,1}_[") + (tx50 ? "FR" : "MR") + "]{1,1}(?:.MP4|.mp4)");
        ext = std::regex("(?:.MP4|.mp4)");
    }
    static bool Match(const std::string& n, const std::regex& re) {
        return std::regex_match(n, re);
    }
    static bool Search(const std::string& n, const std::regex& re) {
        return std::regex_search(n, re);
    }

    bool Join(const std::string& n) const { return Search(n, join) && HasKnownTrigger(n, family); }
    bool Prefix(const std::string& n) const {
        const size_t k = Join(n) ? 8 : 3;
        return !(n.size() > k && n[k] != '_');
    }
    ClipNameKind Clip(const std::string& n) const {
        std::smatch m;
        if (!std::regex_match(n, m, clip)) return ClipNameKind::None;
        if (!m[3].matched) return ClipNameKind::Combined;
        return m[3].str() == "_F" ? ClipNameKind::Front : ClipNameKind::Rear;
    }
    bool Camera(const std::string& n, const std::regex& re) const {
        return Prefix(n) && (Match(n, re) || (family == TX40 && Match(n, combined))) &&
               HasKnownTrigger(n, family);
    }
    bool Combined(const std::string& n) const {
        return Clip(n) == ClipNameKind::Combined ||
               (Prefix(n) && Match(n, combined) && HasKnownTrigger(n, family));
    }
    std::string BaseName(const std::string& n) const {
        if (Search(n, suffix) && n.size() >= 6) return n.substr(0, n.size() - 6);
        if (Search(n, ext) && n.size() >= 4) return n.substr(0, n.size() - 4);
        return n;
    }
};

} // namespace

TEST(Names, TableMatcherAnswersAsTheExpressionsDid) {
    const std::vector<std::string> valid = {"012_153012A_M.MP4",
                                            "012_153012G_R.mp4",
                                            "JM02_012_153012A_M.MP4",
                                            "012_153012_A.MP4",
                                            "JB03_012_153012_S.MP4",
                                            "012_153012ANN_F.MP4",
                                            "012_153012GTO_R.MP4",
                                            "JR02_012_153012PNN_R.mp4",
                                            "012_153012_SNO_.MP4",
                                            "JN09_012_153012_ATN_.MP4",
                                            "012_153012ANN_F.DAT",
                                            "012_153012_MNN_R.dat",
                                            "EV_20240301_120055_shock_F.MP4",
                                            "EV_N012_120055_user_2_R.mp4",
                                            "EV_20240301_120055_parking.MP4",
                                            "999_235959M_M.MP4"};
    const std::string replacements = std::string("0_AFMRNJTO.xz") + '\n' + '\xe3';
    std::vector<std::string> names = valid;
    for (const std::string& v : valid) {
        for (size_t i = 0; i <= v.size(); ++i) {
            if (i < v.size()) names.push_back(v.substr(0, i) + v.substr(i + 1));
            for (char c : replacements) {
                names.push_back(v.substr(0, i) + c + v.substr(i)); // added
                if (i < v.size()) {
                    std::string r = v;
                    r[i] = c;
                    names.push_back(r);
                }
            }
        }
    }
    for (RecorderFamily f : {TX40, TX50}) {
        const Reference ref(f);
        int accepted = 0;
        for (const std::string& n : names) {
            SCOPED_TRACE(n);
            ASSERT_EQ(HasJoinPrefix(n, f), ref.Join(n));
            ASSERT_EQ(IsFrontName(n, f), ref.Camera(n, ref.front));
            ASSERT_EQ(IsRearName(n, f), ref.Camera(n, ref.rear));
            ASSERT_EQ(IsCameraName(n, f), ref.Camera(n, ref.either));
            ASSERT_EQ(IsCombinedName(n, f), ref.Combined(n));
            ASSERT_EQ(ClassifyClipName(n), ref.Clip(n));
            ASSERT_EQ(RecordingBaseName(n, f), ref.BaseName(n));
            ASSERT_EQ(IsFrontNameAnyExt(n),
                      Reference::Match(n, ref.anyFront) && HasKnownTrigger(n, TX50));
            ASSERT_EQ(IsRearNameAnyExt(n),
                      Reference::Match(n, ref.anyRear) && HasKnownTrigger(n, TX50));
            accepted += IsCameraName(n, f) || IsCombinedName(n, f);
        }
        EXPECT_GT(accepted, 100); // the table reaches the accepting forms, not only refusals
    }
}
