// Recordings that are hostile or change while they are read: files cut short
// after they were opened, FIFOs where a recording or a card file is expected,
// chunk offsets outside the media data, outputs that must appear together or
// not at all, inputs replaced between opening and writing, and the temporary
// files a killed run leaves behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <thread>

#include "container/mp4_builder.h"
#include "kinetta/catalogue/card_settings.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/map_file.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"

using namespace playcore;
using namespace testmp4;

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A TX40 family recording with a GPS box of many records, so that the box
// tree, the sample tables and the block span several pages.
Bytes Tx40Recording(uint32_t samples = 300, int records = 300) {
    std::vector<Bytes> recs(size_t(records), Rec40{}.Build());
    return Cat(
        {Movie(ThreeTracks(samples)), Gps0Box(Block(Header40{}.Build(uint16_t(records)), recs))});
}

Bytes Tx50Recording(uint32_t samples = 300, int records = 300) {
    std::vector<Bytes> recs(size_t(records), Rec50{}.Build());
    return Cat({Movie(ThreeTracks(samples)), Block(Header50{}.Build(uint16_t(records)), recs)});
}

// Truncates path to length right after OpenMapFile has opened it, once.
class CutAfterOpen {
public:
    CutAfterOpen(const std::string& path, off_t length) {
        SetAfterOpenHookForTesting(
            [path, length, done = std::make_shared<bool>(false)](const sMAPFILE& f) {
                if (*done || f.path != path) return;
                *done = true;
                ASSERT_EQ(::truncate(path.c_str(), length), 0);
            });
    }
    ~CutAfterOpen() { SetAfterOpenHookForTesting(nullptr); }
};

// Runs f on a thread. When it has not returned within the deadline, every
// FIFO in fifos is opened for writing once, which releases an open that
// waits for a writer, so that a test that fails still ends. Returns whether
// f returned by itself.
bool ReturnsWithoutWaiting(const std::vector<std::string>& fifos, const std::function<void()>& f) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        f();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool byItself = done;
    while (!done) {
        for (const std::string& fifo : fifos) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    return byItself;
}

std::string MakeFifo(const std::string& path) {
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
}

} // namespace

// A file cut short between its open and the reads of its boxes, sample
// tables or GPS block (a card pulled, the file truncated while open) is a
// failed open or read, never a fault on a page that no longer exists.
TEST(ChangingFiles, FileCutShortAfterOpenFailsCleanly) {
    TempDir dir;
    const Bytes tx40 = Tx40Recording();
    const size_t moov = FindType(tx40, "moov") - 4;
    const size_t gps = FindType(tx40, "gps0") - 4;
    for (off_t cut : {off_t(0), off_t(16), off_t(moov + 100)}) {
        const std::string path = dir.Write("cut.mp4", tx40);
        CutAfterOpen hook(path, cut);
        EXPECT_FALSE(OpenMp4Movie(path, true, RecorderFamily::TX40)) << cut;
    }
    {
        // The boxes are read whole; the GPS records are cut off before they are read.
        const std::string path = dir.Write("cut.mp4", tx40);
        sGPSREADER reader;
        CutAfterOpen hook(path, off_t(gps + 200));
        EXPECT_FALSE(LoadRecords(reader, path, RecorderFamily::TX40));
        EXPECT_TRUE(reader.gps.empty());
    }
    {
        const Bytes tx50 = Tx50Recording();
        const std::string path = dir.Write("cut50.mp4", tx50);
        CutAfterOpen hook(path, off_t(tx50.size() - 300 * 91));
        EXPECT_FALSE(OpenMp4Movie(path, true, RecorderFamily::TX50));
    }
    // A movie whose media are cut short after the open writes no output.
    const std::string path = dir.Write("in.mp4", tx40);
    auto movie = OpenMp4Movie(path, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    ASSERT_EQ(::truncate(path.c_str(), 200), 0);
    std::string why;
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("f.mp4"), dir.File("r.mp4"), nullptr, &why));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"cut.mp4", "cut50.mp4", "in.mp4"}));
}

