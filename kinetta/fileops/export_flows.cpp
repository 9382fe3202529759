#include "kinetta/fileops/export_flows.h"

#include <sys/stat.h>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/fileops/csv_export.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/snapshot_names.h"
#include "util/text.h"

namespace kinetta {

namespace {

// Whether anything (a file, a folder, a dangling link) holds the name.
bool NameTaken(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

} // namespace

JobControl::Work PrepareCsvExport(CFileOps& ops, std::vector<RecordingEntry> rows,
                                  RecorderFamily family) {
    const std::string folder = ops.AskFolder(kCsvFolderKey, kStrSelectOutputFolder);
    if (folder.empty()) return {};
    if (rows.empty()) {
        ops.ShowError(Text(kStrNoMovieFiles));
        return {};
    }
    const std::string name = CsvFileNameFor(rows.front(), family);
    if (name.empty()) {
        ops.ShowError(Text(kStrCsvCreateFailed));
        return {};
    }
    const std::string path = kutil::JoinPath(folder, name);
    if (NameTaken(path) && !ops.AskYesNo(kStrFileExists)) return {};
    return [folder, path, rows = std::move(rows), family](JobControl& job) -> std::uint32_t {
        const CsvWriteResult r =
            WriteCsvFile(rows, family, path, job.RunningFlag(),
                         [&job](int done, int total) { job.Progress(done, total); });
        if (r == CsvWriteResult::Failed) job.SetFailure(std::string(UiString(kStrCsvCreateFailed)));
        if (r != CsvWriteResult::Written) return UM_FILEOP_DONE;
        RememberFolder(kCsvFolderKey, folder);
        job.SetOutputs(folder, {path});
        job.SetCompleted();
        return UM_FILEOP_DONE;
    };
}

CStillCapture::Result CStillCapture::Run(RecorderFamily family) {
    if (running_) return Result::Busy;
    running_ = true;
    host_.holdControls(true);
    const Result result = Steps(family);
    if (result == Result::Failed) ops_.ShowError(Text(kStrImageSaveFailed));
    if (result == Result::Saved) {
        JobControl::Outcome saved;
        saved.completed = true;
        saved.folder = folder_;
        saved.files = {front_};
        if (NameTaken(rear_)) saved.files.push_back(rear_); // one camera only: no rear picture
        ops_.ShowCompleted(saved);
    }
    running_ = false;
    host_.holdControls(false);
    return result;
}

CStillCapture::Result CStillCapture::Steps(RecorderFamily family) {
    front_.clear();
    rear_.clear();
    folder_.clear();
    const std::string folder = ops_.AskFolder(kSnapshotFolderKey, kStrSelectBackupFolder);
    if (folder.empty()) return Result::Cancelled;
    const std::optional<RecordingEntry> entry = host_.recording();
    if (!entry) return Result::Failed;
    // The movie stands still from here on, so that both pictures and the
    // names show the same position.
    const long long position = host_.holdPosition();
    const std::string& name = entry->DisplayedName();
    front_ = SnapshotFrontPath(folder, name, RecordingFileNumber(name), position, family);
    if (front_.empty()) return Result::Failed; // no position: no name
    rear_ = SnapshotRearPath(front_, family);
    // The rear picture's name is asked about too: replacing it unasked would
    // lose a picture as surely as replacing the front one.
    if ((NameTaken(front_) || NameTaken(rear_)) && !ops_.AskYesNo(kStrFileExists))
        return Result::Cancelled;
    const bool saved = host_.presentAt(position) && host_.saveStills(front_, rear_) == 1;
    host_.restore();
    if (!saved) return Result::Failed;
    RememberFolder(kSnapshotFolderKey, folder);
    folder_ = folder;
    return Result::Saved;
}

} // namespace kinetta
