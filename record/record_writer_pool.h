#pragma once
// The threads that write the recorders' rings to disk: one per recording disk (a disk's writes
// queue behind each other anyway, and a slow disk holds up no other), started when the first
// recording on that disk begins, not a thread per channel.
//
// A worker wakes every kWriterIntervalMs while a recording of its disk runs, and earlier when a
// recorder asks (its ring filling up, a recording beginning); it then gives every recording
// recorder of its disk one writer pass. So frames are handed to the file system at most
// kWriterIntervalMs after they arrive, plus the time the disk takes for what is queued before
// them, and the stream callback never wakes a thread per frame.
//
// The pool lives while a recorder holds it (Shared); the last one to go ends the workers.
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace ocv {

class Recorder;

class RecordWriterPool {
public:
    static constexpr int kWriterIntervalMs = 100;

    // The process's pool, made when none is held.
    static std::shared_ptr<RecordWriterPool> Shared();

    RecordWriterPool() = default;
    ~RecordWriterPool();
    RecordWriterPool(const RecordWriterPool&) = delete;
    RecordWriterPool& operator=(const RecordWriterPool&) = delete;

    void Add(Recorder* recorder);
    // After it returns no worker is in, or will start, a pass of the recorder.
    void Remove(Recorder* recorder);
    // Wakes the worker of the disk (0..23), starting it when there is none. Cheap when it is
    // awake already.
    void Wake(int disk);

    int WorkerCount();
    // Passes the workers have run, and times they were woken before their interval ended.
    uint64_t PassCount();
    uint64_t EarlyWakeCount();

private:
    struct Entry {
        Recorder* recorder;
        bool busy = false;      // a worker is in a pass of it
        bool removing = false;  // Remove waits: no new pass
    };
    struct Worker {
        int disk = 0;
        bool woken = false;
        std::condition_variable wake;
        std::thread thread;
    };

    void Run(Worker* worker);
    // One pass over the recording recorders of the disk; whether any was recording.
    bool PassOverDisk(std::unique_lock<std::mutex>& lock, int disk);

    std::mutex mutex_;
    std::condition_variable idle_;  // an entry stopped being busy
    std::list<Entry> entries_;
    std::map<int, std::unique_ptr<Worker>> workers_;
    bool stopping_ = false;
    uint64_t passes_ = 0;
    uint64_t earlyWakes_ = 0;
};

}  // namespace ocv
