#pragma once
// "Default_Folder.ini": the viewer's one settings file, a private-profile file
// of [sections] and key=value lines, kept in the directory current at start-up.
//
// Only a regular file at that name is ever read or replaced. A symbolic link
// (wherever it points), a FIFO, a device, a socket or a folder there is left
// exactly as it is: reads give empty text (the defaults apply), writes fail,
// and one line on stderr says why, once per store. The file is opened with
// O_NOFOLLOW and its kind taken from the open descriptor, so a link put there
// between a check and the open is not followed either.

#include <atomic>
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
    // the same folder swapped with it in one step, and only while the name still
    // holds the file that was read), then marked hidden. False when the write
    // fails, or when a name or value cannot be stored in the format (line breaks,
    // '=' in a key, ']' in a section name, empty names).
    bool Write(std::string_view section, std::string_view key, std::string_view value);

    // Whether a regular file (not a link to one) stands at Path().
    bool FileExists() const;
    const std::string& Path() const { return path_; }
    const std::string& Directory() const { return directory_; }

private:
    // Says once on stderr why the entry at Path() is not used.
    void Refuse(const std::string& why) const;

    std::string directory_;
    std::string path_;
    mutable std::atomic<bool> refusalTold_{false};
};

// The process-wide store, in the directory recorded once at start-up.
void SetSettingsDirectory(std::string directory);
SettingsStore& Settings();
std::string ReadSetting(std::string_view section, std::string_view key);
bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);

} // namespace kinetta
