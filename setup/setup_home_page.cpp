#include "setup/setup_home_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

#include "store/config_store.h"
#include "widgets/client_context.h"
#include "widgets/event_bridge.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UISetupDlg.h"

namespace ocv {
namespace {
constexpr int kTileColumns = 4;
constexpr int kTileIconSize = 48;
}  // namespace

UISetupDlg::UISetupDlg(const ConfigStore& store, EventBridge& events, std::vector<SetupHomeEntry> entries,
                       QWidget* parent)
    : QWidget(parent), store_(store), entries_(std::move(entries)) {
    Ui::UISetupDlg ui;
    ui.setupUi(this);
    ui.homeTitle->setText(Tr("Control"));
    summary_ = ui.summaryLabel;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const SetupHomeEntry& e = entries_[i];
        auto* tile = new QToolButton(ui.tileArea);
        tile->setObjectName(e.name.isEmpty() ? QString("tile%1").arg(i) : e.name + "Tile");
        tile->setText(Tr(e.title));
        tile->setIcon(SkinIcon(e.icon));
        tile->setIconSize(QSize(kTileIconSize, kTileIconSize));
        tile->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        tile->setMinimumSize(150, 100);
        const int message = e.menuMessage, item = e.item;
        // The main window opens it as from the menu, with the same right check.
        connect(tile, &QToolButton::clicked, this, [this, message, item] {
            PostWindowMessage(window(), message, item, 0);
        });
        ui.tileGrid->addWidget(tile, static_cast<int>(i) / kTileColumns, static_cast<int>(i) % kTileColumns);
        tiles_.push_back(tile);
    }
    events.Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent&) { Refresh(); });
    Refresh();
}

void UISetupDlg::Refresh() {
    const UserSession& session = CurrentSession();
    for (size_t i = 0; i < entries_.size(); ++i) {
        // Nobody logged in: a click offers the login first, so nothing is disabled.
        const bool allowed = entries_[i].right < 0 || !session.LoggedIn() || session.HasRight(entries_[i].right);
        tiles_[i]->setEnabled(allowed);
        tiles_[i]->setToolTip(allowed ? QString() : Tr("Insufficient permissions to operate!"));
    }
    int devices = 0, channels = 0;
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store_.device(d);
        if (dev.IsEmpty()) continue;
        ++devices;
        for (const ChannelInfo& c : dev.channels)
            if (c.id > 0) ++channels;
    }
    summary_->setText(Tr("Devices") + QString(": %1    ").arg(devices) + Tr("Channels") +
                      QString(": %1    ").arg(channels) + Tr("Groups") + QString(": %1").arg(store_.groups().size()));
}

QToolButton* UISetupDlg::Tile(const QString& title) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (Tr(entries_[i].title) == title) return tiles_[i];
    return nullptr;
}

}  // namespace ocv
