#pragma once
// The four flat display models. Each looks along +z at a mesh in the z = 0
// plane with a 84-degree (divided by zoom) field of view and aspect 1; the
// window's shape is met by shaping the mesh when it is built.
//   RawNormal  the whole frame on a square of the window's shorter side
//   RawPlain   the whole frame at 16:9
//   Divide     two half-panoramas, one above the other
//   WideScreen a 360-degree panorama strip that scrolls round

#include "playcore/models/model_base.h"

namespace playcore {

struct FlatParams {
    float upY = 0.1f; // sign turns the picture upside down (RawPlain keeps it)
    float eyeZ = -1.1f;
    float zoom = 1.0f;
    float panX = 0;
    float panY = 0;
    bool operator==(const FlatParams&) const = default;
};

struct WideParams {
    float position = 1.0f; // scroll position; the camera sits at x = (position + panX) * 2
    float upY = 0.1f;
    float eyeZ = -1.1f;
    float prevZoom = 0; // zoom of the previous drag
    float zoom = 1.0f;
    float panX = 0;
    float panY = 0;
    bool operator==(const WideParams&) const = default;
};

// Pan factors of the drags (pan units per window fraction).
inline constexpr float kPan3Pi = 9.424778f;    // 3 pi
inline constexpr float kPan419Pi = 13.163274f; // 4.19 pi
inline constexpr float kPan45Pi = 14.137167f;  // 4.5 pi
inline constexpr float kPan2Pi = 6.2831855f;   // 2 pi

// Projection shared by the flat models: 84 degrees / zoom, aspect 1, near 0.1, far 10.
Mat4 FlatProjection(float zoom, float aspect);

class RawNormal : public CModelBase {
public:
    void BuildVertices() override;
    void BuildIndices() override;
    Mat4 View() const override;
    Mat4 Projection() const override { return FlatProjection(params_.zoom, aspect_); }
    bool Drag(float dx, float dy, float scale) override;
    void Flip() override { params_.upY = -params_.upY; }

    const FlatParams& Params() const { return params_; }
    void SetParams(const FlatParams& p) { params_ = p; }

protected:
    FlatParams params_;
};

class RawPlain : public RawNormal {
public:
    static constexpr float kWide = 1.777f; // width / height of the band
    void BuildVertices() override;
    bool Drag(float dx, float dy, float scale) override;
    // The mirror image: the eye goes to the other side of the picture.
    void Flip() override { params_.eyeZ = -params_.eyeZ; }
};

class Divide : public CModelBase {
public:
    static constexpr int kGrid = 64;                           // quads per side of a panel
    static constexpr int kVertexCount = 2 * kGrid * kGrid * 4; // 32768
    static constexpr int kIndexCount = 2 * kGrid * kGrid * 6;  // 49152

    void BuildVertices() override;
    void BuildIndices() override;
    Mat4 View() const override;
    Mat4 Projection() const override { return FlatProjection(params_.zoom, aspect_); }
    bool Drag(float dx, float dy, float scale) override;
    void Flip() override { params_.upY = -params_.upY; }

    const FlatParams& Params() const { return params_; }
    void SetParams(const FlatParams& p) { params_ = p; }

private:
    FlatParams params_;
};

class WideScreen : public CModelBase {
public:
    static constexpr int kGrid = 64;
    static constexpr int kPanels = 4;
    static constexpr int kVertexCount = kPanels * kGrid * kGrid * 4; // 65536
    static constexpr int kIndexCount = kPanels * kGrid * kGrid * 6;  // 98304

    void BuildVertices() override;
    void BuildIndices() override;
    Mat4 View() const override;
    Mat4 Projection() const override { return FlatProjection(params_.zoom, aspect_); }
    bool Drag(float dx, float dy, float scale) override;
    void Flip() override { params_.upY = -params_.upY; }

    const WideParams& Params() const { return params_; }
    void SetParams(const WideParams& p) { params_ = p; }

private:
    WideParams params_;
};

} // namespace playcore
