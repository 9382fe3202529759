// kinetta: the drive-recorder viewer.
//
//   kinetta [--desktop] [PATH]
//
// PATH opens a card's mount root, a folder or a recording as the source, as
// choosing it in the source dialog does (kinetta/catalogue/open_with.h).
// --desktop marks a start through the desktop entry: the settings file
// "Default_Folder.ini" is then kept in $XDG_CONFIG_HOME/kinetta instead of the
// directory the viewer starts in (kinetta/base/settings_location.h).

#include <cstdio>
#include <cstring>

#include "kinetta/app/kinetta_app.h"

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
            std::printf("usage: kinetta [--desktop] [PATH]\n");
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
