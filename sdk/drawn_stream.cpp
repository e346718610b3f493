#include "sdk/drawn_stream.h"

#include <cstring>

#include "base/media_types.h"
#include "base/port_slots.h"
#include "base/trace.h"
#include "player/qvx_player.h"
#include "sdk/sdk_core.h"

namespace ocv::sdk {

DrawnStream::DrawnStream(int32_t handle, int32_t loginHandle, int portNumber, int port)
    : handle_(handle), loginHandle_(loginHandle), portNumber_(portNumber), port_(port) {}

DrawnStream::~DrawnStream() { Stop(); }

int DrawnStream::Open(DeviceLogin& login, int32_t handle, const StreamRequest& request, void* window,
                      std::shared_ptr<DrawnStream>* out) {
    int number = TakePort();
    if (number < 0) {
        Trace("drawn stream of channel %u: no free player port\n", request.channel);
        return QVX_ERR_FAILED;
    }
    int port = 0;
    if (QVXPlay_InitV2(&port, number) != QVXPLAY_OK || port <= 0) {
        ocv::ReleasePort(number);
        Trace("drawn stream of channel %u: player port %d cannot be created\n", request.channel, number);
        return QVX_ERR_FAILED;
    }
    auto stream = std::make_shared<DrawnStream>(handle, login.handle(), number, port);
    // A header of zeros: the decoder follows what the stream carries (H.264 or H.265).
    StreamInfo header{};
    if (QVXPlay_SetDrawWnd(port, window) != QVXPLAY_OK ||
        QVXPlay_RegisterDrawFun(port, &DrawnStream::OnPicture, reinterpret_cast<intptr_t>(stream.get())) != QVXPLAY_OK ||
        QVXPlay_OpenStream(port, &header, int(sizeof header)) != QVXPLAY_OK || QVXPlay_Play(port) != QVXPLAY_OK) {
        Trace("drawn stream of channel %u: the player port refused the window\n", request.channel);
        return QVX_ERR_FAILED;  // the stream's destructor gives the port back
    }
    // The frames carry the object's address: it lives in the stream table until Stop returns.
    int result = login.OpenStream(handle, request, &DrawnStream::OnData, reinterpret_cast<intptr_t>(stream.get()),
                                  &stream->inner_);
    if (result != QVX_OK) return result;
    *out = std::move(stream);
    return QVX_OK;
}

void DrawnStream::Stop() {
    std::lock_guard<std::mutex> lock(stopMutex_);
    if (inner_) {
        inner_->Stop();
        inner_.reset();
    }
    FreePort();
}

void DrawnStream::FreePort() {
    if (portReleased_) return;
    portReleased_ = true;
    QVXPlay_DeInit(port_);
    ocv::ReleasePort(portNumber_);
}

void DrawnStream::SetDrawCallback(QVX_DrawCallBack callback, intptr_t user) {
    std::lock_guard<std::mutex> lock(drawMutex_);
    draw_ = callback;
    drawUser_ = user;
}

void DrawnStream::OnData(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
    auto* self = reinterpret_cast<DrawnStream*>(user);
    if (kind != QVX_DATA_FRAME || length < int32_t(kFrameHeaderBytes)) return;
    FrameHeader h;
    std::memcpy(&h, data, sizeof h);
    // A preview has no sound.
    if (IsVideoFrame(h)) QVXPlay_InputVideoData(self->port_, data, length);
}

void DrawnStream::OnPicture(int, QVXPlayDrawContext* context, int pictureWidth, int pictureHeight, int, int, int, int,
                            intptr_t user) {
    auto* self = reinterpret_cast<DrawnStream*>(user);
    std::lock_guard<std::mutex> lock(self->drawMutex_);
    if (self->draw_) self->draw_(self->handle_, context, pictureWidth, pictureHeight, self->drawUser_);
}

int32_t OpenDrawnStream(Core& core, const std::shared_ptr<DeviceLogin>& login, const uint32_t* request, void* window,
                        QVX_HANDLE* outHandle) {
    StreamRequest r;
    r.channel = request[1];
    r.streamType = request[2];
    r.mode = request[4];
    if (!window || r.channel >= 64 || r.streamType > 2 || (r.mode != 3 && r.mode != 1 && r.mode != 8))
        return QVX_ERR_FAILED;
    int32_t handle = core.NewHandle();
    std::shared_ptr<DrawnStream> stream;
    int result = DrawnStream::Open(*login, handle, r, window, &stream);
    if (result != QVX_OK) return result;
    core.Insert(core.streams, handle, std::static_pointer_cast<LiveStream>(stream));
    *outHandle = handle;
    return QVX_OK;
}

}  // namespace ocv::sdk

using namespace ocv::sdk;

extern "C" int32_t QVX_SDK_RegisterDrawFun(QVX_HANDLE streamHandle, QVX_DrawCallBack callback, intptr_t user) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto drawn = std::dynamic_pointer_cast<DrawnStream>(core->Lookup(core->streams, streamHandle));
    if (!drawn) return QVX_ERR_HANDLE;
    drawn->SetDrawCallback(callback, user);
    return QVX_OK;
}
