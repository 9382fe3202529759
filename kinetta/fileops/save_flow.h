#pragma once
// The save flow's work: every ticked recording written into one folder. A
// combined recording (both cameras in one file) is separated into one file
// per camera, named from the recording's name (012_153012_A.MP4 gives
// 012_153012A_M.MP4 and 012_153012A_R.MP4); the files of a camera pair are
// copied under their own names. Only the cameras switched on are written.
// Outputs appear under their final names only when complete.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// The name of one camera's file separated from a combined recording: the
// name without its four-character extension, less its last two characters,
// then its last character (the trigger letter), "_" + camera ('M' or 'R'),
// and the extension. Empty for a name too short to have those parts.
std::string SeparatedName(std::string_view combinedName, char camera);

// One file the save writes.
struct SaveOutput {
    std::string source;     // the recording's file
    std::string path;       // the output, in the chosen folder
    bool separated = false; // one camera separated from a combined file
    bool rear = false;      // the rear camera's file
};

struct SavePlan {
    std::string folder;
    RecorderFamily family = RecorderFamily::TX40;
    // Whether a successful save stores the folder under "DOWNLOAD_FOLDER"
    // (the viewer's flow; not the command line).
    bool remember = true;
    // Per ticked recording, in order: its outputs (a separation lists the
    // front output first; both come from one write).
    std::vector<std::vector<SaveOutput>> recordings;

    // Outputs that exist already: separations (asked with "同名の分割済みファイル
    // が存在します。続行しますか？") and copies (asked with "同名のアップロード変換済み
    // ファイルが存在します。続行しますか？").
    std::vector<std::string> ExistingSeparations() const;
    std::vector<std::string> ExistingCopies() const;
    // Bytes the outputs take at most: a separated file is never larger than
    // its source.
    uint64_t Bytes() const;
    // Whether one output could reach 4 GiB, which the boxes cannot describe.
    bool TooLarge() const;
    // Bytes of the largest single output at most (its source's size), for the
    // file-size limit of the folder's file system (FAT32: below 4 GiB).
    uint64_t LargestOutput() const;
};

// The plan for the ticked entries: combined recordings by their name, the
// others as pairs whose present files are copied.
SavePlan PlanSave(const std::vector<RecordingEntry>& entries, const std::string& folder, bool front,
                  bool rear, RecorderFamily family);

// What a save run did.
struct SaveReport {
    std::vector<SaveOutput> written;
    std::string why; // the reason of a failure, for the command line
};

// The work (worker thread): each recording in order, stopping between two
// recordings (and within a write) when the running flag is cleared; UM_PROGRESS
// (recordings done, count) after each. Existing copies are replaced (the user
// was asked first); separations replace theirs the same way. Success:
// "DOWNLOAD_FOLDER" remembers the folder, progress (100, 100), completion.
// Failure: "動画の分割に失敗しました。". Returns UM_FILEOP_DONE.
std::uint32_t RunSave(const SavePlan& plan, JobControl& job, SaveReport* report = nullptr);

} // namespace kinetta
