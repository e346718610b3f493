#include "playback/playback_controller.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "backup/snapshot.h"
#include "base/clock.h"
#include "base/trace.h"
#include "events/log_writer.h"
#include "record/record_paths.h"
#include "widgets/user_session.h"

namespace ocv::playback {
namespace {

Date Today() {
    ClockSnapshot now = clockSnapshot();
    return Date{now.year, now.month, now.day};
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Sleeps in short steps so a stopping worker does not wait out the whole pause.
void Rest(int ms, const std::atomic<bool>& stopping) {
    for (int waited = 0; waited < ms && !stopping.load(); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(20, ms - waited)));
}

class PortGrabber : public backup::PictureGrabber {
public:
    PortGrabber(PlaybackPlayers& players, int port) : players_(players), port_(port) {}
    int Grab(bool bitmap, int quality, std::string* bytes) override {
        return players_.Capture(port_, bitmap, quality, bytes);
    }

private:
    PlaybackPlayers& players_;
    int port_;
};

}  // namespace

PlaybackController::PlaybackController(PlaybackServices services, PlaybackView& view, PostFn post,
                                       PlaybackOptions options)
    : services_(std::move(services)), view_(view), post_(std::move(post)), options_(options), zoom_(services_.zoom) {
    if (!services_.drives) services_.drives = [] { return MappedDrives(); };
    date_ = Today();
}

PlaybackController::~PlaybackController() {
    worker_.Stop();
    {
        std::lock_guard lock(mailboxMutex_);
        mailbox_.clear();
    }
    // The page's windows may be going already: only the players are told.
    for (int w = 0; w < kPlaybackWindows; ++w) {
        StopPlaying(w);
        ReleasePort(w);
    }
}

// ---------------------------------------------------------------- helpers

int PlaybackController::Resolve(int window) const { return window == -1 ? view_.SelectedWindow() : window; }

std::vector<int> PlaybackController::Targets(int window) const {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return {};
    if (!sync_) return {w};
    std::vector<int> all{w};
    for (int k = 0; k < kPlaybackWindows; ++k)
        if (k != w && windows_[static_cast<size_t>(k)].channelId >= 0) all.push_back(k);
    return all;
}

const DeviceInfo* PlaybackController::DeviceOfWindow(int w) const {
    const int id = windows_[static_cast<size_t>(w)].channelId;
    if (id < 0) return nullptr;
    const DeviceInfo* dev = services_.directory.Device(DeviceIndexOf(id));
    return IsValidChannelOf(dev, ChannelIndexOf(id)) ? dev : nullptr;
}

std::string PlaybackController::ChannelFolder(int w) const {
    const DeviceInfo* dev = DeviceOfWindow(w);
    if (!dev) return {};
    return ChannelFolderName(dev->host, dev->port, ChannelIndexOf(windows_[static_cast<size_t>(w)].channelId) + 1);
}

std::string PlaybackController::TitleOf(int w) const {
    const DeviceInfo* dev = DeviceOfWindow(w);
    if (!dev) return {};
    char title[128];
    std::snprintf(title, sizeof title, "%s:%d-%d %s", dev->host, dev->port,
                  ChannelIndexOf(windows_[static_cast<size_t>(w)].channelId) + 1, dev->name);
    return title;
}

int PlaybackController::LoginOf(int w) const {
    const int id = windows_[static_cast<size_t>(w)].channelId;
    if (id < 0 || !DeviceOfWindow(w)) return 0;
    return services_.directory.Runtime().device(DeviceIndexOf(id)).loginHandle.load();
}

int PlaybackController::ActivePort(int w) const {
    const Window& win = windows_[static_cast<size_t>(w)];
    return win.remoteHandle != 0 ? win.remotePort : win.port;
}

int PlaybackController::WindowChannel(int window) const {
    return ValidWindow(window) ? windows_[static_cast<size_t>(window)].channelId : -1;
}

const RecordList& PlaybackController::WindowList(int window) const {
    static const RecordList kEmpty;
    return ValidWindow(window) ? windows_[static_cast<size_t>(window)].list : kEmpty;
}

bool PlaybackController::IsPlaying(int window) const {
    return ValidWindow(window) && windows_[static_cast<size_t>(window)].playing;
}

int PlaybackController::PlayState(int window) const {
    if (!ValidWindow(window)) return QVXPLAY_STATE_NONE;
    const int port = ActivePort(window);
    if (port == 0) return QVXPLAY_STATE_NONE;
    const int state = services_.players.PlayState(port);
    return state < 0 ? QVXPLAY_STATE_NONE : state;
}

bool PlaybackController::SoundOn(int window) const {
    return ValidWindow(window) && windows_[static_cast<size_t>(window)].sound;
}

int PlaybackController::DisplayMode(int window) const {
    if (!ValidWindow(window) || ActivePort(window) == 0) return QVXPLAY_DISPLAY_STRETCH;
    return std::max(0, services_.players.DisplayMode(ActivePort(window)));
}

int PlaybackController::SpeedLevel(int window) const {
    return ValidWindow(window) ? windows_[static_cast<size_t>(window)].speed : 0;
}

int PlaybackController::Port(int window) const { return ValidWindow(window) ? ActivePort(window) : 0; }

int PlaybackController::CurrentSecond(int window) const {
    if (!ValidWindow(window)) return -1;
    const Window& win = windows_[static_cast<size_t>(window)];
    if (!win.playing || win.current < 0 || win.current >= static_cast<int>(win.list.size())) return -1;
    const RecordEntry& e = win.list[static_cast<size_t>(win.current)];
    int offset = -1;
    if (win.remoteHandle != 0) {
        const int percent = services_.remote.Position(win.remoteHandle);
        if (percent >= 0) offset = static_cast<int>(static_cast<int64_t>(percent) * e.durationSeconds / 100);
    } else if (win.port != 0) {
        const int ms = services_.players.PlayedMs(win.port);
        if (ms >= 0) offset = ms / 1000;
    }
    if (offset < 0) return -1;
    return std::min(e.StartSecond() + offset, kSecondsPerDay - 1);
}

// ---------------------------------------------------------------- worker

void PlaybackController::Schedule(int message, Work work) {
    if (options_.inlineWorker) {
        static const std::atomic<bool> kRunning{false};
        if (auto done = work(kRunning)) done();
        return;
    }
    worker_.Post([this, message, work = std::move(work)](const std::atomic<bool>& stopping) {
        auto done = work(stopping);
        if (!done || stopping.load()) return;
        intptr_t ticket;
        {
            std::lock_guard lock(mailboxMutex_);
            ticket = nextTicket_++;
            mailbox_[ticket] = std::move(done);
        }
        post_(message, 0, ticket);
    });
}

void PlaybackController::OnWorkerResult(intptr_t ticket) {
    std::function<void()> done;
    {
        std::lock_guard lock(mailboxMutex_);
        auto found = mailbox_.find(ticket);
        if (found == mailbox_.end()) return;
        done = std::move(found->second);
        mailbox_.erase(found);
    }
    done();
}

// ---------------------------------------------------------------- mode, date, marks

void PlaybackController::SetMode(bool remote) {
    for (int w = 0; w < kPlaybackWindows; ++w) CloseOne(w);
    remote_ = remote;
    ++modeGeneration_;
    date_ = Today();
    marks_ = DayMarks{};
    clip_ = ClipRange{};
    SetZoomMode(false);
    if (!remote_) RefreshMarks();
    view_.DayMarksChanged();
    view_.TimelineChanged();
}

void PlaybackController::ChooseDay(const Date& date) {
    if (date.day < 1 || date.day > 31) return;
    const bool monthChanged = date.year != date_.year || date.month != date_.month;
    date_ = date;
    if (monthChanged && remote_) {
        marks_ = DayMarks{};
        view_.DayMarksChanged();
    }
    for (int w = 0; w < kPlaybackWindows; ++w) {
        if (windows_[static_cast<size_t>(w)].channelId < 0) continue;
        StopPlaying(w);
        view_.RepaintWindow(w, true);
        SearchWindow(w, true);
    }
    if (!remote_) RefreshMarks();
    view_.TimelineChanged();
}

void PlaybackController::ShowMonth(int year, int month) {
    if (remote_ || (year == date_.year && month == date_.month)) return;
    date_ = Date{year, month, std::min(date_.day, 28)};
    RefreshMarks();
}

void PlaybackController::RefreshMarks() {
    const uint64_t generation = modeGeneration_;
    const int year = date_.year, month = date_.month;
    auto drivesFn = services_.drives;
    Schedule(kMsgRemoteOpened, [this, generation, year, month, drivesFn](const std::atomic<bool>&) {
        DayMarks marks = LocalDayMarks(drivesFn(), year, month);
        return std::function<void()>([this, generation, year, month, marks] {
            if (generation != modeGeneration_ || remote_ || year != date_.year || month != date_.month) return;
            marks_ = marks;
            view_.DayMarksChanged();
        });
    });
}

void PlaybackController::SetTypeFilter(int filter) {
    if (filter < 0 || filter >= kTypeFilterCount || filter == typeFilter_) return;
    typeFilter_ = filter;
    for (int w = 0; w < kPlaybackWindows; ++w)
        if (windows_[static_cast<size_t>(w)].channelId >= 0) SearchWindow(w, false);
}

// ---------------------------------------------------------------- searches

void PlaybackController::SearchWindow(int w, bool thenPlay) {
    Window& win = windows_[static_cast<size_t>(w)];
    const DeviceInfo* dev = DeviceOfWindow(w);
    if (!dev) {
        win.list.clear();
        return;
    }
    const uint64_t generation = win.generation;
    const uint64_t mode = modeGeneration_;
    const Date date = date_;
    const int filter = typeFilter_;
    const int channelId = win.channelId;
    if (!remote_) {
        const std::string folder = ChannelFolder(w);
        auto drivesFn = services_.drives;
        Schedule(kMsgRemoteSearchDone, [=, this](const std::atomic<bool>&) {
            std::vector<DriveDir> drives = drivesFn();
            RecordList list;
            SearchLocalDay(drives, date, folder, filter, &list);
            return std::function<void()>([=, this, list = std::move(list), drives = std::move(drives)]() mutable {
                Window& now = windows_[static_cast<size_t>(w)];
                if (mode != modeGeneration_ || now.generation != generation || !(date == date_)) return;
                drives_ = std::move(drives);
                ApplyList(w, std::move(list), thenPlay);
            });
        });
        return;
    }
    const int login = LoginOf(w);
    if (login == 0) {
        Trace("remote search of window %d: the device is not logged in\n", w);
        return;
    }
    if (searchesRunning_++ == 0) view_.SetSearching(true);
    RemoteRecordings& remote = services_.remote;
    const int lead = options_.searchLeadMs, tail = options_.searchTailMs;
    Schedule(kMsgRemoteSearchDone, [=, this, &remote](const std::atomic<bool>& stopping) {
        Rest(lead, stopping);
        RemoteSearchResult result = remote.Search(login, ChannelIndexOf(channelId), filter, date, stopping);
        Rest(tail, stopping);
        return std::function<void()>([=, this, result = std::move(result)]() mutable {
            if (--searchesRunning_ == 0) view_.SetSearching(false);
            if (mode != modeGeneration_) return;
            remoteLists_[channelId] = std::move(result.list);
            if (result.marksRead && date.year == date_.year && date.month == date_.month) {
                marks_ = result.marks;
                view_.DayMarksChanged();
            }
            Window& now = windows_[static_cast<size_t>(w)];
            if (now.generation != generation || now.channelId != channelId || !(date == date_)) return;
            ApplyList(w, remoteLists_[channelId], thenPlay);
        });
    });
}

void PlaybackController::ApplyList(int w, RecordList list, bool thenPlay) {
    Window& win = windows_[static_cast<size_t>(w)];
    int playingStart = -1;
    uint16_t playingType = 0;
    if (win.current >= 0 && win.current < static_cast<int>(win.list.size())) {
        playingStart = win.list[static_cast<size_t>(win.current)].StartSecond();
        playingType = win.list[static_cast<size_t>(win.current)].type;
    }
    win.list = std::move(list);
    view_.SetWindowTitle(w, TitleOf(w));
    if (thenPlay) {
        win.next = 0;
        win.current = -1;
        PlayFromList(w);
    } else if (playingStart >= 0) {
        // The same recording keeps playing; the list goes on after it.
        win.current = -1;
        win.next = win.list.size();
        for (size_t i = 0; i < win.list.size(); ++i) {
            const RecordEntry& e = win.list[i];
            if (win.current < 0 && e.StartSecond() == playingStart && e.type == playingType)
                win.current = static_cast<int>(i);
            if (e.StartSecond() > playingStart) {
                win.next = i;
                break;
            }
        }
    } else {
        win.next = 0;
    }
    view_.TimelineChanged();
}

// ---------------------------------------------------------------- players

bool PlaybackController::EnsurePort(int w) {
    Window& win = windows_[static_cast<size_t>(w)];
    if (win.port != 0) return true;
    const int port = services_.players.CreatePort(w, view_.SurfaceOf(w));
    if (port <= 0) return false;
    win.port = port;
    return true;
}

void PlaybackController::ReleasePort(int w) {
    Window& win = windows_[static_cast<size_t>(w)];
    if (win.port == 0) return;
    services_.players.DestroyPort(win.port);
    win.port = 0;
}

void PlaybackController::StopPlaying(int w) {
    Window& win = windows_[static_cast<size_t>(w)];
    if (win.port != 0) {
        services_.players.Stop(win.port);
        services_.players.CloseFile(win.port);
    }
    if (win.remoteHandle != 0) {
        services_.players.ReleaseAdopted(win.remotePort);
        services_.remote.Stop(win.remoteHandle);
        win.remoteHandle = 0;
        win.remotePort = 0;
    }
    win.playing = false;
    win.current = -1;
    ++win.generation;
}

bool PlaybackController::OpenLocal(int w, int entry, int percent) {
    Window& win = windows_[static_cast<size_t>(w)];
    const std::string path = LocalRecordingPath(drives_, date_, ChannelFolder(w), win.list[static_cast<size_t>(entry)]);
    if (path.empty() || !EnsurePort(w)) return false;
    if (services_.players.OpenFile(win.port, path, percent) != 0) {
        // The library said why; the port goes back to the pool until the next file.
        ReleasePort(w);
        win.playing = false;
        return false;
    }
    services_.players.Play(win.port);
    services_.players.SetRate(win.port, win.speed);
    if (win.sound) services_.players.OpenSound(win.port);
    win.current = entry;
    win.playing = true;
    return true;
}

void PlaybackController::OpenRemote(int w, int entry, int percent) {
    Window& win = windows_[static_cast<size_t>(w)];
    const int login = LoginOf(w);
    if (login == 0) {
        view_.SetWindowPaused(w, true);
        return;
    }
    const RecordEntry e = win.list[static_cast<size_t>(entry)];
    const uint64_t generation = win.generation;
    const int channel = ChannelIndexOf(win.channelId);
    RemoteRecordings& remote = services_.remote;
    Schedule(kMsgRemoteOpened, [=, this, &remote](const std::atomic<bool>&) {
        int handle = 0, port = 0;
        const int rc = remote.Open(login, channel, e.remoteName, &handle, &port);
        return std::function<void()>([=, this, &remote] {
            Window& now = windows_[static_cast<size_t>(w)];
            if (now.generation != generation || !remote_) {
                if (rc == 0) remote.Stop(handle);  // the window moved on meanwhile
                return;
            }
            if (rc != 0 || services_.players.AdoptPort(w, port, view_.SurfaceOf(w)) != 0) {
                if (rc == 0) remote.Stop(handle);
                PlayFromList(w);  // skipped for the next one
                return;
            }
            now.remoteHandle = handle;
            now.remotePort = port;
            if (percent > 0 && percent < 100) remote.SetPosition(handle, percent);
            services_.players.Play(port);
            if (now.speed != 0) remote.SetSpeed(handle, now.speed);
            if (now.sound) services_.players.OpenSound(port);
            now.current = entry;
            now.playing = true;
            view_.SetWindowPaused(w, false);
        });
    });
}

void PlaybackController::PlayFromList(int w) {
    Window& win = windows_[static_cast<size_t>(w)];
    while (win.next < win.list.size()) {
        const int i = static_cast<int>(win.next++);
        const RecordEntry& e = win.list[static_cast<size_t>(i)];
        if (e.type > kRecordPlan || !e.Playable()) continue;
        if (remote_) {
            OpenRemote(w, i, 0);
            return;
        }
        if (OpenLocal(w, i, 0)) {
            view_.SetWindowPaused(w, false);
            return;
        }
    }
    // Nothing (more) to play: a window at the end of its day keeps its last picture.
    view_.SetWindowPaused(w, true);
    view_.RepaintWindow(w, false);
}

// ---------------------------------------------------------------- windows

void PlaybackController::DropChannel(int device, int channel, int window) {
    if (!ValidWindow(window)) return;
    const DeviceInfo* dev = device >= 0 && device < kMaxDevices ? services_.directory.Device(device) : nullptr;
    if (!IsValidChannelOf(dev, channel)) return;
    if (!view_.HasRight(kRightPlayback)) return;
    const int id = ChannelIdOf(device, channel);
    for (int w = 0; w < kPlaybackWindows; ++w) {
        if (w != window && windows_[static_cast<size_t>(w)].channelId == id) {
            view_.ShowNotice("Playback channel has been opened");
            return;
        }
    }
    Window& win = windows_[static_cast<size_t>(window)];
    if (win.channelId == id && !remote_) {
        StopPlaying(window);
        win.next = 0;
        PlayFromList(window);
        return;
    }
    if (win.channelId != id) {
        CloseOne(window);
        win.channelId = id;
        win.speed = 0;
        view_.SetWindowTitle(window, TitleOf(window));
    } else {
        StopPlaying(window);
    }
    SearchWindow(window, true);
}

void PlaybackController::CloseOne(int w) {
    StopPlaying(w);
    ReleasePort(w);
    Window& win = windows_[static_cast<size_t>(w)];
    const uint64_t generation = win.generation + 1;
    win = Window{};
    win.generation = generation;
    if (clip_.row == w) clip_ = ClipRange{};
    view_.RepaintWindow(w, true);
    view_.SetWindowTitle(w, "");
    view_.SetWindowPaused(w, true);
    view_.TimelineChanged();
}

void PlaybackController::Close(int window) {
    const int w = Resolve(window);
    if (ValidWindow(w)) CloseOne(w);
}

void PlaybackController::Play(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (win.channelId < 0) continue;
        if (PlayState(w) == QVXPLAY_STATE_PAUSED) {
            if (win.remoteHandle != 0) services_.remote.Resume(win.remoteHandle);
            services_.players.Play(ActivePort(w));
            view_.SetWindowPaused(w, false);
        } else if (!win.playing) {
            PlayFromList(w);
        } else {
            view_.SetWindowPaused(w, false);
        }
    }
}

