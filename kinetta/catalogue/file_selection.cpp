#include "kinetta/catalogue/file_selection.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "kinetta/catalogue/recording_names.h"
#include "kinetta/base/ui_strings.h"
#include "util/text.h"

namespace kinetta {

bool TriggerFilter::Keeps(const std::string& name, RecorderFamily family) const {
    auto switchOf = [](int code) {
        if (code == 7) return 3;
        if (code == 8) return 4;
        return code;
    };
    int code = TriggerCode(name, TriggerPosition::Trigger, family);
    if (code >= 0 && code <= 8 && !on[switchOf(code)]) return false;
    if (family == RecorderFamily::TX50) {
        int enforcement = TriggerCode(name, TriggerPosition::Enforcement, family);
        if ((enforcement == 5 || enforcement == 6) && !on[enforcement]) return false;
    }
    return true;
}

std::vector<RecordingEntry> FilterRows(const std::vector<RecordingEntry>& scan,
                                       const TriggerFilter& filter, RecorderFamily family) {
    std::vector<RecordingEntry> rows;
    rows.reserve(scan.size());
    for (const RecordingEntry& e : scan)
        if (filter.Keeps(e.DisplayedName(), family)) rows.push_back(e);
    return rows;
}

void SortRowsByColumn(std::vector<RecordingEntry>& rows, int column) {
    if (column == 0) {
        std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return a.runningNumber < b.runningNumber && a.reserved <= b.reserved;
        });
    } else if (column == 1) {
        std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return a.knownTrigger < b.knownTrigger;
        });
    }
}

std::string ItemCountText(size_t rows) {
    const std::string format(UiString(kStrItemCount)); // "%d個"
    char buf[64];
    std::snprintf(buf, sizeof buf, format.c_str(),
                  static_cast<int>(std::min<size_t>(rows, INT_MAX)));
    return buf;
}

std::string SizeText(int64_t bytes) {
    const std::string format(UiString(kStrSizeMiB)); // "%llu MB"
    char buf[64];
    std::snprintf(buf, sizeof buf, format.c_str(),
                  static_cast<unsigned long long>(static_cast<uint64_t>(bytes) >> 20));
    return buf;
}

std::string TotalText(uint64_t bytes) {
    // The table holds the signed 64-bit format; a total in MiB always fits.
    const std::string format(UiString(kStrTotalMiB)); // "%lld MB"
    char buf[64];
    std::snprintf(buf, sizeof buf, format.c_str(), static_cast<long long>(bytes >> 20));
    return buf;
}

int ShownFilterSwitches(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? 6 : 5;
}

std::string FolderPathText(const std::vector<TreeItem>& tree, int item) {
    if (item < 0 || static_cast<size_t>(item) >= tree.size()) return {};
    // Walk up to the top item; a parent index that does not point upwards
    // (items are stored parents first) ends the walk, so a damaged tree
    // cannot loop.
    std::vector<const std::string*> names;
    for (int i = item; i >= 0 && static_cast<size_t>(i) < tree.size();) {
        names.push_back(&tree[static_cast<size_t>(i)].name);
        const int parent = tree[static_cast<size_t>(i)].parent;
        if (parent >= i) break;
        i = parent;
    }
    std::string out;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!out.empty()) out += '\\';
        out += **it;
    }
    return out;
}

std::string SelectionNameText(const RecordingEntry& entry, bool withFolder) {
    std::string name = DisplayName(entry.DisplayedName());
    if (!withFolder) return name;
    // The folder is the last component before the file name; a bare name has none.
    const std::string& path = entry.DisplayedPath();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos
                                   ? std::string()
                                   : std::string(kutil::FileNameOf(path.substr(0, slash)));
    return folder + "/" + name;
}

namespace {
bool HasMovieExtension(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot != std::string::npos &&
           kutil::FindNoCase(std::string_view(name).substr(dot), ".MP4") != std::string_view::npos;
}
} // namespace

FileSelection::FileSelection(FileSelectMode mode, const std::vector<RecordingEntry>& entries)
    : mode_(mode) {
    truncated_ = entries.size() > kMaxRows;
    size_t n = std::min(entries.size(), kMaxRows);
    for (size_t i = 0; i < n; ++i) {
        const RecordingEntry& e = entries[i];
        if (mode_ != FileSelectMode::Delete && !HasMovieExtension(e.DisplayedName())) continue;
        rows_.push_back(e);
    }
    ticked_.assign(rows_.size(), false);
}

void FileSelection::SetCameras(bool front, bool rear) {
    front_ = front;
    rear_ = rear;
    if (mode_ == FileSelectMode::Join) {
        // A range may now hold rows that are no longer selectable: keep the
        // part up to the first of them.
        if (first_ >= 0) {
            long end = first_;
            while (end <= last_ && Selectable(static_cast<size_t>(end)))
                ++end;
            if (end == first_)
                first_ = last_ = -1;
            else
                last_ = end - 1;
            ApplyRange();
        }
    }
}

