// The flows of the main window's toolbar, their side on the UI thread: what
// each asks before its work starts on the worker.

#include <memory>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/fileops/delete_flow.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/join_flow.h"
#include "kinetta/fileops/output_files.h"
#include "kinetta/fileops/save_flow.h"
#include "platform/files.h"
#include "playcore/container/file_queries.h"
#include "util/text.h"
#if KINETTA_WITH_CONVERT
#include "kinetta/convert/convert_dlg_entry.h"
#include "kinetta/convert/upload_convert.h"
#endif

namespace kinetta {

bool CFileOps::CheckOutputs(const std::string& folder, uint64_t bytes, bool tooLarge,
                            uint64_t largestOutput) {
    if (tooLarge) {
        ShowError(Text(kStrOutputTooLarge));
        return false;
    }
    if (!FitsInFileSystem(folder, largestOutput)) {
        ShowError(Text(kStrOutputTooLargeForFat));
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
        if (!CheckOutputs(folder, plan->Bytes(), plan->TooLarge(), plan->LargestOutput()))
            return {};
        return [plan](JobControl& job) {
            SaveReport report;
            const std::uint32_t end = RunSave(*plan, job, &report);
            std::vector<std::string> files;
            for (const SaveOutput& o : report.written)
                files.push_back(o.path);
            job.SetOutputs(plan->folder, std::move(files));
            return end;
        };
    });
}

bool CFileOps::Delete() {
    return Run([this]() -> JobControl::Work {
        std::optional<FileSelectAnswer> answer = SelectFiles(FileSelectMode::Delete);
        if (!answer || answer->entries.empty()) return {};
        auto ticked =
            std::make_shared<const std::vector<RecordingEntry>>(std::move(answer->entries));
        const RecorderFamily family = CurrentFamily();
        // Nothing is removed unasked: the question names how many recordings
        // go where, and "いいえ" leaves every file where it is.
        const QString question =
            QString::fromStdString(DeleteQuestionText(PlanDeleteDestinations(*ticked, family)));
        if (!AskYesNo(question)) return {};
        return [ticked, family](JobControl& job) { return RunDelete(*ticked, family, job); };
    });
}

namespace {

// The upload conversion of source into destination on the flow's worker:
// 0 done, 1 failed, 2 cancelled. Progress goes to the progress window.
int ConvertOnWorker(JobControl& job, const std::string& source, const std::string& destination,
                    const playcore::ConvertSettings& settings, int totalFrames) {
#if KINETTA_WITH_CONVERT
    return RunUploadConversion(job, source, destination, settings, totalFrames, 0);
#else
    (void)job, (void)source, (void)destination, (void)settings, (void)totalFrames;
    return playcore::kConvertFailed; // a build without the encoder
#endif
}

} // namespace

bool CFileOps::AskConvertSettings(const std::string& source, playcore::ConvertSettings* settings) {
    const RecorderFamily family = CurrentFamily();
    const float frameMs = playcore::ProbedFrameDuration(source, family);
    // Frames per second as the recording gives them: 1000 / the frame duration in ms.
    const float rate = frameMs > 0 ? 1000.0f / frameMs : 0.0f;
    const int frames = static_cast<int>(playcore::FirstSampleCount(source, family));
    const bool flip = host_.flipped && host_.flipped();
    settings->flip = flip;
    settings->combined = IsCombinedName(std::string(kutil::FileNameOf(source)), family);
    if (convertPrompt_) return convertPrompt_(source, frames, rate, flip, settings) == 0;
#if KINETTA_WITH_CONVERT
    ConvertDialogInput input{source, frames, rate, flip};
    return RunConvertDialog(window_, input, settings) == 0;
#else
    return false;
#endif
}

bool CFileOps::JoinOrConvert() {
    const int kind = host_.sourceKind ? host_.sourceKind() : kSourceNone;
    return kind == kSourceFolder || kind == kSourceFile ? ConvertCurrent() : Join();
}

