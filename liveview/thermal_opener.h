#pragma once
// Opens and closes the thermal pictures of the live view's insets on a thread of its own
// (`lv-thermal`): opening one is a request to the device that can take seconds when the device
// is slow, which the UI thread must never wait for. Requests run in the order they were made,
// so a close always follows the open it undoes. A failed open is posted back to the page.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ocv {

class ChannelConnections;

constexpr int kMsgInsetFailed = 1211;  // wParam cell, lParam device

class ThermalOpener {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;

    ThermalOpener(ChannelConnections& connections, PostFn post);
    // Runs what is still queued (the closes above all), then ends the thread.
    ~ThermalOpener();
    ThermalOpener(const ThermalOpener&) = delete;
    ThermalOpener& operator=(const ThermalOpener&) = delete;

    void Open(int cell, int device, int channel, void* window);
    void Close(int device);
    // An open of the device's picture is queued or running.
    bool OpenPending(int device);
    // Waits until every request made so far has run (tests, and the page before its windows go).
    void Flush();

private:
    struct Request {
        bool open;
        int cell, device, channel;
        void* window;
    };
    void Push(const Request& r);
    void Loop();

    ChannelConnections& connections_;
    PostFn post_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Request> queue_;
    bool busy_ = false;
    Request current_{};  // the request running while busy_
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ocv
