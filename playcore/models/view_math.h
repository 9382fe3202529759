#pragma once
// Vectors, 4 x 4 matrices and quaternions for the display models. Matrices are
// row-major and act on row vectors (v' = v * M), the convention of a
// left-handed camera: translation sits in the last row.

#include <array>

namespace playcore {

inline constexpr double kPi = 3.14159265358979323846;

struct Float3 {
    float x = 0, y = 0, z = 0;
};

struct Mat4 {
    // m[row][column]
    std::array<std::array<float, 4>, 4> m{};

    static Mat4 Identity();
    Mat4 operator*(const Mat4& rhs) const;
    Mat4 Transposed() const;
    bool operator==(const Mat4&) const = default;
};

// Row vector (x, y, z, w) times matrix.
std::array<float, 4> Transform(const std::array<float, 4>& v, const Mat4& m);

// Left-handed look-at: z axis from eye to focus, x axis = up x z, y axis = z x x.
Mat4 LookAtLH(Float3 eye, Float3 focus, Float3 up);

// Left-handed perspective: y scale = cot(fovY / 2), x scale = y scale / aspect,
// depth mapped to 0 (near) .. 1 (far). fovY in radians.
Mat4 PerspectiveFovLH(float fovY, float aspect, float nearZ, float farZ);

// Quaternion (w, x, y, z) in doubles, as the sphere keeps its orientation.
struct Quat {
    double w = 1, x = 0, y = 0, z = 0;
    bool operator==(const Quat&) const = default;
};

// Hamilton product a * b.
Quat operator*(const Quat& a, const Quat& b);

using DMat4 = std::array<std::array<double, 4>, 4>;

DMat4 DIdentity();
// Rotation matrix of a unit quaternion (row-vector convention).
DMat4 RotationFromQuat(const Quat& q);
Mat4 ToFloat(const DMat4& d);

} // namespace playcore
