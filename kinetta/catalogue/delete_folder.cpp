#include "kinetta/catalogue/delete_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>

#include <cstdio>

#include "kinetta/catalogue/partner_search.h"
#include "kinetta/catalogue/recording_names.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

namespace {

void InsertSorted(std::vector<int>& list, int number) {
    auto it = std::lower_bound(list.begin(), list.end(), number);
    if (it == list.end() || *it != number) list.insert(it, number);
}

} // namespace

DeleteNumbers ScanDeleteFolder(const std::string& folder) {
    static const std::regex normal("NTM[0-9]{4,4}[F]{1,1}.(DAT|dat)", std::regex::ECMAScript);
    static const std::regex parking("PTM[0-9]{4,4}[F]{1,1}.(DAT|dat)", std::regex::ECMAScript);
    static const std::regex temp("TEMP[0-9]{4,4}.(DAT|dat)", std::regex::ECMAScript);
    DeleteNumbers numbers;
    auto index = platform::FolderIndex::Read(folder);
    for (const std::string& name : index.Names()) {
        if (!platform::IsRegularFile(kutil::JoinPath(folder, name))) continue;
        if (std::regex_match(name, normal))
            InsertSorted(numbers.normal, kutil::LeadingInt(name.substr(3, 4)));
        else if (std::regex_match(name, parking))
            InsertSorted(numbers.parking, kutil::LeadingInt(name.substr(3, 4)));
        else if (std::regex_match(name, temp))
            InsertSorted(numbers.temp, kutil::LeadingInt(name.substr(4, 4)));
    }
    return numbers;
}

int NextDeleteNumber(const std::vector<int>& sortedInUse, RecorderFamily family) {
    if (sortedInUse.empty()) return 0;
    if (family == RecorderFamily::TX40) {
        int expected = 0;
        for (int n : sortedInUse) {
            if (n < expected) continue; // duplicates or negatives
            if (n > expected) return expected;
            ++expected;
        }
        return expected;
    }
    // TX50: walk down the topmost run of consecutive numbers.
    size_t i = sortedInUse.size() - 1;
    int largest = sortedInUse[i];
    int bottom = largest;
    while (i > 0 && (sortedInUse[i - 1] == bottom - 1 || sortedInUse[i - 1] == bottom)) {
        bottom = sortedInUse[i - 1];
        --i;
    }
    return bottom - 1 >= 0 ? bottom - 1 : largest + 1;
}

std::string DeleteFolderOf(const std::string& path) {
    std::string root = platform::RemovableRootOf(path);
    if (root.empty()) return {};
    std::string folder = platform::FindInFolder(root, "Delete Folder");
    return platform::IsDirectory(folder) ? folder : std::string();
}

RecordingDeleter::RecordingDeleter(const std::string& firstPath, RecorderFamily family)
    : family_(family), deleteFolder_(DeleteFolderOf(firstPath)) {
    if (!deleteFolder_.empty()) inUse_ = ScanDeleteFolder(deleteFolder_);
}

bool RecordingDeleter::Trash(const std::string& path) {
    return platform::MoveToTrash(path);
}

bool RecordingDeleter::TrashPair(const std::string& frontPath, const std::string& rearPath) {
    std::string trashedFront;
    if (!frontPath.empty() && platform::Exists(frontPath) &&
        !platform::MoveToTrash(frontPath, &trashedFront))
        return false;
    if (rearPath.empty() || !platform::Exists(rearPath) || Trash(rearPath)) return true;
    // The rear file stays: the front one comes back, so the pair is never split.
    if (!trashedFront.empty()) platform::RestoreFromTrash(trashedFront, frontPath);
    return false;
}

bool RecordingDeleter::MoveInto(const std::string& path, const std::string& targetName) {
    // The card ignores case: a target that exists in any case is taken.
    if (!platform::FindInFolder(deleteFolder_, targetName).empty()) return false;
    std::string target = kutil::JoinPath(deleteFolder_, targetName);
    // Never over a file that appeared since the check.
    if (!platform::RenameNoReplace(path, target)) return false;
    if (IsRearNameAnyExt(kutil::FileNameOf(path))) platform::ClearHidden(target);
    platform::RemoveIfOnlyEmptyFolders(kutil::DirectoryOf(path));
    return true;
}

bool RecordingDeleter::DeletePair(const std::string& frontPath, std::string rearPath) {
    if (rearPath.empty()) rearPath = FindPartnerFile(frontPath, true, family_);
    if (deleteFolder_.empty()) return TrashPair(frontPath, rearPath);
    // Both numbers are fixed before the first move, so the two files of the
    // pair share the number of their kind.
    const int nextNormal = NextDeleteNumber(inUse_.normal, family_);
    const int nextParking = NextDeleteNumber(inUse_.parking, family_);
    // The target name of one file; empty when the file cannot be moved.
    auto targetOf = [&](const std::string& path) -> std::string {
        std::string_view name = kutil::FileNameOf(path);
        bool parkingKind = IsParkingRecording(name, family_);
        int number = parkingKind ? nextParking : nextNormal;
        // Names outside the TX50 movie-or-unfinished grammar have no camera
        // letter for the convention; such a move fails.
        char camera = IsFrontNameAnyExt(name) ? 'F' : IsRearNameAnyExt(name) ? 'R' : 0;
        if (camera == 0 || number < 0 || number > kMaxDeleteNumber) return {};
        char target[32];
        std::snprintf(target, sizeof target, "%s%04d%c.DAT", parkingKind ? "PTM" : "NTM", number,
                      camera);
        // The card ignores case: a target that exists in any case is taken.
        if (!platform::FindInFolder(deleteFolder_, target).empty()) return {};
        return target;
    };
    // Both targets are checked before the first move, so a refused pair is
    // left whole on the card rather than split between its folder and here.
    std::string frontTarget = targetOf(frontPath);
    std::string rearTarget = rearPath.empty() ? std::string() : targetOf(rearPath);
    if (frontTarget.empty() ||
        (!rearPath.empty() && (rearTarget.empty() || rearTarget == frontTarget)))
        return false;
    if (!MoveInto(frontPath, frontTarget)) return false;
    if (!rearPath.empty() && !MoveInto(rearPath, rearTarget)) {
        // The front file goes back where it was, so the pair is never split.
        std::error_code ec;
        std::filesystem::create_directories(kutil::DirectoryOf(frontPath), ec);
        platform::RenameNoReplace(kutil::JoinPath(deleteFolder_, frontTarget), frontPath);
        return false;
    }
    if (IsParkingRecording(kutil::FileNameOf(frontPath), family_))
        InsertSorted(inUse_.parking, nextParking);
    else
        InsertSorted(inUse_.normal, nextNormal);
    return true;
}

bool RecordingDeleter::DeleteCombined(const std::string& path) {
    if (deleteFolder_.empty()) return Trash(path);
    int number = NextDeleteNumber(inUse_.temp, family_);
    if (number < 0 || number > kMaxDeleteNumber) return false;
    char target[32];
    std::snprintf(target, sizeof target, "TEMP%04d.DAT", number);
    if (!MoveInto(path, target)) return false;
    InsertSorted(inUse_.temp, number);
    return true;
}

} // namespace kinetta
