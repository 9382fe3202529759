#include "kinetta/base/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/file_io.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

namespace {

// One line of the file as it stands, with its end-of-line bytes, so that a
// write reproduces every line it does not touch byte for byte.
struct Line {
    std::string text; // without the line ending
    std::string eol;  // "\r\n", "\n" or "" (last line without a break)
};

struct Parsed {
    std::string bom;
    std::vector<Line> lines;
    std::string eol = "\r\n"; // style of new lines: the file's first, CRLF for a new file
};

// The settings file is small; anything larger is not read as one.
constexpr size_t kMaxSettingsFileBytes = 16u << 20;

// What stands at the settings file's name.
enum class Entry {
    Missing,  // nothing: a write creates the file
    Regular,  // a regular file, opened (not through a link)
    Refused,  // a link, FIFO, device, socket or folder: never read or replaced
    Unusable, // something that cannot be opened (no permission, I/O error)
};

// Opens the settings file itself, never what a link names: O_NOFOLLOW makes
// the open fail on a link (ELOOP) instead of following it, and the kind of
// file is taken from the descriptor (fstat), so nothing can be swapped in
// between a check and the open. O_NONBLOCK: a FIFO is not waited on.
Entry OpenEntry(const std::string& path, int* fd, struct stat* st, std::string* why) {
    *fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (*fd < 0) {
        if (errno == ENOENT) return Entry::Missing;
        if (errno == ELOOP) {
            *why = "a symbolic link";
            return Entry::Refused;
        }
        return Entry::Unusable;
    }
    if (::fstat(*fd, st) != 0) {
        ::close(*fd);
        *fd = -1;
        return Entry::Unusable;
    }
    if (!S_ISREG(st->st_mode)) {
        ::close(*fd);
        *fd = -1;
        *why = S_ISDIR(st->st_mode) ? "a folder" : "not a regular file";
        return Entry::Refused;
    }
    return Entry::Regular;
}

// The whole file behind fd, at most kMaxSettingsFileBytes; false on a read
// error or a larger file.
bool ReadDescriptor(int fd, std::string* out) {
    out->clear();
    char buf[65536];
    for (uint64_t offset = 0;;) {
        const int64_t n = platform::ReadAt(fd, offset, buf, sizeof buf);
        if (n < 0 || out->size() + static_cast<size_t>(n) > kMaxSettingsFileBytes) {
            out->clear();
            return false;
        }
        out->append(buf, static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
        if (n == 0) return true;
    }
}

Parsed Split(std::string_view data) {
    Parsed p;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
        p.bom = data.substr(0, 3);
        data.remove_prefix(3);
    }
    bool styleSeen = false;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        Line line;
        if (nl == std::string_view::npos) {
            line.text = data.substr(pos);
            pos = data.size();
        } else {
            size_t end = nl;
            if (end > pos && data[end - 1] == '\r') --end;
            line.text = data.substr(pos, end - pos);
            line.eol = data.substr(end, nl + 1 - end);
            pos = nl + 1;
            if (!styleSeen) {
                p.eol = line.eol;
                styleSeen = true;
            }
        }
        p.lines.push_back(std::move(line));
    }
    return p;
}

// "[name]" gives name (trimmed); anything else gives false.
bool SectionName(std::string_view line, std::string_view* name) {
    std::string_view t = kutil::TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    *name = kutil::TrimBlanks(t.substr(1, close - 1));
    return true;
}

// "key=value" gives both (trimmed); comments and lines without '=' give false.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
    std::string_view t = kutil::TrimBlanks(line);
    if (t.empty() || t.front() == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    *key = kutil::TrimBlanks(t.substr(0, eq));
    *value = kutil::TrimBlanks(t.substr(eq + 1));
    return true;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Index range of the first section named section: [header, end).
bool FindSection(const Parsed& p, std::string_view section, size_t* header, size_t* end) {
    for (size_t i = 0; i < p.lines.size(); ++i) {
        std::string_view name;
        if (!SectionName(p.lines[i].text, &name) || !kutil::EqualsNoCase(name, section)) continue;
        *header = i;
        size_t j = i + 1;
        std::string_view other;
        while (j < p.lines.size() && !SectionName(p.lines[j].text, &other))
            ++j;
        *end = j;
        return true;
    }
    return false;
}

bool Storable(std::string_view s) {
    return s.find('\n') == std::string_view::npos && s.find('\r') == std::string_view::npos &&
           s.find('\0') == std::string_view::npos;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Puts the complete temporary tmp in place of path. old: the file that was
// read (null when there was none). The file is swapped in only for the very
// file that was read: with nothing there before, the rename never replaces
// what appeared meanwhile; otherwise the two names are exchanged in one step
// (RENAME_EXCHANGE) and the displaced entry is checked to be the file read,
// else it is put back. So a link, FIFO or another writer's file put at the
// name after the read is never replaced. Where the file system cannot
// exchange names (EINVAL), the entry is compared just before a plain rename.
bool PutInPlace(const std::string& tmp, const std::string& path, const struct stat* old) {
    if (!old) return platform::RenameNoReplace(tmp, path);
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        struct stat displaced {};
        if (::lstat(tmp.c_str(), &displaced) == 0 && SameFile(displaced, *old)) {
            ::unlink(tmp.c_str()); // the old file, now under the temporary's name
            return true;
        }
        // Someone else's entry: back to its name; tmp again holds the new file.
        ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    struct stat now {};
    if (::lstat(path.c_str(), &now) != 0 || !SameFile(now, *old)) return false;
    return ::rename(tmp.c_str(), path.c_str()) == 0;
}

// Gives the new file fd the permission bits of the file old it replaces. A
// file system without per-file modes (FAT: every file has the mount's mode,
// and chmod gives ENOSYS or EPERM) keeps the mode it has: nothing to carry.
bool KeepMode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) == 0 && (now.st_mode & 07777) == (old.st_mode & 07777)) return true;
    if (::fchmod(fd, old.st_mode & 07777) == 0) return true;
    return errno == ENOSYS || errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP;
}