void PlaybackController::Pause(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (win.channelId < 0) continue;
        if (PlayState(w) == QVXPLAY_STATE_PLAYING) {
            if (win.remoteHandle != 0) services_.remote.Pause(win.remoteHandle);
            services_.players.Pause(ActivePort(w));
        }
        view_.SetWindowPaused(w, true);
    }
}

void PlaybackController::TogglePlay(int window) {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return;
    if (PlayState(w) == QVXPLAY_STATE_PLAYING) Pause(w);
    else Play(w);
}

void PlaybackController::Stop(int window) {
    for (int w : Targets(window)) {
        if (windows_[static_cast<size_t>(w)].channelId < 0) continue;
        StopPlaying(w);
        view_.RepaintWindow(w, true);
        view_.SetWindowPaused(w, true);
    }
}

void PlaybackController::ApplySpeed(int w) {
    Window& win = windows_[static_cast<size_t>(w)];
    if (win.remoteHandle != 0) services_.remote.SetSpeed(win.remoteHandle, win.speed);
    else if (win.port != 0) services_.players.SetRate(win.port, win.speed);
}

void PlaybackController::Slow(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (!win.playing) continue;
        win.speed = std::max(QVXPLAY_SPEED_SLOWEST, win.speed - 1);
        ApplySpeed(w);
    }
}

