// kinetta-cli join and split: the box-level join of one camera's recordings
// and the separation of a combined recording into one file per camera, as
// the file operations do them. On success one JSON line on stdout; on
// failure a message on stderr and exit status 1 (2 for usage errors).

#include <sys/stat.h>

#include <cstdio>

#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

namespace {

using namespace playcore;

long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

} // namespace

int CmdJoin(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: kinetta-cli join --family tx40|tx50 OUT INPUT...\n");
        return 2;
    }
    const std::string output = args[0];
    const std::vector<std::string> inputs(args.begin() + 1, args.end());
    std::string why;
    if (JoinFiles(inputs, output, family, nullptr, &why) != kJoinWritten) {
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
    if (args.size() != 2 && args.size() != 3) {
        std::fprintf(stderr,
                     "usage: kinetta-cli split --family tx40|tx50 INPUT FRONT_OUT [REAR_OUT]\n");
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
    std::string why;
    if (!SeparateTracks(*movie, front, rear, nullptr, &why)) {
        std::fprintf(stderr, "kinetta-cli split: %s\n", why.c_str());
        return 1;
    }
    const size_t tracks = movie->List(kTkhdList).size();
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
