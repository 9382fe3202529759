#pragma once
// CkinettaApp: the application object. It sets up Qt, the playback session
// and the main window, runs the main window until it closes, and releases
// everything in reverse order. The exit code is 0.

#include <string>

namespace kinetta {

// What the command line asks of a run.
struct AppStart {
    bool desktop = false; // started through the desktop entry (settings_location.h)
    std::string openPath; // the source to open ("kinetta PATH"); empty: the usual one
};

class CkinettaApp {
public:
    // programName: argv[0]; Qt sees no other argument.
    int Run(const char* programName, const AppStart& start = {});
};

} // namespace kinetta
