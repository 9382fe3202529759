#pragma once
// One recording file as the recorder writes it: H.264 video of one camera (or
// of both cameras in a combined file), AAC sound, and the GPS block of the
// family, laid out by mkcard's own box writer.

#include <cstdint>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "tools/mkcard/gps_block.h"
#include "tools/mkcard/mp4_writer.h"
#include "tools/mkcard/scene.h"
#include "tools/mkcard/telemetry.h"

namespace mkcard {

// Frame durations the recorder uses, microseconds.
inline constexpr uint32_t kFrameUs29_1 = 34364; // 29.1 frames per second
inline constexpr uint32_t kFrameUs27_5 = 36364; // 27.5 frames per second
inline constexpr uint32_t kFrameUsTimeLapse = 66666;

enum class FileContent {
    Front,    // the front camera's movie
    Rear,     // the rear camera's movie
    Combined, // front video, rear video, audio in one file
};

struct RecordingSpec {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    FileContent content = FileContent::Front;
    CivilTime start; // recording start (first record, first frame)
    double durationSeconds = 3.0;
    // Frame number the first picture shows; consecutive recordings given the
    // running count show numbers that run on across files (joined movies).
    int firstFrame = 0;
    uint32_t frameUs = kFrameUs29_1;
    int gop = 15;
    int frontWidth = 320, frontHeight = 180; // fisheye picture
    int rearWidth = 320, rearHeight = 180;   // ordinary rear view
    int crf = 26;
    std::string x264Preset = "ultrafast";
    // The frame-number strip across the top twelfth of every picture, which the
    // tests read back. The demo leaves it out: the turnable view and the
    // panorama would show it straight ahead. The number stays as corner text.
    bool frameCode = true;
    bool audio = true;
    double chunkSeconds = 0.5;
    bool unknownUdtaChild = false;
    bool unfinished = false; // `ftyp` and `mdat` only, as a recording still being written

    // Telemetry.
    bool gps = true;
    bool endMarker = true;
    int recordCount = -1;            // -1: one record per second of movie
    double realSecondsPerRecord = 1; // 15 for a time-lapse: one movie second is 15 s
    bool parked = false;
    std::vector<GpsEvent> events;
    std::vector<std::pair<int, int>> noFix;
    std::vector<std::pair<int, int>> jumps;
    GpsHeader header;
    std::vector<GpsHeader> repeatedHeaders;
    int voltageTenths = -1;
    int secondsToAdd = -1;
    int countOverride = -1;
    uint64_t seed = 1;
};

struct TrackReport {
    std::string kind; // "video" or "audio"
    int width = 0, height = 0;
    uint32_t timescale = 0;
    uint32_t sampleDelta = 0;
    uint32_t samples = 0;
    uint32_t syncSamples = 0;
    uint32_t chunks = 0;
    int32_t mediaTime = 0;
    uint64_t bytes = 0;
};

struct RecordingReport {
    uint64_t fileSize = 0;
    int frames = 0; // per video track
    std::vector<TrackReport> tracks;
    Mp4Summary layout;
    std::vector<GpsRecordValues> records;
    std::string firmware;
    double encodeSeconds = 0; // wall time spent (not part of any output)
};

// The drive all recordings show.
const Route& TheRoute();

// Frames of a movie of the given length (at least 1).
int FrameCount(double seconds, uint32_t frameUs);

// Writes the recording to path (through a temporary name, renamed when complete).
bool WriteRecording(const RecordingSpec& recipe, const std::string& path, RecordingReport* report,
                    std::string* error);

// The GPS block of a recording as it is written (empty without GPS).
std::vector<uint8_t> RecordingTrailer(const RecordingSpec& recipe,
                                      std::vector<GpsRecordValues>* records);

} // namespace mkcard
