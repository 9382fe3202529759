#pragma once
// The SHA-256 of the recordings that event clips are cut from, kept between
// runs in one cache file, so that a clip of a recording whose digest is
// known reads only its own bytes (a one-minute 1080p pair is some 70 MB; the
// clip of 20 s around an event is a third of that).
//
// A digest is kept for one version of one file: its absolute path and what
// fstat of the descriptor that is read tells of it (device, inode, size,
// modification and change time in nanoseconds). Every write, truncation,
// utimensat, chmod or replacement of the file changes the change time or the
// inode, so it misses and the file is read again. A digest is stored only
//  * for a file on a local file system whose inode numbers are stable and
//    whose change times the kernel keeps (ext2/3/4, XFS, Btrfs, F2FS, tmpfs,
//    overlayfs, ZFS, bcachefs); a card's FAT or exFAT (two-second times,
//    inode numbers made up per mount), FUSE and network file systems are
//    never cached and always read;
//  * when the identity was the same before and after the read;
//  * when the change time lies well before the read began (kSettledNs, or
//    kSettledCoarseNs for a file system that keeps whole seconds), so that a
//    write after the read, which the kernel stamps with its coarse clock,
//    cannot leave the change time as it was.
//
// The cache file ($XDG_CACHE_HOME/kinetta/source-digests, see
// DigestCachePath) is text: a header line, one line per file, and a last
// line with the SHA-256 of everything before it. A file that does not parse
// exactly (damaged, cut short, of another version, larger than
// kDigestCacheBytes) is ignored as a whole and replaced by the next store.
// It holds at most kDigestCacheEntries files; storing more drops the oldest.
// It is replaced atomically (a temporary file renamed over it), its folder
// locked (flock) while it is read, merged and replaced, so that programs
// storing at the same time lose none of each other's entries. Mode 0600,
// folder 0700: it names the user's recordings.
//
// Pure. DigestCache is safe to use from several threads.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kinetta {

// One version of one file, as fstat of its open descriptor gives it.
struct FileIdentity {
    std::string path; // absolute, lexically normal
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0, changedNs = 0; // nanoseconds since the epoch
    bool operator==(const FileIdentity&) const = default;
};

struct DigestEntry {
    FileIdentity file;
    std::string sha256;        // 64 lower-case hexadecimal digits
    int64_t storedSeconds = 0; // when it was stored, seconds since the epoch
};

inline constexpr size_t kDigestCacheEntries = 2048;
inline constexpr size_t kDigestCacheBytes = size_t(2) << 20; // a larger file is ignored
inline constexpr size_t kDigestPathBytes = 4096;             // a longer path is not stored
inline constexpr int64_t kSettledNs = 100'000'000;           // 100 ms
inline constexpr int64_t kSettledCoarseNs = 2'000'000'000;   // 2 s

// The cache file's text, and back. Parse reads only inside text and gives
// false (entries empty) for anything but a complete, intact file of this
// version with at most kDigestCacheEntries entries.
std::string DigestCacheText(const std::vector<DigestEntry>& entries);
bool ParseDigestCache(std::string_view text, std::vector<DigestEntry>* entries);

// $XDG_CACHE_HOME/kinetta/source-digests, or ~/.cache/kinetta/source-digests
// when XDG_CACHE_HOME is unset, empty or relative; empty when HOME is not an
// absolute path either (then nothing is cached).
std::string DigestCachePath(const char* xdgCacheHome, const char* home);

// The identity of the regular file open as fd, known as path (made absolute
// against the current folder). False when fstat fails or fd is not a
// regular file.
bool IdentifyFile(int fd, const std::string& path, FileIdentity* out);

// Whether the file system of fd keeps identities a digest may be trusted by
// (the list above).
bool TrustedFileSystem(int fd);

class DigestCache {
public:
    // path: the cache file; empty: a cache that holds and stores nothing.
    explicit DigestCache(std::string path);
    // The process's cache, at DigestCachePath of its environment (read once,
    // on the first call).
    static DigestCache& Shared();

    const std::string& path() const { return path_; }
    // The digest stored for exactly this identity. The file is parsed again
    // only when it changed since it was last read.
    std::optional<std::string> Find(const FileIdentity& file);
    // Stores a digest (replacing what was stored for the same path). False
    // when the cache file cannot be written (the digest is then simply not
    // kept).
    bool Store(const FileIdentity& file, const std::string& sha256);

private:
    // The entries of the file as it is now (mutex_ held).
    const std::vector<DigestEntry>& EntriesLocked();

    const std::string path_;
    std::mutex mutex_;
    std::vector<DigestEntry> entries_; // as last read or written
    FileIdentity read_;                // the cache file as it was then (size 0, inode 0: none)
    bool haveRead_ = false;
};

// How DigestOfSource came by a digest.
enum class DigestFrom { Cache, Read, Failed };

struct SourceDigest {
    std::string sha256; // empty when Failed
    DigestFrom from = DigestFrom::Failed;
    bool stored = false; // Read, and kept in the cache
};

// The SHA-256 of the file at path: from cache (when given) when it holds one
// for the identity of the descriptor opened here, else the file is read to
// its end and the digest stored when the rules above allow. Failed when the
// file cannot be opened or read, is no regular file, or *running was
// cleared (checked once per MiB). With cachedOnly, a file that would have to
// be read is read only when its digest could then be stored (the viewer's
// background work has no use for the others).
SourceDigest DigestOfSource(const std::string& path, DigestCache* cache,
                            const std::atomic<bool>* running = nullptr, bool cachedOnly = false);

// The viewer's background work: the digests of the files of the recording
// it shows are computed on one thread at the lowest processor and disk
// priority (nice 19, best-effort I/O level 7), so that a clip cut from it later
// finds them in the cache. Files on file systems that are not cached are
// skipped without being read.
class DigestPrefetch {
public:
    explicit DigestPrefetch(DigestCache& cache);
    ~DigestPrefetch(); // Stop
    DigestPrefetch(const DigestPrefetch&) = delete;
    DigestPrefetch& operator=(const DigestPrefetch&) = delete;

    // The files wanted now, in order, in place of those still waiting (a file
    // being read is finished first unless it is no longer wanted).
    void Want(std::vector<std::string> paths);
    // Ends the work: the file being read is given up, the thread joined.
    void Stop();
    // Blocks until nothing waits or is being read (tests).
    void WaitIdle();

private:
    void Run();

    DigestCache& cache_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::string> waiting_; // guarded by mutex_
    std::string current_;             // being read; guarded by mutex_
    bool stop_ = false;               // guarded by mutex_
    std::atomic<bool> reading_{true}; // cleared to give up the file being read
    std::thread thread_;
};

} // namespace kinetta
