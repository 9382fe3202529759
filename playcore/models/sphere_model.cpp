#include "playcore/models/sphere_model.h"

#include <cmath>
#include <cstring>

namespace playcore {

namespace {

// Offsets of the state block (see the header).
constexpr size_t kOffMode = 0;
constexpr size_t kOffSphere = 8;
constexpr size_t kOffOrientation = 16;
constexpr size_t kOrientationSize = 24 * sizeof(double);
constexpr size_t kOffBackup = kOffOrientation + kOrientationSize;    // 208
constexpr size_t kOffProbes = kOffBackup + kOrientationSize;         // 400
constexpr size_t kOffRawNormal = kOffProbes + 8 * 3 * sizeof(float); // 496
constexpr size_t kOffDivide = kOffRawNormal + 5 * sizeof(float);     // 516
constexpr size_t kOffRawPlain = kOffDivide + 5 * sizeof(float);      // 536
constexpr size_t kOffWide = kOffRawPlain + 5 * sizeof(float);        // 556
constexpr size_t kEnd = kOffWide + 7 * sizeof(float);                // 584
static_assert(kOffBackup == 208 && kOffProbes == 400 && kOffRawNormal == 496);
static_assert(kEnd <= kModelStateSize);

class BlockWriter {
public:
    BlockWriter(ModelStateBlock& b, size_t at) : b_(b), at_(at) {}
    template <typename T> void Put(T v) {
        std::memcpy(b_.data() + at_, &v, sizeof v);
        at_ += sizeof v;
    }

private:
    ModelStateBlock& b_;
    size_t at_;
};

class BlockReader {
public:
    BlockReader(const ModelStateBlock& b, size_t at) : b_(b), at_(at) {}
    template <typename T> T Get() {
        T v;
        std::memcpy(&v, b_.data() + at_, sizeof v);
        at_ += sizeof v;
        return v;
    }

private:
    const ModelStateBlock& b_;
    size_t at_;
};

void PutOrientation(BlockWriter& w, const SphereOrientation& o) {
    for (const Quat& q : {o.q0, o.q}) {
        w.Put(q.w);
        w.Put(q.x);
        w.Put(q.y);
        w.Put(q.z);
    }
    for (const auto& row : o.rotation)
        for (double v : row)
            w.Put(v);
}

Quat GetQuat(BlockReader& r) {
    Quat q;
    q.w = r.Get<double>();
    q.x = r.Get<double>();
    q.y = r.Get<double>();
    q.z = r.Get<double>();
    return q;
}

bool IsUnit(const Quat& q) {
    const double n = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    return std::isfinite(n) && std::fabs(n - 1) < 1e-6;
}

// An orientation from the block, or false when its quaternions are not
// rotations. The matrix is made again from q so that it always matches.
bool GetOrientation(BlockReader& r, SphereOrientation* out) {
    SphereOrientation o;
    o.q0 = GetQuat(r);
    o.q = GetQuat(r);
    for (int i = 0; i < 16; ++i)
        r.Get<double>();
    if (!IsUnit(o.q0) || !IsUnit(o.q)) return false;
    o.rotation = RotationFromQuat(o.q);
    *out = o;
    return true;
}

bool Usable(float v) {
    return std::isfinite(v);
}
bool UsableNonZero(float v) {
    return std::isfinite(v) && v != 0;
}
bool UsableZoom(float v) {
    return std::isfinite(v) && v > 0;
}

void PutFlat(BlockWriter w, const FlatParams& p) {
    w.Put(p.upY);
    w.Put(p.eyeZ);
    w.Put(p.zoom);
    w.Put(p.panX);
    w.Put(p.panY);
}

bool GetFlat(BlockReader r, FlatParams* out) {
    FlatParams p;
    p.upY = r.Get<float>();
    p.eyeZ = r.Get<float>();
    p.zoom = r.Get<float>();
    p.panX = r.Get<float>();
    p.panY = r.Get<float>();
    if (!UsableNonZero(p.upY) || !UsableNonZero(p.eyeZ) || !UsableZoom(p.zoom) || !Usable(p.panX) ||
        !Usable(p.panY))
        return false;
    *out = p;
    return true;
}

} // namespace

void CSphereModel::SetDisplayMode(int mode) {
    auto lock = Lock();
    mode_ = mode;
}

int CSphereModel::DisplayMode() const {
    auto lock = Lock();
    return mode_;
}

bool CSphereModel::DragView(float dx, float dy, float scale) {
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(scale) || scale <= 0)
        return false;
    auto lock = Lock();
    CModelBase* model = ModelOfModeLocked(mode_);
    return model && model->Drag(dx, dy, scale);
}

bool CSphereModel::FlipView() {
    auto lock = Lock();
    sphere_.Flip();
    rawNormal_.Flip();
    rawPlain_.Flip();
    divide_.Flip();
    wide_.Flip();
    return sphere_.Params().upY < 0;
}

void CSphereModel::CommitViewRotation() {
    auto lock = Lock();
    if (mode_ == kModeSphere) sphere_.Commit();
}

void CSphereModel::ResetModelPose() {
    auto lock = Lock();
    sphere_.ResetPose();
}

void CSphereModel::SetViewAspect(int w, int h) {
    auto lock = Lock();
    if (mode_ < 1 || mode_ > 4 || w <= 0 || h <= 0) return;
    sphere_.SetAspect(static_cast<float>(w) / static_cast<float>(h));
}

void CSphereModel::SetDrawInterval(int v) {
    auto lock = Lock();
    drawInterval_ = v;
}

