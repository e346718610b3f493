#include "device/stored_stream_urls.h"

#include <cstring>

#include "sdk/qvx_sdk.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "store/stream_urls.h"

namespace ocv {
namespace {

// The device the library logged in to at host:port, and the stored URL of its channel's stream.
// Runs on a device thread or a connect worker: stored fields are read relaxed, the URL through a
// connection of its own.
int32_t StoredStreamUrl(const char* host, uint16_t port, int32_t channel, int32_t streamType, char* url,
                        uint32_t size, void* context) {
    const auto* store = static_cast<const ConfigStore*>(context);
    if (store == nullptr || host == nullptr || url == nullptr || size == 0 || channel < 0 || channel >= kMaxChannels)
        return -1;
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store->device(d);
        char text[kTextBytes];
        ReadTextRelaxed(dev.host, text);
        if (Relaxed(dev.port) != port || std::strcmp(text, host) != 0) continue;
        int id = Relaxed(dev.channels[channel].id);
        if (id <= 0) return -1;
        std::string stored = ReadStoredStreamUrl(store->path(), id, streamType);
        if (stored.empty() || stored.size() >= size) return -1;
        std::memcpy(url, stored.c_str(), stored.size() + 1);
        return 0;
    }
    return -1;
}

}  // namespace

void ProvideStoredStreamUrls(const ConfigStore* store) {
    QVX_SDK_SetStreamUrlCallBack(store ? StoredStreamUrl : nullptr, const_cast<ConfigStore*>(store));
}

}  // namespace ocv
