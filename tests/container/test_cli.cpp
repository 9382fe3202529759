// kinetta-cli info, telemetry, join and split on small built recordings.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "container/mp4_builder.h"

using namespace testmp4;

namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun Cli(const std::string& args) {
    const std::string cmd =
        std::string(KINETTA_TEST_BINARY_DIR) + "/tools/kinetta-cli/kinetta-cli " + args;
    CliRun r{-1, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

} // namespace

TEST(KinettaCli, InfoAndTelemetry) {
    TempDir dir;
    Rec40 a, b;
    b.byte72 = 'D';
    b.add = "003";
    const std::string path = dir.Write(
        "rec.mp4",
        Cat({Movie(ThreeTracks(70)), Gps0Box(Block(Header40{}.Build(2), {a.Build(), b.Build()}))}));

    CliRun info = Cli("info --family tx40 " + path);
    EXPECT_EQ(info.status, 0);
    EXPECT_TRUE(Has(info.out, R"("ok":true)")) << info.out;
    EXPECT_TRUE(Has(info.out, R"({"type":"ftyp","depth":1,"offset":8,"size":16,"leaf":true})"))
        << info.out;
    EXPECT_TRUE(Has(info.out,
                    R"({"sampleCount":70,"sttsEntries":1,"sttsTotal":2333310,"stssEntries":1,)"
                    R"("stcoEntries":70,"stscEntries":1,"width":1920})"))
        << info.out;
    EXPECT_TRUE(Has(info.out, R"("probe":{"result":1,"cameras":[{"frameDurationMs":33,)"))
        << info.out;
    EXPECT_TRUE(Has(info.out, R"("complete":true})")) << info.out;

    CliRun tel = Cli("telemetry --family tx40 " + path + " --frames 4");
    EXPECT_EQ(tel.status, 0);
    EXPECT_TRUE(Has(tel.out, R"("letter":"N","id":"ID0001")")) << tel.out;
    EXPECT_TRUE(Has(tel.out, R"("time":"2025-01-01 00:00:03")")) << tel.out;
    EXPECT_TRUE(Has(tel.out, R"("kind":5)")) << tel.out;
    EXPECT_TRUE(Has(tel.out, R"("frameTable":[0,0,1,1],"gpsLink":[0,0])")) << tel.out;
    EXPECT_TRUE(Has(tel.out, R"("startTime":"2025-01-01 00:00:00")")) << tel.out;

    CliRun bad = Cli("info --family tx40 " + dir.Write("junk.mp4", Text("not a movie")));
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Has(bad.out, R"({"ok":false,"complete":false})")) << bad.out;
    EXPECT_EQ(Cli("telemetry --family tx40 " + dir.File("none.mp4")).status, 1);
    EXPECT_EQ(Cli("telemetry " + path + " 2>/dev/null").status, 2);
}

TEST(KinettaCli, JoinAndSplit) {
    TempDir dir;
    const std::string a = dir.Write("a.mp4", Movie(ThreeTracks(5)));
    const std::string b = dir.Write("b.mp4", Movie(ThreeTracks(7)));
    const std::string out = dir.File("joined.mp4");
    CliRun join = Cli("join --family tx40 " + out + " " + a + " " + b);
    EXPECT_EQ(join.status, 0);
    EXPECT_TRUE(Has(join.out, R"({"ok":true,"inputs":2,"out":")")) << join.out;
    CliRun info = Cli("info --family tx40 " + out);
    EXPECT_TRUE(Has(info.out, R"({"sampleCount":12,)")) << info.out;

    EXPECT_EQ(Cli("join --family tx40 " + dir.File("x.mp4") + " " + a + " " + dir.File("none.mp4") +
                  " 2>/dev/null")
                  .status,
              1);
    EXPECT_EQ(Cli("join --family tx40 " + out + " 2>/dev/null").status, 2);

    const std::string front = dir.File("front.mp4"), rear = dir.File("rear.mp4");
    CliRun split = Cli("split --family tx40 " + a + " " + front + " " + rear);
    EXPECT_EQ(split.status, 0);
    EXPECT_TRUE(Has(split.out, R"({"ok":true,"tracks":3,"front":")")) << split.out;
    EXPECT_TRUE(Has(Cli("info --family tx40 " + rear).out, R"("width":1280})"));
    const std::string twoTracks = dir.Write("two.mp4", Movie({TrackLayout{}, TrackLayout{}}));
    CliRun two = Cli("split --family tx40 " + twoTracks + " " + dir.File("f2.mp4") + " " +
                     dir.File("r2.mp4"));
    EXPECT_EQ(two.status, 0);
    EXPECT_TRUE(Has(two.out, R"("tracks":2,)")) << two.out;
    EXPECT_TRUE(Has(two.out, R"("rear":null)")) << two.out;
    EXPECT_EQ(::access(dir.File("r2.mp4").c_str(), F_OK), -1);
    EXPECT_EQ(
        Cli("split --family tx40 " + dir.File("none.mp4") + " " + front + " 2>/dev/null").status,
        1);
}
