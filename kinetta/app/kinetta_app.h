#pragma once
// CkinettaApp: the application object. It sets up Qt, the playback session
// and the main window, runs the main window until it closes, and releases
// everything in reverse order. The exit code is 0.

#include <string>

class QCoreApplication;

namespace kinetta {

// Loads Qt's own Japanese texts (qtbase_ja.qm of the system's Qt
// translations, Debian package qt6-translations-l10n) into app, so that the
// folder and file dialogs, their buttons and the text fields' context menus
// speak the interface's language whatever the desktop's locale. False, with a
// line on stderr, when the translations are not installed: Qt's English texts
// are then shown.
bool InstallQtTranslations(QCoreApplication& app);

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
