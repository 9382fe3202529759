// kinetta-cli info, telemetry, join and split on small built recordings, and
// the reasons info, telemetry and scan give when they fail.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    EXPECT_TRUE(Has(bad.out, R"({"ok":false,"error":")")) << bad.out;
    EXPECT_TRUE(Has(bad.out, R"(","complete":false})")) << bad.out;
    EXPECT_EQ(Cli("telemetry --family tx40 " + dir.File("none.mp4") + " 2>/dev/null").status, 1);
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

// join and split never replace an output name that is taken, neither a file
// nor a link (which is not written through either), unless --overwrite is
// given; then the entry itself is replaced by the complete output, and what a
// link named stays as it was. A split whose rear name is taken writes no
// front file either.
TEST(KinettaCli, JoinAndSplitKeepAnExistingOutputUnlessOverwrite) {
    struct Case {
        const char* what;
        bool join;
        const char* taken; // the output whose name is taken: "out", "front" or "rear"
        const char* entry; // "file", "link" (to a victim file) or "dangling" (a link)
    };
    const Case cases[] = {
        {"join over a file", true, "out", "file"},
        {"join over a link", true, "out", "link"},
        {"join over a dangling link", true, "out", "dangling"},
        {"split over a front link", false, "front", "link"},
        {"split over a rear file", false, "rear", "file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string a = dir.Write("a.mp4", Movie(ThreeTracks(5)));
        const std::string b = dir.Write("b.mp4", Movie(ThreeTracks(7)));
        const std::string victim = dir.Write("victim.txt", Text("keep me"));
        const std::string target = dir.File(c.taken + std::string(".mp4"));
        const std::string entry = std::string(c.entry);
        int made = 0;
        if (entry == "file") dir.Write(c.taken + std::string(".mp4"), Text("old output"));
        if (entry == "link") made = ::symlink(victim.c_str(), target.c_str());
        if (entry == "dangling") made = ::symlink(dir.File("nowhere.mp4").c_str(), target.c_str());
        ASSERT_EQ(made, 0);
        const std::string args = c.join ? "join --family tx40 " + target + " " + a + " " + b
                                        : "split --family tx40 " + a + " " + dir.File("front.mp4") +
                                              " " + dir.File("rear.mp4");

        const CliRun kept = Cli(args + " 2>&1");
        EXPECT_EQ(kept.status, 1) << kept.out;
        EXPECT_TRUE(Has(kept.out, target + ": exists (--overwrite replaces it)")) << kept.out;
        struct stat st {};
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), entry != "file");
        if (entry == "file") {
            EXPECT_EQ(ReadAll(target), Text("old output"));
        }
        EXPECT_EQ(ReadAll(victim), Text("keep me"));
        EXPECT_EQ(::access(dir.File("nowhere.mp4").c_str(), F_OK), -1);
        if (!c.join) {
            const std::string other = std::string(c.taken) == "rear" ? "front.mp4" : "rear.mp4";
            EXPECT_EQ(::access(dir.File(other).c_str(), F_OK), -1)
                << "a split writes both outputs or neither";
        }

        const CliRun replaced = Cli(args + " --overwrite");
        EXPECT_EQ(replaced.status, 0) << replaced.out;
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_TRUE(Has(Cli("info --family tx40 " + target).out, R"("ok":true)"));
        EXPECT_EQ(ReadAll(victim), Text("keep me"));
        EXPECT_EQ(::access(dir.File("nowhere.mp4").c_str(), F_OK), -1);
    }
}

// A failed info, telemetry or scan prints {"ok":false,"error":REASON} and the
// same reason on stderr, for every kind of bad input. A FIFO is refused without
// being opened (opening one for reading would wait for a writer).
TEST(KinettaCli, FailuresSayWhy) {
    TempDir dir;
    const std::string junk = dir.Write("junk.mp4", Text("not a movie"));
    const std::string missing = dir.File("none.mp4");
    const std::string fifo = dir.File("fifo.mp4");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.path();
    const std::string err = dir.File("stderr.txt");

    struct Case {
        std::string args;
        std::string reason; // part of the reason, in the JSON and on stderr
    };
    const Case cases[] = {
        {"info --family tx40 " + junk, junk + ": not an MP4 movie"},
        {"info --family tx40 " + missing, missing + ": No such file or directory"},
        {"info --family tx50 " + fifo, fifo + ": not a regular file"},
        {"info --family tx40 " + folder, folder + ": not a regular file"},
        {"telemetry --family tx40 " + junk, junk + ": not an MP4 movie"},
        {"telemetry --family tx50 " + missing, missing + ": No such file or directory"},
        {"telemetry --family tx40 " + fifo, fifo + ": not a regular file"},
        {"scan --family tx40 --kind file " + junk, junk + ": not a complete recording"},
        {"scan --family tx40 --kind file " + fifo, fifo + ": not a regular file"},
        {"scan --family tx50 --kind sd " + missing, missing + ": No such file or directory"},
        {"scan --family tx50 --kind folder " + junk, junk + ": not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = Cli(c.args + " 2>" + err);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind(R"({"ok":false,"error":")", 0), 0u) << r.out;
        EXPECT_TRUE(Has(r.out, c.reason)) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        const std::string command = c.args.substr(0, c.args.find(' '));
        const Bytes e = ReadAll(err);
        const std::string stderrText(e.begin(), e.end());
        EXPECT_EQ(stderrText.rfind("kinetta-cli " + command + ": ", 0), 0u) << stderrText;
        EXPECT_TRUE(Has(stderrText, c.reason)) << stderrText;
    }
    // A time base that cannot be built is a failure with its reason too.
    const std::string path = dir.Write(
        "rec.mp4",
        Cat({Movie(ThreeTracks(10)), Gps0Box(Block(Header40{}.Build(1), {Rec40{}.Build()}))}));
    const CliRun big = Cli("telemetry --family tx40 " + path + " --frames 99999999999 2>/dev/null");
    EXPECT_EQ(big.status, 1);
    EXPECT_TRUE(Has(big.out, R"({"ok":false,"error":"no time base for 99999999999 frames)"))
        << big.out;
}
