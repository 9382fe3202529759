// kinetta-cli scan: the catalogue of a card, a folder or one file.

#include <cstdio>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/recording_names.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

int CmdScan(Args args) {
    using namespace kinetta;
    using kutil::Json;
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    SourceKind kind = kSourceNone;
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && i + 1 < args.size()) {
            kind = static_cast<SourceKind>(SourceKindOf(args[++i]));
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
    bool ok = catalogue.OpenSource(path, kind);
    if (!ok) {
        // Only a single file that is not a complete recording is refused.
        error = path + ": not a complete recording of this family";
        ReportFailure("scan", error);
    } else if (const std::string gone = SourceProblem(path, kind); !gone.empty()) {
        // A card pulled during the scan leaves a list of what was read before:
        // not the source's catalogue.
        ok = false;
        error = "the source went away during the scan: " + gone;
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
