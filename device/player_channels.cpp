#include "device/player_channels.h"

#include "base/port_slots.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr int kSlowNetwork = 1;
constexpr int kBufferMainSlow = 20;
constexpr int kBufferSubSlow = 10;

// The default header a grid cell is opened with before the channel's own arrives.
StreamInfo DefaultStreamHeader() {
    StreamInfo info{};
    info.width = 352;
    info.height = 288;
    return info;
}

}  // namespace

PlayerChannelSet::PlayerChannelSet(ConfigStore& store, const RuntimeTable& runtime) : store_(store), runtime_(runtime) {
    for (int i = 0; i < kPlayerSlots; ++i) overlayTargets_[i] = {this, i};
}

PlayerChannelSet::~PlayerChannelSet() {
    for (int i = 0; i < kPlayerSlots; ++i) DestroyPlayer(i);
}

bool PlayerChannelSet::ValidChannelId(int channelId) const {
    return channelId >= 0 && channelId < kChannelIdCount &&
           store_.IsValidChannel(DeviceIndexOf(channelId), ChannelIndexOf(channelId)) == 0;
}

ChannelInfo* PlayerChannelSet::Channel(int channelId) {
    if (!ValidChannelId(channelId)) return nullptr;
    return &store_.device(DeviceIndexOf(channelId)).channels[ChannelIndexOf(channelId)];
}

bool PlayerChannelSet::SlowNetwork() const { return Relaxed(store_.settings().netPriority) == kSlowNetwork; }

void PlayerChannelSet::OverlayThunk(int, QVXPlayDrawContext* context, int pictureWidth,
                                    int pictureHeight, int windowWidth, int windowHeight,
                                    int marginX, int marginY, intptr_t user) {
    const auto* target = reinterpret_cast<const OverlayTarget*>(user);
    if (target->self->overlay_)
        target->self->overlay_(target->slot, context, pictureWidth, pictureHeight, windowWidth, windowHeight,
                       marginX, marginY);
}

int PlayerChannelSet::CreatePlayer(int slot, void* window) {
    if (!ValidSlot(slot)) return -1;
    PlayerChannel& s = slots_[slot];
    std::lock_guard lock(s.lock);
    if (s.port.load() != 0) return 0;
    s.open = 0;
    int number = TakePort();
    if (number < 0) return -2;
    int port = 0;
    int rc = QVXPlay_InitV2(&port, number);
    if (rc != 0) {
        ReleasePort(number);
        return rc;
    }
    if (GridSlot(slot)) {
        QVXPlay_SetDrawMode(port, drawMethod_.load());
        QVXPlay_RegisterDrawFun(port, &PlayerChannelSet::OverlayThunk,
                                reinterpret_cast<intptr_t>(&overlayTargets_[slot]));
        rc = QVXPlay_SetDrawWnd(port, window);
        if (rc != 0) {
            QVXPlay_DeInit(port);
            ReleasePort(number);
            return rc;
        }
        int buffer = 0;
        if (SlowNetwork()) buffer = Relaxed(store_.settings().SHOWMODE) == 1 ? kBufferSubSlow : kBufferMainSlow;
        QVXPlay_SetPlayerBufNumber(port, buffer);
    }
    QVXPlay_CloseSound(port);
    s.portNumber = number;
    s.port = port;
    return 0;
}

int PlayerChannelSet::DestroyPlayer(int slot) {
    if (!ValidSlot(slot)) return -1;
    PlayerChannel& s = slots_[slot];
    std::lock_guard lock(s.lock);
    int port = s.port.exchange(0);
    s.open = 0;
    if (port == 0) return -1;
    QVXPlay_DeInit(port);
    ReleasePort(s.portNumber.exchange(-1));
    return 0;
}

int PlayerChannelSet::SetPlayerWindow(int slot, void* window) {
    if (!ValidSlot(slot) || slots_[slot].port.load() == 0) return -1;
    return QVXPlay_SetDrawWnd(slots_[slot].port.load(), window);
}

int PlayerChannelSet::CreatePopupPlayer(int slot, void* window) {
    if (!ValidSlot(slot) || GridSlot(slot) || window == nullptr) return -1;
    int rc = CreatePlayer(slot, window);
    if (rc != 0) return rc;
    rc = SetPlayerWindow(slot, window);
    if (rc != 0) DestroyPlayer(slot);
    return rc;
}

void PlayerChannelSet::ReleaseChannelLocked(int slot) {
    PlayerChannel& s = slots_[slot];
    int id = s.channelId.load();
    if (id < 0 || !s.open.load() || !GridSlot(slot)) return;
    if (soundOn_[id].load() && QVXPlay_CloseSound(s.port.load()) == 0) soundOn_[id] = 0;
    if (released_) released_(id);
}

