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

// Every stored field, one relaxed store each.
void PublishSettings(SystemSettings& d, const SystemSettings& s) {
    SetRelaxed(d.TIMEOUT, s.TIMEOUT);
    SetRelaxed(d.RECLEN, s.RECLEN);
    SetRelaxed(d.RECTYPE, s.RECTYPE);
    SetRelaxed(d.RECSTREAM, s.RECSTREAM);
    SetRelaxed(d.ALARMLEN, s.ALARMLEN);
    SetRelaxed(d.PHOTOTYPE, s.PHOTOTYPE);
    SetTextRelaxed(d.PHOTOPATH, FieldText(s.PHOTOPATH));
    SetRelaxed(d.ENABLETIME, s.ENABLETIME);
    SetRelaxed(d.CHECKTIME, s.CHECKTIME);
    SetRelaxed(d.DISK, s.DISK);
    SetRelaxed(d.ROTALEN, s.ROTALEN);
    SetRelaxed(d.ROTATYPE, s.ROTATYPE);
    SetRelaxed(d.DISKREMAIN, s.DISKREMAIN);
    SetRelaxed(d.COVER, s.COVER);
    SetRelaxed(d.PLANREC, s.PLANREC);
    SetRelaxed(d.ARMFLAG, s.ARMFLAG);
    SetRelaxed(d.PREREC, s.PREREC);
    SetRelaxed(d.LOGMONTH, s.LOGMONTH);
    SetRelaxed(d.USER, s.USER);
    SetRelaxed(d.REMEMBER, s.REMEMBER);
    SetRelaxed(d.AUTOMATIC, s.AUTOMATIC);
    SetRelaxed(d.SHOWMODE, s.SHOWMODE);
    SetRelaxed(d.CONNECT, s.CONNECT);
    SetRelaxed(d.ENABLEOSD, s.ENABLEOSD);
    SetTextRelaxed(d.PASS, FieldText(s.PASS));
    SetRelaxed(d.netPriority, s.netPriority);
    SetRelaxed(d.tempUnit, s.tempUnit);
}

void ApplyRestoreDefaults(SystemSettings& s) {
    s.TIMEOUT = 10;
    s.RECLEN = 5;
    s.RECSTREAM = 0;
    s.ALARMLEN = 5;
    s.PHOTOTYPE = 0;
    CopyText(s.PHOTOPATH, kDefaultPhotoPath);
    s.ENABLETIME = 0;
    s.CHECKTIME = 0;
    s.DISK = 2;  // drive D:
    s.ROTALEN = 20;
    s.ROTATYPE = 0;
    s.DISKREMAIN = 5;
    s.COVER = 0;
    s.ARMFLAG = 0;
    s.PREREC = 5;
    s.LOGMONTH = 1;
    s.USER = -1;
    s.REMEMBER = 0;
    s.AUTOMATIC = 1;
    s.SHOWMODE = 1;
    s.CONNECT = 1;
    s.ENABLEOSD = 0;
    s.netPriority = 0;
}

int16_t Short(int32_t v) { return static_cast<int16_t>(v); }

}  // namespace

// The columns a save writes; an export writes the same set without ROTATYPE and NETTYPE.
void PutSettingsColumns(DbRecordset& rs, const SystemSettings& s, bool withTourAndNetType) {
    rs.PutShort("RECLEN", Short(s.RECLEN));
    rs.PutShort("ROTALEN", Short(s.ROTALEN));
    rs.PutShort("ALARMLEN", Short(s.ALARMLEN));
    rs.PutShort("COVER", Short(s.COVER));
    rs.PutShort("PLANREC", Short(s.PLANREC));
    rs.PutShort("PREREC", Short(s.PREREC));
    rs.PutLong("DISK", s.DISK);
    rs.PutShort("PHOTOTYPE", Short(s.PHOTOTYPE));
    rs.PutText("PHOTOPATH", FieldString(s.PHOTOPATH).c_str());
    rs.PutShort("ENABLETIME", Short(s.ENABLETIME));
    rs.PutLong("CHECKTIME", s.CHECKTIME);
    rs.PutShort("LOGMONTH", Short(s.LOGMONTH));
    rs.PutShort("RECTYPE", Short(s.RECTYPE));
    rs.PutShort("DISKREMAIN", Short(s.DISKREMAIN));
    rs.PutShort("CONNECT", Short(s.CONNECT));
    rs.PutShort("AUTOMATIC", Short(s.AUTOMATIC));
    rs.PutShort("ENABLEOSD", Short(s.ENABLEOSD));
    rs.PutShort("RECSTREAM", Short(s.RECSTREAM));
    rs.PutShort("ARMFLAG", Short(s.ARMFLAG));
    rs.PutShort("TIMEOUT", Short(s.TIMEOUT));
    rs.PutShort("SHOWMODE", Short(s.SHOWMODE));
    if (withTourAndNetType) {
        rs.PutShort("ROTATYPE", Short(s.ROTATYPE));
        rs.PutShort("NETTYPE", Short(s.tempUnit * 10 + s.netPriority));
    }
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

    SetRelaxed(m.RECLEN, ReadInt(rs, "RECLEN"));
    SetRelaxed(m.ROTALEN, ReadInt(rs, "ROTALEN"));
    SetRelaxed(m.ROTATYPE, ReadInt(rs, "ROTATYPE"));
    int32_t alarmLen = ReadInt(rs, "ALARMLEN");
    if (alarmLen < kMinAlarmSeconds) alarmLen = kMinAlarmSeconds;
    if (alarmLen > kMaxAlarmSeconds) alarmLen = kMaxAlarmSeconds;
    SetRelaxed(m.ALARMLEN, alarmLen);
    SetRelaxed(m.COVER, ReadInt(rs, "COVER"));
    SetRelaxed(m.PLANREC, ReadInt(rs, "PLANREC"));
    SetRelaxed(m.PREREC, ReadInt(rs, "PREREC"));
    SetRelaxed(m.DISK, ReadLong(rs, "DISK"));
    SetRelaxed(m.PHOTOTYPE, ReadInt(rs, "PHOTOTYPE"));
    ReadText(rs, "PHOTOPATH", m.PHOTOPATH);
    SetRelaxed(m.ENABLETIME, ReadInt(rs, "ENABLETIME"));
    SetRelaxed(m.CHECKTIME, ReadInt(rs, "CHECKTIME"));
    SetRelaxed(m.LOGMONTH, ReadInt(rs, "LOGMONTH"));
    SetRelaxed(m.USER, ReadInt(rs, "USER"));
    SetRelaxed(m.REMEMBER, ReadInt(rs, "REMEMBER"));
    SetRelaxed(m.AUTOMATIC, ReadInt(rs, "AUTOMATIC"));
    SetRelaxed(m.ENABLEOSD, ReadInt(rs, "ENABLEOSD"));
    SetRelaxed(m.RECTYPE, ReadInt(rs, "RECTYPE"));
    SetRelaxed(m.DISKREMAIN, ReadInt(rs, "DISKREMAIN"));
    SetRelaxed(m.SHOWMODE, ReadInt(rs, "SHOWMODE"));
    SetRelaxed(m.RECSTREAM, ReadInt(rs, "RECSTREAM"));
    SetRelaxed(m.CONNECT, ReadInt(rs, "CONNECT"));
    ReadText(rs, "PASS", m.PASS);
    SetRelaxed(m.ARMFLAG, ReadInt(rs, "ARMFLAG"));
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
