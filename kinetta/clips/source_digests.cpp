#include "kinetta/clips/source_digests.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "util/sha256.h"

namespace kinetta {

namespace {

constexpr std::string_view kHeader = "kinetta source digests 1\n";
constexpr std::string_view kEnd = "end ";
constexpr size_t kHexDigits = 64;
constexpr size_t kEndLineBytes = kEnd.size() + kHexDigits + 1;

int64_t NowNs() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t Ns(const timespec& t) {
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool IsHexDigest(std::string_view s) {
    return s.size() == kHexDigits && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string HexOf(std::string_view text) {
    kutil::Sha256 h;
    h.Update(text);
    return kutil::Sha256::Hex(h.Finish());
}

// A path as the rest of a line: backslashes and line breaks escaped.
void AppendEscaped(std::string& out, std::string_view path) {
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
}

bool Unescape(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0' || c == '\r') return false;
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++i == text.size()) return false;
        if (text[i] == '\\')
            *out += '\\';
        else if (text[i] == 'n')
            *out += '\n';
        else if (text[i] == 'r')
            *out += '\r';
        else
            return false;
    }
    return true;
}

// The next field of a line up to a space; false when there is no space.
bool Field(std::string_view& line, std::string_view* field) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    *field = line.substr(0, space);
    line.remove_prefix(space + 1);
    return true;
}

template <typename T> bool Number(std::string_view& line, T* value) {
    std::string_view field;
    if (!Field(line, &field) || field.empty()) return false;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), *value);
    return error == std::errc() && end == field.data() + field.size();
}

bool ParseLine(std::string_view line, DigestEntry* e) {
    std::string_view sha;
    if (!Field(line, &sha) || !IsHexDigest(sha)) return false;
    e->sha256 = std::string(sha);
    FileIdentity& f = e->file;
    if (!Number(line, &f.device) || !Number(line, &f.inode) || !Number(line, &f.size) ||
        !Number(line, &f.modifiedNs) || !Number(line, &f.changedNs) ||
        !Number(line, &e->storedSeconds))
        return false;
    return Unescape(line, &f.path) && !f.path.empty() && f.path.front() == '/' &&
           f.path.size() <= kDigestPathBytes;
}

// What tells whether the cache file changed since it was read.
FileIdentity CacheFileKey(const struct stat& st) {
    FileIdentity k;
    k.device = st.st_dev;
    k.inode = st.st_ino;
    k.size = uint64_t(st.st_size);
    k.modifiedNs = Ns(st.st_mtim);
    k.changedNs = Ns(st.st_ctim);
    return k;
}

// Creates the folder and those above it that are missing (mode 0700).
bool MakeFolders(const std::string& folder) {
    if (folder.empty()) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Whether a write after start would have to move the change time away from
// the one seen: it lies further back than the coarse clock's step (whole
// seconds where the file system keeps no fractions).
bool Settled(const FileIdentity& f, int64_t start) {
    const int64_t margin = f.changedNs % 1'000'000'000 == 0 ? kSettledCoarseNs : kSettledNs;
    return f.changedNs < start - margin;
}

} // namespace

std::string DigestCacheText(const std::vector<DigestEntry>& entries) {
    std::string t(kHeader);
    for (const DigestEntry& e : entries) {
        const FileIdentity& f = e.file;
        t += e.sha256;
        t += ' ' + std::to_string(f.device) + ' ' + std::to_string(f.inode) + ' ' +
             std::to_string(f.size) + ' ' + std::to_string(f.modifiedNs) + ' ' +
             std::to_string(f.changedNs) + ' ' + std::to_string(e.storedSeconds) + ' ';
        AppendEscaped(t, f.path);
        t += '\n';
    }
    const std::string sum = HexOf(t);
    t += kEnd;
    t += sum;
    t += '\n';
    return t;
}