void PlaybackController::Fast(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (!win.playing) continue;
        win.speed = std::min(QVXPLAY_SPEED_FASTEST, win.speed + 1);
        ApplySpeed(w);
    }
}

void PlaybackController::Normal(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (!win.playing) continue;
        win.speed = QVXPLAY_SPEED_NORMAL;
        ApplySpeed(w);
    }
}

void PlaybackController::Frame(int window) {
    for (int w : Targets(window)) {
        Window& win = windows_[static_cast<size_t>(w)];
        // Stepping needs a file: a device's playback arrives as a stream.
        if (!win.playing || win.port == 0) continue;
        if (PlayState(w) == QVXPLAY_STATE_PLAYING) services_.players.Pause(win.port);
        services_.players.OneByOne(win.port);
        view_.SetWindowPaused(w, true);
    }
}

void PlaybackController::ToggleSound(int window) {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return;
    Window& win = windows_[static_cast<size_t>(w)];
    const int port = ActivePort(w);
    if (win.sound) {
        win.sound = false;
        if (port != 0) services_.players.CloseSound(port);
    } else {
        win.sound = true;
        if (port != 0) services_.players.OpenSound(port);
    }
}

void PlaybackController::ToggleDisplay(int window) {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return;
    const int port = ActivePort(w);
    if (port == 0) return;
    const int mode = services_.players.DisplayMode(port) == QVXPLAY_DISPLAY_STRETCH ? QVXPLAY_DISPLAY_KEEP
                                                                                   : QVXPLAY_DISPLAY_STRETCH;
    services_.players.SetDisplayMode(port, mode);
    if (PlayState(w) != QVXPLAY_STATE_PLAYING) services_.players.ShowFrame(port);
}

