#include "kinetta/catalogue/catalogue.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <set>
#include <utility>

#include "kinetta/catalogue/card_settings.h"
#include "kinetta/catalogue/partner_search.h"
#include "kinetta/catalogue/recording_names.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

namespace {

// Running numbers count over every scan of the run.
std::atomic<int32_t> g_runningCounter{0};

// Tree parent that means "insert no items below here" (the level was full).
constexpr int kNoTreeItem = -2;

// Next code point of a UTF-8 text (which must be valid), advancing i.
uint32_t NextCodePoint(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

// The first UTF-16 code unit of a code point: what the order compares.
uint32_t Utf16Key(uint32_t cp) {
    // Supplementary characters start with a high surrogate (0xD800..0xDBFF),
    // which sorts below U+E000..U+FFFF; map them into that gap.
    return cp >= 0x10000 ? 0xD800 + ((cp - 0x10000) >> 10) : cp;
}

bool HasMp4Extension(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot != std::string::npos && name.size() - dot == 4 &&
           kutil::EqualsNoCase(std::string_view(name).substr(dot), ".MP4");
}

int64_t FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

// Opened and closed again; only a regular file counts (a FIFO would block).
bool Readable(const std::string& path) {
    return platform::IsReadableRegularFile(path);
}

} // namespace

bool Utf16Less(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        uint32_t ca = NextCodePoint(a, i), cb = NextCodePoint(b, j);
        if (ca == cb) continue;
        uint32_t ka = Utf16Key(ca), kb = Utf16Key(cb);
        if (ka != kb) return ka < kb;
        return ca < cb; // same high surrogate: the low surrogates follow code point order
    }
    return i >= a.size() && j < b.size();
}

struct Catalogue::ScanState {
    bool folderList = false;
    std::set<std::pair<dev_t, ino_t>> visited; // folders already walked: links make no loops
};

Catalogue::Catalogue(RecorderFamily family, RecordingProbe probe)
    : family_(family), probe_(std::move(probe)) {}

int Catalogue::InsertTreeItem(const std::string& name, const std::string& path, int parent,
                              int depth) {
    TreeItem item;
    item.name = name;
    item.path = path;
    item.parent = parent;
    item.depth = depth;
    tree_.push_back(std::move(item));
    return static_cast<int>(tree_.size()) - 1;
}

void Catalogue::ScanFolder(const std::string& folder, int parentItem, bool recurse, bool addEntries,
                           int* counter, int depth, ScanState& state) {
    static const std::regex dateFolder("[0-9]{8,8}_[0-9]{3,3}", std::regex::ECMAScript);
    if (cancelled_ && cancelled_()) return; // given up: no further folder is read

    struct stat self;
    if (::stat(folder.c_str(), &self) != 0 ||
        !state.visited.insert({self.st_dev, self.st_ino}).second)
        return;

    // A folder that cannot be listed yields no items and counts as success.
    struct Name {
        std::string name;
        unsigned char type = DT_UNKNOWN; // as the folder listing tells it
    };
    std::vector<Name> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            if (!kutil::IsValidUtf8(name)) continue; // a name the lists cannot show
            names.push_back({std::move(name), e->d_type});
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(),
              [](const Name& a, const Name& b) { return Utf16Less(a.name, b.name); });
    const auto folderIndex = platform::FolderIndex::Read(folder);

    int itemsHere = 0; // tree items inserted under parentItem by this call
    int bits = 0;
    for (const auto& [name, type] : names) {
        // Also between two files: a folder of 999 recordings behind a slow
        // reader takes half a minute, and a shutdown waits for the walk.
        if (cancelled_ && cancelled_()) return;
        std::string path = kutil::JoinPath(folder, name);
        struct stat st;
        if (namesOnly_ && (type == DT_REG || type == DT_DIR)) {
            st.st_mode = type == DT_DIR ? S_IFDIR : S_IFREG; // the listing's word is enough
        } else if (::stat(path.c_str(), &st) != 0) {
            continue; // vanished meanwhile, or a broken link
        }
        if (S_ISDIR(st.st_mode)) {
            if (recurse) {
                if (depth >= kMaxDepth || !std::regex_search(name, dateFolder)) continue;
                // The item is put in place before its children so that they can
                // hang below it, and taken out again when nothing was found.
                bool room = parentItem != kNoTreeItem && itemsHere < kMaxTreeItemsPerLevel;
                int item = room ? InsertTreeItem(name, path, parentItem, depth) : kNoTreeItem;
                size_t treeBefore = tree_.size();
                int found = 0;
                ScanFolder(path, item, true, addEntries, &found, depth + 1, state);
                if (item == kNoTreeItem) continue;
                bool keep = addEntries && (found > 0 || tree_.size() > treeBefore);
                if (!keep) {
                    tree_.pop_back(); // nothing was inserted after it
                    continue;
                }
                ++itemsHere;
                if (state.folderList) folders_.push_back({path, name});
            } else if (addEntries && depth < kMaxDepth && parentItem != kNoTreeItem &&
                       itemsHere < kMaxTreeItemsPerLevel) {
                // A folder source lists its subfolders; the user opens them from the tree.
                InsertTreeItem(name, path, parentItem, depth);
                ++itemsHere;
            }
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        if (!IsRecordingMovieFile(path, family_)) continue;
        if (!namesOnly_ && probe_.isComplete && !probe_.isComplete(path))
            continue; // left unfinished
        bits |= TriggerFilterBits(name, family_);
        std::string front, rear;
        if (!PairRecordingIn(path, folderIndex, &front, &rear)) continue;
        ++*counter;
        if (addEntries) AddRecording(front, rear);
    }
    if (parentItem >= 0 && parentItem < static_cast<int>(tree_.size()))
        tree_[static_cast<size_t>(parentItem)].filterBits |= bits;
}

