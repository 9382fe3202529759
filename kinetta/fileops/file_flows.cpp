// The flows of the main window's toolbar, their side on the UI thread: what
// each asks before its work starts on the worker.

#include <memory>

#include "kinetta/base/recorder_family.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/fileops/delete_flow.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/output_files.h"
#include "kinetta/fileops/save_flow.h"

namespace kinetta {

bool CFileOps::CheckOutputs(const std::string& folder, uint64_t bytes, bool tooLarge) {
    if (tooLarge) {
        ShowError(Text(kStrOutputTooLarge));
        return false;
    }
    if (!HasRoomFor(folder, bytes)) {
        ShowError(Text(kStrNoSpaceForOutput));
        return false;
    }
    return true;
}

bool CFileOps::Save() {
    return Run([this]() -> JobControl::Work {
        const std::string folder = AskFolder(kDownloadFolderKey, kStrSelectBackupFolder);
        if (folder.empty()) return {};
        const std::optional<FileSelectAnswer> answer = SelectFiles(FileSelectMode::Save);
        if (!answer || answer->entries.empty()) return {};
        MarkProcessed(answer->entries);
        auto plan = std::make_shared<const SavePlan>(
            PlanSave(answer->entries, folder, answer->front, answer->rear, CurrentFamily()));
        // Both questions come before anything is written: "いいえ" leaves the
        // folder as it was.
        if (!plan->ExistingSeparations().empty() && !AskYesNo(kStrSplitFileExists)) return {};
        if (!plan->ExistingCopies().empty() && !AskYesNo(kStrConvertedFileExists)) return {};
        if (!CheckOutputs(folder, plan->Bytes(), plan->TooLarge())) return {};
        return [plan](JobControl& job) { return RunSave(*plan, job); };
    });
}

bool CFileOps::Delete() {
    return Run([this]() -> JobControl::Work {
        std::optional<FileSelectAnswer> answer = SelectFiles(FileSelectMode::Delete);
        if (!answer || answer->entries.empty()) return {};
        auto ticked =
            std::make_shared<const std::vector<RecordingEntry>>(std::move(answer->entries));
        const RecorderFamily family = CurrentFamily();
        return [ticked, family](JobControl& job) { return RunDelete(*ticked, family, job); };
    });
}

} // namespace kinetta
