// The main window's side of "GPXで保存": the recordings ticked in the
// file-selection dialog (save mode, over the list's rows) are written as one
// GPX file into the folder asked for (remembered under "GPX_FOLDER" once the
// file is written), on the file operations' worker with their progress
// window, cancel and end messages (kinetta/fileops/README.md).

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/map/gpx_export.h"
#include "kinetta/shell/kinetta_dlg.h"

namespace kinetta {

void CkinettaDlg::OnGpxExport() {
    if (!fileOps_) return;
    {
        std::lock_guard lock(stateLock_);
        if (rows_.empty()) return;
    }
    fileOps_->Run([this]() -> JobControl::Work {
        const std::optional<FileSelectAnswer> answer = fileOps_->SelectFiles(FileSelectMode::Save);
        if (!answer || answer->entries.empty()) return {};
        const std::string folder = fileOps_->AskFolder(kGpxFolderKey, kStrGpxSave);
        if (folder.empty()) return {};
        const RecorderFamily family = CurrentFamily();
        return [entries = answer->entries, folder, family](JobControl& job) -> std::uint32_t {
            const map::GpxExportResult r =
                map::ExportGpxToFolder(entries, family, folder, job.RunningFlag(),
                                       [&job](int done, int total) { job.Progress(done, total); });
            if (r.cancelled || !job.Running()) return UM_FILEOP_DONE; // cancelled: no message
            if (!r.ok) {
                job.SetFailure(std::string(UiString(kStrGpxFailed)) + "\n" + r.error);
                return UM_FILEOP_DONE;
            }
            RememberFolder(kGpxFolderKey, folder);
            job.Progress(100, 100);
            job.SetCompleted();
            return UM_FILEOP_DONE;
        };
    });
}

} // namespace kinetta
