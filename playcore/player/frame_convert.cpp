#include "playcore/player/frame_convert.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace playcore {

namespace {

struct FrameHolder {
    AVFrame* frame = nullptr;
    ~FrameHolder() { av_frame_free(&frame); }
};

std::shared_ptr<const VideoFrame> Wrap(AVFrame* owned, PixelFormat format, int64_t pts) {
    auto holder = std::make_shared<FrameHolder>();
    holder->frame = owned;
    auto out = std::make_shared<VideoFrame>();
    out->format = format;
    out->width = owned->width;
    out->height = owned->height;
    out->pts = pts;
    for (int p = 0; p < PlaneCount(format) && p < 3; ++p) {
        out->data[static_cast<size_t>(p)] = owned->data[p];
        out->stride[static_cast<size_t>(p)] = owned->linesize[p];
    }
    out->owner = holder;
    if (!IsValidFrame(*out)) return nullptr;
    return out;
}

AVFrame* ConvertToI420(const AVFrame* src) {
    AVFrame* dst = av_frame_alloc();
    if (!dst) return nullptr;
    dst->format = AV_PIX_FMT_YUV420P;
    dst->width = src->width;
    dst->height = src->height;
    SwsContext* sws = nullptr;
    bool ok = av_frame_get_buffer(dst, 0) >= 0;
    if (ok) {
        sws = sws_getContext(src->width, src->height, static_cast<AVPixelFormat>(src->format),
                             dst->width, dst->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                             nullptr, nullptr);
        ok = sws &&
             sws_scale(sws, src->data, src->linesize, 0, src->height, dst->data, dst->linesize) > 0;
    }
    sws_freeContext(sws);
    if (!ok) av_frame_free(&dst);
    return dst;
}

} // namespace

PixelFormat PresenterFormatOf(int avPixelFormat) {
    switch (static_cast<AVPixelFormat>(avPixelFormat)) {
    case AV_PIX_FMT_YUV420P:
        return PixelFormat::I420;
    case AV_PIX_FMT_NV12:
        return PixelFormat::NV12;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
        return PixelFormat::BGRA;
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_RGB0:
        return PixelFormat::RGBA;
    case AV_PIX_FMT_RGB24:
        return PixelFormat::RGB24;
    case AV_PIX_FMT_BGR24:
        return PixelFormat::BGR24;
    default:
        return PixelFormat::None;
    }
}

std::shared_ptr<const VideoFrame> ToVideoFrame(const AVFrame* frame, int64_t pts) {
    if (!frame || frame->width <= 0 || frame->height <= 0 || frame->width > kMaxFrameSide ||
        frame->height > kMaxFrameSide)
        return nullptr;
    AVFrame* owned = nullptr;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (desc && (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) {
        owned = av_frame_alloc();
        if (!owned || av_hwframe_transfer_data(owned, frame, 0) < 0) {
            av_frame_free(&owned);
            return nullptr;
        }
        owned->pts = frame->pts;
    } else {
        owned = av_frame_clone(frame);
        if (!owned) return nullptr;
    }
    PixelFormat format = PresenterFormatOf(owned->format);
    for (int p = 0; p < 3; ++p)
        if (owned->linesize[p] < 0) format = PixelFormat::None; // bottom-up rows
    if (format == PixelFormat::None) {
        AVFrame* converted = ConvertToI420(owned);
        av_frame_free(&owned);
        if (!converted) return nullptr;
        owned = converted;
        format = PixelFormat::I420;
    }
    return Wrap(owned, format, pts);
}

} // namespace playcore