int PlaybackController::Capture(int window) {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return -1;
    const int state = PlayState(w);
    if (state == QVXPLAY_STATE_NONE || state == QVXPLAY_STATE_STOPPED) return -1;
    const DeviceInfo* dev = DeviceOfWindow(w);
    if (!dev || !services_.settings) return -1;
    if (!view_.HasRight(kRightCapture)) return -1;
    SystemSettings settings = services_.settings();
    PortGrabber grabber(services_.players, ActivePort(w));
    const int id = windows_[static_cast<size_t>(w)].channelId;
    std::string path;
    const int rc = backup::CapturePlayback(settings, dev->host, dev->port, ChannelIndexOf(id) + 1, grabber, &path);
    if (rc != 0) {
        Trace("playback capture of window %d: not written (%d)\n", w, rc);
        return -1;
    }
    if (services_.log) {
        const std::string user = view_.OperatorName();
        services_.log->LogWrite(kLogOperate, kLogPlaybackCapture, DeviceIndexOf(id), ChannelIndexOf(id), "",
                                user.c_str());
    }
    return 0;
}

void PlaybackController::Jump(int window, int seconds) {
    const int w = Resolve(window);
    if (!ValidWindow(w)) return;
    if (seconds > 0 && PlayState(w) == QVXPLAY_STATE_PAUSED && windows_[static_cast<size_t>(w)].port != 0) {
        Frame(w);
        return;
    }
    const int now = CurrentSecond(w);
    if (now < 0) return;
    const int target = std::clamp(now + seconds, 0, kSecondsPerDay - 1);
    for (int k : Targets(w)) SeekOne(k, target);
}

