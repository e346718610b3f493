#include "monitor/alarm_picture_worker.h"

#include <pthread.h>

#include <cstring>

#include "base/trace.h"

namespace ocv {

AlarmPictureWorker::AlarmPictureWorker(CoreEventHub& hub, CaptureFn capture, ReadyFn ready)
    : hub_(hub), capture_(std::move(capture)), ready_(std::move(ready)) {}

AlarmPictureWorker::~AlarmPictureWorker() { Stop(); }

void AlarmPictureWorker::Start(std::function<void()> startupTask) {
    if (thread_.joinable()) return;
    stop_.store(false);
    thread_ = std::thread([this, task = std::move(startupTask)]() mutable {
        pthread_setname_np(pthread_self(), "alarm-picture");
        Loop(std::move(task));
    });
}

void AlarmPictureWorker::Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

void AlarmPictureWorker::Loop(std::function<void()> startupTask) {
    if (startupTask) startupTask();
    std::unique_ptr<CoreEventHub::Reader> reader = hub_.Subscribe(CoreEventHub::MaskOf<AlarmEvent>());
    std::vector<CoreEventHub::Event> events;
    while (!stop_.load()) {
        if (!reader->Wait(std::chrono::milliseconds(1000))) continue;
        events.clear();
        // Readings lost to a burst are simply not pictured: their moment has passed anyway.
        reader->Read(&events);
        for (const CoreEventHub::Event& e : events) {
            if (stop_.load()) break;
            if (const auto* alarm = std::get_if<AlarmEvent>(&e.payload)) Handle(*alarm);
        }
    }
}

bool AlarmPictureWorker::Handle(const AlarmEvent& event) {
    if (event.code != kEventTemperatureAbnormal || !IsChannelId(event.channelId)) return false;
    AlarmPicture picture;
    picture.channelId = event.channelId;
    picture.time = event.time;
    picture.text.assign(event.text, strnlen(event.text, sizeof event.text));
    int rc = capture_ ? capture_(event.channelId, &picture) : -1;
    if (rc != 0 || picture.picture.empty()) {
        if (rc == -1) Trace("alarm picture of channel %d: the picture could not be taken\n", event.channelId);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(picture));
        while (queue_.size() > kMaxQueued) queue_.pop_front();
    }
    if (ready_) ready_();
    return true;
}

std::vector<AlarmPicture> AlarmPictureWorker::TakeReady() {
    std::lock_guard lock(mutex_);
    std::vector<AlarmPicture> out(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    return out;
}

}  // namespace ocv
