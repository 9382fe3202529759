#include "kinetta/fileops/snapshot_names.h"

#include <cstdio>

#include "kinetta/catalogue/recording_names.h"

namespace kinetta {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

constexpr std::string_view kJpeg = ".jpg";

} // namespace

std::string SnapshotFolderTag(std::string_view folder) {
    std::string_view f = folder;
    while (!f.empty() && IsSeparator(f.back()))
        f.remove_suffix(1);
    const size_t cut = f.find_last_of("/\\");
    if (cut != std::string_view::npos) return std::string(f.substr(cut + 1));
    // A bare drive ("D:" once its separator is dropped): its letter alone.
    return f.empty() ? std::string() : std::string(1, f.front());
}

int RecordingFileNumber(std::string_view name) {
    const std::string bare = StripJoinPrefix(name);
    int number = 0;
    for (size_t i = 0; i < bare.size() && i < 3 && bare[i] >= '0' && bare[i] <= '9'; ++i)
        number = number * 10 + (bare[i] - '0');
    return number;
}

std::string SnapshotFrontPath(std::string_view folder, std::string_view recordingName, int number,
                              int64_t position, RecorderFamily family) {
    if (position < 0) return {};
    const std::string_view tag = recordingName.substr(0, recordingName.find('.'));
    char digits[64];
    std::snprintf(digits, sizeof digits, "-%03d_%06lld", number, static_cast<long long>(position));
    std::string path(folder);
    if (!path.empty() && !IsSeparator(path.back())) path += '/';
    path += SnapshotFolderTag(folder);
    path += '-';
    path += tag;
    path += digits;
    if (family == RecorderFamily::TX40) path += "_M";
    path += kJpeg;
    return path;
}

std::string SnapshotRearPath(std::string_view frontPath, RecorderFamily family) {
    std::string rear(frontPath);
    if (!rear.ends_with(kJpeg)) return rear + "_R";
    const size_t nameStart = rear.find_last_of("/\\") + 1; // 0 without a folder
    size_t at = std::string::npos;
    if (family == RecorderFamily::TX40) {
        // "..._M.jpg": the letter before the extension.
        if (rear.size() >= nameStart + 6 && rear[rear.size() - 6] == '_') at = rear.size() - 5;
    } else {
        // The recording tag ends just before the name's last '-', which opens
        // the number and the position (digits only, whatever their width).
        const size_t dash = rear.rfind('-');
        if (dash != std::string::npos && dash > nameStart) at = dash - 1;
    }
    const char from = family == RecorderFamily::TX40 ? 'M' : 'F';
    if (at != std::string::npos && (rear[at] == from || rear[at] == 'R')) {
        rear[at] = rear[at] == 'R' ? from : 'R';
        return rear;
    }
    rear.insert(rear.size() - kJpeg.size(), "_R");
    return rear;
}

} // namespace kinetta
