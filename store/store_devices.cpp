// Devices and channels: the fixed 128 x 64 table and the DEVICE and CHANNEL tables.
#include <cstring>

#include "store/config_store.h"
#include "store/store_fields.h"
#include "base/trace.h"

namespace ocv {
namespace {

int16_t Short(int32_t v) { return static_cast<int16_t>(v); }

void PublishDevice(DeviceInfo& d, const DeviceRecord& r) {
    SetRelaxed(d.id, r.id);
    SetRelaxed(d.port, r.port);
    SetRelaxed(d.type, r.type);
    SetRelaxed(d.channelCount, r.channelCount);
    SetRelaxed(d.thermalFlag, r.thermalFlag);
    SetTextRelaxed(d.user, FieldText(r.user));
    SetTextRelaxed(d.password, FieldText(r.password));
    SetTextRelaxed(d.name, FieldText(r.name));
    // The host last: a slot counts as used once its host is set.
    SetTextRelaxed(d.host, FieldText(r.host));
}

void PublishChannel(ChannelInfo& c, const ChannelRecord& r) {
    SetRelaxed(c.planRecord, r.planRecord);
    SetRelaxed(c.armAlarm, r.armAlarm);
    SetRelaxed(c.alarmMd, r.alarmMd);
    SetRelaxed(c.alarmInput, r.alarmInput);
    SetRelaxed(c.alarmDisconnect, r.alarmDisconnect);
    SetRelaxed(c.alarmDiskFull, r.alarmDiskFull);
    SetRelaxed(c.alarmDiskErr, r.alarmDiskErr);
    SetRelaxed(c.autoAdjust, r.autoAdjust);
    SetRelaxed(c.stream, r.stream);
    SetArrayRelaxed(c.planSchedule, r.planSchedule);
    SetArrayRelaxed(c.armSchedule, r.armSchedule);
    SetTextRelaxed(c.name, FieldText(r.name));
    SetRelaxed(c.id, r.id);
}

void ZeroChannel(ChannelInfo& c) {
    SetRelaxed(c.id, 0);  // first: the entry stops counting as configured
    PublishChannel(c, ChannelRecord{});
    SetRelaxed(c.exportId, 0);
}

bool SameText(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n) == 0; }

bool ScheduleArgsValid(const void* data, int size) { return data != nullptr && size == kScheduleBytes; }

// Puts the columns of one ModifyChannel kind into the current row.
void PutChannelSetting(DbRecordset& rs, int kind, int value, const void* data, const char* name) {
    switch (kind) {
        case kChannelStream: rs.PutShort("STREAM", Short(value)); break;
        case kChannelAlarmMd: rs.PutShort("ALARMMD", Short(value)); break;
        case kChannelAlarmInput: rs.PutShort("ALARMINPUT", Short(value)); break;
        case kChannelAlarmDiskFull: rs.PutShort("ALARMDISKFULL", Short(value)); break;
        case kChannelAlarmDisconnect: rs.PutShort("ALARMDISCONN", Short(value)); break;
        case kChannelAutoAdjust: rs.PutShort("AUTOADJUST", Short(value)); break;
        case kChannelName:
            if (name != nullptr) rs.PutText("NAME", name);
            break;
        case kChannelPlanSchedule:
        case kChannelArmSchedule: {
            const auto* columns = kind == kChannelPlanSchedule ? kPlanColumns : kArmColumns;
            uint32_t words[kScheduleWords];
            std::memcpy(words, data, sizeof words);
            for (int i = 0; i < kScheduleWords; ++i) rs.PutLong(columns[i], static_cast<int32_t>(words[i]));
            break;
        }
        case kChannelPlanRecord: rs.PutShort("PLANREC", Short(value)); break;
        case kChannelArmAlarm: rs.PutShort("ALARMARM", Short(value)); break;
        default: break;  // other kinds write nothing
    }
}

// The same setting in memory.
void SetChannelSetting(ChannelInfo& c, int kind, int value, const void* data, const char* name) {
    switch (kind) {
        case kChannelStream: SetRelaxed(c.stream, value); break;
        case kChannelAlarmMd: SetRelaxed(c.alarmMd, value); break;
        case kChannelAlarmInput: SetRelaxed(c.alarmInput, value); break;
        case kChannelAlarmDiskFull: SetRelaxed(c.alarmDiskFull, value); break;
        case kChannelAlarmDisconnect: SetRelaxed(c.alarmDisconnect, value); break;
        case kChannelAutoAdjust: SetRelaxed(c.autoAdjust, value); break;
        case kChannelName:
            if (name != nullptr) SetTextRelaxed(c.name, name);
            break;
        case kChannelPlanSchedule:
        case kChannelArmSchedule: {
            uint32_t words[kScheduleWords];
            std::memcpy(words, data, sizeof words);
            SetArrayRelaxed(kind == kChannelPlanSchedule ? c.planSchedule : c.armSchedule, words);
            break;
        }
        case kChannelPlanRecord: SetRelaxed(c.planRecord, value); break;
        case kChannelArmAlarm: SetRelaxed(c.armAlarm, value); break;
        default: break;
    }
}

}  // namespace

