#include "playcore/session/session_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace playcore {

namespace {

// Frame counts and rectangle edges beyond these are not real movies or
// windows; arithmetic that would leave them fails instead of overflowing.
constexpr double kMaxFrames = 1e15;
constexpr double kMaxPixels = 1e9;

bool UsableDuration(float ms) {
    return std::isfinite(ms) && ms > 0.0f;
}

// Truncation towards zero that fails outside ±kMaxPixels (and for NaN).
bool TruncPixels(double v, int* out) {
    if (!(std::fabs(v) < kMaxPixels)) return false;
    *out = static_cast<int>(std::trunc(v));
    return true;
}

} // namespace

SpeedSetting ApplySpeedStep(int requested, SpeedStep current, bool canPlayBackwards) {
    SpeedSetting s;
    s.step = static_cast<SpeedStep>(requested);
    switch (requested) {
    case kSpeedQuadruple:
        s.rate = 4.0f;
        break;
    case kSpeedDouble:
        s.rate = 2.0f;
        break;
    case kSpeedNormal:
        s.rate = 1.0f;
        break;
    case kSpeedHalf:
        s.rate = canPlayBackwards ? -2.0f : 0.5f;
        break;
    case kSpeedQuarter:
        s.rate = canPlayBackwards ? -4.0f : 0.25f;
        break;
    case kSpeedBackward:
        if (canPlayBackwards) {
            s.rate = -1.0f;
        } else if (current == kSpeedHalf) {
            // Slow pressed at x0.5 on a player that only plays forwards: back to x1.0.
            s.step = kSpeedNormal;
            s.rate = 1.0f;
        } else if (current == kSpeedNormal) {
            s.step = kSpeedHalf;
            s.rate = 0.5f;
        } else {
            s.rate = 1.0f;
        }
        break;
    default:
        s.rate = 1.0f; // the step is kept as given
        break;
    }
    s.audible = s.step == kSpeedNormal;
    s.thin = s.rate >= 2.0f;
    return s;
}

SpeedStep NextSpeedStep(EngineState state, SpeedStep current, bool faster, bool canPlayBackwards,
                        bool fallbackRenderers) {
    if (state != kEnginePlaying) return kSpeedNormal;
    if (faster) {
        switch (current) {
        case kSpeedQuadruple:
        case kSpeedDouble:
            return kSpeedQuadruple;
        case kSpeedNormal:
            return kSpeedDouble;
        case kSpeedBackward:
            return kSpeedNormal;
        case kSpeedHalf:
            return canPlayBackwards ? kSpeedBackward : kSpeedNormal;
        case kSpeedQuarter:
            return kSpeedHalf;
        default:
            return kSpeedNormal;
        }
    }
    switch (current) {
    case kSpeedQuadruple:
        return kSpeedDouble;
    case kSpeedDouble:
        return kSpeedNormal;
    case kSpeedNormal:
        return kSpeedBackward; // SetSpeed makes x0.5 of it without backward play
    case kSpeedBackward:
        return kSpeedHalf;
    case kSpeedHalf:
        return fallbackRenderers ? kSpeedQuarter : kSpeedHalf;
    case kSpeedQuarter:
        return fallbackRenderers ? kSpeedQuarter : kSpeedNormal;
    default:
        return kSpeedNormal;
    }
}

int64_t FramesOfTime(MediaTime time, float frameDurationMs) {
    if (time < 0 || !UsableDuration(frameDurationMs)) return -1;
    const double frames = static_cast<double>(time) / (double(frameDurationMs) * 10000.0);
    if (!(frames < kMaxFrames)) return -1;
    return static_cast<int64_t>(frames);
}

int64_t LengthInFrames(MediaTime duration, float frameDurationMs) {
    if (duration <= 0) return 0;
    return std::max<int64_t>(FramesOfTime(duration, frameDurationMs), 0);
}

MediaTime TimeOfFrame(int64_t frame, float frameDurationMs) {
    if (frame <= 0 || !UsableDuration(frameDurationMs)) return 0;
    const double t = static_cast<double>(frame) * double(frameDurationMs) * 10000.0;
    if (!(t < 9e18)) return static_cast<MediaTime>(9e18);
    return static_cast<MediaTime>(t);
}

double RearFrameScale(float d0, float d1, bool bothOpened) {
    if (!bothOpened || !UsableDuration(d0) || !UsableDuration(d1)) return 1.0;
    return double(d0) / double(d1);
}

int64_t RearLengthInFrontFrames(int64_t l1, float d0, float d1, bool bothOpened) {
    double ratio = 1.0;
    if (bothOpened && UsableDuration(d1) && UsableDuration(d0)) ratio = double(d1) / double(d0);
    const double scaled = std::floor(static_cast<double>(l1) * ratio);
    if (!(std::fabs(scaled) < kMaxFrames)) return l1;
    return static_cast<int64_t>(scaled);
}

SeekStep PlanSeekBoth(int64_t scaled, int64_t length, bool forward, int64_t position) {
    SeekStep s;
    if (scaled + kSeekEndMargin < length) {
        s.frame = scaled;
        return s;
    }
    s.nearEnd = true;
    s.frame = std::max<int64_t>(length - kSeekEndMargin, 0);
    // The forward seek never takes an engine back.
    if (forward && s.frame <= position) s.move = false;
    return s;
}

