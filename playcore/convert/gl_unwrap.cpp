#include "playcore/convert/gl_unwrap.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>

#include <cstring>

#include "playcore/convert/unwrap.h"
#include "playcore/present/gl_pipeline.h"
#include "playcore/present/offscreen_surface.h"

namespace playcore {

GlUnwrapRenderer::GlUnwrapRenderer() = default;

GlUnwrapRenderer::~GlUnwrapRenderer() {
    if (context_ && surface_ && context_->makeCurrent(surface_.get())) {
        if (pipeline_) pipeline_->Destroy();
        fbo_.reset();
        context_->doneCurrent();
    }
}

bool GlUnwrapRenderer::Create(QSize size, bool flip) {
    if (size.isEmpty()) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(PresenterSurfaceFormat());
    if (!context->create() || context->isOpenGLES() ||
        context->format().version() < qMakePair(3, 3))
        return false;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!surface->isValid() || !context->makeCurrent(surface.get())) return false;
    context_ = std::move(context);
    surface_ = std::move(surface);
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    format.setInternalTextureFormat(GL_RGBA8);
    fbo_ = std::make_unique<QOpenGLFramebufferObject>(size, format);
    pipeline_ = std::make_unique<GlPipeline>();
    mesh_ = std::make_unique<D3DRawObj1>(flip);
    mesh_->Init(size.width(), size.height());
    size_ = size;
    flip_ = flip;
    const bool ok = fbo_->isValid() && pipeline_->Create();
    context_->doneCurrent();
    return ok;
}

bool GlUnwrapRenderer::Render(const VideoFrame& frame, std::vector<uint8_t>* bgra) {
    if (!context_ || !context_->makeCurrent(surface_.get())) return false;
    bool ok = pipeline_->UploadFrame(frame);
    if (ok) {
        pipeline_->Draw(mesh_.get(), fbo_->handle(), size_);
        // The band: rows [first, last) top-down, cleared black.
        int first = 0, last = 0;
        BandRows(size_.height(), flip_, &first, &last);
        QOpenGLExtraFunctions* f = context_->extraFunctions();
        f->glBindFramebuffer(GL_FRAMEBUFFER, fbo_->handle());
        f->glEnable(GL_SCISSOR_TEST);
        f->glScissor(0, size_.height() - last, size_.width(), last - first);
        f->glClearColor(0, 0, 0, 1);
        f->glClear(GL_COLOR_BUFFER_BIT);
        f->glDisable(GL_SCISSOR_TEST);
        // One read-back; GL's rows run bottom-up.
        const int w = size_.width(), h = size_.height();
        std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 4);
        f->glPixelStorei(GL_PACK_ALIGNMENT, 4);
        f->glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        bgra->resize(rows.size());
        for (int y = 0; y < h; ++y)
            std::memcpy(bgra->data() + static_cast<size_t>(y) * w * 4,
                        rows.data() + static_cast<size_t>(h - 1 - y) * w * 4,
                        static_cast<size_t>(w) * 4);
        ok = f->glGetError() == GL_NO_ERROR;
    }
    context_->doneCurrent();
    return ok;
}

} // namespace playcore
