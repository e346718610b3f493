#pragma once
// The main window's once-a-second worker: renews the process clock, reads the CPU and network
// meters, resets the day's counters at midnight, prunes the logs at 00:05:00 and marks every
// channel for the daily time synchronisation. It wakes on each second boundary of the clock,
// and a tick that comes late still runs the triggers of the seconds it missed, so an
// exact-second trigger is never skipped. It never touches a window: each tick's result goes
// to a callback that posts it to the window.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/system_control.h"
#include "base/clock.h"
#include "device/time_sync.h"

namespace ocv {

class ConfigStore;

struct StatusTick {
    ClockSnapshot now;
    bool dateChanged;  // the first tick and every new day: the date text needs renewing
    int cpuPercent;    // -1 unknown
    int networkPercent;  // -1 unknown
};

// Network meter from the adapter table: the adapter with the most sent wins;
// (received + sent) x 800 / (link speed / 1000), clamped to 0..100; -1 when none qualifies.
int NetworkPercent(const QVX_NET_RECORD* records, int count);

class StatusWorker {
public:
    struct Hooks {
        std::function<void()> resetDayCounters;
        std::function<void()> pruneLogs;
        std::function<void()> markTimeSync;  // at CHECKTIME when the daily synchronisation is on
        std::function<void(const StatusTick&)> post;
    };
    StatusWorker(const ConfigStore& store, Hooks hooks) : store_(store), hooks_(std::move(hooks)) {}
    ~StatusWorker() { Stop(); }
    StatusWorker(const StatusWorker&) = delete;
    StatusWorker& operator=(const StatusWorker&) = delete;

    // One second's work (the thread calls it; tests call it with a driven clock).
    void Tick();
    // A late tick catches up at most this far back: a longer gap (the machine slept, the clock
    // was set) runs each trigger of the last day once rather than replaying days.
    static constexpr int64_t kMaxCatchUpSeconds = 86400;
    // Skips the meters (tests: the machine's load is not theirs to read).
    void SetMetersEnabled(bool on) { meters_ = on; }
    void Start();
    void Stop();

private:
    void Loop();
    // The exact-second triggers of every second after the last tick's, up to now.
    void RunSecondTriggers(const ClockSnapshot& now);

    const ConfigStore& store_;
    Hooks hooks_;
    bool meters_ = true;
    int64_t lastTriggerSecond_ = -1;
    int lastDay_ = -1;
    int lastYear_ = -1, lastMonth_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

// Sends the clock snapshot (command 4117) to every channel marked for synchronisation and
// clears the mark whatever the result.
class TimeSyncWorker {
public:
    using SendFn = std::function<int(int device, int channel, uint32_t command, const void* block, uint32_t length)>;
    TimeSyncWorker(const ConfigStore& store, TimeSyncMarks& marks, SendFn send)
        : store_(store), marks_(marks), send_(std::move(send)) {}
    ~TimeSyncWorker() { Stop(); }
    TimeSyncWorker(const TimeSyncWorker&) = delete;
    TimeSyncWorker& operator=(const TimeSyncWorker&) = delete;

    // Returns the number of channels sent to.
    int Pass();
    void Start();
    void Stop();

private:
    const ConfigStore& store_;
    TimeSyncMarks& marks_;
    SendFn send_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

constexpr uint32_t kTimeSyncCommand = 4117;
constexpr uint32_t kTimeSyncBlockBytes = 60;

}  // namespace ocv
