// kinetta-cli render: decodes one frame of a movie's first video track and
// draws it through a display model off-screen, the way a movie area shows it,
// then writes that picture (PNG, or JPEG as a still is written).

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include "platform/file_io.h"
#include "playcore/player/frame_convert.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "playcore/present/still_writer.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/draw/draw_support.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

using playcore::VideoFrame;

struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvCodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFormatClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};

// The decoded frame as the presenter takes it, converted the way the player
// converts its frames.
std::shared_ptr<const VideoFrame> ToVideoFrame(const AVFrame* decoded, std::string* error) {
    std::shared_ptr<const VideoFrame> frame = playcore::ToVideoFrame(decoded);
    if (!frame) *error = "cannot convert the picture format";
    return frame;
}

// Frame `index` (0 = first, in presentation order as the decoder returns
// them) of the file's first video track.
std::shared_ptr<const VideoFrame> DecodeFrame(const std::string& path, int64_t index,
                                              std::string* error) {
    // Only a regular file: a FIFO would block the open.
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) {
        *error = "cannot open " + path + " as a regular file";
        return nullptr;
    }
    AVFormatContext* rawFormat = nullptr;
    const int opened = avformat_open_input(&rawFormat, platform::DescriptorPath(fd, path).c_str(),
                                           nullptr, nullptr);
    ::close(fd);
    if (opened < 0) {
        *error = "cannot open " + path;
        return nullptr;
    }
    std::unique_ptr<AVFormatContext, AvFormatClose> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        *error = "cannot read the streams of " + path;
        return nullptr;
    }
    int stream = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            stream = static_cast<int>(i);
            break;
        }
    if (stream < 0) {
        *error = "no video track in " + path;
        return nullptr;
    }
    const AVCodecParameters* par = format->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    std::unique_ptr<AVCodecContext, AvCodecFree> decoder(avcodec_alloc_context3(codec));
    if (!codec || !decoder || avcodec_parameters_to_context(decoder.get(), par) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        *error = "no decoder for the video track";
        return nullptr;
    }
    std::unique_ptr<AVPacket, AvPacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, AvFrameFree> frame(av_frame_alloc());
    int64_t seen = 0;
    bool draining = false;
    for (;;) {
        if (!draining) {
            const int r = av_read_frame(format.get(), packet.get());
            if (r < 0) {
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                const bool ours = packet->stream_index == stream;
                if (ours && avcodec_send_packet(decoder.get(), packet.get()) < 0) {
                    av_packet_unref(packet.get());
                    *error = "the video track cannot be decoded";
                    return nullptr;
                }
                av_packet_unref(packet.get());
                if (!ours) continue;
            }
        }
        for (;;) {
            const int r = avcodec_receive_frame(decoder.get(), frame.get());
            if (r == AVERROR(EAGAIN)) break;
            if (r == AVERROR_EOF || (r < 0 && draining)) {
                *error = "the video track has only " + std::to_string(seen) + " frames";
                return nullptr;
            }
            if (r < 0) {
                *error = "the video track cannot be decoded";
                return nullptr;
            }
            if (seen++ == index) return ToVideoFrame(frame.get(), error);
            av_frame_unref(frame.get());
        }
    }
}

bool ParsePair(const std::string& s, double* a, double* b) {
    char extra = 0;
    return std::sscanf(s.c_str(), "%lf,%lf%c", a, b, &extra) == 2 && std::isfinite(*a) &&
           std::isfinite(*b);
}

bool ParseNumber(const std::string& s, double* v) {
    char extra = 0;
    return std::sscanf(s.c_str(), "%lf%c", v, &extra) == 1 && std::isfinite(*v);
}

// The view changes in the order given on the command line.
struct Step {
    enum Kind { Drag, Commit, Flip, Aspect } kind;
    double a = 0, b = 0;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: kinetta-cli render FILE --frame N --mode 1..5 --size WxH [--zoom Z]\n"
                 "         [--drag DX,DY]... [--commit] [--flip] [--aspect W,H] [--repeat N]\n"
                 "         --out OUT.png|OUT.jpg\n");
    return 2;
}

} // namespace

