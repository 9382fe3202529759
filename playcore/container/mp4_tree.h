#pragma once
// sMP4MOVIE and sTAGNODE: an MP4 recording's box tree and one box of it.
//
// The box tree of an MP4 recording, read through a read-only mapping.
//
// Only the 32-bit size form of a box is read; files of 4 GiB or more, the
// 64-bit and to-end-of-file size forms and `co64` are outside the supported
// range, and such files fail to open rather than being misread.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playcore/container/byte_order.h"
#include "playcore/container/gps_layout.h"
#include "playcore/container/map_file.h"
#include "playcore/container/recorder_family.h"

namespace playcore {

// The file a node's bytes come from, kept open for as long as any node refers
// to it: media data and GPS records are copied from this descriptor when a
// tree is written, never by opening the path again, so a file put in the
// source's place meanwhile is never read into an output.
struct SourceFile {
    std::string path;  // the path that was opened
    int fd = -1;       // read-only, owned; closed with the last reference
    uint64_t size = 0; // file size at open
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();
};

// The GPS block a "gps0" box holds (TX40 family). The node's offset and size
// describe the block, not the box payload; these are its records and the
// layout of the family it was read as.
struct GpsBoxBlock {
    uint32_t headerBytes = 0; // h: start marker, header and count
    uint32_t recordSize = 0;  // r: bytes of one record
    uint64_t firstRecord = 0; // records of the block before those written (a trimmed clip)
    uint64_t recordCount = 0; // records of this node written, from firstRecord on
    uint64_t recordBytes = 0; // recordCount × r
    uint64_t blockBytes = 0;  // recordBytes + h + end marker, plus the records joined after it
    uint64_t joinedCount = 0; // total after joins; 0 when none
    // The records written for this block: joined ones included.
    uint64_t Count() const { return joinedCount ? joinedCount : recordCount; }
};

// One box; the root node stands for the whole file. A node owns its data and
// its children; nodes in an append chain are owned by the movie they were read
// from. Not thread-safe: a tree lives for one operation on one thread.
struct sTAGNODE {
    int32_t depth = 0;         // 0 root, 1 top-level boxes, ...
    std::vector<uint8_t> data; // copied payload of a leaf (see payloadInSource)
    std::vector<std::unique_ptr<sTAGNODE>> children; // in file order
    uint32_t leaf = 0;                               // 1: payload is not a list of boxes
    char type[5] = {0, 0, 0, 0, 0};           // four characters and a zero; empty for the root
    std::shared_ptr<const SourceFile> source; // file that holds this box's bytes
    uint64_t size = 0;                        // current payload size (edits change it)
    uint64_t offset = 0;                      // current payload offset in the source
    uint64_t copied = 0;                      // bytes held in data
    uint64_t origSize = 0;                    // payload size as read
    uint64_t origOffset = 0;                  // payload offset as read
    sTAGNODE* appendHead = nullptr;           // nodes of other files written after this one
    sTAGNODE* appendNext = nullptr;           // next node of the chain

    // A leaf whose payload is copied from the source when written instead of
    // being held in data: mdat, and leaves too large to copy (kMaxCopiedLeaf).
    bool payloadInSource = false;
    // gps0 holding a GPS block; nullptr for every other node.
    std::unique_ptr<GpsBoxBlock> gps;
    // Bytes at the end of a container that do not form a known box (the scan
    // of the container stopped there). They are written back unchanged after
    // the children so that the container's size agrees with its bytes. The
    // root's tail (the TX50 family's GPS block) is not written by WriteTree.
    uint64_t tailOffset = 0;
    uint64_t tailSize = 0;

