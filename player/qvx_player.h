#pragma once
// The player library: decodes live H.264 streams with their G.711 sound and draws the
// pictures into video surfaces. A player instance is addressed by the handle that
// QVXPlay_InitV2 gives out for a port number 0..255 (the caller takes the number from
// PortSlots). Every call returns 0 for success, -1 for an invalid handle, argument or
// failed operation, -2 for no room, nothing there or already in use, unless noted.
// All calls are safe from any thread. Handles of de-initialised ports stay invalid even
// when the port number is taken again.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVXPLAY_OK 0
#define QVXPLAY_ERROR (-1)
#define QVXPLAY_EMPTY (-2)

#define QVXPLAY_MAX_PORTS 256
// Pictures wider or taller than this, or with more pixels in all (8K formats fit), are
// refused by the decoder before it takes memory for them.
#define QVXPLAY_MAX_PICTURE_SIDE 8192
#define QVXPLAY_MAX_PICTURE_PIXELS (8192 * 4320)
// Largest SetPlayerBufNumber value taken; larger values are lowered to it.
#define QVXPLAY_MAX_BUFFERED_PICTURES 30

// Pixel formats of video surfaces and of the overlay drawing context.
#define QVXPLAY_PIXEL_BGRA32 0  // bytes B,G,R,A per pixel (a little-endian 0xAARRGGBB word)
#define QVXPLAY_PIXEL_RGBA32 1  // bytes R,G,B,A
#define QVXPLAY_PIXEL_RGB24 2   // bytes R,G,B
#define QVXPLAY_PIXEL_I420 3    // planar Y, U, V; U and V at half width and height

// QVXPlay_SetDrawMode methods: how pictures are scaled to the surface.
#define QVXPLAY_DRAW_FAST 0    // fast bilinear: lowest CPU, for many small cells
#define QVXPLAY_DRAW_SMOOTH 1  // bicubic: sharper when enlarging, about 40% more scaling work

// QVXPlay_SetDisplayMode modes (a channel's AUTOADJUST value).
#define QVXPLAY_DISPLAY_STRETCH 0  // the picture fills the whole surface
#define QVXPLAY_DISPLAY_KEEP 1     // original proportions, centred, margins left empty

// QVXPlay_GetSoundState results.
#define QVXPLAY_SOUND_PLAYING 0
#define QVXPLAY_SOUND_CLOSED 1

// A rectangle in picture pixels: left and top inclusive, right and bottom exclusive.
typedef struct QVXPlayRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} QVXPlayRect;

// Audio attributes: words 3..6 of the 28-byte stream header, in the same layout.
typedef struct QVXPlayAudioAttr {
    uint32_t encoding;    // 1 G.711 A-law, 2 G.711 mu-law; anything else is not played
    uint32_t sampleRate;  // samples per second; 0 means 8000
    uint32_t channels;    // 0 or 1 means mono, 2 stereo
    uint32_t reserved;    // carried, not interpreted
} QVXPlayAudioAttr;

// The finished picture that the overlay callback may draw on, in surface pixels. It
// covers the drawn area only (the surface without its margins).
typedef struct QVXPlayDrawContext {
    uint8_t* planes[3];  // one plane for packed formats, three for I420
    int strides[3];      // bytes per row of each plane
    int pixelFormat;     // QVXPLAY_PIXEL_*
    int width;           // drawn area: windowWidth - 2 * marginX
    int height;          // drawn area: windowHeight - 2 * marginY
} QVXPlayDrawContext;

// Overlay callback, called on the port's decoding thread after each picture has been
// converted and before it is handed to the surface. The nine values:
//   port           the handle the callback was registered on;
//   context        the drawn picture (above); valid only during the call;
//   pictureWidth, pictureHeight
//                  the decoded picture's size in pixels (the whole picture, not the zoomed
//                  region); the overlay's logical coordinates: a point (x, y) of the
//                  picture lies at (x * context->width / pictureWidth,
//                  y * context->height / pictureHeight) in the context (also while a
//                  zoom region is shown: the overlay space always spans the drawn area);
//   windowWidth, windowHeight
//                  the surface size the picture was made for;
//   marginX, marginY
//                  the empty border left and right (marginX) and above and below
//                  (marginY) of the picture in the surface; 0 when stretched;
//   user           the value given to QVXPlay_RegisterDrawFun.
// It must return quickly and must not call QVXPlay_SetDrawWnd, QVXPlay_ResetSourceBuffer,
// QVXPlay_PauseDecoder, QVXPlay_Stop or QVXPlay_DeInit of the same port.
typedef void (*QVXPlayDrawFun)(int port, QVXPlayDrawContext* context, int pictureWidth,
                               int pictureHeight, int windowWidth, int windowHeight,
                               int marginX, int marginY, intptr_t user);

