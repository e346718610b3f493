#pragma once
// What pages ask of a device's own settings: configuration records of a channel, the device's
// stored pictures, a restart, and a preview picture drawn by the device library. All of them talk
// to the device: never on the UI thread. Implemented by DeviceConfigService.
#include <cstdint>

#include "player/qvx_player.h"

namespace ocv {

// The most a device picture (FetchDevicePicture) may hold.
constexpr uint32_t kMaxDevicePictureBytes = 1048576;

class DeviceConfiguration {
public:
    virtual ~DeviceConfiguration() = default;
    // Sends a configuration record (a QVX_CMD_* command) to the channel of a logged-in device.
    virtual int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer,
                                  uint32_t length) = 0;
    // Picture number of a channel from AppDir/Pic/<host>-<port>/<number>.h264, fetched from the
    // device when not cached. length: buffer size in, bytes out.
    virtual int FetchDevicePicture(int device, int channel, int number, uint8_t* buffer, uint32_t* length) = 0;

    // Reads a configuration record (a QVX_CMD_* command, length its exact size) of the channel
    // from a logged-in device. The buffer's first bytes travel as the selector (the stream index
    // of a quality record). -1 when the device is not logged in or refused.
    virtual int GetChannelConfig(int device, int channel, uint32_t command, void* buffer, uint32_t length) = 0;
    // Restarts a logged-in device.
    virtual int RebootDevice(int device) = 0;

    // A live picture of the channel (streamType 0 main, 1 sub) that the device library plays
    // into window (a VideoSurface*), with draw called on the decoding thread over every
    // picture. *preview receives its handle; ClosePreview ends it, after which neither the
    // window nor draw is called again.
    using PreviewDrawFn = void (*)(int preview, QVXPlayDrawContext* context, int pictureWidth, int pictureHeight,
                                   intptr_t user);
    virtual int OpenPreview(int device, int channel, int streamType, void* window, PreviewDrawFn draw, intptr_t user,
                            int* preview) = 0;
    virtual int ClosePreview(int preview) = 0;
};

}  // namespace ocv
