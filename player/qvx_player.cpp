// The C entry points: a table of 256 port slots; a handle names a slot and the generation
// of the instance in it, so a stale handle never reaches a newer instance.
#include "player/qvx_player.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "player/player_port.h"
#include "player/player_statistics.h"
#include "player/port_options.h"
#include "player/video_decoder.h"
#include "base/media_types.h"

namespace ocv::player {
namespace {

constexpr uint32_t kMaxGeneration = 0x7FFFFF;  // handle = generation << 8 | number stays > 0

struct PortSlot {
    std::mutex mutex;
    std::shared_ptr<PlayerPort> port;
    uint32_t generation = 0;
};

std::array<PortSlot, QVXPLAY_MAX_PORTS>& Slots() {
    static std::array<PortSlot, QVXPLAY_MAX_PORTS> slots;
    return slots;
}

// The instance behind a handle; the caller's reference keeps it alive during the call.
std::shared_ptr<PlayerPort> Find(int handle) {
    if (handle <= 0) return nullptr;
    PortSlot& slot = Slots()[static_cast<uint32_t>(handle) & 0xFF];
    std::lock_guard lock(slot.mutex);
    if (!slot.port || slot.generation != (static_cast<uint32_t>(handle) >> 8)) return nullptr;
    return slot.port;
}

template <typename Call>
int WithPort(int handle, Call call) {
    std::shared_ptr<PlayerPort> port = Find(handle);
    if (!port) return QVXPLAY_ERROR;
    return call(*port);
}

}  // namespace

int GetPortStatistics(int port, PortStatistics* out) {
    if (!out) return -1;
    return WithPort(port, [&](PlayerPort& p) {
        *out = p.Statistics();
        return 0;
    });
}

int SetPlaybackClock(int port, std::shared_ptr<PlaybackClock> clock) {
    return WithPort(port, [&](PlayerPort& p) {
        p.SetPlaybackClock(std::move(clock));
        return 0;
    });
}

int SetSmallPictureShortcut(int port, SmallPictureShortcut shortcut) {
    if (shortcut < SmallPictureShortcut::kNone || shortcut > SmallPictureShortcut::kAllButKey) return -1;
    return WithPort(port, [&](PlayerPort& p) {
        p.SetSmallPictureShortcut(shortcut);
        return 0;
    });
}

int SetFileFollowWindow(int port, int ms) {
    if (ms < 0) return -1;
    return WithPort(port, [&](PlayerPort& p) {
        p.SetFollowWindow(ms);
        return 0;
    });
}

}  // namespace ocv::player

using ocv::player::PlayerPort;
using ocv::player::WithPort;

extern "C" {

int QVXPlay_InitV2(int* port, int portNumber) {
    if (!port || portNumber < 0 || portNumber >= QVXPLAY_MAX_PORTS) return QVXPLAY_ERROR;
    auto& slot = ocv::player::Slots()[portNumber];
    std::lock_guard lock(slot.mutex);
    if (slot.port) return QVXPLAY_EMPTY;
    slot.generation = slot.generation >= ocv::player::kMaxGeneration ? 1 : slot.generation + 1;
    int handle = static_cast<int>(slot.generation << 8 | static_cast<uint32_t>(portNumber));
    try {
        slot.port = std::make_shared<PlayerPort>(handle, portNumber);
    } catch (const std::bad_alloc&) {
        return QVXPLAY_ERROR;
    }
    *port = handle;
    return QVXPLAY_OK;
}

int QVXPlay_DeInit(int port) {
    std::shared_ptr<PlayerPort> instance = ocv::player::Find(port);
    if (!instance) return QVXPLAY_ERROR;
    {
        auto& slot = ocv::player::Slots()[static_cast<uint32_t>(port) & 0xFF];
        std::lock_guard lock(slot.mutex);
        if (slot.port != instance) return QVXPLAY_ERROR;  // another DeInit won
        slot.port.reset();
    }
    // Outside the slot lock: the decoding thread may still be calling into the table.
    instance->Shutdown();
    return QVXPLAY_OK;
}

int QVXPlay_SetDrawWnd(int port, void* window) {
    return WithPort(port, [&](PlayerPort& p) {
        return p.SetDrawWnd(static_cast<ocv::player::VideoSurface*>(window));
    });
}

int QVXPlay_SetDrawMode(int port, int method) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetDrawMode(method); });
}

int QVXPlay_SetDrawEnable(int port, int enable) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetDrawEnable(enable); });
}

