// The container toolkit on every recording of mkcard's sample cards: trees
// written back unedited are byte-identical, the moov-first rewrite still
// decodes, and the GPS block reads back as the card's manifest describes it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"
#include "support/temp_dir.h"
#include <nlohmann/json.hpp>

using namespace playcore;
using playcore::RecorderFamily;

namespace {

struct CardFile {
    std::string path;
    const nlohmann::json* entry;
};

nlohmann::json LoadManifest(const std::string& root) {
    nlohmann::json m =
        nlohmann::json::parse(ktest::ReadFile(root + "/mkcard-manifest.json"), nullptr, false);
    EXPECT_TRUE(m.is_object()) << root;
    return m;
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

void CheckFamily(const char* name, RecorderFamily family) {
    const std::string root = std::string(MKCARD_TEST_CARDS) + "/" + name;
    nlohmann::json manifest = LoadManifest(root);
    ktest::TempDir out;
    int checked = 0;
    for (const auto& f : manifest.at("files")) {
        const std::string rel = f.at("path").get<std::string>();
        const std::string path = root + "/" + rel;
        if (f.at("unfinished").get<bool>() || rel.find(".MP4") == std::string::npos) continue;
        SCOPED_TRACE(rel);
        ++checked;

        auto movie = OpenMp4Movie(path, false, family);
        ASSERT_NE(movie, nullptr);
        std::string copy = out / ("copy-" + std::to_string(checked) + ".MP4");
        ASSERT_TRUE(WriteTreeToPath(movie->root, copy, false));
        // The TX50 block lies after the last box and is not part of the tree.
        // A TX40 block without its end marker (a recording the recorder never
        // finished) is written back with one: the block writer always writes
        // header, records and "CSOEND".
        std::string original = ktest::ReadFile(path);
        std::string written = ktest::ReadFile(copy);
        const nlohmann::json& gps = f.at("gps");
        if (family == RecorderFamily::TX40 && gps.at("present").get<bool>() &&
            !gps.value("end_marker", true)) {
            EXPECT_EQ(written.size(), original.size() + 6);
            EXPECT_EQ(written.substr(written.size() - 6), "CSOEND");
        } else if (family == RecorderFamily::TX40 || !movie->tx50Gps.present) {
            EXPECT_EQ(written, original);
        } else {
            ASSERT_LE(written.size(), original.size());
            EXPECT_EQ(written, original.substr(0, written.size()));
            EXPECT_EQ(written.size(), movie->tx50Gps.fileOffset);
        }

        // The movie header first: players that stream need it, and ffmpeg must
        // still decode every frame.
        auto again = OpenMp4Movie(path, false, family);
        ASSERT_NE(again, nullptr);
        std::string front = out / ("moovfirst-" + std::to_string(checked) + ".mp4");
        ASSERT_TRUE(WriteTreeToPath(again->root, front, true));
        EXPECT_EQ(ktest::ReadFile(front).substr(4, 4), "ftyp");
        EXPECT_EQ(ktest::ReadFile(front).substr(28, 4), "moov");
        EXPECT_EQ(
            Run("ffmpeg -v error -nostdin -i '" + front + "' -f null - 2>'" + front + ".err'"), 0);
        EXPECT_EQ(ktest::ReadFile(front + ".err"), "");

        // The GPS block as written (the manifest describes it for listed files).
        if (!gps.at("present").get<bool>() || gps.value("first_time", "").empty()) continue;
        sGPSREADER reader;
        ASSERT_TRUE(LoadRecords(reader, path, family));
        EXPECT_EQ(static_cast<int64_t>(reader.gps.size()), gps.at("records").get<int64_t>());
        ASSERT_FALSE(reader.gps.empty());
        EXPECT_NEAR(reader.gps[0].latitude, gps.at("first_latitude").get<double>(), 1e-5);
        EXPECT_NEAR(reader.gps[0].longitude, gps.at("first_longitude").get<double>(), 1e-5);
        char when[64];
        const RecordTime& t = reader.gps[0].time;
        std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        EXPECT_EQ(std::string(when), gps.at("first_time").get<std::string>());
        std::string id(reinterpret_cast<const char*>(reader.info.id), 6);
        EXPECT_EQ(id, gps.at("identification").get<std::string>());
        // Events land on the record the manifest names, with the viewer's kind.
        for (const auto& ev : gps.at("events")) {
            int64_t record = ev.at("record").get<int64_t>();
            int64_t kind = ev.at("viewer_kind").get<int64_t>();
            ASSERT_LT(record, static_cast<int64_t>(reader.accel.size()));
            if (kind == 5 || kind == 6 || kind == 7 || kind >= 11) {
                EXPECT_EQ(reader.accel[static_cast<size_t>(record)].kind, kind)
                    << ev.at("kind").get<std::string>();
            }
        }
        // A time base over the movie's frames links every frame to a record.
        int64_t frames = FirstSampleCount(path, family);
        ASSERT_GT(frames, 0);
        ASSERT_TRUE(BuildTimeBase(reader, frames));
        ASSERT_EQ(static_cast<int64_t>(reader.frameTable.size()), frames);
        for (AccelRecord* r : reader.frameTable)
            EXPECT_NE(r, nullptr);
    }
    EXPECT_GT(checked, 5);
}

} // namespace

TEST(MkcardFiles, Tx40Recordings) {
    CheckFamily("tx40", RecorderFamily::TX40);
}
TEST(MkcardFiles, Tx50Recordings) {
    CheckFamily("tx50", RecorderFamily::TX50);
}