// A FIFO where a recording is expected is refused at once by every reader
// instead of waiting for a writer that never comes.
TEST(ChangingFiles, FifosAreRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = MakeFifo(dir.File("fifo.mp4"));
    const std::string good = dir.Write("good.mp4", Tx40Recording(20, 3));
    EXPECT_TRUE(ReturnsWithoutWaiting({fifo}, [&] {
        EXPECT_FALSE(OpenMp4Movie(fifo, true, RecorderFamily::TX40));
        EXPECT_FALSE(IsRecordingComplete(fifo, RecorderFamily::TX40));
        EXPECT_EQ(FirstSampleCount(fifo, RecorderFamily::TX40), -1);
        sGPSREADER reader;
        EXPECT_FALSE(LoadRecords(reader, fifo, RecorderFamily::TX40));
        GpsBlockInfo info;
        EXPECT_FALSE(ReadBlockInfo(fifo, &info, RecorderFamily::TX40));
        EXPECT_EQ(JoinFiles({good, fifo}, dir.File("joined.mp4"), RecorderFamily::TX40),
                  kJoinFailed);
        EXPECT_EQ(JoinFiles({fifo, good}, dir.File("joined.mp4"), RecorderFamily::TX40),
                  kJoinFailed);
        std::string text;
        EXPECT_FALSE(platform::ReadSmallRegularFile(fifo, 1000, &text));
        platform::ClearHidden(fifo); // the attribute update does not wait either
    }));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"fifo.mp4", "good.mp4"}));
}

// The card scan meets a FIFO as a rear partner and as the card's settings
// file: the front recording is listed, the FIFO is not read.
TEST(ChangingFiles, CardScanPassesFifos) {
    TempDir card;
    std::filesystem::create_directories(card.File("20230525_001"));
    card.Write("20230525_001/012_153012A_M.MP4", Tx40Recording(20, 3));
    const std::string rear = MakeFifo(card.File("20230525_001/012_153012A_R.MP4"));
    const std::string settings = MakeFifo(card.File("DRFormatConfig.dfc"));
    kinetta::Catalogue catalogue(RecorderFamily::TX40,
                                 kinetta::ContainerProbe(RecorderFamily::TX40));
    EXPECT_TRUE(ReturnsWithoutWaiting({rear, settings}, [&] {
        catalogue.OpenSource(card.path(), kinetta::kSourceCard);
        kinetta::CardSettings s;
        EXPECT_FALSE(kinetta::ReadCardSettings(card.path(), &s));
    }));
    ASSERT_EQ(catalogue.Entries().size(), 1u);
    EXPECT_EQ(catalogue.Entries()[0].frontFrames, 20);
    EXPECT_EQ(catalogue.Entries()[0].rearSize, 0);
}

// Every byte a split copies lies inside the source's media data: a chunk
// offset into the moov (which once passed a bounds test that wrapped round)
// fails the split, and the join checks the chunks of every input, the first
// included.
TEST(ChangingFiles, ChunksOutsideTheMediaDataAreRefused) {
    TempDir dir;
    Bytes intoMoov = Combined({4, 4, 4});
    const uint32_t moovAt = uint32_t(FindType(intoMoov, "moov") + 4);
    StoreStco(intoMoov, 2, 1, moovAt);
    const std::string in = dir.Write("in.mp4", intoMoov);
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    std::string why;
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("f.mp4"), dir.File("r.mp4"), nullptr, &why));
    EXPECT_NE(why.find("outside the media data"), std::string::npos) << why;

    const std::string good = dir.Write("good.mp4", Combined({4, 4, 4}));
    for (const auto& inputs : {std::vector<std::string>{in, good}, {good, in}}) {
        why.clear();
        EXPECT_EQ(JoinFiles(inputs, dir.File("joined.mp4"), RecorderFamily::TX40, nullptr, &why),
                  kJoinFailed);
        EXPECT_NE(why.find("outside the media data"), std::string::npos) << why;
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"good.mp4", "in.mp4"}));
}

// The two outputs of a split appear together or not at all.
TEST(ChangingFiles, SplitWritesBothOutputsOrNeither) {
    TempDir dir;
    const std::string in = dir.Write("in.mp4", Combined({3, 40, 3}));
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    std::string why;
    // A rear folder that does not exist.
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("f.mp4"), dir.File("none/r.mp4"), nullptr, &why));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.mp4"}));

    // The same path twice is refused, also when spelt differently.
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("x.mp4"), dir.File("x.mp4"), nullptr, &why));
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("x.mp4"), dir.path() + "/./x.mp4", nullptr, &why));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.mp4"}));

    // A disk that fills up while the rear file (the larger) is written: the
    // front file, complete by then, does not appear either. The file size
    // limit stands in for the full disk.
    ASSERT_TRUE(SeparateTracks(*movie, dir.File("f.mp4"), dir.File("r.mp4")));
    const off_t frontSize = off_t(std::filesystem::file_size(dir.File("f.mp4")));
    ASSERT_LT(frontSize, off_t(std::filesystem::file_size(dir.File("r.mp4"))));
    std::filesystem::remove(dir.File("f.mp4"));
    std::filesystem::remove(dir.File("r.mp4"));
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit limit = old;
    limit.rlim_cur = rlim_t(frontSize);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written =
        SeparateTracks(*movie, dir.File("f.mp4"), dir.File("r.mp4"), nullptr, &why);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.mp4"}));
}