PairPlayPlan PlanPairPlay(const PairPlayInput& in) {
    PairPlayPlan plan;
    // The shorter-movie rule compares two movies; with one of them missing
    // there is nothing to hold back.
    if (!in.opened[0] || !in.opened[1]) return plan;
    const float d0 = in.frameDurationMs[0], d1 = in.frameDurationMs[1];
    // Both engines in engine-0 frames, lengths and positions alike.
    const std::array<int64_t, 2> length{in.length[0],
                                        RearLengthInFrontFrames(in.length[1], d0, d1, true)};
    const std::array<int64_t, 2> position{
        in.position[0], in.position[1] < 0 ? in.position[1]
                                           : RearLengthInFrontFrames(in.position[1], d0, d1, true)};
    const int64_t longest = std::max(length[0], length[1]);
    const int64_t diff = std::llabs(length[0] - length[1]);
    if (diff <= kPlayLengthDifference) return plan;
    for (size_t k = 0; k < 2; ++k) {
        const bool shorter = std::llabs(length[k] - longest + diff) < kPlayShorterTolerance;
        plan.hold[k] = shorter && position[k] + kPlayNearEnd >= length[k];
    }
    return plan;
}

bool PlaceCamera(const PlacementRect& client, const CameraPlacement& p, int videoWidth,
                 int videoHeight, PlacementRect* out) {
    const int w = client.Width(), h = client.Height();
    if (!std::isfinite(p.zoom) || p.zoom == 0.0f || w <= 0 || h <= 0) return false;
    if (!std::isfinite(p.focusX) || !std::isfinite(p.focusY)) return false;
    const double k = double(p.zoom) - 1.0;
    const double fx = p.focusX, fy = p.focusY;
    PlacementRect r = client;
    int grow = 0;
    // Zoom about the focus point: each side moves by its share of the growth.
    if (!TruncPixels((1.0 - fx / w) * w * k, &grow)) return false;
    r.right += grow;
    if (!TruncPixels(fx / w * w * k, &grow)) return false;
    r.left -= grow;
    if (r.right < r.left) return false;
    if (!TruncPixels(fy / h * h * k, &grow)) return false;
    r.top -= grow;
    if (!TruncPixels((1.0 - fy / h) * h * k, &grow)) return false;
    r.bottom += grow;
    if (r.bottom < r.top) return false;
    r.left += p.offsetX;
    r.right += p.offsetX;
    r.top += p.offsetY;
    r.bottom += p.offsetY;

    if (p.fitMode == 1 && videoWidth > 0 && videoHeight > 0) {
        const double a = double(videoWidth) / double(videoHeight);
        const double clientAspect = double(w) / double(h);
        const int rw = r.Width(), rh = r.Height();
        int fw = rw, fh = rh;
        if (clientAspect > a) {
            if (!TruncPixels(rh * a, &fw)) return false;
        } else {
            if (!TruncPixels(rw / a, &fh)) return false;
        }
        PlacementRect fit;
        fit.left = r.left + (rw - fw) / 2;
        fit.top = r.top + (rh - fh) / 2;
        fit.right = fit.left + fw + 2;
        fit.bottom = fit.top + fh + 2;
        r = fit;
    }
    *out = r;
    return true;
}

EngineCamera RouteCamera(int cam, bool combinedFile, int master) {
    if (cam < kCamFront || cam > kCamBoth) return {};
    if (combinedFile) return {0, cam == kCamBoth ? 0 : cam};
    if (cam == kCamBoth) return {master == 1 ? 1 : 0, 0};
    return {cam, 0};
}

int MasterEngine(bool combinedFile, std::array<bool, 2> telemetryMaster,
                 std::array<bool, 2> opened) {
    if (combinedFile || telemetryMaster[0]) return 0;
    if (telemetryMaster[1]) return 1;
    // Before the telemetry is loaded: the engine that holds a movie.
    if (opened[0]) return 0;
    return 1;
}

std::array<bool, 2> StreamsShown(int cam) {
    if (cam == kCamFront) return {true, false};
    if (cam == kCamRear) return {false, true};
    return {true, true};
}

std::array<int, 2> RouteVolume(int cam, int volume, bool combinedFile, int master) {
    if (cam < kCamFront || cam > kCamBoth) return {-1, -1};
    if (combinedFile) return {volume, -1};
    if (cam == kCamFront) return {volume, 0};
    if (cam == kCamRear) return {0, volume};
    if (master == 0) return {volume, 0};
    return {-1, volume};
}

int OpenGate(int probeResult, float durationS, float frameDurationMs) {
    if (probeResult == 2) return 2;
    if (!UsableDuration(frameDurationMs)) return 0;
    if (durationS > 1.5f || frameDurationMs == 15.0f) return 1;
    return 0;
}

bool StillsSaved(std::array<bool, 2> asked, std::array<bool, 2> opened,
                 std::array<bool, 2> written) {
    for (size_t c = 0; c < 2; ++c)
        if (asked[c] && opened[c] && !written[c]) return false;
    // Asked for stills and wrote none: nothing was saved.
    if ((asked[0] || asked[1]) && !written[0] && !written[1]) return false;
    return true;
}

} // namespace playcore
