#pragma once
// Answers about files that took reading them (a scan's facts, a recording's
// GPS track), kept per path and valid only while the file is the same one:
// same device and inode, same size, same modification time to the
// nanosecond. A card's files are read once per run however often the list is
// rebuilt or a folder is shown again; a file that was replaced or rewritten is
// read again. Thread-safe: any thread may ask and fill.

#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace kinetta {

// What identifies one state of a file.
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

template <class T> class FileCache {
public:
    // At most this many files are kept; one more empties the cache first.
    explicit FileCache(size_t capacity = 100'000) : capacity_(capacity) {}

    // The answer kept for path when it was made for this very stamp.
    std::optional<T> Find(const std::string& path, const FileStamp& stamp) const {
        std::lock_guard lock(mutex_);
        const auto it = items_.find(path);
        if (it == items_.end() || !(it->second.first == stamp)) return std::nullopt;
        return it->second.second;
    }
    void Put(const std::string& path, const FileStamp& stamp, T value) {
        std::lock_guard lock(mutex_);
        if (items_.size() >= capacity_ && !items_.count(path)) items_.clear();
        items_[path] = {stamp, std::move(value)};
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        items_.clear();
    }
    size_t Size() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::pair<FileStamp, T>> items_; // guarded by mutex_
};

} // namespace kinetta
