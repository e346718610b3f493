// Electronic maps: tables MAINMAP and SUBMAP.
#include "store/config_store.h"
#include "store/store_fields.h"

namespace ocv {
namespace {

int16_t Short(int32_t v) { return static_cast<int16_t>(v); }

// The columns of an item, channel items pointing at their channel and link items at a map.
bool PutItemColumns(DbRecordset& rs, const MapItem& item, int channelId) {
    bool channelItem = item.type == kMapItemChannel;
    return rs.PutLong("CHNID", channelItem ? channelId : -1) && rs.PutLong("URL", channelItem ? -1 : item.url) &&
           rs.PutShort("TYPE", Short(item.type)) && rs.PutShort("X", Short(item.x)) &&
           rs.PutShort("Y", Short(item.y)) && rs.PutShort("COLOR", Short(item.color));
}

}  // namespace

int ConfigStore::LoadMaps() {
    if (!connection_) return -1;
    maps_.clear();
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINMAP")) return LoadFailed("MAINMAP", rs);
    std::string text;
    for (; !rs.IsEof(); rs.MoveNext()) {
        MapInfo m{};
        m.id = ReadInt(rs, "ID");
        rs.GetText("NAME", &text);
        CopyText(m.name, text);
        rs.GetText("PATH", &text);
        CopyText(m.path, text);
        maps_.push_back(std::move(m));
    }
    if (rs.Failed()) return LoadFailed("MAINMAP", rs);
    rs.Close();
    for (auto& m : maps_) {
        DbRecordset sub(connection_.get());
        if (!sub.Open("select * from SUBMAP where MAPID = %d", m.id)) return LoadFailed("SUBMAP", sub);
        for (; !sub.IsEof(); sub.MoveNext()) {
            MapItem item{};
            item.itemId = ReadInt(sub, "ID");
            item.mapId = m.id;
            item.channelId = ReadInt(sub, "CHNID");
            item.x = ReadInt(sub, "X");
            item.y = ReadInt(sub, "Y");
            item.type = ReadInt(sub, "TYPE");
            item.color = ReadInt(sub, "COLOR");
            item.url = ReadInt(sub, "URL");
            item.deviceIndex = -1;
            item.channelIndex = -1;
            // An item whose channel is gone stays on its map with indices -1.
            if (item.type == kMapItemChannel && !FindChannel(item.channelId, &item.deviceIndex, &item.channelIndex)) {
                item.deviceIndex = -1;
                item.channelIndex = -1;
            }
            m.items.push_back(item);
        }
        if (sub.Failed()) return LoadFailed("SUBMAP", sub);
    }
    return 0;
}

int ConfigStore::AddMapImpl(const char* name, const char* path, int* mapId) {
    if (!connection_ || name == nullptr || path == nullptr) return -1;
    MapInfo m{};
    CopyText(m.name, name);
    CopyText(m.path, path);
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINMAP")) return -1;
    if (!rs.AddNew() || !rs.PutText("NAME", m.name) || !rs.PutText("PATH", m.path) || !rs.Update()) return -1;
    m.id = ReadInt(rs, "ID");
    maps_.push_back(std::move(m));
    if (mapId != nullptr) *mapId = maps_.back().id;
    return 0;
}

int ConfigStore::ModifyMapImpl(int mapId, const char* name, const char* path) {
    if (!connection_ || name == nullptr || path == nullptr) return -1;
    char cutName[kTextBytes];
    char cutPath[kPathBytes];
    CopyText(cutName, name);
    CopyText(cutPath, path);
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from MAINMAP where ID = %d", mapId)) return -1;
    if (!rs.IsEof()) {
        rs.PutText("NAME", cutName);
        rs.PutText("PATH", cutPath);
        if (!rs.Update()) return -1;
    }
    for (auto& m : maps_) {
        if (m.id != mapId) continue;
        CopyText(m.name, cutName);
        CopyText(m.path, cutPath);
    }
    return 0;
}

int ConfigStore::DeleteMapImpl(int mapId) {
    if (mapId <= 0 || !connection_) return -1;
    // The deleted map's own SUBMAP rows stay in the file; no load reaches them again.
    if (!connection_->Execute("delete from SUBMAP where URL = %d", mapId)) return -1;
    if (!connection_->Execute("delete from MAINMAP where ID = %d", mapId)) return -1;
    for (auto it = maps_.begin(); it != maps_.end(); ++it) {
        if (it->id == mapId) {
            maps_.erase(it);
            break;
        }
    }
    for (auto& m : maps_) {
        for (auto it = m.items.begin(); it != m.items.end(); ++it) {
            if (it->type == kMapItemLink && it->url == mapId) {
                m.items.erase(it);
                break;
            }
        }
    }
    return 0;
}

int ConfigStore::AddMapItemImpl(int mapId, MapItem* item) {
    if (mapId < 0 || item == nullptr || !connection_) return -1;
    const bool channelItem = item->type == kMapItemChannel;
    int channelId = -1;
    if (channelItem) {
        if (IsValidChannel(item->deviceIndex, item->channelIndex) != 0) return -1;
        channelId = devices_[item->deviceIndex].channels[item->channelIndex].id;
        if (channelId <= 0) return -1;
    }
    MapInfo* map = nullptr;
    for (auto& m : maps_) {
        if (m.id == mapId) map = &m;
    }
    if (map == nullptr) return -1;
    for (const auto& existing : map->items) {
        if (channelItem && existing.type == kMapItemChannel && existing.deviceIndex == item->deviceIndex &&
            existing.channelIndex == item->channelIndex)
            return -2;
        if (!channelItem && existing.type != kMapItemChannel && existing.url == item->url) return -2;
    }
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SUBMAP")) return -1;
    if (!rs.AddNew() || !rs.PutLong("MAPID", mapId) || !PutItemColumns(rs, *item, channelId) || !rs.Update())
        return -1;
    item->itemId = ReadInt(rs, "ID");
    item->mapId = mapId;
    item->channelId = channelId;
    if (channelItem) {
        item->url = -1;
    } else {
        item->deviceIndex = -1;
        item->channelIndex = -1;
    }
    map->items.push_back(*item);
    return 0;
}

int ConfigStore::ModifyMapItemImpl(const MapItem& item) {
    if (!connection_) return -1;
    const bool channelItem = item.type == kMapItemChannel;
    int channelId = -1;
    if (channelItem) {
        if (IsValidChannel(item.deviceIndex, item.channelIndex) != 0) return -1;
        channelId = devices_[item.deviceIndex].channels[item.channelIndex].id;
        if (channelId <= 0) return -1;
    }
    DbRecordset rs(connection_.get());
    if (!rs.Open("select * from SUBMAP where ID = %d", item.itemId)) return -1;
    if (!rs.IsEof()) {
        if (!PutItemColumns(rs, item, channelId) || !rs.Update()) return -1;
    }
    for (auto& m : maps_) {
        for (auto& existing : m.items) {
            if (existing.itemId != item.itemId) continue;
            int keepMap = existing.mapId;
            existing = item;
            existing.mapId = keepMap;
            existing.channelId = channelId;
            if (channelItem) {
                existing.url = -1;
            } else {
                existing.deviceIndex = -1;
                existing.channelIndex = -1;
            }
        }
    }
    return 0;
}

int ConfigStore::DeleteMapItemImpl(int itemId) {
    if (!connection_) return -1;
    if (!connection_->Execute("delete from SUBMAP where ID = %d", itemId)) return -1;
    for (auto& m : maps_) {
        for (auto it = m.items.begin(); it != m.items.end(); ++it) {
            if (it->itemId == itemId) {
                m.items.erase(it);
                return 0;
            }
        }
    }
    return 0;
}

}  // namespace ocv
