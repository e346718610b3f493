#include "monitor/alarm_video_wnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/trace.h"
#include "device/channel_directory.h"
#include "device/player_cells.h"
#include "liveview/channel_text.h"
#include "videogrid/qt_video_surface.h"
#include "widgets/skin_image.h"
#include "ui_UIAlarmVideoWnd.h"

namespace ocv {

UIAlarmVideoWnd::UIAlarmVideoWnd(PopupPlayers& players, const ChannelDirectory& directory, QWidget* parent)
    : QWidget(parent, Qt::Tool), players_(players), directory_(directory) {
    Ui::UIAlarmVideoWnd ui;
    ui.setupUi(this);
    setWindowTitle(Tr("Popup video"));
    QWidget* holders[kPanes] = {ui.video36, ui.video37, ui.video38};
    QLabel* names[kPanes] = {ui.name36, ui.name37, ui.name38};
    for (int p = 0; p < kPanes; ++p) {
        auto* layout = new QVBoxLayout(holders[p]);
        layout->setContentsMargins(0, 0, 0, 0);
        areas_[p] = new VideoPictureArea(0xFF313131, holders[p]);
        layout->addWidget(areas_[p]);
        names_[p] = names[p];
        names_[p]->setAlignment(Qt::AlignCenter);
    }
    ui.closeBtn->setText(Tr("Close"));
    connect(ui.closeBtn, &QPushButton::clicked, this, [this] { Close(); });
}

UIAlarmVideoWnd::~UIAlarmVideoWnd() {
    for (int p = 0; p < kPanes; ++p)
        if (created_[p]) players_.DestroyPlayer(kFirstSlot + p);
}

int UIAlarmVideoWnd::PaneChannel(int pane) const { return pane >= 0 && pane < kPanes ? channel_[pane] : -1; }

int UIAlarmVideoWnd::ChoosePane(int channelId) const {
    for (int p = 0; p < kPanes; ++p)
        if (channel_[p] == channelId) return p;
    for (int p = 0; p < kPanes; ++p)
        if (channel_[p] < 0) return p;
    int oldest = 0;
    for (int p = 1; p < kPanes; ++p)
        if (filledAt_[p] < filledAt_[oldest]) oldest = p;
    return oldest;
}

int UIAlarmVideoWnd::ShowChannel(int channelId) {
    if (!IsChannelId(channelId)) return -1;
    int pane = ChoosePane(channelId);
    int slot = kFirstSlot + pane;
    if (channel_[pane] != channelId) {
        if (!created_[pane]) {
            int rc = players_.CreatePopupPlayer(slot, areas_[pane]->Surface().Handle());
            if (rc != 0) {
                Trace("popup video of channel %d: no player for slot %d (%d)\n", channelId, slot, rc);
                return -1;
            }
            created_[pane] = true;
        }
        if (players_.AttachChannelMain(slot, channelId) != 0) {
            Trace("popup video of channel %d: slot %d cannot show it\n", channelId, slot);
            channel_[pane] = -1;
            names_[pane]->clear();
            areas_[pane]->ClearPicture();
            return -1;
        }
        channel_[pane] = channelId;
        filledAt_[pane] = ++fills_;
        areas_[pane]->ClearPicture();
        const DeviceInfo* device = directory_.Device(DeviceIndexOf(channelId));
        names_[pane]->setText(device ? QString::fromStdString(CellChannelLabel(*device, ChannelIndexOf(channelId)))
                                     : QString());
    }
    if (!placed_) {
        resize(sizeHint().expandedTo(QSize(960, 300)));
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        placed_ = true;
    }
    show();
    raise();
    return slot;
}

void UIAlarmVideoWnd::ReleasePanes() {
    for (int p = 0; p < kPanes; ++p) {
        if (channel_[p] < 0) continue;
        players_.DetachSlot(kFirstSlot + p);
        channel_[p] = -1;
        names_[p]->clear();
        areas_[p]->ClearPicture();
    }
}

void UIAlarmVideoWnd::Close() {
    ReleasePanes();
    hide();
}

void UIAlarmVideoWnd::closeEvent(QCloseEvent* event) {
    ReleasePanes();
    QWidget::closeEvent(event);
}

}  // namespace ocv
