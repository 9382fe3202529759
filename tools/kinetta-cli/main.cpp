// kinetta-cli: the viewer's core from a terminal, for scripting and checks.

#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/kinetta-cli/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(kcli::Args);
    const char* usage;
};

// One row per sub-command.
const Command kCommands[] = {
    {"names", kcli::CmdNames, "names --family tx40|tx50 NAME...   classify recording file names"},
    {"scan", kcli::CmdScan,
     "scan --family tx40|tx50 --kind sd|folder|file PATH   the catalogue of a source"},
    {"render", kcli::CmdRender,
     "render FILE --frame N --mode 1..5 --size WxH --out OUT.png|.jpg [view options]   "
     "draw a frame through a display model"},
    {"info", kcli::CmdInfo, "info --family tx40|tx50 FILE   box tree, tracks, timing probe"},
    {"telemetry", kcli::CmdTelemetry,
     "telemetry --family tx40|tx50 FILE [--frames N]   GPS and acceleration records"},
    {"join", kcli::CmdJoin,
     "join --family tx40|tx50 OUT INPUT...   join one camera's recordings without re-encoding"},
    {"split", kcli::CmdSplit,
     "split --family tx40|tx50 INPUT FRONT_OUT [REAR_OUT]   one file per camera of a combined "
     "recording"},
    {"events", kcli::CmdEvents,
     "events --family tx40|tx50 FILE [--off ENTRY,...]   the graph's event list, one JSON "
     "object per event"},
    {"graph", kcli::CmdGraph,
     "graph --family tx40|tx50 FILE --frame N --size WxH --out OUT.png [--off ENTRY,...] "
     "[--scale S]   draw the acceleration graph at a position"},
    {"panel", kcli::CmdPanel,
     "panel --family tx40|tx50 FILE --frame N [--card ROOT] [--out OUT.png] [--video-height H]   "
     "the information panel's texts at a position"},
};

void Usage(FILE* out) {
    std::fprintf(out, "usage: kinetta-cli COMMAND [ARGS]\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n", c.usage);
}

} // namespace

namespace kcli {

bool TakeFamilyOption(Args& args, kinetta::RecorderFamily* family) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--family") continue;
        if (i + 1 >= args.size()) break;
        std::string value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        if (value == "tx40")
            *family = kinetta::RecorderFamily::TX40;
        else if (value == "tx50")
            *family = kinetta::RecorderFamily::TX50;
        else
            break;
        kinetta::SetCurrentFamily(*family);
        return true;
    }
    std::fprintf(stderr, "kinetta-cli: --family tx40|tx50 is required\n");
    return false;
}

} // namespace kcli

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string_view name = argv[1];
    for (const Command& c : kCommands)
        if (name == c.name) return c.run(kcli::Args(argv + 2, argv + argc));
    std::fprintf(stderr, "kinetta-cli: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
