// Fuzz target: the box tree of an untrusted MP4 file, read as either recorder
// family, written back in order and with the movie header first, and the
// GPS block found in it decoded.
//
// Property checked besides memory safety: a tree without a GPS block and
// without bytes after its last top-level box is written back byte for byte.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_block.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"
#include "playcore/container/sample_tables.h"

using namespace playcore;

namespace {

std::string InputPath() {
    static int fd = memfd_create("fuzz-mp4", 0);
    return "/proc/self/fd/" + std::to_string(fd);
}

int InputFd() {
    static int fd = [] {
        std::string p = InputPath();
        return std::atoi(p.c_str() + 14);
    }();
    return fd;
}

const std::string& OutputDir() {
    static std::string dir = [] {
        char tmpl[] = "/dev/shm/fuzz-mp4-out.XXXXXX";
        char* d = mkdtemp(tmpl);
        if (!d) {
            char alt[] = "/tmp/fuzz-mp4-out.XXXXXX";
            d = mkdtemp(alt);
            return std::string(d ? d : "/tmp");
        }
        return std::string(d);
    }();
    return dir;
}

bool HasGpsBlock(const sTAGNODE& node) {
    if (node.gps) return true;
    for (const auto& c : node.children)
        if (HasGpsBlock(*c)) return true;
    return false;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = InputFd();
    if (ftruncate(fd, 0) != 0) return 0;
    if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = InputPath();
    const std::string out = OutputDir() + "/out.mp4";

    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        (void)IsRecordingComplete(path, family);
        auto movie = OpenMp4Movie(path, true, family);
        if (!movie) continue;

        GpsBlockBytes block;
        if (LocateBlock(*movie, &block)) {
            sGPSREADER reader;
            reader.family = family;
            DecodeRecords(family, block.bytes.data(), block.bytes.size(), &reader.gps,
                          &reader.accel, &reader.info);
            BuildTimeBase(reader, static_cast<int64_t>(size % 4096));
        }
        (void)ProbeFrameTiming(*movie);
        for (sTAGNODE* stts : movie->List(kSttsList)) {
            SttsBox table;
            if (table.Read(*stts)) (void)table.Sums();
        }

        const bool identical = !HasGpsBlock(movie->root) && movie->root.tailSize == 0;
        if (WriteTreeToPath(movie->root, out) && identical) {
            std::vector<uint8_t> back = ReadFile(out);
            if (back.size() != size || (size && std::memcmp(back.data(), data, size) != 0))
                __builtin_trap();
        }
        WriteTreeToPath(movie->root, out, true);
        unlink(out.c_str());
    }
    return 0;
}
