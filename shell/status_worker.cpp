#include "shell/status_worker.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/crash_filter.h"
#include "base/trace.h"
#include "store/config_store.h"
#include "store/relaxed.h"

namespace ocv {
namespace {
// Past the boundary by this much, so the tick reads the new second and not the old one.
constexpr int kBoundaryMarginMs = 5;
}  // namespace

int NetworkPercent(const QVX_NET_RECORD* records, int count) {
    if (!records || count <= 0) return -1;
    const QVX_NET_RECORD* best = &records[0];
    for (int i = 1; i < count; ++i)
        if (records[i].sent > best->sent) best = &records[i];
    uint64_t linkKbit = best->linkSpeed / 1000;
    if (linkKbit == 0) return -1;
    uint64_t value = (static_cast<uint64_t>(best->received) + best->sent) * 800 / linkKbit;
    return static_cast<int>(std::min<uint64_t>(value, 100));
}

void StatusWorker::Tick() {
    ClockSnapshot now = RenewClockSnapshot();
    // The crash handler cannot call localtime, so it is given the offset here.
    std::time_t t = static_cast<std::time_t>(now.time);
    std::tm local{};
    if (localtime_r(&t, &local)) SetCrashFilterUtcOffset(local.tm_gmtoff);

    StatusTick tick{now, false, -1, -1};
    if (now.day != lastDay_ || now.month != lastMonth_ || now.year != lastYear_) {
        bool firstTick = lastDay_ < 0;
        lastDay_ = now.day;
        lastMonth_ = now.month;
        lastYear_ = now.year;
        tick.dateChanged = true;
        if (!firstTick && hooks_.resetDayCounters) hooks_.resetDayCounters();
    }
    if (meters_) {
        tick.cpuPercent = QVX_CPU_Usage();
        QVX_NET_RECORD records[16];
        int n = QVX_NET_Usage(records, 16);
        tick.networkPercent = NetworkPercent(records, n);
    }
    RunSecondTriggers(now);
    if (hooks_.post) hooks_.post(tick);
}

void StatusWorker::RunSecondTriggers(const ClockSnapshot& now) {
    constexpr int kPruneSecondOfDay = 5 * 60;  // 00:05:00
    int64_t from = now.time;
    if (lastTriggerSecond_ >= 0 && now.time > lastTriggerSecond_) {
        from = lastTriggerSecond_ + 1;
        if (now.time - from >= kMaxCatchUpSeconds) {
            Trace("status worker: the clock moved on %lld s at once; the triggers of the last day run now\n",
                  static_cast<long long>(now.time - lastTriggerSecond_));
            from = now.time - kMaxCatchUpSeconds + 1;
        }
    } else if (now.time == lastTriggerSecond_) {
        return;  // this second's triggers have run (the tick came early)
    }
    lastTriggerSecond_ = now.time;

    const SystemSettings& s = store_.settings();
    const bool timeSync = Relaxed(s.ENABLETIME) == 1;
    const int checkTime = Relaxed(s.CHECKTIME);
    bool prune = false, sync = false;
    for (int64_t t = from; t <= now.time; ++t) {
        int secondOfDay = t == now.time ? now.SecondOfDay() : MakeClockSnapshot(t).SecondOfDay();
        prune = prune || secondOfDay == kPruneSecondOfDay;
        sync = sync || (timeSync && secondOfDay == checkTime);
    }
    if (prune && hooks_.pruneLogs) hooks_.pruneLogs();
    if (sync && hooks_.markTimeSync) hooks_.markTimeSync();
}

void StatusWorker::Start() {
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
}

void StatusWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StatusWorker::Loop() {
    pthread_setname_np(pthread_self(), "status-worker");
    if (meters_) {
        QVX_CPU_Init();
        QVX_NET_Init();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        lock.unlock();
        Tick();
        lock.lock();
        // Wake just after the next second boundary of the wall clock instead of 1000 ms after
        // this tick's work, which drifts a little every second.
        using namespace std::chrono;
        auto next = floor<seconds>(system_clock::now()) + seconds(1) + milliseconds(kBoundaryMarginMs);
        wake_.wait_until(lock, next, [this] { return stop_; });
    }
    if (meters_) {
        QVX_CPU_Free();
        QVX_NET_Free();
    }
}

int TimeSyncWorker::Pass() {
    ClockSnapshot now = clockSnapshot();
    int32_t block[15] = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    int sent = 0;
    for (int d = 0; d < kMaxDevices; ++d) {
        if (store_.device(d).IsEmpty()) continue;
        for (int c = 0; c < kMaxChannels; ++c) {
            if (!marks_.Take(ChannelIdOf(d, c))) continue;
            if (send_) send_(d, c, kTimeSyncCommand, block, kTimeSyncBlockBytes);
            ++sent;
        }
    }
    return sent;
}

void TimeSyncWorker::Start() {
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "time-sync");
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            lock.unlock();
            Pass();
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(1000), [this] { return stop_; });
        }
    });
}

void TimeSyncWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace ocv
