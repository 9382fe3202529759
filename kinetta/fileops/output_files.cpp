#include "kinetta/fileops/output_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/file_io.h"
#include "platform/files.h"

namespace kinetta {

namespace {

void Say(std::string* why, const std::string& text) {
    if (why) *why = text;
}

bool StillRunning(const std::atomic<bool>* running) {
    return !running || running->load();
}

// Copies length bytes from in to out, in pieces of 8 MiB so that a cleared
// running flag is seen within one piece. copy_file_range lets the kernel
// copy without the bytes passing through this process; where it is not
// supported (another file system, an old kernel) plain reads and writes do.
enum class PieceResult { Ok, Failed, Cancelled };
PieceResult CopyBytes(int in, int out, uint64_t length, const std::atomic<bool>* running) {
    constexpr size_t kPiece = 8u << 20;
    uint64_t done = 0;
    bool kernelCopy = true;
    std::vector<char> buffer;
    while (done < length) {
        if (!StillRunning(running)) return PieceResult::Cancelled;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kPiece, length - done));
        if (kernelCopy) {
            loff_t inOff = static_cast<loff_t>(done), outOff = static_cast<loff_t>(done);
            const ssize_t n = copy_file_range(in, &inOff, out, &outOff, want, 0);
            if (n > 0) {
                done += static_cast<uint64_t>(n);
                continue;
            }
            if (n == 0) return PieceResult::Failed; // the source got shorter
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return PieceResult::Failed;
            kernelCopy = false;
        }
        buffer.resize(want);
        const int64_t got = platform::ReadAt(in, done, buffer.data(), want);
        if (got <= 0) return PieceResult::Failed;
        size_t written = 0;
        while (written < static_cast<size_t>(got)) {
            const ssize_t w =
                pwrite(out, buffer.data() + written, static_cast<size_t>(got) - written,
                       static_cast<off_t>(done + written));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return PieceResult::Failed;
            written += static_cast<size_t>(w);
        }
        done += static_cast<uint64_t>(got);
    }
    return PieceResult::Ok;
}

} // namespace

std::optional<uint64_t> FreeBytes(const std::string& folder) {
    struct statvfs st {};
    if (statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    // A file system that reports no size at all (fusefat on some FAT32 images
    // gives 0 blocks) does not know its free space either: unknown, not none.
    if (st.f_blocks == 0) return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

bool FitsInFileSystem(const std::string& folder, uint64_t bytes) {
    const std::optional<uint64_t> largest = platform::LargestFileBytes(folder);
    return !largest || bytes <= *largest;
}

bool HasRoomFor(const std::string& folder, uint64_t bytes) {
    const std::optional<uint64_t> free = FreeBytes(folder);
    return !free || *free >= bytes + kFreeSpaceMargin;
}

CopyResult CopyFileAtomic(const std::string& source, const std::string& target, bool replace,
                          const std::atomic<bool>* running, std::string* why) {
    const int in = platform::OpenRegularForReading(source);
    if (in < 0) {
        Say(why, "cannot open " + source);
        return CopyResult::Failed;
    }
    struct stat from {};
    if (fstat(in, &from) != 0) {
        close(in);
        Say(why, "cannot read " + source);
        return CopyResult::Failed;
    }
    struct stat to {};
    if (stat(target.c_str(), &to) == 0) {
        if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
            close(in);
            Say(why, "the output would replace its source");
            return CopyResult::Failed;
        }
        if (!replace) {
            close(in);
            return CopyResult::Exists;
        }
    }
    std::string temp;
    const int out = platform::CreateTemporaryBeside(target, 0666, &temp);
    if (out < 0) {
        close(in);
        Say(why, "cannot create a file beside " + target + ": " + std::strerror(errno));
        return CopyResult::Failed;
    }
    PieceResult copied = CopyBytes(in, out, static_cast<uint64_t>(from.st_size), running);
    close(in);
    // On the disk before it gets its name, so a crash never leaves a short file there.
    if (copied == PieceResult::Ok && fdatasync(out) != 0) copied = PieceResult::Failed;
    if (close(out) != 0 && copied == PieceResult::Ok) copied = PieceResult::Failed;
    if (copied != PieceResult::Ok) {
        unlink(temp.c_str());
        if (copied == PieceResult::Cancelled) return CopyResult::Cancelled;
        Say(why, "cannot copy " + source + " to " + target);
        return CopyResult::Failed;
    }
    if (replace ? rename(temp.c_str(), target.c_str()) == 0
                : platform::RenameNoReplace(temp, target))
        return CopyResult::Written;
    const int error = errno;
    unlink(temp.c_str());
    if (!replace && error == EEXIST) return CopyResult::Exists;
    Say(why, "cannot rename to " + target + ": " + std::strerror(error));
    return CopyResult::Failed;
}

uint64_t FileBytes(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<uint64_t>(st.st_size);
}

} // namespace kinetta
