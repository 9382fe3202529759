#pragma once
// The GL objects of one presenter, OpenGL 3.3 core. The decoded frame's
// planes are uploaded as textures (Y as R8; the chroma as one RG8 texture of
// U,V pairs, read in place for NV12 and interleaved for I420; packed colour
// as RGB(A)8), and the current display model's mesh is drawn straight from
// them: the model's fragment shader samples the planes and converts YUV to
// colour (BT.601 video range, the integer rule of Bt601ToArgb) for each
// pixel of the target only. There is no intermediate colour picture of the
// frame's size, so a paint costs by the pixels of the movie area, not of the
// frame.
//
// Model drawing: uniform block "ConstantBuffer" ("world", "view",
// "projection"), sampler "mySampler" (linear, clamp) on every plane, no
// culling; the depth buffer is cleared but not tested (see Draw). Every call
// needs the owning context current on the calling thread.

#include <QImage>
#include <QOpenGLExtraFunctions>
#include <QSize>

#include <memory>
#include <unordered_map>
#include <vector>

#include "playcore/models/model_base.h"
#include "playcore/models/video_frame.h"

class QOpenGLShaderProgram;

namespace playcore {

class GlPipeline : protected QOpenGLExtraFunctions {
public:
    GlPipeline();
    ~GlPipeline();
    GlPipeline(const GlPipeline&) = delete;
    GlPipeline& operator=(const GlPipeline&) = delete;

    // Compiles the shaders and makes the fixed objects. False when the current
    // context cannot run them.
    bool Create();
    // Frees every GL object.
    void Destroy();

    // Uploads the frame's planes. False for an invalid frame or a failed
    // upload (nothing is drawn until the next good frame).
    bool UploadFrame(const VideoFrame& frame);
    bool HasPicture() const { return layout_ != Layout::None; }
    QSize PictureSize() const { return pictureSize_; }
    // The uploaded picture converted pixel by pixel with the models' colour
    // rule, top row first; null without a picture. A check of the conversion:
    // it draws into a framebuffer of the frame's size, so it is not for the
    // paint path.
    QImage ReadPicture();

    // Clears the target (black, depth 1) and, when `model` is given and a
    // picture exists, draws the model with it. `target` is the framebuffer
    // object to draw into, `size` its size in pixels.
    void Draw(const CModelBase* model, unsigned target, QSize size);

private:
    // How the picture's planes are laid out; one shader program each, as a
    // branch on a uniform costs a software rasteriser more than the
    // conversion itself.
    enum class Layout { Planar = 0, SemiPlanar = 1, Packed = 2, None = 3 };
    static constexpr int kLayouts = 3;

    struct ModelBuffers {
        unsigned vao = 0, vbo = 0, ibo = 0;
        uint64_t generation = 0;
        int indexCount = 0;
    };
    struct PlaneTexture {
        unsigned id = 0;
        int width = 0, height = 0;
        int internalFormat = 0;
    };

    bool UploadPlane(int index, int internalFormat, unsigned format, int width, int height,
                     const uint8_t* data, int stride, int bytesPerPixel);
    ModelBuffers& BuffersFor(const CModelBase& model);
    void BindPlanes();

    std::unique_ptr<QOpenGLShaderProgram> modelPrograms_[kLayouts];
    std::unique_ptr<QOpenGLShaderProgram> readPrograms_[kLayouts];
    int lumaSizeLocation_[kLayouts] = {};
    unsigned constantBuffer_ = 0;
    unsigned sampler_ = 0;
    unsigned emptyVao_ = 0;
    PlaneTexture planes_[3];
    std::vector<uint8_t> chroma_; // I420's U and V interleaved for upload
    Layout layout_ = Layout::None;
    QSize pictureSize_;
    std::unordered_map<const CModelBase*, ModelBuffers> models_;
    bool created_ = false;
};

} // namespace playcore
