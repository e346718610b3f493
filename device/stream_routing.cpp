// The device library's stream callback: frames to the channel's recorder and to the players of
// the cells that show it.
#include <cstring>

#include "device/connection_service.h"
#include "device/recording_service.h"
#include "player/qvx_player.h"
#include "store/relaxed.h"

namespace ocv {

void ConnectionService::OnStreamData(int streamHandle, int dataKind, const uint8_t* data, int length, int channelId) {
    if (!IsChannelId(channelId) || data == nullptr) return;
    int device = DeviceIndexOf(channelId), channel = ChannelIndexOf(channelId);
    if (IsValidChannel(device, channel) != 0) return;
    ChannelRuntime& c = runtime_.channel(device, channel);
    bool dual = IsDualStream(store_.device(device));
    int main = c.mainStream.load(), sub = c.subStream.load();
    // A stream's first data can arrive before its open call has returned its handle: the
    // device lock opens the main stream first and the sub stream second.
    bool onMain = streamHandle == main || main == 0;
    bool onSub = !onMain && (streamHandle == sub || sub == 0);
    bool recorded = (dual && c.recordFromSub.load() == 1) ? onSub : onMain;

    if (dataKind == 0) {
        if (length < static_cast<int>(sizeof(StreamInfo))) return;
        StreamInfo info;
        memcpy(&info, data, sizeof info);
        if (onMain || onSub) c.SetStreamInfo(onMain, info);
        if (recorded) recording_.SetStreamInfo(channelId, info);
        return;
    }
    if (dataKind != 1 || length < static_cast<int>(kFrameHeaderBytes)) return;
    FrameHeader h;
    memcpy(&h, data, sizeof h);
    if (IsVideoFrame(h)) {
        if (recorded) recording_.AddFrame(channelId, data, static_cast<uint32_t>(length), h.timestampMs, 1);
        RoutePlayerVideo(channelId, c, streamHandle, data, length, IsKeyFrame(h));
        return;
    }
    if (recorded) recording_.AddFrame(channelId, data, static_cast<uint32_t>(length), 0, 2);
    if (!onMain) return;
    int slot = players_.FirstGridSlotOf(channelId);
    if (slot < 0) return;
    PlayerChannel& s = players_.slot(slot);
    int port = s.port.load();
    if (port != 0 && s.open.load() && QVXPlay_GetSoundState(port) == QVXPLAY_SOUND_PLAYING)
        QVXPlay_InputAudioData(port, data, length);
}

void ConnectionService::RoutePlayerVideo(int channelId, ChannelRuntime& c, int streamHandle, const uint8_t* data,
                                         int length, bool key) {
    int main = c.mainStream.load(), sub = c.subStream.load();
    bool onMain = streamHandle == main;
    bool exclusive = false;
    for (int i = kPopupSlotFirst; i < kPlayerSlots; ++i) {
        PlayerChannel& popup = players_.slot(i);
        if (popup.channelId.load() != channelId) continue;
        if (i == kExclusivePopupSlot) exclusive = true;
        int port = popup.port.load();
        if (port != 0 && popup.open.load() && onMain) QVXPlay_InputVideoData(port, data, length);
    }
    if (exclusive) return;
    int slot = players_.FirstGridSlotOf(channelId);
    if (slot < 0) return;
    PlayerChannel& s = players_.slot(slot);
    if (sub != 0 && key) {
        int wanted = s.wantsMain.load() ? main : sub;
        if (streamHandle == wanted && c.displayStream.load() != streamHandle) c.displayStream = streamHandle;
    }
    if (streamHandle != c.displayStream.load()) return;
    int port = s.port.load();
    if (port == 0) return;
    if (slot < players_.VisibleCount()) {
        if (s.open.load()) QVXPlay_InputVideoData(port, data, length);
    } else {
        QVXPlay_PauseDecoder(port);
    }
}

}  // namespace ocv
