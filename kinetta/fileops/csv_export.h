#pragma once
// The CSV export of the recording list: one line per recording with its file
// name, start date and time, length, trigger, picture sizes, frame rate and
// data sizes, read from the recording's files without playing them. Pure:
// the viewer runs WriteCsvFile on a file-operation worker, kinetta-cli calls
// it directly.
//
// The file is UTF-8 (the locale's character set on current systems) without
// a byte-order mark, every line ends with "\r\n", and a cell holding a comma,
// a quote or a line break is quoted (quotes doubled) so that a spreadsheet
// reads the row as written. Rows have no length limit.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "playcore/container/gps_block.h"

namespace kinetta {

// The recorder's nominal rates: [4.75, 5.25) reads 5.0, [27.25, 27.75)
// reads 27.5, [27.75, 28.25) reads 28.0; any other rate is kept.
float SnapFrameRate(float fps);

// The length cell's whole seconds of frames at fps (the snapped rate): N when
// the frames make N whole seconds within half a frame (|frames - N fps| <=
// 0.5), else the whole seconds they fill. 582 frames at 29.1 fps (19.9998 s)
// are 20 s, 581 frames (19.965 s) 19 s. 0 for a rate that is not positive.
int64_t CsvLengthSeconds(int64_t frames, float fps);

// A recording shorter than this (frames ÷ snapped rate, seconds, inclusive)
// gets the short row.
inline constexpr float kCsvShortestSeconds = 1.5f;

// What one row says of a recording, measured from its files.
struct CsvFacts {
    std::string name;      // first cell: the front file's bare name, "-" without one
    bool measured = false; // false: the short row (dashes, "fps", 0MB, 0MB)
    std::optional<playcore::RecordTime> start; // first GPS record; none: "--/--/--"
    float fps = 0;                             // snapped rate, frames per second
    int64_t frames = 0;                        // sample count of the first stsz
    std::string trigger;                       // TriggerText of the measured file's name
    int enforcement = -1;                   // TX50 family: enforcement code of the name (5, 6, ...)
    int rearWidth = -1;                     // integer width of the rear video track; -1 unknown
    char qualityLetter = 0;                 // TX50 family: block header letter
    uint64_t frontBytes = 0, rearBytes = 0; // data sizes in bytes
};

// Reads the facts of one recording (the front file, or the rear file when
// there is none). A file that cannot be opened as a movie, has no sample
// description, no usable timing, or lasts 1.5 s or less gives an unmeasured
// result; this never fails otherwise.
CsvFacts MeasureRecording(const RecordingEntry& entry, RecorderFamily family);

// The header line and the row of facts, each ending in "\r\n".
std::string CsvHeader(RecorderFamily family);
std::string CsvRow(const CsvFacts& facts, RecorderFamily family);

// One cell as written: unchanged, or quoted with inner quotes doubled when it
// holds a comma, a quote, a carriage return or a line feed.
std::string CsvCell(std::string_view text);

// "Dv_%Y%m%d_%H%M%S.csv" of a record's local date and time.
std::string CsvFileName(const playcore::RecordTime& time);
// The output name for a list whose first recording is first: from the time of
// its first GPS record. Empty when that recording has no start time (no
// readable file, no GPS block, or an empty one).
std::string CsvFileNameFor(const RecordingEntry& first, RecorderFamily family);

// Result of writing the file.
enum class CsvWriteResult { Written, Cancelled, Failed };

// Writes header and one row per entry, in order, to path: into a temporary
// file beside it that is renamed to path only when every row is written, so
// a failure or a cancel leaves nothing (and an earlier file of that name
// untouched). progress(done, total) follows every row. running, when given,
// is checked before each row; once it reads false the export stops and
// nothing is kept. Failed when the file cannot be created or written, or a
// listed recording's file is no longer there (a pulled card).
CsvWriteResult WriteCsvFile(const std::vector<RecordingEntry>& entries, RecorderFamily family,
                            const std::string& path, const std::atomic<bool>* running,
                            const std::function<void(int done, int total)>& progress);

} // namespace kinetta