void ConfigStore::ClearSlot(int slot) {
    DeviceInfo& d = devices_[slot];
    SetTextRelaxed(d.host, "");  // first: the slot stops counting as used
    PublishDevice(d, DeviceRecord{});
    for (auto& c : d.channels) ZeroChannel(c);
}

void ConfigStore::ClearDevices() {
    for (int s = 0; s < kMaxDevices; ++s) ClearSlot(s);
}

int ConfigStore::IsValidChannel(int slot, int channel) const {
    if (slot < 0 || slot >= kMaxDevices || channel < 0 || channel >= kMaxChannels) return -1;
    return devices_[slot].IsEmpty() ? -1 : 0;
}

bool ConfigStore::FindChannel(int channelId, int* deviceIndex, int* channelIndex) const {
    if (channelId <= 0) return false;
    for (int s = 0; s < kMaxDevices; ++s) {
        const DeviceInfo& d = devices_[s];
        if (d.IsEmpty()) continue;
        for (int c = 0; c < kMaxChannels; ++c) {
            if (d.channels[c].id > 0 && d.channels[c].id == channelId) {
                *deviceIndex = s;
                *channelIndex = c;
                return true;
            }
        }
    }
    return false;
}

void ConfigStore::RemoveChannelReferences(int channelId) {
    for (auto& g : groups_) {
        for (auto it = g.members.begin(); it != g.members.end(); ++it) {
            if (it->channelId == channelId) {
                g.members.erase(it);
                break;
            }
        }
    }
    for (auto& m : maps_) {
        for (auto it = m.items.begin(); it != m.items.end(); ++it) {
            if (it->channelId == channelId) {
                m.items.erase(it);
                break;
            }
        }
    }
}

int ConfigStore::LoadDevices() {
    if (!connection_) return -1;
    ClearDevices();
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from DEVICE")) return LoadFailed("DEVICE", rs);
    for (int slot = 0; slot < kMaxDevices && !rs.IsEof(); ++slot, rs.MoveNext()) {
        DeviceRecord rec{};
        rec.id = ReadInt(rs, "ID");
        std::string text;
        rs.GetText("HOST", &text);
        CopyText(rec.host, text);
        rec.port = ReadLong(rs, "PORT");
        rs.GetText("USER", &text);
        CopyText(rec.user, text);
        rs.GetText("PASS", &text);
        CopyText(rec.password, text);
        rs.GetText("NAME", &text);
        CopyText(rec.name, text);
        rec.channelCount = ReadInt(rs, "CHNM");
        // A count from the file beyond the table's 64 entries is held to it.
        if (rec.channelCount < 0) rec.channelCount = 0;
        if (rec.channelCount > kMaxChannels) rec.channelCount = kMaxChannels;
        rec.thermalFlag = ReadInt(rs, "SETALARM");
        rec.type = ReadInt(rs, "TYPE");

        DeviceInfo& dev = devices_[slot];
        DbRecordset chn(connection_.get());
        // A step that fails is no end of the channels: a device loaded without some of them
        // would silently record nothing on them.
        if (!chn.Open("select * from CHANNEL where DEVID = %d", rec.id)) return LoadFailed("CHANNEL", chn);
        {
            for (int i = 0; i < rec.channelCount && !chn.IsEof(); ++i, chn.MoveNext()) {
                ChannelRecord c{};
                c.id = ReadInt(chn, "ID");
                c.stream = ReadInt(chn, "STREAM");
                c.alarmMd = ReadInt(chn, "ALARMMD");
                c.alarmInput = ReadInt(chn, "ALARMINPUT");
                c.alarmDisconnect = ReadInt(chn, "ALARMDISCONN");
                c.alarmDiskFull = ReadInt(chn, "ALARMDISKFULL");
                c.alarmDiskErr = ReadInt(chn, "ALARMDISKERR");
                chn.GetText("NAME", &text);
                CopyText(c.name, text);
                c.autoAdjust = ReadInt(chn, "AUTOADJUST") == 1 ? 1 : 0;
                c.armAlarm = ReadInt(chn, "ALARMARM");
                c.planRecord = ReadInt(chn, "PLANREC");
                for (int w = 0; w < kScheduleWords; ++w) {
                    c.planSchedule[w] = static_cast<uint32_t>(ReadLong(chn, kPlanColumns[w]));
                }
                for (int w = 0; w < kScheduleWords; ++w) {
                    c.armSchedule[w] = static_cast<uint32_t>(ReadLong(chn, kArmColumns[w]));
                }
                PublishChannel(dev.channels[i], c);
            }
        }
        if (chn.Failed()) return LoadFailed("CHANNEL", chn);
        PublishDevice(dev, rec);
    }
    if (rs.Failed()) return LoadFailed("DEVICE", rs);
    return 0;
}