// Creates the instance of port number 0..255 and gives its handle (> 0) in *port.
// -2 when that port number already has an instance.
int QVXPlay_InitV2(int* port, int portNumber);
// Stops and destroys the instance; the surface and the overlay callback are no longer
// called once it returns.
int QVXPlay_DeInit(int port);

// Binds the video surface (an ocv::player::VideoSurface*, see player/video_surface.h);
// nullptr unbinds. Once this returns, the previous surface is not called again.
int QVXPlay_SetDrawWnd(int port, void* window);
// QVXPLAY_DRAW_FAST (the default) or QVXPLAY_DRAW_SMOOTH.
int QVXPlay_SetDrawMode(int port, int method);
// 1 (the default): pictures go to the surface; 0: pictures are decoded (and can be
// captured) but not drawn.
int QVXPlay_SetDrawEnable(int port, int enable);
// nullptr removes the callback; a call already under way on the decoding thread may still
// finish after this returns (QVXPlay_Stop and QVXPlay_DeInit wait for it).
int QVXPlay_RegisterDrawFun(int port, QVXPlayDrawFun fun, intptr_t user);

// 0 (the default): each picture is drawn as soon as it is decoded, the lowest delay.
// N > 0: up to N decoded pictures wait and are drawn at the pace of their timestamps,
// which smooths the motion of a stream that arrives in bursts.
int QVXPlay_SetPlayerBufNumber(int port, int frameCount);

// Takes the 28-byte stream header (ocv::StreamInfo). Its width and height are only a
// hint: the decoder follows the stream, whatever size the header announced. Allowed
// while playing (a new stream follows; call QVXPlay_ResetSourceBuffer to drop the old).
int QVXPlay_OpenStream(int port, const void* streamHeader, int headerLength);
// Starts the decoding thread of the port. -1 without an open stream.
int QVXPlay_Play(int port);
// Ends the decoding thread and drops everything buffered. The stream stays open, so
// QVXPlay_Play can start again.
int QVXPlay_Stop(int port);
// Drops buffered frames and pictures (also the one waiting in the surface and the last
// picture kept for capture); decoding resumes at the next key frame.
int QVXPlay_ResetSourceBuffer(int port);

// A frame record exactly as the device library delivers it: the 16-byte header
// (ocv::FrameHeader) and its data. Returns 0 when the record is taken or deliberately
// discarded (paused, waiting for a key frame, sound closed), -1 for a malformed record
// (shorter than its header says, longer than the largest frame, extension blocks longer
// than the data) or a port that is not playing.
int QVXPlay_InputVideoData(int port, const void* frame, int length);
int QVXPlay_InputAudioData(int port, const void* frame, int length);

// A paused decoder discards input without decoding; after QVXPlay_ResumeDecoder it
// restarts at the next key frame, so no broken picture is shown. Both are cheap when
// nothing changes, so they may be called for every frame.
int QVXPlay_PauseDecoder(int port);
int QVXPlay_ResumeDecoder(int port);

// Sound of the port through the process's audio output (ocv::player::SetAudioOutputFactory).
int QVXPlay_SetAudioAttr(int port, const QVXPlayAudioAttr* attr);
int QVXPlay_OpenSound(int port);
int QVXPlay_CloseSound(int port);
// QVXPLAY_SOUND_PLAYING, QVXPLAY_SOUND_CLOSED, or -1 for an invalid handle.
int QVXPlay_GetSoundState(int port);

// QVXPLAY_DISPLAY_STRETCH or QVXPLAY_DISPLAY_KEEP; Get returns the mode or -1.
int QVXPlay_SetDisplayMode(int port, int mode);
int QVXPlay_GetDisplayMode(int port);
// Digital zoom: only this part of the picture is drawn, stretched over the whole surface
// whatever the display mode. nullptr or an empty rectangle shows the whole picture again
// (fitted as the display mode says). The rectangle is clipped to the picture; one wholly
// outside it shows the whole picture.
int QVXPlay_SetDisplayRegion(int port, const QVXPlayRect* region);

// Writes the last decoded picture at its full size to path: bitmapFlag 0 as JPEG with
// quality 1..100, otherwise as a 24-bit BMP (quality ignored). -2 and no file when no
// picture has been decoded; -1 when the file cannot be written.
int QVXPlay_Capture(int port, const char* path, int bitmapFlag, int quality);

#ifdef __cplusplus
}
#endif
