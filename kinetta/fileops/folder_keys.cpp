#include "kinetta/fileops/folder_keys.h"

#include "kinetta/base/settings_store.h"

namespace kinetta {

std::string StartFolderFor(std::string_view key) {
    std::string stored = ReadSetting(kFolderPathSection, key);
    return stored.empty() ? Settings().Directory() : stored;
}

bool RememberFolder(std::string_view key, const std::string& folder) {
    return WriteSetting(kFolderPathSection, key, folder);
}

} // namespace kinetta
