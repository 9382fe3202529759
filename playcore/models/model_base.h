#pragma once
// CModelBase: what the five display models share. A model is a textured mesh
// plus a camera (view and projection) that drags, zoom and flip move. The mesh
// and the matrices are computed here without a graphics device; the presenter
// uploads them and draws the indexed triangle list with the frame's colour
// texture (linear filtering, clamp addressing, no culling, depth test).
//
// Texture coordinates (u, v) run 0..1 across the frame, v downwards; the image
// circle of the fisheye lens is centred on (0.5, 0.5).
//
// Not thread-safe: the owner (CSphereModel) guards every model with its model lock.

#include <cstdint>
#include <vector>

#include "playcore/models/view_math.h"

namespace playcore {

// One mesh vertex, 32 bytes: "POSITION", "NORMAL", "TEXCOORD".
struct Vertex {
    float position[3];
    float normal[3];
    float texcoord[2];
};
static_assert(sizeof(Vertex) == 32);

// Destination rectangle of the picture in the window, pixels, y downwards.
struct VideoRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const VideoRect&) const = default;
};

// Drawing area in window pixels (x, y of the top-left corner, y downwards) and depth range.
struct Viewport {
    float x = 0, y = 0, width = 0, height = 0, minDepth = 0, maxDepth = 1;
};

// The vertex shader's "ConstantBuffer": "world", "view", "projection", each
// stored transposed (column-major), as the shader reads them.
struct ShaderConstants {
    Mat4 world, view, projection;
};
static_assert(sizeof(ShaderConstants) == 192);

class CModelBase {
public:
    CModelBase() = default;
    CModelBase(const CModelBase&) = delete;
    CModelBase& operator=(const CModelBase&) = delete;
    virtual ~CModelBase();

    // Builds the vertex buffer; the flat models shape it for the client size.
    virtual void BuildVertices() = 0;
    // Builds the index buffer (16-bit indices, triangle list).
    virtual void BuildIndices() = 0;
    // Sets the viewport for the client rectangle; the sphere also takes the
    // client's width / height as its aspect.
    virtual void Resize();
    // World, view and projection, transposed for the constant buffer.
    ShaderConstants UpdateConstants() const;
    // Viewport = the destination rectangle when one is set, else the client rectangle.
    void SetViewport();
    // Drops the mesh; parameters are kept.
    void Release();
    // Release, remember the client size, build vertices and indices, resize.
    void Init(int clientWidth, int clientHeight);

    virtual Mat4 World() const { return Mat4::Identity(); }
    virtual Mat4 View() const = 0;
    virtual Mat4 Projection() const = 0;
    // A pointer drag of (dx, dy) window fractions at zoom factor `scale`.
    // False when the view did not change because the move was refused.
    virtual bool Drag(float dx, float dy, float scale) = 0;
    // Turns the model to the other mounting direction; twice restores it.
    virtual void Flip() = 0;

    bool IsInitialised() const { return initialised_; }
    const std::vector<Vertex>& Vertices() const { return vertices_; }
    const std::vector<uint16_t>& Indices() const { return indices_; }
    // Changes whenever the mesh is rebuilt, unique across models, so that an
    // uploaded copy can tell that it is stale.
    uint64_t MeshGeneration() const { return meshGeneration_; }
    float Aspect() const { return aspect_; }
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    const Viewport& GetViewport() const { return viewport_; }

    void SetVideoRect(const VideoRect& rect);
    const VideoRect& GetVideoRect() const { return destRect_; }

protected:
    // Starts a new mesh; call before filling vertices_ / indices_.
    void NewMesh();

    float aspect_ = 1.0f;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    std::vector<Vertex> vertices_;
    std::vector<uint16_t> indices_;
    VideoRect destRect_;
    Viewport viewport_;
    uint64_t meshGeneration_ = 0;
    bool initialised_ = false;
};

// Per-quad triangles of the grid meshes: (0, 3, 1) and (0, 2, 3) of the quad's
// four vertices, appended for the quad whose first vertex is `base`.
void AppendQuadIndices(std::vector<uint16_t>& indices, unsigned base);

} // namespace playcore
