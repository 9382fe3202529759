// The catalogue of mkcard's sample cards of both families, read through the
// container toolkit, against what the card's manifest says the viewer finds.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "support/command_run.h"
#include "support/slow_card.h"
#include "support/temp_dir.h"
#include <nlohmann/json.hpp>

using namespace kinetta;

namespace {

struct Card {
    std::string root;
    nlohmann::json manifest;
};

Card LoadCard(const char* family) {
    Card c;
    c.root = std::string(MKCARD_TEST_CARDS) + "/" + family;
    c.manifest =
        nlohmann::json::parse(ktest::ReadFile(c.root + "/mkcard-manifest.json"), nullptr, false);
    EXPECT_TRUE(c.manifest.is_object()) << c.root;
    return c;
}

std::string Relative(const std::string& root, const std::string& path) {
    if (path.empty()) return {};
    return path.compare(0, root.size() + 1, root + "/") == 0 ? path.substr(root.size() + 1) : path;
}

void CheckCard(const char* familyName, RecorderFamily family) {
    Card card = LoadCard(familyName);
    ASSERT_TRUE(card.manifest.is_object());
    Catalogue catalogue(family, ContainerProbe(family));
    ASSERT_TRUE(catalogue.OpenSource(card.root, kSourceCard));

    // The recording list in order, with both cameras of each recording.
    const auto& expected = card.manifest.at("catalogue");
    ASSERT_EQ(catalogue.Entries().size(), expected.size());
    std::map<std::string, const nlohmann::json*> files;
    for (const auto& f : card.manifest.at("files"))
        files[f.at("path").get<std::string>()] = &f;
    for (size_t i = 0; i < expected.size(); ++i) {
        const RecordingEntry& e = catalogue.Entries()[i];
        SCOPED_TRACE(e.DisplayedName());
        EXPECT_EQ(e.DisplayedName(), expected[i].at("display_name").get<std::string>());
        EXPECT_EQ(Relative(card.root, e.frontPath), expected[i].at("front").get<std::string>());
        EXPECT_EQ(Relative(card.root, e.rearPath), expected[i].at("rear").get<std::string>());
        // Sizes and frame counts of ordinary files are the files' own.
        if (!expected[i].at("combined").get<bool>()) {
            for (auto [path, size, frames] : {std::tuple{e.frontPath, e.frontSize, e.frontFrames},
                                              std::tuple{e.rearPath, e.rearSize, e.rearFrames}}) {
                if (path.empty()) continue;
                const nlohmann::json* f = files[Relative(card.root, path)];
                ASSERT_NE(f, nullptr);
                EXPECT_EQ(size, f->at("bytes").get<int64_t>());
                EXPECT_EQ(frames, f->at("frames").get<int64_t>());
            }
        } else {
            EXPECT_GT(e.frontFrames, 0);
            EXPECT_GT(e.rearFrames, 0);
            EXPECT_GT(e.frontSize, 0);
        }
    }

    // Date folders with recordings become tree items; DCIM does not.
    std::vector<std::string> folders;
    for (const auto& f : catalogue.Folders())
        folders.push_back(Relative(card.root, f.path));
    std::vector<std::string> expectedFolders;
    for (const auto& f : card.manifest.at("date_folders"))
        expectedFolders.push_back(f.at("path").get<std::string>());
    std::sort(folders.begin(), folders.end());
    std::sort(expectedFolders.begin(), expectedFolders.end());
    EXPECT_EQ(folders, expectedFolders);
    for (const TreeItem& t : catalogue.Tree())
        EXPECT_EQ(t.name.find("DCIM"), std::string::npos);

    EXPECT_EQ(catalogue.FirmwareVersion(), card.manifest.at("firmware").get<std::string>());
    EXPECT_EQ(catalogue.GpsDataVersion(),
              card.manifest.at("card_settings").at("gps_data_version").get<std::string>());
    EXPECT_EQ(catalogue.ModelKey() + ".url", card.manifest.at("model_marker").get<std::string>());
}

} // namespace

