#pragma once
// Writing a (possibly edited) box tree to a new file. Outputs are written to a
// temporary name in the target folder and renamed into place only when
// complete; a failed write leaves nothing under the final name. Sources are
// only ever read.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// What putting a complete output in place does to an entry of its name: a
// file or a link there is replaced (the link itself, never what it names), or
// kept, the output then failing. Keep holds however close the entry comes
// in time (OutputFile::PublishNoReplace).
enum class OnExisting { Replace, Keep };

// A file being written. Bytes go to a temporary file in the final folder,
// ".kinetta-tmp-<pid>-<random>-<name>" (platform::CreateTemporaryBeside), and
// are renamed to the final name by Commit. Destroying an uncommitted file
// removes the temporary one; the temporaries of a run that was killed are
// removed by the next Create in that folder. The output gets the mode a new
// file gets (0666 less the umask). One thread at a time.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Removes stale temporaries in the folder of finalPath, then creates the
    // temporary file beside it. False when the folder cannot be written to.
    bool Create(const std::string& finalPath);
    // Buffered write; false (and the file marked failed) on any error.
    bool Write(const void* data, size_t length);
    // Appends length bytes at offset of an opened source. The bytes go from
    // file to file inside the kernel (copy_file_range) where the two files
    // allow it, otherwise from read-only views of at most kCopyWindowBytes
    // handed straight to write(); memory use does not grow with length. False
    // (and the file marked failed) when the source holds fewer bytes than
    // asked for, a view cannot be mapped, or a write fails.
    bool CopyFrom(const SourceFile& source, uint64_t offset, uint64_t length);
    bool CopyFrom(sMAPFILE& source, uint64_t offset, uint64_t length);
    // Makes every later Write/CopyFrom fail once *running reads false (checked
    // at least once per copy window), so that a cancelled write ends early
    // and leaves nothing under the final name. nullptr: never stopped. The
    // flag is owned by the caller and must outlive the file.
    void StopWhenCleared(const std::atomic<bool>* running) { running_ = running; }
    // Calls watch (on the writing thread) with the number of bytes that are
    // in the temporary file each time more have reached it: after every write
    // of the buffer and every piece of at most kWatchedPieceBytes of a copy.
    // The file is only ever appended to, so a reader of the temporary file
    // may read that far and find the output's final bytes there, while it is
    // still being written. Empty: not watched.
    void WatchBytesInFile(std::function<void(uint64_t)> watch) { watch_ = std::move(watch); }
    // Starts writing back to the disk what is in the file every few MiB
    // (sync_file_range, not waiting), so that the sync of Prepare is short.
    void WriteBackAsWritten(bool on) { writeBack_ = on; }
    // Flushes, syncs, closes and renames into place. False when any write
    // failed; the temporary file is then removed.
    bool Commit();
    // The two halves of Commit, for outputs that appear together or not at
    // all: Prepare flushes, syncs and closes (false, and the temporary
    // removed, on any failure: a full disk shows here); Publish renames a
    // prepared file into place (false, and the temporary removed, when the
    // rename fails).
    bool Prepare();
    bool Publish();
    // Hands the buffered bytes to the file: after it, every byte written so
    // far is in the temporary file (false when a write failed). Prepare does
    // it too; a caller that hands the Prepare to another thread flushes
    // first, so that the watch callback is only ever called on this one.
    bool Flush();
    // Publish that never replaces a file or a link: false (the temporary
    // removed, errno EEXIST) when an entry of the final name exists, also one
    // that appeared a moment ago.
    bool PublishNoReplace();
    // Closes and removes the temporary file.
    void Abandon();

    bool failed() const { return failed_; }
    // Whether the stop flag given to StopWhenCleared has been cleared.
    bool stopped() const { return running_ && !running_->load(); }
    uint64_t written() const { return written_; }
    const std::string& finalPath() const { return final_; }
    // The temporary file while it exists (after Prepare it holds the
    // complete output, closed and on the disk), else empty.
    const std::string& temporaryPath() const { return temp_; }

private:
    void Reached(uint64_t bytes); // bytes more are in the file
    bool CopyFromDescriptor(int fd, uint64_t size, uint64_t offset, uint64_t length);

    int fd_ = -1;
    bool failed_ = false;
    uint64_t written_ = 0;
    std::string temp_;
    std::string final_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> copyBuffer_; // reused by CopyFrom when the kernel cannot copy
    const std::atomic<bool>* running_ = nullptr;
    std::function<void(uint64_t)> watch_;
    uint64_t inFile_ = 0; // bytes written to the descriptor (written_ less the buffer)
    bool writeBack_ = false;
    uint64_t writtenBack_ = 0; // bytes whose writing back was started
    // Cleared once copy_file_range has refused this pair of files (another
    // file system, or a kernel without it); later copies use views.
    bool kernelCopy_ = true;
    bool prepared_ = false; // Prepare succeeded; the temporary is closed
};

// Copies length bytes at offset of the node's source file to out, from the
// descriptor opened with the tree (OutputFile::CopyFrom: in windows of at
// most kCopyWindowBytes). False when the range is not wholly inside the
// source as it was opened, or the source no longer holds it.
inline constexpr uint64_t kCopyWindowBytes = 33554432; // 32 MiB
// The largest piece a watched OutputFile copies before it tells its watch.
inline constexpr uint64_t kWatchedPieceBytes = 1048576; // 1 MiB
bool CopySourceRange(const sTAGNODE& node, OutputFile& out, uint64_t offset, uint64_t length);

// Writes every node below root in pre-order: each box's size (NodeSize; the
// GPS box by its record count) and type, then its payload (copied data, media
// data from the sources including append chains, the GPS block), its
// children, and its tail. False when a source cannot be read, a size does not
// fit 32 bits, or a node's bytes would not agree with its size.
bool WriteTree(const sTAGNODE& root, OutputFile& out);

// Writes as WriteTree, but at each level an mdat that comes before the moov is
// written right after it. Before writing, every chunk offset (stco) that
// points into a moved top-level mdat is shifted by the distance that mdat's
// payload moves (for ftyp, mdat, moov that is the size of the moov box). The
// tree's stco tables are changed by this call. False, before anything is
// written or changed, when a shifted offset would not fit 32 bits or a stco
// table is malformed.
bool WriteTreeMoovFirst(sTAGNODE& root, OutputFile& out);

// Bytes WriteMovie writes: the boxes, and the TX50 family's GPS block.
uint64_t MovieOutputBytes(const sMP4MOVIE& movie);

// Writes a (joined or trimmed) movie to out: the tree, and for the TX50
// family the GPS block after the last box (the first file's header with the
// record count of the movie, the records, "CSOEND").
bool WriteMovie(const sMP4MOVIE& movie, OutputFile& out);

// Whether path names (by device and inode, so also through another name) a
// file the tree reads from (the files opened, whatever their paths name now),
// its append chains included.
bool ReplacesSource(const sTAGNODE& root, const std::string& path);

// Writes root to path through an OutputFile. Refuses to replace any file the
// tree reads from.
bool WriteTreeToPath(sTAGNODE& root, const std::string& path, bool moovFirst = false);

} // namespace playcore