bool ParseDigestCache(std::string_view text, std::vector<DigestEntry>* entries) {
    entries->clear();
    if (text.size() > kDigestCacheBytes || text.size() < kHeader.size() + kEndLineBytes ||
        text.substr(0, kHeader.size()) != kHeader)
        return false;
    const std::string_view body = text.substr(0, text.size() - kEndLineBytes);
    const std::string_view end = text.substr(body.size());
    if (end.substr(0, kEnd.size()) != kEnd || end.back() != '\n' ||
        end.substr(kEnd.size(), kHexDigits) != HexOf(body))
        return false;
    std::vector<DigestEntry> out;
    std::string_view rest = body.substr(kHeader.size());
    while (!rest.empty()) {
        const size_t newline = rest.find('\n');
        if (newline == std::string_view::npos || out.size() == kDigestCacheEntries) return false;
        DigestEntry e;
        if (!ParseLine(rest.substr(0, newline), &e)) return false;
        out.push_back(std::move(e));
        rest.remove_prefix(newline + 1);
    }
    *entries = std::move(out);
    return true;
}

std::string DigestCachePath(const char* xdgCacheHome, const char* home) {
    std::string base;
    if (xdgCacheHome && xdgCacheHome[0] == '/')
        base = xdgCacheHome;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.cache";
    else
        return {};
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/kinetta/source-digests";
}

bool IdentifyFile(int fd, const std::string& path, FileIdentity* out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) return false;
    *out = CacheFileKey(st);
    out->path = full.lexically_normal().string();
    return true;
}

bool TrustedFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<uint32_t>(fs.f_type)) {
    case 0xEF53u:     // ext2, ext3, ext4
    case 0x58465342u: // XFS
    case 0x9123683Eu: // Btrfs
    case 0xF2F52010u: // F2FS
    case 0x01021994u: // tmpfs
    case 0x794C7630u: // overlayfs
    case 0x2FC12FC1u: // ZFS
    case 0xCA451A4Eu: // bcachefs
        return true;
    default:
        return false;
    }
}

DigestCache::DigestCache(std::string path) : path_(std::move(path)) {}

DigestCache& DigestCache::Shared() {
    static DigestCache cache(DigestCachePath(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME")));
    return cache;
}

const std::vector<DigestEntry>& DigestCache::EntriesLocked() {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        entries_.clear();
        read_ = FileIdentity{};
        haveRead_ = true;
        return entries_;
    }
    if (haveRead_ && CacheFileKey(st) == read_) return entries_;
    entries_.clear();
    read_ = FileIdentity{};
    haveRead_ = false;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return entries_;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // One byte more than a cache file may hold tells one that is too large.
        std::string text(std::min<uint64_t>(uint64_t(st.st_size), kDigestCacheBytes) + 1, '\0');
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += size_t(n);
        }
        text.resize(got);
        ParseDigestCache(text, &entries_); // a damaged file gives none
        read_ = CacheFileKey(st);
        haveRead_ = true;
    }
    ::close(fd);
    return entries_;
}

std::optional<std::string> DigestCache::Find(const FileIdentity& file) {
    if (path_.empty()) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const DigestEntry& e : EntriesLocked())
        if (e.file == file) return e.sha256;
    return std::nullopt;
}