int PlayerChannelSet::AttachChannel(int slot, int channelId, int restart) {
    if (!GridSlot(slot) && slot != kPopupSlotFirst) return -1;
    PlayerChannel& s = slots_[slot];
    if (restart == 1 && s.open.load()) {
        int rc = DetachSlot(slot);
        if (rc != 0) return rc;
    }
    std::lock_guard lock(s.lock);
    int port = s.port.load();
    if (port == 0) return -1;
    if (channelId >= 0) {
        if (!ValidChannelId(channelId)) return -1;
        StreamInfo header = DefaultStreamHeader();
        if (QVXPlay_OpenStream(port, &header, sizeof header) != 0) return -1;
        if (!s.open.load()) {
            int rc = QVXPlay_Play(port);
            if (rc != 0) return rc;
            s.open = 1;
        } else {
            int rc = QVXPlay_ResetSourceBuffer(port);
            if (rc != 0) return rc;
        }
    } else {
        ReleaseChannelLocked(slot);
        if (s.open.load()) QVXPlay_ResetSourceBuffer(port);
    }
    s.channelId = channelId;
    if (channelId >= 0) {
        ChannelInfo* c = Channel(channelId);
        if (c) QVXPlay_SetDisplayMode(port, Relaxed(c->autoAdjust));
    }
    return 0;
}

int PlayerChannelSet::AttachChannelMain(int slot, int channelId) {
    if (!ValidSlot(slot)) return -1;
    PlayerChannel& s = slots_[slot];
    if (s.open.load()) DetachSlot(slot);
    std::lock_guard lock(s.lock);
    int port = s.port.load();
    if (port == 0) return -1;
    if (channelId >= 0) {
        ChannelInfo* c = Channel(channelId);
        if (!c) return -1;
        StreamInfo header = RuntimeOf(channelId).MainStreamInfo();
        if (header.width == 0 || header.height == 0) header = DefaultStreamHeader();
        if (QVXPlay_OpenStream(port, &header, sizeof header) != 0) return -1;
        int rc = QVXPlay_Play(port);
        if (rc != 0) return rc;
        s.channelId = channelId;
        s.open = 1;
        QVXPlay_SetDisplayMode(port, Relaxed(c->autoAdjust));
    }
    return 0;
}

int PlayerChannelSet::DetachSlot(int slot) {
    if (!ValidSlot(slot)) return -1;
    PlayerChannel& s = slots_[slot];
    std::lock_guard lock(s.lock);
    if (!s.open.load()) return 0;
    ReleaseChannelLocked(slot);
    QVXPlay_Stop(s.port.load());
    s.channelId = -1;
    s.open = 0;
    return 0;
}

int PlayerChannelSet::SwapSlots(int a, int b, int flag1, int flag2) {
    if (a < 0 || a > kPopupSlotFirst || b < 0 || b > kPopupSlotFirst) return -1;
    int idA = slots_[a].channelId.load(), idB = slots_[b].channelId.load();
    DetachSlot(a);
    DetachSlot(b);
    bool grid = flag1 != 0 && flag2 != 0;
    auto attach = [&](int slot, int id) {
        if (id < 0) return;
        if (grid) AttachChannel(slot, id, 0);
        else AttachChannelMain(slot, id);
    };
    attach(a, idB);
    attach(b, idA);
    return 0;
}

int PlayerChannelSet::GetSlotChannel(int slot) const {
    return ValidSlot(slot) ? slots_[slot].channelId.load() : -1;
}

int PlayerChannelSet::FirstGridSlotOf(int channelId) const {
    for (int i = 0; i < kGridSlots; ++i)
        if (slots_[i].channelId.load() == channelId) return i;
    return -1;
}

int PlayerChannelSet::PlayerShowing(int channelId) const {
    if (channelId < 0) return 0;
    for (int i = kPopupSlotFirst; i < kPlayerSlots; ++i) {
        const PlayerChannel& s = slots_[i];
        if (s.channelId.load() == channelId && s.open.load()) return s.port.load();
    }
    int grid = FirstGridSlotOf(channelId);
    if (grid < 0 || !slots_[grid].open.load()) return 0;
    return slots_[grid].port.load();
}

int PlayerChannelSet::OpenSound(int slot) {
    if (!GridSlot(slot) || !slots_[slot].open.load()) return -1;
    int id = slots_[slot].channelId.load();
    ChannelInfo* c = Channel(id);
    if (!c) return -1;
    if (soundOn_[id].load()) return 0;
    const StreamInfo info = RuntimeOf(id).MainStreamInfo();
    QVXPlayAudioAttr attr{info.audioEncoding, info.audioSampleRate, info.audioChannels, info.frameRate};
    int port = slots_[slot].port.load();
    QVXPlay_SetAudioAttr(port, &attr);
    int rc = QVXPlay_OpenSound(port);
    if (rc == 0) soundOn_[id] = 1;
    return rc;
}

