#pragma once
// The device form's rules, without the window: the checks on OK in their order, the record the
// form gives, what a login test answers, whether a modification must restart the device, and
// the record an imported device starts with.
#include <string>
#include <string_view>

#include "sdk/qvx_sdk.h"
#include "store/records.h"

namespace ocv {

class ConfigStore;

// What the form's edits hold, as typed.
struct DeviceFormFields {
    std::string name, host, port, user, password, channels;
    int type = 0;  // a device type id of the DeviceTypeTable
};

// The channel-count refusal (a text of our own: the other refusals are the system's).
constexpr const char* kChannelCountRefusal = "Invalid channel number (1-64)!";

// The first check that fails, as its English message, or nullptr: address given, port 80..65535,
// user name given, channels 1..64, and no other device slot (any but editingSlot, -1 when
// adding) with the same host (exact text) and port. The name may be empty.
const char* ValidateDeviceForm(const DeviceFormFields& fields, const ConfigStore& store, int editingSlot);

// Copies what the form edits (name, host, user, password, port, channels, type) into rec; the
// fields must have passed ValidateDeviceForm. Texts longer than a record field are cut.
void ApplyDeviceForm(const DeviceFormFields& fields, DeviceRecord* rec);

// The form filled from a stored device.
DeviceFormFields FormFieldsOf(const DeviceRecord& rec);

// Device types a login may report that are no video source (decoders, management servers):
// "DECODER", "QVXDEC", "QVXCMS", "QVXSMS", compared as exact text.
bool IsNotVideoSource(std::string_view deviceType);

// What "Test" shows for a login's result and the device type it reported.
const char* TestVerdict(int loginResult, std::string_view deviceType);

// A modification that changes the host, the user name, the port, the device type or the channel
// count stops the device before the write and starts it again after it.
bool ModificationNeedsRestart(const DeviceRecord& stored, const DeviceRecord& edited);

// "<host>:<port>", the note of the device log entries.
std::string DeviceLogNote(const DeviceRecord& rec);

// The record a device found by discovery is imported with: its address, port and channel count,
// user "admin" and password "kestr" (none for type 9); found by WS-Discovery, it is an ONVIF
// device reached on its service port.
DeviceRecord ImportedDevice(const QVX_FOUND_DEVICE& found);

}  // namespace ocv
