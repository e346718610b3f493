#include "setup/device_form_rules.h"

#include <algorithm>
#include <cstring>

#include "base/device_types.h"
#include "setup/config_records.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "store/text_field.h"

namespace ocv {
namespace {

constexpr int kXmDeviceType = 9;  // logs in without a password

template <size_t N>
std::string FieldOf(const char (&field)[N]) {
    return std::string(FieldText(field));
}

}  // namespace

const char* ValidateDeviceForm(const DeviceFormFields& f, const ConfigStore& store, int editingSlot) {
    if (f.host.empty()) return "Address can not be empty!";
    if (CheckDevicePort(f.port) != nullptr) return "Invalid Port (80-65535)!";
    if (f.user.empty()) return "Username can not be empty!";
    int channels = 0;
    if (!ParseDecimal(f.channels, &channels) || channels < 1 || channels > kMaxChannels) return kChannelCountRefusal;
    int port = 0;
    ParseDecimal(f.port, &port);
    // The store cuts a host to its field; compare what would be stored.
    DeviceRecord probe{};
    CopyText(probe.host, f.host);
    for (int slot = 0; slot < kMaxDevices; ++slot) {
        if (slot == editingSlot) continue;
        const DeviceInfo& d = store.device(slot);
        if (d.IsEmpty()) continue;
        if (FieldText(d.host) == FieldText(probe.host) && Relaxed(d.port) == port) return "Equipment already exists!";
    }
    return nullptr;
}

void ApplyDeviceForm(const DeviceFormFields& f, DeviceRecord* rec) {
    int port = 0, channels = 0;
    ParseDecimal(f.port, &port);
    ParseDecimal(f.channels, &channels);
    CopyText(rec->name, f.name);
    CopyText(rec->host, f.host);
    CopyText(rec->user, f.user);
    CopyText(rec->password, f.password);
    rec->port = port;
    rec->channelCount = channels;
    rec->type = f.type;
}

DeviceFormFields FormFieldsOf(const DeviceRecord& rec) {
    DeviceFormFields f;
    f.name = FieldOf(rec.name);
    f.host = FieldOf(rec.host);
    f.user = FieldOf(rec.user);
    f.password = FieldOf(rec.password);
    f.port = std::to_string(rec.port);
    f.channels = std::to_string(rec.channelCount);
    f.type = rec.type;
    return f;
}

bool IsNotVideoSource(std::string_view deviceType) {
    return deviceType == "DECODER" || deviceType == "QVXDEC" || deviceType == "QVXCMS" || deviceType == "QVXSMS";
}

const char* TestVerdict(int loginResult, std::string_view deviceType) {
    if (loginResult != 0) return "Connection Failed";
    return IsNotVideoSource(deviceType) ? "Invalid device!" : "Test successful";
}

bool ModificationNeedsRestart(const DeviceRecord& stored, const DeviceRecord& edited) {
    return FieldText(stored.host) != FieldText(edited.host) || FieldText(stored.user) != FieldText(edited.user) ||
           stored.port != edited.port || stored.type != edited.type || stored.channelCount != edited.channelCount;
}

std::string DeviceLogNote(const DeviceRecord& rec) {
    return std::string(FieldText(rec.host)) + ":" + std::to_string(rec.port);
}

DeviceRecord ImportedDevice(const QVX_FOUND_DEVICE& found) {
    DeviceRecord rec{};
    CopyText(rec.host, std::string_view(found.address, strnlen(found.address, sizeof found.address)));
    rec.port = int32_t(found.port);
    // WS-Discovery does not tell the channels: one, until the operator says more.
    rec.channelCount = int32_t(std::clamp<uint32_t>(found.channels, 1, kMaxChannels));
    if (found.protocol == QVX_SCH_PROTOCOL_ONVIF) rec.type = kDeviceTypeOnvif;
    else if (found.protocol == uint32_t(kXmDeviceType)) rec.type = kXmDeviceType;
    CopyText(rec.user, "admin");
    if (rec.type != kXmDeviceType) CopyText(rec.password, "kestr");
    return rec;
}

}  // namespace ocv
