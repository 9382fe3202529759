// kinetta: the drive-recorder viewer.
//
//   kinetta [--desktop] [PATH]
//   kinetta --help | --version
//
// PATH opens a card's mount root, a folder or a recording as the source, as
// choosing it in the source dialog does (kinetta/catalogue/open_with.h).
// --desktop marks a start through the desktop entry: the settings file
// "Default_Folder.ini" is then kept in $XDG_CONFIG_HOME/kinetta instead of the
// directory the viewer starts in (kinetta/base/settings_location.h).

#include <cstdio>
#include <cstring>

#include "kinetta/app/kinetta_app.h"
#include "util/version_text.h"

namespace {

// Printed by --help before anything of Qt starts, so it needs no display; the
// manual page kinetta(1) is made from it with help2man.
const char kHelp[] =
    "Usage: kinetta [--desktop] [PATH]\n"
    "\n"
    "Plays the front and rear recordings of a car drive recorder in step, with the\n"
    "drive on a map and the acceleration graph.\n"
    "\n"
    "PATH is opened as the source, as choosing it in the source dialog does: a\n"
    "removable card's mount root as an SD card, any other folder as a folder, a\n"
    "file as a single recording.\n"
    "\n"
    "Options:\n"
    "      --desktop  started from the desktop entry: the settings file\n"
    "                 Default_Folder.ini is kept in $XDG_CONFIG_HOME/kinetta\n"
    "                 (~/.config/kinetta) instead of the current directory\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    kinetta::AppStart start;
    bool options = true;
    int paths = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (options && std::strcmp(a, "--") == 0) {
            options = false;
        } else if (options && std::strcmp(a, "--desktop") == 0) {
            start.desktop = true;
        } else if (options && (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0)) {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (options && std::strcmp(a, "--version") == 0) {
            std::fputs(kutil::VersionText("kinetta").c_str(), stdout);
            return 0;
        } else if (options && a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "kinetta: unknown option %s\nusage: kinetta [--desktop] [PATH]\n",
                         a);
            return 2;
        } else {
            start.openPath = a;
            ++paths;
        }
    }
    if (paths > 1) {
        std::fprintf(stderr, "kinetta: one source at a time\nusage: kinetta [--desktop] [PATH]\n");
        return 2;
    }
    kinetta::CkinettaApp app;
    return app.Run(argv[0], start);
}
