#pragma once
// The delete flow's work: the ticked recordings removed, last row first, by
// the recorder's convention (kinetta/catalogue/delete_folder.h): in the TX40
// family a combined recording goes to the card's delete folder as
// "TEMP####.DAT" (or to the trash without one) and a camera pair to the
// trash; in the TX50 family both follow the delete-folder convention.

#include <cstdint>
#include <string>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// Where a delete sends the ticked recordings, decided before anything is
// removed so that the question can name it: each recording either moves into
// the card's delete folder or goes to the trash.
struct DeleteDestinations {
    int toDeleteFolder = 0;   // recordings moved into deleteFolder
    int toTrash = 0;          // recordings sent to the trash
    std::string deleteFolder; // the card's "Delete Folder"; empty without one
};
// The same decision RunDelete makes: the delete folder of the first ticked
// file's card; a TX40 camera pair always goes to the trash.
DeleteDestinations PlanDeleteDestinations(const std::vector<RecordingEntry>& ticked,
                                          RecorderFamily family);
// The question's lines ("%1件の録画を削除します。..." and one line per
// destination) and the completion's lines, UTF-8.
std::string DeleteQuestionText(const DeleteDestinations& d);
std::string DeleteSummaryText(const DeleteDestinations& d);

// The work (worker thread). UM_PROGRESS (recordings done, count) after each,
// (count, count) at the end and the completion. A removal that fails stops
// the flow with "動画ファイルの削除に失敗しました。"; a cleared running flag stops
// it between two recordings. Returns UM_FILEOP_RELOAD when any recording was
// removed (the list must lose it, also after a failure or a cancel), else
// UM_FILEOP_DONE. deleted (if given) receives the removed entries. The
// completion carries DeleteSummaryText of the recordings removed.
std::uint32_t RunDelete(const std::vector<RecordingEntry>& ticked, RecorderFamily family,
                        JobControl& job, std::vector<RecordingEntry>* deleted = nullptr);

} // namespace kinetta
