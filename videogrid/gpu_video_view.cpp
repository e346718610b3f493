#include "videogrid/gpu_video_view.h"

#include <QByteArray>
#include <QColor>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <atomic>
#include <cstring>

#include "base/trace.h"

#ifndef GL_RED
#define GL_RED 0x1903
#endif
#ifndef GL_R8
#define GL_R8 0x8229
#endif
#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif

namespace ocv {
namespace {

// Written for the oldest shading language every context takes (GLSL 1.10, GLSL ES 1.00).
constexpr const char* kVertexShader = R"(
attribute vec2 position;
varying vec2 coord;
void main() {
    // The first row of the planes is the top of the picture.
    coord = vec2((position.x + 1.0) * 0.5, (1.0 - position.y) * 0.5);
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(
#ifdef GL_ES
precision mediump float;
#endif
varying vec2 coord;
uniform sampler2D plane0;
uniform sampler2D plane1;
uniform sampler2D plane2;
uniform int mode;      // 0: Y, U, V planes; 1: one BGRA plane
uniform mat3 matrix;   // (Y, U, V) - offset to R, G, B
uniform vec3 offset;
void main() {
    if (mode == 1) {
        gl_FragColor = vec4(texture2D(plane0, coord).bgr, 1.0);
        return;
    }
    vec3 yuv = vec3(texture2D(plane0, coord).r, texture2D(plane1, coord).r, texture2D(plane2, coord).r);
    gl_FragColor = vec4(clamp(matrix * (yuv - offset), 0.0, 1.0), 1.0);
}
)";

// Column-major (the Y, U and V columns) for glUniformMatrix3fv.
constexpr float kLimited601[9] = {1.164f, 1.164f, 1.164f, 0.0f, -0.392f, 2.017f, 1.596f, -0.813f, 0.0f};
constexpr float kFull601[9] = {1.0f, 1.0f, 1.0f, 0.0f, -0.344f, 1.772f, 1.402f, -0.714f, 0.0f};
constexpr float kLimited709[9] = {1.164f, 1.164f, 1.164f, 0.0f, -0.213f, 2.112f, 1.793f, -0.533f, 0.0f};
constexpr float kFull709[9] = {1.0f, 1.0f, 1.0f, 0.0f, -0.187f, 1.856f, 1.575f, -0.468f, 0.0f};

std::atomic<bool> gFailShaders{false};

constexpr float kQuad[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};

bool IsSoftwareRenderer(const char* renderer) {
    if (renderer == nullptr) return true;
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (strstr(renderer, name) != nullptr) return true;
    return false;
}

bool DecideGpuVideo() {
    const QByteArray mode = qgetenv("OCV_VIDEO_GPU");
    if (mode == "off") return false;
    QOpenGLContext context;
    if (!context.create()) return false;  // no OpenGL on this platform (offscreen, minimal)
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    const char* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    bool software = IsSoftwareRenderer(renderer);
    Trace("video to the screen: OpenGL renderer %s%s\n", renderer ? renderer : "(none)",
          software && mode != "on" ? ", software: pictures are converted by the decoders" : "");
    context.doneCurrent();
    return mode == "on" || !software;
}

}  // namespace

void GpuVideoView::FailShadersForTesting(bool fail) { gFailShaders = fail; }

bool GpuVideoAvailable() {
    static const bool available = DecideGpuVideo();
    return available;
}

GpuVideoView::GpuVideoView(QRgb background, QWidget* parent) : QOpenGLWidget(parent), background_(background) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

GpuVideoView::~GpuVideoView() {
    if (context() == nullptr) return;
    makeCurrent();
    ReleaseGl();
    doneCurrent();
}

void GpuVideoView::SetPicture(std::shared_ptr<const player::VideoPicture> picture) {
    picture_ = std::move(picture);
    uploaded_ = nullptr;  // the textures hold the previous one (its memory may be reused)
    update();
}

void GpuVideoView::SetBackground(QRgb colour) {
    if (colour == background_) return;
    background_ = colour;
    if (!picture_) update();
}

unsigned GpuVideoView::Compile(unsigned type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
        Trace("video to the screen: a shader did not compile: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void GpuVideoView::initializeGL() {
    initializeOpenGLFunctions();
    // A widget moved to another window gets a new context: what the old one held is gone.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        ReleaseGl();
        doneCurrent();
    });
    const QSurfaceFormat format = context()->format();
    const bool es = context()->isOpenGLES();
    rowLength_ = !es || format.majorVersion() >= 3;
    redFormat_ = format.majorVersion() >= 3;
    GLuint vertex = gFailShaders ? 0 : Compile(GL_VERTEX_SHADER, kVertexShader);
    GLuint fragment = gFailShaders ? 0 : Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (vertex != 0 && fragment != 0) {
        GLuint program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glBindAttribLocation(program, 0, "position");
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok) {
            program_ = program;
        } else {
            Trace("video to the screen: the shader program did not link\n");
            glDeleteProgram(program);
        }
    }
    if (vertex != 0) glDeleteShader(vertex);
    if (fragment != 0) glDeleteShader(fragment);
    if (program_ == 0) {
        if (onFailure_) onFailure_();
        return;
    }
    glUseProgram(program_);
    for (int i = 0; i < 3; ++i) {
        const char name[] = {'p', 'l', 'a', 'n', 'e', static_cast<char>('0' + i), '\0'};
        uniformSamplers_[i] = glGetUniformLocation(program_, name);
        glUniform1i(uniformSamplers_[i], i);
    }
    uniformMode_ = glGetUniformLocation(program_, "mode");
    uniformMatrix_ = glGetUniformLocation(program_, "matrix");
    uniformOffset_ = glGetUniformLocation(program_, "offset");
    glUseProgram(0);
    glGenTextures(3, textures_);
    for (GLuint texture : textures_) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenBuffers(1, &quad_);
    glBindBuffer(GL_ARRAY_BUFFER, quad_);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    memset(textureSizes_, 0, sizeof textureSizes_);
    uploaded_ = nullptr;
}

