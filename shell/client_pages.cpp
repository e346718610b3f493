#include "shell/client_pages.h"

#include <algorithm>

#include "emap/emap_dlg.h"
#include "liveview/broadcast_dlg.h"
#include "liveview/realplay_dlg.h"
#include "monitor/logs_info_dlg.h"
#include "platform/app_dir.h"
#include "playback/playback_dlg.h"
#include "shell/main_dlg.h"
#include "shell/window_config.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "setup/device_config_page.h"
#include "setup/device_setup_page.h"
#include "setup/group_setup_page.h"
#include "setup/setup_home_page.h"
#include "setup/system_setup_page.h"
#include "setup/user_setup_page.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"

#include <QPointer>

namespace ocv {

namespace {

// The tiles of the setup home: every other page with a menu entry (setup pages first, then the
// views), and the snapshot viewer.
std::vector<SetupHomeEntry> SetupHomeEntries() {
    std::vector<SetupHomeEntry> entries;
    for (int menu : {kMsgToolMenu, kMsgSystemMenu, kMsgViewMenu}) {
        std::vector<SetupHomeEntry> ofMenu;
        for (const PageInfo& p : ClientPages())
            if (p.name != "setup" && p.menu.menuMessage == menu)
                ofMenu.push_back({p.name, p.title, p.menu.icon, p.right, p.menu.menuMessage, p.menu.item});
        std::sort(ofMenu.begin(), ofMenu.end(), [](const auto& a, const auto& b) { return a.item < b.item; });
        entries.insert(entries.end(), ofMenu.begin(), ofMenu.end());
    }
    entries.push_back({QString(), "Open capture file", "menu_snap.png", -1, kMsgFileMenu, 0});
    return entries;
}

}  // namespace

const std::vector<PageInfo>& ClientPages() {
    static const std::vector<PageInfo> pages = {
        // The home of the setup pages: any operator, each tile checks its own right.
        {"setup", "Control", -1, 0, {kMsgViewMenu, 8, "menu_setup.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UISetupDlg(c.store, c.events, SetupHomeEntries(), parent);
         }},
        {"realPlay", "Live view", kRightLiveView, 1, {kMsgViewMenu, 9, "menu_realPlay.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             bool connect = Relaxed(c.store.settings().CONNECT) == 1;
             // "Camera Settings" of a cell: the main window opens that page (checking its
             // right) and the page shows the cell's channel.
             QPointer<QWidget> holder(parent);
             auto openCameraSettings = [holder](int channelId) {
                 auto* main = holder ? qobject_cast<MainDlg*>(holder->window()) : nullptr;
                 if (main == nullptr) return;
                 main->OpenPage("deviceConfig");
                 if (auto* settings = dynamic_cast<UIDeviceConfigDlg*>(main->FindPage("deviceConfig")))
                     settings->SelectChannel(channelId);
             };
             return new UIRealPlayDlg(
                 LiveViewPageServices{c.connections, c.players, c.directory, c.events, c.store, c.log, c.recording,
                                      c.talk, c.ptz, c.channelActions, c.deviceConfig, c.temperature, c.dayCounters,
                                      connect, openCameraSettings},
                 parent,
                 UIRealPlayDlg::Options{c.startWorkers});
         }},
        {"playback", "Playback", kRightPlayback, 3, {kMsgViewMenu, 11, "menu_playback.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new playback::UIPlaybackDlg(
                 playback::PlaybackPageServices{c.store, c.log, c.directory, c.events,
                                                LoadDrawMethod(AppPath("config.ini"))},
                 parent,
                 playback::UIPlaybackDlg::Options{c.startWorkers});
         }},
        {"deviceSetup", "Device Config", kRightDeviceConfig, 4, {kMsgToolMenu, 1, "menu_deviceSetup.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UIDeviceSetupDlg(c.store, c.connections, c.log, &c.events, parent);
         }},
        {"deviceConfig", "Camera Settings", kRightCameraSettings, 6, {kMsgToolMenu, 3, "menu_deviceConfig.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UIDeviceConfigDlg(c.store, c.deviceConfig, &c.events, parent);
         }},
        {"broadcast", "Broadcast", kRightTalk, 0, {kMsgToolMenu, 4, "menu_broacast.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* { return new UIBroadcastDlg(c.talk, c.directory, parent); }},
        // Any operator may open it to change their own password; what each may do there is
        // checked on every operation.
        {"userSetup", "User Config", -1, 7, {kMsgToolMenu, 2, "menu_userSetup.png"}, true,
         [](PageContext& c, QWidget* parent) -> Page* { return new UIUserSetupDlg(c.store, c.log, parent); }},
        // A camera's item opens its video in the live view: the map asks the main window for
        // that page (opening it when needed, with its own right checked) and has it show the
        // channel as a double-click in its tree would.
        {"emap", "Map", kRightMap, 2, {kMsgViewMenu, 10, "menu_emap.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             QPointer<QWidget> holder(parent);
             auto openLive = [holder](int device, int channel) {
                 auto* main = holder ? qobject_cast<MainDlg*>(holder->window()) : nullptr;
                 if (main == nullptr) return -1;
                 main->OpenPage("realPlay");
                 auto* live = dynamic_cast<UIRealPlayDlg*>(main->FindPage("realPlay"));
                 return live && live->controller().OpenFromTree(device, channel) >= 0 ? 0 : -1;
             };
             return new UIEmapDlg(c.store, c.log, c.directory, c.events, openLive, parent);
         }},
        // After the device tools: the Tool menu's items 0..4 are taken.
        {"logsInfo", "Logs", -1, 8, {kMsgToolMenu, 5, "menu_logs.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UILogsInfoDlg(c.store, c.log, c.directory, parent, UILogsInfoDlg::Options{c.startWorkers});
         }},
        {"loadDevice", "Load Device", kRightLoadDevice, 5, {kMsgToolMenu, 0, "menu_loadDevice.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UIGroupSetupDlg(c.store, c.log, c.events, parent);
         }},
        {"systemSetup", "System Settings", kRightSystemSettings, 0, {kMsgSystemMenu, 2, "menu_system.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             return new UISystemSetupDlg(c.store, c.log, c.events, c.sounds, parent);
         }},
    };
    return pages;
}

const PageInfo* FindClientPage(const QString& name) {
    for (const PageInfo& p : ClientPages())
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace ocv