// Writes data to a temporary file beside path and puts it in place of the
// file read (PutInPlace). The temporary is created exclusively under an
// unpredictable name, never through a link (platform::CreateTemporaryBeside),
// so a file or link planted in the folder is never written through; it gets
// the mode of the file it replaces (a new file: 0666 less the umask).
// Temporaries that a killed run left in the folder are removed first.
bool ReplaceFile(const std::string& path, const std::string& data, const struct stat* old) {
    platform::RemoveStaleTemporaries(kutil::DirectoryOf(path));
    std::string tmp;
    const int fd = platform::CreateTemporaryBeside(path, 0666, &tmp);
    if (fd < 0) return false;
    bool ok = !old || KeepMode(fd, *old);
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = PutInPlace(tmp, path, old);
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

} // namespace

SettingsStore::SettingsStore(std::string directory)
    : directory_(std::move(directory)),
      path_(kutil::JoinPath(directory_.empty() ? "." : directory_, kFileName)) {}

bool SettingsStore::FileExists() const {
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void SettingsStore::Refuse(const std::string& why) const {
    if (refusalTold_.exchange(true)) return;
    std::fprintf(stderr,
                 "kinetta: %s is %s, not a regular file: the settings are neither read from it "
                 "nor written to it, and the defaults apply\n",
                 path_.c_str(), why.c_str());
}

std::string SettingsStore::Read(std::string_view section, std::string_view key) const {
    int fd = -1;
    struct stat st {};
    std::string why, data;
    const Entry entry = OpenEntry(path_, &fd, &st, &why);
    if (entry == Entry::Refused) Refuse(why);
    if (entry != Entry::Regular) return {};
    const bool read = ReadDescriptor(fd, &data);
    ::close(fd);
    if (!read) return {};
    Parsed p = Split(data);
    size_t header, end;
    if (!FindSection(p, section, &header, &end)) return {};
    for (size_t i = header + 1; i < end; ++i) {
        std::string_view k, v;
        if (KeyValue(p.lines[i].text, &k, &v) && kutil::EqualsNoCase(k, key))
            return std::string(Unquote(v));
    }
    return {};
}

bool SettingsStore::Write(std::string_view section, std::string_view key, std::string_view value) {
    section = kutil::TrimBlanks(section);
    key = kutil::TrimBlanks(key);
    if (section.empty() || key.empty() || !Storable(section) || !Storable(key) ||
        !Storable(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';')
        return false;

    // One writer at a time in this process: a write is read, modify, replace.
    static std::mutex writeMutex;
    std::lock_guard lock(writeMutex);
    int fd = -1;
    struct stat old {};
    std::string why, data;
    const Entry found = OpenEntry(path_, &fd, &old, &why);
    if (found == Entry::Refused) Refuse(why);
    if (found == Entry::Refused || found == Entry::Unusable) return false;
    if (found == Entry::Regular) {
        // A file the user made read-only is left alone, as the recorder software does.
        const bool usable = ::access(path_.c_str(), W_OK) == 0 && ReadDescriptor(fd, &data);
        ::close(fd);
        if (!usable) return false;
    }
    Parsed p = Split(data);
    std::string entry = std::string(key) + "=" + std::string(value);

    size_t header, end;
    if (FindSection(p, section, &header, &end)) {
        bool replaced = false;
        size_t lastKey = header;
        for (size_t i = header + 1; i < end; ++i) {
            std::string_view k, v;
            if (!KeyValue(p.lines[i].text, &k, &v)) continue;
            lastKey = i;
            if (kutil::EqualsNoCase(k, key)) {
                p.lines[i].text = entry;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            // New key after the section's last key, before its trailing blank lines.
            Line line{entry, p.eol};
            if (p.lines[lastKey].eol.empty()) p.lines[lastKey].eol = p.eol;
            p.lines.insert(p.lines.begin() + static_cast<long>(lastKey) + 1, line);
        }
    } else {
        if (!p.lines.empty() && p.lines.back().eol.empty()) p.lines.back().eol = p.eol;
        p.lines.push_back({"[" + std::string(section) + "]", p.eol});
        p.lines.push_back({entry, p.eol});
    }

    std::string out = p.bom;
    for (const Line& l : p.lines)
        out += l.text + l.eol;
    if (!ReplaceFile(path_, out, found == Entry::Regular ? &old : nullptr)) return false;
    platform::SetHiddenOnly(path_); // the attribute is cosmetic: the value is written
    return true;
}

namespace {
std::mutex g_storeMutex;
std::unique_ptr<SettingsStore> g_store; // guarded by g_storeMutex; replaced only at start-up
} // namespace

void SetSettingsDirectory(std::string directory) {
    std::lock_guard lock(g_storeMutex);
    g_store = std::make_unique<SettingsStore>(std::move(directory));
}

SettingsStore& Settings() {
    std::lock_guard lock(g_storeMutex);
    if (!g_store) {
        char buf[4096];
        g_store = std::make_unique<SettingsStore>(::getcwd(buf, sizeof buf) ? buf : ".");
    }
    return *g_store;
}

std::string ReadSetting(std::string_view section, std::string_view key) {
    return Settings().Read(section, key);
}

bool WriteSetting(std::string_view section, std::string_view key, std::string_view value) {
    return Settings().Write(section, key, value);
}

} // namespace kinetta