void GpuVideoView::ReleaseGl() {
    if (program_ != 0) glDeleteProgram(program_);
    program_ = 0;
    if (textures_[0] != 0) glDeleteTextures(3, textures_);
    memset(textures_, 0, sizeof textures_);
    if (quad_ != 0) glDeleteBuffers(1, &quad_);
    quad_ = 0;
    memset(textureSizes_, 0, sizeof textureSizes_);
    uploaded_ = nullptr;
}

void GpuVideoView::Upload(int i, const uint8_t* data, int stride, int width, int height, int bytes) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
    glBindTexture(GL_TEXTURE_2D, textures_[i]);
    const GLenum format = bytes == 4 ? GL_RGBA : redFormat_ ? GL_RED : GL_LUMINANCE;
    const GLint internal = bytes == 4 ? GL_RGBA : redFormat_ ? GL_R8 : GL_LUMINANCE;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const int rowBytes = width * bytes;
    bool rowLengthSet = false;
    if (stride != rowBytes) {
        if (rowLength_ && stride % bytes == 0) {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / bytes);
            rowLengthSet = true;
        } else {
            packed_.resize(static_cast<size_t>(rowBytes) * static_cast<size_t>(height));
            for (int row = 0; row < height; ++row)
                memcpy(packed_.data() + static_cast<size_t>(row) * rowBytes, data + static_cast<ptrdiff_t>(row) * stride,
                       static_cast<size_t>(rowBytes));
            data = packed_.data();
        }
    }
    int* size = textureSizes_[i];
    if (size[0] != width || size[1] != height || size[2] != bytes) {
        glTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, format, GL_UNSIGNED_BYTE, data);
        size[0] = width;
        size[1] = height;
        size[2] = bytes;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, data);
    }
    if (rowLengthSet) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void GpuVideoView::DrawPicture(const player::VideoPicture& picture) {
    const bool yuv = picture.format == player::PixelFormat::kDecodedYuv;
    const bool bgra = picture.format == player::PixelFormat::kBgra32;
    if ((!yuv && !bgra) || picture.planes[0] == nullptr || picture.width <= 0 || picture.height <= 0) return;
    if (yuv && (picture.planeWidth <= 0 || picture.planeHeight <= 0 || !picture.planes[1] || !picture.planes[2]))
        return;
    if (uploaded_ != &picture) {
        if (yuv) {
            const int cw = (picture.planeWidth + 1) / 2, ch = (picture.planeHeight + 1) / 2;
            Upload(0, picture.planes[0], picture.strides[0], picture.planeWidth, picture.planeHeight, 1);
            Upload(1, picture.planes[1], picture.strides[1], cw, ch, 1);
            Upload(2, picture.planes[2], picture.strides[2], cw, ch, 1);
        } else {
            Upload(0, picture.planes[0], picture.strides[0], picture.width, picture.height, 4);
        }
        uploaded_ = &picture;
        ++drawn_;
    }
    glUseProgram(program_);
    glUniform1i(uniformMode_, yuv ? 0 : 1);
    if (yuv) {
        const float* matrix = picture.bt709 ? (picture.fullRange ? kFull709 : kLimited709)
                                            : (picture.fullRange ? kFull601 : kLimited601);
        glUniformMatrix3fv(uniformMatrix_, 1, GL_FALSE, matrix);
        const float luma = picture.fullRange ? 0.0f : 16.0f / 255.0f;
        glUniform3f(uniformOffset_, luma, 128.0f / 255.0f, 128.0f / 255.0f);
    }
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, textures_[i]);
    }
    // The picture keeps the place the player gave it in the surface, like the BGRA path.
    const qreal ratio = devicePixelRatioF();
    const int framebufferHeight = static_cast<int>(height() * ratio + 0.5);
    glViewport(static_cast<GLint>(picture.x * ratio), framebufferHeight - static_cast<GLint>((picture.y + picture.height) * ratio),
               static_cast<GLsizei>(picture.width * ratio), static_cast<GLsizei>(picture.height * ratio));
    glBindBuffer(GL_ARRAY_BUFFER, quad_);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
}

void GpuVideoView::paintGL() {
    const QColor clear = picture_ ? QColor(Qt::black) : QColor::fromRgba(background_);
    glClearColor(static_cast<float>(clear.redF()), static_cast<float>(clear.greenF()),
                 static_cast<float>(clear.blueF()), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (picture_ && program_ != 0) DrawPicture(*picture_);
}

}  // namespace ocv
