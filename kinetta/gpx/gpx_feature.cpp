#include "kinetta/gpx/gpx_feature.h"

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/gpx/gpx_export.h"

namespace kinetta {

void GpxFeature::OnCommand(int) {
    if (viewer_.Rows().empty()) return;
    // The export reads only the recordings' GPS blocks through its own
    // mappings: the recording being watched stays open and playing or
    // paused where it was.
    ops_.Run(
        [this]() -> JobControl::Work {
            const std::optional<FileSelectAnswer> answer =
                ops_.SelectFiles(FileSelectMode::Save, kStrGpxSave);
            if (!answer || answer->entries.empty()) return {};
            const std::string folder = ops_.AskFolder(kGpxFolderKey, kStrGpxSave);
            if (folder.empty()) return {};
            const RecorderFamily family = CurrentFamily();
            return [entries = answer->entries, folder, family](JobControl& job) -> std::uint32_t {
                const gpx::GpxExportResult r = gpx::ExportGpxToFolder(
                    entries, family, folder, job.RunningFlag(),
                    [&job](int done, int total) { job.Progress(done, total); });
                if (r.cancelled || !job.Running()) return UM_FILEOP_DONE; // cancelled: no message
                if (!r.ok) {
                    job.SetFailure(std::string(UiString(kStrGpxFailed)) + "\n" + r.error);
                    return UM_FILEOP_DONE;
                }
                RememberFolder(kGpxFolderKey, folder);
                job.SetOutputs(folder, {r.path});
                job.Progress(100, 100);
                job.SetCompleted();
                return UM_FILEOP_DONE;
            };
        },
        CFileOps::Recording::kKeep);
}

} // namespace kinetta
