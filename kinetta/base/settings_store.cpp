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

// Only a regular file is read: a FIFO or a device put in its place would
// block the open or read without end.
bool ReadWholeFile(const std::string& path, std::string* out) {
    return platform::ReadSmallRegularFile(path, kMaxSettingsFileBytes, out);
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

// Writes data to a temporary file beside path and renames it over path. The
// temporary is created exclusively under an unpredictable name, never through
// a link (platform::CreateTemporaryBeside), so a file or link planted in the
// folder is never written through; it gets the mode of the file it replaces
// (a new file: 0666 less the umask). Temporaries that a killed run left in
// the folder are removed first.
bool ReplaceFile(const std::string& path, const std::string& data) {
    platform::RemoveStaleTemporaries(kutil::DirectoryOf(path));
    std::string tmp;
    const int fd = platform::CreateTemporaryBeside(path, 0666, &tmp);
    if (fd < 0) return false;
    bool ok = true;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
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
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

} // namespace

SettingsStore::SettingsStore(std::string directory)
    : directory_(std::move(directory)),
      path_(kutil::JoinPath(directory_.empty() ? "." : directory_, kFileName)) {}

bool SettingsStore::FileExists() const {
    return platform::IsRegularFile(path_);
}

std::string SettingsStore::Read(std::string_view section, std::string_view key) const {
    std::string data;
    if (!ReadWholeFile(path_, &data)) return {};
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
    std::string data;
    if (platform::Exists(path_) &&
        (::access(path_.c_str(), W_OK) != 0 || !ReadWholeFile(path_, &data)))
        return false;
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
    if (!ReplaceFile(path_, out)) return false;
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
