#pragma once
// The live view's start-up restore (`lv-restore`), once, a moment after the page opened:
// connects every configured channel when the CONNECT setting is 1, then asks the page to reopen
// the remembered cells. It never touches the page: the request arrives as a posted message.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "base/stop_signal.h"
#include "device/channel_connections.h"
#include "device/channel_directory.h"

namespace ocv {

constexpr int kMsgRestoreCells = 1209;  // the remembered cells may be reopened now

class RestoreWorker {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;
    struct Channel {
        int device, channel;
    };

    RestoreWorker(ChannelConnections& connections, PostFn post) : connections_(connections), post_(std::move(post)) {}
    ~RestoreWorker() { Stop(); }
    RestoreWorker(const RestoreWorker&) = delete;
    RestoreWorker& operator=(const RestoreWorker&) = delete;

    // toConnect: the channels to connect first (every configured channel when CONNECT is 1,
    // else none), taken on the UI thread. delay: 1 s in the client; tests shorten it.
    void Start(std::vector<Channel> toConnect, std::chrono::milliseconds delay = std::chrono::milliseconds(1000));
    void Stop();

private:
    ChannelConnections& connections_;
    PostFn post_;
    StopSignal stop_;
    std::thread thread_;
};

// The channels the restore connects first: every configured channel (with a stored id) of every
// device when the CONNECT setting is on, none otherwise. UI thread.
std::vector<RestoreWorker::Channel> ChannelsToConnectAtStart(const ChannelDirectory& directory, bool connectSetting);

}  // namespace ocv
