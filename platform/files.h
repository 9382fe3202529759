#pragma once
// File-system stand-ins: case-insensitive lookup of names the program forms,
// mount roots and removable devices, FAT attributes, the freedesktop.org trash.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// The names of one folder, read once, for repeated lookups of names the program
// forms. The recorder's card is FAT and ignores case; copies on Linux disks
// usually do not, so a formed name is found exactly first, then by ASCII case
// folding. An unreadable folder reads as empty.
class FolderIndex {
public:
    static FolderIndex Read(const std::string& dir);
    // The name as it stands in the folder, or nothing.
    std::optional<std::string> Find(std::string_view name) const;
    const std::string& Dir() const { return dir_; }
    const std::vector<std::string>& Names() const { return names_; }

private:
    std::string dir_;
    std::vector<std::string> names_;
    std::unordered_map<std::string, size_t> exact_;  // name -> index in names_
    std::unordered_map<std::string, size_t> folded_; // lower-case name -> first index
};

// Finds dir/name: exact first, then without regard to case. Full path or empty.
std::string FindInFolder(const std::string& dir, std::string_view name);

// One line of /proc/self/mounts.
struct MountEntry {
    std::string device;     // e.g. "/dev/sdb1"
    std::string mountPoint; // unescaped
    std::string fsType;     // e.g. "vfat"
};
std::vector<MountEntry> ReadMountTable(const std::string& mountsFile = "/proc/self/mounts");

// The mount root of the file system that holds path (longest mount point that
// is a prefix of the resolved path); "/" when nothing better is known.
std::string MountRootOf(const std::string& path, const std::vector<MountEntry>& mounts);

// Whether a block device ("/dev/sdb1") is removable: its disk's
// /sys/class/block/<disk>/removable reads 1, a partition resolved to its disk.
bool IsRemovableDevice(const std::string& device, const std::string& sysBlock = "/sys/class/block");

// Mount roots of removable block devices, in mount order.
std::vector<std::string> RemovableRoots();

// The roots the program treats as removable cards. Tests replace it with a
// fake card in a temporary folder; by default it is RemovableRoots().
using RemovableRootsProvider = std::function<std::vector<std::string>()>;
void SetRemovableRootsProvider(RemovableRootsProvider provider);
std::vector<std::string> CurrentRemovableRoots();
// The removable root holding path, or empty when path is not on one.
std::string RemovableRootOf(const std::string& path);

// FAT attributes through the vfat ioctl; on any other file system these do
// nothing and report success, since there is no hidden attribute to set. A
// link at path is not followed (false).
bool SetHiddenOnly(const std::string& path);
bool ClearHidden(const std::string& path);

// Moves a file or folder to the freedesktop.org trash: the user's trash when
// the file is on the same file system as the trash home, otherwise the
// mount's "$topdir/.Trash/$uid" (when it exists, sticky, not a link) or
// "$topdir/.Trash-$uid". The .trashinfo is written before the move.
bool MoveToTrash(const std::string& path);
// The same; trashedAs receives where the file now is in the trash.
bool MoveToTrash(const std::string& path, std::string* trashedAs);
// Puts a file moved to the trash (trashedAs from MoveToTrash) back at
// original, never over a file that exists there, and removes its .trashinfo.
bool RestoreFromTrash(const std::string& trashedAs, const std::string& original);

// Renames from to to, failing with EEXIST instead of replacing a file that
// exists at to, however close the two come in time: renameat2 with
// RENAME_NOREPLACE; where the file system lacks it, link and unlink; where it
// has no hard links either (FAT through FUSE), the name claimed by an
// exclusive create (an empty file) that the rename then replaces; a folder is
// then not moved (false). On a case-insensitive file system a name that differs
// only in case counts as existing. A failure leaves no placeholder behind.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The largest file the file system holding path can store, in bytes: 4 GiB
// less one byte on FAT (the kernel's vfat or msdos, or a FUSE mount of type
// fuse.fusefat, as /proc/self/mounts names it); nothing where no such limit
// is known (ext4, exFAT, ...). mountsFile is for tests.
std::optional<uint64_t> LargestFileBytes(const std::string& path,
                                         const std::string& mountsFile = "/proc/self/mounts");

// Removes folder if it holds nothing but empty folders, deepest first.
// Returns true when the folder is gone.
bool RemoveIfOnlyEmptyFolders(const std::string& folder);

} // namespace platform