int PlayerChannelSet::CloseSound(int slot) {
    if (!GridSlot(slot)) return -1;
    int id = slots_[slot].channelId.load();
    if (id < 0 || id >= kChannelIdCount) return -1;
    if (!soundOn_[id].load()) return 0;
    int rc = QVXPlay_CloseSound(slots_[slot].port.load());
    if (rc == 0) soundOn_[id] = 0;
    return rc;
}

int PlayerChannelSet::GetSoundState(int slot) {
    if (!ValidSlot(slot) || slots_[slot].port.load() == 0) return -1;
    return QVXPlay_GetSoundState(slots_[slot].port.load());
}

bool PlayerChannelSet::SoundOn(int channelId) const {
    return channelId >= 0 && channelId < kChannelIdCount && soundOn_[channelId].load() != 0;
}

int PlayerChannelSet::ApplyDisplayMode(int slot, bool toggle) {
    if (!GridSlot(slot) || !slots_[slot].open.load()) return -1;
    ChannelInfo* c = Channel(slots_[slot].channelId.load());
    if (!c) return -1;
    if (toggle) SetRelaxed(c->autoAdjust, Relaxed(c->autoAdjust) ? 0 : 1);
    return QVXPlay_SetDisplayMode(slots_[slot].port.load(), Relaxed(c->autoAdjust));
}

int PlayerChannelSet::SetDisplayMode(int slot, int mode) {
    if (!ValidSlot(slot) || !slots_[slot].open.load() || !Channel(slots_[slot].channelId.load()))
        return -1;
    return QVXPlay_SetDisplayMode(slots_[slot].port.load(), mode);
}

int PlayerChannelSet::SetDisplayRegion(int slot, const QVXPlayRect* region) {
    if (!GridSlot(slot) || !slots_[slot].open.load()) return -1;
    return QVXPlay_SetDisplayRegion(slots_[slot].port.load(), region);
}

int PlayerChannelSet::PauseOthers(int slot, int pause) {
    for (int i = 0; i < kGridSlots; ++i) {
        int port = slots_[i].port.load();
        if (i == slot || port == 0) continue;
        if (pause == 1) QVXPlay_PauseDecoder(port);
        else QVXPlay_ResumeDecoder(port);
    }
    return 0;
}

int PlayerChannelSet::SetStreamPolicy(int cell, int splitMode) {
    if (Relaxed(store_.settings().SHOWMODE) != 1) return 0;
    bool slow = SlowNetwork();
    if (cell >= 0) {
        if (!GridSlot(cell)) return -1;
        slots_[cell].wantsMain = 1;
        int port = slots_[cell].port.load();
        if (port) QVXPlay_SetPlayerBufNumber(port, slow ? kBufferMainSlow : 0);
        return 0;
    }
    int first = 0, last = -1;  // cells first..last want the main stream
    switch (splitMode) {
        case 4: case 131: first = 0; last = 3; break;
        case 1: case 6: case 8: case 101: case 17: first = 0; last = 0; break;
        case 10: case 14: case 19: first = 0; last = 1; break;
        case 13: first = 6; last = 6; break;
        default: break;
    }
    for (int i = 0; i < kGridSlots; ++i) {
        bool main = i >= first && i <= last;
        slots_[i].wantsMain = main ? 1 : 0;
        int port = slots_[i].port.load();
        if (port) QVXPlay_SetPlayerBufNumber(port, slow ? (main ? kBufferMainSlow : kBufferSubSlow) : 0);
    }
    return 0;
}

int PlayerChannelSet::SetVisibleSplit(int splitMode) {
    if (splitMode == -1) {
        visibleCount_ = 0;
        limitApplies_ = false;
        return 0;
    }
    limitApplies_ = true;
    return ApplyVisibleCount(splitMode);
}

int PlayerChannelSet::ApplyVisibleCount(int splitMode) {
    int previous = visibleCount_.load();
    if (limitApplies_.load()) {
        int count = splitMode == 101 ? 10 : splitMode == 131 ? 13 : splitMode;
        visibleCount_ = count;
    }
    for (int i = std::max(previous, 0); i < kGridSlots; ++i) {
        int port = slots_[i].port.load();
        if (port) QVXPlay_ResumeDecoder(port);
    }
    return 0;
}

}  // namespace ocv
