// Fuzz target: box-level join, split and trim of an untrusted recording, read
// as either recorder family: the file separated into one file per camera, its
// chunk list built, trimmed to a span bytes of the input choose, and
// the file joined to itself, trimmed again and written.
//
// Properties checked besides memory safety: an append that fails leaves the
// joined tree as it was (written again, it gives the same bytes), and so does
// a trim that fails.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_trim.h"
#include "playcore/container/mp4_write.h"

using namespace playcore;

namespace {

int InputFd() {
    static int fd = memfd_create("fuzz-join", 0);
    return fd;
}

const std::string& OutputDir() {
    static std::string dir = [] {
        char tmpl[] = "/dev/shm/fuzz-join-out.XXXXXX";
        if (char* d = mkdtemp(tmpl)) return std::string(d);
        char alt[] = "/tmp/fuzz-join-out.XXXXXX";
        char* d = mkdtemp(alt);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
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
    if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
    if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::string dir = OutputDir();
    const std::string front = dir + "/front.mp4", rear = dir + "/rear.mp4";
    const std::string before = dir + "/before.mp4", after = dir + "/after.mp4";
    const std::string joined = dir + "/joined.mp4";
    const std::string trimmed = dir + "/trimmed.mp4";
    // The span: frames and records from bytes inside the input (its head is
    // the same ftyp in every recording), so that mutations reach both kept
    // and refused spans.
    TrimRange range;
    if (size >= 4) {
        range.firstFrame = data[size / 3] % 8;
        range.lastFrame = range.firstFrame + data[size / 2] % 16;
        range.firstRecord = data[2 * size / 3] % 4;
        range.recordCount = size % 4;
    }

    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        auto movie = OpenMp4Movie(path, true, family);
        if (!movie) continue;
        std::vector<ChunkRecord> chunks;
        BuildChunkList(*movie, 0, 1, &chunks);
        SeparateTracks(*movie, front, rear);
        if (TrimMovie(*movie, range)) WriteTreeToPath(movie->root, trimmed);

        auto join = OpenJoin(path, "", family);
        if (!join) continue;
        const bool wrote = WriteTreeToPath(join->front->root, before);
        if (!AppendToJoin(*join, path, "") && wrote && join->front) {
            if (!WriteTreeToPath(join->front->root, after) || ReadFile(after) != ReadFile(before))
                __builtin_trap();
        }
        if (join->valid && join->front && WriteTreeToPath(join->front->root, before)) {
            TrimRange longer = range;
            longer.lastFrame += longer.lastFrame; // into the appended copy
            if (!TrimMovie(*join->front, longer) &&
                (!WriteTreeToPath(join->front->root, after) || ReadFile(after) != ReadFile(before)))
                __builtin_trap();
        }
        WriteJoined(*join, JoinCamera::Front, joined);
        for (const std::string* p : {&front, &rear, &before, &after, &joined, &trimmed})
            unlink(p->c_str());
    }
    return 0;
}
