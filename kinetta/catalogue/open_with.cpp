#include "kinetta/catalogue/open_with.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace kinetta {

namespace {

// The resolved form of a path (links and dot segments), for comparing
// folders; the path itself when it cannot be resolved.
std::string Resolved(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

} // namespace

OpenWithChoice ChooseOpenWithSource(const std::string& given, const std::string& currentDirectory,
                                    const std::vector<std::string>& removableRoots) {
    OpenWithChoice out;
    std::string path = given;
    if (!path.empty() && path[0] != '/') path = currentDirectory + "/" + path;
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st {};
    if (given.empty() || ::stat(path.c_str(), &st) != 0) {
        out.refusal = std::string(kOpenPathMissingText) + "\n" + given;
        return out;
    }
    if (S_ISREG(st.st_mode)) {
        out.choice = {kSourceFile, path};
    } else if (S_ISDIR(st.st_mode)) {
        const std::string resolved = Resolved(path);
        out.choice = {kSourceFolder, path};
        for (const std::string& root : removableRoots)
            if (Resolved(root) == resolved) out.choice = {kSourceCard, root};
    } else {
        out.refusal = std::string(kOpenPathNotSourceText) + "\n" + given;
    }
    return out;
}

} // namespace kinetta
