#include "setup/device_list_editor.h"

#include "base/trace.h"
#include "events/log_record.h"
#include "setup/device_form_rules.h"
#include "store/text_field.h"

namespace ocv {

void DeviceListEditor::Log(int subtype, const DeviceRecord& rec, const std::string& user) {
    log_.LogWrite(kLogOperate, subtype, -1, -1, DeviceLogNote(rec).c_str(), user.c_str());
}

int DeviceListEditor::Add(const DeviceRecord& rec, const std::string& user, int* slot) {
    int placed = -1;
    int rc = store_.AddDevice(rec, &placed);
    if (slot) *slot = placed;
    if (rc != 0) return rc;
    if (placed >= 0) connections_.StartDeviceThread(placed);
    Log(kLogDeviceAdded, rec, user);
    return 0;
}

int DeviceListEditor::Modify(int slot, const DeviceRecord& edited, const std::string& user) {
    if (slot < 0 || slot >= kMaxDevices || store_.device(slot).IsEmpty()) {
        Trace("modify device %d: no device in this slot\n", slot);
        return -1;
    }
    const DeviceInfo& stored = store_.device(slot);
    DeviceRecord record = edited;
    record.id = stored.id;
    record.thermalFlag = stored.thermalFlag;  // the form does not edit it
    bool passwordChanged = FieldText(stored.password) != FieldText(record.password);
    bool restart = ModificationNeedsRestart(stored, record);
    std::vector<int> inUse;
    if (restart) {
        inUse = connections_.ChannelsInUse(slot);
        connections_.StopDeviceThread(slot);
    }
    int rc = store_.ModifyDevice(record, slot);
    if (restart) {
        // Also after a refused write: the device goes on as it was stored.
        connections_.StartDeviceThread(slot);
        connections_.ReopenChannels(slot, inUse);
    }
    if (rc != 0) return rc;
    if (!restart && passwordChanged) connections_.RetryLoginNow(slot);
    Log(kLogDeviceModified, record, user);
    return 0;
}

int DeviceListEditor::Forget(int slot, const std::string& user) {
    if (slot < 0 || slot >= kMaxDevices || store_.device(slot).IsEmpty()) {
        Trace("delete device %d: no device in this slot\n", slot);
        return -1;
    }
    DeviceRecord rec = store_.device(slot);
    Log(kLogDeviceDeleted, rec, user);
    return store_.DeleteDevice(slot);
}

int DeviceListEditor::Import(const QVX_FOUND_DEVICE& found, const std::string& user) {
    return Add(ImportedDevice(found), user);
}

int DeviceListEditor::MoveDevice(const std::string& oldHost, int oldPort, const std::string& newHost, int newPort,
                                 const std::string& user) {
    int moved = 0;
    for (int slot = 0; slot < kMaxDevices; ++slot) {
        const DeviceInfo& d = store_.device(slot);
        if (d.IsEmpty() || FieldText(d.host) != oldHost || d.port != oldPort) continue;
        DeviceRecord rec = d;
        CopyText(rec.host, newHost);
        rec.port = newPort;
        if (Modify(slot, rec, user) == 0) ++moved;
    }
    return moved;
}

}  // namespace ocv
