#include "shell/client_pages.h"

#include "liveview/broadcast_dlg.h"
#include "liveview/realplay_dlg.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "setup/user_setup_page.h"
#include "widgets/window_message.h"

namespace ocv {

const std::vector<PageInfo>& ClientPages() {
    static const std::vector<PageInfo> pages = {
        {"realPlay", "Live view", kRightLiveView, 1, {kMsgViewMenu, 9, "menu_realPlay.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* {
             bool connect = Relaxed(c.store.settings().CONNECT) == 1;
             return new UIRealPlayDlg(
                 LiveViewPageServices{c.connections, c.players, c.directory, c.events, c.store, c.log, c.recording,
                                      c.talk, c.ptz, c.channelActions, c.deviceConfig, c.temperature, c.dayCounters,
                                      connect, {}},
                 parent,
                 UIRealPlayDlg::Options{c.startWorkers});
         }},
        {"broadcast", "Broadcast", kRightTalk, 0, {kMsgToolMenu, 4, "menu_broacast.png"}, false,
         [](PageContext& c, QWidget* parent) -> Page* { return new UIBroadcastDlg(c.talk, c.directory, parent); }},
        // Any operator may open it to change their own password; what each may do there is
        // checked on every operation.
        {"userSetup", "User Config", -1, 7, {kMsgToolMenu, 2, "menu_userSetup.png"}, true,
         [](PageContext& c, QWidget* parent) -> Page* { return new UIUserSetupDlg(c.store, c.log, parent); }},
    };
    return pages;
}

const PageInfo* FindClientPage(const QString& name) {
    for (const PageInfo& p : ClientPages())
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace ocv
