#pragma once
// What grid pages ask of the player channels: which channel a cell shows, its sound, display
// mode and zoom region, and the decoding policies of the split (visible cells, the maximised
// cell, main or sub stream). Implemented by PlayerChannelSet; the live view's rules hold this
// interface, and tests hand them a fake. UI thread, except where noted.
#include <functional>

#include "player/qvx_player.h"

namespace ocv {

class PlayerCells {
public:
    // Called for the overlay of every grid picture (see QVXPlayDrawFun), with the slot, on the
    // decoding threads.
    using OverlayFn = std::function<void(int slot, QVXPlayDrawContext* context, int pictureWidth,
                                         int pictureHeight, int windowWidth, int windowHeight,
                                         int marginX, int marginY)>;

    virtual ~PlayerCells() = default;

    // A cell's player bound to its window (a VideoSurface*), and gone again.
    virtual int CreatePlayer(int slot, void* window) = 0;
    virtual int DestroyPlayer(int slot) = 0;
    virtual void SetOverlayHandler(OverlayFn fn) = 0;

    // The channel a cell shows (-1 none); restart 1 reopens the player's stream.
    virtual int AttachChannel(int slot, int channelId, int restart) = 0;
    virtual int DetachSlot(int slot) = 0;
    // Swaps what two cells show; flags 1, 1 for two grid cells.
    virtual int SwapSlots(int a, int b, int flag1, int flag2) = 0;
    // Any thread.
    virtual int GetSlotChannel(int slot) const = 0;

    virtual int OpenSound(int slot) = 0;
    virtual int CloseSound(int slot) = 0;
    // Any thread: whether a cell plays the channel's sound.
    virtual bool SoundOn(int channelId) const = 0;

    virtual int ApplyDisplayMode(int slot, bool toggle) = 0;
    virtual int SetDisplayRegion(int slot, const QVXPlayRect* region) = 0;

    // Split policies: pause every grid cell but one (maximising), which stream each cell decodes,
    // which cells are visible (-1: none, the page is hidden), and the visible count's effect.
    virtual int PauseOthers(int slot, int pause) = 0;
    virtual int SetStreamPolicy(int cell, int splitMode) = 0;
    virtual int SetVisibleSplit(int splitMode) = 0;
    virtual int ApplyVisibleCount(int splitMode) = 0;
};

// What the alarm window asks of the player channels: the popup slots 36..38, each bound to a
// window of the popup video, and the player that shows a channel (its alarm pictures are
// taken from it). Implemented by PlayerChannelSet; UI thread, except where noted.
class PopupPlayers {
public:
    virtual ~PopupPlayers() = default;

    // A popup slot's player drawing into window (a VideoSurface*). 0; -1 for a grid slot or a
    // failure of the player library; -2 when no player port is free.
    virtual int CreatePopupPlayer(int slot, void* window) = 0;
    virtual int DestroyPlayer(int slot) = 0;
    // Shows a channel's main stream in a popup slot (a channel shown before is let go).
    virtual int AttachChannelMain(int slot, int channelId) = 0;
    virtual int DetachSlot(int slot) = 0;
    // Any thread.
    virtual int GetSlotChannel(int slot) const = 0;
    // Any thread: the player handle of a slot playing the channel, a popup slot first, then
    // the first grid cell; 0 when none does.
    virtual int PlayerShowing(int channelId) const = 0;
};

}  // namespace ocv
