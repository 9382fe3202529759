#include "playcore/container/map_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <new>

#include "platform/file_io.h"

namespace playcore {

namespace {

std::mutex g_hookMutex;
std::function<void(const sMAPFILE&)> g_afterOpen; // guarded by g_hookMutex

} // namespace

void SetAfterOpenHookForTesting(std::function<void(const sMAPFILE&)> hook) {
    std::lock_guard lock(g_hookMutex);
    g_afterOpen = std::move(hook);
}

bool OpenMapFile(const std::string& path, sMAPFILE* out) {
    CloseMapFile(*out);
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > kMaxMappedFileSize) {
        ::close(fd);
        return false;
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    out->file = fd;
    out->path = path;
    out->size = static_cast<uint64_t>(st.st_size);
    out->granularity = page > 0 ? static_cast<uint32_t>(page) : 4096u;
    out->viewDelta = 0;
    std::function<void(const sMAPFILE&)> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_afterOpen;
    }
    if (hook) hook(*out);
    return true;
}

const uint8_t* MapRange(sMAPFILE& file, uint64_t offset, uint64_t length, uint64_t* mapped) {
    if (mapped) *mapped = 0;
    if (file.file < 0 || length == 0 || offset >= file.size) return nullptr;
    if (length > file.size - offset) length = file.size - offset;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    if (!bytes) return nullptr;
    if (!platform::ReadExactlyAt(file.file, offset, bytes.get(), static_cast<size_t>(length)))
        return nullptr;
    const uint8_t* user = bytes.get();
    file.viewDelta = offset % file.granularity;
    file.views.push_back({std::move(bytes), user});
    if (mapped) *mapped = length;
    return user;
}

void UnmapRange(sMAPFILE& file, const uint8_t* ptr) {
    for (size_t i = file.views.size(); i-- > 0;) {
        if (file.views[i].user != ptr) continue;
        file.views.erase(file.views.begin() + static_cast<long>(i));
        break;
    }
    file.viewDelta = 0;
}

void CloseMapFile(sMAPFILE& file) {
    file.views.clear();
    if (file.file >= 0) ::close(file.file);
    file.file = -1;
    file.size = 0;
    file.viewDelta = 0;
}

bool ReadRange(sMAPFILE& file, uint64_t offset, void* out, size_t length) {
    if (file.file < 0 || offset > file.size || length > file.size - offset) return false;
    return length == 0 || platform::ReadExactlyAt(file.file, offset, out, length);
}

} // namespace playcore
