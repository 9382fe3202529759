#include "playcore/present/gl_pipeline.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

#include <vector>

namespace playcore {

namespace {

// One vertex shader for every display model. The matrices arrive transposed,
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

// What every fragment shader shares. PLANE_LAYOUT: 0 Y, U, V planes; 1 Y
// plane and interleaved U,V; 2 packed colour.
//
// YuvToRgb: BT.601 video range by the integer rule C = 298 Y,
// R = (C + 409 V - 56992) >> 8, G = (C - 100 U - 208 V + 34784) >> 8,
// B = (C + 516 U - 70688) >> 8, clamped to 0..255, for Y, U, V in 0..255.
// For whole-number input every sum is a whole number far inside float
// precision; the 1/16 added before the floor absorbs the rounding of a
// normalised texel read (well under 1/16) without reaching the next multiple
// of 256, so such input gives the integer rule's result exactly. Filtered
// input between two texels gives a value between their results.
const char* kFragmentCommon = R"(
uniform sampler2D plane0;
uniform sampler2D plane1;
uniform sampler2D plane2;
vec3 YuvToRgb(vec3 yuv) {
    float k = 298.0 * yuv.x;
    vec3 rgb = vec3(k + 409.0 * yuv.z - 56992.0,
                    k - 100.0 * yuv.y - 208.0 * yuv.z + 34784.0,
                    k + 516.0 * yuv.y - 70688.0);
    return clamp(floor((rgb + 0.0625) / 256.0), 0.0, 255.0) / 255.0;
}
)";

// The display models' fragment shader: the picture at `texcoord`, sampled
// with the linear filter of "mySampler" (v = 0 is the frame's top row).
// Every pixel of the frame takes the chroma sample at (column / 2, row / 2);
// a linear sample between pixel columns x0 and x0 + 1 therefore mixes the
// chroma of x0 / 2 and (x0 + 1) / 2 with the luma's own weights: one chroma
// sample when x0 is even, two neighbours when it is odd (rows alike).
// ChromaCoord returns the point at which the chroma plane's linear filter
// gives that mix, so the picture equals the linear filtering of the frame
// converted pixel by pixel, up to rounding.
//
// The colour is YuvToRgb's rule as one matrix product on the 0..1 values
// (its coefficients / 256); the target's 8-bit channels clamp and round, and
// the offset is lowered by 7/16 of a level so that the rounding gives the
// rule's floor (exactly so for whole-number input). Cheaper per pixel than
// YuvToRgb, which matters as this runs for every pixel of the area.
const char* kModelFragmentShader = R"(
uniform vec4 planeSizes; // luma width, height; chroma width, height (texels)
const mat3 kYuvToRgb = mat3(298.0, 298.0, 298.0,  // Y column
                            0.0, -100.0, 516.0,   // U column
                            409.0, -208.0, 0.0)   // V column
                       / 256.0;
const vec3 kYuvOffset = (vec3(-56992.0, 34784.0, -70688.0) / 256.0 - 7.0 / 16.0) / 255.0;
in vec3 normal;
in vec2 texcoord;
out vec4 target;
vec2 ChromaCoord(vec2 t) {
    vec2 p = t * planeSizes.xy - 0.5;
    vec2 base = floor(p);
    vec2 cell = floor(base * 0.5);
    vec2 odd = base - 2.0 * cell;
    return (cell + 0.5 + odd * (p - base)) / planeSizes.zw;
}
void main() {
#if PLANE_LAYOUT == 2
    target = vec4(texture(plane0, texcoord).rgb, 1.0);
#else
    vec2 c = ChromaCoord(texcoord);
    vec3 yuv;
    yuv.x = texture(plane0, texcoord).r;
#if PLANE_LAYOUT == 0
    yuv.y = texture(plane1, c).r;
    yuv.z = texture(plane2, c).r;
#else
    yuv.yz = texture(plane1, c).rg;
#endif
    target = vec4(kYuvToRgb * yuv + kYuvOffset, 1.0);
#endif
}
)";

// ReadPicture: a triangle that covers a target of the frame's size.
const char* kReadVertexShader = R"(#version 330 core
void main() {
    vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(p, 0.0, 1.0);
}
)";

// ReadPicture: one pixel of the frame per fragment, each 2 x 2 block of
// pixels sharing the chroma sample at (column / 2, row / 2).
const char* kReadFragmentShader = R"(
out vec4 colour;
void main() {
    ivec2 p = ivec2(gl_FragCoord.xy);
#if PLANE_LAYOUT == 2
    colour = vec4(texelFetch(plane0, p, 0).rgb, 1.0);
#else
    ivec2 c = p >> 1;
    vec3 yuv;
    yuv.x = texelFetch(plane0, p, 0).r;
#if PLANE_LAYOUT == 0
    yuv.y = texelFetch(plane1, c, 0).r;
    yuv.z = texelFetch(plane2, c, 0).r;
#else
    yuv.yz = texelFetch(plane1, c, 0).rg;
#endif
    colour = vec4(YuvToRgb(floor(yuv * 255.0 + 0.5)), 1.0);
#endif
}
)";

