#pragma once
// Draws a video surface's pictures with OpenGL. The decoder's 4:2:0 planes are uploaded as
// three one-byte textures and a fragment shader converts them to RGB while the quad scales
// them to the drawn area, so the decoding thread neither scales nor converts. Pictures that
// still come as BGRA (a draw callback draws on them, or the stream is not 4:2:0) are uploaded
// as they are. A child of VideoPictureArea, covering it; UI thread only.
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QRgb>
#include <functional>
#include <memory>
#include <vector>

#include "player/video_surface.h"

namespace ocv {

// Whether pictures go to the screen through OpenGL: an OpenGL context can be made on this
// platform and its renderer is hardware. Software renderers (Mesa's llvmpipe under Xvfb, the
// offscreen platform) convert slower on the UI thread than the decoder does with SIMD, so they
// keep the BGRA path. The environment variable OCV_VIDEO_GPU=on takes a software renderer too
// (the smoke test, benchmarks); OCV_VIDEO_GPU=off never uses OpenGL. Decided once, on the UI
// thread, at the first call.
bool GpuVideoAvailable();

class GpuVideoView final : public QOpenGLWidget, protected QOpenGLFunctions {
public:
    explicit GpuVideoView(QRgb background, QWidget* parent = nullptr);
    ~GpuVideoView() override;

    // The picture to draw from now on (nullptr: the background); repaints.
    void SetPicture(std::shared_ptr<const player::VideoPicture> picture);
    void SetBackground(QRgb colour);
    // Called (on the UI thread, from initializeGL) when this context cannot build the shaders:
    // the owner goes back to BGRA pictures.
    void SetFailureHandler(std::function<void()> handler) { onFailure_ = std::move(handler); }
    // Pictures drawn since the start, and whether the shader could be built.
    uint64_t DrawnPictures() const { return drawn_; }
    bool Ready() const { return program_ != 0; }
    // Tests: views initialised from now on act as if their shaders did not compile.
    static void FailShadersForTesting(bool fail);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    // Uploads plane i (width x height bytes per pixel `bytes`, rows `stride` apart) into its
    // texture, reallocating it when the size changed.
    void Upload(int i, const uint8_t* data, int stride, int width, int height, int bytes);
    void DrawPicture(const player::VideoPicture& picture);
    void ReleaseGl();
    unsigned Compile(unsigned type, const char* source);

    std::function<void()> onFailure_;
    std::shared_ptr<const player::VideoPicture> picture_;
    const player::VideoPicture* uploaded_ = nullptr;  // the picture the textures hold
    QRgb background_;
    uint64_t drawn_ = 0;
    unsigned program_ = 0;
    int uniformMode_ = -1, uniformMatrix_ = -1, uniformOffset_ = -1, uniformSamplers_[3] = {-1, -1, -1};
    unsigned textures_[3] = {0, 0, 0};
    unsigned quad_ = 0;  // the vertex buffer of the drawn rectangle
    int textureSizes_[3][3] = {};  // width, height, bytes per pixel of each texture
    bool rowLength_ = false;       // GL_UNPACK_ROW_LENGTH exists (desktop OpenGL, ES 3)
    bool redFormat_ = false;       // one-byte textures are GL_RED (OpenGL 3, ES 3), else luminance
    std::vector<uint8_t> packed_;  // rows packed for a context without GL_UNPACK_ROW_LENGTH
};

}  // namespace ocv
