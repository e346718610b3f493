#pragma once
// The player library: decodes live H.264 and H.265 streams and recording files (.qvx) with
// their G.711 sound and draws the pictures into video surfaces. A player instance is
// addressed by the handle that
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

// Video codec: word 0 of the 28-byte stream header (also in a recording file's header).
// 0, the word of a cell's default header, says nothing: the decoder follows the stream,
// H.264 until a key frame carries H.265 parameter sets (and back).
#define QVXPLAY_CODEC_H264 1  // Annex-B byte stream
#define QVXPLAY_CODEC_H265 2  // Annex-B byte stream (HEVC)

// QVXPlay_GetPlayState results, and what the state callback reports.
#define QVXPLAY_STATE_NONE 0     // nothing open
#define QVXPLAY_STATE_PLAYING 1
#define QVXPLAY_STATE_STOPPED 2  // open, not playing
#define QVXPLAY_STATE_PAUSED 3   // also after the end of a file, on its last picture
#define QVXPLAY_STATE_END 4      // state callback only: the end of the file was reached

// File playback speed levels: level L plays at 2^L times normal speed.
//   -3: 1/8   -2: 1/4   -1: 1/2   0: normal   1: 2x   2: 4x   3: 8x   4: 16x
#define QVXPLAY_SPEED_SLOWEST (-3)
#define QVXPLAY_SPEED_NORMAL 0
#define QVXPLAY_SPEED_FASTEST 4

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

// State callback, called on the port's playing thread when the port changes state by
// itself, which is when a file reaches its end (QVXPLAY_STATE_END; the port then waits
// paused on the last picture). It must return quickly; of the calls on the same port it
// may only use the QVXPlay_Get* ones.
typedef void (*QVXPlayStateFun)(int port, int state, intptr_t user);

// Creates the instance of port number 0..255 and gives its handle (> 0) in *port.
// -2 when that port number already has an instance.
int QVXPlay_InitV2(int* port, int portNumber);
// Stops and destroys the instance; the surface and the overlay callback are no longer
// called once it returns.
int QVXPlay_DeInit(int port);

// Binds the video surface (an ocv::player::VideoSurface*, see player/video_surface.h);
// nullptr unbinds. Once this returns, the previous surface is not called again. A surface
// owned by a std::shared_ptr is held by the port until it is unbound (or the port is
// de-initialised), so its owner may let it go at any time; any other surface must outlive
// its binding.
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

// Takes the 28-byte stream header (ocv::StreamInfo). Word 0 chooses the decoder
// (QVXPLAY_CODEC_*; -1 for others). Width and height are only a hint: the decoder follows
// the stream, whatever size the header announced. Allowed while playing (a new stream
// follows; call QVXPlay_ResetSourceBuffer to drop the old).
int QVXPlay_OpenStream(int port, const void* streamHeader, int headerLength);
// Starts the decoding thread of the port, or resumes after QVXPlay_Pause. With a file
// open (QVXPlay_OpenFile), plays the file. -1 without an open stream or file.
int QVXPlay_Play(int port);
// Ends the decoding thread and drops everything buffered (also the picture waiting in the
// surface and the last picture). The stream stays open, so QVXPlay_Play can start again;
// an open file stays open and plays again from its beginning.
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
// The same picture file as QVXPlay_Capture, into the caller's buffer instead of a file:
// *length gives the buffer's size and returns the bytes written. -2 with *length = 0 when
// no picture has been decoded; -2 with *length = the size needed (nothing written) when the
// buffer is too small; -1 for bad arguments or a failed encoding.
int QVXPlay_CaptureToBuffer(int port, int bitmapFlag, int quality, void* buffer, int* length);

// ---- Recording files (.qvx, docs/storage-format.md) --------------------------------
// Positions are on the file's video time line: milliseconds since the file's start time,
// as the key-frame index counts them. The duration is the time of the last whole video
// record. A position in percent p means p * duration / 100, and playing starts at the key
// frame at or before it (the index finds it; where the index is missing or damaged the
// records are walked). A file still being written (modified within the last 3 s) plays
// up to what is written and follows its growth; a file cut short, damaged records and
// garbage after the last record end playing at the last whole, sensible record.

