#include "liveview/tour_runner.h"

#include <pthread.h>

#include <cstdio>
#include <system_error>

#include "base/channel_id.h"
#include "base/trace.h"
#include "liveview/tour_steps.h"

namespace ocv {

TourRunner::TourRunner(ChannelConnections& connections, PostFn post)
    : connections_(connections), post_(std::move(post)) {}

TourRunner::~TourRunner() { StopAll(); }

void TourRunner::Join(Worker& w) {
    if (w.thread.joinable()) w.thread.join();
}

bool TourRunner::SingleRunning(int cell) const {
    return cell >= 0 && cell < kMaxCells && cells_[cell].running.load();
}

bool TourRunner::GroupInTour(int group) const {
    if (MultiRunning()) return true;
    return group >= 0 && group < kMaxTourGroups && groupTours_[group].load() > 0;
}

bool TourRunner::AnyRunning() const {
    if (MultiRunning()) return true;
    for (int k = 0; k < kMaxCells; ++k)
        if (cells_[k].running.load()) return true;
    return false;
}

int TourRunner::StartSingle(int cell, int group, std::vector<TourEntry> entries, int intervalSeconds) {
    if (cell < 0 || cell >= kMaxCells || group < 0 || group >= kMaxTourGroups) return -1;
    Worker& w = cells_[cell];
    if (w.running.load()) return -1;
    Join(w);  // a worker that ended by itself
    if (entries.size() > kMaxSingleTourEntries) entries.resize(kMaxSingleTourEntries);
    w.running = true;
    w.step = 0;
    w.group = group;
    w.stop.Reset();
    // Counted before the worker runs, so the group is in the tour as soon as the start returns.
    ++groupTours_[group];
    try {
        w.thread = std::thread([this, cell, group, list = std::move(entries), intervalSeconds]() mutable {
            RunSingle(cell, group, std::move(list), intervalSeconds);
        });
    } catch (const std::system_error&) {
        --groupTours_[group];
        w.running = false;
        Trace("tour of cell %d: cannot start its worker\n", cell);
        return -1;
    }
    return 0;
}

int TourRunner::StartMulti(std::vector<TourEntry> entries, int intervalSeconds) {
    if (multi_.running.load()) return -1;
    Join(multi_);
    if (entries.size() > kMaxMultiTourEntries) entries.resize(kMaxMultiTourEntries);
    multi_.running = true;
    multi_.step = 0;
    multi_.stop.Reset();
    try {
        multi_.thread = std::thread([this, list = std::move(entries), intervalSeconds]() mutable {
            RunMulti(std::move(list), intervalSeconds);
        });
    } catch (const std::system_error&) {
        multi_.running = false;
        Trace("multi-screen tour: cannot start its worker\n");
        return -1;
    }
    return 0;
}

void TourRunner::StopSingle(int cell) {
    if (cell < 0 || cell >= kMaxCells) return;
    Worker& w = cells_[cell];
    w.running = false;
    w.stop.Request();
    Join(w);
}

void TourRunner::StopMulti() {
    multi_.running = false;
    multi_.stop.Request();
    Join(multi_);
}

void TourRunner::StopAll() {
    for (int k = 0; k < kMaxCells; ++k) {
        cells_[k].running = false;
        cells_[k].stop.Request();
    }
    multi_.running = false;
    multi_.stop.Request();
    for (int k = 0; k < kMaxCells; ++k) Join(cells_[k]);
    Join(multi_);
}

void TourRunner::StepSingle(int cell, int direction) {
    // Taken at the worker's next round.
    if (cell >= 0 && cell < kMaxCells && (direction == 1 || direction == -1)) cells_[cell].step = direction;
}

void TourRunner::StepMulti(int direction) {
    if (direction == 1 || direction == -1) multi_.step = direction;
}

void TourRunner::ConnectAll(const std::vector<TourEntry>& entries, const Worker& w) {
    for (const TourEntry& e : entries) {
        if (!w.running.load()) return;
        if (e.valid) connections_.StartConnectWorker(e.device, e.channel);
    }
}

void TourRunner::RunSingle(int cell, int group, std::vector<TourEntry> entries, int intervalSeconds) {
    char name[16];
    snprintf(name, sizeof name, "tour-%d", cell);
    pthread_setname_np(pthread_self(), name);
    Worker& w = cells_[cell];
    ConnectAll(entries, w);
    SingleTourSteps steps(static_cast<int>(entries.size()), intervalSeconds);
    while (w.running.load() && !entries.empty()) {
        if (!paused_.load()) {
            int shown = steps.Round(w.step.exchange(0));
            if (shown >= 0) {
                const TourEntry& e = entries[static_cast<size_t>(shown)];
                post_(kMsgTourShow, cell, e.valid ? ChannelIdOf(e.device, e.channel) : -1);
            }
        }
        w.stop.WaitFor(round_);
    }
    --groupTours_[group];
    if (w.running.exchange(false)) post_(kMsgTourEnded, cell, 0);
}

void TourRunner::RunMulti(std::vector<TourEntry> entries, int intervalSeconds) {
    pthread_setname_np(pthread_self(), "tour-multi");
    ConnectAll(entries, multi_);
    const int count = static_cast<int>(entries.size());
    MultiTourSteps steps(count, intervalSeconds);
    while (multi_.running.load() && count > 0) {
        if (!paused_.load()) {
            int n = TourPageSize(splitMode_.load());
            int first = steps.Round(multi_.step.exchange(0), n);
            if (first == MultiTourSteps::kEnd) break;
            if (first >= 0) {
                post_(kMsgTourClearAll, 0, 0);
                for (int i = 0; i < n && i < kMaxCells && first + i < count; ++i) {
                    const TourEntry& e = entries[static_cast<size_t>(first + i)];
                    if (e.valid) post_(kMsgTourShow, i, ChannelIdOf(e.device, e.channel));
                }
            }
        }
        multi_.stop.WaitFor(round_);
    }
    if (multi_.running.exchange(false)) post_(kMsgTourEnded, -1, 0);
}

}  // namespace ocv
