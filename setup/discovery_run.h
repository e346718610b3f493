#pragma once
// The search window's discovery, without the window: the device library's discovery handle,
// the worker thread that runs the blocking search, the searching flag, and the settings
// exchange (also blocking, on a thread of its own). Found devices reach the owner's callback
// on the library's thread; the owner posts them to its window.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/qvx_sdk.h"

namespace ocv {

struct SearchTarget {
    std::string address;
    uint16_t port = 0;  // 0: the protocol's usual port
};

class DiscoveryRun {
public:
    // Called on a library thread with each record of exactly 260 bytes (other sizes are
    // dropped); may run until the handle is destroyed, never after.
    using FoundFn = std::function<void(const QVX_FOUND_DEVICE& record)>;
    static constexpr int kSearchTimeoutMs = 2000;

    explicit DiscoveryRun(FoundFn found) : found_(std::move(found)) {}
    ~DiscoveryRun();
    DiscoveryRun(const DiscoveryRun&) = delete;
    DiscoveryRun& operator=(const DiscoveryRun&) = delete;

    enum StartResult { kStarted, kStillSearching, kNoHandle };
    // A new search: nothing while the library's search call still runs; otherwise the previous
    // handle goes, a new one is made for the protocol (probing the LAN when lan is set, and the
    // targets), and the worker (`sch-search`) runs the search.
    StartResult Start(int protocol, const std::vector<SearchTarget>& targets, bool lan);
    bool Searching() const { return searching_.load(); }
    bool HasHandle() const;

    // The new network settings of a device the last search found, proven with its credentials,
    // on a thread of its own (`sch-netcfg`); done gets the library's result (0, QVX_SCH_REFUSED
    // or another failure) on that thread. false when no handle exists or an exchange runs.
    bool ApplyAsync(const QVX_FOUND_DEVICE& record, const std::string& user, const std::string& password,
                    std::function<void(int result)> done);

    // Waits for the threads (tests, and before destruction).
    void Join();

private:
    static void OnFound(const void* record, int32_t size, void* user);
    void DestroyHandle();

    FoundFn found_;
    mutable std::mutex mutex_;
    QVX_HANDLE handle_ = 0;
    std::thread worker_;
    std::thread exchange_;
    std::atomic<bool> searching_{false};
    std::atomic<bool> exchanging_{false};
};

}  // namespace ocv