int CmdRender(Args args) {
    std::string file, out;
    int64_t frameIndex = -1;
    int mode = 0, width = 0, height = 0, repeat = 1;
    double zoom = 1;
    std::vector<Step> steps;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        double x = 0, y = 0;
        if (a == "--frame" && hasValue && ParseNumber(args[i + 1], &x) && x >= 0 &&
            x == std::floor(x)) {
            frameIndex = static_cast<int64_t>(x);
            ++i;
        } else if (a == "--mode" && hasValue && ParseNumber(args[i + 1], &x) && x >= 1 && x <= 5 &&
                   x == std::floor(x)) {
            mode = static_cast<int>(x);
            ++i;
        } else if (a == "--size" && hasValue && ParseSize(args[i + 1], &width, &height)) {
            ++i;
        } else if (a == "--zoom" && hasValue && ParseNumber(args[i + 1], &x) && x > 0) {
            zoom = x;
            ++i;
        } else if (a == "--drag" && hasValue && ParsePair(args[i + 1], &x, &y)) {
            steps.push_back({Step::Drag, x, y});
            ++i;
        } else if (a == "--aspect" && hasValue && ParsePair(args[i + 1], &x, &y) && x > 0 &&
                   y > 0) {
            steps.push_back({Step::Aspect, x, y});
            ++i;
        } else if (a == "--commit") {
            steps.push_back({Step::Commit});
        } else if (a == "--flip") {
            steps.push_back({Step::Flip});
        } else if (a == "--repeat" && hasValue && ParseNumber(args[i + 1], &x) && x >= 1 &&
                   x <= 10000) {
            repeat = static_cast<int>(x);
            ++i;
        } else if (a == "--out" && hasValue) {
            out = args[++i];
        } else if (!a.empty() && a[0] != '-' && file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "kinetta-cli render: bad argument '%s'\n", a.c_str());
            return Usage();
        }
    }
    if (file.empty() || out.empty() || frameIndex < 0 || mode == 0 || width == 0) return Usage();
    const std::string ext = kutil::AsciiLower(out.substr(out.find_last_of('.') + 1));
    const bool jpeg = ext == "jpg" || ext == "jpeg";
    if (!jpeg && ext != "png") {
        std::fprintf(stderr, "kinetta-cli render: --out must end in .png or .jpg\n");
        return 2;
    }

    std::string error;
    std::shared_ptr<const VideoFrame> frame = DecodeFrame(file, frameIndex, &error);
    if (!frame) {
        std::fprintf(stderr, "kinetta-cli render: %s\n", error.c_str());
        return 1;
    }

    if (!HaveDisplay()) {
        std::fprintf(stderr, "kinetta-cli render: no display for OpenGL (run it under xvfb-run)\n");
        return 1;
    }
    const std::unique_ptr<QGuiApplication> app = MakeGuiApplication();
    playcore::OffscreenSurface surface;
    if (!surface.Create(QSize(width, height))) {
        std::fprintf(stderr, "kinetta-cli render: no OpenGL 3.3 core context\n");
        return 1;
    }
    playcore::Presenter presenter(&surface);
    presenter.SetDisplayMode(mode);
    presenter.PresentFrame(frame);
    surface.Render(); // builds the models for the surface, so that --aspect sticks

    // The zoom reaches the models through a drag, as in the viewer.
    bool refused = !presenter.DragView(0, 0, static_cast<float>(zoom));
    for (const Step& s : steps) {
        switch (s.kind) {
        case Step::Drag:
            refused |= !presenter.DragView(static_cast<float>(s.a), static_cast<float>(s.b),
                                           static_cast<float>(zoom));
            break;
        case Step::Commit:
            presenter.CommitViewRotation();
            break;
        case Step::Flip:
            presenter.FlipView();
            break;
        case Step::Aspect:
            presenter.SetViewAspect(static_cast<int>(s.a), static_cast<int>(s.b));
            break;
        }
    }

    // Each pass takes the frame anew: upload, colour conversion and drawing.
    double totalMs = 0;
    for (int i = 0; i < repeat; ++i) {
        presenter.PresentFrame(frame);
        const auto t0 = std::chrono::steady_clock::now();
        surface.Render(); // ends with glFinish
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count();
    }

    const QString outPath = QString::fromStdString(out);
    const bool written = jpeg
                             ? presenter.SaveStill(outPath)
                             : playcore::WriteStillImage(surface.GrabPicture(), outPath, "png", -1);
    if (!written) {
        std::fprintf(stderr, "kinetta-cli render: cannot write %s\n", out.c_str());
        return 1;
    }
    kutil::Json j;
    j["file"] = file;
    j["frame"] = frameIndex;
    j["mode"] = mode;
    j["width"] = width;
    j["height"] = height;
    j["videoWidth"] = frame->width;
    j["videoHeight"] = frame->height;
    j["dragRefused"] = refused;
    j["drawMs"] = kutil::JsonNumber(totalMs / repeat, 3);
    j["out"] = out;
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
