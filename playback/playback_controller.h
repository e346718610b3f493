#pragma once
// What the playback page does, free of Qt: local or remote mode, the chosen date and its day
// marks, the channel and recordings of each of the four windows, playing file after file,
// seeking from the time line, the transport of each window, sync of the windows to one time
// line, captures, digital zoom, the clip range and the hover preview's choice of picture.
// The Qt page feeds it gestures and worker messages and draws what it is told through
// PlaybackView. Everything here runs on the UI thread; device and disk waits run on the
// "pb-search" worker and come back as kMsgRemoteSearchDone / kMsgRemoteOpened.
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/channel_directory.h"
#include "playback/local_recordings.h"
#include "playback/playback_messages.h"
#include "playback/playback_players.h"
#include "playback/record_list.h"
#include "playback/remote_recordings.h"
#include "playback/task_worker.h"
#include "playback/timeline_model.h"
#include "store/records.h"
#include "videogrid/digital_zoom.h"

namespace ocv {
class LogWriter;
}

namespace ocv::playback {

constexpr int kPlaybackWindows = 4;
constexpr int kLogPlaybackCapture = 23;  // operation log subtype "Playback capture"
constexpr int kJumpSeconds = 10;         // arrow keys while playing

// What the controller asks of the page's windows.
class PlaybackView {
public:
    virtual ~PlaybackView() = default;
    virtual int SelectedWindow() const = 0;
    // The player handle of window w's video surface (a VideoSurface*).
    virtual void* SurfaceOf(int window) = 0;
    // "%s:%d-%d %s" of the window's channel; "" resets the title.
    virtual void SetWindowTitle(int window, const std::string& title) = 0;
    virtual void SetWindowPaused(int window, bool paused) = 0;
    // clear: the window shows no picture any more (stopped, closed, nothing found).
    virtual void RepaintWindow(int window, bool clear) = 0;
    // A message box with the English text (translated by the page).
    virtual void ShowNotice(const char* english) = 0;
    // "Searching, please wait ..." with the page disabled, and back.
    virtual void SetSearching(bool searching) = 0;
    virtual void TimelineChanged() = 0;
    virtual void DayMarksChanged() = 0;
    // The operator's permission; false makes the operation do nothing.
    virtual bool HasRight(int right) = 0;
    virtual std::string OperatorName() const = 0;
};

struct PlaybackServices {
    PlaybackPlayers& players;
    RemoteRecordings& remote;
    const ChannelDirectory& directory;
    DigitalZoom& zoom;  // shared with the players' overlay
    LogWriter* log = nullptr;                       // "Playback capture" entries
    std::function<SystemSettings()> settings;       // PHOTOPATH, PHOTOTYPE
    std::function<std::vector<DriveDir>()> drives;  // MappedDrives by default
};

struct PlaybackOptions {
    // Unit tests run the worker's jobs on the calling thread, delivered at once.
    bool inlineWorker = false;
    int searchLeadMs = 100;  // the remote search waits before and after asking the device
    int searchTailMs = 400;
    // A window that drifted this far from the selected one is brought back (sync).
    int syncToleranceSeconds = 3;
};

// What the backup window is opened with.
struct BackupRequest {
    int channelId = -1;
    Date date;
    int startSecond = 0;
    int endSecond = kSecondsPerDay - 1;
    bool download = false;
};

class PlaybackController {
public:
    PlaybackController(PlaybackServices services, PlaybackView& view, PostFn post, PlaybackOptions options = {});
    // Ends the worker, then closes every window.
    ~PlaybackController();
    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

    // ---- Mode, date, filter ----
    // Closes all windows, switches, goes back to today; local mode scans the month's marks.
    void SetMode(bool remote);
    bool remote() const { return remote_; }
    // A day of the calendar (1229): searches every window with a channel again and plays it
    // from its first recording; refreshes the month's marks.
    void ChooseDay(const Date& date);
    // The calendar shows another month: its marks (local mode).
    void ShowMonth(int year, int month);
    const Date& date() const { return date_; }
    const DayMarks& dayMarks() const { return marks_; }
    // typeCombo: 0 all, 1 manual, 2 alarm, 3 plan. The windows' lists are searched again.
    void SetTypeFilter(int filter);
    int typeFilter() const { return typeFilter_; }

    // ---- Windows ----
    // A channel dropped from the tree on window k.
    void DropChannel(int device, int channel, int window);
    int WindowChannel(int window) const;
    const RecordList& WindowList(int window) const;
    bool IsPlaying(int window) const;
    // The player's state (QVXPLAY_STATE_*, 0 without a player), sound and display mode.
    int PlayState(int window) const;
    bool SoundOn(int window) const;
    int DisplayMode(int window) const;
    int SpeedLevel(int window) const;
    int Port(int window) const;  // the player handle drawing the window (local or remote), 0 none
    // The second of the day the window shows now, -1 when it plays nothing.
    int CurrentSecond(int window) const;