bool FileSelection::Selectable(size_t row) const {
    if (row >= rows_.size()) return false;
    if (mode_ == FileSelectMode::Delete) return true;
    if (!front_ && !rear_) return false;
    const RecordingEntry& e = rows_[row];
    if (front_ && e.frontSize == 0) return false;
    if (rear_ && e.rearSize == 0) return false;
    return true;
}

void FileSelection::ApplyRange() {
    for (size_t i = 0; i < ticked_.size(); ++i)
        ticked_[i] = first_ >= 0 && static_cast<long>(i) >= first_ && static_cast<long>(i) <= last_;
}

bool FileSelection::Click(size_t row) {
    if (row >= rows_.size()) return false;
    if (mode_ != FileSelectMode::Join) {
        ticked_[row] = !ticked_[row];
        return false;
    }
    const long r = static_cast<long>(row);
    bool blocked = false;
    if (first_ < 0) {
        if (Selectable(row))
            first_ = last_ = r;
        else
            blocked = true;
    } else if (r < first_) {
        while (first_ > r && Selectable(static_cast<size_t>(first_ - 1)))
            --first_;
        blocked = first_ > r;
    } else if (r > last_) {
        while (last_ < r && Selectable(static_cast<size_t>(last_ + 1)))
            ++last_;
        blocked = last_ < r;
    } else if (r == first_) {
        ++first_;
        if (first_ > last_) first_ = last_ = -1;
    } else {
        last_ = r - 1;
    }
    ApplyRange();
    return blocked;
}

bool FileSelection::SelectAllShown(bool on, size_t focus) {
    if (!on) {
        std::fill(ticked_.begin(), ticked_.end(), false);
        first_ = last_ = -1;
        return false;
    }
    if (mode_ != FileSelectMode::Join) {
        std::fill(ticked_.begin(), ticked_.end(), true);
        return false;
    }
    if (rows_.empty()) return false;
    focus = std::min(focus, rows_.size() - 1);
    if (!Selectable(focus)) {
        first_ = last_ = -1;
        ApplyRange();
        return true;
    }
    long lo = static_cast<long>(focus), hi = lo;
    while (lo > 0 && Selectable(static_cast<size_t>(lo - 1)))
        --lo;
    while (hi + 1 < static_cast<long>(rows_.size()) && Selectable(static_cast<size_t>(hi + 1)))
        ++hi;
    first_ = lo;
    last_ = hi;
    ApplyRange();
    return lo > 0 || hi + 1 < static_cast<long>(rows_.size());
}

uint64_t FileSelection::TotalBytes() const {
    uint64_t total = 0;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (ticked_[i])
            total += static_cast<uint64_t>(rows_[i].frontSize) +
                     static_cast<uint64_t>(rows_[i].rearSize);
    return total;
}

uint64_t FileSelection::FrontBytes() const {
    if (!front_) return 0;
    uint64_t total = 0;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (ticked_[i]) total += static_cast<uint64_t>(rows_[i].frontSize);
    return total;
}

uint64_t FileSelection::RearBytes() const {
    if (!rear_) return 0;
    uint64_t total = 0;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (ticked_[i]) total += static_cast<uint64_t>(rows_[i].rearSize);
    return total;
}

bool FileSelection::OkEnabled() const {
    if (mode_ == FileSelectMode::Delete) {
        for (size_t i = 0; i < rows_.size(); ++i)
            if (ticked_[i] && (rows_[i].frontSize > 0 || rows_[i].rearSize > 0)) return true;
        return false;
    }
    if (!front_ && !rear_) return false;
    const int minimum = mode_ == FileSelectMode::Join && !upload_ ? 2 : 1;
    int fronts = 0, rears = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!ticked_[i]) continue;
        if (!rows_[i].frontPath.empty()) ++fronts;
        if (!rows_[i].rearPath.empty()) ++rears;
    }
    if (front_) {
        if (fronts < minimum) return false;
        if (rear_ && mode_ == FileSelectMode::Join && rears < minimum) return false;
        return true;
    }
    return rears >= minimum;
}

FileSelection::OkCheck FileSelection::CheckOk() const {
    if (mode_ != FileSelectMode::Join) return OkCheck::Accept;
    if ((FrontBytes() >> 20) > kMaxMiBPerCamera || (RearBytes() >> 20) > kMaxMiBPerCamera)
        return OkCheck::SizeOver;
    int fronts = 0, rears = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!ticked_[i]) continue;
        if (front_ && rows_[i].frontSize > 0) ++fronts;
        if (rear_ && rows_[i].rearSize > 0) ++rears;
    }
    if (fronts > kMaxFilesPerCamera || rears > kMaxFilesPerCamera) return OkCheck::TooManyFiles;
    return OkCheck::Accept;
}

std::vector<RecordingEntry> FileSelection::TickedEntries() const {
    std::vector<RecordingEntry> out;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (ticked_[i]) out.push_back(rows_[i]);
    return out;
}

} // namespace kinetta
