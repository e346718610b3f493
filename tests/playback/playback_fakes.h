#pragma once
// In-memory stand-ins for what the playback page's rules work with: the players of its windows,
// a device's recordings and the page's windows. Each records what it was asked.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "playback/playback_controller.h"
#include "tests/liveview/live_view_fakes.h"

namespace ocv::test {

class FakeWindowPlayers : public playback::PlaybackPlayers {
public:
    struct Open {
        int port;
        std::string path;
        int percent;
    };

    int CreatePort(int window, void*) override {
        if (createFails) return -1;
        int port = nextPort_++;
        created.push_back({window, port});
        state[port] = QVXPLAY_STATE_NONE;
        return port;
    }
    int AdoptPort(int window, int port, void*) override {
        adopted.push_back({window, port});
        state[port] = QVXPLAY_STATE_PLAYING;
        return 0;
    }
    void ReleaseAdopted(int port) override { releasedAdopted.push_back(port); }
    void DestroyPort(int port) override {
        destroyed.push_back(port);
        state.erase(port);
    }
    int OpenFile(int port, const std::string& path, int percent) override {
        opens.push_back({port, path, percent});
        if (failPaths.count(path)) return -1;
        state[port] = QVXPLAY_STATE_STOPPED;
        return 0;
    }
    int CloseFile(int port) override {
        ++closes;
        state[port] = QVXPLAY_STATE_NONE;
        return 0;
    }
    int Play(int port) override {
        if (!state.count(port) || state[port] == QVXPLAY_STATE_NONE) return -1;
        state[port] = QVXPLAY_STATE_PLAYING;
        return 0;
    }
    int Pause(int port) override {
        if (state[port] != QVXPLAY_STATE_PLAYING) return -1;
        state[port] = QVXPLAY_STATE_PAUSED;
        return 0;
    }
    int Stop(int port) override {
        ++stops;
        if (state[port] != QVXPLAY_STATE_NONE) state[port] = QVXPLAY_STATE_STOPPED;
        return 0;
    }
    int SetRate(int port, int level) override {
        rate[port] = level;
        return 0;
    }
    int OneByOne(int port) override {
        ++steps;
        state[port] = QVXPLAY_STATE_PAUSED;
        return 0;
    }
    int ShowFrame(int) override {
        ++frameShows;
        return 0;
    }
    int PlayState(int port) override { return state.count(port) ? state[port] : -1; }
    int PlayedMs(int port) override { return playedMs.count(port) ? playedMs[port] : -1; }
    int OpenSound(int port) override {
        sound[port] = true;
        return 0;
    }
    int CloseSound(int port) override {
        sound[port] = false;
        return 0;
    }
    int SoundState(int port) override { return sound[port] ? QVXPLAY_SOUND_PLAYING : QVXPLAY_SOUND_CLOSED; }
    int SetDisplayMode(int port, int mode) override {
        display[port] = mode;
        return 0;
    }
    int DisplayMode(int port) override { return display[port]; }
    int SetDisplayRegion(int port, const QVXPlayRect* r) override {
        regions[port] = r ? *r : QVXPlayRect{};
        return 0;
    }
    int Capture(int port, bool, int, std::string* bytes) override {
        if (PlayState(port) <= QVXPLAY_STATE_NONE) return -2;
        *bytes = "picture of port " + std::to_string(port);
        return 0;
    }

    std::vector<std::pair<int, int>> created, adopted;
    std::vector<int> destroyed, releasedAdopted;
    std::vector<Open> opens;
    std::set<std::string> failPaths;
    std::map<int, int> state, rate, playedMs, display;
    std::map<int, bool> sound;
    std::map<int, QVXPlayRect> regions;
    int closes = 0, stops = 0, steps = 0, frameShows = 0;
    bool createFails = false;

private:
    int nextPort_ = 101;
};

class FakeRemote : public playback::RemoteRecordings {
public:
    playback::RemoteSearchResult Search(int login, int channel, int filter, const playback::Date& date,
                                        const std::atomic<bool>&) override {
        std::lock_guard lock(mutex_);
        searches.push_back({login, channel, filter, date});
        return answer;
    }
    int Open(int login, int, const std::string& name, int* handle, int* port) override {
        std::unique_lock lock(mutex_);
        opened.push_back({login, name});
        released_.wait(lock, [this] { return !holdOpens; });
        if (refuse.count(name)) return -1;
        *handle = nextHandle_++;
        *port = 5000 + *handle;
        return 0;
    }
    int SetPosition(int handle, int percent) override {
        positions.push_back({handle, percent});
        return 0;
    }
    int Resume(int handle) override {
        resumed.push_back(handle);
        return 0;
    }
    int Pause(int handle) override {
        paused.push_back(handle);
        return 0;
    }
    int SetSpeed(int handle, int level) override {
        speeds.push_back({handle, level});
        return 0;
    }
    int Position(int handle) override { return position.count(handle) ? position[handle] : -1; }
    int Finished(int handle) override { return finished.count(handle) ? finished[handle] : 0; }
    void Stop(int handle) override {
        std::lock_guard lock(mutex_);
        stopped.push_back(handle);
    }
    void Release() {
        std::lock_guard lock(mutex_);
        holdOpens = false;
        released_.notify_all();
    }
    std::vector<std::string> OpenedNames() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (auto& o : opened) out.push_back(o.second);
        return out;
    }
    std::vector<int> Stopped() {
        std::lock_guard lock(mutex_);
        return stopped;
    }

    struct SearchCall {
        int login, channel, filter;
        playback::Date date;
    };
    playback::RemoteSearchResult answer;
    std::vector<SearchCall> searches;
    std::vector<std::pair<int, std::string>> opened;
    std::set<std::string> refuse;
    std::vector<std::pair<int, int>> positions, speeds;
    std::vector<int> resumed, paused, stopped;
    std::map<int, int> position, finished;
    bool holdOpens = false;

private:
    std::mutex mutex_;
    std::condition_variable released_;
    int nextHandle_ = 1;
};

class FakePlaybackView : public playback::PlaybackView {
public:
    int SelectedWindow() const override { return selected; }
    void* SurfaceOf(int window) override { return &surfaces[window]; }
    void SetWindowTitle(int window, const std::string& title) override { titles[window] = title; }
    void SetWindowPaused(int window, bool p) override { paused[window] = p; }
    void RepaintWindow(int window, bool clear) override {
        ++repaints[window];
        if (clear) ++clears[window];
    }
    void ShowNotice(const char* english) override { notices.push_back(english); }
    void SetSearching(bool s) override {
        searching = s;
        if (s) ++searchNotices;
    }
    void TimelineChanged() override { ++timelineChanges; }
    void DayMarksChanged() override { ++marksChanges; }
    bool HasRight(int right) override { return !refused.count(right); }
    std::string OperatorName() const override { return "admin"; }

    int selected = 0;
    int surfaces[4] = {};
    std::string titles[4];
    bool paused[4] = {false, false, false, false};
    int repaints[4] = {}, clears[4] = {};
    std::vector<std::string> notices;
    bool searching = false;
    int searchNotices = 0, timelineChanges = 0, marksChanges = 0;
    std::set<int> refused;
};

}  // namespace ocv::test
