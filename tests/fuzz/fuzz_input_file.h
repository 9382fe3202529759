#pragma once
// The fuzz input as files the readers open by path: each input goes into a
// memory file (memfd) reached as "/proc/self/fd/N", so nothing touches the
// disk and the path names a regular file as a recording's would.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzfile {

// The path of memory file slot (0, 1, ...) holding exactly size bytes of
// data; empty when the file cannot be written.
inline std::string AsFile(int slot, const uint8_t* data, size_t size) {
    static int fds[4] = {-1, -1, -1, -1};
    if (slot < 0 || slot >= 4) return {};
    if (fds[slot] < 0) fds[slot] = memfd_create("fuzz-input", 0);
    const int fd = fds[slot];
    if (fd < 0 || ftruncate(fd, 0) != 0) return {};
    if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return {};
    return "/proc/self/fd/" + std::to_string(fd);
}

// A folder for outputs, made once (in memory where /dev/shm exists).
inline const std::string& OutputDir(const char* name) {
    static std::string dir = [name] {
        std::string tmpl = std::string("/dev/shm/") + name + ".XXXXXX";
        if (char* d = mkdtemp(tmpl.data())) return std::string(d);
        std::string alt = std::string("/tmp/") + name + ".XXXXXX";
        char* d = mkdtemp(alt.data());
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

} // namespace fuzzfile
