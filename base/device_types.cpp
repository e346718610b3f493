#include "base/device_types.h"

#include <cstring>

namespace ocv {
namespace {
DeviceTypeRecord gTable[kDeviceTypeSlots];

template <size_t N>
void CopyText(char (&dst)[N], const char* src) {
    strncpy(dst, src, N - 1);
    dst[N - 1] = '\0';
}
}  // namespace

void ResetDeviceTypeTable() {
    memset(gTable, 0, sizeof gTable);
    DeviceTypeRecord& d = gTable[0];
    d.id = 0;
    d.inUse = 1;
    CopyText(d.name, "Default");
    CopyText(d.user, "admin");
    CopyText(d.password, "kestr");
    d.port = 80;
    d.protocol = 0;
}

void AddStandardCameraTypes() {
    DeviceTypeRecord& onvif = gTable[1];
    onvif.id = kDeviceTypeOnvif;
    onvif.inUse = 1;
    CopyText(onvif.name, "ONVIF");
    CopyText(onvif.user, "admin");
    CopyText(onvif.password, "");
    onvif.port = 80;
    onvif.protocol = kDeviceTypeOnvif;

    DeviceTypeRecord& rtsp = gTable[2];
    rtsp.id = kDeviceTypeRtspUrl;
    rtsp.inUse = 1;
    CopyText(rtsp.name, "RTSP URL");
    CopyText(rtsp.user, "admin");
    CopyText(rtsp.password, "");
    rtsp.port = 554;
    rtsp.protocol = kDeviceTypeRtspUrl;
}

uint8_t LoginProtocolOf(int typeId) {
    const DeviceTypeRecord* r = FindDeviceType(typeId);
    return r ? r->protocol : 0;
}

const DeviceTypeRecord* FindDeviceType(int typeId) {
    for (const DeviceTypeRecord& r : gTable)
        if (r.inUse == 1 && r.id == typeId) return &r;
    return nullptr;
}

const DeviceTypeRecord* DeviceTypeSlot(int slot) {
    if (slot < 0 || slot >= kDeviceTypeSlots) return nullptr;
    return &gTable[slot];
}

}  // namespace ocv