// ---------------------------------------------------------------- time line

void PlaybackController::TimelineClick(int window, int second) {
    if (!ValidWindow(window) || second < 0 || second > kSecondsPerDay) return;
    if (clipMode_) {
        ClipClick(&clip_, window, second, windows_[static_cast<size_t>(window)].channelId >= 0);
        view_.TimelineChanged();
        return;
    }
    for (int w : Targets(window)) SeekOne(w, second);
    timeline_.SetCursor(second);
    view_.TimelineChanged();
}

void PlaybackController::SeekWindow(int window, int second) {
    if (!ValidWindow(window) || second < 0 || second > kSecondsPerDay) return;
    SeekOne(window, second);
}

void PlaybackController::SeekOne(int w, int second) {
    Window& win = windows_[static_cast<size_t>(w)];
    if (!remote_ && !EnsurePort(w)) return;
    StopPlaying(w);
    int i = FirstEndingAfter(win.list, second);
    if (remote_) {
        if (i >= 0) {
            win.next = static_cast<size_t>(i) + 1;
            OpenRemote(w, i, SeekPercent(win.list[static_cast<size_t>(i)], second));
            return;
        }
    } else {
        while (i >= 0) {
            if (OpenLocal(w, i, SeekPercent(win.list[static_cast<size_t>(i)], second))) {
                win.next = static_cast<size_t>(i) + 1;
                view_.SetWindowPaused(w, false);
                return;
            }
            i = FirstEndingAfter(win.list, second, static_cast<size_t>(i) + 1);
        }
    }
    view_.RepaintWindow(w, true);
    view_.SetWindowPaused(w, true);
}

