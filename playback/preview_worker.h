#pragma once
// The hover preview's worker ("pb-preview"): the page leaves one pending request (a recording
// and a percentage) under the lock; every 100 ms the worker takes the newest and draws that
// picture (QVXPlay_ShotImage into the popup's port). A request that is replaced before the
// worker woke is never drawn, so fast pointer moves cost one picture per wake at most.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ocv::playback {

class PreviewWorker {
public:
    // Draws the picture at percent of the file; called on the worker thread.
    using ShotFn = std::function<int(const std::string& path, int percent)>;

    explicit PreviewWorker(ShotFn shot, std::chrono::milliseconds period = std::chrono::milliseconds(100));
    ~PreviewWorker() { Stop(); }
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    void Start();
    // Sets the stop flag and waits for the worker to end.
    void Stop();

    // UI thread: the picture to show next (replaces one still pending).
    void Request(const std::string& path, int percent);
    // Forgets a pending request (the popup was hidden).
    void Cancel();
    bool HasPending() const;
    // Pictures drawn so far (tests, diagnostics).
    int Shots() const;

private:
    void Run();

    ShotFn shot_;
    std::chrono::milliseconds period_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool pending_ = false;
    std::string path_;
    int percent_ = 0;
    int shots_ = 0;
    std::thread thread_;
};

}  // namespace ocv::playback
