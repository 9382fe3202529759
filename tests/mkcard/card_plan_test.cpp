// The preset cards: names checked against the viewer's own grammar, and the
// kinds of files later tests rely on present in the test preset.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "kinetta/catalogue/recording_names.h"
#include "tools/mkcard/card.h"

namespace {

using playcore::RecorderFamily;
using namespace mkcard;

std::string Name(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

const PlannedFile* Find(const CardPlan& plan, const std::string& name) {
    for (const PlannedFile& f : plan.files)
        if (Name(f.path) == name) return &f;
    return nullptr;
}

TEST(CardPlan, NamesClassifyAsTheViewerWillReadThem) {
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50})
        for (Preset preset : {Preset::Test, Preset::Demo, Preset::Bench}) {
            const CardPlan plan = MakeCardPlan(family, preset);
            std::set<std::string> listed;
            for (const PlannedFile& f : plan.files) {
                const std::string name = Name(f.path);
                // The tests read the frame-number strip; the demo's pictures go without it.
                EXPECT_EQ(f.recipe.frameCode, preset != Preset::Demo) << f.path;
                const bool complete = f.recipe.gps && f.recipe.endMarker && !f.recipe.unfinished;
                const bool scanned = f.path.rfind("DCIM/", 0) != 0 && f.role != "deleted";
                EXPECT_EQ(f.listed,
                          scanned && complete && kinetta::IsRecordingMovieFile(f.path, family))
                    << f.path;
                if (f.listed) listed.insert(f.path);
                if (!f.listed) {
                    EXPECT_FALSE(f.reason.empty()) << f.path;
                } else if (f.role == "front") {
                    EXPECT_TRUE(kinetta::IsFrontName(name, family)) << name;
                } else if (f.role == "rear") {
                    EXPECT_TRUE(kinetta::IsRearName(name, family)) << name;
                }
            }
            // The expected list: displayed names in the order of the viewer's sort,
            // every file listed, every listed file in exactly one entry.
            std::set<std::string> inEntries;
            for (size_t i = 0; i < plan.catalogue.size(); ++i) {
                const ExpectedEntry& e = plan.catalogue[i];
                for (const std::string& p : {e.front, e.rear})
                    if (!p.empty()) {
                        EXPECT_TRUE(listed.count(p)) << p;
                        EXPECT_TRUE(inEntries.insert(p).second) << p;
                    }
                EXPECT_EQ(e.displayName, Name(e.front.empty() ? e.rear : e.front));
                if (i > 0) {
                    const std::string& prev = plan.catalogue[i - 1].displayName;
                    const bool prevNamed = kinetta::IsRecordingName(prev, family) ||
                                           kinetta::HasJoinPrefix(prev, family);
                    const bool named = kinetta::IsRecordingName(e.displayName, family) ||
                                       kinetta::HasJoinPrefix(e.displayName, family);
                    EXPECT_TRUE(prevNamed > named || (prevNamed == named && prev < e.displayName));
                }
            }
            EXPECT_EQ(inEntries, listed);
            EXPECT_EQ(plan.firmware, "1.2.3");
        }
}

