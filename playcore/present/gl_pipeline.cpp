#include "playcore/present/gl_pipeline.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

#include <vector>

namespace playcore {

namespace {

// One shader pair for every display model. The matrices arrive transposed,
// so the shader's mat4 equals the row-vector matrix and points multiply from
// the left. The projection maps depth to 0..w; GL clips at -w..w, so depth is
// moved to keep the same near and far planes.
const char* kModelVertexShader = R"(#version 330 core
layout(std140) uniform ConstantBuffer {
    mat4 world;
    mat4 view;
    mat4 projection;
};
layout(location = 0) in vec3 POSITION;
layout(location = 1) in vec3 NORMAL;
layout(location = 2) in vec2 TEXCOORD;
out vec3 normal;
out vec2 texcoord;
void main() {
    vec4 p = vec4(POSITION, 1.0) * world * view * projection;
    p.z = 2.0 * p.z - p.w;
    gl_Position = p;
    normal = NORMAL;
    texcoord = TEXCOORD;
}
)";

const char* kModelFragmentShader = R"(#version 330 core
uniform sampler2D myTexture;
in vec3 normal;
in vec2 texcoord;
out vec4 target;
void main() {
    target = texture(myTexture, texcoord);
}
)";

// A triangle that covers the whole target.
const char* kConvertVertexShader = R"(#version 330 core
void main() {
    vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(p, 0.0, 1.0);
}
)";

// Frame planes to colour, one texel per pixel. Row 0 of every plane is the
// frame's top row, as in the colour texture, so v = 0 is the top.
// planeLayout: 0 Y, U, V planes; 1 Y plane and interleaved U,V; 2 packed colour.
// YUV: BT.601 video range, integer rule C = 298 Y,
// R = (C + 409 V - 56992) >> 8, G = (C - 100 U - 208 V + 34784) >> 8,
// B = (C + 516 U - 70688) >> 8, clamped to 0..255; each 2 x 2 block of pixels
// shares the chroma sample at (column / 2, row / 2).
const char* kConvertFragmentShader = R"(#version 330 core
uniform int planeLayout;
uniform sampler2D plane0;
uniform sampler2D plane1;
uniform sampler2D plane2;
out vec4 colour;
int Byte(float v) { return int(v * 255.0 + 0.5); }
void main() {
    ivec2 p = ivec2(gl_FragCoord.xy);
    if (planeLayout == 2) {
        colour = vec4(texelFetch(plane0, p, 0).rgb, 1.0);
        return;
    }
    int y = Byte(texelFetch(plane0, p, 0).r);
    ivec2 c = p / 2;
    int u;
    int v;
    if (planeLayout == 0) {
        u = Byte(texelFetch(plane1, c, 0).r);
        v = Byte(texelFetch(plane2, c, 0).r);
    } else {
        vec2 uv = texelFetch(plane1, c, 0).rg;
        u = Byte(uv.r);
        v = Byte(uv.g);
    }
    int k = 298 * y;
    ivec3 rgb = ivec3((k + 409 * v - 56992) >> 8,
                      (k - 100 * u - 208 * v + 34784) >> 8,
                      (k + 516 * u - 70688) >> 8);
    colour = vec4(vec3(clamp(rgb, 0, 255)) / 255.0, 1.0);
}
)";

std::unique_ptr<QOpenGLShaderProgram> Build(const char* vs, const char* fs) {
    auto p = std::make_unique<QOpenGLShaderProgram>();
    if (!p->addShaderFromSourceCode(QOpenGLShader::Vertex, vs) ||
        !p->addShaderFromSourceCode(QOpenGLShader::Fragment, fs) || !p->link())
        return nullptr;
    return p;
}

} // namespace

GlPipeline::GlPipeline() = default;

GlPipeline::~GlPipeline() = default;

