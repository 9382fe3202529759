#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>

namespace platform {

namespace {
std::atomic<OpenObserver> g_openObserver{nullptr};

void ReportOpen(const std::string& path) {
    if (const OpenObserver observer = g_openObserver.load(std::memory_order_acquire))
        observer(path);
}
} // namespace

void SetOpenObserver(OpenObserver observer) {
    g_openObserver.store(observer, std::memory_order_release);
}

int OpenRegularForReading(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead of
    // waiting; the descriptor is dropped below unless it is a regular file.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    ReportOpen(path);
    return fd;
}

std::string DescriptorPath(int fd, const std::string& fallback) {
    ReportOpen(fallback);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    return ::access(path.c_str(), R_OK) == 0 ? path : fallback;
}

int64_t ReadAt(int fd, uint64_t offset, void* out, size_t length) {
    auto* p = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break; // end of file
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool ReadExactlyAt(int fd, uint64_t offset, void* out, size_t length) {
    return ReadAt(fd, offset, out, length) == static_cast<int64_t>(length);
}

bool ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string* out) {
    out->clear();
    const int fd = OpenRegularForReading(path);
    if (fd < 0) return false;
    bool ok = true;
    char buf[65536];
    for (uint64_t offset = 0;;) {
        const int64_t n = ReadAt(fd, offset, buf, sizeof buf);
        if (n < 0 || out->size() + static_cast<size_t>(n) > maxBytes) {
            ok = false;
            break;
        }
        out->append(buf, static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
        if (static_cast<size_t>(n) < sizeof buf) break;
    }
    ::close(fd);
    if (!ok) out->clear();
    return ok;
}

bool IsReadableRegularFile(const std::string& path) {
    const int fd = OpenRegularForReading(path);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

int CreateTemporaryBeside(const std::string& finalPath, mode_t mode, std::string* tempPath) {
    const size_t slash = finalPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : finalPath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (name.empty()) {
        errno = EINVAL;
        return -1;
    }
    // The final name only helps a person recognise the file; it is cut so
    // that the temporary's name stays within the 255 bytes a name may have.
    if (name.size() > 120) name.resize(120);
    const std::string folder = slash == std::string::npos ? std::string() : dir;
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t r = 0;
        if (::getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) return -1;
        char random[17];
        static const char* hex = "0123456789abcdef";
        for (int i = 0; i < 16; ++i)
            random[i] = hex[(r >> (4 * i)) & 15];
        random[16] = 0;
        const std::string path = folder + std::string(kTemporaryPrefix) +
                                 std::to_string(::getpid()) + "-" + random + "-" + name;
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            *tempPath = path;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

pid_t TemporaryOwner(std::string_view name) {
    if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return 0;
    name.remove_prefix(kTemporaryPrefix.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos) return 0;
    long pid = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
    if (ec != std::errc() || end != name.data() + dash || pid <= 0 || pid > 0x7FFFFFFF) return 0;
    return static_cast<pid_t>(pid);
}

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return 0;
    int removed = 0;
    const uid_t me = ::geteuid();
    while (dirent* e = ::readdir(d)) {
        const pid_t owner = TemporaryOwner(e->d_name);
        if (owner == 0 || owner == ::getpid()) continue;
        // Another process of this name still runs: its file is in use (a pid
        // taken again by an unrelated process only delays the removal).
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != me)
            continue;
        if (::unlinkat(::dirfd(d), e->d_name, 0) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace platform
