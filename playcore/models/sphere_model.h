#pragma once
// CSphereModel: the five display models of one presenter, the display mode,
// the draw interval and the model lock. Every engine operation that changes
// how a camera's picture is shown lands here.
//
// Display modes: 1 Divide, 2 RawNormal, 3 CSphere, 4 WideScreen, 5 RawPlain;
// any other value draws nothing.
//
// Threads: engine operations come from the UI thread, drawing from whichever
// thread draws the presenter; both go through the model lock (`mutex_`), which
// guards every field below and every model's parameters. Lock order: presenter
// lock, then model lock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "playcore/models/flat_models.h"
#include "playcore/models/sphere.h"

namespace playcore {

// The display-model state of one camera, saved when a movie closes and copied
// into the next presenter, so that a camera keeps its view from one recording
// to the next. Host byte order. Layout (byte offsets):
//     0  int32   display mode
//     4  int32   reserved, 0
//     8  float   CSphere upY, zoom
//    16  double  CSphere q0 (w, x, y, z), q (w, x, y, z), rotation 4 x 4 (row-major)
//   208  double  the same three as the backup copy
//   400  float   the eight probe directions (x, y, z)
//   496  float   RawNormal upY, eyeZ, zoom, panX, panY
//   516  float   Divide upY, eyeZ, zoom, panX, panY
//   536  float   RawPlain upY, eyeZ, zoom, panX, panY
//   556  float   WideScreen position, upY, eyeZ, previous zoom, zoom, panX, panY
//   584  reserved, 0, up to 640
inline constexpr size_t kModelStateSize = 640;
using ModelStateBlock = std::array<uint8_t, kModelStateSize>;

inline constexpr int kModeDivide = 1;
inline constexpr int kModeRawNormal = 2;
inline constexpr int kModeSphere = 3;
inline constexpr int kModeWideScreen = 4;
inline constexpr int kModeRawPlain = 5;

class CSphereModel {
public:
    CSphereModel() = default;
    CSphereModel(const CSphereModel&) = delete;
    CSphereModel& operator=(const CSphereModel&) = delete;

    // ---- engine operations (take the model lock) ----
    // Stores the mode; the models are initialised again for the window before
    // the next draw.
    void SetDisplayMode(int mode);
    int DisplayMode() const;
    // Drags the current model. False when the mode draws nothing, the
    // arguments are not usable (not finite, scale <= 0) or the sphere refused
    // the turn; the view is then unchanged.
    bool DragView(float dx, float dy, float scale);
    // Flips all five models at once; returns whether they are now flipped.
    bool FlipView();
    // Sphere mode only: the next drag starts from the current view.
    void CommitViewRotation();
    // The sphere's turn back to identity.
    void ResetModelPose();
    // Modes 1 to 4: the sphere's aspect becomes w / h (ignored unless both are positive).
    void SetViewAspect(int w, int h);
    // 0 or 1 draws every frame, 2 every second frame (n > 2 every n-th).
    void SetDrawInterval(int v);
    int DrawInterval() const;
    // The destination rectangle of every model; the drawing area when not empty.
    void SetVideoRect(const VideoRect& rect);
    VideoRect GetVideoRect() const;
    // Counts one presented frame; true when the draw interval lets it be drawn.
    bool CountFrame();

    ModelStateBlock SaveState() const;
    // Takes a saved block. Parts that do not hold a usable state (a zeroed
    // block from a camera that had no picture, values that are not finite, a
    // zero up vector or zoom, a mode outside 1..5) keep their initial values.
    void LoadState(const ModelStateBlock& block);
    // The block of a camera that has never shown anything: mode 2 and every
    // model at its initial parameters.
    static ModelStateBlock InitialState();

    // ---- drawing (caller holds Lock()) ----
    std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(mutex_); }
    // Initialises the models again when the client size or the display mode
    // changed since the last call: modes 1 to 4 the sphere, RawNormal, Divide
    // and WideScreen, mode 5 only RawPlain. Parameters are kept.
    void PrepareLocked(int clientWidth, int clientHeight);
    // The model of the display mode, or null when the mode draws nothing or
    // that model is not initialised.
    const CModelBase* CurrentModelLocked() const;

    // Read-out of the model state (caller holds Lock()).
    const CSphere& SphereLocked() const { return sphere_; }
    const RawNormal& RawNormalLocked() const { return rawNormal_; }
    const RawPlain& RawPlainLocked() const { return rawPlain_; }
    const Divide& DivideLocked() const { return divide_; }
    const WideScreen& WideScreenLocked() const { return wide_; }

private:
    CModelBase* ModelOfModeLocked(int mode);

    mutable std::mutex mutex_; // the model lock
    CSphere sphere_;
    RawNormal rawNormal_;
    RawPlain rawPlain_;
    Divide divide_;
    WideScreen wide_;
    int mode_ = kModeRawNormal;
    int drawInterval_ = 0;
    uint64_t frameCounter_ = 0;
    // The client size and mode the models were last initialised for.
    bool built_ = false;
    int builtWidth_ = 0;
    int builtHeight_ = 0;
    int builtMode_ = 0;
};

} // namespace playcore
