// Fuzz target: a join of two different recordings, for both families. The
// input is cut in two at the position its first two bytes give (big-endian,
// taken modulo the rest); each part is a recording. The joined output is
// opened again and its records read.
//
// Properties checked besides memory safety: a join that is written holds the
// sample counts of both inputs; a failed join leaves no file behind.

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_tree.h"
#include "tests/fuzz/fuzz_input_file.h"

using namespace playcore;

namespace {

int FilesIn(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.') ? 1 : 0;
        closedir(d);
    }
    return n;
}

uint64_t FirstCount(const std::string& path, RecorderFamily family) {
    auto movie = OpenMp4Movie(path, true, family);
    uint32_t n = 0;
    if (!movie || movie->List(kStszList).empty() ||
        !CheckedSampleCount(*movie, *movie->List(kStszList).front(), &n))
        return 0;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t rest = size - 2;
    const size_t cut = rest ? ((size_t(data[0]) << 8) | data[1]) % (rest + 1) : 0;
    const std::string a = fuzzfile::AsFile(0, data + 2, cut);
    const std::string b = fuzzfile::AsFile(1, data + 2 + cut, rest - cut);
    if (a.empty() || b.empty()) return 0;
    const std::string& dir = fuzzfile::OutputDir("fuzz-join-two");
    const std::string out = dir + "/joined.mp4";
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        std::string why;
        const JoinResult result = JoinFiles({a, b}, out, family, nullptr, &why);
        if (result == kJoinWritten) {
            if (FirstCount(out, family) != FirstCount(a, family) + FirstCount(b, family))
                __builtin_trap();
            sGPSREADER reader;
            LoadRecords(reader, out, family);
            unlink(out.c_str());
        } else if (FilesIn(dir) != 0) {
            __builtin_trap(); // nothing, not even a temporary, is left
        }
    }
    return 0;
}
