#pragma once
// CkinettaApp: the application object. It sets up Qt, the playback session
// and the main window, runs the main window until it closes, and releases
// everything in reverse order. The exit code is 0.

namespace kinetta {

class CkinettaApp {
public:
    // programName: argv[0]; no other argument is read.
    int Run(const char* programName);
};

} // namespace kinetta
