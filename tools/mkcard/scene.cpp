#include "tools/mkcard/scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

#include "tools/mkcard/framecode.h"
#include "tools/mkcard/telemetry.h"

namespace mkcard {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;
constexpr double kAlongTexel = 0.04;  // metres
constexpr double kAcrossTexel = 0.08; // metres
constexpr double kAcrossOrigin = -10.24;
// The rear camera sits at the back of the car, looking back and a little down.
constexpr double kRearCameraX = -3.6;
constexpr double kRearPitch = 10 * kDeg;
constexpr double kRearHalfFov = 45 * kDeg; // horizontal

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double f) {
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

uint8_t Clamp8(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Road layout across, metres to the right of the car's centre line (Japan drives
// on the left: our lane, then the oncoming lane).
constexpr double kRoadLeft = -2.0;
constexpr double kRoadRight = 5.6;
bool NearLine(double y, double centre) {
    return std::fabs(y - centre) < 0.08;
}

double AcrossMetres(int across) {
    return (across + 0.5) * kAcrossTexel + kAcrossOrigin;
}

// Texel columns across the road that hold a lane line.
bool IsLaneColumn(int across) {
    const double y = AcrossMetres(across);
    return NearLine(y, -1.775) || NearLine(y, 5.25) || NearLine(y, 1.75);
}

Rgb SurfaceColour(double y) {
    if (y >= kRoadLeft && y <= kRoadRight) return {84, 84, 86};
    return {160, 152, 140}; // pavement
}

const Rgb kHaze = {178, 184, 190};

// The landmark at an azimuth (clockwise from ahead) and elevation, in degrees.
bool LandmarkColour(double azimuth, double elevation, Rgb* colour) {
    azimuth = std::fmod(std::fmod(azimuth, 360) + 360, 360);
    for (const Landmark& m : Landmarks()) {
        double d = std::fabs(azimuth - m.azimuthDeg);
        d = std::min(d, 360 - d);
        if (d <= m.halfWidthDeg && elevation >= m.bottomDeg && elevation <= m.topDeg) {
            // A lighter band near the top makes the landmark's height visible.
            *colour = {double(m.r), double(m.g), double(m.b)};
            if (elevation > m.topDeg - 2) *colour = Mix(*colour, {255, 255, 255}, 0.35);
            return true;
        }
    }
    return false;
}

// Static sky, buildings and landmarks above the horizon.
Rgb SkyColour(double azimuth, double elevation) {
    Rgb landmark;
    if (LandmarkColour(azimuth, std::max(0.0, elevation), &landmark)) return landmark;
    azimuth = std::fmod(std::fmod(azimuth, 360) + 360, 360);
    // Buildings: a block every 9 degrees, heights from a fixed hash.
    const int block = static_cast<int>(azimuth / 9);
    const uint64_t h = HashText(std::to_string(block), 77);
    const double height = 3 + static_cast<double>(h % 900) / 100.0; // 3..12 degrees
    if (elevation <= height) {
        const double shade = 105 + static_cast<double>((h >> 12) % 50);
        Rgb c{shade, shade - 4, shade - 10};
        const double wx = std::fmod(azimuth, 1.5), wy = std::fmod(elevation, 1.2);
        if (wx > 0.4 && wx < 1.0 && wy > 0.4 && wy < 0.9) c = Mix(c, {40, 50, 60}, 0.6);
        return c;
    }
    const double f = std::clamp(elevation / 35.0, 0.0, 1.0);
    return Mix({205, 215, 225}, {100, 150, 225}, f);
}

// 3 x 5 glyphs, rows top to bottom, bit 2 = left column.
const std::array<uint8_t, 5>* Glyph(char c) {
    static const std::array<uint8_t, 5> kDigits[10] = {
        {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
        {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
    static const std::array<uint8_t, 5> kColon = {0, 2, 0, 2, 0};
    static const std::array<uint8_t, 5> kDot = {0, 0, 0, 0, 2};
    static const std::array<uint8_t, 5> kHash = {5, 7, 5, 7, 5};
    static const std::array<uint8_t, 5> kBlank = {0, 0, 0, 0, 0};
    if (c >= '0' && c <= '9') return &kDigits[c - '0'];
    if (c == ':') return &kColon;
    if (c == '.') return &kDot;
    if (c == '#') return &kHash;
    return &kBlank;
}

int TextWidth(size_t chars, int scale) {
    return static_cast<int>(4 * chars + 1) * scale;
}
int TextHeight(int scale) {
    return 7 * scale;
}

// Draws text at (x0, y0) on a dark box; chroma of the box made neutral.
void DrawTextBox(const PictureRef& out, int width, int height, int x0, int y0,
                 const std::string& text, int scale) {
    const int w = TextWidth(text.size(), scale), h = TextHeight(scale);
    const int x1 = std::min(width, x0 + w), y1 = std::min(height, y0 + h);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    for (int y = y0; y < y1; ++y)
        std::memset(out.y + y * out.strideY + x0, 16, size_t(x1 - x0));
    for (int y = y0 / 2; y < (y1 + 1) / 2 && y < height / 2; ++y) {
        const int cx0 = x0 / 2, cx1 = std::min(width / 2, (x1 + 1) / 2);
        std::memset(out.u + y * out.strideU + cx0, 128, size_t(std::max(0, cx1 - cx0)));
        std::memset(out.v + y * out.strideV + cx0, 128, size_t(std::max(0, cx1 - cx0)));
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const auto& g = *Glyph(text[i]);
        const int gx = x0 + static_cast<int>(1 + 4 * i) * scale;
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col) {
                if (!(g[static_cast<size_t>(row)] & (4 >> col))) continue;
                for (int yy = 0; yy < scale; ++yy) {
                    const int py = y0 + (1 + row) * scale + yy;
                    if (py >= y1) break;
                    const int px0 = gx + col * scale;
                    const int px1 = std::min(x1, px0 + scale);
                    if (px1 > px0)
                        std::memset(out.y + py * out.strideY + px0, 235, size_t(px1 - px0));
                }
            }
    }
}

} // namespace

void FisheyeTexturePoint(double angleFromAxisDeg, double azimuthDeg, double* u, double* v) {
    const double r = kLensRadius * std::sin(angleFromAxisDeg * kDeg / 2);
    *u = 0.5 + r * std::sin(azimuthDeg * kDeg);
    *v = 0.5 - r * std::cos(azimuthDeg * kDeg);
}

const std::vector<Landmark>& Landmarks() {
    static const std::vector<Landmark> kLandmarks = {
        {"ahead", 0, 8, -12, 20, 220, 40, 40},
        {"right", 90, 8, -12, 20, 40, 170, 70},
        {"behind", 180, 8, -12, 20, 40, 90, 220},
        {"left", 270, 8, -12, 20, 235, 205, 40},
    };
    return kLandmarks;
}

void RgbToYuv(uint8_t r, uint8_t g, uint8_t b, uint8_t* y, uint8_t* u, uint8_t* v) {
    const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
    *y = Clamp8(16 + 65.481 * R + 128.553 * G + 24.966 * B);
    *u = Clamp8(128 - 37.797 * R - 74.203 * G + 112.0 * B);
    *v = Clamp8(128 + 112.0 * R - 93.786 * G - 18.214 * B);
}

uint8_t RoadBase(int across) {
    uint8_t y, u, v;
    Rgb c = SurfaceColour(AcrossMetres(across));
    RgbToYuv(Clamp8(c.r), Clamp8(c.g), Clamp8(c.b), &y, &u, &v);
    return y;
}

const std::vector<int8_t>& RoadTexture() {
    static const std::vector<int8_t> texture = [] {
        // Value noise on a 32 x 32 lattice, periodic over the texture.
        Random random(20230525);
        std::array<double, 32 * 32> lattice;
        for (double& v : lattice)
            v = random.Uniform() * 2 - 1;
        std::vector<int8_t> t(256 * 256);
        for (int along = 0; along < 256; ++along) {
            for (int across = 0; across < 256; ++across) {
                const double fa = along / 8.0, fc = across / 8.0;
                const int a0 = static_cast<int>(fa), c0 = static_cast<int>(fc);
                const double ta = fa - a0, tc = fc - c0;
                auto at = [&](int a, int c) { return lattice[size_t((a & 31) * 32 + (c & 31))]; };
                const double n = (at(a0, c0) * (1 - ta) + at(a0 + 1, c0) * ta) * (1 - tc) +
                                 (at(a0, c0 + 1) * (1 - ta) + at(a0 + 1, c0 + 1) * ta) * tc;
                const double fine = random.Uniform() * 4 - 2;
                const double y = AcrossMetres(across);
                double dev;
                if (y >= kRoadLeft && y <= kRoadRight) {
                    dev = n * 8 + fine;
                    // Lane columns carry the marks only: their pixels keep full detail.
                    if (IsLaneColumn(across)) dev = 0;
                    const bool solid = NearLine(y, -1.775) || NearLine(y, 5.25);
                    const bool dashed = NearLine(y, 1.75) && along < 80; // 3.2 m of every 10.24 m
                    if (solid || dashed) dev = 118 + fine;
                } else {
                    dev = n * 5 + fine;
                    if (along % 25 == 0 || across % 12 == 0) dev -= 25; // paving joints
                }
                t[size_t(along * 256 + across)] =
                    static_cast<int8_t>(std::clamp(std::lround(dev), -127L, 127L));
            }
        }
        return t;
    }();
    return texture;
}

std::string FrameText(int frameNumber) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%05d", std::clamp(frameNumber, 0, 99999));
    return buf;
}

std::string TimeText(double movieSeconds) {
    const long ms = std::max(0L, std::lround(movieSeconds * 1000));
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld.%03ld", ms / 60000 % 100, ms / 1000 % 60,
                  ms % 1000);
    return buf;
}

ScenePlan::ScenePlan(Lens lens, int width, int height)
    : lens_(lens), width_(width), height_(height) {
    if (width < 32 || height < 16 || width % 2 || height % 2)
        throw std::invalid_argument("picture size must be even and at least 32 x 16");
    Build();
}

std::shared_ptr<const ScenePlan> ScenePlan::Get(Lens lens, int width, int height) {
    using Plan = std::shared_ptr<const ScenePlan>;
    static std::mutex mutex; // guards plans (not the building of one)
    static std::map<std::tuple<int, int, int>, std::shared_future<Plan>> plans;
    const auto key = std::make_tuple(static_cast<int>(lens), width, height);
    std::promise<Plan> promise;
    std::shared_future<Plan> existing;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = plans.find(key);
        if (it != plans.end())
            existing = it->second;
        else
            plans.emplace(key, promise.get_future().share());
    }
    // Built by another thread, or being built: wait outside the lock.
    if (existing.valid()) return existing.get();
    // The first caller builds; plans of other sizes are built at the same time.
    try {
        Plan plan = std::make_shared<const ScenePlan>(lens, width, height);
        promise.set_value(plan);
        return plan;
    } catch (...) {
        promise.set_exception(std::current_exception());
        throw;
    }
}

