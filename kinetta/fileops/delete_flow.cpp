#include "kinetta/fileops/delete_flow.h"

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/delete_folder.h"
#include "kinetta/catalogue/recording_names.h"

namespace kinetta {

std::uint32_t RunDelete(const std::vector<RecordingEntry>& ticked, RecorderFamily family,
                        JobControl& job, std::vector<RecordingEntry>* deleted) {
    if (ticked.empty()) return UM_FILEOP_DONE;
    // The numbers in use are learned once, from the card of the first file.
    RecordingDeleter deleter(ticked.front().DisplayedPath(), family);
    const int count = static_cast<int>(ticked.size());
    int done = 0;
    for (int i = count - 1; i >= 0 && job.Running(); --i) {
        const RecordingEntry& e = ticked[static_cast<size_t>(i)];
        bool removed = false;
        if (IsCombinedName(e.DisplayedName(), family))
            removed = deleter.DeleteCombined(e.DisplayedPath());
        else if (family == RecorderFamily::TX40)
            removed = deleter.TrashPair(e.frontPath, e.rearPath);
        else // a rear file alone stands for its recording; its partner search finds nothing
            removed = deleter.DeletePair(e.DisplayedPath(), e.frontPath.empty() ? "" : e.rearPath);
        if (!removed) {
            job.SetFailure(std::string(UiString(kStrDeleteFailed)));
            break;
        }
        if (deleted) deleted->push_back(e);
        job.Progress(++done, count);
    }
    if (done == count) {
        job.Progress(count, count);
        job.SetCompleted();
    }
    return done > 0 ? UM_FILEOP_RELOAD : UM_FILEOP_DONE;
}

} // namespace kinetta