std::unique_ptr<QOpenGLShaderProgram> Build(const char* vs, const QByteArray& fs) {
    auto p = std::make_unique<QOpenGLShaderProgram>();
    if (!p->addShaderFromSourceCode(QOpenGLShader::Vertex, vs) ||
        !p->addShaderFromSourceCode(QOpenGLShader::Fragment, fs) || !p->link())
        return nullptr;
    return p;
}

QByteArray FragmentSource(int layout, const char* body) {
    return QByteArray("#version 330 core\n#define PLANE_LAYOUT ") + QByteArray::number(layout) +
           kFragmentCommon + body;
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

    bool built = true;
    for (int layout = 0; layout < kLayouts && built; ++layout) {
        modelPrograms_[layout] =
            Build(kModelVertexShader, FragmentSource(layout, kModelFragmentShader));
        readPrograms_[layout] =
            Build(kReadVertexShader, FragmentSource(layout, kReadFragmentShader));
        built = modelPrograms_[layout] && readPrograms_[layout];
    }
    if (!built) {
        for (int layout = 0; layout < kLayouts; ++layout) {
            modelPrograms_[layout].reset();
            readPrograms_[layout].reset();
        }
        return false;
    }
    for (int layout = 0; layout < kLayouts; ++layout) {
        QOpenGLShaderProgram* model = modelPrograms_[layout].get();
        const GLuint block = glGetUniformBlockIndex(model->programId(), "ConstantBuffer");
        glUniformBlockBinding(model->programId(), block, 0);
        lumaSizeLocation_[layout] = model->uniformLocation("planeSizes");
        for (QOpenGLShaderProgram* p : {model, readPrograms_[layout].get()}) {
            p->bind();
            p->setUniformValue("plane0", 0);
            p->setUniformValue("plane1", 1);
            p->setUniformValue("plane2", 2);
            p->release();
        }
    }

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
    layout_ = Layout::None;
    pictureSize_ = QSize();
    glDeleteBuffers(1, &constantBuffer_);
    glDeleteSamplers(1, &sampler_);
    glDeleteVertexArrays(1, &emptyVao_);
    constantBuffer_ = sampler_ = emptyVao_ = 0;
    for (int layout = 0; layout < kLayouts; ++layout) {
        modelPrograms_[layout].reset();
        readPrograms_[layout].reset();
    }
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
        // Filtering and addressing come from the sampler when drawing; a
        // single level keeps the texture complete without mipmaps.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The decoder's rows are read in place (GL_UNPACK_ROW_LENGTH); only a
    // stride that is not a whole number of samples, which GL cannot
    // describe, is packed tightly first.
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

bool GlPipeline::UploadFrame(const VideoFrame& frame) {
    if (!created_ || !IsValidFrame(frame)) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    const int w = frame.width, h = frame.height;
    Layout layout = Layout::None;
    bool ok = true;
    switch (frame.format) {
    case PixelFormat::I420: {
        // U and V are interleaved into one U,V plane as in NV12: the models
        // then sample two textures instead of three, and a sample costs a
        // software rasteriser far more than the interleaving (a quarter of
        // the picture's pixels, once per new frame) costs here.
        const int cw = PlaneWidth(frame.format, 1, w), ch = PlaneHeight(frame.format, 1, h);
        chroma_.resize(static_cast<size_t>(cw) * ch * 2);
        for (int r = 0; r < ch; ++r) {
            const uint8_t* u = frame.data[1] + static_cast<size_t>(r) * frame.stride[1];
            const uint8_t* v = frame.data[2] + static_cast<size_t>(r) * frame.stride[2];
            uint8_t* out = chroma_.data() + static_cast<size_t>(r) * cw * 2;
            for (int c = 0; c < cw; ++c) {
                out[2 * c] = u[c];
                out[2 * c + 1] = v[c];
            }
        }
        ok = UploadPlane(0, GL_R8, GL_RED, w, h, frame.data[0], frame.stride[0], 1) &&
             UploadPlane(1, GL_RG8, GL_RG, cw, ch, chroma_.data(), cw * 2, 2);
        layout = Layout::SemiPlanar;
        break;
    }
    case PixelFormat::NV12:
        ok = UploadPlane(0, GL_R8, GL_RED, w, h, frame.data[0], frame.stride[0], 1) &&
             UploadPlane(1, GL_RG8, GL_RG, PlaneWidth(frame.format, 1, w),
                         PlaneHeight(frame.format, 1, h), frame.data[1], frame.stride[1], 2);
        layout = Layout::SemiPlanar;
        break;
    case PixelFormat::BGRA:
        ok = UploadPlane(0, GL_RGBA8, GL_BGRA, w, h, frame.data[0], frame.stride[0], 4);
        layout = Layout::Packed;
        break;
    case PixelFormat::RGBA:
        ok = UploadPlane(0, GL_RGBA8, GL_RGBA, w, h, frame.data[0], frame.stride[0], 4);
        layout = Layout::Packed;
        break;
    case PixelFormat::RGB24:
        ok = UploadPlane(0, GL_RGB8, GL_RGB, w, h, frame.data[0], frame.stride[0], 3);
        layout = Layout::Packed;
        break;
    case PixelFormat::BGR24:
        ok = UploadPlane(0, GL_RGB8, GL_BGR, w, h, frame.data[0], frame.stride[0], 3);
        layout = Layout::Packed;
        break;
    case PixelFormat::None:
        ok = false;
        break;
    }
    glActiveTexture(GL_TEXTURE0);
    // A failed upload may have left planes of different pictures; nothing is
    // drawn from them.
    layout_ = ok ? layout : Layout::None;
    pictureSize_ = ok ? QSize(w, h) : QSize();
    return ok;
}

void GlPipeline::BindPlanes() {
    const int count = layout_ == Layout::Planar ? 3 : layout_ == Layout::SemiPlanar ? 2 : 1;
    for (int p = 0; p < 3; ++p) {
        glActiveTexture(GL_TEXTURE0 + p);
        glBindTexture(GL_TEXTURE_2D, p < count ? planes_[p].id : 0);
    }
    glActiveTexture(GL_TEXTURE0);
}

QImage GlPipeline::ReadPicture() {
    if (!created_ || layout_ == Layout::None) return QImage();
    GLint previousFbo = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFbo);
    const int w = pictureSize_.width(), h = pictureSize_.height();
    GLuint texture = 0, fbo = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, w, h);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    BindPlanes();
    QOpenGLShaderProgram* program = readPrograms_[static_cast<int>(layout_)].get();
    program->bind();
    glBindVertexArray(emptyVao_);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    program->release();
    QImage img(pictureSize_, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // Framebuffer row 0 is the frame's top row (plane row 0), so the rows
    // come out top first.
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, img.bits());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFbo));
    glDeleteFramebuffers(1, &fbo);
    glDeleteTextures(1, &texture);
    return img;
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
    if (!model || layout_ == Layout::None || model->Indices().empty()) return;

    const Viewport& vp = model->GetViewport();
    if (vp.width <= 0 || vp.height <= 0) return;
    // The model's viewport counts y downwards from the top; GL's from the bottom.
    glViewport(static_cast<GLint>(vp.x),
               static_cast<GLint>(static_cast<float>(size.height()) - (vp.y + vp.height)),
               static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height));
    glDepthRangef(vp.minDepth, vp.maxDepth);
    // The depth buffer is cleared but not tested: every model is one surface
    // that never hides part of itself from its camera (flat panels side by
    // side at z = 0; the sphere seen from inside, where each line of sight
    // meets it once), so the test would reject nothing, and a software
    // rasteriser pays a depth read and write for every pixel of the area.
    glDisable(GL_DEPTH_TEST);

    const ShaderConstants constants = model->UpdateConstants();
    glBindBuffer(GL_UNIFORM_BUFFER, constantBuffer_);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof constants, &constants);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, constantBuffer_);

    ModelBuffers& b = BuffersFor(*model);
    const int layout = static_cast<int>(layout_);
    QOpenGLShaderProgram* program = modelPrograms_[layout].get();
    program->bind();
    if (lumaSizeLocation_[layout] >= 0)
        glUniform4f(lumaSizeLocation_[layout], static_cast<float>(planes_[0].width),
                    static_cast<float>(planes_[0].height), static_cast<float>(planes_[1].width),
                    static_cast<float>(planes_[1].height));
    BindPlanes();
    for (GLuint unit = 0; unit < 3; ++unit)
        glBindSampler(unit, sampler_);
    glBindVertexArray(b.vao);
    glDrawElements(GL_TRIANGLES, b.indexCount, GL_UNSIGNED_SHORT, nullptr);
    glBindVertexArray(0);
    for (GLuint unit = 0; unit < 3; ++unit)
        glBindSampler(unit, 0);
    program->release();
    glDepthRangef(0, 1);
}

} // namespace playcore