int CSphereModel::DrawInterval() const {
    auto lock = Lock();
    return drawInterval_;
}

void CSphereModel::SetVideoRect(const VideoRect& rect) {
    auto lock = Lock();
    for (CModelBase* m :
         std::initializer_list<CModelBase*>{&sphere_, &rawNormal_, &rawPlain_, &divide_, &wide_})
        m->SetVideoRect(rect);
}

VideoRect CSphereModel::GetVideoRect() const {
    auto lock = Lock();
    return rawNormal_.GetVideoRect();
}

bool CSphereModel::CountFrame() {
    auto lock = Lock();
    const bool draw =
        drawInterval_ <= 1 || frameCounter_ % static_cast<uint64_t>(drawInterval_) == 0;
    ++frameCounter_;
    return draw;
}

ModelStateBlock CSphereModel::SaveState() const {
    auto lock = Lock();
    ModelStateBlock b{};
    BlockWriter(b, kOffMode).Put(static_cast<int32_t>(mode_));
    const SphereParams& s = sphere_.Params();
    BlockWriter sw(b, kOffSphere);
    sw.Put(s.upY);
    sw.Put(s.zoom);
    PutOrientation(sw, s.orientation);
    PutOrientation(sw, s.backup);
    for (const Float3& p : CSphere::kProbes) {
        sw.Put(p.x);
        sw.Put(p.y);
        sw.Put(p.z);
    }
    PutFlat(BlockWriter(b, kOffRawNormal), rawNormal_.Params());
    PutFlat(BlockWriter(b, kOffDivide), divide_.Params());
    PutFlat(BlockWriter(b, kOffRawPlain), rawPlain_.Params());
    const WideParams& w = wide_.Params();
    BlockWriter ww(b, kOffWide);
    for (float v : {w.position, w.upY, w.eyeZ, w.prevZoom, w.zoom, w.panX, w.panY})
        ww.Put(v);
    return b;
}

void CSphereModel::LoadState(const ModelStateBlock& block) {
    auto lock = Lock();
    const int32_t mode = BlockReader(block, kOffMode).Get<int32_t>();
    mode_ = (mode >= 1 && mode <= 5) ? mode : kModeRawNormal;

    SphereParams s;
    BlockReader sr(block, kOffSphere);
    const float upY = sr.Get<float>();
    const float zoom = sr.Get<float>();
    SphereOrientation orientation, backup;
    const bool haveOrientation = GetOrientation(sr, &orientation);
    const bool haveBackup = GetOrientation(sr, &backup);
    // The probe directions are constants of the model; the stored copy is not read.
    if (UsableNonZero(upY) && UsableZoom(zoom) && haveOrientation) {
        s.upY = upY;
        s.zoom = zoom;
        s.orientation = orientation;
        s.backup = haveBackup ? backup : orientation;
    }
    sphere_.SetParams(s);

    FlatParams f;
    rawNormal_.SetParams(GetFlat(BlockReader(block, kOffRawNormal), &f) ? f : FlatParams{});
    divide_.SetParams(GetFlat(BlockReader(block, kOffDivide), &f) ? f : FlatParams{});
    rawPlain_.SetParams(GetFlat(BlockReader(block, kOffRawPlain), &f) ? f : FlatParams{});

    BlockReader wr(block, kOffWide);
    WideParams w;
    w.position = wr.Get<float>();
    w.upY = wr.Get<float>();
    w.eyeZ = wr.Get<float>();
    w.prevZoom = wr.Get<float>();
    w.zoom = wr.Get<float>();
    w.panX = wr.Get<float>();
    w.panY = wr.Get<float>();
    const bool wideUsable = Usable(w.position) && UsableNonZero(w.upY) && UsableNonZero(w.eyeZ) &&
                            Usable(w.prevZoom) && UsableZoom(w.zoom) && Usable(w.panX) &&
                            Usable(w.panY);
    wide_.SetParams(wideUsable ? w : WideParams{});
    built_ = false;
}

ModelStateBlock CSphereModel::InitialState() {
    CSphereModel fresh;
    return fresh.SaveState();
}

void CSphereModel::PrepareLocked(int clientWidth, int clientHeight) {
    if (built_ && builtWidth_ == clientWidth && builtHeight_ == clientHeight && builtMode_ == mode_)
        return;
    for (CModelBase* m :
         std::initializer_list<CModelBase*>{&sphere_, &rawNormal_, &rawPlain_, &divide_, &wide_})
        m->Release();
    if (mode_ == kModeRawPlain) {
        rawPlain_.Init(clientWidth, clientHeight);
    } else {
        sphere_.Init(clientWidth, clientHeight);
        rawNormal_.Init(clientWidth, clientHeight);
        divide_.Init(clientWidth, clientHeight);
        wide_.Init(clientWidth, clientHeight);
    }
    built_ = true;
    builtWidth_ = clientWidth;
    builtHeight_ = clientHeight;
    builtMode_ = mode_;
}

const CModelBase* CSphereModel::CurrentModelLocked() const {
    const CModelBase* m = const_cast<CSphereModel*>(this)->ModelOfModeLocked(mode_);
    return m && m->IsInitialised() ? m : nullptr;
}

CModelBase* CSphereModel::ModelOfModeLocked(int mode) {
    switch (mode) {
    case kModeDivide:
        return &divide_;
    case kModeRawNormal:
        return &rawNormal_;
    case kModeSphere:
        return &sphere_;
    case kModeWideScreen:
        return &wide_;
    case kModeRawPlain:
        return &rawPlain_;
    default:
        return nullptr;
    }
}

} // namespace playcore
