// Channel groups: tables MAINGROUP and SUBGROUP.
#include "store/config_store.h"
#include "store/store_fields.h"

namespace ocv {

int ConfigStore::LoadGroups() {
    if (!connection_) return -1;
    groups_.clear();
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINGROUP")) return LoadFailed("MAINGROUP", rs);
    std::string text;
    for (; !rs.IsEof(); rs.MoveNext()) {
        GroupInfo g{};
        g.id = ReadInt(rs, "ID");
        rs.GetText("NAME", &text);
        CopyText(g.name, text);
        groups_.push_back(std::move(g));
    }
    if (rs.Failed()) return LoadFailed("MAINGROUP", rs);
    rs.Close();
    for (auto& g : groups_) {
        DbRecordset sub(connection_.get());
        if (!sub.Open("select * from SUBGROUP where GROUPID = %d", g.id)) return LoadFailed("SUBGROUP", sub);
        for (; !sub.IsEof(); sub.MoveNext()) {
            GroupMember m{};
            m.memberId = ReadInt(sub, "ID");
            m.channelId = ReadInt(sub, "CHNID");
            // Members whose channel no longer exists stay in the file but are not loaded.
            if (FindChannel(m.channelId, &m.deviceIndex, &m.channelIndex)) g.members.push_back(m);
        }
        if (sub.Failed()) return LoadFailed("SUBGROUP", sub);
    }
    return 0;
}

int ConfigStore::AddGroupImpl(const char* name, int* groupId) {
    if (!connection_ || name == nullptr) return -1;
    GroupInfo g{};
    CopyText(g.name, name);
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINGROUP")) return -1;
    if (!rs.AddNew() || !rs.PutText("NAME", g.name) || !rs.Update()) return -1;
    g.id = ReadInt(rs, "ID");
    groups_.push_back(std::move(g));
    if (groupId != nullptr) *groupId = groups_.back().id;
    return 0;
}

int ConfigStore::RenameGroupImpl(int groupId, const char* name) {
    if (!connection_ || name == nullptr) return -1;
    char cut[kTextBytes];
    CopyText(cut, name);
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINGROUP where ID = %d", groupId)) return -1;
    if (!rs.IsEof()) {
        rs.PutText("NAME", cut);
        if (!rs.Update()) return -1;
    }
    for (auto& g : groups_) {
        if (g.id == groupId) CopyText(g.name, cut);
    }
    return 0;
}

int ConfigStore::DeleteGroupImpl(int groupId) {
    if (!connection_) return -1;
    // Its SUBGROUP rows stay in the file; no load reaches them again.
    if (!connection_->Execute("delete from MAINGROUP where ID = %d", groupId)) return -1;
    for (auto it = groups_.begin(); it != groups_.end(); ++it) {
        if (it->id == groupId) {
            groups_.erase(it);
            break;
        }
    }
    return 0;
}

int ConfigStore::AddGroupMemberImpl(int groupId, GroupMember* member) {
    if (groupId < 0 || member == nullptr || !connection_) return -1;
    if (IsValidChannel(member->deviceIndex, member->channelIndex) != 0) return -1;
    const ChannelInfo& c = devices_[member->deviceIndex].channels[member->channelIndex];
    if (c.id <= 0) return -1;
    GroupInfo* target = nullptr;
    for (auto& g : groups_) {
        for (const auto& m : g.members) {
            if (m.deviceIndex == member->deviceIndex && m.channelIndex == member->channelIndex) return -2;
        }
        if (g.id == groupId) target = &g;
    }
    if (target == nullptr) return -1;
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SUBGROUP")) return -1;
    if (!rs.AddNew() || !rs.PutLong("GROUPID", groupId) || !rs.PutLong("CHNID", c.id) || !rs.Update())
        return -1;
    member->memberId = ReadInt(rs, "ID");
    member->channelId = c.id;
    target->members.push_back(*member);
    return 0;
}

int ConfigStore::DeleteGroupMemberImpl(int memberId) {
    if (!connection_) return -1;
    if (!connection_->Execute("delete from SUBGROUP where ID = %d", memberId)) return -1;
    for (auto& g : groups_) {
        for (auto it = g.members.begin(); it != g.members.end(); ++it) {
            if (it->memberId == memberId) {
                g.members.erase(it);
                return 0;
            }
        }
    }
    return 0;
}

}  // namespace ocv
