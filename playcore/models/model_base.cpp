#include "playcore/models/model_base.h"

#include <atomic>

namespace playcore {

namespace {
std::atomic<uint64_t> g_meshGeneration{0};
} // namespace

CModelBase::~CModelBase() = default;

void CModelBase::Resize() {
    SetViewport();
}

ShaderConstants CModelBase::UpdateConstants() const {
    return {World().Transposed(), View().Transposed(), Projection().Transposed()};
}

void CModelBase::SetViewport() {
    viewport_ = Viewport{};
    if (!destRect_.IsEmpty()) {
        viewport_.x = static_cast<float>(destRect_.left);
        viewport_.y = static_cast<float>(destRect_.top);
        viewport_.width = static_cast<float>(destRect_.right - destRect_.left);
        viewport_.height = static_cast<float>(destRect_.bottom - destRect_.top);
    } else {
        viewport_.width = static_cast<float>(clientWidth_);
        viewport_.height = static_cast<float>(clientHeight_);
    }
}

void CModelBase::Release() {
    vertices_.clear();
    vertices_.shrink_to_fit();
    indices_.clear();
    indices_.shrink_to_fit();
    initialised_ = false;
}

void CModelBase::Init(int clientWidth, int clientHeight) {
    Release();
    clientWidth_ = clientWidth;
    clientHeight_ = clientHeight;
    NewMesh();
    BuildVertices();
    BuildIndices();
    Resize();
    initialised_ = true;
}

void CModelBase::SetVideoRect(const VideoRect& rect) {
    destRect_ = rect;
    SetViewport();
}

void CModelBase::NewMesh() {
    vertices_.clear();
    indices_.clear();
    meshGeneration_ = ++g_meshGeneration;
}

void AppendQuadIndices(std::vector<uint16_t>& indices, unsigned base) {
    for (unsigned k : {0u, 3u, 1u, 0u, 2u, 3u})
        indices.push_back(static_cast<uint16_t>(base + k));
}

} // namespace playcore
