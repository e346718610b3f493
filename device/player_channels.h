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

#include "device/player_cells.h"
#include "player/qvx_player.h"
#include "runtime/runtime_table.h"
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

class PlayerChannelSet : public PlayerCells, public PopupPlayers {
public:
    using ChannelFn = std::function<void(int channelId)>;

    PlayerChannelSet(ConfigStore& store, const RuntimeTable& runtime);
    ~PlayerChannelSet();

    // Drawing method of the grid players (1 when config.ini says DRAWMODE=ON).
    void SetDrawMethod(int method) { drawMethod_ = method; }
    void SetOverlayHandler(OverlayFn fn) override { overlay_ = std::move(fn); }
    // Told when a cell stops showing a channel (record-state refresh) and to end its talk.
    void SetChannelReleasedHandler(ChannelFn fn) { released_ = std::move(fn); }

    int CreatePlayer(int slot, void* window) override;
    int DestroyPlayer(int slot) override;
    int SetPlayerWindow(int slot, void* window);
    int CreatePopupPlayer(int slot, void* window) override;
    int AttachChannel(int slot, int channelId, int restart) override;
    int AttachChannelMain(int slot, int channelId) override;
    int DetachSlot(int slot) override;
    int SwapSlots(int a, int b, int flag1, int flag2) override;
    int GetSlotChannel(int slot) const override;

    int OpenSound(int slot) override;
    int CloseSound(int slot) override;
    int GetSoundState(int slot);
    bool SoundOn(int channelId) const override;

    int ApplyDisplayMode(int slot, bool toggle) override;
    int SetDisplayMode(int slot, int mode);
    int SetDisplayRegion(int slot, const QVXPlayRect* region) override;
    int PauseOthers(int slot, int pause) override;

    int SetStreamPolicy(int cell, int splitMode) override;
    int SetVisibleSplit(int splitMode) override;
    int ApplyVisibleCount(int splitMode) override;
    int VisibleCount() const { return visibleCount_.load(); }

    PlayerChannel& slot(int i) { return slots_[i]; }
    // The first grid slot showing a channel, -1 when none.
    int FirstGridSlotOf(int channelId) const;
    int PlayerShowing(int channelId) const override;

private:
    static bool ValidSlot(int slot) { return slot >= 0 && slot < kPlayerSlots; }
    static bool GridSlot(int slot) { return slot >= 0 && slot < kGridSlots; }
    bool ValidChannelId(int channelId) const;
    ChannelInfo* Channel(int channelId);
    const ChannelRuntime& RuntimeOf(int channelId) const { return runtime_.channel(channelId); }
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
    const RuntimeTable& runtime_;
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