void PlaybackController::SetClipMode(bool on) {
    clipMode_ = on;
    view_.TimelineChanged();
}

bool PlaybackController::PreviewTarget(int window, int second, std::string* path, int* percent) const {
    if (remote_ || !ValidWindow(window) || second < 0 || second > kSecondsPerDay) return false;
    const Window& win = windows_[static_cast<size_t>(window)];
    const int i = EntryCovering(win.list, second);
    if (i < 0) return false;
    const RecordEntry& e = win.list[static_cast<size_t>(i)];
    std::string p = LocalRecordingPath(drives_, date_, ChannelFolder(window), e);
    if (p.empty()) return false;
    *path = std::move(p);
    *percent = SeekPercent(e, second);
    return true;
}

BackupRequest PlaybackController::MakeBackupRequest(bool download) const {
    BackupRequest r;
    r.date = date_;
    r.download = download;
    if (clip_.IsSet() && windows_[static_cast<size_t>(clip_.row)].channelId >= 0) {
        r.channelId = windows_[static_cast<size_t>(clip_.row)].channelId;
        r.startSecond = std::min(clip_.start, clip_.end);
        r.endSecond = std::max(clip_.start, clip_.end);
        return r;
    }
    const int w = view_.SelectedWindow();
    r.channelId = ValidWindow(w) ? windows_[static_cast<size_t>(w)].channelId : -1;
    return r;
}

