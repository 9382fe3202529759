#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>

#include "util/text.h"

namespace platform {

namespace {
constexpr long kMsdosSuperMagic = 0x4d44;
} // namespace

bool Exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

FolderIndex FolderIndex::Read(const std::string& dir) {
    FolderIndex index;
    index.dir_ = dir;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return index;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        size_t i = index.names_.size();
        index.names_.push_back(name);
        index.exact_.emplace(name, i);
        index.folded_.emplace(kutil::AsciiLower(name), i); // keeps the first of equal folds
    }
    ::closedir(d);
    return index;
}

std::optional<std::string> FolderIndex::Find(std::string_view name) const {
    if (auto it = exact_.find(std::string(name)); it != exact_.end()) return names_[it->second];
    if (auto it = folded_.find(kutil::AsciiLower(name)); it != folded_.end())
        return names_[it->second];
    return std::nullopt;
}

std::string FindInFolder(const std::string& dir, std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos) return {};
    std::string exact = kutil::JoinPath(dir, name);
    if (Exists(exact)) return exact;
    auto found = FolderIndex::Read(dir).Find(name);
    return found ? kutil::JoinPath(dir, *found) : std::string();
}

namespace {

// /proc/self/mounts escapes blanks and backslashes as three octal digits.
std::string UnescapeMountField(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            bool octal = true;
            int v = 0;
            for (int k = 1; k <= 3; ++k) {
                if (i + k >= s.size() || s[i + k] < '0' || s[i + k] > '7') {
                    octal = false;
                    break;
                }
                v = v * 8 + (s[i + k] - '0');
            }
            if (octal) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string ResolvePath(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return path;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

} // namespace

std::vector<MountEntry> ReadMountTable(const std::string& mountsFile) {
    std::vector<MountEntry> out;
    std::ifstream in(mountsFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        MountEntry e;
        if (!(fields >> e.device >> e.mountPoint >> e.fsType)) continue;
        e.device = UnescapeMountField(e.device);
        e.mountPoint = UnescapeMountField(e.mountPoint);
        out.push_back(std::move(e));
    }
    return out;
}

std::string MountRootOf(const std::string& path, const std::vector<MountEntry>& mounts) {
    std::string resolved = ResolvePath(path);
    std::string best = "/";
    for (const MountEntry& m : mounts) {
        const std::string& mp = m.mountPoint;
        if (mp.empty() || mp.size() <= best.size()) continue;
        if (resolved == mp ||
            (resolved.size() > mp.size() && resolved.compare(0, mp.size(), mp) == 0 &&
             (mp.back() == '/' || resolved[mp.size()] == '/')))
            best = mp;
    }
    return best;
}

bool IsRemovableDevice(const std::string& device, const std::string& sysBlock) {
    if (device.rfind("/dev/", 0) != 0) return false;
    std::string name(kutil::FileNameOf(ResolvePath(device)));
    // A card in a built-in SD slot is an mmcblk device that may report
    // removable 0; Windows lists such slots as removable drives.
    if (name.rfind("mmcblk", 0) == 0) return true;
    std::string node = kutil::JoinPath(sysBlock, name);
    if (!Exists(node)) return false;
    std::string disk = node;
    if (Exists(node + "/partition")) disk = kutil::DirectoryOf(ResolvePath(node));
    return ReadSmallFile(disk + "/removable") == "1";
}

std::vector<std::string> RemovableRoots() {
    std::vector<std::string> roots;
    for (const MountEntry& m : ReadMountTable())
        if (IsRemovableDevice(m.device)) roots.push_back(m.mountPoint);
    return roots;
}

namespace {
std::mutex g_providerMutex;
RemovableRootsProvider g_provider; // guarded by g_providerMutex
} // namespace

void SetRemovableRootsProvider(RemovableRootsProvider provider) {
    std::lock_guard lock(g_providerMutex);
    g_provider = std::move(provider);
}

std::vector<std::string> CurrentRemovableRoots() {
    RemovableRootsProvider provider;
    {
        std::lock_guard lock(g_providerMutex);
        provider = g_provider;
    }
    return provider ? provider() : RemovableRoots();
}

std::string RemovableRootOf(const std::string& path) {
    std::string resolved = ResolvePath(path);
    std::string best;
    for (const std::string& rootIn : CurrentRemovableRoots()) {
        std::string root = ResolvePath(rootIn);
        if (root.empty() || root.size() <= best.size()) continue;
        if (resolved == root ||
            (resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
             (root.back() == '/' || resolved[root.size()] == '/')))
            best = root;
    }
    return best;
}

namespace {

bool OnFat(int fd) {
    struct statfs sfs;
    return ::fstatfs(fd, &sfs) == 0 && sfs.f_type == kMsdosSuperMagic;
}

// Applies f to the FAT attribute byte of path; success without change elsewhere.
// Opened without blocking: a FIFO put under the name is never waited on; and
// never through a link, so the attributes of whatever a link names stay as they are.
template <typename F> bool UpdateFatAttributes(const std::string& path, F f) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    if (OnFat(fd)) {
        __u32 attrs = 0;
        ok = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attrs) == 0;
        if (ok) {
            attrs = f(attrs);
            ok = ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attrs) == 0;
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

bool SetHiddenOnly(const std::string& path) {
    // Hidden and only hidden: other attributes (read-only, archive, system) cleared.
    return UpdateFatAttributes(path, [](__u32) -> __u32 { return ATTR_HIDDEN; });
}

bool ClearHidden(const std::string& path) {
    return UpdateFatAttributes(path, [](__u32 a) -> __u32 { return a & ~__u32(ATTR_HIDDEN); });
}

namespace {

bool MakeDirs(const std::string& path, mode_t mode) {
    if (IsDirectory(path)) return true;
    std::string parent = kutil::DirectoryOf(path);
    if (parent != path && parent != "." && parent != "/" && !MakeDirs(parent, mode)) return false;
    return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

dev_t DeviceOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_dev : dev_t(-1);
}

std::string PercentEncodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string HomeTrash() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return kutil::JoinPath(xdg, "Trash");
    if (const char* home = std::getenv("HOME"); home && *home)
        return kutil::JoinPath(home, ".local/share/Trash");
    return {};
}

// Chooses the trash folder for path and the path text its .trashinfo records.
bool ChooseTrash(const std::string& absPath, std::string* trash, std::string* recorded) {
    std::string home = HomeTrash();
    if (!home.empty() && MakeDirs(home + "/files", 0700) && MakeDirs(home + "/info", 0700) &&
        DeviceOf(home) == DeviceOf(absPath)) {
        *trash = home;
        *recorded = absPath;
        return true;
    }
    std::string top = MountRootOf(absPath, ReadMountTable());
    std::string uid = std::to_string(::getuid());
    std::string shared = kutil::JoinPath(top, ".Trash");
    struct stat st;
    std::string candidate;
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        candidate = kutil::JoinPath(shared, uid);
    if (candidate.empty() || !MakeDirs(candidate + "/files", 0700) ||
        !MakeDirs(candidate + "/info", 0700))
        candidate = kutil::JoinPath(top, ".Trash-" + uid);
    if (!MakeDirs(candidate + "/files", 0700) || !MakeDirs(candidate + "/info", 0700)) return false;
    *trash = candidate;
    // Trash folders on a mount record paths relative to its top directory.
    std::string rel = absPath.substr(top.size());
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    *recorded = rel;
    return true;
}

} // namespace

bool MoveToTrash(const std::string& path) {
    return MoveToTrash(path, nullptr);
}

namespace {

// Claims the name to with an empty file created exclusively, so that it
// fails with EEXIST when any entry of that name exists (on FAT also one whose
// name differs only in case). *claimed receives the placeholder's identity.
bool ClaimName(const std::string& to, struct stat* claimed) {
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool known = ::fstat(fd, claimed) == 0;
    const int error = errno;
    ::close(fd);
    if (known) return true;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the placeholder claimed at to, when it is still the one claimed.
void DropClaim(const std::string& to, const struct stat& claimed) {
    struct stat now {};
    if (::lstat(to.c_str(), &now) != 0 || !SameEntry(now, claimed)) return;
    ::unlink(to.c_str());
}

} // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // No RENAME_NOREPLACE here (FUSE file systems such as a FAT card mounted
    // with fusefat, some network file systems): a hard link fails with
    // EEXIST just as atomically.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return true;
        const int error = errno;
        ::unlink(to.c_str());
        errno = error;
        return false;
    }
    if (errno == EEXIST) return false;
    // No hard links either (FAT: EPERM, others ENOSYS or ENOTSUP): the name is
    // claimed first by an exclusive create, which fails when anything of that
    // name exists, and the file then replaces its own placeholder in one
    // rename. A placeholder left by a failure is removed again. A folder
    // cannot replace a placeholder (fusefat refuses folder renames onto an
    // empty folder): it is not moved, with the link's error.
    const int linkError = errno;
    struct stat source {};
    if (::lstat(from.c_str(), &source) != 0) return false;
    if (S_ISDIR(source.st_mode)) {
        errno = linkError;
        return false;
    }
    struct stat claimed {};
    if (!ClaimName(to, &claimed)) return false;
    struct stat now {};
    if (::lstat(to.c_str(), &now) != 0 || !SameEntry(now, claimed)) {
        errno = EEXIST; // the placeholder was taken away: another entry may stand there
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    const int error = errno;
    DropClaim(to, claimed);
    errno = error;
    return false;
}

std::optional<uint64_t> LargestFileBytes(const std::string& path, const std::string& mountsFile) {
    constexpr uint64_t kFatLargestFile = 0xFFFFFFFFull;
    struct statfs sfs {};
    if (::statfs(path.c_str(), &sfs) == 0 && sfs.f_type == kMsdosSuperMagic) return kFatLargestFile;
    // A FUSE mount reports FUSE's own magic: its type in the mount table tells.
    const std::string resolved = ResolvePath(path);
    std::string bestRoot, bestType;
    for (const MountEntry& m : ReadMountTable(mountsFile)) {
        const std::string& mp = m.mountPoint;
        if (mp.empty() || mp.size() < bestRoot.size()) continue;
        const bool holds =
            resolved == mp || mp == "/" ||
            (resolved.size() > mp.size() && resolved.compare(0, mp.size(), mp) == 0 &&
             (mp.back() == '/' || resolved[mp.size()] == '/'));
        if (!holds) continue;
        bestRoot = mp; // a later mount on the same point covers an earlier one
        bestType = m.fsType;
    }
    if (bestType == "vfat" || bestType == "msdos" || bestType == "fuse.fusefat")
        return kFatLargestFile;
    return std::nullopt;
}

bool RestoreFromTrash(const std::string& trashedAs, const std::string& original) {
    if (!RenameNoReplace(trashedAs, original)) return false;
    // <trash>/files/<name> was recorded in <trash>/info/<name>.trashinfo.
    const std::string files = kutil::DirectoryOf(trashedAs);
    const std::string info = kutil::JoinPath(kutil::DirectoryOf(files), "info");
    ::unlink(
        kutil::JoinPath(info, std::string(kutil::FileNameOf(trashedAs)) + ".trashinfo").c_str());
    return true;
}

bool MoveToTrash(const std::string& path, std::string* trashedAs) {
    if (!Exists(path) && DeviceOf(path) == dev_t(-1)) return false;
    std::string abs = ResolvePath(kutil::DirectoryOf(path));
    abs = kutil::JoinPath(abs, kutil::FileNameOf(path));
    std::string trash, recorded;
    if (!ChooseTrash(abs, &trash, &recorded)) return false;

    std::string base(kutil::FileNameOf(abs));
    char when[32];
    std::time_t now = std::time(nullptr);
    std::tm tmNow{};
    ::localtime_r(&now, &tmNow);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tmNow);
    std::string info =
        "[Trash Info]\nPath=" + PercentEncodePath(recorded) + "\nDeletionDate=" + when + "\n";

    for (int n = 1; n < 10000; ++n) {
        std::string name = n == 1 ? base : base + "." + std::to_string(n);
        std::string infoPath = trash + "/info/" + name + ".trashinfo";
        std::string target = trash + "/files/" + name;
        int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue; // the name is taken: try the next one
            return false;
        }
        bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        written = ::close(fd) == 0 && written;
        if (!written) {
            ::unlink(infoPath.c_str());
            return false;
        }
        if (Exists(target)) { // a leftover without its info file: keep it, take another name
            ::unlink(infoPath.c_str());
            continue;
        }
        if (RenameNoReplace(abs, target)) {
            if (trashedAs) *trashedAs = target;
            return true;
        }
        const bool taken = errno == EEXIST; // appeared since the check: take another name
        ::unlink(infoPath.c_str());
        if (taken) continue;
        return false;
    }
    return false;
}

namespace {

// Collects the folders below folder, deepest last; false when a file (or
// anything that is not a folder) is found, or a folder cannot be read.
bool CollectOnlyFolders(const std::string& folder, std::vector<std::string>* out, int depth) {
    if (depth > 64) return false;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return false;
    std::vector<std::string> subfolders;
    bool onlyFolders = true;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string child = kutil::JoinPath(folder, name);
        struct stat st;
        if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            subfolders.push_back(child);
        else
            onlyFolders = false;
    }
    ::closedir(d);
    if (!onlyFolders) return false;
    out->push_back(folder);
    for (const std::string& sub : subfolders)
        if (!CollectOnlyFolders(sub, out, depth + 1)) return false;
    return true;
}

} // namespace

bool RemoveIfOnlyEmptyFolders(const std::string& folder) {
    std::vector<std::string> folders;
    if (!CollectOnlyFolders(folder, &folders, 0)) return false;
    // Parents were collected before their children: remove in reverse.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (::rmdir(it->c_str()) != 0) return false;
    return true;
}

} // namespace platform
