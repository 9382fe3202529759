#pragma once
// Runs a command line through the shell and keeps its exit status, its
// standard output and its standard error.

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace ktest {

struct CommandRun {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

inline CommandRun RunCommand(const std::string& command) {
    TempDir dir;
    const std::string errPath = dir / "stderr";
    CommandRun r;
    FILE* p = ::popen((command + " 2>'" + errPath + "'").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = ReadFile(errPath);
    return r;
}

// The path of an executable of the build.
inline std::string BuiltTool(const std::string& relative) {
    return std::string(KINETTA_TEST_BINARY_DIR) + "/" + relative;
}

} // namespace ktest
