#include "playcore/container/mp4_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "platform/file_io.h"
#include "platform/files.h"
#include "playcore/container/boxes/stco_box.h"

namespace playcore {

namespace {

constexpr size_t kOutputBufferBytes = 1u << 20;
// Media copied through memory (where the kernel cannot copy file to file) is
// read and written in pieces of this many bytes.
constexpr size_t kReadPiece = 1u << 20;
// An output written back as it is written starts the disk on every this many bytes.
constexpr uint64_t kWriteBackBytes = 4u << 20;

bool WriteAll(int fd, const uint8_t* p, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, p, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// The children of node in the order they are written. With moovFirst, every
// mdat that comes before the first moov is written right after that moov; a
// level without a moov keeps its order, so no mdat is ever left out.
std::vector<const sTAGNODE*> WriteOrder(const sTAGNODE& node, bool moovFirst) {
    std::vector<const sTAGNODE*> order;
    order.reserve(node.children.size());
    size_t firstMoov = node.children.size();
    if (moovFirst) {
        for (size_t i = 0; i < node.children.size(); ++i)
            if (node.children[i]->Is("moov")) {
                firstMoov = i;
                break;
            }
    }
    std::vector<const sTAGNODE*> held;
    for (size_t i = 0; i < node.children.size(); ++i) {
        const sTAGNODE* child = node.children[i].get();
        if (firstMoov < node.children.size() && i < firstMoov && child->Is("mdat")) {
            held.push_back(child);
            continue;
        }
        order.push_back(child);
        if (i == firstMoov) order.insert(order.end(), held.begin(), held.end());
    }
    return order;
}

bool WriteGpsBlock(const sTAGNODE& node, OutputFile& out) {
    const GpsBoxBlock& gps = *node.gps;
    const uint64_t count = gps.Count();
    if (count > 0xFFFF || gps.headerBytes < 2 || !node.source) return false;
    std::vector<uint8_t> header(gps.headerBytes);
    if (node.offset > node.source->size || header.size() > node.source->size - node.offset ||
        !platform::ReadExactlyAt(node.source->fd, node.offset, header.data(), header.size()))
        return false;
    header[header.size() - 2] = uint8_t(count >> 8);
    header[header.size() - 1] = uint8_t(count);
    if (!out.Write(header.data(), header.size())) return false;
    // Each node's records from its first kept one (all of them unless the
    // movie was trimmed).
    const auto records = [&out](const sTAGNODE& n) {
        const GpsBoxBlock& b = *n.gps;
        return CopySourceRange(n, out, n.offset + b.headerBytes + b.firstRecord * b.recordSize,
                               b.recordBytes);
    };
    if (!records(node)) return false;
    for (const sTAGNODE* a = node.appendHead; a; a = a->appendNext)
        if (!a->gps || !records(*a)) return false;
    return out.Write(kBlockEndMarker.data(), kBlockEndMarker.size());
}

bool WriteNode(const sTAGNODE& node, OutputFile& out, bool moovFirst) {
    const uint64_t start = out.written();
    const uint64_t expected = NodeSize(node);
    if (node.depth > 0) {
        if (expected > kMax32) return false;
        uint8_t head[8];
        StoreBE32(head, static_cast<uint32_t>(expected));
        std::memcpy(head + 4, node.type, 4);
        if (!out.Write(head, 8)) return false;
    }
    if (node.leaf) {
        if (node.gps) {
            if (!WriteGpsBlock(node, out)) return false;
        } else if (node.payloadInSource) {
            if (!CopySourceRange(node, out, node.origOffset, node.origSize)) return false;
            for (const sTAGNODE* a = node.appendHead; a; a = a->appendNext)
                if (!CopySourceRange(*a, out, a->origOffset, a->origSize)) return false;
        } else if (!node.data.empty() && !out.Write(node.data.data(), node.data.size())) {
            return false;
        }
    }
    for (const sTAGNODE* child : WriteOrder(node, moovFirst))
        if (!WriteNode(*child, out, moovFirst)) return false;
    if (node.depth > 0 && node.tailSize > 0 &&
        !CopySourceRange(node, out, node.tailOffset, node.tailSize))
        return false;
    // Every box must occupy exactly the bytes its size field announced; an
    // edit that left a node inconsistent fails the write instead of leaving a
    // corrupt file.
    // (The root has no header and its tail is not part of the output.)
    const uint64_t written = out.written() - start;
    if (node.depth > 0 ? written != expected : written != expected - 8 - node.tailSize)
        return false;
    return !out.failed();
}

void CollectSources(const sTAGNODE& node, std::set<const SourceFile*>& files) {
    if (node.source) files.insert(node.source.get());
    for (const sTAGNODE* a = node.appendHead; a; a = a->appendNext)
        if (a->source) files.insert(a->source.get());
    for (const auto& child : node.children)
        CollectSources(*child, files);
}

} // namespace

OutputFile::~OutputFile() {
    Abandon();
}

bool OutputFile::Create(const std::string& finalPath) {
    Abandon();
    final_ = finalPath;
    const size_t slash = finalPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : finalPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (name.empty()) return false;
    platform::RemoveStaleTemporaries(dir);
    std::string temp;
    const int fd = platform::CreateTemporaryBeside(finalPath, 0666, &temp);
    if (fd < 0) return false;
    fd_ = fd;
    temp_ = std::move(temp);
    failed_ = false;
    prepared_ = false;
    written_ = 0;
    inFile_ = 0;
    writtenBack_ = 0;
    buffer_.clear();
    return true;
}

void OutputFile::Reached(uint64_t bytes) {
    inFile_ += bytes;
    if (watch_) watch_(inFile_);
    // The disk starts on what is written while the rest is being written;
    // Prepare's fsync then waits for the last pieces only.
    if (writeBack_ && inFile_ - writtenBack_ >= kWriteBackBytes) {
        ::sync_file_range(fd_, off64_t(writtenBack_), off64_t(inFile_ - writtenBack_),
                          SYNC_FILE_RANGE_WRITE);
        writtenBack_ = inFile_;
    }
}

bool OutputFile::Flush() {
    if (failed_ || fd_ < 0) return false;
    if (!buffer_.empty()) {
        if (WriteAll(fd_, buffer_.data(), buffer_.size()))
            Reached(buffer_.size());
        else
            failed_ = true;
    }
    buffer_.clear();
    return !failed_;
}

bool OutputFile::Write(const void* data, size_t length) {
    if (stopped()) failed_ = true;
    if (failed_ || fd_ < 0) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (buffer_.size() + length <= kOutputBufferBytes) {
        buffer_.insert(buffer_.end(), p, p + length);
    } else {
        if (!Flush()) return false;
        if (length >= kOutputBufferBytes) {
            if (WriteAll(fd_, p, length))
                Reached(length);
            else
                failed_ = true;
        } else {
            buffer_.insert(buffer_.end(), p, p + length);
        }
    }
    if (!failed_) written_ += length;
    return !failed_;
}

bool OutputFile::Commit() {
    return Prepare() && Publish();
}

bool OutputFile::Prepare() {
    if (fd_ < 0) return false;
    if (stopped()) failed_ = true;
    bool ok = Flush() && ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (!ok) {
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    prepared_ = true;
    return true;
}

bool OutputFile::Publish() {
    if (!prepared_ || temp_.empty()) return false;
    prepared_ = false;
    const bool ok = ::rename(temp_.c_str(), final_.c_str()) == 0;
    if (!ok) ::unlink(temp_.c_str());
    temp_.clear();
    return ok;
}

bool OutputFile::PublishNoReplace() {
    if (!prepared_ || temp_.empty()) return false;
    prepared_ = false;
    const bool ok = platform::RenameNoReplace(temp_, final_);
    const int error = errno; // EEXIST tells the caller that the name was taken
    if (!ok) ::unlink(temp_.c_str());
    temp_.clear();
    errno = error;
    return ok;
}

void OutputFile::Abandon() {
    prepared_ = false;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    buffer_.clear();
}

bool OutputFile::CopyFrom(const SourceFile& source, uint64_t offset, uint64_t length) {
    return CopyFromDescriptor(source.fd, source.size, offset, length);
}

bool OutputFile::CopyFrom(sMAPFILE& source, uint64_t offset, uint64_t length) {
    return CopyFromDescriptor(source.file, source.size, offset, length);
}

bool OutputFile::CopyFromDescriptor(int sourceFd, uint64_t sourceSize, uint64_t offset,
                                    uint64_t length) {
    // Buffered bytes go first: both copy paths write at the descriptor's
    // position, which is then written_.
    if (!Flush()) return false;
    if (sourceFd < 0 || offset > sourceSize || length > sourceSize - offset) {
        failed_ = true;
        return false;
    }
    // A watched file is copied in smaller pieces, so that its reader can
    // follow closely.
    const uint64_t step = watch_ ? kWatchedPieceBytes : kCopyWindowBytes;
    while (length > 0) {
        if (stopped()) {
            failed_ = true;
            return false;
        }
        const uint64_t window = std::min(length, kCopyWindowBytes);
        uint64_t done = 0;
        while (kernelCopy_ && done < window) {
            loff_t from = static_cast<loff_t>(offset + done);
            const ssize_t n =
                ::copy_file_range(sourceFd, &from, fd_, nullptr,
                                  static_cast<size_t>(std::min(window - done, step)), 0);
            if (n > 0) {
                done += static_cast<uint64_t>(n);
                Reached(static_cast<uint64_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                       errno == EOPNOTSUPP || errno == EBADF || errno == ETXTBSY) {
                // Not offered for these two files (or a file system that
                // reports 0 instead): the reads below take over, and find
                // out whether the source really ended early.
                kernelCopy_ = false;
            } else {
                failed_ = true; // an I/O error: a removed card, a bad sector
                return false;
            }
        }
        // The rest of the window through a buffer: a source cut short
        // meanwhile gives a short read and fails the copy.
        while (done < window) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(window - done, kReadPiece));
            if (copyBuffer_.size() < piece) copyBuffer_.resize(kReadPiece);
            if (!platform::ReadExactlyAt(sourceFd, offset + done, copyBuffer_.data(), piece) ||
                !WriteAll(fd_, copyBuffer_.data(), piece)) {
                failed_ = true;
                return false;
            }
            done += piece;
            Reached(piece);
        }
        offset += window;
        length -= window;
        written_ += window;
    }
    return true;
}

bool CopySourceRange(const sTAGNODE& node, OutputFile& out, uint64_t offset, uint64_t length) {
    if (!node.source) return false;
    if (length == 0) return !out.failed();
    return out.CopyFrom(*node.source, offset, length);
}

bool WriteTree(const sTAGNODE& root, OutputFile& out) {
    return WriteNode(root, out, false);
}

bool WriteTreeMoovFirst(sTAGNODE& root, OutputFile& out) {
    // Where each top-level mdat's payload lies when written in order, and
    // where it lies when written after the moov.
    struct Move {
        uint64_t from;
        uint64_t length;
        int64_t delta;
    };
    std::vector<std::pair<const sTAGNODE*, uint64_t>> before;
    uint64_t pos = 0;
    for (const auto& child : root.children) {
        if (child->Is("mdat")) before.emplace_back(child.get(), pos + 8);
        pos += NodeSize(*child);
    }
    std::vector<Move> moves;
    pos = 0;
    for (const sTAGNODE* child : WriteOrder(root, true)) {
        if (child->Is("mdat")) {
            for (const auto& [node, from] : before)
                if (node == child && from != pos + 8)
                    moves.push_back({from, NodeSize(*child) - 8, int64_t(pos + 8) - int64_t(from)});
        }
        pos += NodeSize(*child);
    }
    if (!moves.empty()) {
        std::vector<sTAGNODE*> stcos;
        CollectBoxes(root, "stco", stcos);
        // Check every table and every shifted offset before changing any.
        std::vector<std::pair<uint8_t*, uint32_t>> edits;
        for (sTAGNODE* stco : stcos) {
            StcoBox table;
            if (!table.Read(*stco)) return false;
            uint8_t* p = stco->data.data() + 8;
            for (uint32_t i = 0; i < table.Count(); ++i, p += 4) {
                const uint32_t value = table.ChunkOffset(i);
                for (const Move& m : moves) {
                    if (value < m.from || value - m.from >= m.length) continue;
                    const int64_t shifted = int64_t(value) + m.delta;
                    if (shifted < 0 || uint64_t(shifted) > kMax32) return false;
                    edits.emplace_back(p, static_cast<uint32_t>(shifted));
                    break;
                }
            }
        }
        for (const auto& [p, value] : edits)
            StoreBE32(p, value);
    }
    return WriteNode(root, out, true);
}

uint64_t MovieOutputBytes(const sMP4MOVIE& movie) {
    uint64_t total = 0;
    for (const auto& child : movie.root.children)
        total += NodeSize(*child);
    const Tx50GpsBlock& b = movie.tx50Gps;
    if (movie.family == RecorderFamily::TX50 && b.present)
        total += kTx50Layout.BlockBytes(b.recordCount);
    return total;
}

bool WriteMovie(const sMP4MOVIE& movie, OutputFile& out) {
    if (!WriteTree(movie.root, out)) return false;
    const Tx50GpsBlock& b = movie.tx50Gps;
    if (movie.family != RecorderFamily::TX50 || !b.present) return true;
    if (b.records.size() != uint64_t(b.recordCount) * kTx50Layout.recordBytes ||
        b.recordCount > 0xFFFF)
        return false;
    std::array<uint8_t, 43> header = b.header;
    header[41] = uint8_t(b.recordCount >> 8);
    header[42] = uint8_t(b.recordCount);
    return out.Write(header.data(), header.size()) &&
           out.Write(b.records.data(), b.records.size()) &&
           out.Write(kBlockEndMarker.data(), kBlockEndMarker.size());
}

bool ReplacesSource(const sTAGNODE& root, const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;
    std::set<const SourceFile*> sources;
    CollectSources(root, sources);
    for (const SourceFile* s : sources) {
        struct stat st {};
        if (::fstat(s->fd, &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
    }
    return false;
}

bool WriteTreeToPath(sTAGNODE& root, const std::string& path, bool moovFirst) {
    if (ReplacesSource(root, path)) return false;
    OutputFile out;
    if (!out.Create(path)) return false;
    const bool ok = moovFirst ? WriteTreeMoovFirst(root, out) : WriteTree(root, out);
    if (!ok) {
        out.Abandon();
        return false;
    }
    return out.Commit();
}

} // namespace playcore
