#pragma once
// The recorder's delete convention: on a card with a "Delete Folder" in its
// root, deleting a recording moves it there under a numbered name (NTM/PTM
// numbers for camera files, TEMP for combined files); anywhere else a deleted
// recording goes to the trash.

#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

inline constexpr int kMaxDeleteNumber = 9999;

// Numbers in use in a delete folder, each list sorted ascending.
struct DeleteNumbers {
    std::vector<int> normal;  // "NTM####F.DAT"
    std::vector<int> parking; // "PTM####F.DAT"
    std::vector<int> temp;    // "TEMP####.DAT"
};

// Scans the files (not folders) of a delete folder. Only front files set a
// number: the rear file of a pair is moved under the same number.
DeleteNumbers ScanDeleteFolder(const std::string& folder);

// The next number to use after the sorted numbers in use. TX40: the lowest
// free number from 0 up. TX50: the number just below the topmost run of
// consecutive numbers, or the largest plus 1 when that run reaches down to 0.
// May return more than kMaxDeleteNumber; such a number is never used.
int NextDeleteNumber(const std::vector<int>& sortedInUse, RecorderFamily family);

// "Delete Folder" in the root of the removable card that holds path (the name
// as it stands on the card), or empty when path is not on a removable card or
// the card has no such folder.
std::string DeleteFolderOf(const std::string& path);

// Deletes recordings by the convention. One instance serves one delete run:
// it learns the numbers in use once, from the card of the first file.
class RecordingDeleter {
public:
    RecordingDeleter(const std::string& firstPath, RecorderFamily family);

    bool UsesDeleteFolder() const { return !deleteFolder_.empty(); }
    const std::string& DeleteFolder() const { return deleteFolder_; }
    const DeleteNumbers& NumbersInUse() const { return inUse_; }

    // A camera pair: both files moved into the delete folder under one number
    // of each file's kind (NTM or PTM), or both sent to the trash. An empty
    // rearPath is looked up with the partner search (unfinished files allowed);
    // a pair without a rear file moves only the front. The emptied folder of
    // each file is removed. False when a move fails; the flow then stops, and
    // a front file already moved is moved back, so no pair is left split.
    bool DeletePair(const std::string& frontPath, std::string rearPath);

    // Both files of a pair (each only if present) to the trash. When the
    // second cannot go, the first comes back: a pair is never left split.
    bool TrashPair(const std::string& frontPath, const std::string& rearPath);

    // A combined recording: "TEMP####.DAT" in the delete folder, or the trash.
    bool DeleteCombined(const std::string& path);

    // Sends one file to the trash; false when it could not be moved there.
    static bool Trash(const std::string& path);

private:
    bool MoveInto(const std::string& path, const std::string& targetName);

    RecorderFamily family_;
    std::string deleteFolder_;
    DeleteNumbers inUse_;
};

} // namespace kinetta
