#pragma once
// libavcodec encoders for mkcard: H.264 through libx264 (no B-frames, fixed
// key-frame interval, one thread so that the bytes repeat from run to run) and
// AAC-LC with libavcodec's own encoder. Only the encoders are used; the file
// layout is mkcard's own.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/mkcard/scene.h"

namespace mkcard {

struct EncodedSample {
    std::vector<uint8_t> data; // H.264: 4-byte NAL lengths; AAC: raw frame
    bool key = false;
};

struct VideoSettings {
    int width = 320;
    int height = 180;
    uint32_t frameUs = 34364; // frame duration, microseconds
    int gop = 15;             // frames from one key frame to the next
    int crf = 26;
    std::string preset = "ultrafast";
};

class H264Encoder {
public:
    H264Encoder();
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    bool Open(const VideoSettings& settings, std::string* error);
    // The picture to fill before each Encode call (4:2:0 planes).
    PictureRef Picture();
    bool Encode(std::vector<EncodedSample>* out, std::string* error);
    bool Flush(std::vector<EncodedSample>* out, std::string* error);
    // `avcC` payload of the stream.
    const std::vector<uint8_t>& AvcConfig() const { return avcConfig_; }

private:
    struct State;
    std::unique_ptr<State> s_;
    std::vector<uint8_t> avcConfig_;
    int64_t nextPts_ = 0;
};

struct AudioSettings {
    int sampleRate = 48000;
    int channels = 1;
    int bitRate = 64000;
};

// Encodes the recording's sound: a quiet 440 Hz tone with a short click at
// every whole second of movie time.
struct EncodedAudio {
    std::vector<EncodedSample> frames; // 1024 samples each
    std::vector<uint8_t> audioSpecificConfig;
    int sampleRate = 48000;
    int channels = 1;
    int bitRate = 64000;
    int encoderDelay = 0; // samples of priming before movie time 0
};
bool EncodeAudio(const AudioSettings& settings, double seconds, EncodedAudio* out,
                 std::string* error);

// libavcodec's identification of libx264 and the AAC encoder, for reports.
std::string EncoderVersions();

} // namespace mkcard
