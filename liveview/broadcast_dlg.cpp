#include "liveview/broadcast_dlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "device/channel_directory.h"
#include "liveview/broadcast.h"
#include "liveview/channel_text.h"
#include "store/relaxed.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/user_session.h"
#include "ui_UIBroadcastDlg.h"

namespace ocv {
namespace {
constexpr int kChannelRole = Qt::UserRole;
}

UIBroadcastDlg::UIBroadcastDlg(TalkControl& talk, const ChannelDirectory& directory, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::UIBroadcastDlg>()), talk_(talk), directory_(directory) {
    ui_->setupUi(this);
    setWindowTitle(Tr("Broadcast"));
    ui_->titleLabel->setText(Tr("Select the channels to broadcast to"));
    ui_->channelList->setHeaderLabels({Tr("Channel"), Tr("Address"), Tr("State")});
    ui_->channelList->header()->resizeSection(0, 200);
    connect(ui_->broadcastBtn, &QPushButton::clicked, this, [this] { Toggle(); });
    FillRows();
    ShowState();
}

UIBroadcastDlg::~UIBroadcastDlg() = default;

QTreeWidget* UIBroadcastDlg::channelList() const { return ui_->channelList; }
QPushButton* UIBroadcastDlg::broadcastButton() const { return ui_->broadcastBtn; }

void UIBroadcastDlg::FillRows() {
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo* dev = directory_.Device(d);
        if (dev == nullptr) continue;
        char host[kTextBytes];
        ReadTextRelaxed(dev->host, host);
        int count = std::min<int>(Relaxed(dev->channelCount), kMaxChannels);
        for (int c = 0; c < count; ++c) {
            if (Relaxed(dev->channels[c].id) <= 0) continue;
            auto* row = new QTreeWidgetItem(ui_->channelList);
            row->setText(0, QString::fromStdString(TreeChannelLabel(*dev, c, kDeviceOnline)));
            row->setText(1, QString("%1:%2").arg(host).arg(Relaxed(dev->port)));
            row->setData(0, kChannelRole, ChannelIdOf(d, c));
        }
    }
}

void UIBroadcastDlg::ShowState() {
    bool on = talk_.IsBroadcasting() == 0;
    ui_->broadcastBtn->setText(Tr(on ? "Stop Broadcast" : "Start Broadcast"));
    QString being = Tr("Being broadcast");
    for (int i = 0; i < ui_->channelList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ui_->channelList->topLevelItem(i);
        int id = row->data(0, kChannelRole).toInt();
        row->setText(2, on && talk_.IsTalking(id) && talk_.GetTalkChannel() != id ? being : QString());
    }
}

void UIBroadcastDlg::Toggle() {
    if (talk_.IsBroadcasting() == 0) {
        EndBroadcast(talk_);
        ui_->msgLabel->clear();
        ShowState();
        return;
    }
    if (!CheckRight(this, kRightTalk)) return;
    std::vector<int> chosen;
    for (QTreeWidgetItem* row : ui_->channelList->selectedItems()) chosen.push_back(row->data(0, kChannelRole).toInt());
    if (chosen.empty()) {
        ui_->msgLabel->setText(Tr("Please select the channels to broadcast to"));
        return;
    }
    std::vector<int> started;
    if (BeginBroadcast(talk_, chosen, &started) != 0) {
        ShowMessage(this, "Start Broadcast failed!", kMsgError);
        return;
    }
    ui_->msgLabel->setText(started.size() == chosen.size()
                               ? QString()
                               : Tr("Some channels could not be reached") +
                                     QString(" (%1/%2)").arg(started.size()).arg(chosen.size()));
    ShowState();
}

}  // namespace ocv
