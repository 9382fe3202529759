#pragma once
// Helpers of the mkcard file tests: running ffprobe and ffmpeg, reading the
// test cards the CTest fixture wrote.

#include <cstdio>
#include <string>
#include <vector>

namespace mkcard_test {

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command and returns its exit status and standard output.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        r.output.append(buf, n);
    r.status = pclose(pipe);
    return r;
}

inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

inline std::string CardRoot(const char* family) {
    return std::string(MKCARD_TEST_CARDS) + "/" + family;
}

// Decodes one video track to raw 8-bit luma at the given size (width 0: as stored),
// optionally through a JPEG round trip (quality 2..31, 0 for none).
inline std::vector<uint8_t> DecodeLuma(const std::string& file, int track, int width, int height,
                                       int jpegQuality) {
    const std::string scale =
        width > 0 ? " -vf scale=" + std::to_string(width) + ":" + std::to_string(height) : "";
    std::string command =
        "ffmpeg -v error -nostdin -i " + Quote(file) + " -map 0:v:" + std::to_string(track) + scale;
    if (jpegQuality > 0)
        command += " -c:v mjpeg -q:v " + std::to_string(jpegQuality) +
                   " -f image2pipe - | ffmpeg -v error -nostdin -f image2pipe -c:v mjpeg -i -";
    command += " -f rawvideo -pix_fmt gray -";
    CommandResult r = RunCommand(command);
    return std::vector<uint8_t>(r.output.begin(), r.output.end());
}

} // namespace mkcard_test

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace mkcard_test {

// Every picture of one video track (0-based among the video tracks), decoded
// in this process with libavcodec: the luma planes, rows packed.
struct LumaFrames {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;
};

inline bool DecodeVideo(const std::string& path, int track, LumaFrames* out) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = avformat_find_stream_info(format, nullptr) >= 0;
    int index = -1;
    for (unsigned i = 0, seen = 0; ok && i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && int(seen++) == track)
            index = int(i);
    AVCodecContext* codec = nullptr;
    if (ok && index >= 0) {
        const AVCodec* decoder = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, format->streams[index]->codecpar);
        codec->thread_count = 1;
        ok = decoder && avcodec_open2(codec, decoder, nullptr) >= 0;
    } else {
        ok = false;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            out->width = frame->width;
            out->height = frame->height;
            std::vector<uint8_t> luma(size_t(frame->width) * frame->height);
            for (int y = 0; y < frame->height; ++y)
                std::copy(frame->data[0] + y * frame->linesize[0],
                          frame->data[0] + y * frame->linesize[0] + frame->width,
                          luma.begin() + long(y) * frame->width);
            out->frames.push_back(std::move(luma));
        }
    };
    while (ok && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) {
            ok = avcodec_send_packet(codec, packet) >= 0;
            drain();
        }
        av_packet_unref(packet);
    }
    if (ok) {
        avcodec_send_packet(codec, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return ok;
}

} // namespace mkcard_test