    std::string_view Type() const { return std::string_view(type, type[0] ? 4 : 0); }
    bool Is(std::string_view t) const { return Type() == t; }
};

// Slots of the per-type node lists of a movie, in this fixed order.
enum BoxListSlot : int {
    kMdatList = 0,
    kGps0List = 1,
    kUnusedList2 = 2,
    kStscList = 3,
    kStszList = 4,
    kStcoList = 5,
    kStssList = 6,
    kSttsList = 7,
    kUnusedList8 = 8,
    kMdhdList = 9,
    kMvhdList = 10,
    kTkhdList = 11,
    kElstList = 12,
    kStsdList = 13,
    kBoxListCount = 14,
};

// Copy of the TX50 family's GPS block, which lies after the last box.
struct Tx50GpsBlock {
    bool present = false;
    uint64_t fileOffset = 0;            // where the block starts in the file
    std::array<uint8_t, 43> header{};   // as in the file (count big-endian at 41..42)
    uint32_t recordCount = 0;           // native count, cut to the records present
    std::array<uint8_t, 6> endMarker{}; // the 6 bytes after the records, zero if absent
    std::vector<uint8_t> records;       // recordCount × 91 bytes
};

// One opened movie. The tree's views and handles live until CloseMp4Movie (or
// destruction). Not thread-safe.
struct sMP4MOVIE {
    sMAPFILE map;
    sTAGNODE root;
    uint64_t fileSize = 0;
    uint32_t duration = 0; // first mvhd, payload bytes 16..19 (version-0 duration)
    // Nodes of each type in tree order; entry i of stsz/stco/stsc/stts/mdhd/tkhd
    // belongs to the i-th track. Pointers into root's subtree.
    std::array<std::vector<sTAGNODE*>, kBoxListCount> lists;
    Tx50GpsBlock tx50Gps; // TX50 family only
    RecorderFamily family = RecorderFamily::TX40;
    size_t nodeCount = 0;     // nodes read; bounded by kMaxNodes
    // Nodes an edit made that belong to no file's tree: the source ranges of
    // a trimmed movie's media data, chained to its mdat node.
    std::vector<std::unique_ptr<sTAGNODE>> madeNodes;
    uint64_t copiedBytes = 0; // leaf payloads held in memory; bounded by kMaxCopiedTotal

    sMP4MOVIE() = default;
    sMP4MOVIE(const sMP4MOVIE&) = delete;
    sMP4MOVIE& operator=(const sMP4MOVIE&) = delete;
    virtual ~sMP4MOVIE();

    const std::vector<sTAGNODE*>& List(BoxListSlot slot) const { return lists[slot]; }
};

// A movie opened for the last step of re-encoding: also lists the moov nodes.
struct sMP4CONVERTMOVIE : sMP4MOVIE {
    std::vector<sTAGNODE*> moovList;
};

// Limits that keep hostile files from exhausting the stack or memory. Real
// recordings nest fewer than 10 levels and hold fewer than 200 boxes.
inline constexpr int kMaxBoxDepth = 32;
inline constexpr size_t kMaxNodes = 100000;
// Leaves larger than this, or beyond this many copied bytes in one movie, are
// written from the source instead of being held in memory (a recorder's
// sample tables take well under a megabyte).
inline constexpr uint64_t kMaxCopiedLeaf = 16u << 20;
inline constexpr uint64_t kMaxCopiedTotal = 64u << 20;

// Opens path and reads its box tree. copyRoot is kept for the callers' sake:
// a file that does not start with a known box is not an MP4 file and fails
// to open whichever value is passed. Returns nullptr on any failure.
std::unique_ptr<sMP4MOVIE> OpenMp4Movie(const std::string& path, bool copyRoot,
                                        RecorderFamily family);
std::unique_ptr<sMP4CONVERTMOVIE> OpenMp4ConvertMovie(const std::string& path,
                                                      RecorderFamily family);

// Reads the children of parent (whose offset and size must lie inside the
// file) at the given depth. False fails the whole open.
bool ParseChildren(sMP4MOVIE& movie, sTAGNODE& parent, int depth);

// Appends every node of the given type below root (and root itself), pre-order.
void CollectBoxes(sTAGNODE& root, std::string_view type, std::vector<sTAGNODE*>& list);

// Bytes a node occupies when written: 8 + payload for a leaf, 8 + children
// (+ tail) for a container; for a GPS block node the block of its (joined)
// record count plus the box header.
uint64_t NodeSize(const sTAGNODE& node);

// Releases views, handles, the tree, the lists and the TX50 record buffer.
// The movie is empty afterwards; safe to call twice.
void CloseMp4Movie(sMP4MOVIE& movie);

// Reads a big-endian number from a node's copied payload; false when the
// payload is too short.
bool PayloadBE32(const sTAGNODE& node, size_t payloadOffset, uint32_t* value);
bool PayloadBE16(const sTAGNODE& node, size_t payloadOffset, uint16_t* value);

} // namespace playcore
