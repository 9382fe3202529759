#pragma once
// The recorder's GPS and acceleration block: where it lies in a recording,
// and its decoding into GpsRecord / AccelRecord lists and GpsBlockInfo.
// The block is untrusted text from an SD card: every read is bounded by the
// located bytes, and the record count is cut to the records present.

#include <cstdint>
#include <vector>

#include "playcore/container/gps_layout.h"
#include "playcore/container/mp4_tree.h"

namespace playcore {

// A broken-down local civil time (16-bit fields, milliseconds always 0).
struct RecordTime {
    uint16_t year = 0;
    uint16_t month = 0;     // 1..12
    uint16_t dayOfWeek = 0; // 0 Sunday .. 6 Saturday
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
    bool operator==(const RecordTime&) const = default;
};

struct AccelRecord;

// The position part of one record.
struct GpsRecord {
    int32_t index = 0;            // record number, from 0 over the reading
    int32_t framePos = 0;         // movie frame (time base); the record number until then
    int32_t valid = 0;            // 1 when the status byte is "A"
    AccelRecord* accel = nullptr; // linked by the time base
    double latitude = 0;          // decimal degrees, south negative
    double longitude = 0;         // decimal degrees, west negative
    double speed = 0;             // km/h
    double direction = 0;         // the records carry no heading
    RecordTime time;              // local civil time of the record
    int32_t nibbleHigh = 0;       // TX50 family: high half of record byte 50; TX40: 0
    int32_t nibbleLow = 0;        // TX50 family: low half; TX40: 0
};

// The acceleration part of one record.
struct AccelRecord {
    int32_t index = 0;        // record number
    int32_t kind = -1;        // event kind 5, 6, 7, 11, 12, 13; -1 none
    int32_t code2 = -1;       // TX50 family: 8 or 0; TX40 family: -1
    int32_t axis = 0;         // "X" 2, "Y" 3, "Z" 1, else 0
    int32_t framePos = 0;     // movie frame (time base)
    int32_t extra = 0;        // the extra byte
    int32_t number = 0;       // TX50 family: three-digit number, -1 for blanks; TX40: 0
    GpsRecord* gps = nullptr; // linked by the time base
    double gx = 0;            // G, from acceleration value 2
    double gy = 0;            // G, from acceleration value 1
    double gz = 0;            // G, from acceleration value 3
};

// The block header.
struct GpsBlockInfo {
    float level1 = 0; // G; -1 when the TX40 letter is neither "N" nor "P"
    float level2 = 0;
    float level3 = 0;
    char letter = 0;     // TX40 family: block byte 24
    uint8_t id[6] = {};  // identification bytes, block bytes 6..11
    char tx50Letter = 0; // TX50 family: block byte 33
    uint8_t flagA = 0;   // TX50 family: byte 36; TX40: 1 (0 with an unknown letter)
    uint8_t flagB = 0;   // TX50 family: byte 37; TX40: as flagA
};

// The located block: a copy of its bytes from the start marker, at most the
// header, the records the count promises and the end marker. Empty when the
// recording has none.
struct GpsBlockBytes {
    std::vector<uint8_t> bytes;
    bool empty() const { return bytes.empty(); }
};

// Finds the block of an opened movie: TX40 family in its "gps0" box, TX50
// family in the copy taken at open. False only when the bytes cannot be
// mapped or copied; a recording without a block gives true and empty bytes.
bool LocateBlock(sMP4MOVIE& movie, GpsBlockBytes* out);

// Decodes the block into whichever of gps, accel and info is given (nullptr
// skips it). Lists are appended to; records are numbered from 0. A block
// shorter than its header decodes to nothing. False only when a list cannot
// grow (allocation). *counter (when given) is the record counter.
bool DecodeRecords(RecorderFamily family, const uint8_t* block, size_t size,
                   std::vector<GpsRecord>* gps, std::vector<AccelRecord>* accel, GpsBlockInfo* info,
                   int* counter = nullptr);

// The record count the decoder uses: the count field cut to the records that
// lie wholly inside size bytes; 0 when the header does not fit.
uint32_t UsableRecordCount(RecorderFamily family, const uint8_t* block, size_t size);

// Date and time of a record: dateTime points at "YYMMDDhhmmss", add at the
// three-digit seconds-to-add field ("*" first: none). Read as the machine's
// local time with daylight saving off (C library mktime; 1 January 1970 when
// that fails), shifted by the seconds to add and broken down again in the
// machine's local time.
RecordTime DecodeRecordTime(const uint8_t* dateTime, const uint8_t* add);

// The C library's text-to-number conversion of a fixed-width field, without
// the process locale (a window system may set a locale whose decimal mark is
// not "."): leading blanks, sign, digits, fraction, exponent; stops at the
// first other byte. Non-finite results read as 0.
double FieldToDouble(const uint8_t* p, size_t n);

} // namespace playcore
