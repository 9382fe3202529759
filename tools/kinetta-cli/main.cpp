// kinetta-cli: the viewer's core from a terminal, for scripting and checks.
//
// One source for both executables. `kinetta-cli` runs the pure commands and
// loads no Qt, GL or codec library, so a call starts in a few milliseconds;
// for a drawing command it replaces itself (execv, same arguments) with
// `kinetta-cli-draw` from its own folder (found through /proc/self/exe).
// `kinetta-cli-draw` runs the drawing commands and hands a pure one back the
// same way, so either can be called with any command.

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/kinetta-cli/commands.h"
#include "util/version_text.h"

namespace {

using kcli::Command;
using kcli::Side;

#if KINETTA_CLI_DRAW_SIDE
constexpr Side kThisSide = Side::Draw;
#else
constexpr Side kThisSide = Side::Pure;
#endif

const char* ExecutableOf(Side side) {
    return side == Side::Pure ? "kinetta-cli" : "kinetta-cli-draw";
}

// The path of `name` in the folder of the running executable; empty when the
// executable's own path cannot be read.
std::string Sibling(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof self) return {};
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

// Replaces this process with the executable that runs `c`, with the same
// arguments. Returns only when that fails.
int HandOver(const Command& c, char** argv) {
    const std::string path = Sibling(ExecutableOf(c.side));
    if (!path.empty()) ::execv(path.c_str(), argv);
    const int error = errno;
    std::fprintf(stderr, "kinetta-cli: %s runs in %s, which cannot be started (%s: %s)%s\n", c.name,
                 ExecutableOf(c.side), path.empty() ? "/proc/self/exe" : path.c_str(),
                 std::strerror(error),
                 c.side == Side::Draw ? "; a build without Qt, OpenGL and FFmpeg has no drawing "
                                        "commands"
                                      : "");
    return 2;
}

void Usage(FILE* out) {
    std::fprintf(out, "usage: %s COMMAND [ARGS]\n", ExecutableOf(kThisSide));
    for (const Command& c : kcli::Commands())
        std::fprintf(out, "  %s\n", c.usage);
}

// --help: the usage with what the program is for and the exit statuses (the
// manual page is made from it with help2man).
void Help() {
    std::printf("Usage: %s COMMAND [ARGS]\n\n", ExecutableOf(kThisSide));
    if (kThisSide == Side::Pure)
        std::printf("The drive-recorder viewer's core from a terminal, for scripting and checks.\n"
                    "Output meant for programs is JSON, one object per line. The drawing\n"
                    "commands run in kinetta-cli-draw, to which kinetta-cli hands them over.\n");
    else
        std::printf("Runs the drawing commands of kinetta-cli (Qt, OpenGL, FFmpeg); kinetta-cli\n"
                    "hands them over to it, and it hands any other command back, so either\n"
                    "program can be called with every command. Output meant for programs is\n"
                    "JSON, one object per line.\n");
    std::printf("\nCommands:\n");
    for (const Command& c : kcli::Commands())
        std::printf("  %s\n", c.usage);
    std::printf("\nOptions:\n"
                "  -h, --help     print this help and exit\n"
                "      --version  print the version and exit\n"
                "\nExit status: 0 done, 1 failed, 2 bad usage.\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        Help();
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::fputs(kutil::VersionText(ExecutableOf(kThisSide)).c_str(), stdout);
        return 0;
    }
    const std::string_view name = argv[1];
    for (const Command& c : kcli::Commands()) {
        if (name != c.name) continue;
        if (c.side != kThisSide || !c.run) return HandOver(c, argv);
        return c.run(kcli::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "kinetta-cli: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
