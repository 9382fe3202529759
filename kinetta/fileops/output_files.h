#pragma once
// Writing the outputs of the file operations safely: a copy is written to a
// temporary file beside its final name and renamed into place only when it is
// complete and on the disk, so a cancel, a full disk or a pulled card never
// leaves a half-written file under the final name; a name that must not be
// replaced is never overwritten, even when a file of that name appears between
// a check and the rename.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace kinetta {

// Outputs of 4 GiB or more cannot be written: the boxes of the recorder's
// layout carry 32-bit sizes and chunk offsets.
inline constexpr uint64_t kMaxOutputBytes = 0xFFFFFFFFull;

// Whether a file of bytes bytes fits in folder's file system: FAT32 files end
// below 4 GiB (platform::LargestFileBytes); elsewhere any size fits.
bool FitsInFileSystem(const std::string& folder, uint64_t bytes);

// Head room kept free on the output's disk beyond what a flow writes, for
// the file system's own blocks and the box headers a write adds (bytes).
inline constexpr uint64_t kFreeSpaceMargin = 16ull << 20;

// Bytes an unprivileged user may still write in folder's file system;
// nothing when it cannot be asked or the file system reports no size (0
// blocks in statvfs).
std::optional<uint64_t> FreeBytes(const std::string& folder);

// Whether folder's disk holds bytes more (plus kFreeSpaceMargin). A disk
// that cannot be asked counts as having room: the write then reports its own
// failure.
bool HasRoomFor(const std::string& folder, uint64_t bytes);

enum class CopyResult {
    Failed,    // nothing is left under the final name or as a temporary
    Written,   // the copy stands complete under the final name
    Cancelled, // *running was cleared; nothing was written
    Exists,    // replace was false and the final name exists
};

// Copies the regular file source to target through a temporary beside
// target. replace: an existing target is replaced in one rename; otherwise an
// existing target (also one that appears during the copy) is left alone.
// A target that is the source itself is refused. *running (if given) is
// checked between pieces of the copy.
CopyResult CopyFileAtomic(const std::string& source, const std::string& target, bool replace,
                          const std::atomic<bool>* running = nullptr, std::string* why = nullptr);

// The size of a regular file in bytes, 0 when it is missing.
uint64_t FileBytes(const std::string& path);

} // namespace kinetta
