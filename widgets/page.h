#pragma once
// A page of the main window (a tab: live view, playback, the setup pages, ...), and what the
// client hands a page when it creates it. A page is one class and one entry in the client's page
// list (shell/client_pages.cpp); the main window knows pages only through this interface.
#include <QString>
#include <functional>
#include <utility>

class QWidget;

namespace ocv {

class AlarmEngine;
class ChannelActions;
class ChannelConnections;
class ChannelDirectory;
class ConfigStore;
class DeviceConfiguration;
class EventBridge;
class LogWriter;
class PlayerCells;
class PtzControl;
class RecordingControl;
class TalkControl;
class TemperatureQueries;

// The alarm sounds as the settings page works with them: play a kind's sound once (0 motion,
// 1 input, 2 video loss, 4 temperature, any other value disk full) and set how many times the
// temperature sound plays.
struct AlarmSoundControls {
    std::function<void(int kind)> test;
    std::function<void(int plays)> setTemperatureRepeat;
};

// The services a page may hold. Each page keeps only those it needs; none reaches another
// through them.
struct PageContext {
    ConfigStore& store;  // stored configuration: read, and changed through its operations
    LogWriter& log;      // the operation log
    ChannelConnections& connections;
    PlayerCells& players;
    RecordingControl& recording;
    TemperatureQueries& temperature;
    DeviceConfiguration& deviceConfig;
    const ChannelDirectory& directory;
    EventBridge& events;
    TalkControl& talk;               // two-way talk and broadcast
    PtzControl& ptz;                 // pan, tilt, zoom and presets (never on the UI thread)
    ChannelActions& channelActions;  // cell snapshots, disconnect, check time
    // Today's body-temperature readings and abnormal ones.
    std::function<std::pair<int, int>()> dayCounters;
    bool startWorkers = true;  // tests open pages without their background threads
    AlarmSoundControls sounds;
};

class Page {
public:
    virtual ~Page() = default;
    // The page's window (the main window puts it into its tab and deletes it with the tab).
    virtual QWidget* Widget() = 0;
    // The page came to the front, or another tab (or the lock) hides it.
    virtual void OnShown() {}
    virtual void OnHidden() {}
    // Another operator logged in, or nobody is logged in any more: what the page offers may
    // change (every operation checks the right again anyway).
    virtual void OnUserChanged() {}
};

// Where a page is offered in the main window's menus.
struct PageMenuEntry {
    int menuMessage = 0;         // kMsgViewMenu, kMsgToolMenu, ...; 0 for none
    int item = 0;                // the item number the menu posts
    const char* icon = nullptr;  // skin image, or none
};

struct PageInfo {
    QString name;        // the tab's object name prefix: "realPlay", "userSetup", ...
    const char* title;   // English; translated when shown
    // The permission bit that gates opening it, -1 when any operator may (nobody logged in
    // first logs in).
    int right = -1;
    int toolbarIndex = 0;  // the page's index in config.ini's TOOLBAR block (1..9), 0 none
    PageMenuEntry menu;
    // The page shows or changes accounts: it closes at logout and lock, so nobody finds it open
    // with the rights of whoever left.
    bool closesWithSession = false;
    // Makes the page; its widget is a child of parent, which owns it.
    std::function<Page*(PageContext& context, QWidget* parent)> create;
};

}  // namespace ocv
