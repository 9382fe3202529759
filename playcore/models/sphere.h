#pragma once
// CSphere: the look-around view. The fisheye image is laid on the inside of a
// unit sphere (equisolid-angle mapping, lens axis at +y) and the camera sits
// near the centre; a drag turns the sphere, refusing turns that would carry
// the lens-axis region more than 135 degrees away from the viewing direction.

#include <array>

#include "playcore/models/model_base.h"

namespace playcore {

// The sphere's turn: q0 is where the current drag started, q the current
// orientation, rotation the world matrix made from q.
struct SphereOrientation {
    Quat q0;
    Quat q;
    DMat4 rotation = DIdentity();
};

struct SphereParams {
    float upY = 0.1f; // sign flips the picture
    float zoom = 1.0f;
    SphereOrientation orientation;
    SphereOrientation backup; // the state after the last accepted drag
};

class CSphere : public CModelBase {
public:
    static constexpr int kRings = 49;
    static constexpr int kRingVertices = 97;
    static constexpr int kVertexCount = kRings * kRingVertices; // 4753
    static constexpr int kIndexCount = 27360;
    // Unit vectors near +y that must stay within 135 degrees of the view (+z).
    static const std::array<Float3, 8> kProbes;

    void BuildVertices() override;
    void BuildIndices() override;
    void Resize() override;

    Mat4 World() const override;
    Mat4 View() const override;
    Mat4 Projection() const override;
    bool Drag(float dx, float dy, float scale) override;
    void Flip() override { params_.upY = -params_.upY; }

    // q0 <- q: the next drag starts from the current view.
    void Commit() { params_.orientation.q0 = params_.orientation.q; }
    // Both quaternions back to identity and the matrix rebuilt.
    void ResetPose();
    // Aspect ratio of the projection (width / height); ignored unless positive.
    void SetAspect(float aspect);

    const SphereParams& Params() const { return params_; }
    void SetParams(const SphereParams& p) { params_ = p; }

    // Applies the turn pair (p, r) to `o`: q = rho * q0 with rho the rotation by
    // 2 pi |(p, r)| about the axis (r, p, 0). A zero pair changes nothing.
    static void ApplyTurn(SphereOrientation& o, double p, double r);
    // The smallest z component of the probes turned by the matrix (row vectors).
    static double LowestProbeZ(const DMat4& rotation);
    // Whether every probe keeps a z component above cos 135 degrees.
    static bool WithinLimit(const DMat4& rotation);

private:
    SphereParams params_;
};

} // namespace playcore
