#pragma once
// Read-only memory mapping of a recording. Every reader of the container
// toolkit takes file bytes through MapRange; no file is read with ordinary
// reads, and no file is ever opened for writing here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace playcore {

// One opened file. Plain record; owned by the movie or reader that opened it.
// Not thread-safe: one thread at a time (the owner's lock or thread).
struct sMAPFILE {
    int file = -1;            // descriptor, opened read-only; -1 when closed
    std::string path;         // the path that was opened
    uint64_t size = 0;        // file size in bytes; always below 4 GiB (see OpenMapFile)
    uint32_t granularity = 0; // page size, read once at open; views start on a multiple
    uint64_t viewDelta = 0;   // distance from the last view's start to the byte asked for

    // Views handed out and not yet released (start of view, its length, the
    // pointer returned to the caller), so that UnmapRange can release the
    // right one while several views are open at once.
    struct View {
        void* base;
        size_t length;
        const uint8_t* user;
    };
    std::vector<View> views;

    // Small ranges (box headers, sample tables) are served from one mapping of
    // the whole file, made at the first such request and released at close:
    // a recording's tree is read in a few hundred small pieces, and a mapping
    // per piece costs two system calls each. Only the pages touched are read.
    void* whole = nullptr; // nullptr until made
    size_t wholeLength = 0;
};

// Ranges up to this length are served from the whole-file mapping; longer
// ones (media copies) get a view of their own, released on UnmapRange.
inline constexpr uint64_t kSmallRange = 1u << 20;

// Files of 4 GiB or more are outside the supported range (box sizes and chunk
// offsets are 32-bit); opening one fails rather than reading a wrapped size.
inline constexpr uint64_t kMaxMappedFileSize = 0xFFFFFFFFull;

// Opens an existing regular file for reading. False when it cannot be opened,
// is not a regular file, or is 4 GiB or larger. An empty file opens (size 0),
// but nothing can be mapped from it.
bool OpenMapFile(const std::string& path, sMAPFILE* out);

// Maps [offset, offset + length) read-only. The view starts at offset rounded
// down to the granularity; the length is cut at the end of the file. Returns
// the pointer to the byte at offset and stores the usable length (bytes from
// that pointer that lie inside the view) in *mapped; nullptr when offset is at
// or past the end of the file, length is 0, or the mapping fails.
const uint8_t* MapRange(sMAPFILE& file, uint64_t offset, uint64_t length, uint64_t* mapped);

// Releases the view that MapRange returned as ptr, and clears viewDelta.
void UnmapRange(sMAPFILE& file, const uint8_t* ptr);

// Releases every view and closes the descriptor. Safe to call twice.
void CloseMapFile(sMAPFILE& file);

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
    // Usable bytes from data(); 0 when nothing was mapped.
    uint64_t size() const { return ptr_ ? mapped_ : 0; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    sMAPFILE& file_;
    uint64_t mapped_ = 0;
    const uint8_t* ptr_;
};

} // namespace playcore
