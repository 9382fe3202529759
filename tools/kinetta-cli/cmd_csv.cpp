// kinetta-cli csv: the CSV export of a source's recording list, written as
// the viewer's export writes it.

#include <sys/stat.h>

#include <cstdio>

#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/file_selection.h"
#include "kinetta/fileops/csv_export.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

int Fail(const std::string& error) {
    ReportFailure("csv", error);
    std::printf("%s\n", kutil::JsonLine(kutil::Json{{"ok", false}, {"error", error}}).c_str());
    return 1;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int CmdCsv(Args args) {
    using namespace kinetta;
    RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    SourceKind kind = kSourceNone;
    std::string source, out;
    bool overwrite = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && i + 1 < args.size()) {
            kind = static_cast<SourceKind>(SourceKindOf(args[++i]));
        } else if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--overwrite") {
            overwrite = true;
        } else {
            source = args[i];
        }
    }
    if (kind == kSourceNone || source.empty() || out.empty()) {
        std::fprintf(stderr, "usage: kinetta-cli csv --family tx40|tx50 --kind sd|folder|file "
                             "SOURCE --out DIR [--overwrite]\n");
        return 2;
    }
    if (!IsFolder(out)) return Fail(out + ": not a folder");
    const std::string problem = SourceProblem(source, kind);
    if (!problem.empty()) return Fail(problem);

    // The recording list as the viewer shows it with every trigger switch on.
    Catalogue catalogue(family, ContainerProbe(family));
    catalogue.OpenSource(source, kind);
    const std::vector<RecordingEntry> rows =
        FilterRows(catalogue.Entries(), TriggerFilter{}, family);
    if (rows.empty()) return Fail(std::string(UiString(kStrNoMovieFiles)));
    const std::string name = CsvFileNameFor(rows.front(), family);
    if (name.empty()) return Fail(std::string(UiString(kStrCsvCreateFailed)));
    const std::string path = kutil::JoinPath(out, name);
    struct stat st {};
    if (!overwrite && ::lstat(path.c_str(), &st) == 0)
        return Fail(path + ": exists (--overwrite replaces it)");
    if (WriteCsvFile(rows, family, path, nullptr, nullptr) != CsvWriteResult::Written)
        return Fail(std::string(UiString(kStrCsvCreateFailed)));
    std::printf(
        "%s\n",
        kutil::JsonLine(kutil::Json{{"ok", true}, {"path", path}, {"rows", rows.size()}}).c_str());
    return 0;
}

} // namespace kcli
