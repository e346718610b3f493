#include "liveview/broadcast.h"

#include "base/channel_id.h"

namespace ocv {

int BeginBroadcast(TalkControl& talk, const std::vector<int>& channelIds, std::vector<int>* started) {
    started->clear();
    if (talk.StartBroadcastCapture() != 0) return -1;
    for (int id : channelIds) {
        if (!IsChannelId(id)) continue;
        if (talk.StartBroadcastMember(DeviceIndexOf(id), ChannelIndexOf(id)) == 0) started->push_back(id);
    }
    return 0;
}

int EndBroadcast(TalkControl& talk) {
    talk.StopBroadcastCapture();
    int ended = 0;
    for (int id = 0; id < kChannelIdCount; ++id) {
        if (!talk.IsTalking(id)) continue;
        if (talk.StopTalk(DeviceIndexOf(id), ChannelIndexOf(id)) == 0) ++ended;
    }
    return ended;
}

}  // namespace ocv
