#include "kinetta/base/settings_location.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace kinetta {

namespace {

// Creates each missing folder of path (mode 0700); true when path ends up a
// directory.
bool MakeFolders(const std::string& path, std::string* why) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *why = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    if (!platform::IsDirectory(path)) {
        *why = path + ": not a folder";
        return false;
    }
    return true;
}

} // namespace

SettingsLocation ChooseSettingsLocation(bool desktopStart, const std::string& currentDirectory,
                                        const char* xdgConfigHome, const char* home) {
    if (!desktopStart) return {currentDirectory, {}};
    std::string base;
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        base = xdgConfigHome;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.config";
    else
        return {currentDirectory, "neither XDG_CONFIG_HOME nor HOME is an absolute path"};
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string folder = (base == "/" ? std::string() : base) + "/kinetta";
    std::string why;
    if (!MakeFolders(folder, &why)) return {currentDirectory, why};
    return {folder, {}};
}

} // namespace kinetta
