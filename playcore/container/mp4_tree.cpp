#include "playcore/container/mp4_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "playcore/container/box_types.h"
#include "playcore/container/boxes/mvhd_box.h"

namespace playcore {

namespace {

// Whether the block start marker stands at offset.
bool MarkerAt(sMP4MOVIE& movie, uint64_t offset) {
    uint8_t marker[kBlockStartMarker.size()];
    return ReadRange(movie.map, offset, marker, sizeof marker) &&
           std::memcmp(marker, kBlockStartMarker.data(), sizeof marker) == 0;
}

// Record count of a block at blockStart, cut to the records that lie wholly
// inside the file. Zero when the header itself is cut off.
uint32_t CountOfBlockAt(sMP4MOVIE& movie, uint64_t blockStart, const GpsLayout& layout) {
    const uint64_t available = movie.fileSize - blockStart;
    if (available < layout.headerBytes) return 0;
    uint8_t count[2];
    if (!ReadRange(movie.map, blockStart + layout.headerBytes - 2, count, 2)) return 0;
    uint64_t n = LoadBE16(count);
    return static_cast<uint32_t>(
        std::min<uint64_t>(n, (available - layout.headerBytes) / layout.recordBytes));
}

// The GPS block of a "gps0" box at position: right after the box header when
// the payload starts with the marker, else the last largest-block bytes of the
// file. Only a box that reaches to the end of its parent at the end of the
// file can hold it. Returns false when there is no block there.
bool LocateBoxBlock(sMP4MOVIE& movie, uint64_t position, uint64_t parentEnd,
                    const GpsLayout& layout, uint64_t* blockStart) {
    if (parentEnd != movie.fileSize) return false;
    const uint64_t payload = position + 8;
    if (payload + layout.headerBytes <= movie.fileSize && MarkerAt(movie, payload)) {
        *blockStart = payload;
        return true;
    }
    const uint64_t largest = layout.BlockBytes(layout.maxRecords);
    if (movie.fileSize >= largest && MarkerAt(movie, movie.fileSize - largest)) {
        *blockStart = movie.fileSize - largest;
        return true;
    }
    return false;
}

std::unique_ptr<sTAGNODE> NewChild(const sTAGNODE& parent, int depth, const uint8_t* type) {
    auto child = std::make_unique<sTAGNODE>();
    child->depth = depth + 1;
    std::memcpy(child->type, type, 4);
    child->type[4] = 0;
    child->source = parent.source;
    return child;
}

// Loads the TX50 family's block: the last largest-block bytes when they start
// with the marker, else the bytes right after the last top-level box when
// they do. No block is not an error.
bool LoadTx50Block(sMP4MOVIE& movie) {
    const GpsLayout& layout = kTx50Layout;
    Tx50GpsBlock& block = movie.tx50Gps;
    block = Tx50GpsBlock{};
    const uint64_t largest = layout.BlockBytes(layout.maxRecords);
    uint64_t start = 0;
    bool found = false;
    if (movie.fileSize >= largest && MarkerAt(movie, movie.fileSize - largest)) {
        start = movie.fileSize - largest;
        found = true;
    } else if (!movie.root.children.empty()) {
        const sTAGNODE& last = *movie.root.children.back();
        const uint64_t end = last.gps ? movie.fileSize : last.origOffset + last.origSize;
        if (end + layout.headerBytes <= movie.fileSize && MarkerAt(movie, end)) {
            start = end;
            found = true;
        }
    }
    if (!found) return true;
    const uint32_t n = CountOfBlockAt(movie, start, layout);
    const uint64_t recordBytes = uint64_t(n) * layout.recordBytes;
    // CountOfBlockAt cut n to the records inside the file, so the header and
    // the records lie inside it; a read that fails now means the file shrank.
    if (!ReadRange(movie.map, start, block.header.data(), layout.headerBytes)) return false;
    block.records.resize(static_cast<size_t>(recordBytes));
    if (!ReadRange(movie.map, start + layout.headerBytes, block.records.data(),
                   block.records.size()))
        return false;
    const uint64_t endAt = start + layout.headerBytes + recordBytes;
    if (movie.fileSize - endAt >= kBlockEndBytes &&
        !ReadRange(movie.map, endAt, block.endMarker.data(), kBlockEndBytes))
        return false;
    block.recordCount = n;
    block.fileOffset = start;
    block.present = true;
    return true;
}

bool OpenInto(sMP4MOVIE& movie, const std::string& path, RecorderFamily family) {
    movie.family = family;
    if (!OpenMapFile(path, &movie.map)) return false;
    movie.fileSize = movie.map.size;
    // The smallest MP4 file is one box header; a file that does not start
    // with a known box is not read as MP4 at all.
    if (movie.fileSize < 8) return false;
    {
        uint8_t head[8];
        if (!ReadRange(movie.map, 0, head, sizeof head) || !IsKnownBoxType(head + 4)) return false;
    }
    sTAGNODE& root = movie.root;
    root = sTAGNODE{};
    auto source = std::make_shared<SourceFile>();
    source->path = path;
    source->size = movie.fileSize;
    source->fd = ::fcntl(movie.map.file, F_DUPFD_CLOEXEC, 0);
    if (source->fd < 0) return false;
    root.source = std::move(source);
    root.size = root.origSize = movie.fileSize;
    root.offset = root.origOffset = 0;
    movie.nodeCount = 1;
    if (!ParseChildren(movie, root, 0)) return false;

    auto& l = movie.lists;
    CollectBoxes(root, "mdat", l[kMdatList]);
    CollectBoxes(root, "gps0", l[kGps0List]);
    CollectBoxes(root, "stsc", l[kStscList]);
    CollectBoxes(root, "stsz", l[kStszList]);
    CollectBoxes(root, "stco", l[kStcoList]);
    CollectBoxes(root, "mdhd", l[kMdhdList]);
    CollectBoxes(root, "stss", l[kStssList]);
    CollectBoxes(root, "stts", l[kSttsList]);
    CollectBoxes(root, "mvhd", l[kMvhdList]);
    CollectBoxes(root, "tkhd", l[kTkhdList]);
    CollectBoxes(root, "elst", l[kElstList]);
    CollectBoxes(root, "stsd", l[kStsdList]);
    // A mvhd its view refuses leaves the duration 0; a version-1 duration
    // is cut to the 32 bits of the field.
    MvhdBox mvhd;
    if (!l[kMvhdList].empty() && mvhd.Read(*l[kMvhdList].front()))
        movie.duration = uint32_t(std::min<uint64_t>(mvhd.Duration(), kMax32));

    if (family == RecorderFamily::TX50 && !LoadTx50Block(movie)) return false;
    return true;
}

} // namespace

SourceFile::~SourceFile() {
    if (fd >= 0) ::close(fd);
}

sMP4MOVIE::~sMP4MOVIE() {
    CloseMp4Movie(*this);
}

bool ParseChildren(sMP4MOVIE& movie, sTAGNODE& parent, int depth) {
    if (depth >= kMaxBoxDepth) return false;
    const GpsLayout& layout = LayoutOf(movie.family);
    const uint64_t end = parent.offset + parent.size;
    if (end > movie.fileSize || end < parent.offset) return false;
    uint64_t position = parent.offset;
    while (position < end) {
        const uint64_t remain = end - position;
        // The box header and the first 8 payload bytes (a container's first
        // child header), as far as the parent reaches.
        uint8_t head[16] = {};
        const uint64_t got = std::min<uint64_t>(remain, sizeof head);
        if (!ReadRange(movie.map, position, head, static_cast<size_t>(got))) return false;
        // Fewer than 8 bytes, or a type outside the list: the children end
        // here. The rest is kept as the parent's tail.
        if (got < 8 || !IsKnownBoxType(head + 4)) {
            parent.tailOffset = position;
            parent.tailSize = remain;
            return true;
        }
        if (++movie.nodeCount > kMaxNodes) return false;

        uint64_t blockStart = 0;
        if (std::memcmp(head + 4, "gps0", 4) == 0 &&
            LocateBoxBlock(movie, position, end, layout, &blockStart)) {
            // The GPS box's extent is that of its block, which runs to the end
            // of the file; its size field is not used.
            auto child = NewChild(parent, depth, head + 4);
            const uint32_t n = CountOfBlockAt(movie, blockStart, layout);
            child->leaf = 1;
            auto gps = std::make_unique<GpsBoxBlock>();
            gps->headerBytes = layout.headerBytes;
            gps->recordSize = layout.recordBytes;
            gps->recordCount = n;
            gps->recordBytes = uint64_t(n) * layout.recordBytes;
            gps->blockBytes = gps->recordBytes + layout.headerBytes + kBlockEndBytes;
            child->gps = std::move(gps);
            child->offset = child->origOffset = blockStart;
            child->size = child->origSize = movie.fileSize - blockStart;
            parent.children.push_back(std::move(child));
            return true;
        }

        const uint64_t size = LoadBE32(head);
        // The 64-bit (1) and to-end-of-file (0) size forms are not supported,
        // and no box is smaller than its header. A box that runs past its
        // parent or the file fails the open.
        if (size < 8 || size > remain) return false;

        auto child = NewChild(parent, depth, head + 4);
        child->offset = child->origOffset = position + 8;
        child->size = child->origSize = size - 8;
        if (child->Is("mdat")) {
            // Media data is never scanned or copied; it is copied from the
            // source when the tree is written.
            child->leaf = 1;
            child->payloadInSource = true;
        } else if (child->size >= 8 && got >= 16 && IsKnownBoxType(head + 12)) {
            if (!ParseChildren(movie, *child, depth + 1)) return false;
        } else {
            child->leaf = 1;
            if (child->size > kMaxCopiedLeaf || movie.copiedBytes + child->size > kMaxCopiedTotal) {
                child->payloadInSource = true;
            } else if (child->size > 0) {
                movie.copiedBytes += child->size;
                child->data.resize(static_cast<size_t>(child->size));
                if (!ReadRange(movie.map, child->offset, child->data.data(), child->data.size()))
                    return false;
                child->copied = child->size;
            }
        }
        parent.children.push_back(std::move(child));
        position += size;
    }
    return true;
}

std::unique_ptr<sMP4MOVIE> OpenMp4Movie(const std::string& path, bool copyRoot,
                                        RecorderFamily family) {
    (void)copyRoot;
    auto movie = std::make_unique<sMP4MOVIE>();
    if (!OpenInto(*movie, path, family)) return nullptr; // the destructor releases everything
    return movie;
}

std::unique_ptr<sMP4CONVERTMOVIE> OpenMp4ConvertMovie(const std::string& path,
                                                      RecorderFamily family) {
    auto movie = std::make_unique<sMP4CONVERTMOVIE>();
    if (!OpenInto(*movie, path, family)) return nullptr;
    CollectBoxes(movie->root, "moov", movie->moovList);
    return movie;
}

void CollectBoxes(sTAGNODE& root, std::string_view type, std::vector<sTAGNODE*>& list) {
    if (root.Is(type)) list.push_back(&root);
    for (auto& child : root.children)
        CollectBoxes(*child, type, list);
}

uint64_t NodeSize(const sTAGNODE& node) {
    if (node.gps) {
        return node.gps->Count() * node.gps->recordSize + node.gps->headerBytes + kBlockEndBytes +
               8;
    }
    if (node.leaf) return 8 + node.size;
    uint64_t total = 8 + node.tailSize;
    for (const auto& child : node.children)
        total += NodeSize(*child);
    return total;
}

void CloseMp4Movie(sMP4MOVIE& movie) {
    CloseMapFile(movie.map);
    for (auto& list : movie.lists)
        list.clear();
    if (auto* convert = dynamic_cast<sMP4CONVERTMOVIE*>(&movie)) convert->moovList.clear();
    movie.root = sTAGNODE{};
    movie.madeNodes.clear(); // chained from the tree just released
    movie.tx50Gps = Tx50GpsBlock{};
    movie.fileSize = 0;
    movie.duration = 0;
    movie.nodeCount = 0;
    movie.copiedBytes = 0;
}

bool PayloadBE32(const sTAGNODE& node, size_t payloadOffset, uint32_t* value) {
    if (payloadOffset > node.data.size() || node.data.size() - payloadOffset < 4) return false;
    *value = LoadBE32(node.data.data() + payloadOffset);
    return true;
}

bool PayloadBE16(const sTAGNODE& node, size_t payloadOffset, uint16_t* value) {
    if (payloadOffset > node.data.size() || node.data.size() - payloadOffset < 2) return false;
    *value = LoadBE16(node.data.data() + payloadOffset);
    return true;
}

} // namespace playcore
