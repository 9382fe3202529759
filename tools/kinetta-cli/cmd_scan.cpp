// kinetta-cli scan: the catalogue of a card, a folder or one file.

#include <cstdio>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/recording_names.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_writer.h"

namespace kcli {

int CmdScan(Args args) {
    using namespace kinetta;
    RecorderFamily family;
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
    Catalogue catalogue(family, ContainerProbe(family));
    bool ok = catalogue.OpenSource(path, kind);

    kutil::JsonWriter j;
    j.BeginObject();
    j.Key("ok").Bool(ok);
    j.Key("modelKey").String(catalogue.ModelKey());
    j.Key("entries").BeginArray();
    for (const RecordingEntry& e : catalogue.Entries()) {
        j.BeginObject();
        j.Key("frontPath").String(e.frontPath);
        j.Key("frontName").String(e.frontName);
        j.Key("rearPath").String(e.rearPath);
        j.Key("rearName").String(e.rearName);
        j.Key("listNumber").Int(e.listNumber);
        j.Key("runningNumber").Int(e.runningNumber);
        j.Key("knownTrigger").Int(e.knownTrigger);
        j.Key("parking").Int(e.parking);
        j.Key("timeLapse").Int(e.timeLapse);
        j.Key("frontSize").Int(e.frontSize);
        j.Key("rearSize").Int(e.rearSize);
        j.Key("frontFrames").Int(e.frontFrames);
        j.Key("rearFrames").Int(e.rearFrames);
        j.Key("displayName").String(DisplayName(e.DisplayedName()));
        j.EndObject();
    }
    j.EndArray();
    j.Key("folders").BeginArray();
    for (const FolderRecord& f : catalogue.Folders()) {
        j.BeginObject();
        j.Key("path").String(f.path);
        j.Key("name").String(f.name);
        j.EndObject();
    }
    j.EndArray();
    j.Key("tree").BeginArray();
    for (const TreeItem& t : catalogue.Tree()) {
        j.BeginObject();
        j.Key("name").String(t.name);
        j.Key("depth").Int(t.depth);
        j.Key("filterBits").Int(t.filterBits);
        j.EndObject();
    }
    j.EndArray();
    j.Key("firmwareVersion").String(catalogue.FirmwareVersion());
    j.Key("gpsDataVersion").String(catalogue.GpsDataVersion());
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
    return ok ? 0 : 1;
}

} // namespace kcli
