#pragma once
// Presenter: the drawing end of one video stream. It takes decoded frames,
// keeps the one to show, and draws it through the current display model onto
// its VideoSurface; it carries the engine operations that change the view and
// the still capture of what the surface shows.
//
// Threads: PresentFrame may come from any thread (the player's scheduler);
// engine operations and SaveStill from the UI thread; Paint runs on the thread
// that draws the surface, with its context current. Lock order: presenter lock
// (`mutex_`), then the model lock inside CSphereModel.

#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "playcore/models/sphere_model.h"
#include "playcore/models/video_frame.h"

namespace playcore {

class GlPipeline;
class VideoSurface;

// JPEG quality of stills (0..100 as the image writer takes it).
inline constexpr int kStillJpegQuality = 90;

class Presenter {
public:
    // Attaches to `surface`, which must stay alive until the presenter is
    // destroyed or the surface calls SurfaceGone.
    explicit Presenter(VideoSurface* surface);
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    // ---- frames ----
    // Hands over a decoded frame. It counts towards the draw interval; when
    // the stream is enabled and the interval lets it be drawn it becomes the
    // picture and the surface is asked to repaint. False for a frame that
    // cannot be read (it is dropped).
    bool PresentFrame(std::shared_ptr<const VideoFrame> frame);
    // Whether any frame has been taken as the picture.
    bool HasPicture() const;
    // The presentation time (VideoFrame::pts, 100-ns units) of the picture
    // taken last; -1 before any.
    int64_t PictureTime() const;
    // Waits until the picture taken last is the frame that shows at `time`:
    // its presentation time is at or before `time` and less than `period`
    // before it (both in 100-ns units). Woken by every picture taken; false
    // when `until` passes first. Not on the thread that presents frames.
    bool WaitForPictureAt(int64_t time, int64_t period,
                          std::chrono::steady_clock::time_point until) const;
    // Native size of the stream's pictures (of the last frame received).
    QSize GetVideoSize() const;

    // What became of the frames handed over, for figures of the playback.
    struct Stats {
        uint64_t taken = 0;   // frames that became the picture
        uint64_t shown = 0;   // pictures a paint drew (the others were replaced unseen)
        uint64_t paints = 0;  // paints with a picture
        uint64_t paintNs = 0; // time spent in those paints, upload and draw calls
    };
    Stats GetStats() const;

    // ---- drawing (the surface's thread, context current) ----
    // Rebuilds the models when the surface size or the mode changed, uploads
    // a new picture, clears and draws the current model into `framebuffer`.
    void Paint(unsigned framebuffer, QSize size);
    // Frees the GL objects; the surface's context must be current.
    void ReleaseGl();
    // The surface is going away: free GL objects (its context is current) and forget it.
    void SurfaceGone();

    // ---- engine operations (UI thread) ----
    void EnableStream(bool on);
    void SetDisplayMode(int mode);
    int DisplayMode() const { return models_.DisplayMode(); }
    bool DragView(float dx, float dy, float scale);
    // Returns whether the models are now flipped.
    bool FlipView();
    void CommitViewRotation();
    void ResetModelPose();
    void SetViewAspect(int w, int h);
    void SetDrawInterval(int v);
    // Draws the current picture again with the current model.
    void Redraw();
    // The rectangle (surface pixels) the picture is drawn in; asks a repaint when it changes.
    void SetVideoRect(const VideoRect& rect);
    VideoRect GetVideoRect() const;
    ModelStateBlock SaveModelState() const { return models_.SaveState(); }
    void LoadModelState(const ModelStateBlock& block);

    // Writes exactly what the surface shows, at its size, as a JPEG file. False
    // when nothing has been presented yet, the surface gives no picture, or the
    // file could not be written completely (see WriteStillImage).
    bool SaveStill(const QString& path, int quality = kStillJpegQuality);

private:
    void RequestUpdate();

    mutable std::mutex mutex_;                     // the presenter lock: guards the fields below
    mutable std::condition_variable pictureTaken_; // notified when picture_ changes
    VideoSurface* surface_;
    std::unique_ptr<GlPipeline> gl_;            // created on the first Paint
    std::shared_ptr<const VideoFrame> picture_; // the frame to show
    uint64_t pictureSerial_ = 0;                // bumped for every new picture
    uint64_t uploadedSerial_ = 0;               // picture held by the plane textures
    bool enabled_ = true;
    QSize videoSize_;
    Stats stats_;

    CSphereModel models_; // its own model lock
};

} // namespace playcore
