#include "emap/map_rules.h"

#include <algorithm>
#include <cstdio>

#include "platform/app_dir.h"

namespace ocv {
namespace {
constexpr const char* kFolder = "EMap";
}

std::string MapPictureFolder() { return AppPath(kFolder); }

std::string NewMapPictureName(const ClockSnapshot& now, int sequence, const std::string& extension) {
    char name[64];
    snprintf(name, sizeof name, "map-%04d%02d%02d%02d%02d%02d-%d.%s", now.year, now.month, now.day, now.hour,
             now.minute, now.second, sequence, extension.c_str());
    return name;
}

bool IsOwnMapPicture(const std::string& path) {
    const std::string folder = MapPictureFolder() + "/";
    if (path.compare(0, folder.size(), folder) != 0) return false;
    const std::string name = path.substr(folder.size());
    return name.compare(0, 4, "map-") == 0 && name.find('/') == std::string::npos && name.find("..") == std::string::npos;
}

void ClampItemPosition(int* x, int* y, int width, int height) {
    int maxX = width > 0 ? std::min(width, kMaxMapPictureSide) - 1 : kMaxMapPictureSide - 1;
    int maxY = height > 0 ? std::min(height, kMaxMapPictureSide) - 1 : kMaxMapPictureSide - 1;
    *x = std::clamp(*x, 0, maxX);
    *y = std::clamp(*y, 0, maxY);
}

std::vector<int> MapsShowingChannel(const std::vector<MapInfo>& maps, int deviceIndex, int channelIndex) {
    std::vector<int> ids;
    for (const MapInfo& m : maps)
        for (const MapItem& item : m.items)
            if (item.type == kMapItemChannel && item.deviceIndex == deviceIndex && item.channelIndex == channelIndex) {
                ids.push_back(m.id);
                break;
            }
    return ids;
}

bool MapAlarmBoard::Raise(int channelId, int type, uint32_t time) {
    if (Flashing(channelId)) return false;
    pending_.push_back(Pending{channelId, type, time});
    return true;
}

bool MapAlarmBoard::Acknowledge(int channelId) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.channelId == channelId; });
    if (it == pending_.end()) return false;
    pending_.erase(it);
    return true;
}

bool MapAlarmBoard::Flashing(int channelId) const {
    return std::any_of(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.channelId == channelId; });
}

const char* MapAlarmTypeName(int type) {
    switch (type) {
        case 0: return "Motion detection occurs";
        case 1: return "Input alarm occurs";
        case 3: return "Audio alarm occurs";
        default: return "Unkown";
    }
}

}  // namespace ocv
