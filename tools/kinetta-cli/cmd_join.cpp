// kinetta-cli join and split: the box-level join of one camera's recordings
// and the separation of a combined recording into one file per camera, as
// the file operations do them. On success one JSON line on stdout; on
// failure a message on stderr and exit status 1 (2 for usage errors).
// An output name that is taken (a file, or a link, whatever it names) is
// kept unless --overwrite is given; then the entry itself is replaced, never
// written through. Outputs appear under their names only when complete.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/files.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

using namespace playcore;

long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Removes "--overwrite" from args; true when it was there.
bool TakeOverwrite(Args& args) {
    bool found = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--overwrite") {
            found = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    return found;
}

// An entry at path, as the name itself (lstat: a dangling link counts).
bool Taken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether an output of up to bytes bytes fits a file of output's folder's
// file system (FAT32: below 4 GiB); false after saying why on stderr, before
// anything is written.
bool FitsBeside(const char* command, const std::string& output, uint64_t bytes) {
    const std::optional<uint64_t> largest =
        platform::LargestFileBytes(std::string(kutil::DirectoryOf(output)));
    if (!largest || bytes <= *largest) return true;
    std::fprintf(stderr,
                 "kinetta-cli %s: %s: the output would reach %llu bytes, more than a file of its "
                 "FAT file system can hold (%llu)\n",
                 command, output.c_str(), static_cast<unsigned long long>(bytes),
                 static_cast<unsigned long long>(*largest));
    return false;
}

void ReportTaken(const char* command, const std::string& path) {
    std::fprintf(stderr, "kinetta-cli %s: %s: exists (--overwrite replaces it)\n", command,
                 path.c_str());
}

} // namespace

int CmdJoin(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    const bool overwrite = TakeOverwrite(args);
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: kinetta-cli join --family tx40|tx50 [--overwrite] OUT INPUT...\n");
        return 2;
    }
    const std::string output = args[0];
    const std::vector<std::string> inputs(args.begin() + 1, args.end());
    if (!overwrite && Taken(output)) {
        ReportTaken("join", output);
        return 1;
    }
    uint64_t inputBytes = 0;
    for (const std::string& in : inputs)
        inputBytes += static_cast<uint64_t>(std::max(0LL, FileSize(in)));
    if (!FitsBeside("join", output, inputBytes)) return 1;
    std::string why;
    // Keep also holds for an entry that appears while the join is written.
    if (JoinFiles(inputs, output, family, nullptr, &why,
                  overwrite ? OnExisting::Replace : OnExisting::Keep) != kJoinWritten) {
        std::fprintf(stderr, "kinetta-cli join: %s\n", why.c_str());
        return 1;
    }
    kutil::Json j;
    j["ok"] = true;
    j["inputs"] = inputs.size();
    j["out"] = output;
    j["bytes"] = FileSize(output);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

int CmdSplit(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    const bool overwrite = TakeOverwrite(args);
    if (args.size() != 2 && args.size() != 3) {
        std::fprintf(stderr, "usage: kinetta-cli split --family tx40|tx50 [--overwrite] INPUT "
                             "FRONT_OUT [REAR_OUT]\n");
        return 2;
    }
    const std::string& input = args[0];
    const std::string& front = args[1];
    const std::string rear = args.size() == 3 ? args[2] : std::string();
    auto movie = OpenMp4Movie(input, true, family);
    if (!movie) {
        std::fprintf(stderr, "kinetta-cli split: %s: cannot be opened as a movie\n", input.c_str());
        return 1;
    }
    const size_t tracks = movie->List(kTkhdList).size();
    // The rear file is written only for a movie of three tracks or more.
    for (const std::string* out : {&front, tracks >= 3 ? &rear : nullptr}) {
        if (!overwrite && out && !out->empty() && Taken(*out)) {
            ReportTaken("split", *out);
            return 1;
        }
    }
    // A separated camera is never larger than its source.
    const uint64_t inputBytes = static_cast<uint64_t>(std::max(0LL, FileSize(input)));
    for (const std::string* out : {&front, tracks >= 3 ? &rear : nullptr})
        if (out && !out->empty() && !FitsBeside("split", *out, inputBytes)) return 1;
    std::string why;
    if (!SeparateTracks(*movie, front, rear, nullptr, &why,
                        overwrite ? OnExisting::Replace : OnExisting::Keep)) {
        std::fprintf(stderr, "kinetta-cli split: %s\n", why.c_str());
        return 1;
    }
    kutil::Json j;
    j["ok"] = true;
    j["tracks"] = tracks;
    j["front"] = front;
    j["frontBytes"] = FileSize(front);
    // The rear file exists only for a movie of three tracks or more.
    if (!rear.empty() && tracks >= 3) {
        j["rear"] = rear;
        j["rearBytes"] = FileSize(rear);
    } else {
        j["rear"] = nullptr;
    }
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
