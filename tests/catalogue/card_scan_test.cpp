// The catalogue of mkcard's sample cards of both families, read through the
// container toolkit, against what the card's manifest says the viewer finds.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "support/temp_dir.h"
#include "util/json_reader.h"

using namespace kinetta;

namespace {

struct Card {
    std::string root;
    kutil::JsonValue manifest;
};

Card LoadCard(const char* family) {
    Card c;
    c.root = std::string(MKCARD_TEST_CARDS) + "/" + family;
    EXPECT_TRUE(kutil::ParseJson(ktest::ReadFile(c.root + "/mkcard-manifest.json"), &c.manifest))
        << c.root;
    return c;
}

std::string Relative(const std::string& root, const std::string& path) {
    if (path.empty()) return {};
    return path.compare(0, root.size() + 1, root + "/") == 0 ? path.substr(root.size() + 1) : path;
}

void CheckCard(const char* familyName, RecorderFamily family) {
    Card card = LoadCard(familyName);
    ASSERT_TRUE(card.manifest.IsObject());
    Catalogue catalogue(family, ContainerProbe(family));
    ASSERT_TRUE(catalogue.OpenSource(card.root, kSourceCard));

    // The recording list in order, with both cameras of each recording.
    const auto& expected = card.manifest["catalogue"].Items();
    ASSERT_EQ(catalogue.Entries().size(), expected.size());
    std::map<std::string, const kutil::JsonValue*> files;
    for (const auto& f : card.manifest["files"].Items())
        files[f["path"].AsString()] = &f;
    for (size_t i = 0; i < expected.size(); ++i) {
        const RecordingEntry& e = catalogue.Entries()[i];
        SCOPED_TRACE(e.DisplayedName());
        EXPECT_EQ(e.DisplayedName(), expected[i]["display_name"].AsString());
        EXPECT_EQ(Relative(card.root, e.frontPath), expected[i]["front"].AsString());
        EXPECT_EQ(Relative(card.root, e.rearPath), expected[i]["rear"].AsString());
        // Sizes and frame counts of ordinary files are the files' own.
        if (!expected[i]["combined"].AsBool()) {
            for (auto [path, size, frames] : {std::tuple{e.frontPath, e.frontSize, e.frontFrames},
                                              std::tuple{e.rearPath, e.rearSize, e.rearFrames}}) {
                if (path.empty()) continue;
                const kutil::JsonValue* f = files[Relative(card.root, path)];
                ASSERT_NE(f, nullptr);
                EXPECT_EQ(size, (*f)["bytes"].AsInt());
                EXPECT_EQ(frames, (*f)["frames"].AsInt());
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
    for (const auto& f : card.manifest["date_folders"].Items())
        expectedFolders.push_back(f["path"].AsString());
    std::sort(folders.begin(), folders.end());
    std::sort(expectedFolders.begin(), expectedFolders.end());
    EXPECT_EQ(folders, expectedFolders);
    for (const TreeItem& t : catalogue.Tree())
        EXPECT_EQ(t.name.find("DCIM"), std::string::npos);

    EXPECT_EQ(catalogue.FirmwareVersion(), card.manifest["firmware"].AsString());
    EXPECT_EQ(catalogue.GpsDataVersion(),
              card.manifest["card_settings"]["gps_data_version"].AsString());
    EXPECT_EQ(catalogue.ModelKey() + ".url", card.manifest["model_marker"].AsString());
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
    kutil::JsonValue v;
    ASSERT_TRUE(kutil::ParseJson(out, &v)) << out;
    EXPECT_TRUE(v["ok"].AsBool());
    EXPECT_EQ(v["modelKey"].AsString(), "TX50_download");
    EXPECT_EQ(v["entries"].Items().size(), card.manifest["catalogue"].Items().size());
    const auto& first = v["entries"].Items().at(0);
    for (const char* key : {"frontPath", "frontName", "rearPath", "rearName", "listNumber",
                            "runningNumber", "knownTrigger", "parking", "timeLapse", "frontSize",
                            "rearSize", "frontFrames", "rearFrames", "displayName"})
        EXPECT_FALSE(first[key].IsNull()) << key;
    EXPECT_FALSE(v["tree"].Items().empty());
}
