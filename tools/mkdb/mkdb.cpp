#include "tools/mkdb/mkdb.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/device_types.h"
#include "platform/file_util.h"
#include "store/config_files.h"
#include "store/config_store.h"
#include "store/text_field.h"
#include "tools/mkdb/schema_sql.h"

namespace ocv::mkdb {
namespace {

constexpr uint32_t kWholeDay = 0x00FFFFFF;  // the 24 half hours of one schedule word
constexpr const char* kDemoUser = "admin";
constexpr const char* kDemoPassword = "kestr";

void RemoveSideFiles(const std::string& path) {
    unlink((path + "-wal").c_str());
    unlink((path + "-shm").c_str());
    unlink((path + "-journal").c_str());
}

std::string TempPathFor(const std::string& path) { return path + ".mkdb." + std::to_string(getpid()); }

// Moves a finished database over path; stale log files of the old one must not survive it.
int Install(const std::string& tmp, const std::string& path) {
    RemoveSideFiles(path);
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return -1;
    }
    return 0;
}

bool ParseNumber(const std::string& text, int low, int high, int* out) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    int v = std::atoi(text.c_str());
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

int AddDemo(ConfigStore& store, const std::vector<DemoDevice>& demo, std::string* error) {
    if (store.LoadSettings() != 0) {
        *error = "cannot write the settings row";
        return -1;
    }
    int groupId = 0;
    if (store.AddGroup("Demo", &groupId) != 0) {
        *error = "cannot add the demo group";
        return -1;
    }
    int number = 1;
    for (const auto& d : demo) {
        DeviceRecord rec{};
        CopyText(rec.host, d.host);
        rec.port = d.port;
        rec.channelCount = d.channels;
        rec.type = d.type;
        CopyText(rec.user, kDemoUser);
        CopyText(rec.password, kDemoPassword);
        char name[kTextBytes];
        std::snprintf(name, sizeof name, "Demo %d", number++);
        CopyText(rec.name, name);
        int slot = -1;
        int rc = store.AddDevice(rec, &slot);
        if (rc != 0 || slot < 0) {
            *error = rc == -2 ? "duplicate demo device " + d.host + ":" + std::to_string(d.port)
                              : "cannot add demo device " + d.host;
            return -1;
        }
        // A screening camera among them shows its thermal picture (an add never writes the flag).
        rec.thermalFlag = 1;
        if (store.ModifyDevice(rec, slot) != 0) {
            *error = "cannot set the thermal flag of demo device " + d.host;
            return -1;
        }
        for (int c = 0; c < d.channels; ++c) {
            GroupMember m{};
            m.deviceIndex = slot;
            m.channelIndex = c;
            if (store.AddGroupMember(groupId, &m) != 0) {
                *error = "cannot add a channel to the demo group";
                return -1;
            }
        }
    }
    // Plan recording around the clock, motion alarms armed around the clock with recording
    // and sound.
    uint32_t allDay[kScheduleWords];
    for (auto& w : allDay) w = kWholeDay;
    bool ok = store.ModifyChannel(0, -1, kChannelPlanSchedule, 0, allDay, sizeof allDay) == 0 &&
              store.ModifyChannel(0, -1, kChannelArmSchedule, 0, allDay, sizeof allDay) == 0 &&
              store.ModifyChannel(0, -1, kChannelPlanRecord, 1, nullptr, 0) == 0 &&
              store.ModifyChannel(0, -1, kChannelArmAlarm, 1, nullptr, 0) == 0 &&
              store.ModifyChannel(0, -1, kChannelAlarmMd, kLinkRecord | kLinkSound, nullptr, 0) == 0;
    if (!ok) {
        *error = "cannot write the demo channel settings";
        return -1;
    }
    SystemSettings s = store.settings();
    s.DISK = 1 << ('D' - 'C');  // recording drive D
    s.PLANREC = 1;
    s.ARMFLAG = 1;
    if (store.SaveSettings(s, false) != 0) {
        *error = "cannot save the demo settings";
        return -1;
    }
    return 0;
}

}  // namespace

