// System settings: the single row of SYSTERM and the process-wide SystemSettings record.
#include "store/config_store.h"
#include "store/store_fields.h"

namespace ocv {
namespace {

constexpr int32_t kMinAlarmSeconds = 5;
constexpr int32_t kMaxAlarmSeconds = 1800;
constexpr int32_t kMinTimeoutSeconds = 1;
constexpr int32_t kMaxTimeoutSeconds = 180;
constexpr int32_t kFallbackTimeoutSeconds = 10;
constexpr const char* kDefaultPhotoPath = "D:\\";

// Where a settings column goes: read at load, written by a save, written into a
// configuration file.
constexpr uint8_t kLoaded = 1, kSaved = 2, kExported = 4;
constexpr uint8_t kEverywhere = kLoaded | kSaved | kExported;

// The integer settings that map one column to one field; load, save, export, publication and
// "Restore defaults" all work from this table. TIMEOUT and ALARMLEN are read with their own
// rules, NETTYPE holds two fields, and the two texts are handled beside the table.
struct SettingsColumn {
    const char* column;
    int32_t SystemSettings::*member;
    bool wide;           // a 32-bit column; the others are 16-bit
    bool direct;         // read as a number; the others are read as text and converted
    uint8_t where;
    bool resets;         // "Restore defaults" sets restoreDefault
    int32_t restoreDefault;
};

constexpr SettingsColumn kColumns[] = {
    {"RECLEN", &SystemSettings::RECLEN, false, false, kEverywhere, true, 5},
    {"ROTALEN", &SystemSettings::ROTALEN, false, false, kEverywhere, true, 20},
    {"ROTATYPE", &SystemSettings::ROTATYPE, false, false, kLoaded | kSaved, true, 0},
    {"ALARMLEN", &SystemSettings::ALARMLEN, false, false, kSaved | kExported, true, 5},
    {"COVER", &SystemSettings::COVER, false, false, kEverywhere, true, 0},
    {"PLANREC", &SystemSettings::PLANREC, false, false, kEverywhere, false, 0},
    {"PREREC", &SystemSettings::PREREC, false, false, kEverywhere, true, 5},
    {"DISK", &SystemSettings::DISK, true, true, kEverywhere, true, 2},  // drive D:
    {"PHOTOTYPE", &SystemSettings::PHOTOTYPE, false, false, kEverywhere, true, 0},
    {"ENABLETIME", &SystemSettings::ENABLETIME, false, false, kEverywhere, true, 0},
    {"CHECKTIME", &SystemSettings::CHECKTIME, true, false, kEverywhere, true, 0},
    {"LOGMONTH", &SystemSettings::LOGMONTH, false, false, kEverywhere, true, 1},
    {"USER", &SystemSettings::USER, true, false, kLoaded, true, -1},
    {"REMEMBER", &SystemSettings::REMEMBER, false, false, kLoaded, true, 0},
    {"AUTOMATIC", &SystemSettings::AUTOMATIC, false, false, kEverywhere, true, 1},
    {"ENABLEOSD", &SystemSettings::ENABLEOSD, false, false, kEverywhere, true, 0},
    {"RECTYPE", &SystemSettings::RECTYPE, false, false, kEverywhere, false, 0},
    {"DISKREMAIN", &SystemSettings::DISKREMAIN, false, false, kEverywhere, true, 5},
    {"SHOWMODE", &SystemSettings::SHOWMODE, false, false, kEverywhere, true, 1},
    {"RECSTREAM", &SystemSettings::RECSTREAM, false, false, kEverywhere, true, 0},
    {"CONNECT", &SystemSettings::CONNECT, false, false, kEverywhere, true, 1},
    {"ARMFLAG", &SystemSettings::ARMFLAG, false, false, kEverywhere, true, 0},
    {"TIMEOUT", &SystemSettings::TIMEOUT, false, false, kSaved | kExported, true, 10},
};

// Every stored field, one relaxed store each.
void PublishSettings(SystemSettings& d, const SystemSettings& s) {
    for (const SettingsColumn& c : kColumns) SetRelaxed(d.*c.member, s.*c.member);
    SetTextRelaxed(d.PHOTOPATH, FieldText(s.PHOTOPATH));
    SetTextRelaxed(d.PASS, FieldText(s.PASS));
    SetRelaxed(d.netPriority, s.netPriority);
    SetRelaxed(d.tempUnit, s.tempUnit);
}

void ApplyRestoreDefaults(SystemSettings& s) {
    for (const SettingsColumn& c : kColumns)
        if (c.resets) s.*c.member = c.restoreDefault;
    CopyText(s.PHOTOPATH, kDefaultPhotoPath);
    s.netPriority = 0;
}

int16_t Short(int32_t v) { return static_cast<int16_t>(v); }

}  // namespace

// The columns a save writes; an export writes the same set without ROTATYPE and NETTYPE.
void PutSettingsColumns(DbRecordset& rs, const SystemSettings& s, bool withTourAndNetType) {
    const uint8_t want = withTourAndNetType ? kSaved : kExported;
    for (const SettingsColumn& c : kColumns) {
        if (!(c.where & want)) continue;
        if (c.wide) rs.PutLong(c.column, s.*c.member);
        else rs.PutShort(c.column, Short(s.*c.member));
    }
    rs.PutText("PHOTOPATH", FieldString(s.PHOTOPATH).c_str());
    if (withTourAndNetType) rs.PutShort("NETTYPE", Short(s.tempUnit * 10 + s.netPriority));
}

int ConfigStore::LoadSettings() {
    if (!connection_) return -1;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SYSTERM")) return LoadFailed("SYSTERM", rs);
    SystemSettings& m = settings_;
    const int rows = rs.RecordCount();
    if (rows < 0) return LoadFailed("SYSTERM", rs);
    if (rows == 0) {
        // Factory values: the in-memory record and one new row (not read back).
        SetRelaxed(m.COVER, 0);
        SetRelaxed(m.PHOTOTYPE, 0);
        SetRelaxed(m.ENABLETIME, 0);
        SetRelaxed(m.RECLEN, 5);
        SetTextRelaxed(m.PHOTOPATH, kDefaultPhotoPath);
        SetRelaxed(m.ALARMLEN, 5);
        SetRelaxed(m.ROTALEN, 10);
        SetRelaxed(m.PREREC, 5);
        SetRelaxed(m.LOGMONTH, 1);
        SetRelaxed(m.CHECKTIME, 0);
        SetRelaxed(m.USER, -1);
        SetRelaxed(m.REMEMBER, 0);
        SetRelaxed(m.AUTOMATIC, 1);
        SetRelaxed(m.DISKREMAIN, 5);
        SetRelaxed(m.SHOWMODE, 1);
        SetRelaxed(m.CONNECT, 1);
        SetRelaxed(m.ENABLEOSD, 0);
        SetRelaxed(m.RECSTREAM, 0);
        SetRelaxed(m.ARMFLAG, 0);

        rs.AddNew();
        rs.PutShort("RECLEN", 5);
        rs.PutLong("ROTALEN", 10);
        rs.PutLong("ALARMLEN", 5);
        rs.PutLong("COVER", 0);
        rs.PutLong("PLANREC", 0);
        rs.PutLong("PREREC", 5);
        rs.PutLong("SCREEN", 0);
        rs.PutText("DISK", "");
        rs.PutText("PHOTOTYPE", "0");
        rs.PutText("PHOTOPATH", kDefaultPhotoPath);
        rs.PutText("ENABLETIME", "0");
        rs.PutText("CHECKTIME", "0");
        rs.PutText("LOGMONTH", "1");
        rs.PutLong("RECTYPE", 0);
        rs.PutLong("DISKREMAIN", 1);
        rs.PutLong("SHOWMODE", 1);
        rs.PutLong("CONNECT", 1);
        rs.PutText("PRODUCT", "MERVAL");
        rs.PutText("VERSION", "");
        rs.PutLong("ENABLEOSD", 0);
        rs.PutLong("RECSTREAM", 0);
        rs.PutLong("PBPORT", 9000);
        rs.PutLong("PBSTARTUP", 0);
        rs.PutLong("ARMFLAG", 0);
        rs.PutLong("SNAPTIME", 60);
        rs.PutLong("USER", -1);
        rs.PutText("PASS", "0");
        return rs.Update() ? 0 : -1;
    }

    for (const SettingsColumn& c : kColumns)
        if (c.where & kLoaded) SetRelaxed(m.*c.member, c.direct ? ReadLong(rs, c.column) : ReadInt(rs, c.column));
    int32_t alarmLen = ReadInt(rs, "ALARMLEN");
    if (alarmLen < kMinAlarmSeconds) alarmLen = kMinAlarmSeconds;
    if (alarmLen > kMaxAlarmSeconds) alarmLen = kMaxAlarmSeconds;
    SetRelaxed(m.ALARMLEN, alarmLen);
    ReadText(rs, "PHOTOPATH", m.PHOTOPATH);
    ReadText(rs, "PASS", m.PASS);
    std::string timeoutText;
    int32_t timeout = rs.GetText("TIMEOUT", &timeoutText) ? TextToInt(timeoutText) : 0;
    if (timeout < kMinTimeoutSeconds || timeout > kMaxTimeoutSeconds) timeout = kFallbackTimeoutSeconds;
    SetRelaxed(m.TIMEOUT, timeout);
    int32_t netType = ReadInt(rs, "NETTYPE");
    SetRelaxed(m.netPriority, netType % 10);
    SetRelaxed(m.tempUnit, netType / 10);
    return 0;
}

int ConfigStore::SaveSettingsImpl(const SystemSettings& s, bool restoreDefaults) {
    if (!connection_) return -1;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SYSTERM")) return -1;
    const int rows = rs.RecordCount();
    if (rows < 0) return -1;
    if (rows == 0) return 0;
    SystemSettings copy = s;
    if (restoreDefaults) ApplyRestoreDefaults(copy);
    PutSettingsColumns(rs, copy, true);
    if (!rs.Update()) return -1;
    PublishSettings(settings_, copy);
    return 0;
}

int ConfigStore::SaveLoginMemoryImpl(int userId, const char* password, int remember) {
    if (!connection_) return -1;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SYSTERM")) return -1;
    if (rs.IsEof()) return 0;
    const char* pass = password ? password : "";
    rs.PutShort("REMEMBER", static_cast<int16_t>(remember));
    if (remember == 1) {
        rs.PutLong("USER", userId);
        rs.PutText("PASS", pass);
    } else {
        rs.PutLong("USER", 0);
        rs.PutText("PASS", "");
    }
    if (!rs.Update()) return -1;
    SetRelaxed(settings_.USER, userId);
    SetRelaxed(settings_.REMEMBER, remember);
    SetTextRelaxed(settings_.PASS, pass);
    return 0;
}

void ConfigStore::ApplyStartupOverrides() {
    SetRelaxed(settings_.PLANREC, 1);
    SetRelaxed(settings_.ARMFLAG, 1);
    SetRelaxed(settings_.DISKREMAIN, 10);
}

}  // namespace ocv
