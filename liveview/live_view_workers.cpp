#include "liveview/live_view_workers.h"

#include <pthread.h>

#include <algorithm>

#include "device/device_service.h"
#include "liveview/channel_text.h"
#include "store/relaxed.h"

namespace ocv {

namespace {
constexpr auto kEventPeriod = std::chrono::milliseconds(500);

// The icons of a channel folded into one word; never 0, so 0 can mean "not reported yet".
uint32_t Signature(const std::vector<int>& icons) {
    uint32_t h = 2166136261u;
    for (int icon : icons) h = (h ^ static_cast<uint32_t>(icon + 1)) * 16777619u;
    return h == 0 ? 1 : h;
}
}  // namespace

LiveViewWorkers::LiveViewWorkers(DeviceService& service, PostFn post)
    : service_(service), post_(std::move(post)), lastSignature_(kChannelIdCount, 0) {}

LiveViewWorkers::~LiveViewWorkers() { Stop(); }

void LiveViewWorkers::Start(std::chrono::milliseconds restoreDelay) {
    Stop();
    stop_.Reset();
    service_.alarms().recordStates().SetConsumerOpen(true);
    // Only events from now on: older temperature marks came before this page existed.
    std::vector<AlarmEvent> skipped;
    service_.alarms().events().ReadFrom(&eventCursor_, &skipped);
    restore_ = std::thread([this, restoreDelay] {
        pthread_setname_np(pthread_self(), "lv-restore");
        RestoreLoop(restoreDelay);
    });
    events_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "lv-events");
        EventLoop();
    });
}

void LiveViewWorkers::Stop() {
    stop_.Request();
    if (restore_.joinable()) restore_.join();
    if (events_.joinable()) events_.join();
    service_.alarms().recordStates().SetConsumerOpen(false);
}

void LiveViewWorkers::RestoreLoop(std::chrono::milliseconds delay) {
    if (stop_.WaitFor(delay)) return;
    if (Relaxed(service_.store().settings().CONNECT) == 1) {
        for (int d = 0; d < kMaxDevices && !stop_.Requested(); ++d) {
            const DeviceInfo& dev = service_.store().device(d);
            if (dev.IsEmpty()) continue;
            for (int c = 0; c < kMaxChannels; ++c)
                if (Relaxed(dev.channels[c].id) > 0) service_.StartConnectWorker(d, c);
        }
    }
    if (stop_.WaitFor(std::chrono::milliseconds(50))) return;
    post_(kMsgRestoreCells, 0, 0);
}

void LiveViewWorkers::EventLoop() {
    do {
        ChannelEventRound();
    } while (!stop_.WaitFor(kEventPeriod));
}

void LiveViewWorkers::ChannelEventRound() {
    std::vector<NotifyItem> notices;
    service_.alarms().recordStates().Drain(&notices);
    std::vector<bool> posted(kChannelIdCount, false);
    auto post = [&](int id) {
        if (id < 0 || id >= kChannelIdCount || posted[id]) return;
        posted[id] = true;
        post_(kMsgChannelChanged, id / kMaxChannels, id % kMaxChannels);
    };
    for (const NotifyItem& n : notices) post(n.channelId);

    std::vector<AlarmEvent> events;
    service_.alarms().events().ReadFrom(&eventCursor_, &events);
    for (const AlarmEvent& e : events) {
        if (e.code != kEventTemperatureNormal && e.code != kEventTemperatureAbnormal) continue;
        if (e.channelId < 0 || e.channelId >= kChannelIdCount) continue;
        post_(kMsgTemperatureMark, e.channelId, static_cast<intptr_t>((static_cast<uint64_t>(e.time) << 8) | static_cast<uint64_t>(e.code)));
    }

    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = service_.store().device(d);
        if (dev.IsEmpty()) continue;
        int count = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
        for (int c = 0; c < count; ++c) {
            int id = ChannelIdOf(d, c);
            ChannelStateView extra{service_.players().SoundOn(id), false};
            uint32_t sig = Signature(ChannelStateIcons(dev, c, extra));
            if (sig != lastSignature_[id]) {
                lastSignature_[id] = sig;
                post(id);
            }
        }
    }

    // Read after the events above, so the counts include the readings just reported.
    int readings = service_.alarms().TemperatureReadings();
    int abnormal = service_.alarms().AbnormalReadings();
    if (readings != lastReadings_ || abnormal != lastAbnormal_) {
        lastReadings_ = readings;
        lastAbnormal_ = abnormal;
        post_(kMsgDayCounters, readings, abnormal);
    }
}

}  // namespace ocv
