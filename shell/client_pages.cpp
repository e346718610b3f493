#include "shell/client_pages.h"

#include <algorithm>

#include "liveview/realplay_dlg.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "setup/group_setup_page.h"
#include "setup/setup_home_page.h"
#include "setup/system_setup_page.h"
#include "setup/user_setup_page.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"

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
             return new UIRealPlayDlg(
                 LiveViewPageServices{c.connections, c.players, c.directory, c.events, c.dayCounters, connect}, parent,
                 UIRealPlayDlg::Options{c.startWorkers});
         }},
        // Any operator may open it to change their own password; what each may do there is
        // checked on every operation.
        {"userSetup", "User Config", -1, 7, {kMsgToolMenu, 2, "menu_userSetup.png"}, true,
         [](PageContext& c, QWidget* parent) -> Page* { return new UIUserSetupDlg(c.store, c.log, parent); }},
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
