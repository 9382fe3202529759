#pragma once
// Finding the other camera's file of a recording.

#include <string>

#include "kinetta/base/recorder_family.h"

namespace platform {
class FolderIndex;
}

namespace kinetta {

// The path of the other camera's file of the recording whose file is path, or
// empty. The recorder may stamp the two files up to ten seconds apart and with
// other trigger letters or flags, so variants are tried in a fixed order and the
// first that exists wins. Names are found without regard to case (the card is
// FAT; copies may not be); the result is the name as it stands in the folder.
// folder, when given, must be the index of path's folder (saves reading it again).
std::string FindPartnerFile(const std::string& path, bool allowUnfinished, RecorderFamily family,
                            const platform::FolderIndex* folder = nullptr);
std::string FindPartnerFile(const std::string& path, bool allowUnfinished);

} // namespace kinetta
