#include "kinetta/fileops/save_flow.h"

#include <algorithm>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/output_files.h"
#include "platform/files.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "util/text.h"

namespace kinetta {

namespace {} // namespace

std::string SeparatedName(std::string_view name, char camera) {
    constexpr size_t kExtension = 4;
    if (name.size() < kExtension + 2) return {};
    const std::string_view stem = name.substr(0, name.size() - kExtension);
    std::string out(stem.substr(0, stem.size() - 2));
    out += stem.back();
    out += '_';
    out += camera;
    out += name.substr(name.size() - kExtension);
    return out;
}

SavePlan PlanSave(const std::vector<RecordingEntry>& entries, const std::string& folder, bool front,
                  bool rear, RecorderFamily family) {
    SavePlan plan;
    plan.folder = folder;
    plan.family = family;
    for (const RecordingEntry& e : entries) {
        std::vector<SaveOutput> outs;
        const std::string& name = e.DisplayedName();
        if (IsCombinedName(name, family)) {
            if (front)
                outs.push_back({e.DisplayedPath(),
                                kutil::JoinPath(folder, SeparatedName(name, 'M')), true, false});
            if (rear)
                outs.push_back({e.DisplayedPath(),
                                kutil::JoinPath(folder, SeparatedName(name, 'R')), true, true});
        } else {
            if (front && !e.frontPath.empty())
                outs.push_back(
                    {e.frontPath,
                     kutil::JoinPath(folder, std::string(kutil::FileNameOf(e.frontPath))), false,
                     false});
            if (rear && !e.rearPath.empty())
                outs.push_back({e.rearPath,
                                kutil::JoinPath(folder, std::string(kutil::FileNameOf(e.rearPath))),
                                false, true});
        }
        plan.recordings.push_back(std::move(outs));
    }
    return plan;
}

std::vector<std::string> SavePlan::ExistingSeparations() const {
    std::vector<std::string> found;
    for (const auto& outs : recordings)
        for (const SaveOutput& o : outs)
            if (o.separated && platform::Exists(o.path)) found.push_back(o.path);
    return found;
}

std::vector<std::string> SavePlan::ExistingCopies() const {
    std::vector<std::string> found;
    for (const auto& outs : recordings)
        for (const SaveOutput& o : outs)
            if (!o.separated && platform::Exists(o.path)) found.push_back(o.path);
    return found;
}

uint64_t SavePlan::Bytes() const {
    uint64_t total = 0;
    for (const auto& outs : recordings)
        for (const SaveOutput& o : outs)
            total += FileBytes(o.source);
    return total;
}

bool SavePlan::TooLarge() const {
    for (const auto& outs : recordings)
        for (const SaveOutput& o : outs)
            if (o.separated && FileBytes(o.source) > kMaxOutputBytes) return true;
    return false;
}

uint64_t SavePlan::LargestOutput() const {
    uint64_t largest = 0;
    for (const auto& outs : recordings)
        for (const SaveOutput& o : outs)
            largest = std::max(largest, FileBytes(o.source));
    return largest;
}

std::uint32_t RunSave(const SavePlan& plan, JobControl& job, SaveReport* report) {
    SaveReport local;
    SaveReport& r = report ? *report : local;
    const int count = static_cast<int>(plan.recordings.size());
    bool failed = false;
    for (int i = 0; i < count && job.Running() && !failed; ++i) {
        const std::vector<SaveOutput>& outs = plan.recordings[static_cast<size_t>(i)];
        if (!outs.empty() && outs.front().separated) {
            std::string frontOut, rearOut;
            for (const SaveOutput& o : outs)
                (o.rear ? rearOut : frontOut) = o.path;
            auto movie = playcore::OpenMp4Movie(outs.front().source, true, plan.family);
            if (!movie) {
                r.why = outs.front().source + ": cannot be opened as a movie";
                failed = true;
            } else if (!playcore::SeparateTracks(*movie, frontOut, rearOut, job.RunningFlag(),
                                                 &r.why)) {
                failed = job.Running();
            } else {
                // A movie of two tracks has no rear camera: no rear file.
                const bool hasRear = movie->List(playcore::kTkhdList).size() >= 3;
                for (const SaveOutput& o : outs)
                    if (!o.rear || hasRear) r.written.push_back(o);
            }
        } else {
            for (const SaveOutput& o : outs) {
                const CopyResult c =
                    CopyFileAtomic(o.source, o.path, true, job.RunningFlag(), &r.why);
                if (c == CopyResult::Written) r.written.push_back(o);
                if (c == CopyResult::Failed) failed = true;
                if (c != CopyResult::Written) break;
            }
        }
        if (!failed && job.Running()) job.Progress(i + 1, count);
    }
    if (failed) {
        job.SetFailure(std::string(UiString(kStrSplitFailed)));
        return UM_FILEOP_DONE;
    }
    if (!job.Running()) return UM_FILEOP_DONE; // cancelled: what was written stays
    if (plan.remember) RememberFolder(kDownloadFolderKey, plan.folder);
    job.Progress(100, 100);
    job.SetCompleted();
    return UM_FILEOP_DONE;
}

} // namespace kinetta
