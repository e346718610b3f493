#pragma once
// The map page's rules without a window: which pictures a map may have and where their copies
// go, where an item may stand, and the map alarms waiting for the operator.
#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"
#include "store/records.h"

namespace ocv {

// A map picture is a PNG or JPEG file of at most 32 MiB and 16384 pixels a side: item
// positions are picture pixels and are stored as 16-bit numbers.
constexpr int64_t kMaxMapPictureBytes = int64_t{32} << 20;
constexpr int kMaxMapPictureSide = 16384;

// Where the pictures the operator chose are copied: AppDir/EMap.
std::string MapPictureFolder();
// "map-yyyymmddhhmmss-N.<extension>" (extension "png" or "jpg").
std::string NewMapPictureName(const ClockSnapshot& now, int sequence, const std::string& extension);
// Whether a stored picture path is one of our copies (only those are deleted with their map).
bool IsOwnMapPicture(const std::string& path);

// Keeps an item on its picture: 0..width-1 and 0..height-1 (a picture not known yet, 0 x 0,
// leaves only the 16-bit range).
void ClampItemPosition(int* x, int* y, int width, int height);

// The maps that hold an item of a channel, in list order.
std::vector<int> MapsShowingChannel(const std::vector<MapInfo>& maps, int deviceIndex, int channelIndex);

// Map alarms the operator has not acknowledged yet: a channel's items flash while it has one.
// The alarm engine publishes map alarms only for armed channels linked to the map.
class MapAlarmBoard {
public:
    struct Pending {
        int32_t channelId;
        int32_t type;   // 0 motion, 1 input, 3 audio
        uint32_t time;  // of the first alarm not acknowledged
    };
    // Returns true when the channel had no alarm waiting (a repeat keeps the first time).
    bool Raise(int channelId, int type, uint32_t time);
    // Returns whether the channel had one.
    bool Acknowledge(int channelId);
    void AcknowledgeAll() { pending_.clear(); }
    bool Flashing(int channelId) const;
    const std::vector<Pending>& pending() const { return pending_; }  // oldest first

private:
    std::vector<Pending> pending_;
};

// The English name of a map alarm's type.
const char* MapAlarmTypeName(int type);

}  // namespace ocv
