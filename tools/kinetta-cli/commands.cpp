// The table of kinetta-cli's commands. This file is compiled into both
// executables: KINETTA_CLI_DRAW_SIDE is 1 in `kinetta-cli-draw` and 0 in
// `kinetta-cli`, and each row names its function only in the executable that
// runs it, so the pure executable never links the drawing code.

#include "tools/kinetta-cli/commands.h"

#if KINETTA_CLI_DRAW_SIDE
#define KCLI_PURE(fn) Side::Pure, nullptr
#define KCLI_DRAW(fn) Side::Draw, &fn
#else
#define KCLI_PURE(fn) Side::Pure, &fn
#define KCLI_DRAW(fn) Side::Draw, nullptr
#endif

namespace kcli {

namespace {

// One row per command.
const Command kCommands[] = {
    {"names", KCLI_PURE(CmdNames),
     "names --family tx40|tx50 NAME...   classify recording file names"},
    {"scan", KCLI_PURE(CmdScan),
     "scan --family tx40|tx50 --kind sd|folder|file PATH   the catalogue of a source"},
    {"info", KCLI_PURE(CmdInfo), "info --family tx40|tx50 FILE   box tree, tracks, timing probe"},
    {"telemetry", KCLI_PURE(CmdTelemetry),
     "telemetry --family tx40|tx50 FILE [--frames N]   GPS and acceleration records"},
    {"join", KCLI_PURE(CmdJoin),
     "join --family tx40|tx50 [--overwrite] OUT INPUT...   join one camera's recordings without "
     "re-encoding; an existing OUT is kept unless --overwrite is given"},
    {"split", KCLI_PURE(CmdSplit),
     "split --family tx40|tx50 [--overwrite] INPUT FRONT_OUT [REAR_OUT]   one file per camera of "
     "a combined recording; existing outputs are kept unless --overwrite is given"},
    {"csv", KCLI_PURE(CmdCsv),
     "csv --family tx40|tx50 --kind sd|folder|file SOURCE --out DIR [--overwrite]   export the "
     "recording list as the viewer's CSV file and print its path"},
    {"save", KCLI_PURE(CmdSave),
     "save --family tx40|tx50 --out DIR [--cameras front,rear] [--overwrite] FILE...   the "
     "viewer's save: combined recordings separated, pairs copied; one JSON line per output"},
    {"render", KCLI_DRAW(CmdRender),
     "render FILE --frame N --mode 1..5 --size WxH --out OUT.png|.jpg [view options]   "
     "draw a frame through a display model"},
    {"events", KCLI_PURE(CmdEvents),
     "events --family tx40|tx50 FILE [--off ENTRY,...]   the graph's event list, one JSON "
     "object per event"},
    {"gpx", KCLI_PURE(CmdGpx),
     "gpx --family tx40|tx50 FILE... --out OUT.gpx   the recordings' tracks and events as GPX 1.1"},
    {"clip", KCLI_PURE(CmdClip),
     "clip --family tx40|tx50 FILE (--at SECONDS | --event K) [--before S] [--after S] --out DIR"
     "   an event clip of each camera and its index, cut without re-encoding; one JSON line"},
    {"clips", KCLI_PURE(CmdClips),
     "clips --family tx40|tx50 --kind sd|folder SOURCE [--kinds shock,user,emergency,parking,"
     "speeding,camera,radar,assist] [--before S] [--after S] --out DIR   a clip of every event of "
     "those kinds (overlapping clips of one recording merged); one JSON line per clip"},
    {"update-check", KCLI_PURE(CmdUpdateCheck),
     "update-check --endpoints FILE [--model KEY] [--firmware TEXT] [--gps TEXT]   run the "
     "update check once; the notice's text as JSON"},
    {"grab", KCLI_DRAW(CmdGrab),
     "grab --family tx40|tx50 FILE --frame N [--mode 1..5] [--size WxH] --out OUT.jpg   "
     "the still the viewer saves of frame N, played through the movie player"},
    {"graph", KCLI_DRAW(CmdGraph),
     "graph --family tx40|tx50 FILE --frame N --size WxH --out OUT.png [--off ENTRY,...] "
     "[--scale S]   draw the acceleration graph at a position"},
    {"panel", KCLI_DRAW(CmdPanel),
     "panel --family tx40|tx50 FILE --frame N [--card ROOT] [--out OUT.png] [--video-height H]   "
     "the information panel's texts at a position"},
    {"map", KCLI_DRAW(CmdMap),
     "map --family tx40|tx50 FILE... [--current K] --frame N --size WxH --out OUT.png "
     "[--tiles TEMPLATE] [--state OUT.json]   the map page with the recordings' tracks at a "
     "position (needs a display)"},
    {"convert", KCLI_DRAW(CmdConvert),
     "convert --family tx40|tx50 IN --out OUT [--mask LEFT,TOP,RIGHT,BOTTOM]... [--mute] "
     "[--flip] [--preset NAME] [--encoder auto|x264|vaapi|nvenc] [--no-spherical]   upload "
     "conversion: 1920 x 960 360-degree panorama, H.264, masks"},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

} // namespace kcli
