#pragma once
// Optional measurement of the stream callback's routing time, for the routing benchmark.
// Off unless a collector is installed; the callback then pays one relaxed load.
#include <atomic>
#include <cstdint>
#include <vector>

namespace ocv {

class RoutingStats {
public:
    // Durations are kept in 1 microsecond buckets up to 10 ms.
    static constexpr int kBuckets = 10000;

    void Record(uint64_t nanoseconds) {
        uint64_t us = nanoseconds / 1000;
        buckets_[us < kBuckets ? us : kBuckets - 1].fetch_add(1, std::memory_order_relaxed);
        totalNs_.fetch_add(nanoseconds, std::memory_order_relaxed);
        calls_.fetch_add(1, std::memory_order_relaxed);
    }
    uint64_t Calls() const { return calls_.load(); }
    uint64_t TotalNanoseconds() const { return totalNs_.load(); }
    // The duration in microseconds below which the given share of calls finished.
    double PercentileMicroseconds(double share) const {
        uint64_t target = static_cast<uint64_t>(share * static_cast<double>(Calls())), seen = 0;
        for (int i = 0; i < kBuckets; ++i) {
            seen += buckets_[i].load();
            if (seen > target) return i + 1;
        }
        return kBuckets;
    }

private:
    std::atomic<uint64_t> buckets_[kBuckets] = {};
    std::atomic<uint64_t> totalNs_{0};
    std::atomic<uint64_t> calls_{0};
};

// Installs (or with nullptr removes) the collector the stream callback reports to.
void SetRoutingStats(RoutingStats* stats);
RoutingStats* CurrentRoutingStats();

}  // namespace ocv
