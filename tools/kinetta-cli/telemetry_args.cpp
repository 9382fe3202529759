#include "tools/kinetta-cli/telemetry_args.h"

#include <cstdlib>

#include "playcore/container/file_queries.h"

namespace kcli {

std::optional<std::string> TakeOption(Args& args, const std::string& name, bool* bad) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) {
            *bad = true;
            return std::nullopt;
        }
        std::string value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return value;
    }
    return std::nullopt;
}

bool ParseCount(const std::string& text, long long* out) {
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || !end || *end || v < 0) return false;
    *out = v;
    return true;
}

bool ApplyOffList(const std::string& list, kinetta::DetectorFlags* flags) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string item =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long long entry = -1;
        if (!ParseCount(item, &entry) || entry >= kinetta::kDetectorCount) return false;
        flags->Set(static_cast<int>(entry), false);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool LoadWithTimeBase(const std::string& path, playcore::RecorderFamily family,
                      playcore::sGPSREADER* reader) {
    if (!playcore::LoadRecords(*reader, path, family)) return false;
    const long long frames = playcore::FirstSampleCount(path, family);
    return playcore::BuildTimeBase(*reader, frames > 0 ? frames : 0);
}

} // namespace kcli