bool GlPipeline::Create() {
    if (created_) return true;
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    if (!ctx) return false;
    const auto f = ctx->format();
    if (ctx->isOpenGLES() || f.majorVersion() < 3 ||
        (f.majorVersion() == 3 && f.minorVersion() < 3))
        return false;
    initializeOpenGLFunctions();

    modelProgram_ = Build(kModelVertexShader, kModelFragmentShader);
    convertProgram_ = Build(kConvertVertexShader, kConvertFragmentShader);
    if (!modelProgram_ || !convertProgram_) {
        modelProgram_.reset();
        convertProgram_.reset();
        return false;
    }
    const GLuint block = glGetUniformBlockIndex(modelProgram_->programId(), "ConstantBuffer");
    glUniformBlockBinding(modelProgram_->programId(), block, 0);
    modelProgram_->bind();
    modelProgram_->setUniformValue("myTexture", 0);
    convertProgram_->bind();
    convertProgram_->setUniformValue("plane0", 0);
    convertProgram_->setUniformValue("plane1", 1);
    convertProgram_->setUniformValue("plane2", 2);
    convertProgram_->release();

    glGenBuffers(1, &constantBuffer_);
    glBindBuffer(GL_UNIFORM_BUFFER, constantBuffer_);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(ShaderConstants), nullptr, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);

    // "mySampler": linear filtering, clamp addressing in all three directions.
    glGenSamplers(1, &sampler_);
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);

    glGenVertexArrays(1, &emptyVao_);
    created_ = true;
    return true;
}

void GlPipeline::Destroy() {
    if (!created_) return;
    for (auto& [model, b] : models_) {
        glDeleteVertexArrays(1, &b.vao);
        glDeleteBuffers(1, &b.vbo);
        glDeleteBuffers(1, &b.ibo);
    }
    models_.clear();
    for (PlaneTexture& t : planes_) {
        if (t.id) glDeleteTextures(1, &t.id);
        t = PlaneTexture{};
    }
    if (colourFbo_) glDeleteFramebuffers(1, &colourFbo_);
    if (colourTexture_) glDeleteTextures(1, &colourTexture_);
    colourFbo_ = colourTexture_ = 0;
    colourSize_ = QSize();
    glDeleteBuffers(1, &constantBuffer_);
    glDeleteSamplers(1, &sampler_);
    glDeleteVertexArrays(1, &emptyVao_);
    constantBuffer_ = sampler_ = emptyVao_ = 0;
    modelProgram_.reset();
    convertProgram_.reset();
    created_ = false;
}

bool GlPipeline::UploadPlane(int index, int internalFormat, unsigned format, int width, int height,
                             const uint8_t* data, int stride, int bytesPerPixel) {
    PlaneTexture& t = planes_[index];
    glActiveTexture(GL_TEXTURE0 + index);
    if (!t.id) glGenTextures(1, &t.id);
    glBindTexture(GL_TEXTURE_2D, t.id);
    const bool fresh = t.width != width || t.height != height || t.internalFormat != internalFormat;
    if (fresh) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // A stride that is not a whole number of samples cannot be described to
    // GL; such rows are packed tightly first.
    std::vector<uint8_t> packed;
    const int rowBytes = width * bytesPerPixel;
    if (stride % bytesPerPixel != 0) {
        packed.resize(static_cast<size_t>(rowBytes) * height);
        for (int r = 0; r < height; ++r)
            std::copy_n(data + static_cast<size_t>(r) * stride, rowBytes,
                        packed.data() + static_cast<size_t>(r) * rowBytes);
        data = packed.data();
        stride = rowBytes;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / bytesPerPixel);
    if (fresh) {
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE,
                     data);
        t.width = width;
        t.height = height;
        t.internalFormat = internalFormat;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, data);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return glGetError() == GL_NO_ERROR;
}

