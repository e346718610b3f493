#pragma once
// The live view's tour workers: one per cell for single-screen tours (`tour-CELL`) and one for
// the multi-screen tour (`tour-multi`). A worker connects its entries without display, then
// every 500 ms runs a round of its steps and asks the page, by posted messages, to show an
// entry in a cell or to empty the panel: workers never touch cells themselves. While the
// operator has a cell maximised, the tours wait (their rounds do not count).
//
// The flags (cell in a tour, group in a tour, panel in a tour) are read by the UI thread and
// the workers; starts, stops and steps come from the UI thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/stop_signal.h"
#include "device/channel_connections.h"
#include "videogrid/split_layout.h"

namespace ocv {

// Posted by the workers to the page.
constexpr int kMsgTourShow = 1220;      // wParam cell, lParam channel id: close the cell, open the channel
constexpr int kMsgTourClearAll = 1221;  // a new page of the multi-screen tour: close every cell
constexpr int kMsgTourEnded = 1222;     // wParam cell (-1 multi-screen): the worker ended by itself

constexpr int kMaxTourGroups = 36;
constexpr int kMaxSingleTourEntries = 64;
constexpr int kMaxMultiTourEntries = 128;

struct TourEntry {
    int device = -1, channel = -1;
    bool valid = false;  // the device slot holds a device
};

class TourRunner {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;

    TourRunner(ChannelConnections& connections, PostFn post);
    ~TourRunner();
    TourRunner(const TourRunner&) = delete;
    TourRunner& operator=(const TourRunner&) = delete;

    // A single-screen tour of cell through the group's entries. -1 when a worker already runs
    // for the cell or the cell or group is out of range.
    int StartSingle(int cell, int group, std::vector<TourEntry> entries, int intervalSeconds);
    // A multi-screen tour through every group's entries; -1 when one runs.
    int StartMulti(std::vector<TourEntry> entries, int intervalSeconds);
    // Clears the flag and waits for the worker (it wakes at once).
    void StopSingle(int cell);
    void StopMulti();
    void StopAll();

    bool SingleRunning(int cell) const;
    bool MultiRunning() const { return multi_.running.load(); }
    // A single-screen worker runs for the cell, or the multi-screen tour runs.
    bool CellInTour(int cell) const { return SingleRunning(cell) || MultiRunning(); }
    // A single-screen worker cycles through the group, or the multi-screen tour runs.
    bool GroupInTour(int group) const;
    bool AnyRunning() const;

    // The operator's previous (-1) and next (+1).
    void StepSingle(int cell, int direction);
    void StepMulti(int direction);
    // The page's split mode (the multi-screen tour's page size follows it).
    void SetSplitMode(int mode) { splitMode_ = mode; }
    // A maximised cell holds every tour where it is.
    void SetPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_.load(); }

    // 500 ms in the client; tests shorten it.
    void SetRoundForTesting(std::chrono::milliseconds round) { round_ = round; }

private:
    struct Worker {
        std::atomic<bool> running{false};  // the tour flag
        std::atomic<int> step{0};
        std::atomic<int> group{-1};
        StopSignal stop;
        std::thread thread;
    };
    void RunSingle(int cell, int group, std::vector<TourEntry> entries, int intervalSeconds);
    void RunMulti(std::vector<TourEntry> entries, int intervalSeconds);
    void ConnectAll(const std::vector<TourEntry>& entries, const Worker& w);
    static void Join(Worker& w);

    ChannelConnections& connections_;
    PostFn post_;
    std::unique_ptr<Worker[]> cells_{new Worker[kMaxCells]};
    Worker multi_;
    std::unique_ptr<std::atomic<int>[]> groupTours_{new std::atomic<int>[kMaxTourGroups]{}};  // workers per group
    std::atomic<int> splitMode_{4};
    std::atomic<bool> paused_{false};
    std::chrono::milliseconds round_{500};
};

}  // namespace ocv
