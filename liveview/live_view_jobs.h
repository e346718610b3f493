#pragma once
// The live view's device work that must not wait on the UI thread (snapshots, disconnects,
// stream switches) runs here, in order, on one thread (`lv-jobs`). Each job's result comes
// back to the UI thread: the thread queues the job's completion and posts message 1223, on
// which the page runs the completions.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ocv {

constexpr int kMsgJobsDone = 1223;

class LiveViewJobs {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;
    using Work = std::function<int()>;            // on the jobs thread
    using Done = std::function<void(int result)>;  // on the UI thread

    explicit LiveViewJobs(PostFn post);
    // Runs what is still queued (disconnects must finish), then ends the thread.
    ~LiveViewJobs();
    LiveViewJobs(const LiveViewJobs&) = delete;
    LiveViewJobs& operator=(const LiveViewJobs&) = delete;

    void Run(Work work, Done done = {});
    // UI thread, on 1223: the completions of the jobs that finished.
    void RunCompletions();
    // Waits until every job queued so far has run (tests; the page before it goes).
    void Flush();
    // Jobs queued or running.
    int Pending();

private:
    struct Job {
        Work work;
        Done done;
    };
    void Loop();

    PostFn post_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> queue_;
    std::deque<std::pair<Done, int>> finished_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ocv
