#include "playcore/models/flat_models.h"

#include <cmath>

namespace playcore {

namespace {

float Sign(float upY) {
    return upY > 0 ? 1.0f : -1.0f;
}

Vertex MakeVertex(float x, float y, float u, float v) {
    return Vertex{{x, y, 0}, {x, y, 0}, {u, v}};
}

// The frame on the quad -1..1, uv (0, 0) at the top left.
void BuildQuad(std::vector<Vertex>& out, float sx, float sy) {
    out.push_back(MakeVertex(-sx, -sy, 0, 1));
    out.push_back(MakeVertex(-sx, sy, 0, 0));
    out.push_back(MakeVertex(sx, -sy, 1, 1));
    out.push_back(MakeVertex(sx, sy, 1, 0));
}

} // namespace

Mat4 FlatProjection(float zoom, float aspect) {
    const float fov = static_cast<float>(84.0 * kPi / 180.0) / zoom;
    return PerspectiveFovLH(fov, aspect, 0.1f, 10.0f);
}

// ---- RawNormal -------------------------------------------------------------

void RawNormal::BuildVertices() {
    const float w = static_cast<float>(clientWidth_), h = static_cast<float>(clientHeight_);
    float sx = 1, sy = 1;
    if (w > 0 && h > 0) {
        if (w > h)
            sx = h / w;
        else
            sy = w / h;
    }
    BuildQuad(vertices_, sx, sy);
}

void RawNormal::BuildIndices() {
    AppendQuadIndices(indices_, 0);
}

Mat4 RawNormal::View() const {
    return LookAtLH({params_.panX, params_.panY, params_.eyeZ}, {params_.panX, params_.panY, 0},
                    {0, params_.upY, 0});
}

bool RawNormal::Drag(float dx, float dy, float scale) {
    const float s = Sign(params_.upY);
    params_.zoom = scale;
    if (scale != 1.0f) {
        params_.panX -= s * dx * kPan419Pi;
        params_.panY += s * dy * kPan419Pi;
    } else {
        params_.panX = params_.panY = 0;
    }
    return true;
}

// ---- RawPlain --------------------------------------------------------------

void RawPlain::BuildVertices() {
    const float w = static_cast<float>(clientWidth_), h = static_cast<float>(clientHeight_);
    const float a = h * kWide;
    float sx = 1, sy = 1;
    if (w > 0 && h > 0) {
        if (w > a)
            sx = a / w;
        else
            sy = w / a;
    }
    BuildQuad(vertices_, sx, sy);
}

bool RawPlain::Drag(float dx, float dy, float scale) {
    // The flip moves the eye, not upY, so the pan direction never turns here.
    const float s = Sign(params_.upY);
    params_.zoom = scale;
    if (scale != 1.0f) {
        params_.panX -= s * dx * kPan45Pi;
        params_.panY += s * dy * kPan45Pi;
    } else {
        params_.panX = params_.panY = 0;
    }
    return true;
}

// ---- Divide ----------------------------------------------------------------

void Divide::BuildVertices() {
    vertices_.reserve(kVertexCount);
    const double n = kGrid;
    for (int p = 0; p < 2; ++p)
        for (int j = 0; j < kGrid; ++j)
            for (int k = 0; k < kGrid; ++k) {
                const double x0 = k / n, x1 = (k + 1) / n;
                const double y0 = j / n + (p - 1), y1 = (j + 1) / n + (p - 1);
                const double corners[4][2] = {{x0, y0}, {x0, y1}, {x1, y0}, {x1, y1}};
                for (const auto& c : corners) {
                    const double x = c[0], y = c[1];
                    // Panel 0 runs from the image's right edge through the bottom to
                    // the left edge, panel 1 through the top; rows go outwards from
                    // radius 0.2211 to 0.4840.
                    double a = x * kPi + 3 * kPi / 2;
                    double b = y * kPi + kPi / 2;
                    if (p == 1) {
                        a += kPi;
                        b -= kPi;
                    }
                    const double r = std::sqrt(2 * (std::sin(b / 2) + 1.08));
                    const float px = static_cast<float>(1.98 * x - 0.49);
                    vertices_.push_back(
                        MakeVertex(px, static_cast<float>(y),
                                   static_cast<float>(0.5 - 0.256 * r * std::sin(a)),
                                   static_cast<float>(0.5 + 0.256 * r * std::cos(a))));
                }
            }
}

void Divide::BuildIndices() {
    indices_.reserve(kIndexCount);
    for (unsigned q = 0; q < kVertexCount / 4; ++q)
        AppendQuadIndices(indices_, q * 4);
}

Mat4 Divide::View() const {
    const float x = params_.panX + 0.5f;
    return LookAtLH({x, params_.panY, params_.eyeZ}, {x, params_.panY, 0}, {0, params_.upY, 0});
}

bool Divide::Drag(float dx, float dy, float scale) {
    const float s = Sign(params_.upY);
    params_.zoom = scale;
    if (scale != 1.0f) {
        params_.panX -= s * dx * kPan3Pi;
        params_.panY += s * dy * kPan419Pi;
    } else {
        params_.panX = params_.panY = 0;
    }
    return true;
}

// ---- WideScreen ------------------------------------------------------------

void WideScreen::BuildVertices() {
    vertices_.reserve(kVertexCount);
    const double n = kGrid;
    for (int panel = 0; panel < kPanels; ++panel) {
        const double f = (4 * panel - 1) * 0.5;
        for (int g = 0; g < kGrid; ++g)
            for (int j = 0; j < kGrid; ++j) {
                const double c0 = j / n, c1 = (j + 1) / n;
                const double t0 = g / n, t1 = (g + 1) / n;
                const double corners[4][2] = {{c0, t0}, {c0, t1}, {c1, t0}, {c1, t1}};
                for (const auto& cr : corners) {
                    const double c = cr[0], t = cr[1];
                    // Each panel goes once round the circle (column = azimuth); the
                    // bottom row is the image centre, the top row radius 0.4950.
                    const double s = std::sqrt(2 * (std::sin((t - 1) * kPi / 2) + 1));
                    const double beta = -(c * 2 * kPi + kPi / 2);
                    vertices_.push_back(
                        MakeVertex(static_cast<float>(2 * c + f), static_cast<float>(2 * t - 1),
                                   static_cast<float>(0.5 + 0.35 * s * std::sin(beta)),
                                   static_cast<float>(0.5 + 0.35 * s * std::cos(beta))));
                }
            }
    }
}

void WideScreen::BuildIndices() {
    indices_.reserve(kIndexCount);
    for (unsigned q = 0; q < kVertexCount / 4; ++q)
        AppendQuadIndices(indices_, q * 4);
}

Mat4 WideScreen::View() const {
    const float x = (params_.position + params_.panX) * 2;
    return LookAtLH({x, params_.panY, params_.eyeZ}, {x, params_.panY, 0}, {0, params_.upY, 0});
}

bool WideScreen::Drag(float dx, float dy, float scale) {
    const float s = Sign(params_.upY);
    params_.zoom = scale;
    const float b = s * dx;
    if (scale == params_.prevZoom) {
        params_.position -= 2 * b;
    } else if (scale != 1.0f) {
        params_.panY += s * dy * kPan45Pi;
        params_.panX -= b * kPan2Pi;
    } else {
        params_.panX = params_.panY = 0;
    }
    // Past either end the view jumps by one whole turn, which looks the same.
    if (b >= 0 && params_.position < 1) params_.position = 2;
    if (b < 0 && params_.position > 3) params_.position = 2;
    params_.prevZoom = scale;
    return true;
}

} // namespace playcore