TEST(CardScan, Tx40Card) {
    CheckCard("tx40", RecorderFamily::TX40);
}
TEST(CardScan, Tx50Card) {
    CheckCard("tx50", RecorderFamily::TX50);
}

TEST(CardScan, CommandLineAnswersAsJson) {
    Card card = LoadCard("tx50");
    std::string command = std::string(KINETTA_TEST_BINARY_DIR) +
                          "/tools/kinetta-cli/kinetta-cli scan --family tx50 --kind sd '" +
                          card.root + "'";
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    const nlohmann::json v = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(v.is_object()) << out;
    EXPECT_EQ(v.at("ok"), true);
    EXPECT_EQ(v.at("modelKey"), "TX50_download");
    EXPECT_EQ(v.at("entries").size(), card.manifest.at("catalogue").size());
    const auto& first = v.at("entries").at(0);
    for (const char* key : {"frontPath", "frontName", "rearPath", "rearName", "listNumber",
                            "runningNumber", "knownTrigger", "parking", "timeLapse", "frontSize",
                            "rearSize", "frontFrames", "rearFrames", "displayName"})
        EXPECT_TRUE(first.contains(key) && !first.at(key).is_null()) << key;
    EXPECT_FALSE(v.at("tree").empty());
}

namespace {

// The card as kinetta-cli scan answers, with the card's root written as ROOT.
nlohmann::json ScanAnswer(const std::string& root) {
    const ktest::CommandRun r =
        ktest::RunCommand(ktest::BuiltTool("tools/kinetta-cli/kinetta-cli") +
                          " scan --family tx50 --kind sd '" + root + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string out = r.out;
    for (size_t at = 0; (at = out.find(root, at)) != std::string::npos;)
        out.replace(at, root.size(), "ROOT");
    return nlohmann::json::parse(out, nullptr, false);
}

} // namespace

// A slow card counts the opens of every file: a scan opens each file once
// (completeness, sizes, frame counts, streams, the GPS block all from one
// open) and answers as it does on the card read directly; a second scan of
// the unchanged card in the same process opens none of them again.
TEST(CardScan, SlowCardScanOpensEachFileOnceAndAScanAgainNone) {
    const std::string layer = ktest::BuiltTool("tests/support/slowcard/slowcard");
    if (const std::string why = ktest::SlowCard::Unavailable(layer); !why.empty())
        GTEST_SKIP() << why;
    Card card = LoadCard("tx50");
    ktest::TempDir dir;
    const std::string mount = dir.Mkdir("card");
    ktest::SlowCard slow;
    ASSERT_TRUE(slow.Start(layer, card.root, mount, 0, true));

    const nlohmann::json direct = ScanAnswer(card.root);
    ASSERT_TRUE(direct.is_object());
    EXPECT_EQ(ScanAnswer(mount), direct);
    std::map<std::string, ktest::SlowCard::Count> counts = slow.Counts();
    size_t recordings = 0;
    for (const auto& e : direct.at("entries"))
        for (const char* key : {"frontPath", "rearPath"}) {
            std::string path = e.at(key).get<std::string>();
            if (path.empty()) continue;
            path.replace(0, 4, ""); // "ROOT/a/b" gives "/a/b"
            EXPECT_EQ(counts[path].opens, 1u) << path;
            ++recordings;
        }
    EXPECT_GT(recordings, 4u);
    for (const auto& [path, count] : counts)
        EXPECT_LE(count.opens, 1u) << path;

    Catalogue first(RecorderFamily::TX50, ContainerProbe(RecorderFamily::TX50));
    ASSERT_TRUE(first.OpenSource(mount, kSourceCard));
    slow.ResetCounts();
    Catalogue again(RecorderFamily::TX50, ContainerProbe(RecorderFamily::TX50));
    ASSERT_TRUE(again.OpenSource(mount, kSourceCard));
    ASSERT_EQ(again.Entries().size(), first.Entries().size());
    counts = slow.Counts();
    for (const RecordingEntry& e : first.Entries())
        for (const std::string& path : {e.frontPath, e.rearPath})
            EXPECT_TRUE(path.empty() || counts[path.substr(mount.size())].opens == 0) << path;
}