void ScenePlan::Build() {
    const int w = width_, h = height_;
    baseY_.assign(size_t(w) * h, 16);
    std::vector<double> accU(size_t(w / 2) * (h / 2), 0), accV(accU.size(), 0);
    RoadTexture(); // built before any thread renders
    // Road pixel index of every pixel (-1: not road) and its place along the
    // road, for the detail weights worked out after the pass.
    std::vector<int32_t> roadIndex(size_t(w) * h, -1);
    std::vector<float> roadX;
    std::vector<double> distanceWeight;

    for (int py = 0; py < h; ++py) {
        int spanStart = -1;
        auto closeSpan = [&](int x) {
            if (spanStart >= 0) {
                size_t first = roadAlong_.size() - size_t(x - spanStart);
                spans_.push_back({py, spanStart, x - spanStart, first});
                spanStart = -1;
            }
        };
        for (int px = 0; px < w; ++px) {
            Rgb colour{0, 0, 0}; // black outside the image circle
            bool outside = false, road = false;
            double groundX = 0, groundY = 0;
            bool below = false;
            double azimuth = 0, elevation = 0;
            if (lens_ == Lens::Fisheye) {
                const double du = (px + 0.5) / w - 0.5, dv = (py + 0.5) / h - 0.5;
                const double r = std::hypot(du, dv);
                if (r > kImageCircle) {
                    outside = true;
                } else {
                    const double a = 2 * std::asin(std::min(1.0, r / kLensRadius));
                    azimuth = std::atan2(du, -dv);
                    const double ca = std::cos(a), sa = std::sin(a);
                    if (ca > 1e-6) {
                        const double t = kFrontCameraHeight / ca;
                        groundX = t * sa * std::cos(azimuth);
                        groundY = t * sa * std::sin(azimuth);
                        below = true;
                    } else {
                        elevation = (a - kPi / 2) / kDeg;
                    }
                    azimuth /= kDeg;
                }
            } else {
                const double sx = ((px + 0.5) * 2.0 / w - 1) * std::tan(kRearHalfFov);
                const double sy = (1 - (py + 0.5) * 2.0 / h) * std::tan(kRearHalfFov) * h / w;
                // Forward, right and up of the rear camera in the car's frame
                // (x forward, y right, z up); picture right is the car's left.
                const double fx = -std::cos(kRearPitch), fz = -std::sin(kRearPitch);
                const double ux = -std::sin(kRearPitch), uz = std::cos(kRearPitch);
                const double dx = fx + sy * ux, dy = -sx, dz = fz + sy * uz;
                if (dz < -1e-6) {
                    const double t = kRearCameraHeight / -dz;
                    groundX = kRearCameraX + t * dx;
                    groundY = t * dy;
                    below = true;
                } else {
                    elevation = std::atan2(dz, std::hypot(dx, dy)) / kDeg;
                    azimuth = std::atan2(dy, dx) / kDeg;
                }
            }
            Rgb landmark;
            const bool fisheyeGround = !outside && below && lens_ == Lens::Fisheye;
            if (fisheyeGround &&
                LandmarkColour(azimuth,
                               -std::atan2(kFrontCameraHeight, std::hypot(groundX, groundY)) / kDeg,
                               &landmark)) {
                colour = landmark;
            } else if (!outside) {
                if (below && lens_ == Lens::Fisheye && groundX > -3.0 && groundX < 1.4 &&
                    std::fabs(groundY) < 0.85) {
                    // The car itself: hood ahead of the windscreen, dashboard, cabin.
                    if (groundX > 0.25)
                        colour = {42, 52, 74};
                    else if (groundX > 0.0)
                        colour = {58, 58, 62};
                    else
                        colour = {30, 30, 33};
                } else if (below) {
                    const double rho =
                        std::hypot(groundX - (lens_ == Lens::Rear ? kRearCameraX : 0), groundY);
                    const double haze = std::clamp((rho - 20) / 80, 0.0, 1.0);
                    colour = Mix(SurfaceColour(groundY), kHaze, haze);
                    road = true;
                    const int across = static_cast<int>(std::clamp(
                        std::floor((groundY - kAcrossOrigin) / kAcrossTexel), 0.0, 255.0));
                    const long along = static_cast<long>(std::floor(groundX / kAlongTexel));
                    roadIndex[size_t(py) * w + px] = static_cast<int32_t>(roadAlong_.size());
                    roadX.push_back(static_cast<float>(groundX));
                    distanceWeight.push_back(std::clamp(1 - (rho - 12) / 33, 0.0, 1.0));
                    roadAlong_.push_back(static_cast<uint16_t>(along & 0xFFFF));
                    roadAcross_.push_back(static_cast<uint8_t>(across));
                } else {
                    colour = SkyColour(azimuth, elevation);
                }
            }
            if (road && spanStart < 0) spanStart = px;
            if (!road) closeSpan(px);
            uint8_t y, u, v;
            RgbToYuv(Clamp8(colour.r), Clamp8(colour.g), Clamp8(colour.b), &y, &u, &v);
            baseY_[size_t(py) * w + px] = y;
            const size_t c = size_t(py / 2) * (w / 2) + px / 2;
            accU[c] += u;
            accV[c] += v;
        }
        closeSpan(w);
    }
    // Detail weights. Where a pixel spans more than one texel along the road the
    // moving texture would alias into noise that changes every frame (nothing a
    // camera shows, and costly to encode): its detail fades with the square of
    // the texels it spans. Lane lines keep full detail up to the distance fade.
    roadWeight_.resize(roadAlong_.size());
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            const int32_t i = roadIndex[size_t(py) * w + px];
            if (i < 0) continue;
            double span = 0;
            for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                const int nx = px + dx, ny = py + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                const int32_t n = roadIndex[size_t(ny) * w + nx];
                if (n >= 0)
                    span = std::max(span, double(std::fabs(roadX[size_t(n)] - roadX[size_t(i)])));
            }
            const double texels = span / kAlongTexel;
            double weight = distanceWeight[size_t(i)];
            if (!IsLaneColumn(roadAcross_[size_t(i)]) && texels > 1) weight /= texels * texels;
            roadWeight_[size_t(i)] = static_cast<uint8_t>(std::lround(weight * 255));
        }

    baseU_.resize(accU.size());
    baseV_.resize(accV.size());
    for (size_t i = 0; i < accU.size(); ++i) {
        baseU_[i] = Clamp8(accU[i] / 4);
        baseV_[i] = Clamp8(accV[i] / 4);
    }

    // Text scale: as large as fits in a corner outside the image circle.
    const size_t chars = TimeText(0).size();
    textScale_ = 1;
    for (int s = std::max(1, h / 84); s >= 1; --s) {
        if (lens_ == Lens::Rear) {
            textScale_ = std::max(1, h / 120);
            break;
        }
        const double u = double(TextWidth(chars, s)) / w, v = 1 - double(TextHeight(s)) / h;
        if (std::hypot(u - 0.5, v - 0.5) > kImageCircle && TextWidth(chars, s) * 2 < w) {
            textScale_ = s;
            break;
        }
    }
}