int FindTreeItem(const std::vector<TreeItem>& tree, const std::string& path) {
    for (size_t i = 0; i < tree.size(); ++i)
        if (tree[i].path == path) return static_cast<int>(i);
    return -1;
}

std::vector<int> FolderItemsNewestFirst(const std::vector<TreeItem>& tree) {
    std::vector<int> order(tree.size());
    for (size_t i = 0; i < tree.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&tree](int a, int b) {
        const TreeItem& x = tree[static_cast<size_t>(a)];
        const TreeItem& y = tree[static_cast<size_t>(b)];
        if ((x.filterBits != 0) != (y.filterBits != 0)) return x.filterBits != 0;
        return Utf16Less(y.name, x.name);
    });
    return order;
}

bool Catalogue::PairRecording(const std::string& path, std::string* front,
                              std::string* rear) const {
    return PairRecordingIn(path, platform::FolderIndex::Read(kutil::DirectoryOf(path)), front,
                           rear);
}

bool Catalogue::PairRecordingIn(const std::string& path, const platform::FolderIndex& folder,
                                std::string* front, std::string* rear) const {
    std::string_view name = kutil::FileNameOf(path);
    if (IsFrontName(name, family_)) {
        *front = path;
        *rear = FindPartnerFile(path, false, family_, &folder);
    } else if (IsRearName(name, family_)) {
        *rear = path;
        *front = FindPartnerFile(path, false, family_, &folder);
    } else if (const ClipNameKind clip = ClassifyClipName(name); clip != ClipNameKind::None) {
        // An event clip (only a single-file source gets here: the folder scan
        // passes recorder names only). Its pair's other camera has the same
        // name with the other camera letter.
        std::string other;
        if (const std::string partner = ClipPartnerName(name); !partner.empty())
            if (const auto found = folder.Find(partner))
                other = kutil::JoinPath(folder.Dir(), *found);
        *front = clip == ClipNameKind::Rear ? other : path;
        *rear = clip == ClipNameKind::Rear ? path : other;
    } else {
        return false;
    }
    for (const RecordingEntry& e : entries_) {
        if (!front->empty() && *front == e.frontPath) return false;
        if (!rear->empty() && *rear == e.rearPath) return false;
    }
    return true;
}

