#pragma once
// What pages ask of the device connections: bring a channel's stream up (a connect worker keeps
// trying), let it go, the thermal picture of screening cameras, and a device's connection
// thread. Implemented by ConnectionService; pages and their rules hold this interface, and
// tests hand them a fake.
#include <vector>

namespace ocv {

class ChannelConnections {
public:
    virtual ~ChannelConnections() = default;

    // Any thread. Starts the channel's connect worker unless one runs: it keeps opening the
    // channel every 4.5 s (and as soon as its device comes up) while the channel is wanted.
    // 0, or -1 for an unconfigured channel or while the service ends.
    virtual int StartConnectWorker(int device, int channel) = 0;
    // Any thread. 0 tells a running connect worker the channel is no longer wanted.
    virtual int SetConnectPending(int device, int channel, int value) = 0;

    // The thermal picture of a screening camera, drawn by a player of the service's own into
    // window (a VideoSurface*), one per device. Open may wait for the device: never on the UI
    // thread (the live view's thermal opener thread calls it). Close stops the stream first.
    virtual int OpenThermalStream(int device, int channel, void* window) = 0;
    virtual int CloseThermalStream(int device) = 0;
    // 0 when the device reported temperature support, else -1. Any thread.
    virtual int IsThermalCapable(int device, int channel) const = 0;

    // UI thread (or a worker the UI waits on with its window disabled, as deleting devices
    // does): start (or restart, after the operator edited the device) and stop the device's
    // connection thread; StopDeviceThread logs the device out and may wait up to a
    // device-thread turn.
    virtual int StartDeviceThread(int device) = 0;
    virtual int StopDeviceThread(int device) = 0;
    // Any thread: try the login at the device thread's next turn, also while a refused password
    // holds it back.
    virtual int RetryLoginNow(int device) = 0;

    // UI thread. The channel indices of a device that are in use now: a stream is open or being
    // opened, a cell (live grid or alarm popup) shows it, or the operator records it. Stopping
    // the device's thread ends all of their streams and connect workers.
    // (Not pure, so fakes that never open a channel need not say so: none is in use.)
    virtual std::vector<int> ChannelsInUse(int device) const {
        (void)device;
        return {};
    }
    // UI thread, after StartDeviceThread: starts a connect worker for each of those channels the
    // device still has, so cells play and recordings go on once it is logged in again. The
    // number of workers started, or -1 for an empty slot.
    virtual int ReopenChannels(int device, const std::vector<int>& channels) {
        (void)device;
        (void)channels;
        return 0;
    }
};

}  // namespace ocv
