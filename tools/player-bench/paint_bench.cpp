// player-bench paint: what one paint of a movie area costs, by area size and
// display model, with the GL of this machine.
//
// A presenter draws 1920x1080 I420 pictures into an off-screen surface; every
// paint gets a new picture (upload and draw), as during playback, and a
// second series repaints the same picture (draw only, as after a view
// change). Each paint ends with glFinish, so the time is the whole work of
// the paint, including a software rasteriser's fragment work. Mode 0 draws
// nothing: its time is the upload and the clear alone.

#include <QElapsedTimer>
#include <QSize>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "playcore/models/sphere_model.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "tools/player-bench/paint_bench.h"

using namespace playcore;

namespace {

// A picture with detail in every plane (a moving diagonal pattern), so that
// no stage can take a shortcut over uniform data.
std::shared_ptr<const VideoFrame> Picture(int w, int h, int phase) {
    std::array<uint8_t*, 3> p;
    auto f = std::make_shared<VideoFrame>(AllocateFrame(PixelFormat::I420, w, h, &p));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[0][y * f->stride[0] + x] = static_cast<uint8_t>(16 + ((x + y + phase) * 3) % 220);
    for (int y = 0; y < (h + 1) / 2; ++y)
        for (int x = 0; x < (w + 1) / 2; ++x) {
            p[1][y * f->stride[1] + x] = static_cast<uint8_t>(16 + (x * 5 + phase) % 224);
            p[2][y * f->stride[2] + x] = static_cast<uint8_t>(16 + (y * 7 + phase) % 224);
        }
    return f;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Least(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

} // namespace

int RunPaintBench(int paints) {
    const std::array<std::shared_ptr<const VideoFrame>, 2> pictures = {Picture(1920, 1080, 0),
                                                                       Picture(1920, 1080, 1)};
    std::printf("ms per paint of a 1920x1080 I420 picture, %d paints each, glFinish each;\n"
                "least and median (the least is the cost on an otherwise idle machine)\n",
                paints);
    std::printf("%-11s %-14s %19s %19s\n", "area", "model", "new picture", "same picture");
    const std::pair<int, const char*> modes[] = {
        {0, "none (upload)"},    {kModeRawPlain, "RawPlain"}, {kModeRawNormal, "RawNormal"},
        {kModeSphere, "Sphere"}, {kModeDivide, "Divide"},     {kModeWideScreen, "WideScreen"}};
    for (QSize area : {QSize(1920, 1080), QSize(900, 500), QSize(640, 360)}) {
        for (auto [mode, name] : modes) {
            OffscreenSurface surface;
            if (!surface.Create(area)) {
                std::fprintf(stderr, "no GL 3.3 core context\n");
                return 1;
            }
            auto presenter = std::make_unique<Presenter>(&surface);
            presenter->SetDisplayMode(mode);
            presenter->PresentFrame(pictures[0]);
            surface.Render(); // builds the models and GL objects
            std::vector<double> fresh, same;
            QElapsedTimer t;
            for (int i = 0; i < paints; ++i) {
                presenter->PresentFrame(pictures[static_cast<size_t>(i + 1) % 2]);
                t.start();
                surface.Render();
                fresh.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            }
            for (int i = 0; i < paints; ++i) {
                presenter->Redraw();
                t.start();
                surface.Render();
                same.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            }
            std::printf("%4dx%-6d %-14s %8.1f / %8.1f %8.1f / %8.1f\n", area.width(), area.height(),
                        name, Least(fresh), Median(fresh), Least(same), Median(same));
            std::fflush(stdout);
            presenter.reset();
        }
    }
    return 0;
}
