#pragma once
// The H.264 encoder of the upload conversion: libx264, or a hardware encoder
// where FFmpeg can open one on this machine: h264_vaapi on a render node
// (/dev/dri/renderD*) that answers, h264_nvenc on an NVIDIA device. Every
// encoder gets the same bit rate, size, time base, frame rate and pixel
// aspect; libx264 also the preset.
//
// No Qt. One thread at a time.

#include <cstdint>
#include <string>

#include "playcore/convert/convert_job.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVBufferRef;
struct AVCodecContext;
struct AVFrame;
struct SwsContext;

namespace playcore {

struct VideoEncoderSetup {
    int width = 0, height = 0;
    AVRational timeBase{1, 1};
    AVRational frameRate{0, 1};
    AVRational sampleAspect{0, 1};
    int64_t bitRate = 0;       // average, bit/s
    bool globalHeader = false; // the container wants the parameter sets in the header
    std::string x264Preset;
};

class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Auto tries VA-API, then NVENC (each only where its device is present),
    // then libx264; a named encoder is tried alone. False with the reason of
    // the last encoder tried.
    bool Open(ConvertEncoder wanted, const VideoEncoderSetup& setup, std::string* why);
    AVCodecContext* Context() const { return context_; }
    ConvertEncoder Used() const { return used_; }
    // A planar 4:2:0 (video range) picture of the setup's size, uploaded to
    // the device first for VA-API; nullptr ends the input. FFmpeg's result.
    int Send(const AVFrame* frame);

private:
    bool OpenX264(const VideoEncoderSetup& setup, std::string* why);
    bool OpenVaapi(const VideoEncoderSetup& setup, std::string* why);
    bool OpenVaapiOn(const std::string& node, const VideoEncoderSetup& setup, std::string* why);
    bool OpenNvenc(const VideoEncoderSetup& setup, std::string* why);
    void Close();

    AVCodecContext* context_ = nullptr;
    AVBufferRef* device_ = nullptr; // VA-API display
    AVFrame* nv12_ = nullptr;       // VA-API: the picture in the surfaces' layout
    AVFrame* surface_ = nullptr;
    SwsContext* toNv12_ = nullptr;
    ConvertEncoder used_ = ConvertEncoder::Auto;
};

// The encoder a run asking for `wanted` would use: true with *used set, or
// false with the reason (a named encoder this machine cannot open). Opens
// and closes a hardware encoder of the conversion's size where one is tried;
// libx264 is only looked up.
bool ProbeVideoEncoder(ConvertEncoder wanted, ConvertEncoder* used, std::string* why);

} // namespace playcore
