#pragma once
// "Default_Folder.ini": the viewer's one settings file, a private-profile file
// of [sections] and key=value lines, kept in the directory current at start-up.

#include <string>
#include <string_view>

namespace kinetta {

class SettingsStore {
public:
    static constexpr std::string_view kFileName = "Default_Folder.ini";

    // The store of "Default_Folder.ini" in directory.
    explicit SettingsStore(std::string directory);

    // The value of key in section; empty when the file, section or key is missing
    // or unreadable. Section and key names match without regard to ASCII case;
    // blanks around names and values are trimmed, and one pair of matching
    // quotes around a value is removed. The first of duplicate sections or keys
    // wins. Values are returned whole (no 259-character limit).
    std::string Read(std::string_view section, std::string_view key) const;

    // Writes one key, creating the file and section as needed and leaving every
    // other line as it was. The file is replaced atomically (a temporary file in
    // the same folder renamed over it), then marked hidden. False when the write
    // fails, or when a name or value cannot be stored in the format (line breaks,
    // '=' in a key, ']' in a section name, empty names).
    bool Write(std::string_view section, std::string_view key, std::string_view value);

    bool FileExists() const;
    const std::string& Path() const { return path_; }
    const std::string& Directory() const { return directory_; }

private:
    std::string directory_;
    std::string path_;
};

// The process-wide store, in the directory recorded once at start-up.
void SetSettingsDirectory(std::string directory);
SettingsStore& Settings();
std::string ReadSetting(std::string_view section, std::string_view key);
bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);

} // namespace kinetta
