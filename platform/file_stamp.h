#pragma once
// What identifies one state of a file: same device and inode, same size,
// same modification time to the nanosecond. A file that was replaced or
// rewritten has another stamp. Header-only; thread-safe.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileStamp {
    uint64_t device = 0, inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0; // modification time, ns since the epoch
    bool operator==(const FileStamp&) const = default;
};

inline FileStamp StampOfStat(const struct stat& st) {
    FileStamp s;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<int64_t>(st.st_size);
    s.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return s;
}

// The stamp of a regular file (links followed); none when it cannot be
// asked or is no regular file.
inline std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return StampOfStat(st);
}
inline std::optional<FileStamp> StampOfDescriptor(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return StampOfStat(st);
}

} // namespace platform