// Inserts CHANNEL rows for entries from..to-1 of dev (stream 1, the rest zero). -1 when a row
// could not be written; the rows written so far are then deleted again and the entries zeroed.
int ConfigStore::InsertChannels(DeviceInfo& dev, int deviceId, int from, int to) {
    DbRecordset rs(connection_.get());
    bool ok = rs.Open("select * from CHANNEL");
    int done = from;
    for (; ok && done < to; ++done) {
        ok = rs.AddNew() && rs.PutLong("DEVID", deviceId) && rs.PutShort("STREAM", 1) && rs.Update();
        if (!ok) break;
        ChannelRecord c{};
        c.id = ReadInt(rs, "ID");
        c.stream = 1;
        PublishChannel(dev.channels[done], c);
    }
    rs.Close();
    if (ok) return 0;
    for (int i = from; i < done; ++i) {
        connection_->Execute("delete from CHANNEL where ID = %d", dev.channels[i].id);
        ZeroChannel(dev.channels[i]);
    }
    return -1;
}

int ConfigStore::AddDeviceImpl(const DeviceRecord& rec, int* slot) {
    if (slot != nullptr) *slot = -1;
    if (!connection_ || rec.channelCount <= 0 || rec.channelCount > kMaxChannels || FieldText(rec.host).empty())
        return -1;
    int freeSlot = -1;
    for (int s = 0; s < kMaxDevices; ++s) {
        const DeviceInfo& d = devices_[s];
        if (d.IsEmpty()) {
            if (freeSlot < 0) freeSlot = s;
            continue;
        }
        if (SameText(d.host, rec.host, kTextBytes) && d.port == rec.port) return -2;
    }

    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from DEVICE")) return -1;
    rs.AddNew();
    rs.PutText("HOST", FieldString(rec.host).c_str());
    rs.PutLong("PORT", rec.port);
    rs.PutText("USER", FieldString(rec.user).c_str());
    rs.PutText("PASS", FieldString(rec.password).c_str());
    rs.PutText("NAME", FieldString(rec.name).c_str());
    rs.PutShort("CHNM", Short(rec.channelCount));
    rs.PutShort("TYPE", Short(rec.type));
    if (!rs.Update()) return -1;
    int deviceId = ReadInt(rs, "ID");
    rs.Close();

    // Without a free slot the channels are built in a spare entry and only stored.
    std::unique_ptr<DeviceInfo> spare;
    DeviceInfo* target = nullptr;
    if (freeSlot >= 0) {
        target = &devices_[freeSlot];
    } else {
        spare = std::make_unique<DeviceInfo>();
        target = spare.get();
    }
    if (InsertChannels(*target, deviceId, 0, rec.channelCount) != 0) {
        connection_->Execute("delete from DEVICE where ID = %d", deviceId);
        return -1;
    }
    if (freeSlot >= 0) {
        DeviceRecord stored = rec;
        stored.id = deviceId;
        stored.thermalFlag = 0;  // not written by an add; a reload reads 0
        PublishDevice(*target, stored);
    }
    if (slot != nullptr) *slot = freeSlot;
    return 0;
}

