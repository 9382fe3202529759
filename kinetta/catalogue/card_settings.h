#pragma once
// The recorder's settings file "DRFormatConfig.dfc" in a card's root. The
// viewer reads three fields and never writes the file.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kinetta {

struct CardSettings {
    std::string field16;        // 8 bytes at offset 16 (read, not used)
    std::string field24;        // 3 bytes at offset 24 (read, not used)
    std::string gpsDataVersion; // 6 bytes at offset 33: six ASCII digits or six spaces
};

inline constexpr size_t kCardSettingsMinSize = 42;

// The three fields from the first bytes of the file. False when fewer than
// 42 bytes are given.
bool ParseCardSettings(const uint8_t* data, size_t size, CardSettings* out);

// Reads "DRFormatConfig.dfc" (found without regard to case) in root. False when
// the file cannot be opened as a regular file or is shorter than 42 bytes.
bool ReadCardSettings(const std::string& root, CardSettings* out);

// The GPS data version text of the update check: "%06d" of the leading digits
// of the six-byte field, or empty when the field is all spaces.
std::string GpsDataVersionText(const std::string& field);

} // namespace kinetta
