#pragma once
// The configuration store: owns the connection to the configuration database and the
// in-memory configuration (settings, the 128 x 64 device and channel table, groups, maps and
// users), and writes every change through to the database. All operations run on the
// user-interface thread and return 0 on success, -1 when refused, invalid or failed (always
// without a connection), -2 for a duplicate or no room.
#include <memory>
#include <string>
#include <vector>

#include "store/db_access.h"
#include "runtime/core_events.h"
#include "store/records.h"

namespace ocv {

// Whether a file can serve as a configuration database, and if not, why.
struct DatabaseCheck {
    enum State {
        kUsable,
        kMissing,           // no such file, or it cannot be opened
        kNotConfiguration,  // not a database, or one without the tables and columns
        kDamaged,           // the integrity check or reading its rows failed
    };
    State state = kUsable;
    std::string detail;  // the reason in the database's words, for the trace
};

class ConfigStore {
public:
    ConfigStore();
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // Opens an existing configuration database (never creates a file or a table): -1 for a
    // missing file, a file that is not a database, one without the eight tables, or one that
    // fails the quick integrity check; the connection then stays none, so nothing is written
    // into a damaged file. An open connection is closed first. readOnly: nothing is written into
    // or beside the file (a configuration file an operator chose to import).
    int Open(const std::string& path, bool readOnly = false);
    int Close();
    // What went wrong with the database last opened: set by Open, and by a load whose rows
    // could not be read (the store then drops what it loaded and closes the connection, so the
    // client runs on no configuration rather than on part of one). kUsable otherwise.
    const DatabaseCheck& databaseProblem() const { return problem_; }
    const std::string& problemPath() const { return problemPath_; }
    bool IsOpen() const { return connection_ != nullptr; }
    DbConnection* connection() { return connection_.get(); }
    const std::string& path() const { return path_; }

    // The start-up loads in their order: settings, devices and channels, groups, maps, users.
    // Each finds no connection and leaves its table empty when the open failed.
    void LoadAll();

    // Settings (table SYSTERM).
    int LoadSettings();
    int SaveSettings(const SystemSettings& s, bool restoreDefaults) {
        int rc = SaveSettingsImpl(s, restoreDefaults);
        if (rc != 0) return Refused("SaveSettings", rc);
        Announce(ConfigPart::kSettings, -1);
        return 0;
    }
    int SaveLoginMemory(int userId, const char* password, int remember) {
        int rc = SaveLoginMemoryImpl(userId, password, remember);
        if (rc != 0) return Refused("SaveLoginMemory", rc);
        Announce(ConfigPart::kSettings, -1);
        return 0;
    }
    // The device service's start-up overrides: plan recording and arming on, 10 GiB reserve.
    void ApplyStartupOverrides();
    const SystemSettings& settings() const { return settings_; }
    // Tests set values without a database round trip; the client changes settings through
    // SaveSettings on the user-interface thread only.
    SystemSettings& MutableSettingsForTesting() { return settings_; }

    // Devices and channels (tables DEVICE and CHANNEL).
    int LoadDevices();
    // Stores rec with rec.channelCount new channels in the first empty slot; *slot gets the
    // slot, or -1 when the table is full (the device is then stored but not in memory).
    int AddDevice(const DeviceRecord& rec, int* slot) {
        int rc = AddDeviceImpl(rec, slot);
        if (rc != 0) return Refused("AddDevice", rc);
        Announce(ConfigPart::kDevices, slot ? *slot : -1);
        return 0;
    }
    // Replaces the stored fields of the device in slot and adjusts its channels to
    // rec.channelCount. The slot's own id is kept.
    int ModifyDevice(const DeviceRecord& rec, int slot) {
        int rc = ModifyDeviceImpl(rec, slot);
        if (rc != 0) return Refused("ModifyDevice", rc);
        Announce(ConfigPart::kDevices, slot);
        return 0;
    }
    int DeleteDevice(int slot) {
        int rc = DeleteDeviceImpl(slot);
        if (rc != 0) return Refused("DeleteDevice", rc);
        Announce(ConfigPart::kDevices, slot);
        return 0;
    }
    // Changes one setting (ChannelSettingKind) of one channel, or of every channel when
    // channel is outside 0..63. Schedules: data = 14 words, size = 56. Name: data = text,
    // read up to its terminator (or size bytes when size > 0), cut to 31 characters.
    int ModifyChannel(int slot, int channel, int kind, int value, const void* data, int size) {
        int rc = ModifyChannelImpl(slot, channel, kind, value, data, size);
        if (rc != 0) return Refused("ModifyChannel", rc);
        Announce(ConfigPart::kDevices, slot);
        return 0;
    }
    int IsValidChannel(int slot, int channel) const;
    DeviceInfo& device(int slot) { return devices_[slot]; }
    const DeviceInfo& device(int slot) const { return devices_[slot]; }

