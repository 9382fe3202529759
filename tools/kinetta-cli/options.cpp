// Options and failure reports shared by the commands of both executables.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kinetta/catalogue/catalogue.h"
#include "tools/kinetta-cli/commands.h"

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

std::string UnreadableReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path + ": not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return path + ": " + std::strerror(errno);
    ::close(fd);
    return {};
}

int SourceKindOf(const std::string& text) {
    using namespace kinetta;
    return text == "sd"       ? kSourceCard
           : text == "folder" ? kSourceFolder
           : text == "file"   ? kSourceFile
                              : kSourceNone;
}

std::string SourceProblem(const std::string& path, int kind) {
    if (kind == kinetta::kSourceFile) return UnreadableReason(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return path + ": not a folder";
    return {};
}

void ReportFailure(const char* command, const std::string& reason) {
    std::fprintf(stderr, "kinetta-cli %s: %s\n", command, reason.c_str());
}

} // namespace kcli
