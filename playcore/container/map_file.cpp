#include "playcore/container/map_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace playcore {

bool OpenMapFile(const std::string& path, sMAPFILE* out) {
    CloseMapFile(*out);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > kMaxMappedFileSize) {
        ::close(fd);
        return false;
    }
    long page = ::sysconf(_SC_PAGESIZE);
    out->file = fd;
    out->path = path;
    out->size = static_cast<uint64_t>(st.st_size);
    out->granularity = page > 0 ? static_cast<uint32_t>(page) : 4096u;
    out->viewDelta = 0;
    return true;
}

const uint8_t* MapRange(sMAPFILE& file, uint64_t offset, uint64_t length, uint64_t* mapped) {
    if (mapped) *mapped = 0;
    if (file.file < 0 || length == 0 || offset >= file.size) return nullptr;
    if (length > file.size - offset) length = file.size - offset;
    if (length <= kSmallRange) {
        if (!file.whole) {
            void* whole = ::mmap(nullptr, static_cast<size_t>(file.size), PROT_READ, MAP_SHARED,
                                 file.file, 0);
            if (whole != MAP_FAILED) {
                file.whole = whole;
                file.wholeLength = static_cast<size_t>(file.size);
            }
        }
        if (file.whole) {
            const uint8_t* user = static_cast<const uint8_t*>(file.whole) + offset;
            file.viewDelta = offset % file.granularity;
            file.views.push_back({nullptr, 0, user}); // borrowed: nothing to unmap
            if (mapped) *mapped = length;
            return user;
        }
    }
    const uint64_t start = offset - offset % file.granularity;
    const uint64_t delta = offset - start;
    const size_t viewLength = static_cast<size_t>(length + delta);
    void* base =
        ::mmap(nullptr, viewLength, PROT_READ, MAP_SHARED, file.file, static_cast<off_t>(start));
    if (base == MAP_FAILED) return nullptr;
    file.viewDelta = delta;
    const uint8_t* user = static_cast<const uint8_t*>(base) + delta;
    file.views.push_back({base, viewLength, user});
    if (mapped) *mapped = length;
    return user;
}

void UnmapRange(sMAPFILE& file, const uint8_t* ptr) {
    for (size_t i = file.views.size(); i-- > 0;) {
        if (file.views[i].user != ptr) continue;
        if (file.views[i].base) ::munmap(file.views[i].base, file.views[i].length);
        file.views.erase(file.views.begin() + static_cast<long>(i));
        break;
    }
    file.viewDelta = 0;
}

void CloseMapFile(sMAPFILE& file) {
    for (const auto& v : file.views)
        if (v.base) ::munmap(v.base, v.length);
    file.views.clear();
    if (file.whole) ::munmap(file.whole, file.wholeLength);
    file.whole = nullptr;
    file.wholeLength = 0;
    if (file.file >= 0) ::close(file.file);
    file.file = -1;
    file.size = 0;
    file.viewDelta = 0;
}

} // namespace playcore
