#pragma once
// Questions the session and the file operations ask about a recording file.
// Each opens the file, reads what it needs and releases it before returning.

#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"
#include "playcore/container/recorder_family.h"

namespace playcore {

// Whether the recorder finished the file: the last 85 bytes (TX40 family) or
// 97 bytes (TX50 family), zero bytes read as blanks, hold "CSOEND", and bytes
// 4..7 are "ftyp". A missing, empty or shorter file is incomplete.
bool IsRecordingComplete(const std::string& path, RecorderFamily family);
// The same test on a file already open for reading whose size is size bytes.
bool IsRecordingComplete(int fd, uint64_t size, RecorderFamily family);
inline constexpr size_t kCompleteTailTx40 = 85;
inline constexpr size_t kCompleteTailTx50 = 97;

// Timing of one video track, as the probe reads it from its stts box.
struct CameraTiming {
    float frameDurationMs = 0; // ⌊⌊total ÷ count⌋ ÷ 1000⌋
    float durationS = 0;       // total ÷ 1,000,000
};

// Results of the frame-timing probe.
enum ProbeResult : int {
    kProbeUnknown = 0,  // no usable timing in the file; ask the decoder instead
    kProbeAccepted = 1, // every video track is long enough
    kProbeTooShort = 2, // a track is too short to play
};

struct FrameTimingProbe {
    int result = kProbeUnknown;
    // One entry per probed track (every stts box but the last, which is the
    // audio track), in file order, up to the track that ended the probe.
    std::vector<CameraTiming> cameras;
};

// Probes an opened movie / a file. The recorder writes its video tracks with
// a time scale of 1,000,000, so sums are read as microseconds.
FrameTimingProbe ProbeFrameTiming(const sMP4MOVIE& movie);
FrameTimingProbe ProbeFrameTiming(const std::string& path, RecorderFamily family);

// File queries of the file operations; -1 (or -1.0) when the file cannot be
// opened as a movie or lacks the box asked for.
// Sample count of the first stsz box (the first video track); -1 also when
// the count is larger than the box's table or the media data can hold.
long long FirstSampleCount(const std::string& path, RecorderFamily family);
// Number of stsz boxes (tracks with a sample-size table).
int StszCount(const std::string& path, RecorderFamily family);
// Integer width of the track of the trackIndex-th tkhd (0 or 1); -1 unless the
// file has at least three tkhd boxes (two video tracks and the audio).
int TrackWidth(const std::string& path, int trackIndex, RecorderFamily family);
// The probed frame duration of the first camera in ms; -1 when the probe
// found nothing.
float ProbedFrameDuration(const std::string& path, RecorderFamily family);
// Frames per second of the first stts box: 1,000,000 ÷ (Σ count × delta ÷ Σ count).
double FramesPerSecond(const std::string& path, RecorderFamily family);

} // namespace playcore
