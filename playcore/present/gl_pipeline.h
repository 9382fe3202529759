#pragma once
// The GL objects of one presenter, OpenGL 3.3 core:
//  * frame -> colour texture: the decoded frame's planes are uploaded as
//    textures and converted in a full-screen pass into an RGBA8 texture of the
//    frame's size (YUV by the BT.601 video-range integer rule, exactly as the
//    software conversion does it);
//  * colour texture -> target: the current display model's mesh drawn with one
//    shader pair for every model, uniform block "ConstantBuffer" ("world",
//    "view", "projection"), sampler "mySampler" (linear, clamp) on "myTexture",
//    depth test, no culling.
// Every call needs the owning context current on the calling thread.

#include <QOpenGLExtraFunctions>
#include <QSize>

#include <memory>
#include <unordered_map>

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

    // Converts the frame into the colour texture. False for an invalid frame
    // (the previous picture is kept).
    bool UploadFrame(const VideoFrame& frame);
    bool HasPicture() const { return colourTexture_ != 0; }
    QSize PictureSize() const { return colourSize_; }

    // Clears the target (black, depth 1) and, when `model` is given and a
    // picture exists, draws the model with it. `target` is the framebuffer
    // object to draw into, `size` its size in pixels.
    void Draw(const CModelBase* model, unsigned target, QSize size);

private:
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
    void EnsureColourTarget(QSize size);

    std::unique_ptr<QOpenGLShaderProgram> modelProgram_;
    std::unique_ptr<QOpenGLShaderProgram> convertProgram_;
    unsigned constantBuffer_ = 0;
    unsigned sampler_ = 0;
    unsigned emptyVao_ = 0;
    PlaneTexture planes_[3];
    unsigned colourTexture_ = 0;
    unsigned colourFbo_ = 0;
    QSize colourSize_;
    std::unordered_map<const CModelBase*, ModelBuffers> models_;
    bool created_ = false;
};

} // namespace playcore
