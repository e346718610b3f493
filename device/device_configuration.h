#pragma once
// What pages ask of a device's own settings: configuration records of a channel and the
// device's stored pictures. Both talk to the device: never on the UI thread. Implemented by
// DeviceConfigService.
#include <cstdint>

namespace ocv {

class DeviceConfiguration {
public:
    virtual ~DeviceConfiguration() = default;
    // Sends a configuration record (a QVX_CMD_* command) to the channel of a logged-in device.
    virtual int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer,
                                  uint32_t length) = 0;
    // Picture number of a channel from AppDir/Pic/<host>-<port>/<number>.h264, fetched from the
    // device when not cached. length: buffer size in, bytes out.
    virtual int FetchDevicePicture(int device, int channel, int number, uint8_t* buffer, uint32_t* length) = 0;
};

}  // namespace ocv
