// The command line's two executables: `kinetta-cli` loads no Qt, GL or codec
// library; a command reaches the executable of its side whichever one is
// called; a missing drawing executable is a clean failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <vector>

#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

using ktest::BuiltTool;
using ktest::RunCommand;

const std::string kCli = BuiltTool("tools/kinetta-cli/kinetta-cli");
const std::string kDraw = BuiltTool("tools/kinetta-cli/kinetta-cli-draw");

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

bool DrawBuilt() {
    return std::filesystem::exists(kDraw);
}

// The shared libraries the dynamic linker loads for `exe`, one per line.
std::string LinkedLibraries(const std::string& exe) {
    const ktest::CommandRun r = RunCommand("ldd '" + exe + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

const std::regex kHeavy(
    R"(lib(Qt6|GL|EGL|OpenGL|GLX|GLdispatch|av(codec|format|util|device|filter)|sw(scale|resample)|x264|pulse|asound|curl)[^ ]*\.so)");

// Everything the pure executable may load: the C++ runtime and the C library,
// with the dynamic loader and the kernel's vdso. libcurl is not among them
// although update-check is a pure command: the first fetch opens it (dlopen),
// so only update-check loads it and its thirty-odd dependencies, and every
// other command starts in milliseconds. A pattern of unwanted libraries can
// miss one (it missed libcurl once); this list and the count cannot.
// The sanitizer build (AddressSanitizer with UndefinedBehaviorSanitizer)
// links their two runtimes as well.
const std::vector<std::string> kPureLibraries = {
    "linux-vdso", "libstdc++", "libm", "libgcc_s", "libc", "ld-linux",
#if defined(__SANITIZE_ADDRESS__)
    "libasan",    "libubsan",
#endif
};

// The names ldd lists, each up to ".so" and without its folder
// ("/lib64/ld-linux-x86-64.so.2" gives "ld-linux-x86-64").
std::vector<std::string> LibraryNames(const std::string& ldd) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < ldd.size()) {
        const size_t end = std::min(ldd.find('\n', at), ldd.size());
        std::string line = ldd.substr(at, end - at);
        at = end + 1;
        line.erase(0, line.find_first_not_of(" \t"));
        line = line.substr(0, line.find_first_of(" \t"));
        if (line.empty()) continue;
        line = line.substr(line.rfind('/') + 1);
        names.push_back(line.substr(0, line.find(".so")));
    }
    return names;
}

} // namespace

TEST(KinettaCliExecutables, PureExecutableLoadsNoQtGlOrCodecLibrary) {
    const std::string pure = LinkedLibraries(kCli);
    ASSERT_TRUE(Has(pure, "libc.so")) << pure; // ldd answered for this executable
    std::smatch m;
    EXPECT_FALSE(std::regex_search(pure, m, kHeavy)) << "kinetta-cli loads " << m.str();
    const std::vector<std::string> names = LibraryNames(pure);
    EXPECT_LE(names.size(), kPureLibraries.size()) << pure;
    for (const std::string& name : names) {
        const bool known =
            std::find(kPureLibraries.begin(), kPureLibraries.end(), name) != kPureLibraries.end() ||
            name.rfind("ld-linux", 0) == 0;
        EXPECT_TRUE(known) << "kinetta-cli loads " << name << "\n" << pure;
    }
    if (DrawBuilt()) {
        // The same test finds them where they belong.
        const std::string draw = LinkedLibraries(kDraw);
        EXPECT_TRUE(std::regex_search(draw, m, kHeavy)) << draw;
        EXPECT_TRUE(Has(draw, "libQt6Gui") && Has(draw, "libavcodec")) << draw;
    }
}

TEST(KinettaCliExecutables, EachCommandRunsOnItsSide) {
    // Usage and the list of commands come from the one table.
    const ktest::CommandRun help = RunCommand(kCli + " --help");
    EXPECT_EQ(help.status, 0);
    for (const char* c : {"names", "scan", "info", "telemetry", "join", "split", "events", "render",
                          "grab", "graph", "panel"})
        EXPECT_TRUE(Has(help.out, std::string("\n  ") + c + " ")) << c << "\n" << help.out;
    const ktest::CommandRun unknown = RunCommand(kCli + " frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(Has(unknown.err, "unknown command 'frobnicate'")) << unknown.err;

    const ktest::CommandRun names = RunCommand(kCli + " names --family tx40 001_120000A_M.MP4");
    EXPECT_EQ(names.status, 0) << names.err;
    EXPECT_TRUE(Has(names.out, R"({"name":"001_120000A_M.MP4",)")) << names.out;
    if (!DrawBuilt()) GTEST_SKIP() << "a build without the drawing executable";

    // A drawing command given to kinetta-cli is answered by kinetta-cli-draw
    // (its own usage text; no display is needed to get that far).
    const ktest::CommandRun grab = RunCommand(kCli + " grab --family tx40");
    EXPECT_EQ(grab.status, 2);
    EXPECT_TRUE(Has(grab.err, "usage: kinetta-cli grab --family")) << grab.err;
    const ktest::CommandRun render = RunCommand(kCli + " render --frame");
    EXPECT_EQ(render.status, 2);
    EXPECT_TRUE(Has(render.err, "usage: kinetta-cli render FILE")) << render.err;
    // A pure command given to kinetta-cli-draw goes back to kinetta-cli.
    const ktest::CommandRun back = RunCommand(kDraw + " names --family tx50 x.MP4");
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_TRUE(Has(back.out, R"({"name":"x.MP4","isRecording":false,)")) << back.out;
}

TEST(KinettaCliExecutables, MissingDrawingExecutableIsACleanFailure) {
    // kinetta-cli on its own, without its drawing executable beside it.
    ktest::TempDir dir;
    const std::string alone = dir / "kinetta-cli";
    std::filesystem::copy_file(kCli, alone);
    const ktest::CommandRun r = RunCommand("'" + alone + "' render x.mp4 --frame 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "render runs in kinetta-cli-draw, which cannot be started")) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    // Its pure commands still work.
    EXPECT_EQ(RunCommand("'" + alone + "' names --family tx40 a.MP4").status, 0);
}
