#pragma once
// Upload conversion, the one entry the file-operation flows call: a fisheye
// recording is unwrapped into a 1920 x 960 panorama, the mask rectangles are
// pixelated, the sound is copied (or silenced) and the result is written as
// H.264 with the moov box ahead of the media data.
//
// The output is written to a temporary file beside the destination and the
// destination appears only when it is complete; the temporaries are removed
// in every case (failure, cancel, success). The source is only ever read.
// No Qt: the caller wraps the run in its own job object and window messages.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace playcore {

// A rectangle in output pixels (1920 x 960), left/top/right/bottom; right and
// bottom are the last covered column and row (corners inclusive).
struct MaskRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const MaskRect&) const = default;
};

// The H.264 encoder of a run. Auto: VA-API when a render node answers and
// FFmpeg opens h264_vaapi on it, else NVENC when FFmpeg opens h264_nvenc,
// else libx264. A named one is that encoder or a failed run.
enum class ConvertEncoder { Auto, X264, Vaapi, Nvenc };

// The names of the setting "CONVERT" / "ENCODER" and of kinetta-cli's
// --encoder: "auto", "x264", "vaapi", "nvenc".
inline std::string_view ConvertEncoderName(ConvertEncoder e) {
    switch (e) {
    case ConvertEncoder::X264:
        return "x264";
    case ConvertEncoder::Vaapi:
        return "vaapi";
    case ConvertEncoder::Nvenc:
        return "nvenc";
    case ConvertEncoder::Auto:
        break;
    }
    return "auto";
}
// False (and *e unchanged) for any other text.
inline bool ParseConvertEncoder(std::string_view text, ConvertEncoder* e) {
    for (ConvertEncoder c :
         {ConvertEncoder::Auto, ConvertEncoder::X264, ConvertEncoder::Vaapi, ConvertEncoder::Nvenc})
        if (text == ConvertEncoderName(c)) {
            *e = c;
            return true;
        }
    return false;
}

// What the user chose in the conversion dialog, plus what the flow knows of
// the recording.
struct ConvertSettings {
    std::vector<MaskRect> masks; // pixelated in every written frame
    bool silenceAudio = false;   // every audio packet replaced by one silent frame
    bool flip = false;           // the other mounting direction (picture turned and mirrored)
    bool combined = false;       // front and rear in one file: the front (last) video is converted
    std::string preset;          // x264 preset; empty: kDefaultConvertPreset
    ConvertEncoder encoder = ConvertEncoder::Auto;
    // The file declares its picture as a whole-sphere equirectangular
    // panorama (panorama_geometry.h); false: a plain 2:1 movie.
    bool spherical = true;
};

// The x264 preset used when the setting is empty (chosen by the benchmark,
// see bench/README.md).
inline constexpr const char* kDefaultConvertPreset = "superfast";

// Outcome of a run: the job's results 0 / 1 / 2.
enum ConvertResult : int { kConvertDone = 0, kConvertFailed = 1, kConvertCancelled = 2 };

struct ConvertRequest {
    std::string source;      // recording to convert (read only)
    std::string destination; // final output; replaced only by a complete file
    ConvertSettings settings;
    int totalFrames = 0;   // the source's frame count, the progress scale
    int progressStart = 0; // percentage at which this run's progress begins
    // Cleared by another thread to cancel: the run stops after the current
    // frame, writes nothing to the destination and returns kConvertCancelled.
    const std::atomic<bool>* running = nullptr;
    // Called on the converting thread: (progressStart, 100) at the start,
    // (done, totalFrames) after every written frame (ConvertProgressDone),
    // (100, 100) at the end.
    std::function<void(int done, int total)> progress;
    // Called on the writing thread after every written frame with the video
    // frames written so far (the pace shown beside the progress), just
    // before that frame's progress call.
    std::function<void(int frames)> framesWritten;
};

// What a run did besides its result.
struct ConvertReport {
    int frames = 0;            // video frames written
    bool stoppedEarly = false; // a frame could not be converted: the output ends before it
    std::string why;           // short reason of a failure
    // The encoder that wrote the video ("x264", "vaapi", "nvenc"); empty when
    // none was opened.
    std::string encoder;
};

// Runs the conversion (on a worker thread of its own; the caller blocks).
ConvertResult ConvertMovie(const ConvertRequest& request, ConvertReport* report = nullptr);

} // namespace playcore
