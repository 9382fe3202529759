#pragma once
// Answers about files that took reading them (a scan's facts, a recording's
// GPS track), kept per path and valid only while the file is the same one:
// same device and inode, same size, same modification time to the
// nanosecond. A card's files are read once per run however often the list is
// rebuilt or a folder is shown again; a file that was replaced or rewritten is
// read again. Thread-safe: any thread may ask and fill.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/file_stamp.h"

namespace kinetta {

// The stamps a cached answer is valid for (platform/file_stamp.h).
using platform::FileStamp;
using platform::StampOf;
using platform::StampOfDescriptor;
using platform::StampOfStat;

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
