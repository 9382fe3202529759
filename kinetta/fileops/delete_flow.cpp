#include "kinetta/fileops/delete_flow.h"

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/delete_folder.h"
#include "kinetta/catalogue/recording_names.h"

namespace kinetta {

namespace {

// Whether the deleter moves e into the delete folder (else it goes to the trash).
bool GoesToDeleteFolder(const RecordingEntry& e, RecorderFamily family, bool hasDeleteFolder) {
    if (!hasDeleteFolder) return false;
    return family == RecorderFamily::TX50 || IsCombinedName(e.DisplayedName(), family);
}

// text with %1 replaced by count and %2 by folder.
std::string Fill(int textId, int count, const std::string& folder = {}) {
    std::string s(UiString(textId));
    if (size_t at = s.find("%1"); at != std::string::npos) s.replace(at, 2, std::to_string(count));
    if (size_t at = s.find("%2"); at != std::string::npos) s.replace(at, 2, folder);
    return s;
}

} // namespace

DeleteDestinations PlanDeleteDestinations(const std::vector<RecordingEntry>& ticked,
                                          RecorderFamily family) {
    DeleteDestinations d;
    if (ticked.empty()) return d;
    d.deleteFolder = DeleteFolderOf(ticked.front().DisplayedPath());
    for (const RecordingEntry& e : ticked)
        ++(GoesToDeleteFolder(e, family, !d.deleteFolder.empty()) ? d.toDeleteFolder : d.toTrash);
    return d;
}

std::string DeleteQuestionText(const DeleteDestinations& d) {
    std::string s = Fill(kStrDeleteAsk, d.toDeleteFolder + d.toTrash);
    if (d.toDeleteFolder > 0)
        s += "\n" + Fill(kStrDeleteToFolder, d.toDeleteFolder, d.deleteFolder);
    if (d.toTrash > 0) s += "\n" + Fill(kStrDeleteToTrash, d.toTrash);
    return s;
}

std::string DeleteSummaryText(const DeleteDestinations& d) {
    std::string s;
    if (d.toDeleteFolder > 0) s = Fill(kStrDeletedToFolder, d.toDeleteFolder, d.deleteFolder);
    if (d.toTrash > 0) s += (s.empty() ? "" : "\n") + Fill(kStrDeletedToTrash, d.toTrash);
    return s;
}

std::uint32_t RunDelete(const std::vector<RecordingEntry>& ticked, RecorderFamily family,
                        JobControl& job, std::vector<RecordingEntry>* deleted) {
    if (ticked.empty()) return UM_FILEOP_DONE;
    // The numbers in use are learned once, from the card of the first file.
    RecordingDeleter deleter(ticked.front().DisplayedPath(), family);
    DeleteDestinations removed{0, 0, deleter.DeleteFolder()};
    const int count = static_cast<int>(ticked.size());
    int done = 0;
    for (int i = count - 1; i >= 0 && job.Running(); --i) {
        const RecordingEntry& e = ticked[static_cast<size_t>(i)];
        bool ok = false;
        if (IsCombinedName(e.DisplayedName(), family))
            ok = deleter.DeleteCombined(e.DisplayedPath());
        else if (family == RecorderFamily::TX40)
            ok = deleter.TrashPair(e.frontPath, e.rearPath);
        else // a rear file alone stands for its recording; its partner search finds nothing
            ok = deleter.DeletePair(e.DisplayedPath(), e.frontPath.empty() ? "" : e.rearPath);
        if (!ok) {
            job.SetFailure(std::string(UiString(kStrDeleteFailed)));
            break;
        }
        if (deleted) deleted->push_back(e);
        ++(GoesToDeleteFolder(e, family, deleter.UsesDeleteFolder()) ? removed.toDeleteFolder
                                                                     : removed.toTrash);
        job.Progress(++done, count);
    }
    if (done == count) {
        job.Progress(count, count);
        job.SetSummary(DeleteSummaryText(removed));
        job.SetCompleted();
    }
    return done > 0 ? UM_FILEOP_RELOAD : UM_FILEOP_DONE;
}

} // namespace kinetta