bool Catalogue::AddRecording(const std::string& front, const std::string& rear) {
    RecordingEntry e;
    e.frontPath = front;
    e.frontName = std::string(kutil::FileNameOf(front));
    e.rearPath = rear;
    e.rearName = std::string(kutil::FileNameOf(rear));
    if (front.empty()) e.frontName.clear();
    if (rear.empty()) e.rearName.clear();

    const ClipNameKind frontClip = ClassifyClipName(e.frontName);
    bool frontOk = !front.empty() &&
                   (IsFrontName(e.frontName, family_) || frontClip == ClipNameKind::Front ||
                    frontClip == ClipNameKind::Combined) &&
                   HasMp4Extension(e.frontName);
    bool rearOk =
        !rear.empty() &&
        (IsRearName(e.rearName, family_) || ClassifyClipName(e.rearName) == ClipNameKind::Rear) &&
        HasMp4Extension(e.rearName);
    if (!frontOk && !rearOk) return false;

    // Sizes and frame counts. A combined file carries both cameras: its
    // streams are measured inside it. The full 64-bit size is kept (a joined
    // copy may pass 4 GiB).
    auto measureFile = [&](const std::string& path, int64_t* size, int64_t* frames) {
        *size = 0;
        *frames = 0;
        if (probe_.readable) {
            int64_t bytes = 0;
            if (!probe_.readable(path, &bytes)) return;
            *size = std::max<int64_t>(0, bytes);
        } else {
            if (!Readable(path)) return;
            *size = std::max<int64_t>(0, FileSize(path));
        }
        *frames = probe_.frameCount ? std::max<int64_t>(0, probe_.frameCount(path)) : 0;
    };
    auto measureStream = [&](const std::string& path, int camera, int64_t* size, int64_t* frames) {
        *size = 0;
        *frames = 0;
        if (!probe_.cameraStream || !probe_.cameraStream(path, camera, size, frames)) {
            *size = 0;
            *frames = 0;
        }
    };
    // Names only: nothing is measured, the recording is as its names give it.
    if (!namesOnly_) {
        if (!front.empty()) {
            if (IsCombinedName(e.frontName, family_))
                measureStream(front, 0, &e.frontSize, &e.frontFrames);
            else
                measureFile(front, &e.frontSize, &e.frontFrames);
        }
        if (!rear.empty())
            measureFile(rear, &e.rearSize, &e.rearFrames);
        else if (!front.empty())
            measureStream(front, 1, &e.rearSize, &e.rearFrames);
        if (e.frontSize <= 0 && e.rearSize <= 0) return false; // neither camera yields data
    }

    e.listNumber = listCounter_++;
    // A list by names is shown for a moment only: it takes no running number.
    e.runningNumber = namesOnly_ ? 0 : g_runningCounter.fetch_add(1, std::memory_order_relaxed);
    e.knownTrigger = !e.frontName.empty() && HasKnownTrigger(e.frontName, family_)
                         ? static_cast<unsigned char>(e.frontName[0])
                         : 0;
    const std::string& shown = e.DisplayedName();
    e.parking = IsParkingRecording(shown, family_) ? 1 : 0;
    int lapse = TriggerCode(shown, TriggerPosition::TimeLapse, family_);
    e.timeLapse = family_ == RecorderFamily::TX50 && (lapse == 7 || lapse == 8) ? 1 : 0;
    // A clip of a time-lapse recording keeps its clock: told by its records.
    if (!namesOnly_ && family_ == RecorderFamily::TX50 &&
        ClassifyClipName(shown) != ClipNameKind::None && probe_.isTimeLapse &&
        probe_.isTimeLapse(e.DisplayedPath()))
        e.timeLapse = 1;
    entries_.push_back(std::move(e));
    return true;
}

void Catalogue::SortCatalogue() {
    std::vector<RecordingEntry> named, others;
    for (RecordingEntry& e : entries_) {
        const std::string& n = e.DisplayedName();
        (IsRecordingName(n, family_) || HasJoinPrefix(n, family_) ? named : others)
            .push_back(std::move(e));
    }
    auto byName = [](const RecordingEntry& a, const RecordingEntry& b) {
        return Utf16Less(a.DisplayedName(), b.DisplayedName());
    };
    std::stable_sort(named.begin(), named.end(), byName);
    std::stable_sort(others.begin(), others.end(), byName);
    entries_ = std::move(named);
    entries_.insert(entries_.end(), std::make_move_iterator(others.begin()),
                    std::make_move_iterator(others.end()));
}

void Catalogue::GatherVersionTexts(const std::string& root) {
    firmwareVersion_.clear();
    gpsDataVersion_.clear();
    // The newest recording: the last one discovered (date folders and file
    // numbers are walked in ascending order).
    const RecordingEntry* newest = nullptr;
    for (const RecordingEntry& e : entries_)
        if (!newest || e.listNumber > newest->listNumber) newest = &e;
    if (!newest || !probe_.firmwareVersion) return;
    firmwareVersion_ = probe_.firmwareVersion(newest->DisplayedPath());
    if (firmwareVersion_.empty()) return;
    CardSettings settings;
    if (ReadCardSettings(root, &settings))
        gpsDataVersion_ = GpsDataVersionText(settings.gpsDataVersion);
}

bool Catalogue::OpenSource(const std::string& pathIn, SourceKind kind) {
    entries_.clear();
    folders_.clear();
    tree_.clear();
    firmwareVersion_.clear();
    gpsDataVersion_.clear();
    modelKey_.clear();
    listCounter_ = 0;
    std::string path = pathIn;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    sourcePath_ = path;
    kind_ = kind;

    ScanState state;
    int counter = 0;
    switch (kind) {
    case kSourceCard:
        shownPath_ = path;
        modelKey_ = ModelKeyOfRoot(path);
        state.folderList = true;
        ScanFolder(path, -1, true, true, &counter, 0, state);
        GatherVersionTexts(path);
        SortCatalogue();
        return true;
    case kSourceFolder: {
        shownPath_ = kutil::DirectoryOf(path);
        int top = InsertTreeItem(std::string(kutil::FileNameOf(path)), path, -1, 0);
        ScanFolder(path, top, false, true, &counter, 0, state);
        SortCatalogue();
        return true;
    }
    case kSourceFile: {
        shownPath_ = kutil::DirectoryOf(path);
        if (!platform::IsRegularFile(path) || (probe_.isComplete && !probe_.isComplete(path)))
            return false;
        std::string front, rear;
        if (PairRecording(path, &front, &rear)) AddRecording(front, rear);
        return true;
    }
    case kSourceNone:
        break;
    }
    return true;
}

} // namespace kinetta
