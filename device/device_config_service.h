#pragma once
// A channel's configuration records on its device, the device's stored pictures, its restart
// and the preview pictures of the configuration page.
#include "device/device_configuration.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class DeviceConfigService : public DeviceConfiguration {
public:
    DeviceConfigService(const ConfigStore& store, const RuntimeTable& runtime) : store_(store), runtime_(runtime) {}
    int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer, uint32_t length) override;
    int FetchDevicePicture(int device, int channel, int number, uint8_t* buffer, uint32_t* length) override;
    int GetChannelConfig(int device, int channel, uint32_t command, void* buffer, uint32_t length) override;
    int RebootDevice(int device) override;
    int OpenPreview(int device, int channel, int streamType, void* window, PreviewDrawFn draw, intptr_t user,
                    int* preview) override;
    int ClosePreview(int preview) override;

private:
    const ConfigStore& store_;
    const RuntimeTable& runtime_;
};

}  // namespace ocv
