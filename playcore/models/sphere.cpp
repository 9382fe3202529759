#include "playcore/models/sphere.h"

#include <cmath>
#include <cstdlib>

namespace playcore {

namespace {

constexpr double kRingStep = kPi / 48; // 0.06544985: polar and azimuth step
constexpr double kTexScale = 0.286;    // texture radius 0.572 sin(alpha / 2)
const double kLimitCos = std::cos(135.0 * kPi / 180.0);

// The drag pair (a, b) turned by `degrees`: (sin i b + cos i a, sin i a - cos i b).
void TurnPair(double a, double b, int degrees, double* p, double* r) {
    const double t = degrees * kPi / 180.0;
    *p = std::sin(t) * b + std::cos(t) * a;
    *r = std::sin(t) * a - std::cos(t) * b;
}

} // namespace

const std::array<Float3, 8> CSphere::kProbes = [] {
    const float h = static_cast<float>(std::sqrt(0.5));
    const float q = static_cast<float>(std::sqrt(0.75));
    return std::array<Float3, 8>{{{0.5f, h, 0.5f},
                                  {0.5f, h, -0.5f},
                                  {-0.5f, h, 0.5f},
                                  {-0.5f, h, -0.5f},
                                  {0.0f, q, 0.5f},
                                  {0.0f, q, -0.5f},
                                  {0.5f, q, 0.0f},
                                  {-0.5f, q, 0.0f}}};
}();

void CSphere::BuildVertices() {
    vertices_.reserve(kVertexCount);
    for (int b = 0; b < kRings; ++b) {
        const double theta = b * kRingStep;
        const double st = std::sin(theta), ct = std::cos(theta);
        for (int i = 0; i < kRingVertices; ++i) {
            const double phi = i * kRingStep;
            const double sp = std::sin(phi), cp = std::cos(phi);
            Vertex v{};
            v.position[0] = static_cast<float>(cp * st);
            v.position[1] = static_cast<float>(-ct);
            v.position[2] = static_cast<float>(-sp * st);
            for (int c = 0; c < 3; ++c)
                v.normal[c] = v.position[c];
            double u, w;
            if (b == 0) {
                // The pole opposite the image centre has no coordinate of its own;
                // the limit of the mapping, radius 0.572, lies outside the circle.
                u = 0.5 - 2 * kTexScale * cp;
                w = 0.5 + 2 * kTexScale * sp;
            } else {
                const double k = std::sqrt(2 * (ct + 1) / (st * st));
                u = 0.5 - kTexScale * k * cp * st;
                w = 0.5 + kTexScale * k * sp * st;
            }
            v.texcoord[0] = static_cast<float>(u);
            v.texcoord[1] = static_cast<float>(w);
            vertices_.push_back(v);
        }
    }
}

void CSphere::BuildIndices() {
    indices_.reserve(kIndexCount);
    auto push = [this](int a, int b, int c) {
        indices_.push_back(static_cast<uint16_t>(a));
        indices_.push_back(static_cast<uint16_t>(b));
        indices_.push_back(static_cast<uint16_t>(c));
    };
    // The fan from ring 0 (one point) to ring 1.
    for (int i = 0; i < kRingVertices - 1; ++i)
        push(i, i + 98, i + 97);
    // Bands between ring a and ring a + 1.
    for (int a = 1; a < kRings - 1; ++a)
        for (int j = 0; j < kRingVertices - 1; ++j) {
            const int s = a * kRingVertices + j;
            push(s, s + 1, s + 97);
            push(s + 1, s + 98, s + 97);
        }
}

void CSphere::Resize() {
    if (clientWidth_ > 0 && clientHeight_ > 0)
        aspect_ = static_cast<float>(clientWidth_) / static_cast<float>(clientHeight_);
    params_.orientation.rotation = RotationFromQuat(params_.orientation.q);
    CModelBase::Resize();
}

void CSphere::SetAspect(float aspect) {
    if (aspect > 0 && std::isfinite(aspect)) aspect_ = aspect;
}

Mat4 CSphere::World() const {
    return ToFloat(params_.orientation.rotation);
}

Mat4 CSphere::View() const {
    return LookAtLH({0, 0, -0.1f}, {0, 0, 0}, {0, -params_.upY, 0});
}

Mat4 CSphere::Projection() const {
    const float fov = static_cast<float>(60.0 * kPi / 180.0) / params_.zoom;
    return PerspectiveFovLH(fov, aspect_, 0.01f, 1000.0f);
}

void CSphere::ResetPose() {
    params_.orientation = SphereOrientation{};
}

void CSphere::ApplyTurn(SphereOrientation& o, double p, double r) {
    const double len = std::sqrt(p * p + r * r);
    if (len == 0) return;
    const double h = kPi * len;
    const Quat rho{std::cos(h), std::sin(h) * r / len, std::sin(h) * p / len, 0};
    o.q = rho * o.q0;
    o.rotation = RotationFromQuat(o.q);
}

double CSphere::LowestProbeZ(const DMat4& m) {
    double lowest = 2;
    for (const Float3& v : kProbes) {
        const double z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2];
        if (z < lowest) lowest = z;
    }
    return lowest;
}

bool CSphere::WithinLimit(const DMat4& m) {
    return LowestProbeZ(m) > kLimitCos;
}

bool CSphere::Drag(float dx, float dy, float scale) {
    if (params_.upY < 0) {
        dx = -dx;
        dy = -dy;
    }
    params_.zoom = scale;
    // Try every whole angle and keep the allowed direction nearest to the drag's own.
    int best = -1;
    int bestDistance = 181;
    for (int i = 0; i < 360; ++i) {
        double p, r;
        TurnPair(-dx, dy, i, &p, &r);
        SphereOrientation candidate = params_.orientation;
        ApplyTurn(candidate, p, r);
        if (!WithinLimit(candidate.rotation)) continue;
        const int distance = 180 - std::abs(i - 180);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    if (best < 0) return false;
    // A detour is shortened the further it leaves the drag's own direction. The
    // shortened turn is not tested again, so near the limit the view may pass
    // it by a fraction of a degree; the next drag's test brings it back.
    const double g = std::sqrt((180.0 - bestDistance) / 180.0);
    double p, r;
    TurnPair(-g * dx, g * dy, best, &p, &r);
    ApplyTurn(params_.orientation, p, r);
    params_.backup = params_.orientation;
    return true;
}

} // namespace playcore