// ---------------------------------------------------------------- messages

void PlaybackController::OnFileEnded(int window, int port) {
    if (!ValidWindow(window)) return;
    Window& win = windows_[static_cast<size_t>(window)];
    // An end reported by a port or file the window has left since is old news.
    if (port == 0 || win.port != port || !win.playing) return;
    PlayFromList(window);
}

void PlaybackController::Tick() {
    for (int w = 0; w < kPlaybackWindows; ++w) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (win.remoteHandle == 0) continue;
        if (services_.remote.Finished(win.remoteHandle) == 0) continue;
        // The device sent the whole file (or gave up): go on with the next one.
        StopPlaying(w);
        PlayFromList(w);
    }
    const int selected = view_.SelectedWindow();
    const int t = CurrentSecond(selected);
    if (t >= 0) {
        const int previous = timeline_.cursor();
        const int first = timeline_.viewStart() * 60;
        const bool wasVisible = previous >= first && previous < first + timeline_.visibleMinutes() * 60;
        timeline_.SetCursor(t);
        if (wasVisible) timeline_.Reveal(t);
        if (t != previous) view_.TimelineChanged();
    }
    if (sync_) SyncWindows();
}

void PlaybackController::SyncWindows() {
    const int selected = view_.SelectedWindow();
    const int t = CurrentSecond(selected);
    if (t < 0 || PlayState(selected) != QVXPLAY_STATE_PLAYING) return;
    const int64_t now = NowMs();
    for (int w = 0; w < kPlaybackWindows; ++w) {
        Window& win = windows_[static_cast<size_t>(w)];
        if (w == selected || win.channelId < 0) continue;
        if (EntryCovering(win.list, t) < 0) continue;
        const int mine = CurrentSecond(w);
        if (mine >= 0 && std::abs(mine - t) <= options_.syncToleranceSeconds) continue;
        // A seek takes a moment to show its first picture: one correction per two seconds.
        if (now - lastSyncMs_[static_cast<size_t>(w)] < 2000) continue;
        lastSyncMs_[static_cast<size_t>(w)] = now;
        win.speed = windows_[static_cast<size_t>(selected)].speed;
        SeekOne(w, t);
    }
}

