#include "playcore/models/view_math.h"

#include <cmath>

namespace playcore {

namespace {

Float3 Sub(Float3 a, Float3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float Dot(Float3 a, Float3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Float3 Cross(Float3 a, Float3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Float3 Normalize(Float3 a) {
    float len = std::sqrt(Dot(a, a));
    if (len == 0) return a;
    return {a.x / len, a.y / len, a.z / len};
}

} // namespace

Mat4 Mat4::Identity() {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        r.m[i][i] = 1;
    return r;
}

Mat4 Mat4::operator*(const Mat4& rhs) const {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += m[i][k] * rhs.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Mat4 Mat4::Transposed() const {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m[j][i];
    return r;
}

std::array<float, 4> Transform(const std::array<float, 4>& v, const Mat4& m) {
    std::array<float, 4> r{};
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k)
            r[j] += v[k] * m.m[k][j];
    return r;
}

Mat4 LookAtLH(Float3 eye, Float3 focus, Float3 up) {
    Float3 z = Normalize(Sub(focus, eye));
    Float3 x = Normalize(Cross(up, z));
    Float3 y = Cross(z, x);
    Mat4 r;
    r.m[0] = {x.x, y.x, z.x, 0};
    r.m[1] = {x.y, y.y, z.y, 0};
    r.m[2] = {x.z, y.z, z.z, 0};
    r.m[3] = {-Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1};
    return r;
}

Mat4 PerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ) {
    float ys = 1.0f / std::tan(fovY * 0.5f);
    float xs = ys / aspect;
    float q = farZ / (farZ - nearZ);
    Mat4 r;
    r.m[0][0] = xs;
    r.m[1][1] = ys;
    r.m[2][2] = q;
    r.m[2][3] = 1;
    r.m[3][2] = -nearZ * q;
    return r;
}

Quat operator*(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

DMat4 DIdentity() {
    DMat4 r{};
    for (int i = 0; i < 4; ++i)
        r[i][i] = 1;
    return r;
}

DMat4 RotationFromQuat(const Quat& q) {
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    DMat4 r{};
    r[0] = {1 - 2 * y * y - 2 * z * z, 2 * x * y + 2 * w * z, 2 * x * z - 2 * w * y, 0};
    r[1] = {2 * x * y - 2 * w * z, 1 - 2 * x * x - 2 * z * z, 2 * y * z + 2 * w * x, 0};
    r[2] = {2 * x * z + 2 * w * y, 2 * y * z - 2 * w * x, 1 - 2 * x * x - 2 * y * y, 0};
    r[3] = {0, 0, 0, 1};
    return r;
}

Mat4 ToFloat(const DMat4& d) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = static_cast<float>(d[i][j]);
    return r;
}

} // namespace playcore
