#pragma once
// The rules of the recording list and of the file-selection dialog, without
// any window: trigger filter and header sorts of the main list; rows, ticks,
// totals and limits of the file-selection dialog in delete, save and join mode.

#include <cstdint>
#include <string>
#include <vector>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// ---- Main list ----------------------------------------------------------

// Seven switches, one per trigger code 0..6 (TX40 codes 7 and 8 use the
// switches of 3 and 4). Command of switch k: 39000 + k. All on at start.
struct TriggerFilter {
    static constexpr int kFirstCommand = 39000;
    bool on[7] = {true, true, true, true, true, true, true};
    // Whether a recording of that name stays in the list. Rows with no
    // recognised code always stay.
    bool Keeps(const std::string& name, RecorderFamily family) const;
};

// The rows of the main list: the scan result filtered by the switches.
std::vector<RecordingEntry> FilterRows(const std::vector<RecordingEntry>& scan,
                                       const TriggerFilter& filter, RecorderFamily family);

// Header sorts: column 0 back into the order of discovery, column 1 by the
// known-trigger field, smaller first. Stable.
void SortRowsByColumn(std::vector<RecordingEntry>& rows, int column);

// "%d個"
std::string ItemCountText(size_t rows);
// "%llu MB": whole MiB, rounded down.
std::string SizeText(int64_t bytes);
// "%lld MB": the whole MiB of a total of ticked rows, rounded down.
std::string TotalText(uint64_t bytes);

// The trigger codes whose filter switches the panel shows with a label:
// "常時", "衝撃", "マニュアル", "駐車", "駐車衝撃", and for the TX50 family also
// "速度取締機". The radar switch (code 6) has no label and is not shown.
int ShownFilterSwitches(RecorderFamily family);

// The path label of a folder-tree item: the names of the items from the top
// item down to it, joined with backslashes. Empty for an index out of range.
std::string FolderPathText(const std::vector<TreeItem>& tree, int item);

// The name column of the file-selection dialog: DisplayName of the displayed
// name, or "%s/%s" (the file's folder name, then DisplayName) when the delete
// dialog shows all recordings of the source.
std::string SelectionNameText(const RecordingEntry& entry, bool withFolder);

// ---- File-selection dialog -----------------------------------------------

enum class FileSelectMode { Delete = 0, Save = 2, Join = 3 };

class FileSelection {
public:
    static constexpr size_t kMaxRows = 1500;
    static constexpr uint64_t kMaxMiBPerCamera = 1024;
    static constexpr int kMaxFilesPerCamera = 99;

    // Takes the entries handed in (at most the first 1500; Truncated() tells
    // whether more were handed in). Save and join list only movie files.
    FileSelection(FileSelectMode mode, const std::vector<RecordingEntry>& entries);

    FileSelectMode Mode() const { return mode_; }
    bool Truncated() const { return truncated_; }
    size_t RowCount() const { return rows_.size(); }
    const RecordingEntry& Row(size_t i) const { return rows_[i]; }
    bool Ticked(size_t i) const { return ticked_[i]; }

    // Camera switches (save and join); both on at start.
    void SetCameras(bool front, bool rear);
    bool FrontOn() const { return front_; }
    bool RearOn() const { return rear_; }
    // "アップロード変換" (join mode): a single recording is then enough.
    void SetUploadConversion(bool on) { upload_ = on; }

    bool Selectable(size_t row) const;

    // A click on a row's check mark. Returns true when an unselectable row
    // stopped the tick (the dialog then shows its notice after 500 ms).
    bool Click(size_t row);
    // "表示された全てを選択" switched on or off; focus is the focused row.
    // Returns true when an unselectable row bounded the run (join mode).
    bool SelectAllShown(bool on, size_t focus);

    // Totals in bytes: delete mode one total (front + rear of ticked rows);
    // save and join one per camera (a camera switched off counts 0).
    uint64_t TotalBytes() const;
    uint64_t FrontBytes() const;
    uint64_t RearBytes() const;

    bool OkEnabled() const;
    enum class OkCheck { Accept, SizeOver, TooManyFiles };
    // The limits of join mode, checked when OK is pressed.
    OkCheck CheckOk() const;

    // The ticked rows in row order.
    std::vector<RecordingEntry> TickedEntries() const;

private:
    void ApplyRange();

    FileSelectMode mode_;
    std::vector<RecordingEntry> rows_;
    std::vector<bool> ticked_;
    bool truncated_ = false;
    bool front_ = true, rear_ = true, upload_ = false;
    // Join mode keeps the ticks one contiguous range [first, last]; -1 when empty.
    long first_ = -1, last_ = -1;
};

} // namespace kinetta