    // Channel groups (MAINGROUP, SUBGROUP) and maps (MAINMAP, SUBMAP). The lists are changed and
    // read on the user-interface thread; other threads work from copies made there.
    int LoadGroups();
    int AddGroup(const char* name, int* groupId = nullptr) {
        int rc = AddGroupImpl(name, groupId);
        if (rc != 0) return Refused("AddGroup", rc);
        Announce(ConfigPart::kGroups, groupId ? *groupId : -1);
        return 0;
    }
    int RenameGroup(int groupId, const char* name) {
        int rc = RenameGroupImpl(groupId, name);
        if (rc != 0) return Refused("RenameGroup", rc);
        Announce(ConfigPart::kGroups, groupId);
        return 0;
    }
    int DeleteGroup(int groupId) {
        int rc = DeleteGroupImpl(groupId);
        if (rc != 0) return Refused("DeleteGroup", rc);
        Announce(ConfigPart::kGroups, groupId);
        return 0;
    }
    // member: deviceIndex and channelIndex in; memberId and channelId filled in.
    int AddGroupMember(int groupId, GroupMember* member) {
        int rc = AddGroupMemberImpl(groupId, member);
        if (rc != 0) return Refused("AddGroupMember", rc);
        Announce(ConfigPart::kGroups, groupId);
        return 0;
    }
    int DeleteGroupMember(int memberId) {
        int rc = DeleteGroupMemberImpl(memberId);
        if (rc != 0) return Refused("DeleteGroupMember", rc);
        Announce(ConfigPart::kGroups, -1);
        return 0;
    }
    const std::vector<GroupInfo>& groups() const { return groups_; }

    int LoadMaps();
    int AddMap(const char* name, const char* path, int* mapId = nullptr) {
        int rc = AddMapImpl(name, path, mapId);
        if (rc != 0) return Refused("AddMap", rc);
        Announce(ConfigPart::kMaps, mapId ? *mapId : -1);
        return 0;
    }
    int ModifyMap(int mapId, const char* name, const char* path) {
        int rc = ModifyMapImpl(mapId, name, path);
        if (rc != 0) return Refused("ModifyMap", rc);
        Announce(ConfigPart::kMaps, mapId);
        return 0;
    }
    int DeleteMap(int mapId) {
        int rc = DeleteMapImpl(mapId);
        if (rc != 0) return Refused("DeleteMap", rc);
        Announce(ConfigPart::kMaps, mapId);
        return 0;
    }
    // item: type, x, y, color and either deviceIndex/channelIndex (channel) or url (link) in;
    // itemId, mapId and channelId filled in.
    int AddMapItem(int mapId, MapItem* item) {
        int rc = AddMapItemImpl(mapId, item);
        if (rc != 0) return Refused("AddMapItem", rc);
        Announce(ConfigPart::kMaps, mapId);
        return 0;
    }
    int ModifyMapItem(const MapItem& item) {
        int rc = ModifyMapItemImpl(item);
        if (rc != 0) return Refused("ModifyMapItem", rc);
        Announce(ConfigPart::kMaps, item.mapId);
        return 0;
    }
    int DeleteMapItem(int itemId) {
        int rc = DeleteMapItemImpl(itemId);
        if (rc != 0) return Refused("DeleteMapItem", rc);
        Announce(ConfigPart::kMaps, -1);
        return 0;
    }
    const std::vector<MapInfo>& maps() const { return maps_; }

    // Users (USERINFO).
    int LoadUsers();
    int AddUser(const UserInfo& u) {
        int rc = AddUserImpl(u);
        if (rc != 0) return Refused("AddUser", rc);
        Announce(ConfigPart::kUsers, -1);
        return 0;
    }
    int ModifyUser(const UserInfo& u) {
        int rc = ModifyUserImpl(u);
        if (rc != 0) return Refused("ModifyUser", rc);
        Announce(ConfigPart::kUsers, -1);
        return 0;
    }
    int DeleteUser(const UserInfo& u) {
        int rc = DeleteUserImpl(u);
        if (rc != 0) return Refused("DeleteUser", rc);
        Announce(ConfigPart::kUsers, -1);
        return 0;
    }
    const UserInfo& user(int slot) const { return users_[slot]; }

