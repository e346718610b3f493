// Configuration export and import, whole-file backups.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_util.h"
#include "base/trace.h"
#include "store/config_files.h"
#include "store/config_store.h"
#include "store/store_fields.h"
#include "store/stream_urls.h"

namespace ocv {

namespace {

int16_t Short(int32_t v) { return static_cast<int16_t>(v); }

void RemoveSideFiles(const std::string& dbPath) {
    unlink((dbPath + "-wal").c_str());
    unlink((dbPath + "-shm").c_str());
    unlink((dbPath + "-journal").c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The product code of a configuration file, read without writing into or beside the file.
std::string ReadProduct(const std::string& path, DatabaseCheck* check) {
    auto conn = OpenConfigDatabase(path, check, true);
    if (!conn) return {};
    DbRecordset rs(conn.get());
    std::string product;
    if (rs.Open("select * from SYSTERM") && !rs.IsEof()) rs.GetText("PRODUCT", &product);
    return product;
}

}  // namespace

int BackupOpenDatabase(sqlite3* db, const std::string& destPath) {
    if (db == nullptr || destPath.empty()) return -1;
    std::string tmp = destPath + ".tmp." + std::to_string(getpid());
    unlink(tmp.c_str());
    RemoveSideFiles(tmp);
    // The copy holds the accounts' passwords: it is made private before SQLite fills it (its
    // log files take the database file's mode).
    if (CreatePrivateFile(tmp) != 0) return -1;
    sqlite3* dest = nullptr;
    int rc = sqlite3_open_v2(tmp.c_str(), &dest, SQLITE_OPEN_READWRITE, nullptr);
    bool ok = rc == SQLITE_OK;
    if (ok) {
        sqlite3_backup* backup = sqlite3_backup_init(dest, "main", db, "main");
        ok = backup != nullptr;
        if (ok) {
            rc = sqlite3_backup_step(backup, -1);
            ok = sqlite3_backup_finish(backup) == SQLITE_OK && rc == SQLITE_DONE;
        }
        // The copy is a self-contained file: its log is folded in before it is renamed.
        if (ok) ok = sqlite3_exec(dest, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ok = sqlite3_close(dest) == SQLITE_OK && ok;
    if (ok) ok = rename(tmp.c_str(), destPath.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    RemoveSideFiles(tmp);
    return ok ? 0 : -1;
}

std::string BackupFileName(const ClockSnapshot& t) {
    char name[64];
    std::snprintf(name, sizeof name, "VMS%d%02d%02d%02d%02d%02d.bak", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return name;
}

std::string ConfigurationFilePath(const std::string& folder, const ClockSnapshot& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%d-%02d-%02d-%02d-%02d-%02d.bak", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return folder + "/" + name;
}

int ExportData(const std::string& livePath, const std::string& targetPath) {
    if (!FileExists(livePath) || targetPath.empty() || SameFile(livePath, targetPath)) return -1;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(livePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK) {
        int rc = BackupOpenDatabase(db, targetPath);
        sqlite3_close(db);
        return rc;
    }
    sqlite3_close(db);
    return CopyFileAtomically(livePath, targetPath, kPrivateFileMode);  // not a database: copied as it is
}

int ImportData(const std::string& sourcePath, const std::string& appDir) {
    if (!FileExists(sourcePath)) return -1;
    return CopyFileAtomically(sourcePath, appDir + "/" + kPendingImportName, kPrivateFileMode);
}

int ExportConfigurationFile(ConfigStore& store, const std::string& templatePath, const std::string& folder,
                            const ClockSnapshot& now, std::string* outPath) {
    std::string path = ConfigurationFilePath(folder, now);
    if (CopyFileAtomically(templatePath, path, kPrivateFileMode) != 0) return -1;
    if (store.WriteConfiguration(path.c_str()) != 0) {
        unlink(path.c_str());
        RemoveSideFiles(path);
        return -1;
    }
    if (outPath != nullptr) *outPath = path;
    return 0;
}

int ConfigStore::WriteConfiguration(const char* path) {
    if (path == nullptr) return -1;
    auto target = OpenConfigDatabase(path);
    if (!target) return -1;
    // Every row must reach the file: a configuration missing some of them is no copy of it.
    bool ok = true;

    DbRecordset dev(target.get());
    DbRecordset chn(target.get());
    ok = CreateStreamUrlTable(*target) == 0 && dev.Open("select * from DEVICE") && chn.Open("select * from CHANNEL");
    for (int s = 0; ok && s < kMaxDevices; ++s) {
        DeviceInfo& d = devices_[s];
        if (d.IsEmpty()) continue;
        ok = dev.AddNew() && dev.PutText("HOST", FieldString(d.host).c_str()) && dev.PutLong("PORT", d.port) &&
             dev.PutText("USER", FieldString(d.user).c_str()) &&
             dev.PutText("PASS", FieldString(d.password).c_str()) &&
             dev.PutText("NAME", FieldString(d.name).c_str()) && dev.PutShort("CHNM", Short(d.channelCount)) &&
             dev.PutShort("TYPE", Short(d.type)) && dev.Update();
        if (!ok) break;
        int deviceId = ReadInt(dev, "ID");
        for (auto& c : d.channels) {
            if (c.id <= 0) continue;
            ok = chn.AddNew() && chn.PutLong("DEVID", deviceId) && chn.PutText("NAME", FieldString(c.name).c_str()) &&
                 chn.PutShort("STREAM", Short(c.stream)) && chn.PutShort("ALARMMD", Short(c.alarmMd)) &&
                 chn.PutShort("ALARMINPUT", Short(c.alarmInput)) &&
                 chn.PutShort("ALARMDISCONN", Short(c.alarmDisconnect)) &&
                 chn.PutShort("ALARMDISKFULL", Short(c.alarmDiskFull)) &&
                 chn.PutShort("AUTOADJUST", Short(c.autoAdjust)) && chn.PutShort("PLANREC", Short(c.planRecord)) &&
                 chn.PutShort("ALARMARM", Short(c.armAlarm));
            for (int w = 0; ok && w < kScheduleWords; ++w) {
                ok = chn.PutLong(kPlanColumns[w], static_cast<int32_t>(c.planSchedule[w])) &&
                     chn.PutLong(kArmColumns[w], static_cast<int32_t>(c.armSchedule[w]));
            }
            ok = ok && chn.Update();
            if (!ok) break;
            SetRelaxed(c.exportId, ReadInt(chn, "ID"));
            ok = !connection_ || CopyChannelStreamUrls(*connection_, c.id, *target, c.exportId) == 0;
            if (!ok) break;
        }
    }
    dev.Close();
    chn.Close();

    DbRecordset grp(target.get());
    DbRecordset sub(target.get());
    ok = ok && grp.Open("select * from MAINGROUP") && sub.Open("select * from SUBGROUP");
    for (size_t g = 0; ok && g < groups_.size(); ++g) {
        const GroupInfo& group = groups_[g];
        if (group.id <= 0) continue;
        ok = grp.AddNew() && grp.PutText("NAME", FieldString(group.name).c_str()) && grp.Update();
        if (!ok) break;
        int groupId = ReadInt(grp, "ID");
        for (const auto& m : group.members) {
            if (IsValidChannel(m.deviceIndex, m.channelIndex) != 0) continue;
            int exportId = devices_[m.deviceIndex].channels[m.channelIndex].exportId;
            ok = sub.AddNew() && sub.PutLong("GROUPID", groupId) && sub.PutLong("CHNID", exportId) && sub.Update();
            if (!ok) break;
        }
    }
    grp.Close();
    sub.Close();

    DbRecordset sys(target.get());
    ok = ok && sys.Open("select * from SYSTERM");
    if (ok && !sys.IsEof()) {
        PutSettingsColumns(sys, settings_, false);
        ok = sys.Update();
    }
    sys.Close();
    target->Close();
    return ok ? 0 : -1;
}

int ConfigStore::CheckImportFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        Trace("import: no file given\n");
        return -1;
    }
    DatabaseCheck check;
    std::string product = ReadProduct(path, &check);
    if (product != kImportProduct) {
        Trace("import: %s is not a configuration file (%s)\n", path,
              !check.detail.empty() ? check.detail.c_str() : product.empty() ? "no product code" : "another product");
        return -1;
    }
    return 0;
}

int ConfigStore::ImportConfigurationImpl(const char* path) {
    // Steps 1-3: only a configuration file carrying the product code, and only into an open
    // live database that is not that same file.
    if (CheckImportFile(path) != 0) return -1;
    if (!connection_ || SameFile(path, path_)) {
        Trace("import: %s\n", connection_ ? "the file chosen is the live database" : "no live database open");
        return -1;
    }
    const std::string livePath = path_;

    // The live file is put aside first, so that a failure after its rows are deleted can put it
    // back instead of losing the operator's configuration.
    const std::string saved = livePath + ".import-saved";
    if (BackupOpenDatabase(connection_->handle(), saved) != 0) return -1;

    // Putting the live file back: the copy is never deleted unless it is in place again (it may
    // be the only whole copy of the operator's configuration), and the reloaded records get the
    // same start-up overrides a start gives them.
    auto restore = [&]() {
        Close();
        RemoveSideFiles(livePath);
        if (failImportRestore_ || rename(saved.c_str(), livePath.c_str()) != 0)
            Trace("import: cannot put %s back as %s (%s); the copy is kept\n", saved.c_str(), livePath.c_str(),
                  strerror(errno));
        if (Open(livePath) == 0) {
            LoadAll();
            ApplyStartupOverrides();
        }
        return -1;
    };

    // Step 4: devices, maps and groups leave the live database (users stay).
    if (!connection_->Execute("delete from DEVICE") || !connection_->Execute("delete from MAINMAP") ||
        !connection_->Execute("delete from MAINGROUP"))
        return restore();
    // Step 5.
    ClearDevices();
    groups_.clear();
    maps_.clear();
    // Step 6: the store reads the imported file.
    Close();
    if (failImportStep_ == 6 || Open(path, true) != 0) return restore();
    // Step 7.
    if (failImportStep_ == 7 || LoadSettings() != 0 || LoadDevices() != 0 || LoadGroups() != 0) return restore();
    // Step 8: written back into the live file.
    if (failImportStep_ == 8 || WriteConfiguration(livePath.c_str()) != 0) return restore();
    // Step 9.
    Close();
    ClearDevices();
    groups_.clear();
    path_ = livePath;
    unlink(saved.c_str());
    return 0;
}

}  // namespace ocv
