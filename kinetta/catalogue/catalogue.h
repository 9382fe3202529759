#pragma once
// The catalogue of recordings: walking a source (a card, a folder or one
// file), pairing front and rear camera files, and the folder tree of a card.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"

namespace platform {
class FolderIndex;
}

namespace kinetta {

enum SourceKind : int { kSourceNone = 0, kSourceCard = 1, kSourceFolder = 2, kSourceFile = 3 };

// One recording of the catalogue, copied by value into every list that shows it.
struct RecordingEntry {
    std::string frontPath, frontName; // empty when the recording has no front file
    std::string rearPath, rearName;   // empty when there is none
    int32_t listNumber = 0;           // order of discovery in the current scan, from 0
    int32_t runningNumber = 0;        // counts over all scans of the run, never reset
    int32_t reserved = 0;
    int32_t knownTrigger = 0; // the front name's first character when its trigger is known
    int32_t marked = 0;       // set by the file operations
    int32_t parking = 0;      // the displayed name's trigger is a parking kind
    int32_t timeLapse = 0;    // the displayed name's time-lapse position gives 7 or 8
    int64_t frontSize = 0, rearSize = 0;     // bytes; a camera's stream size in a combined file
    int64_t frontFrames = 0, rearFrames = 0; // sample count of the first video track

    // The front name, or the rear name when there is no front file.
    const std::string& DisplayedName() const { return frontName.empty() ? rearName : frontName; }
    const std::string& DisplayedPath() const { return frontPath.empty() ? rearPath : frontPath; }
};

// A date folder of a card that holds recordings (path and name; numbers are -1).
struct FolderRecord {
    std::string path, name;
};

// One item of the folder tree, in insertion order (parents before children).
struct TreeItem {
    std::string name;
    std::string path;
    int parent = -1;    // index of the parent item; -1 for a top item
    int depth = 0;      // 0 for top items
    int filterBits = 0; // union of the trigger filter bits of the recordings directly in it
    bool operator==(const TreeItem&) const = default;
};

// What the scan needs to know of a movie file beyond its name. The viewer
// wires these to the container toolkit; tests may stand in.
struct RecordingProbe {
    // Whether the recorder finished writing the file.
    std::function<bool(const std::string& path)> isComplete;
    // Whether the file opens for reading as a regular file, and its size in
    // bytes. Empty: the scan opens the file itself to find out.
    std::function<bool(const std::string& path, int64_t* size)> readable;
    // Sample count of the first video track; negative or 0 when unreadable.
    std::function<int64_t(const std::string& path)> frameCount;
    // Size in bytes and frame count of one camera's stream (0 front, 1 rear)
    // of a file that carries both; false when the file has no such stream.
    std::function<bool(const std::string& path, int camera, int64_t* size, int64_t* frames)>
        cameraStream;
    // "%d.%d.%d" firmware version from a recording's GPS block; empty when unknown.
    std::function<std::string(const std::string& path)> firmwareVersion;
    // Whether the GPS records' times run several times faster than the movie
    // (a time-lapse recording). Asked only of event clips, whose names do not
    // carry the recorder's time-lapse letter.
    std::function<bool(const std::string& path)> isTimeLapse;
};

// Compares two UTF-8 names in ascending order of their UTF-16 code units: the
// order of folder items and of recordings in the catalogue, independent of the
// locale and of the order the file system lists a folder in.
bool Utf16Less(const std::string& a, const std::string& b);

// The folder items to try when the source's first item lists no recording,
// newest first: the items known to hold recordings (a card's scan marks
// them) before the rest, each group by name from last to first (the
// recorder's date folders, "YYYYMMDD_NNN", sort by date).
std::vector<int> FolderItemsNewestFirst(const std::vector<TreeItem>& tree);
// The index of the item whose folder is `path`; -1 when the tree has none.
int FindTreeItem(const std::vector<TreeItem>& tree, const std::string& path);

class Catalogue {
public:
    Catalogue(RecorderFamily family, RecordingProbe probe);

    // Clears the catalogue and walks the source. Card: the date folders below
    // the root (three levels at most) with the folder tree and folder list.
    // Folder: the folder's own recordings, its subfolders as tree items.
    // File: the file and its partner. False only for a single file that is not
    // a complete recording ("動画のオープンに失敗しました。").
    bool OpenSource(const std::string& path, SourceKind kind);

    // The front and rear paths of the recording of one camera file; false when
    // the name is no camera name or the pair is already in the catalogue.
    bool PairRecording(const std::string& path, std::string* front, std::string* rear) const;
    // Builds an entry and appends it; false when the pair is not accepted.
    bool AddRecording(const std::string& front, const std::string& rear);
    void SortCatalogue();

    const std::vector<RecordingEntry>& Entries() const { return entries_; }
    std::vector<RecordingEntry>& MutableEntries() { return entries_; }
    const std::vector<FolderRecord>& Folders() const { return folders_; }
    const std::vector<TreeItem>& Tree() const { return tree_; }
    const std::string& SourcePath() const { return sourcePath_; }
    SourceKind Kind() const { return kind_; }
    // The folder shown above the list: the card root, the parent of a folder
    // source, or the folder of a single file.
    const std::string& ShownPath() const { return shownPath_; }
    // Version texts for the update check, gathered when a card is opened.
    const std::string& FirmwareVersion() const { return firmwareVersion_; }
    const std::string& GpsDataVersion() const { return gpsDataVersion_; }
    const std::string& ModelKey() const { return modelKey_; }

    static constexpr int kMaxTreeItemsPerLevel = 999;
    static constexpr int kMaxDepth = 3;

private:
    struct ScanState;
    bool PairRecordingIn(const std::string& path, const platform::FolderIndex& folder,
                         std::string* front, std::string* rear) const;
    void ScanFolder(const std::string& folder, int parentItem, bool recurse, bool addEntries,
                    int* counter, int depth, ScanState& state);

public:
    void SetFamily(RecorderFamily family) { family_ = family; }
    // The family and the probe that answers for it.
    void SetFamily(RecorderFamily family, RecordingProbe probe) {
        family_ = family;
        probe_ = std::move(probe);
    }
    RecorderFamily Family() const { return family_; }
    // Asked before each folder is read: true gives the walk up there (the
    // catalogue then holds what was read before). Empty: never given up.
    void SetCancel(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }
    // Names only: the walk reads folders but no file (neither stat'ed, where
    // the folder listing tells files from folders, nor opened): no check of
    // completeness, sizes and frame counts 0. What a folder lists by its
    // names, shown while its files are still being read.
    void SetNamesOnly(bool namesOnly) { namesOnly_ = namesOnly; }
    bool NamesOnly() const { return namesOnly_; }

private:
    int InsertTreeItem(const std::string& name, const std::string& path, int parent, int depth);
    void GatherVersionTexts(const std::string& root);

    RecorderFamily family_;
    RecordingProbe probe_;
    std::function<bool()> cancelled_;
    bool namesOnly_ = false;
    std::vector<RecordingEntry> entries_;
    std::vector<FolderRecord> folders_;
    std::vector<TreeItem> tree_;
    std::string sourcePath_, shownPath_, modelKey_;
    std::string firmwareVersion_, gpsDataVersion_;
    SourceKind kind_ = kSourceNone;
    int32_t listCounter_ = 0;
};

} // namespace kinetta
