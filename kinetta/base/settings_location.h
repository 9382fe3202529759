#pragma once
// Where the viewer keeps "Default_Folder.ini". Started from a shell, the
// file lives in the directory current at start-up (the recorder software's
// rule: a copy on the card keeps its settings beside it). Started from the
// desktop entry (whose command line carries --desktop; the current directory
// is then the home folder), it lives in $XDG_CONFIG_HOME/kinetta, or
// ~/.config/kinetta when XDG_CONFIG_HOME is unset, empty or relative; that
// folder is created (mode 0700) on first use.

#include <string>

namespace kinetta {

struct SettingsLocation {
    std::string directory; // the folder of "Default_Folder.ini"
    std::string note;      // why the desktop folder could not be used; empty when it was
};

// desktopStart: started through the desktop entry. currentDirectory: the
// directory current at start-up. xdgConfigHome, home: the environment's values
// (null when unset). The desktop folder is created here; when it cannot be
// (no home, a file in the way, no permission) the current directory is used
// and note says why.
SettingsLocation ChooseSettingsLocation(bool desktopStart, const std::string& currentDirectory,
                                        const char* xdgConfigHome, const char* home);

} // namespace kinetta