bool ParseDemoDevices(const std::string& text, std::vector<DemoDevice>* out, std::string* error) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty()) {
            if (end == text.size()) break;
            continue;
        }
        DemoDevice d;
        if (item.compare(0, 6, "onvif=") == 0) {
            d.type = kDeviceTypeOnvif;
            item = item.substr(6);
        }
        size_t c2 = item.rfind(':');
        size_t c1 = c2 == std::string::npos || c2 == 0 ? std::string::npos : item.rfind(':', c2 - 1);
        if (c1 == std::string::npos || c1 == 0) {
            *error = "expected host:port:channels, got \"" + item + "\"";
            return false;
        }
        d.host = item.substr(0, c1);
        if (d.host.find('=') != std::string::npos) {
            *error = "unknown device kind in \"" + item + "\" (only onvif= is known)";
            return false;
        }
        if (d.host.size() >= static_cast<size_t>(kTextBytes)) {
            *error = "host longer than 31 characters: " + d.host;
            return false;
        }
        if (!ParseNumber(item.substr(c1 + 1, c2 - c1 - 1), 1, 65535, &d.port)) {
            *error = "port must be 1..65535 in \"" + item + "\"";
            return false;
        }
        if (!ParseNumber(item.substr(c2 + 1), 1, kMaxChannels, &d.channels)) {
            *error = "channels must be 1..64 in \"" + item + "\"";
            return false;
        }
        out->push_back(d);
        if (end == text.size()) break;
    }
    return true;
}

int CreateEmptyDatabase(const std::string& path) {
    unlink(path.c_str());
    RemoveSideFiles(path);
    // The database holds the accounts' passwords: only its owner reads it, and SQLite gives
    // its log files the database file's mode.
    if (CreatePrivateFile(path) != 0) return -1;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    bool ok = rc == SQLITE_OK && sqlite3_exec(db, kSchemaSql, nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    if (!ok) unlink(path.c_str());
    return ok ? 0 : -1;
}

int WriteLiveDatabase(const std::string& path, const std::vector<DemoDevice>& demo, std::string* error) {
    std::string tmp = TempPathFor(path);
    if (CreateEmptyDatabase(tmp) != 0) {
        *error = "cannot create " + tmp;
        return -1;
    }
    int rc = 0;
    {
        ConfigStore store;
        if (store.Open(tmp) != 0) {
            *error = "cannot open the new database";
            rc = -1;
        }
        UserInfo admin{};
        admin.level = kLevelAdministrator;
        admin.option = kAllRights;
        CopyText(admin.userName, "admin");
        if (rc == 0 && store.AddUser(admin) != 0) {
            *error = "cannot add the administrator";
            rc = -1;
        }
        if (rc == 0 && !demo.empty()) rc = AddDemo(store, demo, error);
        store.Close();
    }
    if (rc != 0) {
        unlink(tmp.c_str());
        RemoveSideFiles(tmp);
        return -1;
    }
    if (Install(tmp, path) != 0) {
        *error = "cannot move the new database to " + path;
        return -1;
    }
    return 0;
}

int WriteTemplate(const std::string& path, std::string* error) {
    std::string tmp = TempPathFor(path);
    if (CreateEmptyDatabase(tmp) != 0) {
        *error = "cannot create " + tmp;
        return -1;
    }
    int rc = -1;
    {
        ConfigStore store;
        // Loading an empty SYSTERM table writes the factory row; the template carries the
        // product code that makes configuration files importable.
        if (store.Open(tmp) == 0 && store.LoadSettings() == 0) {
            DbRecordset rs(store.connection());
            if (rs.Open("select * from SYSTERM") && !rs.IsEof() && rs.PutText("PRODUCT", "TOLVE") && rs.Update())
                rc = 0;
        }
        store.Close();
    }
    if (rc != 0) {
        *error = "cannot write the template's settings row";
        unlink(tmp.c_str());
        RemoveSideFiles(tmp);
        return -1;
    }
    if (Install(tmp, path) != 0) {
        *error = "cannot move the template to " + path;
        return -1;
    }
    return 0;
}

int InstallDatabaseFiles(const std::string& dir, bool force, const std::vector<DemoDevice>& demo, bool* kept,
                         std::string* message) {
    *kept = false;
    if (MakeDirectories(dir) != 0) {
        *message = "cannot create " + dir;
        return -1;
    }
    if (WriteTemplate(dir + "/" + kTemplateDatabaseName, message) != 0) return -1;
    std::string livePath = dir + "/" + kLiveDatabaseName;
    if (FileExists(livePath) && !force) {
        *kept = true;
        return demo.empty() ? 0 : 1;
    }
    return WriteLiveDatabase(livePath, demo, message);
}

}  // namespace ocv::mkdb
