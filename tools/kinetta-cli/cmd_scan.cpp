// kinetta-cli scan: the catalogue of a card, a folder or one file.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/recording_names.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

namespace {

// Why `path` cannot be a source of `kind`: a card and a folder must be
// folders, a file a readable regular file. Empty when it can.
std::string SourceProblem(const std::string& path, kinetta::SourceKind kind) {
    if (kind == kinetta::kSourceFile) return UnreadableReason(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return path + ": not a folder";
    return {};
}

} // namespace

int CmdScan(Args args) {
    using namespace kinetta;
    using kutil::Json;
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    SourceKind kind = kSourceNone;
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && i + 1 < args.size()) {
            const std::string& k = args[++i];
            kind = k == "sd"       ? kSourceCard
                   : k == "folder" ? kSourceFolder
                   : k == "file"   ? kSourceFile
                                   : kSourceNone;
        } else {
            path = args[i];
        }
    }
    if (kind == kSourceNone || path.empty()) {
        std::fprintf(stderr,
                     "usage: kinetta-cli scan --family tx40|tx50 --kind sd|folder|file PATH\n");
        return 2;
    }
    std::string error = SourceProblem(path, kind);
    if (!error.empty()) {
        ReportFailure("scan", error);
        std::printf("%s\n", kutil::JsonLine(Json{{"ok", false}, {"error", error}}).c_str());
        return 1;
    }
    Catalogue catalogue(family, ContainerProbe(family));
    const bool ok = catalogue.OpenSource(path, kind);
    if (!ok) {
        // Only a single file that is not a complete recording is refused.
        error = path + ": not a complete recording of this family";
        ReportFailure("scan", error);
    }

    Json j;
    j["ok"] = ok;
    if (!ok) j["error"] = error;
    j["modelKey"] = catalogue.ModelKey();
    Json entries = Json::array();
    for (const RecordingEntry& e : catalogue.Entries()) {
        Json r;
        r["frontPath"] = e.frontPath;
        r["frontName"] = e.frontName;
        r["rearPath"] = e.rearPath;
        r["rearName"] = e.rearName;
        r["listNumber"] = e.listNumber;
        r["runningNumber"] = e.runningNumber;
        r["knownTrigger"] = e.knownTrigger;
        r["parking"] = e.parking;
        r["timeLapse"] = e.timeLapse;
        r["frontSize"] = e.frontSize;
        r["rearSize"] = e.rearSize;
        r["frontFrames"] = e.frontFrames;
        r["rearFrames"] = e.rearFrames;
        r["displayName"] = DisplayName(e.DisplayedName());
        entries.push_back(std::move(r));
    }
    j["entries"] = std::move(entries);
    Json folders = Json::array();
    for (const FolderRecord& f : catalogue.Folders())
        folders.push_back(Json{{"path", f.path}, {"name", f.name}});
    j["folders"] = std::move(folders);
    Json tree = Json::array();
    for (const TreeItem& t : catalogue.Tree())
        tree.push_back(Json{{"name", t.name}, {"depth", t.depth}, {"filterBits", t.filterBits}});
    j["tree"] = std::move(tree);
    j["firmwareVersion"] = catalogue.FirmwareVersion();
    j["gpsDataVersion"] = catalogue.GpsDataVersion();
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return ok ? 0 : 1;
}

} // namespace kcli
