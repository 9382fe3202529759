#include "playcore/convert/video_encoder.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "playcore/convert/unwrap.h"

namespace playcore {

namespace {

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

// The render nodes of the machine's graphics devices, in name order.
std::vector<std::string> RenderNodes() {
    std::vector<std::string> nodes;
    if (DIR* dir = ::opendir("/dev/dri")) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind("renderD", 0) == 0) nodes.push_back("/dev/dri/" + name);
        }
        ::closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

// An NVIDIA driver is loaded (its control device exists).
bool NvidiaDevicePresent() {
    return ::access("/dev/nvidiactl", F_OK) == 0;
}

// The settings every encoder shares.
void ApplyCommon(AVCodecContext* c, const VideoEncoderSetup& setup) {
    c->width = setup.width;
    c->height = setup.height;
    c->time_base = setup.timeBase;
    c->framerate = setup.frameRate;
    c->sample_aspect_ratio = setup.sampleAspect;
    c->bit_rate = setup.bitRate;
    c->color_range = AVCOL_RANGE_MPEG;
    c->field_order = AV_FIELD_PROGRESSIVE;
    if (setup.globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

} // namespace

VideoEncoder::~VideoEncoder() {
    Close();
}

void VideoEncoder::Close() {
    avcodec_free_context(&context_);
    av_buffer_unref(&device_);
    av_frame_free(&nv12_);
    av_frame_free(&surface_);
    sws_freeContext(toNv12_);
    toNv12_ = nullptr;
    used_ = ConvertEncoder::Auto;
}

bool VideoEncoder::Open(ConvertEncoder wanted, const VideoEncoderSetup& setup, std::string* why) {
    Close();
    switch (wanted) {
    case ConvertEncoder::X264:
        return OpenX264(setup, why);
    case ConvertEncoder::Vaapi:
        return OpenVaapi(setup, why);
    case ConvertEncoder::Nvenc:
        return OpenNvenc(setup, why);
    case ConvertEncoder::Auto:
        break;
    }
    // A hardware encoder is tried only where its device is present, so that
    // a machine without one does not fill the log with FFmpeg's attempts.
    std::string ignored;
    if (!RenderNodes().empty() && OpenVaapi(setup, &ignored)) return true;
    if (NvidiaDevicePresent() && OpenNvenc(setup, &ignored)) return true;
    return OpenX264(setup, why);
}

bool VideoEncoder::OpenX264(const VideoEncoderSetup& setup, std::string* why) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return Fail(why, "libx264 is not available");
    context_ = avcodec_alloc_context3(codec);
    if (!context_) return Fail(why, "out of memory");
    ApplyCommon(context_, setup);
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->thread_count = 0;
    if (av_opt_set(context_->priv_data, "preset", setup.x264Preset.c_str(), 0) < 0) {
        Close();
        return Fail(why, "unknown x264 preset " + setup.x264Preset);
    }
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return Fail(why, "cannot open libx264");
    }
    used_ = ConvertEncoder::X264;
    return true;
}

bool VideoEncoder::OpenVaapi(const VideoEncoderSetup& setup, std::string* why) {
    if (!avcodec_find_encoder_by_name("h264_vaapi"))
        return Fail(why, "this FFmpeg has no h264_vaapi encoder");
    const std::vector<std::string> nodes = RenderNodes();
    if (nodes.empty()) return Fail(why, "no VA-API device: no render node /dev/dri/renderD*");
    std::string last;
    for (const std::string& node : nodes) {
        if (OpenVaapiOn(node, setup, &last)) return true;
        Close();
    }
    return Fail(why, last);
}