    // ---- Transport; window -1 is the selected window; with sync on, every window ----
    void Play(int window);
    void Pause(int window);
    void TogglePlay(int window);
    void Stop(int window);
    void Close(int window);
    void Slow(int window);
    void Fast(int window);
    void Normal(int window);
    void Frame(int window);
    void ToggleSound(int window);
    void ToggleDisplay(int window);
    // 0, or -1 when nothing could be captured (not playing, no photo path, no picture).
    int Capture(int window);
    // The arrow keys: +/- kJumpSeconds from the window's time; right while paused steps a frame.
    void Jump(int window, int seconds);

    // ---- The time line ----
    // A click (1829): outside clip mode seeks window w (every window with sync on) to second t;
    // in clip mode edits the clip range.
    void TimelineClick(int window, int second);
    void SeekWindow(int window, int second);
    void SetClipMode(bool on);
    bool clipMode() const { return clipMode_; }
    void ClearClip() { clip_ = ClipRange{}; }
    const ClipRange& clip() const { return clip_; }
    void SetSync(bool on) { sync_ = on; }
    bool sync() const { return sync_; }
    // The hover preview's picture for window w at second t: the file and percentage, false
    // when no recording covers t (or in remote mode).
    bool PreviewTarget(int window, int second, std::string* path, int* percent) const;
    // The backup window's channel, date and span: the clip range when one is set, else the
    // selected window's whole day.
    BackupRequest MakeBackupRequest(bool download) const;

    // ---- Messages ----
    void OnFileEnded(int window, int port);           // kMsgFileEnded
    void OnWorkerResult(intptr_t ticket);             // kMsgRemoteSearchDone, kMsgRemoteOpened
    // Every 250 ms: remote files that ended, the windows' times under sync, the cursor.
    void Tick();

    // ---- Digital zoom (the zoom option and the cell's mouse) ----
    void SetZoomMode(bool on);
    bool zoomMode() const { return zoomMode_; }
    void ZoomPress(int window, int x, int y);
    void ZoomMove(int window, int x, int y);
    void ZoomRelease(int window, int x, int y);
    DigitalZoom& zoom() { return zoom_; }

    TimelineModel& timeline() { return timeline_; }
    const TimelineModel& timeline() const { return timeline_; }
    // Jobs waiting on the worker (tests).
    size_t PendingWork() const { return worker_.Pending(); }

private:
    struct Window {
        int channelId = -1;
        RecordList list;
        size_t next = 0;      // the next entry to play
        int current = -1;     // the entry playing
        int port = 0;         // local player
        int remoteHandle = 0; // remote playback and the port the library feeds
        int remotePort = 0;
        bool playing = false;
        int speed = 0;
        bool sound = false;
        uint64_t generation = 0;  // moves on whenever what the window plays changes
    };

    std::vector<int> Targets(int window) const;
    bool ValidWindow(int w) const { return w >= 0 && w < kPlaybackWindows; }
    int Resolve(int window) const;
    const DeviceInfo* DeviceOfWindow(int w) const;
    std::string ChannelFolder(int w) const;
    std::string TitleOf(int w) const;
    int LoginOf(int w) const;
    int ActivePort(int w) const;

    // Worker jobs: work runs on the worker and returns what the UI thread then does.
    using Work = std::function<std::function<void()>(const std::atomic<bool>& stopping)>;
    void Schedule(int message, Work work);
    void SearchWindow(int w, bool thenPlay);
    void ApplyList(int w, RecordList list, bool thenPlay);
    void RefreshMarks();

    bool EnsurePort(int w);
    void ReleasePort(int w);
    void StopPlaying(int w);
    bool OpenLocal(int w, int entry, int percent);
    void OpenRemote(int w, int entry, int percent);
    void PlayFromList(int w);
    void SeekOne(int w, int second);
    void CloseOne(int w);
    void ApplySpeed(int w);
    void SyncWindows();

    PlaybackServices services_;
    PlaybackView& view_;
    PostFn post_;
    PlaybackOptions options_;
    std::array<Window, kPlaybackWindows> windows_{};
    std::vector<DriveDir> drives_;
    bool remote_ = false;
    Date date_;
    DayMarks marks_{};
    int typeFilter_ = kTypeAll;
    bool clipMode_ = false;
    ClipRange clip_;
    bool sync_ = false;
    bool zoomMode_ = false;
    DigitalZoom& zoom_;
    TimelineModel timeline_;
    // Remote search results per channel id; a new search of a channel replaces its list.
    std::map<int, RecordList> remoteLists_;
    uint64_t modeGeneration_ = 0;
    int searchesRunning_ = 0;
    std::array<int64_t, kPlaybackWindows> lastSyncMs_{};
    int64_t tickMs_ = 0;

    std::mutex mailboxMutex_;
    std::map<intptr_t, std::function<void()>> mailbox_;
    intptr_t nextTicket_ = 1;
    TaskWorker worker_{"pb-search"};  // last: stopped first
};

}  // namespace ocv::playback
