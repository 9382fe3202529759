#include "kinetta/fileops/join_flow.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/output_files.h"
#include "kinetta/fileops/save_flow.h"
#include "platform/files.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "util/text.h"

namespace kinetta {

namespace {

bool Combined(const RecordingEntry& e, RecorderFamily family) {
    return IsCombinedName(e.DisplayedName(), family);
}

std::string Extension(const std::string& name) {
    return name.size() >= 4 ? name.substr(name.size() - 4) : std::string(".MP4");
}

// The stand-in of combined recording k for one camera.
std::string StandIn(const JoinPlan& plan, size_t k, bool rear) {
    char base[32];
    std::snprintf(base, sizeof base, "tempsplit%04d_%c", static_cast<int>(k), rear ? 'R' : 'M');
    return kutil::JoinPath(plan.folder, base + Extension(plan.entries[k].DisplayedName()));
}

// Removes the files it was given when it goes out of scope.
struct Leftovers {
    std::vector<std::string> paths;
    ~Leftovers() {
        for (const std::string& p : paths)
            ::unlink(p.c_str());
    }
};

} // namespace

char JoinKind(bool front, bool rear) {
    return front && rear ? 'B' : front ? 'M' : rear ? 'R' : 'N';
}

std::string JoinedName(const RecordingEntry& first, bool rearCamera, char kind, int count,
                       RecorderFamily family) {
    std::string name;
    if (Combined(first, family)) {
        // Only the join prefix goes ("JB02_"); the name keeps its combined form.
        std::string_view own = first.DisplayedName();
        if (own.size() > 5 && own[0] == 'J' && own[4] == '_') own.remove_prefix(5);
        name = SeparatedName(own, rearCamera ? 'R' : 'M');
    } else
        name = StripJoinPrefix(rearCamera ? first.rearName : first.frontName);
    if (name.empty()) return {};
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "J%c%02d_", kind, count);
    return prefix + name;
}

JoinPlan PlanJoin(const std::vector<RecordingEntry>& entries, const std::string& folder, bool front,
                  bool rear, RecorderFamily family) {
    JoinPlan plan;
    plan.folder = folder;
    plan.family = family;
    plan.entries = entries;
    plan.front = front;
    plan.rear = rear;
    if (entries.empty()) return plan;
    int count = 0;
    for (const RecordingEntry& e : entries)
        count += JoinCount(e.DisplayedName());
    const char kind = JoinKind(front, rear);
    if (front)
        plan.frontOut =
            kutil::JoinPath(folder, JoinedName(entries.front(), false, kind, count, family));
    if (rear)
        plan.rearOut =
            kutil::JoinPath(folder, JoinedName(entries.front(), true, kind, count, family));
    return plan;
}

std::vector<std::string> JoinPlan::ExistingOutputs() const {
    std::vector<std::string> found;
    for (const std::string* p : {&frontOut, &rearOut})
        if (!p->empty() && platform::Exists(*p)) found.push_back(*p);
    return found;
}

uint64_t JoinPlan::CameraBytes(bool rearCamera) const {
    uint64_t total = 0;
    for (const RecordingEntry& e : entries)
        total += Combined(e, family) ? FileBytes(e.DisplayedPath())
                                     : FileBytes(rearCamera ? e.rearPath : e.frontPath);
    return total;
}

uint64_t JoinPlan::Bytes() const {
    uint64_t total = 0;
    for (bool rearCamera : {false, true}) {
        if (rearCamera ? !rear : !front) continue;
        total += CameraBytes(rearCamera);
        for (const RecordingEntry& e : entries) // the stand-ins live until the end
            if (Combined(e, family)) total += FileBytes(e.DisplayedPath());
    }
    return total;
}

bool JoinPlan::TooLarge() const {
    return (front && CameraBytes(false) > kMaxOutputBytes) ||
           (rear && CameraBytes(true) > kMaxOutputBytes);
}

uint64_t JoinPlan::LargestOutput() const {
    return std::max(front ? CameraBytes(false) : 0, rear ? CameraBytes(true) : 0);
}

std::uint32_t RunJoin(const JoinPlan& plan, JobControl& job, const JoinConversion& convert,
                      std::string* why) {
    std::string local;
    std::string& reason = why ? *why : local;
    auto fail = [&](int text) {
        job.SetFailure(std::string(UiString(text)));
        return UM_FILEOP_DONE;
    };
    const int count = static_cast<int>(plan.entries.size());
    if (count == 0 || (!plan.front && !plan.rear)) return fail(kStrJoinFailed);

    // The files that stand for each recording, per camera.
    Leftovers standIns;
    std::vector<std::string> fronts(plan.entries.size()), rears(plan.entries.size());
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const RecordingEntry& e = plan.entries[k];
        if (!Combined(e, plan.family)) {
            fronts[k] = plan.front ? e.frontPath : "";
            rears[k] = plan.rear ? e.rearPath : "";
            continue;
        }
        if (!job.Running()) return UM_FILEOP_DONE;
        auto movie = playcore::OpenMp4Movie(e.DisplayedPath(), true, plan.family);
        const std::string f = plan.front ? StandIn(plan, k, false) : "";
        const std::string r = plan.rear ? StandIn(plan, k, true) : "";
        for (const std::string& p : {f, r})
            if (!p.empty()) standIns.paths.push_back(p);
        if (!movie || !playcore::SeparateTracks(*movie, f, r, job.RunningFlag(), &reason))
            return job.Running() ? fail(kStrJoinFailed) : UM_FILEOP_DONE;
        fronts[k] = f;
        rears[k] = r;
    }

    std::unique_ptr<playcore::sMULTIMOVIE> join =
        playcore::OpenJoin(fronts[0], rears[0], plan.family);
    if (!join) {
        reason = "the first recording cannot be opened";
        return fail(kStrJoinFailed);
    }
    job.Progress(0, count);
    for (size_t k = 1; k < plan.entries.size(); ++k) {
        if (!job.Running()) return UM_FILEOP_DONE; // cancelled: nothing written
        if (!playcore::AppendToJoin(*join, fronts[k], rears[k], &reason) || !join->valid)
            return fail(kStrJoinFailed);
    }
    if (!job.Running()) return UM_FILEOP_DONE;

    job.Progress(0, count);
    if (plan.front && !playcore::WriteJoined(*join, playcore::JoinCamera::Front, plan.frontOut,
                                             job.RunningFlag(), &reason))
        return job.Running() ? fail(kStrJoinFailed) : UM_FILEOP_DONE;
    job.Progress(50, count);
    if (plan.rear && !playcore::WriteJoined(*join, playcore::JoinCamera::Rear, plan.rearOut,
                                            job.RunningFlag(), &reason)) {
        // The outputs appear together or not at all.
        if (plan.front) ::unlink(plan.frontOut.c_str());
        return job.Running() ? fail(kStrJoinFailed) : UM_FILEOP_DONE;
    }
    job.Progress(100, count);
    join.reset();

    if (!plan.convertOut.empty() && plan.front && convert) {
        const int r = convert(job, plan.frontOut, plan.convertOut);
        if (r == 2 || !job.Running()) return UM_FILEOP_DONE;
        if (r != 0) return fail(kStrConvertFailed);
    }
    if (plan.remember) RememberFolder(kConnectFolderKey, plan.folder);
    job.Progress(100, 100);
    job.SetCompleted();
    return UM_FILEOP_DONE;
}

} // namespace kinetta
