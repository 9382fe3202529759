#include "kinetta/catalogue/partner_search.h"

#include <array>
#include <cstdio>
#include <functional>
#include <optional>

#include "kinetta/catalogue/recording_names.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

namespace {

char SwapCamera(char c, RecorderFamily family) {
    const char front = family == RecorderFamily::TX50 ? 'F' : 'M';
    if (c == front) return 'R';
    if (c == 'R') return front;
    return c;
}

// The 20 alternative start times t+1, t-1, ..., t+10, t-10 as "HHMMSS",
// hours taken modulo 24.
std::array<std::string, 20> AlternativeTimes(int t) {
    std::array<std::string, 20> out;
    for (int k = 1; k <= 10; ++k) {
        for (int sign : {+1, -1}) {
            int v = ((t + sign * k) % 86400 + 86400) % 86400;
            char buf[8];
            std::snprintf(buf, sizeof buf, "%02d%02d%02d", v / 3600, v / 60 % 60, v % 60);
            out[static_cast<size_t>(2 * (k - 1) + (sign > 0 ? 0 : 1))] = buf;
        }
    }
    return out;
}

} // namespace

std::string FindPartnerFile(const std::string& path, bool allowUnfinished, RecorderFamily family,
                            const platform::FolderIndex* folder) {
    const std::string_view name = kutil::FileNameOf(path);
    const size_t n = path.size();
    const size_t nameStart = n - name.size();

    size_t skip;
    if (IsRecordingName(name, family))
        skip = 4;
    else if (HasJoinPrefix(name, family))
        skip = 9;
    else
        return {};
    // Every index read below lies inside the name: the time field, and the
    // trigger, flag and camera characters counted from the end.
    if (name.size() < skip + 6 || name.size() < 9) return {};
    int t = 0;
    for (size_t i = 0; i < 6; ++i) {
        char c = name[skip + i];
        if (c < '0' || c > '9') return {};
        t = t * 10 + (c - '0');
    }
    const int seconds = (t / 10000) * 3600 + (t / 100 % 100) * 60 + t % 100;
    const auto alternatives = AlternativeTimes(seconds);
    const size_t timeAt = nameStart + skip;

    std::optional<platform::FolderIndex> own;
    if (!folder) {
        own = platform::FolderIndex::Read(kutil::DirectoryOf(path));
        folder = &*own;
    }
    std::string found;
    auto exists = [&](const std::string& candidate) {
        std::string_view candidateName = kutil::FileNameOf(candidate);
        if (kutil::EqualsNoCase(candidateName, name)) return false; // never the file itself
        auto hit = folder->Find(candidateName);
        if (hit) found = kutil::JoinPath(kutil::DirectoryOf(path), *hit);
        return hit.has_value();
    };
    // One candidate: its camera letter swapped, then each alternative time.
    auto check = [&](std::string candidate) {
        candidate[n - 5] = SwapCamera(candidate[n - 5], family);
        if (exists(candidate)) return true;
        for (const std::string& alt : alternatives) {
            candidate.replace(timeAt, 6, alt);
            if (exists(candidate)) return true;
        }
        return false;
    };

    std::string candidate = path;
    if (family == RecorderFamily::TX40) {
        for (char trigger : {'A', 'G', 'M', 'P', 'S'}) {
            candidate[n - 7] = trigger;
            if (check(candidate)) return found;
        }
        return {};
    }
    for (char trigger : {'A', 'G', 'M', 'P', 'S'}) {
        candidate[n - 9] = trigger;
        for (char timeLapse : {'T', 'N'}) {
            candidate[n - 8] = timeLapse;
            for (char enforcement : {'O', 'N', '_'}) {
                candidate[n - 7] = enforcement;
                for (const char* ext : {".mp4", ".dat"}) {
                    if (ext[1] == 'd' && !allowUnfinished) continue;
                    candidate.replace(n - 4, 4, ext);
                    if (check(candidate)) return found;
                }
            }
        }
    }
    return {};
}

std::string FindPartnerFile(const std::string& path, bool allowUnfinished) {
    return FindPartnerFile(path, allowUnfinished, CurrentFamily());
}

} // namespace kinetta
