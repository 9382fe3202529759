#pragma once
// Reading files that may be hostile or may change while they are read, and
// creating temporary files beside an output.
//
// Recordings, card files and the settings file are opened only when they are
// regular files: opening a FIFO or a device for reading can block forever
// (a FIFO waits for a writer) or read without end. Every read is an ordinary
// pread into the caller's buffer, so a file cut short meanwhile (a card pulled,
// the file truncated while open) gives a short read, never a fault.
//
// Temporary files are named ".kinetta-tmp-<pid>-<random>-<name>" in the folder
// of the file they become. A temporary whose process is gone is stale (a run
// that was killed); RemoveStaleTemporaries removes those of the calling user.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Opens path read-only without blocking and keeps it only when it is a
// regular file (after following links). Returns the descriptor (close-on-exec,
// blocking reads) or -1: missing, unreadable, or not a regular file (errno is
// then EINVAL for FIFOs, devices, sockets and folders).
int OpenRegularForReading(const std::string& path);

// A path that names the very file fd holds open ("/proc/self/fd/N"), for
// libraries that open files by name: opened while fd is open it reaches the
// checked regular file even when another file (a FIFO) has been put at the
// original path meanwhile. Falls back to fallback where /proc is missing.
// The library's open is reported to the open observer with fallback.
std::string DescriptorPath(int fd, const std::string& fallback);

// Called with the path of every open of a file for reading: each
// OpenRegularForReading that succeeds and each DescriptorPath handed to a
// library. For the benches and tests, which count how often one file is
// opened; null (the default) reports nothing. Any thread may open files while
// it is set, so the observer must be thread-safe.
using OpenObserver = void (*)(const std::string& path);
void SetOpenObserver(OpenObserver observer);

// Bytes read at offset into out, up to length: fewer at the end of the file,
// -1 on a read error. Retries interrupted reads.
int64_t ReadAt(int fd, uint64_t offset, void* out, size_t length);
// True only when all length bytes at offset were read.
bool ReadExactlyAt(int fd, uint64_t offset, void* out, size_t length);

// The whole of a regular file of at most maxBytes bytes. False when the file
// cannot be opened as a regular file, cannot be read, or is larger.
bool ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string* out);

// Whether path can be opened for reading as a regular file (the file is
// closed again).
bool IsReadableRegularFile(const std::string& path);

// The name prefix of every temporary file the program writes.
inline constexpr std::string_view kTemporaryPrefix = ".kinetta-tmp-";

// Creates a new temporary file in the folder of finalPath, exclusively
// (O_CREAT | O_EXCL | O_NOFOLLOW, so a planted link or file is never opened),
// with an unpredictable name, for writing. mode is masked by the umask as for
// any new file. Returns the descriptor and the temporary's path, or -1.
int CreateTemporaryBeside(const std::string& finalPath, mode_t mode, std::string* tempPath);

// The pid a temporary file name carries; 0 when name is not one.
pid_t TemporaryOwner(std::string_view name);

// Removes, in folder, the temporary files of the calling user whose process
// no longer runs (only regular files, never through a link). Returns how many
// were removed.
int RemoveStaleTemporaries(const std::string& folder);

} // namespace platform