bool CFileOps::Join() {
    return Run([this]() -> JobControl::Work {
        const std::string folder = AskFolder(kConnectFolderKey, kStrSelectBackupFolder);
        if (folder.empty()) return {};
        const std::optional<FileSelectAnswer> answer = SelectFiles(FileSelectMode::Join);
        if (!answer || answer->entries.empty()) return {};
        MarkProcessed(answer->entries);
        const RecorderFamily family = CurrentFamily();
        auto plan = std::make_shared<JoinPlan>(
            PlanJoin(answer->entries, folder, answer->front, answer->rear, family));
        if (!plan->ExistingOutputs().empty() && !AskYesNo(kStrJoinedFileExists)) return {};
        auto settings = std::make_shared<playcore::ConvertSettings>();
        int frames = 0;
        if (answer->upload && plan->front) {
            // The settings are chosen on the first recording's front movie.
            const RecordingEntry& first = plan->entries.front();
            if (!AskConvertSettings(first.DisplayedPath(), settings.get())) return {};
            settings->combined = false; // the joined front movie holds one camera
            plan->convertOut =
                kutil::JoinPath(folder, "YM01_" + std::string(kutil::FileNameOf(plan->frontOut)));
            if (platform::Exists(plan->convertOut) && !AskYesNo(kStrConvertedFileExists)) return {};
            for (const RecordingEntry& e : plan->entries)
                frames += static_cast<int>(e.frontFrames);
        }
        if (!CheckOutputs(folder, plan->Bytes() * (plan->convertOut.empty() ? 1 : 2),
                          plan->TooLarge(), plan->LargestOutput()))
            return {};
        return [plan, settings, frames](JobControl& job) {
            std::vector<std::string> files;
            for (const std::string* out : {&plan->frontOut, &plan->rearOut, &plan->convertOut})
                if (!out->empty()) files.push_back(*out);
            job.SetOutputs(plan->folder, std::move(files));
            return RunJoin(*plan, job,
                           [settings, frames](JobControl& j, const std::string& source,
                                              const std::string& destination) {
                               return ConvertOnWorker(j, source, destination, *settings, frames);
                           });
        };
    });
}

bool CFileOps::ConvertCurrent() {
    const std::optional<RecordingEntry> current =
        host_.selectedRecording ? host_.selectedRecording() : std::nullopt;
    if (!current || current->DisplayedPath().empty()) return false;
    return Run([this, entry = *current]() -> JobControl::Work {
        const std::string folder = AskFolder(kConvertFolderKey, kStrSelectBackupFolder);
        if (folder.empty()) return {};
        const std::string source = entry.DisplayedPath();
        const std::string output =
            kutil::JoinPath(folder, "YM01_" + std::string(kutil::FileNameOf(source)));
        if (platform::Exists(output) && !AskYesNo(kStrConvertedFileExists)) return {};
        auto settings = std::make_shared<playcore::ConvertSettings>();
        if (!AskConvertSettings(source, settings.get())) return {};
        // The re-encoded movie is taken to be about the size of its source.
        if (!CheckOutputs(folder, FileBytes(source), false, FileBytes(source))) return {};
        const int frames = static_cast<int>(entry.frontFrames);
        return [source, output, folder, settings, frames](JobControl& job) -> std::uint32_t {
            const int r = ConvertOnWorker(job, source, output, *settings, frames);
            if (r == playcore::kConvertCancelled || !job.Running()) return UM_FILEOP_DONE;
            if (r != playcore::kConvertDone) {
                job.SetFailure(std::string(UiString(kStrConvertFailed)));
                return UM_FILEOP_DONE;
            }
            RememberFolder(kConvertFolderKey, folder);
            job.SetOutputs(folder, {output});
            job.Progress(100, 100);
            job.SetCompleted();
            return UM_FILEOP_DONE;
        };
    });
}

} // namespace kinetta