TEST(CardPlan, TestPresetHoldsEveryKindOfFile) {
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        const bool tx50 = family == RecorderFamily::TX50;
        const CardPlan plan = MakeCardPlan(family, Preset::Test);
        std::set<uint32_t> frameDurations;
        std::set<EventKind> events;
        bool join = false, rearOnly = false, offsetPair = false, nested = false, combined = false;
        for (const PlannedFile& f : plan.files) {
            const RecordingSpec& s = f.recipe;
            if (!f.generated) continue;
            // Tiny and quick, long enough for the viewer's timing probe (> 2.0 s).
            EXPECT_GE(s.durationSeconds, 2.5);
            EXPECT_LE(s.durationSeconds, 4.0);
            EXPECT_GE(s.frontWidth, 160);
            EXPECT_LE(s.frontWidth, 320);
            EXPECT_GE(s.rearHeight, 90);
            EXPECT_LE(s.rearHeight, 180);
            frameDurations.insert(s.frameUs);
            for (const GpsEvent& e : s.events)
                events.insert(e.kind);
            join |= kinetta::HasJoinPrefix(Name(f.path), family);
            combined |= f.role == "combined";
            nested |= std::count(f.path.begin(), f.path.end(), '/') == 2;
        }
        for (const ExpectedEntry& e : plan.catalogue) {
            rearOnly |= e.front.empty();
            if (!e.front.empty() && !e.rear.empty())
                offsetPair |= Name(e.front).substr(4, 6) != Name(e.rear).substr(4, 6);
        }
        EXPECT_TRUE(join && rearOnly && offsetPair && nested && combined);
        EXPECT_EQ(frameDurations, (std::set<uint32_t>{34364, 36364, 66666}));
        EXPECT_EQ(events.size(), tx50 ? 12u : 5u);
        // Files the viewer must pass over, each for its own reason.
        std::set<std::string> reasons;
        for (const PlannedFile& f : plan.files)
            if (!f.listed) reasons.insert(f.reason);
        EXPECT_TRUE(reasons.count("no end marker: not a complete recording"));
        EXPECT_TRUE(reasons.count("unfinished recording (.DAT)"));
        EXPECT_TRUE(reasons.count("below a folder that is not a date folder"));
        EXPECT_TRUE(reasons.count("in the delete folder"));
        EXPECT_EQ(plan.deleteNormal, (std::vector<int>{0, 1, 2, 5, 6}));
        EXPECT_TRUE(plan.traceMarker);
        if (tx50) {
            // The combined and the radar names are outside the TX50 grammar.
            const PlannedFile* c = Find(plan, "009_102200_ANN_.MP4");
            ASSERT_NE(c, nullptr);
            EXPECT_FALSE(c->listed);
            EXPECT_FALSE(kinetta::IsCombinedName(Name(c->path), family));
            const PlannedFile* r = Find(plan, "008_102100ANR_F.MP4");
            ASSERT_NE(r, nullptr);
            EXPECT_FALSE(r->listed);
            EXPECT_EQ(
                kinetta::TriggerCode(Name(r->path), kinetta::TriggerPosition::Enforcement, family),
                6);
            EXPECT_TRUE(Find(plan, "007_102000ANO_F.MP4")->listed);
            EXPECT_TRUE(Find(plan, "006_101930PTN_F.MP4")->listed);
            EXPECT_TRUE(Find(plan, "012_102600ANN_R.DAT") != nullptr);
        } else {
            const PlannedFile* c = Find(plan, "004_101800_A.MP4");
            ASSERT_NE(c, nullptr);
            EXPECT_TRUE(c->listed);
            EXPECT_EQ(c->recipe.content, FileContent::Combined);
        }
    }
}

TEST(CardPlan, CardSettingsAndPresetsParse) {
    std::vector<uint8_t> dfc = CardSettingsBytes(RecorderFamily::TX40, "230401");
    ASSERT_GE(dfc.size(), 42u);
    EXPECT_EQ(std::string(dfc.begin() + 33, dfc.begin() + 39), "230401");
    dfc = CardSettingsBytes(RecorderFamily::TX50, "");
    EXPECT_EQ(std::string(dfc.begin() + 33, dfc.begin() + 39), "      ");
    Preset p;
    EXPECT_TRUE(ParsePreset("bench", &p));
    EXPECT_EQ(p, Preset::Bench);
    EXPECT_FALSE(ParsePreset("huge", &p));
    RecorderFamily f;
    EXPECT_TRUE(ParseFamily("tx50", &f));
    EXPECT_EQ(f, RecorderFamily::TX50);
    // Plans are a pure function of their arguments.
    EXPECT_EQ(ManifestJson(MakeCardPlan(RecorderFamily::TX50, Preset::Test), {}, {}),
              ManifestJson(MakeCardPlan(RecorderFamily::TX50, Preset::Test), {}, {}));
}

} // namespace
