#include "playcore/present/presenter.h"

#include <chrono>

#include "playcore/present/gl_pipeline.h"
#include "playcore/present/still_writer.h"
#include "playcore/present/video_surface.h"

namespace playcore {

Presenter::Presenter(VideoSurface* surface) : surface_(surface) {
    if (surface_) surface_->AttachPresenter(this);
}

Presenter::~Presenter() {
    VideoSurface* surface;
    {
        std::lock_guard lock(mutex_);
        surface = surface_;
    }
    if (!surface) return;
    if (surface->MakeCurrent()) {
        ReleaseGl();
        surface->DoneCurrent();
    }
    surface->AttachPresenter(nullptr);
}

bool Presenter::PresentFrame(std::shared_ptr<const VideoFrame> frame) {
    if (!frame || !IsValidFrame(*frame)) return false;
    const bool due = models_.CountFrame();
    std::lock_guard lock(mutex_);
    videoSize_ = QSize(frame->width, frame->height);
    if (!enabled_ || !due) return true; // consumed without drawing
    picture_ = std::move(frame);
    ++pictureSerial_;
    ++stats_.taken;
    pictureTaken_.notify_all();
    // Asked under the lock: SurfaceGone takes it too, so a surface that is
    // going away is never asked. RequestUpdate only posts or marks.
    if (surface_) surface_->RequestUpdate();
    return true;
}

bool Presenter::HasPicture() const {
    std::lock_guard lock(mutex_);
    return picture_ != nullptr;
}

int64_t Presenter::PictureTime() const {
    std::lock_guard lock(mutex_);
    return picture_ ? picture_->pts : -1;
}

bool Presenter::WaitForPictureAt(int64_t time, int64_t period,
                                 std::chrono::steady_clock::time_point until) const {
    std::unique_lock lock(mutex_);
    return pictureTaken_.wait_until(lock, until, [&] {
        return picture_ && picture_->pts <= time && time - picture_->pts < period;
    });
}

QSize Presenter::GetVideoSize() const {
    std::lock_guard lock(mutex_);
    return videoSize_;
}

Presenter::Stats Presenter::GetStats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void Presenter::Paint(unsigned framebuffer, QSize size) {
    std::lock_guard lock(mutex_);
    if (!gl_) {
        auto gl = std::make_unique<GlPipeline>();
        if (!gl->Create()) return;
        gl_ = std::move(gl);
        uploadedSerial_ = 0;
    }
    const auto start = std::chrono::steady_clock::now();
    if (picture_ && uploadedSerial_ != pictureSerial_) {
        gl_->UploadFrame(*picture_);
        uploadedSerial_ = pictureSerial_;
        ++stats_.shown;
    }
    auto modelLock = models_.Lock();
    if (size.width() > 0 && size.height() > 0) models_.PrepareLocked(size.width(), size.height());
    gl_->Draw(gl_->HasPicture() ? models_.CurrentModelLocked() : nullptr, framebuffer, size);
    if (picture_) {
        ++stats_.paints;
        stats_.paintNs +=
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
    }
}

void Presenter::ReleaseGl() {
    std::lock_guard lock(mutex_);
    if (!gl_) return;
    gl_->Destroy();
    gl_.reset();
    uploadedSerial_ = 0;
}

void Presenter::SurfaceGone() {
    ReleaseGl();
    std::lock_guard lock(mutex_);
    surface_ = nullptr;
}

void Presenter::RequestUpdate() {
    std::lock_guard lock(mutex_);
    if (surface_) surface_->RequestUpdate();
}

void Presenter::EnableStream(bool on) {
    std::lock_guard lock(mutex_);
    enabled_ = on;
}

void Presenter::SetDisplayMode(int mode) {
    models_.SetDisplayMode(mode); // the models are rebuilt for the surface on the next paint
    RequestUpdate();
}

bool Presenter::DragView(float dx, float dy, float scale) {
    return models_.DragView(dx, dy, scale);
}

bool Presenter::FlipView() {
    return models_.FlipView();
}

void Presenter::CommitViewRotation() {
    models_.CommitViewRotation();
}

void Presenter::ResetModelPose() {
    models_.ResetModelPose();
    if (models_.DisplayMode() == kModeSphere) RequestUpdate();
}

void Presenter::SetViewAspect(int w, int h) {
    models_.SetViewAspect(w, h);
    RequestUpdate();
}

void Presenter::SetDrawInterval(int v) {
    models_.SetDrawInterval(v);
}

void Presenter::Redraw() {
    RequestUpdate();
}

void Presenter::SetVideoRect(const VideoRect& rect) {
    // The picture is drawn inside this rectangle: a new one needs a new paint
    // (a still picture would otherwise keep the old place until the next frame).
    if (models_.GetVideoRect() == rect) return;
    models_.SetVideoRect(rect);
    RequestUpdate();
}

VideoRect Presenter::GetVideoRect() const {
    return models_.GetVideoRect();
}

void Presenter::LoadModelState(const ModelStateBlock& block) {
    std::lock_guard lock(mutex_);
    models_.LoadState(block);
}

bool Presenter::SaveStill(const QString& path, int quality) {
    VideoSurface* surface;
    {
        std::lock_guard lock(mutex_);
        if (!picture_) return false;
        surface = surface_;
    }
    if (!surface) return false;
    // The surface draws (and so takes the presenter lock) while grabbing.
    const QImage picture = surface->GrabPicture();
    if (picture.isNull()) return false;
    return WriteStillImage(picture, path, "jpeg", quality);
}

} // namespace playcore