// Opens a recording on the port, to play from startPercent (0..100). Stops what the port
// played (a live stream keeps its header for later). The port is then stopped
// (QVXPLAY_STATE_STOPPED); QVXPlay_Play starts. The file's sound attributes (header words
// 3..6) become the port's. -1 (with a trace line) for a missing file, one that is no
// recording, a codec that is not decoded, or a percentage outside 0..100.
int QVXPlay_OpenFile(int port, const char* path, int startPercent);
// Stops and closes the file; the port's state becomes QVXPLAY_STATE_NONE for files. 0 also
// when no file was open.
int QVXPlay_CloseFile(int port);
// Pauses: a file keeps its place and its picture, a live stream discards input
// (QVXPlay_PauseDecoder). QVXPlay_Play resumes. -1 when the port is not playing.
int QVXPlay_Pause(int port);
// One speed level faster / slower (QVXPLAY_SPEED_*); at the fastest / slowest level the
// level stays and 0 is returned. The level holds for files opened later too; a live
// stream is paced by its source and ignores it. Sound is played at normal speed only.
int QVXPlay_Fast(int port);
int QVXPlay_Slow(int port);
// Sets the speed level directly (QVXPLAY_SPEED_NORMAL, 0, is normal speed); -1 outside
// -3..4.
int QVXPlay_SetRate(int port, int level);
// The speed level, or -1 for an invalid handle.
int QVXPlay_GetPlaySpeed(int port);
// Pauses (if playing) and shows the next picture of the file; every call shows exactly
// one more picture. When stopped, the first call shows the picture where playing would
// start. -1 without a file.
int QVXPlay_OneByOne(int port);
// Draws the last picture again, as the surface, display mode and region are now (after a
// resize or a zoom while paused). -2 when there is no picture.
int QVXPlay_ShowFrame(int port);
// QVXPLAY_STATE_NONE, _PLAYING, _STOPPED or _PAUSED; -1 for an invalid handle.
int QVXPlay_GetPlayState(int port);
// nullptr removes the callback.
int QVXPlay_SetStateCallBack(int port, QVXPlayStateFun fun, intptr_t user);
// Draws the picture of a recording at percent (0..100) of its duration into the port's
// surface, on the calling thread (a hover preview: the port needs no file open and
// nothing playing). The picture is the key frame at or before that place and becomes the
// port's last picture. -1 when the file cannot be played or holds no picture there.
int QVXPlay_ShotImage(int port, const char* path, int percent);
// The file's duration in ms (grows while a recording being written is followed; known
// once the port has looked at the file's end, when it first plays or steps), the
// position of the picture shown last in ms, and that position in percent of the duration
// (0 while the duration is 0). -1 without a file.
int QVXPlay_GetFileTime(int port);
int QVXPlay_GetPlayedTime(int port);
int QVXPlay_GetPlayPos(int port);
// Goes to percent (0..100) of the duration: to the key frame at or before it. Paused, the
// picture there is shown; stopped, the next QVXPlay_Play starts there. -1 without a file.
int QVXPlay_SetPlayPos(int port, int percent);


// ---- Voice capture: the microphone as G.711 A-law blocks (talk and broadcast) -------
// The microphone comes from the application's audio input (ocv::player::SetAudioInputFactory);
// without one a capture cannot start. Handles are positive and never reused.

// Capture format, seven 32-bit words; the only format taken is 8, 8000, 16, 128000, 2, 1, 0.
#define QVXPLAY_VOICE_ALAW 8
typedef struct QVXPlayVoiceAttr {
    int32_t encoding;       // QVXPLAY_VOICE_ALAW: blocks are G.711 A-law
    int32_t sampleRate;     // 8000 Hz
    int32_t bitsPerSample;  // 16: what the microphone is read at
    int32_t bitRate;        // 128000: of the microphone's samples
    int32_t blockAlign;     // 2 bytes per sample frame
    int32_t channels;       // 1
    int32_t reserved;       // 0
} QVXPlayVoiceAttr;

// Capture callback, on the audio input's thread: one block of A-law bytes (20 ms), its length,
// the capture time of its last sample in milliseconds of the monotonic clock (wrapping; only
// differences count), and the context given to QVXPlay_VoStart. It must return quickly.
typedef void (*QVXPlayVoiceFun)(const uint8_t* data, int length, uint32_t captureMs, void* context);

int QVXPlay_VoInit(int* handle);
// -1 for another format, or while the capture runs.
int QVXPlay_VoSetVAttr(int handle, const QVXPlayVoiceAttr* attr);
// Starts capturing; -1 without a format, when already running or without a microphone.
int QVXPlay_VoStart(int handle, QVXPlayVoiceFun fun, void* context);
// No callback runs once it returns.
int QVXPlay_VoStop(int handle);
// Stops (if running) and frees the instance; the handle is invalid afterwards.
int QVXPlay_VoDeInit(int handle);

#ifdef __cplusplus
}
#endif
