#include "record/record_writer_pool.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "record/recorder.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr int kMaxDisks = 24;  // drive letters C..Z

}  // namespace

std::shared_ptr<RecordWriterPool> RecordWriterPool::Shared() {
    static std::mutex mutex;
    static std::weak_ptr<RecordWriterPool> current;
    std::lock_guard lock(mutex);
    std::shared_ptr<RecordWriterPool> pool = current.lock();
    if (!pool) {
        pool = std::make_shared<RecordWriterPool>();
        current = pool;
    }
    return pool;
}

RecordWriterPool::~RecordWriterPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& [disk, worker] : workers_) worker->wake.notify_all();
    }
    for (auto& [disk, worker] : workers_)
        if (worker->thread.joinable()) worker->thread.join();
}

void RecordWriterPool::Add(Recorder* recorder) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.recorder == recorder) return;
    entries_.push_back(Entry{recorder});
}

void RecordWriterPool::Remove(Recorder* recorder) {
    std::unique_lock lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [recorder](const Entry& e) { return e.recorder == recorder; });
    if (it == entries_.end()) return;
    it->removing = true;
    idle_.wait(lock, [&] { return !it->busy; });
    entries_.erase(it);
}

void RecordWriterPool::Wake(int disk) {
    if (disk < 0 || disk >= kMaxDisks) return;
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    auto found = workers_.find(disk);
    if (found != workers_.end()) {
        Worker& w = *found->second;
        if (!w.woken) {
            w.woken = true;
            ++earlyWakes_;
            w.wake.notify_one();
        }
        return;
    }
    auto worker = std::make_unique<Worker>();
    worker->disk = disk;
    worker->woken = true;
    Worker* w = worker.get();
    try {
        w->thread = std::thread([this, w] { Run(w); });
    } catch (const std::system_error& e) {
        Trace("recording: no writer thread for disk %c (%s)\n", 'C' + disk, e.what());
        return;
    }
    workers_.emplace(disk, std::move(worker));
}

int RecordWriterPool::WorkerCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(workers_.size());
}

uint64_t RecordWriterPool::PassCount() {
    std::lock_guard lock(mutex_);
    return passes_;
}

uint64_t RecordWriterPool::EarlyWakeCount() {
    std::lock_guard lock(mutex_);
    return earlyWakes_;
}

void RecordWriterPool::Run(Worker* worker) {
    char name[16];
    snprintf(name, sizeof name, "rec-writer-%c", 'C' + worker->disk);
    pthread_setname_np(pthread_self(), name);
    std::unique_lock lock(mutex_);
    bool recording = true;
    while (!stopping_) {
        auto woken = [&] { return worker->woken || stopping_; };
        // Nothing of this disk records: sleep until a recording begins (it wakes us).
        if (recording)
            worker->wake.wait_for(lock, std::chrono::milliseconds(kWriterIntervalMs), woken);
        else
            worker->wake.wait(lock, woken);
        if (stopping_) break;
        worker->woken = false;
        recording = PassOverDisk(lock, worker->disk);
    }
}

bool RecordWriterPool::PassOverDisk(std::unique_lock<std::mutex>& lock, int disk) {
    bool any = false;
    for (auto it = entries_.begin(); it != entries_.end() && !stopping_; ++it) {
        if (it->removing || it->busy || it->recorder->WriterDisk() != disk) continue;
        any = true;
        it->busy = true;
        Recorder* recorder = it->recorder;
        lock.unlock();
        recorder->RunWriterPass();
        lock.lock();
        // Remove waits for this before the entry goes, so `it` is still ours.
        it->busy = false;
        ++passes_;
        idle_.notify_all();
    }
    return any;
}

}  // namespace ocv
