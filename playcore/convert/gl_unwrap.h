#pragma once
// The unwrap drawn with the display-model GL code: the D3DRawObj1 mesh
// through the presenter's pipeline (planes uploaded as textures, converted
// in the fragment shader) into an off-screen framebuffer, the band cleared
// black, the picture read back once. It draws the same mapping as the
// remap table of the CPU writer (unwrap.h); tests hold the two together, and
// bench/convert.sh measures both (on the software GL here the table is
// faster, so the writer and the preview use it).
//
// Qt and OpenGL 3.3 core; every call on the thread that created it.

#include <QSize>

#include <memory>
#include <vector>

#include "playcore/models/video_frame.h"

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace playcore {

class D3DRawObj1;
class GlPipeline;

class GlUnwrapRenderer {
public:
    GlUnwrapRenderer();
    ~GlUnwrapRenderer();
    GlUnwrapRenderer(const GlUnwrapRenderer&) = delete;
    GlUnwrapRenderer& operator=(const GlUnwrapRenderer&) = delete;

    // A context and a framebuffer of `size`. False without GL 3.3 core.
    bool Create(QSize size, bool flip);
    // Draws frame and reads the picture back into bgra (width x height x 4,
    // bytes blue, green, red, 255, top row first). False for an invalid frame.
    bool Render(const VideoFrame& frame, std::vector<uint8_t>* bgra);

private:
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    std::unique_ptr<GlPipeline> pipeline_;
    std::unique_ptr<D3DRawObj1> mesh_;
    QSize size_;
    bool flip_ = false;
};

} // namespace playcore
