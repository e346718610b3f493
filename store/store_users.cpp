// User accounts: table USERINFO and the 64-slot user table.
#include "store/config_store.h"
#include "store/store_fields.h"

namespace ocv {
namespace {

// An account text as stored: at most 31 bytes, cut between characters, and never ending in a
// character that a cut by bytes left incomplete (such a password could not be typed again).
template <size_t N>
void CopyAccountText(char (&field)[N], const char (&from)[N]) {
    std::string_view text = FieldText(from);
    CopyText(field, text.substr(0, CompleteLength(text)));
}

}  // namespace

int ConfigStore::LoadUsers() {
    if (!connection_) return -1;
    for (auto& u : users_) u = UserInfo{};
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from USERINFO")) return LoadFailed("USERINFO", rs);
    std::string text;
    for (int slot = 0; slot < kMaxUsers && !rs.IsEof(); ++slot, rs.MoveNext()) {
        UserInfo& u = users_[slot];
        u.id = ReadInt(rs, "ID");
        rs.GetText("USERNAME", &text);
        CopyText(u.userName, text);
        rs.GetText("PASSWORD", &text);
        CopyText(u.password, text);
        u.level = ReadInt(rs, "LEVEL");
        u.option = ReadLong(rs, "OPTION");
    }
    if (rs.Failed()) return LoadFailed("USERINFO", rs);
    return 0;
}

int ConfigStore::AddUserImpl(const UserInfo& u) {
    if (!connection_) return -1;
    UserInfo stored = u;
    CopyAccountText(stored.userName, u.userName);
    CopyAccountText(stored.password, u.password);
    if (stored.userName[0] == '\0') return -1;  // an empty name marks a free slot
    int freeSlot = -1;
    for (int s = 0; s < kMaxUsers; ++s) {
        if (users_[s].userName[0] == '\0') {
            if (freeSlot < 0) freeSlot = s;
        } else if (FieldText(users_[s].userName) == FieldText(stored.userName)) {
            return -2;
        }
    }
    if (freeSlot < 0) return -1;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from USERINFO")) return -1;
    if (!rs.AddNew() || !rs.PutText("USERNAME", stored.userName) || !rs.PutText("PASSWORD", stored.password) ||
        !rs.PutShort("LEVEL", static_cast<int16_t>(stored.level)) || !rs.PutLong("OPTION", stored.option) ||
        !rs.Update())
        return -1;
    stored.id = ReadInt(rs, "ID");
    users_[freeSlot] = stored;
    return 0;
}

int ConfigStore::ModifyUserImpl(const UserInfo& u) {
    if (!connection_) return -1;
    char password[kTextBytes];
    CopyAccountText(password, u.password);
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from USERINFO where ID = %d", u.id)) return -1;
    if (!rs.IsEof()) {
        if (!rs.PutText("PASSWORD", password) || !rs.PutShort("LEVEL", static_cast<int16_t>(u.level)) ||
            !rs.PutLong("OPTION", u.option) || !rs.Update())
            return -1;
    }
    for (auto& slot : users_) {
        if (slot.userName[0] == '\0' || slot.id != u.id) continue;
        // The account name is never changed.
        slot.level = u.level;
        slot.option = u.option;
        CopyText(slot.password, password);
    }
    return 0;
}

int ConfigStore::DeleteUserImpl(const UserInfo& u) {
    if (!connection_) return -1;
    if (!connection_->Execute("delete from USERINFO where ID = %d", u.id)) return -1;
    for (auto& slot : users_) {
        if (slot.userName[0] == '\0' || slot.id != u.id) continue;
        slot = UserInfo{};
        slot.id = -1;
    }
    return 0;
}

}  // namespace ocv