void ScenePlan::Render(const PictureRef& out, double distanceM, int frameNumber,
                       double movieSeconds, bool frameCode) const {
    const int w = width_, h = height_;
    for (int y = 0; y < h; ++y)
        std::memcpy(out.y + y * out.strideY, baseY_.data() + size_t(y) * w, size_t(w));
    for (int y = 0; y < h / 2; ++y) {
        std::memcpy(out.u + y * out.strideU, baseU_.data() + size_t(y) * (w / 2), size_t(w / 2));
        std::memcpy(out.v + y * out.strideV, baseV_.data() + size_t(y) * (w / 2), size_t(w / 2));
    }
    const std::vector<int8_t>& texture = RoadTexture();
    const int offset = static_cast<int>(std::floor(distanceM / kAlongTexel)) & 0xFFFF;
    for (const Span& s : spans_) {
        uint8_t* row = out.y + s.row * out.strideY + s.x0;
        const uint16_t* along = roadAlong_.data() + s.first;
        const uint8_t* across = roadAcross_.data() + s.first;
        const uint8_t* weight = roadWeight_.data() + s.first;
        for (int i = 0; i < s.count; ++i) {
            const int dev = texture[size_t(((along[i] + offset) & 255) << 8 | across[i])];
            const int y = row[i] + ((dev * weight[i]) >> 8);
            row[i] = static_cast<uint8_t>(y < 16 ? 16 : (y > 235 ? 235 : y));
        }
    }
    if (frameCode) {
        kframecode::DrawFrameCode(out.y, w, h, out.strideY, frameNumber);
        const int strip = kframecode::StripRows(h);
        for (int y = 0; y < (strip + 1) / 2 && y < h / 2; ++y) {
            std::memset(out.u + y * out.strideU, 128, size_t(w / 2));
            std::memset(out.v + y * out.strideV, 128, size_t(w / 2));
        }
    }
    DrawText(out, frameNumber, movieSeconds);
}

void ScenePlan::DrawText(const PictureRef& out, int frameNumber, double movieSeconds) const {
    const std::string frame = FrameText(frameNumber), time = TimeText(movieSeconds);
    const int s = textScale_;
    const int y0 = height_ - TextHeight(s);
    DrawTextBox(out, width_, height_, 0, y0, frame, s);
    DrawTextBox(out, width_, height_, width_ - TextWidth(time.size(), s), y0, time, s);
}

} // namespace mkcard
