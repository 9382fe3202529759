// kinetta-cli save: the save flow's work from a terminal. Combined recordings
// are separated into one file per camera under the flow's names, the files of
// camera pairs (a given camera file and its partner) are copied; outputs
// appear only when complete. One JSON line per output on stdout.

#include <cstdio>
#include <set>

#include "kinetta/base/job_control.h"
#include "kinetta/catalogue/partner_search.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/fileops/output_files.h"
#include "kinetta/fileops/save_flow.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

constexpr const char* kUsage =
    "usage: kinetta-cli save --family tx40|tx50 --out DIR [--cameras front,rear] [--overwrite] "
    "FILE...\n";

// The recording a given file belongs to: a combined file alone, a camera
// file with its partner. False for a name that is no recording's.
bool EntryOf(const std::string& path, kinetta::RecorderFamily family, kinetta::RecordingEntry* e) {
    using namespace kinetta;
    const std::string name = std::string(kutil::FileNameOf(path));
    if (IsCombinedName(name, family)) {
        e->frontPath = path;
        e->frontName = name;
        return true;
    }
    const bool front = IsFrontName(name, family);
    if (!front && !IsRearName(name, family)) return false;
    const std::string partner = FindPartnerFile(path, false, family);
    e->frontPath = front ? path : partner;
    e->rearPath = front ? partner : path;
    e->frontName = std::string(kutil::FileNameOf(e->frontPath));
    e->rearName = std::string(kutil::FileNameOf(e->rearPath));
    if (e->frontPath.empty()) e->frontName.clear();
    if (e->rearPath.empty()) e->rearName.clear();
    return true;
}

} // namespace

int CmdSave(Args args) {
    playcore::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    std::string out;
    bool front = true, rear = true, overwrite = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--cameras" && i + 1 < args.size()) {
            const std::string& c = args[++i];
            front = c.find("front") != std::string::npos;
            rear = c.find("rear") != std::string::npos;
            if (!front && !rear) {
                std::fprintf(stderr, "%s", kUsage);
                return 2;
            }
        } else if (args[i] == "--overwrite") {
            overwrite = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        } else {
            files.push_back(args[i]);
        }
    }
    if (out.empty() || files.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    std::vector<kinetta::RecordingEntry> entries;
    std::set<std::pair<std::string, std::string>> seen; // a pair given by both its files
    for (const std::string& f : files) {
        if (const std::string why = UnreadableReason(f); !why.empty()) {
            ReportFailure("save", why);
            return 1;
        }
        kinetta::RecordingEntry e;
        if (!EntryOf(f, family, &e)) {
            ReportFailure("save", f + ": not a recording's file name");
            return 1;
        }
        if (seen.insert({e.frontPath, e.rearPath}).second) entries.push_back(std::move(e));
    }
    kinetta::SavePlan plan = kinetta::PlanSave(entries, out, front, rear, family);
    plan.remember = false;
    if (!overwrite) {
        std::vector<std::string> existing = plan.ExistingSeparations();
        for (std::string& c : plan.ExistingCopies())
            existing.push_back(std::move(c));
        if (!existing.empty()) {
            ReportFailure("save", existing.front() + ": exists (--overwrite replaces it)");
            return 1;
        }
    }
    if (plan.TooLarge()) {
        ReportFailure("save", "an output would reach 4 GiB");
        return 1;
    }
    if (!kinetta::FitsInFileSystem(out, plan.LargestOutput())) {
        ReportFailure("save", out + ": an output would reach 4 GiB, more than a file of its FAT "
                                    "file system can hold");
        return 1;
    }
    if (!kinetta::HasRoomFor(out, plan.Bytes())) {
        ReportFailure("save", out + ": not enough free space");
        return 1;
    }
    kinetta::SaveReport report;
    kinetta::JobControl job;
    job.Start([&](kinetta::JobControl& j) { return kinetta::RunSave(plan, j, &report); });
    job.Join();
    const kinetta::JobControl::Outcome outcome = job.TakeOutcome();
    for (const kinetta::SaveOutput& o : report.written) {
        kutil::Json j;
        j["source"] = o.source;
        j["out"] = o.path;
        j["camera"] = o.rear ? "rear" : "front";
        j["separated"] = o.separated;
        j["bytes"] = static_cast<long long>(kinetta::FileBytes(o.path));
        std::printf("%s\n", kutil::JsonLine(j).c_str());
    }
    if (!outcome.completed) {
        ReportFailure("save", report.why.empty() ? std::string("the save failed") : report.why);
        return 1;
    }
    return 0;
}

} // namespace kcli