void GlPipeline::EnsureColourTarget(QSize size) {
    if (colourTexture_ && colourSize_ == size) return;
    if (!colourTexture_) glGenTextures(1, &colourTexture_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colourTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width(), size.height(), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (!colourFbo_) glGenFramebuffers(1, &colourFbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, colourFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourTexture_, 0);
    colourSize_ = size;
}

bool GlPipeline::UploadFrame(const VideoFrame& frame) {
    if (!created_ || !IsValidFrame(frame)) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint previousFbo = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFbo);

    const int w = frame.width, h = frame.height;
    int planeLayout = 0;
    bool ok = true;
    switch (frame.format) {
    case PixelFormat::I420:
        for (int p = 0; p < 3 && ok; ++p)
            ok = UploadPlane(p, GL_R8, GL_RED, PlaneWidth(frame.format, p, w),
                             PlaneHeight(frame.format, p, h), frame.data[p], frame.stride[p], 1);
        planeLayout = 0;
        break;
    case PixelFormat::NV12:
        ok = UploadPlane(0, GL_R8, GL_RED, w, h, frame.data[0], frame.stride[0], 1) &&
             UploadPlane(1, GL_RG8, GL_RG, PlaneWidth(frame.format, 1, w),
                         PlaneHeight(frame.format, 1, h), frame.data[1], frame.stride[1], 2);
        planeLayout = 1;
        break;
    case PixelFormat::BGRA:
        ok = UploadPlane(0, GL_RGBA8, GL_BGRA, w, h, frame.data[0], frame.stride[0], 4);
        planeLayout = 2;
        break;
    case PixelFormat::RGBA:
        ok = UploadPlane(0, GL_RGBA8, GL_RGBA, w, h, frame.data[0], frame.stride[0], 4);
        planeLayout = 2;
        break;
    case PixelFormat::RGB24:
        ok = UploadPlane(0, GL_RGB8, GL_RGB, w, h, frame.data[0], frame.stride[0], 3);
        planeLayout = 2;
        break;
    case PixelFormat::BGR24:
        ok = UploadPlane(0, GL_RGB8, GL_BGR, w, h, frame.data[0], frame.stride[0], 3);
        planeLayout = 2;
        break;
    case PixelFormat::None:
        ok = false;
        break;
    }
    if (ok) {
        EnsureColourTarget(QSize(w, h));
        glBindFramebuffer(GL_FRAMEBUFFER, colourFbo_);
        glViewport(0, 0, w, h);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        for (int p = 0; p < 3; ++p) {
            glActiveTexture(GL_TEXTURE0 + p);
            glBindTexture(GL_TEXTURE_2D, p < PlaneCount(frame.format) ? planes_[p].id : 0);
        }
        convertProgram_->bind();
        convertProgram_->setUniformValue("planeLayout", planeLayout);
        glBindVertexArray(emptyVao_);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(0);
        convertProgram_->release();
        ok = glGetError() == GL_NO_ERROR;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFbo));
    return ok;
}

GlPipeline::ModelBuffers& GlPipeline::BuffersFor(const CModelBase& model) {
    ModelBuffers& b = models_[&model];
    if (b.vao && b.generation == model.MeshGeneration()) return b;
    if (!b.vao) {
        glGenVertexArrays(1, &b.vao);
        glGenBuffers(1, &b.vbo);
        glGenBuffers(1, &b.ibo);
    }
    glBindVertexArray(b.vao);
    glBindBuffer(GL_ARRAY_BUFFER, b.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(model.Vertices().size() * sizeof(Vertex)),
                 model.Vertices().data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(model.Indices().size() * sizeof(uint16_t)),
                 model.Indices().data(), GL_STATIC_DRAW);
    const auto stride = static_cast<GLsizei>(sizeof(Vertex));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(Vertex, texcoord)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    b.generation = model.MeshGeneration();
    b.indexCount = static_cast<int>(model.Indices().size());
    return b;
}

void GlPipeline::Draw(const CModelBase* model, unsigned target, QSize size) {
    if (!created_) return;
    glBindFramebuffer(GL_FRAMEBUFFER, target);
    glViewport(0, 0, size.width(), size.height());
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepthf(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (!model || !colourTexture_ || model->Indices().empty()) return;

    const Viewport& vp = model->GetViewport();
    if (vp.width <= 0 || vp.height <= 0) return;
    // The model's viewport counts y downwards from the top; GL's from the bottom.
    glViewport(static_cast<GLint>(vp.x),
               static_cast<GLint>(static_cast<float>(size.height()) - (vp.y + vp.height)),
               static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height));
    glDepthRangef(vp.minDepth, vp.maxDepth);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);

    const ShaderConstants constants = model->UpdateConstants();
    glBindBuffer(GL_UNIFORM_BUFFER, constantBuffer_);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof constants, &constants);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, constantBuffer_);

    ModelBuffers& b = BuffersFor(*model);
    modelProgram_->bind();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colourTexture_);
    glBindSampler(0, sampler_);
    glBindVertexArray(b.vao);
    glDrawElements(GL_TRIANGLES, b.indexCount, GL_UNSIGNED_SHORT, nullptr);
    glBindVertexArray(0);
    glBindSampler(0, 0);
    modelProgram_->release();
    glDisable(GL_DEPTH_TEST);
    glDepthRangef(0, 1);
}

} // namespace playcore