bool DigestCache::Store(const FileIdentity& file, const std::string& sha256) {
    if (path_.empty() || !IsHexDigest(sha256) || file.path.empty() || file.path.front() != '/' ||
        file.path.size() > kDigestPathBytes)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string folder = path_.substr(0, path_.find_last_of('/'));
    if (!MakeFolders(folder)) return false;
    // Other programs store into the same file: the folder is locked while the
    // file is read, merged and replaced.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    while (::flock(dir, LOCK_EX) != 0 && errno == EINTR) {
    }
    haveRead_ = false;
    std::vector<DigestEntry> entries = EntriesLocked();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const DigestEntry& e) { return e.file.path == file.path; }),
                  entries.end());
    entries.push_back({file, sha256, NowNs() / 1'000'000'000});
    if (entries.size() > kDigestCacheEntries)
        entries.erase(entries.begin(),
                      entries.begin() + ptrdiff_t(entries.size() - kDigestCacheEntries));
    std::string text = DigestCacheText(entries);
    // Too many long paths for the file's bound: the oldest go.
    while (text.size() > kDigestCacheBytes && !entries.empty()) {
        entries.erase(entries.begin(),
                      entries.begin() + ptrdiff_t(std::max<size_t>(1, entries.size() / 8)));
        text = DigestCacheText(entries);
    }

    // Written beside it and renamed over it; without fsync: a cache file cut
    // short by a crash fails its check and is ignored.
    std::string temp = path_ + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // mode 0600
    bool ok = fd >= 0;
    if (ok) {
        ok = WriteAll(fd, text);
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temp.c_str(), path_.c_str()) == 0;
        if (!ok) ::unlink(temp.c_str());
    }
    haveRead_ = false;
    struct stat st {};
    if (ok && ::stat(path_.c_str(), &st) == 0) {
        entries_ = std::move(entries);
        read_ = CacheFileKey(st);
        haveRead_ = true;
    }
    ::close(dir); // and the lock with it
    return ok;
}

SourceDigest DigestOfSource(const std::string& path, DigestCache* cache,
                            const std::atomic<bool>* running, bool cachedOnly) {
    SourceDigest out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return out;
    FileIdentity before;
    if (!IdentifyFile(fd, path, &before)) {
        ::close(fd);
        return out;
    }
    const bool cacheable = cache && !cache->path().empty() && TrustedFileSystem(fd) &&
                           before.path.size() <= kDigestPathBytes;
    if (cacheable) {
        if (std::optional<std::string> sha = cache->Find(before)) {
            ::close(fd);
            out.sha256 = std::move(*sha);
            out.from = DigestFrom::Cache;
            return out;
        }
    }
    const int64_t start = NowNs();
    if (cachedOnly && !(cacheable && Settled(before, start))) {
        ::close(fd);
        return out;
    }
    std::string sha = kutil::Sha256OfDescriptor(fd, running);
    FileIdentity after;
    const bool same = IdentifyFile(fd, path, &after) && after == before;
    ::close(fd);
    if (sha.empty()) return out;
    out.sha256 = std::move(sha);
    out.from = DigestFrom::Read;
    if (cacheable && same && Settled(before, start)) out.stored = cache->Store(before, out.sha256);
    return out;
}

DigestPrefetch::DigestPrefetch(DigestCache& cache) : cache_(cache), thread_([this] { Run(); }) {}

DigestPrefetch::~DigestPrefetch() {
    Stop();
}

void DigestPrefetch::Want(std::vector<std::string> paths) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    if (!current_.empty() && std::find(paths.begin(), paths.end(), current_) == paths.end())
        reading_.store(false); // given up
    waiting_.clear();
    for (std::string& p : paths)
        if (!p.empty() && p != current_ &&
            std::find(waiting_.begin(), waiting_.end(), p) == waiting_.end())
            waiting_.push_back(std::move(p));
    wake_.notify_one();
}

void DigestPrefetch::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        waiting_.clear();
        reading_.store(false);
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void DigestPrefetch::WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return stop_ || (waiting_.empty() && current_.empty()); });
}

void DigestPrefetch::Run() {
    // This thread only: the lowest processor priority and the lowest
    // best-effort I/O level (IOPRIO_WHO_PROCESS of the thread,
    // IOPRIO_CLASS_BE level 7; not the idle class, which a busy disk can
    // starve for good, holding up the join at shutdown).
    const pid_t self = pid_t(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, id_t(self), 19);
    ::syscall(SYS_ioprio_set, 1, self, (2 << 13) | 7);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
        if (stop_) break;
        current_ = std::move(waiting_.front());
        waiting_.pop_front();
        reading_.store(true);
        const std::string path = current_;
        lock.unlock();
        DigestOfSource(path, &cache_, &reading_, true);
        lock.lock();
        current_.clear();
        if (waiting_.empty()) idle_.notify_all();
    }
    idle_.notify_all();
}

} // namespace kinetta
