#pragma once
// The output folders the file operations remember in the settings file,
// section "FOLDERPATH", one key per operation. A key is written only after
// its operation succeeded; the folder prompt starts in the stored folder, or
// in the settings directory when nothing is stored.

#include <string>
#include <string_view>

namespace kinetta {

inline constexpr std::string_view kFolderPathSection = "FOLDERPATH";
inline constexpr std::string_view kCsvFolderKey = "CSV_FOLDER";
inline constexpr std::string_view kConnectFolderKey = "CONNECT_FOLDER";
inline constexpr std::string_view kConvertFolderKey = "CONVERT_FOLDER";
inline constexpr std::string_view kDownloadFolderKey = "DOWNLOAD_FOLDER";
inline constexpr std::string_view kSnapshotFolderKey = "SNAPSHOT_FOLDER";
inline constexpr std::string_view kGpxFolderKey = "GPX_FOLDER";
inline constexpr std::string_view kClipFolderKey = "CLIP_FOLDER";

// Where the folder prompt of key starts: the folder stored under key, or the
// directory of the settings file when nothing is stored.
std::string StartFolderFor(std::string_view key);

// Stores folder under key (after a successful operation).
bool RememberFolder(std::string_view key, const std::string& folder);

} // namespace kinetta
