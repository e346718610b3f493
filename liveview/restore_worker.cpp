#include "liveview/restore_worker.h"

#include <pthread.h>

namespace ocv {

void RestoreWorker::Start(std::vector<Channel> toConnect, std::chrono::milliseconds delay) {
    Stop();
    stop_.Reset();
    thread_ = std::thread([this, channels = std::move(toConnect), delay] {
        pthread_setname_np(pthread_self(), "lv-restore");
        if (stop_.WaitFor(delay)) return;
        for (const Channel& c : channels) {
            if (stop_.Requested()) return;
            connections_.StartConnectWorker(c.device, c.channel);
        }
        if (stop_.WaitFor(std::chrono::milliseconds(50))) return;
        post_(kMsgRestoreCells, 0, 0);
    });
}

void RestoreWorker::Stop() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
}

}  // namespace ocv