int QVXPlay_RegisterDrawFun(int port, QVXPlayDrawFun fun, intptr_t user) {
    return WithPort(port, [&](PlayerPort& p) { return p.RegisterDrawFun(fun, user); });
}

int QVXPlay_SetPlayerBufNumber(int port, int frameCount) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetPlayerBufNumber(frameCount); });
}

int QVXPlay_OpenStream(int port, const void* streamHeader, int headerLength) {
    if (!streamHeader || headerLength != static_cast<int>(sizeof(ocv::StreamInfo)))
        return QVXPLAY_ERROR;
    ocv::StreamInfo info;
    std::memcpy(&info, streamHeader, sizeof info);
    if (!ocv::player::IsSupportedVideoCodec(info.videoCodec)) return QVXPLAY_ERROR;
    return WithPort(port, [&](PlayerPort& p) { return p.OpenStream(info); });
}

int QVXPlay_Play(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.Play(); });
}

int QVXPlay_Stop(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.Stop(); });
}

int QVXPlay_ResetSourceBuffer(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.ResetSourceBuffer(); });
}

int QVXPlay_InputVideoData(int port, const void* frame, int length) {
    if (!frame || length <= 0) return QVXPLAY_ERROR;
    return WithPort(port, [&](PlayerPort& p) {
        return p.InputVideoData(frame, static_cast<size_t>(length));
    });
}

int QVXPlay_InputAudioData(int port, const void* frame, int length) {
    if (!frame || length <= 0) return QVXPLAY_ERROR;
    return WithPort(port, [&](PlayerPort& p) {
        return p.InputAudioData(frame, static_cast<size_t>(length));
    });
}

int QVXPlay_PauseDecoder(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.PauseDecoder(); });
}

int QVXPlay_ResumeDecoder(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.ResumeDecoder(); });
}

int QVXPlay_SetAudioAttr(int port, const QVXPlayAudioAttr* attr) {
    if (!attr) return QVXPLAY_ERROR;
    return WithPort(port, [&](PlayerPort& p) { return p.SetAudioAttr(*attr); });
}

int QVXPlay_OpenSound(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.OpenSound(); });
}

int QVXPlay_CloseSound(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.CloseSound(); });
}

int QVXPlay_GetSoundState(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetSoundState(); });
}

int QVXPlay_SetDisplayMode(int port, int mode) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetDisplayMode(mode); });
}

int QVXPlay_GetDisplayMode(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetDisplayMode(); });
}

int QVXPlay_SetDisplayRegion(int port, const QVXPlayRect* region) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetDisplayRegion(region); });
}

int QVXPlay_Capture(int port, const char* path, int bitmapFlag, int quality) {
    return WithPort(port, [&](PlayerPort& p) { return p.Capture(path, bitmapFlag, quality); });
}

int QVXPlay_OpenFile(int port, const char* path, int startPercent) {
    return WithPort(port, [&](PlayerPort& p) { return p.OpenFile(path, startPercent); });
}

int QVXPlay_CloseFile(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.CloseFile(); });
}

int QVXPlay_Pause(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.Pause(); });
}

int QVXPlay_Fast(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.Fast(); });
}

int QVXPlay_Slow(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.Slow(); });
}

int QVXPlay_SetRate(int port, int level) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetRate(level); });
}

int QVXPlay_GetPlaySpeed(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetPlaySpeed(); });
}

int QVXPlay_OneByOne(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.OneByOne(); });
}

int QVXPlay_ShowFrame(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.ShowFrame(); });
}

int QVXPlay_GetPlayState(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetPlayState(); });
}

int QVXPlay_SetStateCallBack(int port, QVXPlayStateFun fun, intptr_t user) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetStateCallBack(fun, user); });
}

int QVXPlay_ShotImage(int port, const char* path, int percent) {
    return WithPort(port, [&](PlayerPort& p) { return p.ShotImage(path, percent); });
}

int QVXPlay_GetFileTime(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetFileTime(); });
}

int QVXPlay_GetPlayedTime(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetPlayedTime(); });
}

int QVXPlay_GetPlayPos(int port) {
    return WithPort(port, [](PlayerPort& p) { return p.GetPlayPos(); });
}

int QVXPlay_SetPlayPos(int port, int percent) {
    return WithPort(port, [&](PlayerPort& p) { return p.SetPlayPos(percent); });
}

}  // extern "C"