bool VideoEncoder::OpenVaapiOn(const std::string& node, const VideoEncoderSetup& setup,
                               std::string* why) {
    if (av_hwdevice_ctx_create(&device_, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0) < 0)
        return Fail(why, "the VA-API device " + node + " does not answer");
    const AVCodec* codec = avcodec_find_encoder_by_name("h264_vaapi");
    context_ = avcodec_alloc_context3(codec);
    if (!context_) return Fail(why, "out of memory");
    ApplyCommon(context_, setup);
    context_->pix_fmt = AV_PIX_FMT_VAAPI;
    // Surfaces in the layout the encoder reads (NV12); each picture is
    // converted to it and uploaded before it is sent.
    AVBufferRef* frames = av_hwframe_ctx_alloc(device_);
    if (!frames) return Fail(why, "out of memory");
    auto* fc = reinterpret_cast<AVHWFramesContext*>(frames->data);
    fc->format = AV_PIX_FMT_VAAPI;
    fc->sw_format = AV_PIX_FMT_NV12;
    fc->width = setup.width;
    fc->height = setup.height;
    fc->initial_pool_size = 16;
    if (av_hwframe_ctx_init(frames) < 0) {
        av_buffer_unref(&frames);
        return Fail(why, "the VA-API device " + node + " has no NV12 surfaces");
    }
    context_->hw_frames_ctx = frames; // the context owns the reference
    if (avcodec_open2(context_, codec, nullptr) < 0)
        return Fail(why, "h264_vaapi cannot be opened on " + node);
    nv12_ = av_frame_alloc();
    surface_ = av_frame_alloc();
    toNv12_ = sws_getContext(setup.width, setup.height, AV_PIX_FMT_YUV420P, setup.width,
                             setup.height, AV_PIX_FMT_NV12, SWS_POINT, nullptr, nullptr, nullptr);
    if (!nv12_ || !surface_ || !toNv12_) return Fail(why, "out of memory");
    nv12_->format = AV_PIX_FMT_NV12;
    nv12_->width = setup.width;
    nv12_->height = setup.height;
    if (av_frame_get_buffer(nv12_, 0) < 0) return Fail(why, "out of memory");
    used_ = ConvertEncoder::Vaapi;
    return true;
}

bool VideoEncoder::OpenNvenc(const VideoEncoderSetup& setup, std::string* why) {
    const AVCodec* codec = avcodec_find_encoder_by_name("h264_nvenc");
    if (!codec) return Fail(why, "this FFmpeg has no h264_nvenc encoder");
    context_ = avcodec_alloc_context3(codec);
    if (!context_) return Fail(why, "out of memory");
    ApplyCommon(context_, setup);
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return Fail(why, "h264_nvenc cannot be opened: no NVIDIA device or driver");
    }
    used_ = ConvertEncoder::Nvenc;
    return true;
}

int VideoEncoder::Send(const AVFrame* frame) {
    if (!context_) return AVERROR(EINVAL);
    if (!frame || used_ != ConvertEncoder::Vaapi) return avcodec_send_frame(context_, frame);
    int r = av_frame_make_writable(nv12_);
    if (r < 0) return r;
    if (sws_scale(toNv12_, frame->data, frame->linesize, 0, frame->height, nv12_->data,
                  nv12_->linesize) != frame->height)
        return AVERROR(EINVAL);
    av_frame_unref(surface_);
    if ((r = av_hwframe_get_buffer(context_->hw_frames_ctx, surface_, 0)) < 0) return r;
    if ((r = av_hwframe_transfer_data(surface_, nv12_, 0)) < 0) return r;
    if ((r = av_frame_copy_props(surface_, frame)) < 0) return r;
    r = avcodec_send_frame(context_, surface_);
    av_frame_unref(surface_);
    return r;
}

bool ProbeVideoEncoder(ConvertEncoder wanted, ConvertEncoder* used, std::string* why) {
    // libx264 opens wherever FFmpeg has it: it is only looked up, not
    // opened (which would also fill the log with its banner).
    const bool hardwareToTry =
        wanted == ConvertEncoder::Vaapi || wanted == ConvertEncoder::Nvenc ||
        (wanted == ConvertEncoder::Auto && (!RenderNodes().empty() || NvidiaDevicePresent()));
    if (!hardwareToTry) {
        if (!avcodec_find_encoder_by_name("libx264")) return Fail(why, "libx264 is not available");
        if (used) *used = ConvertEncoder::X264;
        return true;
    }
    VideoEncoderSetup setup;
    setup.width = kConvertWidth;
    setup.height = kConvertHeight;
    setup.timeBase = AVRational{1, 30};
    setup.frameRate = AVRational{30, 1};
    setup.sampleAspect = AVRational{1, 1};
    setup.bitRate = 80000000;
    setup.x264Preset = kDefaultConvertPreset;
    VideoEncoder encoder;
    if (!encoder.Open(wanted, setup, why)) return false;
    if (used) *used = encoder.Used();
    return true;
}

} // namespace playcore
