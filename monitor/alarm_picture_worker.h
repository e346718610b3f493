#pragma once
// The main window's alarm picture worker ("alarm-picture"): for each abnormal temperature
// reading it takes the picture the channel's player shows at that moment, keeps it with the
// snapshots, queues it and tells the window (which then shows the alarm picture window).
// It reads the core's hub with a reader of its own and waits on it; it never touches a window.
//
// Before it starts following the hub it runs a start-up task on its thread (the client gives it
// the reload of today's readings from the alarm log, so the log file is not read on the UI
// thread, and readings of earlier in the day are not taken for new ones).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/channel_id.h"
#include "runtime/core_events.h"

namespace ocv {

struct AlarmPicture {
    int32_t channelId = -1;
    uint32_t time = 0;      // the reading's time
    std::string text;       // the reading ("38.20")
    std::string picture;    // the encoded picture (JPEG, or a bitmap when snapshots are bitmaps)
    std::string savedPath;  // where it was kept with the snapshots; empty when it could not be
};

class AlarmPictureWorker {
public:
    // Takes the picture of a channel into out->picture and out->savedPath: 0; -2 when no
    // window plays the channel or no picture was decoded yet; -1 on failure. Worker thread.
    using CaptureFn = std::function<int(int channelId, AlarmPicture* out)>;
    // A picture was queued (posts the window message). Worker thread.
    using ReadyFn = std::function<void()>;

    static constexpr size_t kMaxQueued = 16;  // the oldest go when the window does not keep up

    AlarmPictureWorker(CoreEventHub& hub, CaptureFn capture, ReadyFn ready);
    ~AlarmPictureWorker();
    AlarmPictureWorker(const AlarmPictureWorker&) = delete;
    AlarmPictureWorker& operator=(const AlarmPictureWorker&) = delete;

    void Start(std::function<void()> startupTask = {});
    // Ends the thread (within a second) and waits for it.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // What one event does (the thread's step; tests call it directly). True when a picture was
    // queued.
    bool Handle(const AlarmEvent& event);
    // UI thread: the pictures queued since the last call, oldest first.
    std::vector<AlarmPicture> TakeReady();

private:
    void Loop(std::function<void()> startupTask);

    CoreEventHub& hub_;
    CaptureFn capture_;
    ReadyFn ready_;
    std::mutex mutex_;
    std::deque<AlarmPicture> queue_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace ocv