// ---------------------------------------------------------------- zoom

void PlaybackController::SetZoomMode(bool on) {
    zoomMode_ = on;
    zoom_.Disarm();
    if (on) return;
    for (int w = 0; w < kPlaybackWindows; ++w) {
        const int port = ActivePort(w);
        if (port == 0) continue;
        services_.players.SetDisplayRegion(port, nullptr);
        if (PlayState(w) != QVXPLAY_STATE_PLAYING) services_.players.ShowFrame(port);
    }
}

void PlaybackController::ZoomPress(int window, int x, int y) {
    if (zoomMode_ && window == view_.SelectedWindow()) zoom_.Arm(window, x, y);
}

void PlaybackController::ZoomMove(int window, int x, int y) {
    if (zoomMode_) zoom_.Move(window, x, y);
}

void PlaybackController::ZoomRelease(int window, int x, int y) {
    if (!zoomMode_) return;
    const bool armed = zoom_.ArmedCell() == window;
    int px = 0, py = 0;
    zoom_.Press(&px, &py);
    zoom_.Disarm();
    if (!ValidWindow(window)) return;
    const int port = ActivePort(window);
    if (port == 0) return;
    QVXPlayRect region{};
    // The drag is in window points; the player's region is in picture pixels.
    if (armed && IsZoomDrag(px, py, x, y) && ZoomRectInPicture(px, py, x, y, zoom_.LastGeometry(window), &region))
        services_.players.SetDisplayRegion(port, &region);
    else
        services_.players.SetDisplayRegion(port, nullptr);
    if (PlayState(window) != QVXPLAY_STATE_PLAYING) services_.players.ShowFrame(port);
}

}  // namespace ocv::playback
