#pragma once
// sMAPFILE: a recording opened for reading through a read-only mapping.
//
// Read access to a recording. Every reader of the container toolkit takes file
// bytes through MapRange; no file is ever opened for writing here.
//
// A "view" is a private copy of the range, read with pread when it is asked
// for, not a memory mapping: a file that shrinks while it is read (a card
// pulled, the file truncated while open) then gives a failed view instead of
// a fault on a mapped page that no longer exists. The recorder's box headers
// and sample tables are copied out anyway, and media data is copied to the
// output in windows, so nothing is read twice.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace playcore {

// One opened file. Plain record; owned by the movie or reader that opened it.
// Not thread-safe: one thread at a time (the owner's lock or thread).
struct sMAPFILE {
    int file = -1;            // descriptor, opened read-only; -1 when closed
    std::string path;         // the path that was opened
    uint64_t size = 0;        // file size in bytes at open; always below 4 GiB (see OpenMapFile)
    uint32_t granularity = 0; // page size, read once at open
    uint64_t viewDelta = 0;   // distance from the page start to the byte last asked for

    // Views handed out and not yet released: the copied bytes and the pointer
    // returned to the caller, so that UnmapRange releases the right one while
    // several views are open at once.
    struct View {
        std::unique_ptr<uint8_t[]> bytes;
        const uint8_t* user;
    };
    std::vector<View> views;
};

// Files of 4 GiB or more are outside the supported range (box sizes and chunk
// offsets are 32-bit); opening one fails rather than reading a wrapped size.
inline constexpr uint64_t kMaxMappedFileSize = 0xFFFFFFFFull;

// Opens an existing regular file for reading. False when it cannot be opened,
// is not a regular file (a FIFO, a device: never waited on), or is 4 GiB or
// larger. An empty file opens (size 0), but nothing can be read from it.
bool OpenMapFile(const std::string& path, sMAPFILE* out);

// Reads [offset, offset + length) into a view; the length is cut at the end
// of the file as it was at open. Returns the pointer to the byte at offset and
// stores the usable length in *mapped; nullptr when offset is at or past the
// end of the file, length is 0, memory runs out, or the file no longer holds
// the range (it was cut short since it was opened).
const uint8_t* MapRange(sMAPFILE& file, uint64_t offset, uint64_t length, uint64_t* mapped);

// Releases the view that MapRange returned as ptr, and clears viewDelta.
void UnmapRange(sMAPFILE& file, const uint8_t* ptr);

// Releases every view and closes the descriptor. Safe to call twice.
void CloseMapFile(sMAPFILE& file);

// Test hook: called with every file OpenMapFile has opened, before anything
// is read from it (a test truncates the file there). Empty: no hook.
void SetAfterOpenHookForTesting(std::function<void(const sMAPFILE&)> hook);

// A view released when it goes out of scope.
class ScopedView {
public:
    ScopedView(sMAPFILE& file, uint64_t offset, uint64_t length)
        : file_(file), ptr_(MapRange(file, offset, length, &mapped_)) {}
    ~ScopedView() {
        if (ptr_) UnmapRange(file_, ptr_);
    }
    ScopedView(const ScopedView&) = delete;
    ScopedView& operator=(const ScopedView&) = delete;

    const uint8_t* data() const { return ptr_; }
    // Usable bytes from data(); 0 when nothing was read.
    uint64_t size() const { return ptr_ ? mapped_ : 0; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    sMAPFILE& file_;
    uint64_t mapped_ = 0;
    const uint8_t* ptr_;
};

// Copies exactly length bytes at offset into out. False when the range does
// not lie inside the file as it was opened or the file no longer holds it.
bool ReadRange(sMAPFILE& file, uint64_t offset, void* out, size_t length);

} // namespace playcore