int ConfigStore::ModifyDeviceImpl(const DeviceRecord& rec, int slot) {
    if (!connection_ || slot < 0 || slot >= kMaxDevices || devices_[slot].IsEmpty()) return -1;
    if (rec.channelCount <= 0 || rec.channelCount > kMaxChannels || FieldText(rec.host).empty()) return -1;
    for (int s = 0; s < kMaxDevices; ++s) {
        if (s == slot || devices_[s].IsEmpty()) continue;
        if (SameText(devices_[s].host, rec.host, kTextBytes) && devices_[s].port == rec.port) return -2;
    }
    DeviceInfo& dev = devices_[slot];
    const int deviceId = dev.id;

    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from DEVICE where ID = %d", deviceId) || rs.IsEof()) return -1;
    rs.PutText("HOST", FieldString(rec.host).c_str());
    rs.PutLong("PORT", rec.port);
    rs.PutText("USER", FieldString(rec.user).c_str());
    rs.PutText("PASS", FieldString(rec.password).c_str());
    rs.PutText("NAME", FieldString(rec.name).c_str());
    rs.PutShort("CHNM", Short(rec.channelCount));
    rs.PutShort("TYPE", Short(rec.type));
    rs.PutShort("SETALARM", Short(rec.thermalFlag));
    if (!rs.Update()) return -1;
    rs.Close();

    // Channel rows beyond the new count go, with the map items on them and their group
    // membership; the row's own ID names what is removed.
    struct Removed {
        int index;
        int id;
    };
    std::vector<Removed> removed;
    int rows = 0;
    DbRecordset chn(connection_.get());
    if (chn.Open("select * from CHANNEL where DEVID = %d", deviceId)) {
        for (; !chn.IsEof(); chn.MoveNext(), ++rows) {
            if (rows >= rec.channelCount) removed.push_back({rows, ReadInt(chn, "ID")});
        }
    }
    if (chn.Failed()) {
        Trace("configuration database: the channels of device %d cannot be read (%s)\n", deviceId,
              chn.ErrorText().c_str());
        return -1;
    }
    chn.Close();
    for (const auto& r : removed) {
        connection_->Execute("delete from CHANNEL where ID = %d", r.id);
        connection_->Execute("delete from SUBMAP where CHNID = %d", r.id);
        RemoveChannelReferences(r.id);
        if (r.index < kMaxChannels) ZeroChannel(dev.channels[r.index]);
    }
    for (int i = rec.channelCount; i < kMaxChannels; ++i) {
        if (dev.channels[i].id > 0) ZeroChannel(dev.channels[i]);  // entries without a row
    }
    if (rows < rec.channelCount) {
        if (InsertChannels(dev, deviceId, rows, rec.channelCount) != 0) return -1;
    }
    DeviceRecord stored = rec;
    stored.id = deviceId;
    PublishDevice(dev, stored);
    return 0;
}

int ConfigStore::DeleteDeviceImpl(int slot) {
    if (!connection_ || slot < 0 || slot >= kMaxDevices || devices_[slot].IsEmpty()) return -1;
    DeviceInfo& dev = devices_[slot];
    if (!connection_->Execute("delete from DEVICE where ID = %d", dev.id)) return -1;
    for (auto& c : dev.channels) {
        if (c.id <= 0) continue;
        connection_->Execute("delete from SUBMAP where CHNID = %d", c.id);
        RemoveChannelReferences(c.id);
    }
    ClearSlot(slot);
    return 0;
}

int ConfigStore::ModifyChannelImpl(int slot, int channel, int kind, int value, const void* data, int size) {
    if (!connection_) return -1;
    const bool schedule = kind == kChannelPlanSchedule || kind == kChannelArmSchedule;
    if (schedule && !ScheduleArgsValid(data, size)) return -1;
    // A name is written as the field holds it: cut to 31 characters.
    char name[kTextBytes];
    const char* namePtr = nullptr;
    if (kind == kChannelName && data != nullptr) {
        const char* text = static_cast<const char*>(data);
        CopyText(name, std::string_view(text, size > 0 ? strnlen(text, static_cast<size_t>(size)) : std::strlen(text)));
        namePtr = name;
    }

    if (channel >= 0 && channel < kMaxChannels) {
        if (IsValidChannel(slot, channel) != 0) return -1;
        ChannelInfo& c = devices_[slot].channels[channel];
        if (c.id <= 0) return -1;
        DbRecordset rs(connection_.get());
        if (!rs.Open("select * from CHANNEL where ID = %d", c.id)) return -1;
        if (!rs.IsEof()) {
            PutChannelSetting(rs, kind, value, data, namePtr);
            if (!rs.Update()) return -1;
        }
        SetChannelSetting(c, kind, value, data, namePtr);
        return 0;
    }

    // Every channel row of the file (also those of deleted devices, which are never loaded),
    // each committed on its own. The names are not changed in this form.
    if (kind == kChannelName) namePtr = nullptr;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from CHANNEL")) return -1;
    bool ok = true;
    for (; !rs.IsEof(); rs.MoveNext()) {
        PutChannelSetting(rs, kind, value, data, namePtr);
        if (!rs.Update()) ok = false;
    }
    if (rs.Failed()) ok = false;
    rs.Close();
    if (!ok) return -1;
    for (int s = 0; s < kMaxDevices; ++s) {
        DeviceInfo& d = devices_[s];
        if (d.IsEmpty()) continue;
        for (auto& c : d.channels) {
            if (c.id > 0) SetChannelSetting(c, kind, value, data, namePtr);
        }
    }
    return 0;
}

}  // namespace ocv