// A join copies every input's media from the file it opened and checked; a
// file put in its place before the output is written is not read.
TEST(ChangingFiles, JoinCopiesFromTheFilesItOpened) {
    TempDir dir;
    const Bytes a = Movie(ThreeTracks(30));
    Bytes b = Movie(ThreeTracks(30));
    for (size_t i = 35; i < 32 + 3 * 30 * 4; i += 4)
        b[i] = 0xBB;
    const std::string pa = dir.Write("a.mp4", a), pb = dir.Write("b.mp4", b);
    auto join = OpenJoin(pa, "", RecorderFamily::TX40);
    ASSERT_TRUE(join && AppendToJoin(*join, pb, ""));
    // Another recording of the same shape is renamed over b.mp4.
    Bytes other = b;
    for (size_t i = 35; i < 32 + 3 * 30 * 4; i += 4)
        other[i] = 0x55;
    const std::string po = dir.Write("other.mp4", other);
    ASSERT_EQ(::rename(po.c_str(), pb.c_str()), 0);
    ASSERT_TRUE(WriteJoined(*join, JoinCamera::Front, dir.File("joined.mp4")));
    const Bytes joined = ReadAll(dir.File("joined.mp4"));
    const size_t mdat = FindType(joined, "mdat") + 4;
    const size_t second = mdat + 3 * 30 * 4;
    EXPECT_EQ(joined[second + 3], 0xBB);
    EXPECT_EQ(std::count(joined.begin() + long(mdat), joined.begin() + long(second + 3 * 30 * 4),
                         uint8_t(0x55)),
              0);
}

// Temporaries are named so that a later run removes those of a killed one;
// outputs get the mode of a new file under the umask.
TEST(ChangingFiles, StaleTemporariesAreRemovedAndOutputsHonourTheUmask) {
    TempDir dir;
    const std::string pa = dir.Write("a.mp4", Movie(ThreeTracks(4)));
    const std::string pb = dir.Write("b.mp4", Movie(ThreeTracks(4)));
    // A process that has ended: its pid names a stale temporary.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string stale =
        std::string(platform::kTemporaryPrefix) + std::to_string(child) + "-0123abcd-joined.mp4";
    // A live process (this one's parent) and a name of another form stay.
    const std::string live =
        std::string(platform::kTemporaryPrefix) + std::to_string(::getppid()) + "-0123abcd-x.mp4";
    dir.Write(stale, Text("half a join"));
    dir.Write(live, Text("being written"));
    dir.Write(".joined.mp4.AbC123", Text("not ours"));
    EXPECT_EQ(platform::TemporaryOwner(stale), child);
    EXPECT_EQ(platform::TemporaryOwner(".kinetta-tmp-12x-a"), 0);
    EXPECT_EQ(platform::TemporaryOwner(".kinetta-tmp--1-a"), 0);

    const mode_t previous = ::umask(027);
    const JoinResult result = JoinFiles({pa, pb}, dir.File("joined.mp4"), RecorderFamily::TX40);
    ::umask(previous);
    ASSERT_EQ(result, kJoinWritten);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("joined.mp4").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{".joined.mp4.AbC123", live, "a.mp4",
                                                             "b.mp4", "joined.mp4"}));
}

// A sample count larger than its table (or, with one size for every sample,
// than the media data) is no frame count: the scan and the file queries
// report none instead of 4294967295.
TEST(ChangingFiles, CountsLargerThanTheirTableAreNoFrameCounts) {
    TempDir dir;
    const Bytes good = Combined({4, 4, 4});
    const size_t stsz = FindType(good, "stsz");
    Bytes tooMany = good, constantTooMany = good, constantFits = good;
    StoreBE32(&tooMany[stsz + 12], 0xFFFFFFFF);
    StoreBE32(&constantTooMany[stsz + 8], 4);
    StoreBE32(&constantTooMany[stsz + 12], 0xFFFFFFFF);
    StoreBE32(&constantFits[stsz + 8], 4);
    StoreBE32(&constantFits[stsz + 12], 3);
    const kinetta::RecordingProbe probe = kinetta::ContainerProbe(RecorderFamily::TX40);
    for (const Bytes* bad : {&tooMany, &constantTooMany}) {
        const std::string path = dir.Write("bad.mp4", *bad);
        EXPECT_EQ(FirstSampleCount(path, RecorderFamily::TX40), -1);
        EXPECT_EQ(probe.frameCount(path), -1);
        int64_t size = 0, frames = 0;
        EXPECT_FALSE(probe.cameraStream(path, 0, &size, &frames));
    }
    const std::string path = dir.Write("fits.mp4", constantFits);
    EXPECT_EQ(FirstSampleCount(path, RecorderFamily::TX40), 3);
    int64_t size = 0, frames = 0;
    EXPECT_TRUE(probe.cameraStream(path, 0, &size, &frames));
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(size, 12);
}
