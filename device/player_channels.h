#pragma once
// The 39 player channels: slots 0..35 are the cells of the live grid, 36..38 the alarm popup
// windows. Each binds a player port to a window and to the channel id it shows. Attach,
// detach and destroy hold the slot lock; the stream callback reads port, channel id and the
// flags without it (they are atomics, and a de-initialised port handle never becomes valid
// again, so a late frame to a destroyed player is simply refused by the player library).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "player/qvx_player.h"
#include "store/config_store.h"

namespace ocv {

constexpr int kGridSlots = 36;
constexpr int kPlayerSlots = 39;
constexpr int kPopupSlotFirst = 36;
constexpr int kExclusivePopupSlot = 38;  // a channel shown here is not fed to its grid cell

struct PlayerChannel {
    std::atomic<int> port{0};         // player handle, 0 = none
    std::atomic<int> portNumber{-1};  // from PortSlots
    std::atomic<int> channelId{-1};
    std::atomic<int> open{0};
    std::atomic<int> wantsMain{0};
    std::mutex lock;
};

class PlayerChannelSet {
public:
    // Called for the overlay of every grid picture (see QVXPlayDrawFun), with the slot.
    using OverlayFn = std::function<void(int slot, QVXPlayDrawContext* context, int pictureWidth,
                                         int pictureHeight, int windowWidth, int windowHeight,
                                         int marginX, int marginY)>;
    using ChannelFn = std::function<void(int channelId)>;

    explicit PlayerChannelSet(ConfigStore& store);
    ~PlayerChannelSet();

    // Drawing method of the grid players (1 when config.ini says DRAWMODE=ON).
    void SetDrawMethod(int method) { drawMethod_ = method; }
    void SetOverlayHandler(OverlayFn fn) { overlay_ = std::move(fn); }
    // Told when a cell stops showing a channel (record-state refresh) and to end its talk.
    void SetChannelReleasedHandler(ChannelFn fn) { released_ = std::move(fn); }

    int CreatePlayer(int slot, void* window);
    int DestroyPlayer(int slot);
    int SetPlayerWindow(int slot, void* window);
    int AttachChannel(int slot, int channelId, int restart);
    int AttachChannelMain(int slot, int channelId);
    int DetachSlot(int slot);
    int SwapSlots(int a, int b, int flag1, int flag2);
    int GetSlotChannel(int slot) const;

    int OpenSound(int slot);
    int CloseSound(int slot);
    int GetSoundState(int slot);
    bool SoundOn(int channelId) const;

    int ApplyDisplayMode(int slot, bool toggle);
    int SetDisplayMode(int slot, int mode);
    int SetDisplayRegion(int slot, const QVXPlayRect* region);
    int PauseOthers(int slot, int pause);

    int SetStreamPolicy(int cell, int splitMode);
    int SetVisibleSplit(int splitMode);
    int ApplyVisibleCount(int splitMode);
    int VisibleCount() const { return visibleCount_.load(); }

    PlayerChannel& slot(int i) { return slots_[i]; }
    // The first grid slot showing a channel, -1 when none.
    int FirstGridSlotOf(int channelId) const;

private:
    static bool ValidSlot(int slot) { return slot >= 0 && slot < kPlayerSlots; }
    static bool GridSlot(int slot) { return slot >= 0 && slot < kGridSlots; }
    bool ValidChannelId(int channelId) const;
    ChannelInfo* Channel(int channelId);
    // Buffer frames by network priority (units digit of NETTYPE, 1 = slow network).
    bool SlowNetwork() const;
    void ReleaseChannelLocked(int slot);
    static void OverlayThunk(int port, QVXPlayDrawContext* context, int pictureWidth,
                             int pictureHeight, int windowWidth, int windowHeight, int marginX,
                             int marginY, intptr_t user);

    struct OverlayTarget {
        PlayerChannelSet* self;
        int slot;
    };

    ConfigStore& store_;
    PlayerChannel slots_[kPlayerSlots];
    OverlayTarget overlayTargets_[kPlayerSlots];
    std::atomic<uint8_t> soundOn_[kChannelIdCount] = {};
    std::atomic<int> visibleCount_{-1};
    std::atomic<bool> limitApplies_{true};
    std::atomic<int> drawMethod_{0};
    OverlayFn overlay_;
    ChannelFn released_;
};

}  // namespace ocv
