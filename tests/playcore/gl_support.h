#pragma once
// Support for the GL tests: the application object, and a synthetic fisheye
// picture whose regions tell which part of the image circle a pixel shows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "playcore/models/video_frame.h"
#include "playcore/present/offscreen_surface.h"

namespace ktest {

// Creates the QApplication once, when a display is there to run GL on.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
                             std::getenv("QT_QPA_PLATFORM");
        if (!display) return;
        QSurfaceFormat::setDefaultFormat(playcore::PresenterSurfaceFormat());
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }
    static bool Available() { return QApplication::instance() != nullptr; }

private:
    int argc_ = 1;
    char name_[16] = "kinetta-gl-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

#define KTEST_NEED_GL()                                                                            \
    do {                                                                                           \
        if (!::ktest::GuiEnvironment::Available()) GTEST_SKIP() << "no display for GL";            \
    } while (0)

// YUV (video range) of the picture's regions and their colours by the BT.601 rule.
struct Yuv {
    int y, u, v;
};
inline constexpr Yuv kAhead{81, 90, 240};    // image top: red
inline constexpr Yuv kRight{145, 54, 34};    // image right: green
inline constexpr Yuv kBehind{41, 240, 110};  // image bottom: blue
inline constexpr Yuv kLeft{210, 16, 146};    // image left: yellow
inline constexpr Yuv kCentre{235, 128, 128}; // within radius 0.1 of the centre: white
inline constexpr Yuv kOutside{16, 128, 128}; // beyond the image circle: black

inline QColor ColourOf(Yuv c) {
    return QColor::fromRgba(playcore::Bt601ToArgb(c.y, c.u, c.v));
}

// Region of the texture point (u, v): the centre disc, the outside of the
// circle, or the quadrant of the direction from the centre.
inline Yuv RegionAt(double u, double v) {
    const double dx = u - 0.5, dy = v - 0.5;
    const double r = std::hypot(dx, dy);
    if (r < 0.1) return kCentre;
    if (r > 0.5) return kOutside;
    if (std::fabs(dx) > std::fabs(dy)) return dx > 0 ? kRight : kLeft;
    return dy < 0 ? kAhead : kBehind;
}

// The synthetic fisheye picture as I420; chroma is taken at each 2 x 2 block's
// top-left pixel.
inline playcore::VideoFrame FisheyeI420(int w, int h) {
    std::array<uint8_t*, 3> p;
    playcore::VideoFrame f = playcore::AllocateFrame(playcore::PixelFormat::I420, w, h, &p);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Yuv c = RegionAt((x + 0.5) / w, (y + 0.5) / h);
            p[0][y * f.stride[0] + x] = static_cast<uint8_t>(c.y);
            if (x % 2 == 0 && y % 2 == 0) {
                p[1][(y / 2) * f.stride[1] + x / 2] = static_cast<uint8_t>(c.u);
                p[2][(y / 2) * f.stride[2] + x / 2] = static_cast<uint8_t>(c.v);
            }
        }
    return f;
}

inline playcore::VideoFrame Uniform(Yuv c, int w, int h) {
    std::array<uint8_t*, 3> p;
    playcore::VideoFrame f = playcore::AllocateFrame(playcore::PixelFormat::I420, w, h, &p);
    std::fill_n(p[0], f.stride[0] * h, static_cast<uint8_t>(c.y));
    std::fill_n(p[1], f.stride[1] * ((h + 1) / 2), static_cast<uint8_t>(c.u));
    std::fill_n(p[2], f.stride[2] * ((h + 1) / 2), static_cast<uint8_t>(c.v));
    return f;
}

inline std::shared_ptr<const playcore::VideoFrame> Share(playcore::VideoFrame f) {
    return std::make_shared<const playcore::VideoFrame>(std::move(f));
}

// Whether the pixel is within `tol` of the colour on every channel.
inline ::testing::AssertionResult ColourNear(const QImage& img, int x, int y, QColor want,
                                             int tol = 3) {
    const QColor got = img.pixelColor(x, y);
    if (std::abs(got.red() - want.red()) <= tol && std::abs(got.green() - want.green()) <= tol &&
        std::abs(got.blue() - want.blue()) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is " << got.name().toStdString() << ", want "
           << want.name().toStdString();
}

} // namespace ktest
