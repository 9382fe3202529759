#pragma once
// The recorder's GPS and acceleration block: "CSODAT", the block header, a
// big-endian 16-bit record count, fixed-size text records, "CSOEND". TX40
// family: 79-byte records inside a top-level "gps0" box; TX50 family: 91-byte
// records after the last box of the file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"

namespace mkcard {

inline constexpr size_t kTx40RecordSize = 79;
inline constexpr size_t kTx50RecordSize = 91;
inline constexpr size_t kTx40HeaderSize = 34; // "CSODAT", header, count
inline constexpr size_t kTx50HeaderSize = 43;
inline constexpr size_t kEndMarkerSize = 6;
// Largest blocks the viewer's readers expect.
inline constexpr int kTx40MaxRecords = 3020;
inline constexpr int kTx50MaxRecords = 1000;

size_t RecordSize(playcore::RecorderFamily family);
size_t HeaderSize(playcore::RecorderFamily family);
int MaxRecords(playcore::RecorderFamily family);

// A local civil date and time, as the recorder stamps its records.
struct CivilTime {
    int year = 2023;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
CivilTime AddSeconds(const CivilTime& t, int64_t seconds);
// Seconds since 1970-01-01 00:00 of the civil time read as UTC.
int64_t EpochSeconds(const CivilTime& t);
// Seconds since 1904-01-01 00:00 (MP4 creation times), the civil time read as UTC.
uint64_t Mp4Seconds(const CivilTime& t);
// "2023-05-25T10:15:00".
std::string IsoText(const CivilTime& t);

// Header fields. identification: six bytes; the last five give the firmware
// version (first digit, next two, last two: "V10203" is 1.2.3).
struct GpsHeader {
    std::string identification = "V10203";
    std::array<int, 3> levels = {300, 300, 300}; // thousandths of G, written as 4 digits
    char letter = 'N';                           // TX40: "N" or "P"
    char tx50Letter = 'N';                       // TX50 only
    uint8_t flagA = 1;                           // TX50 only; 0 hides the map track
    uint8_t flagB = 1;
};

// Identification bytes for a firmware version such as "1.2.3" (prefix + 5 digits).
std::string IdentificationFor(int major, int minor, int patch, char prefix = 'V');
// The firmware text the viewer makes of identification bytes ("%d.%d.%d").
std::string FirmwareText(const std::string& identification);

// One record's values before formatting.
struct GpsRecordValues {
    CivilTime time;
    int secondsToAdd = -1; // -1 writes "***" (nothing to add)
    bool valid = true;     // status "A"; otherwise "V" with zero position
    double latitude = 0;   // decimal degrees, south negative
    double longitude = 0;  // decimal degrees, west negative
    double speedKmh = 0;
    std::array<int, 3> accel = {0, 0, 0}; // values 1, 2, 3 in thousandths of G
    char axis = 'N';                      // shock axis "X", "Y", "Z", or "N" for none
    bool userPoint = false;               // "D": event kind 5
    bool parking = false;                 // "D": event kind 7
    // TX50 only:
    bool emergencyStop = false; // "D": event kind 6
    bool speeding = false;      // "D": second code 8
    char assist = 'N';          // "H", "A", "B" (kinds 11, 12, 13) or "N"
    uint8_t nibbles = '0';      // speed camera 0xA9, radar 0x88 or 0x98
    int number = -1;            // three digits (tenths of a volt), -1 writes blanks
    char extra = 'M';           // camera letter of the file: "M" front, "R" rear
};

struct GpsBlockSpec {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    GpsHeader header;
    // Further header readings: each is written 34 (TX50: 43) bytes after the
    // previous one, marked by "@CS" and an upper-case letter, over the start of
    // the record area. The viewer takes the last of them.
    std::vector<GpsHeader> repeatedHeaders;
    std::vector<GpsRecordValues> records;
    bool endMarker = true; // false: the block stops after its last record
    // Count written in the header; -1 writes records.size().
    int countOverride = -1;
};

std::vector<uint8_t> EncodeRecord(playcore::RecorderFamily family, const GpsRecordValues& r,
                                  int index);
std::vector<uint8_t> EncodeGpsBlock(const GpsBlockSpec& recipe);
// TX40: the block inside a "gps0" box (size n x 79 + 48 with the end marker).
std::vector<uint8_t> EncodeGps0Box(const GpsBlockSpec& recipe);

// Text forms used in records: "ddmm.mmmm" and "dddmm.mmmm" of the absolute value.
std::string LatitudeText(double degrees);
std::string LongitudeText(double degrees);

} // namespace mkcard