    // Configuration files. WriteConfiguration fills a copy of the template at path with the
    // in-memory devices, channels, groups and settings. ImportConfiguration merges the
    // configuration file at path into the live database (the one this store has open); on
    // success the store is closed and empty and the program is to end. A failure after the
    // live database was touched puts the live file back and reloads it.
    int WriteConfiguration(const char* path);
    int ImportConfiguration(const char* path) {
        int rc = ImportConfigurationImpl(path);
        if (rc != 0) return Refused("ImportConfiguration", rc);
        Announce(ConfigPart::kAll, -1);
        return 0;
    }
    // Whether path is a configuration file ImportConfiguration would take (a usable database
    // with the eight tables and the product code of configuration files), read without writing
    // anything into or beside it. 0, or -1 with a trace line saying why. The import's caller
    // checks this before it stops anything.
    static int CheckImportFile(const char* path);

    // Test hook: a step of ImportConfiguration (6 reopen, 7 load, 8 write back) fails on purpose.
    void FailImportStepForTesting(int step) { failImportStep_ = step; }
    // Test hook: putting the live file back after a failed step fails too.
    void FailImportRestoreForTesting(bool fail) { failImportRestore_ = fail; }

    // Where ConfigChanged is published after each successful change; set once at start.
    void SetEventHub(CoreEventHub* hub) { hub_ = hub; }

private:
    void Announce(ConfigPart part, int index) { PublishTo(hub_, ConfigChanged{part, index}); }
    // The trace line of a refused change (with the database's own reason when it has one).
    int Refused(const char* operation, int rc) const;
    int SaveSettingsImpl(const SystemSettings& s, bool restoreDefaults);
    int SaveLoginMemoryImpl(int userId, const char* password, int remember);
    int AddDeviceImpl(const DeviceRecord& rec, int* slot);
    int ModifyDeviceImpl(const DeviceRecord& rec, int slot);
    int DeleteDeviceImpl(int slot);
    int ModifyChannelImpl(int slot, int channel, int kind, int value, const void* data, int size);
    int AddGroupImpl(const char* name, int* groupId);
    int RenameGroupImpl(int groupId, const char* name);
    int DeleteGroupImpl(int groupId);
    int AddGroupMemberImpl(int groupId, GroupMember* member);
    int DeleteGroupMemberImpl(int memberId);
    int AddMapImpl(const char* name, const char* path, int* mapId);
    int ModifyMapImpl(int mapId, const char* name, const char* path);
    int DeleteMapImpl(int mapId);
    int AddMapItemImpl(int mapId, MapItem* item);
    int ModifyMapItemImpl(const MapItem& item);
    int DeleteMapItemImpl(int itemId);
    int AddUserImpl(const UserInfo& u);
    int ModifyUserImpl(const UserInfo& u);
    int DeleteUserImpl(const UserInfo& u);
    int ImportConfigurationImpl(const char* path);
    void ClearDevices();
    void ClearSlot(int slot);
    // A load could not read its rows: trace, note the damage, forget the loaded tables and
    // close the connection. Returns -1 for the load to return.
    int LoadFailed(const char* table, const DbRecordset& rs);
    void RemoveChannelReferences(int channelId);
    bool FindChannel(int channelId, int* deviceIndex, int* channelIndex) const;
    int InsertChannels(DeviceInfo& dev, int deviceId, int from, int to);

    std::unique_ptr<DbConnection> connection_;
    std::string path_;
    SystemSettings settings_{};
    std::unique_ptr<DeviceInfo[]> devices_;
    std::vector<GroupInfo> groups_;
    std::vector<MapInfo> maps_;
    UserInfo users_[kMaxUsers]{};
    CoreEventHub* hub_ = nullptr;
    int failImportStep_ = 0;
    bool failImportRestore_ = false;
    DatabaseCheck problem_;
    std::string problemPath_;
    // A connection closed by a failed load while its recordsets still exist: they hand their
    // statements back to it. Dropped at the next Open.
    std::unique_ptr<DbConnection> retired_;
};

// Opens a configuration database file the way ConfigStore::Open does (existing file with the
// eight tables that passes the quick integrity check, WAL journal, synchronous=NORMAL);
// nullptr on failure, with *check saying why.
// readOnly: the checks only, writing nothing into or beside the file (no WAL switch).
std::unique_ptr<DbConnection> OpenConfigDatabase(const std::string& path, DatabaseCheck* check = nullptr,
                                                 bool readOnly = false);

}  // namespace ocv
