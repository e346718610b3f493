#include "setup/group_setup_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <set>

#include "events/log_record.h"
#include "events/log_writer.h"
#include "liveview/channel_text.h"
#include "setup/group_rules.h"
#include "store/config_store.h"
#include "store/text_field.h"
#include "widgets/client_context.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "ui_UIGroupSetupDlg.h"

namespace ocv {
namespace {

constexpr int kLogAddGroup = 19;
constexpr int kLogModifyGroup = 20;
constexpr int kLogDeleteGroup = 21;

// What a tree item stands for.
enum ItemKind { kDeviceItem, kChannelItem, kGroupItem, kMemberItem };
constexpr int kKindRole = Qt::UserRole;
constexpr int kDeviceRole = Qt::UserRole + 1;
constexpr int kChannelRole = Qt::UserRole + 2;
constexpr int kGroupRole = Qt::UserRole + 3;

int KindOf(const QTreeWidgetItem* item) { return item->data(0, kKindRole).toInt(); }

std::pair<int, int> ChannelOf(const QTreeWidgetItem* item) {
    return {item->data(0, kDeviceRole).toInt(), item->data(0, kChannelRole).toInt()};
}

QString DeviceText(const DeviceInfo& dev) {
    QString name = QString::fromUtf8(FieldText(dev.name).data(), static_cast<qsizetype>(FieldText(dev.name).size()));
    QString host = QString::fromUtf8(FieldText(dev.host).data(), static_cast<qsizetype>(FieldText(dev.host).size()));
    return (name.isEmpty() ? host : name) + " (" + host + ":" + QString::number(dev.port) + ")";
}

QString GroupName(const GroupInfo& g) {
    const std::string_view name = FieldText(g.name);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

UIGroupSetupDlg::UIGroupSetupDlg(ConfigStore& store, LogWriter& log, EventBridge& events, QWidget* parent)
    : QWidget(parent), store_(store), log_(log) {
    Ui::UIGroupSetupDlg ui;
    ui.setupUi(this);
    channelTree_ = ui.channelTree;
    groupTree_ = ui.groupTree;
    nameEdit_ = ui.groupNameEdit;
    ui.groupNameLabel->setText(Tr("Group name"));
    ui.addGroupBtn->setText(Tr("Add group"));
    ui.renameGroupBtn->setText(Tr("Rename"));
    ui.delGroupBtn->setText(Tr("Delete group"));
    ui.addMemberBtn->setText(Tr("Add") + " >>");
    ui.removeMemberBtn->setText("<< " + Tr("Remove"));
    ui.channelLabel->setText(Tr("Channels"));
    ui.groupLabel->setText(Tr("Groups"));
    ui.hintLabel->setText(Tr("A channel belongs to one group at most. The live view and playback show the "
                             "groups in this order, each with up to 64 channels."));
    channelTree_->setHeaderLabels({Tr("Channel"), Tr("Group")});
    channelTree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    channelTree_->header()->setStretchLastSection(false);
    groupTree_->setHeaderLabels({Tr("Groups")});
    LimitToUtf8Bytes(nameEdit_, kTextBytes - 1);

    connect(ui.addGroupBtn, &QPushButton::clicked, this, &UIGroupSetupDlg::AddGroup);
    connect(ui.renameGroupBtn, &QPushButton::clicked, this, &UIGroupSetupDlg::RenameGroup);
    connect(ui.delGroupBtn, &QPushButton::clicked, this, &UIGroupSetupDlg::DeleteGroup);
    connect(ui.addMemberBtn, &QPushButton::clicked, this, &UIGroupSetupDlg::AddMembers);
    connect(ui.removeMemberBtn, &QPushButton::clicked, this, &UIGroupSetupDlg::RemoveMembers);
    connect(channelTree_, &QTreeWidget::itemDoubleClicked, this, [this] { AddMembers(); });
    connect(groupTree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (KindOf(item) == kMemberItem) RemoveMembers();
    });
    connect(groupTree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item == nullptr) return;
        if (const GroupInfo* g = FindGroup(store_, item->data(0, kGroupRole).toInt())) nameEdit_->setText(GroupName(*g));
    });

    // Devices added or removed elsewhere, and groups changed by another window, show at once.
    events.Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent& e) {
        const ConfigPart part = std::get<ConfigChanged>(e).part;
        if (part == ConfigPart::kDevices || part == ConfigPart::kGroups || part == ConfigPart::kAll) Rebuild();
    });
    Rebuild();
}

void UIGroupSetupDlg::Rebuild() {
    const int selectedGroup = SelectedGroupId();
    std::set<int> expanded;
    for (int i = 0; i < groupTree_->topLevelItemCount(); ++i)
        if (groupTree_->topLevelItem(i)->isExpanded()) expanded.insert(groupTree_->topLevelItem(i)->data(0, kGroupRole).toInt());

    channelTree_->clear();
    QTreeWidgetItem* deviceItem = nullptr;
    int lastDevice = -1;
    for (const GroupChannel& ch : ListGroupChannels(store_)) {
        if (ch.device != lastDevice) {
            deviceItem = new QTreeWidgetItem(channelTree_, {DeviceText(store_.device(ch.device))});
            deviceItem->setData(0, kKindRole, kDeviceItem);
            deviceItem->setData(0, kDeviceRole, ch.device);
            deviceItem->setExpanded(true);
            lastDevice = ch.device;
        }
        auto* item = new QTreeWidgetItem(deviceItem, {QString::fromStdString(ch.label)});
        item->setData(0, kKindRole, kChannelItem);
        item->setData(0, kDeviceRole, ch.device);
        item->setData(0, kChannelRole, ch.channel);
        if (const GroupInfo* g = FindGroup(store_, ch.groupId)) {
            item->setText(1, GroupName(*g));
            // Already in a group: shown, but not offered again.
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
            item->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
        }
    }

    groupTree_->clear();
    for (const GroupInfo& g : store_.groups()) {
        auto* node = new QTreeWidgetItem(groupTree_, {GroupName(g) + " (" + QString::number(g.memberCount()) + ")"});
        node->setData(0, kKindRole, kGroupItem);
        node->setData(0, kGroupRole, g.id);
        for (const GroupMember& m : g.members) {
            const DeviceInfo& dev = store_.device(m.deviceIndex);
            auto* member = new QTreeWidgetItem(node, {QString::fromStdString(CellChannelLabel(dev, m.channelIndex))});
            member->setData(0, kKindRole, kMemberItem);
            member->setData(0, kDeviceRole, m.deviceIndex);
            member->setData(0, kChannelRole, m.channelIndex);
            member->setData(0, kGroupRole, g.id);
        }
        node->setExpanded(expanded.count(g.id) > 0 || g.id == selectedGroup);
        if (g.id == selectedGroup) groupTree_->setCurrentItem(node);
    }
}

int UIGroupSetupDlg::SelectedGroupId() const {
    QTreeWidgetItem* item = groupTree_->currentItem();
    if (item == nullptr) return -1;
    return item->data(0, kGroupRole).toInt();
}

void UIGroupSetupDlg::SelectGroup(int groupId) {
    for (int i = 0; i < groupTree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = groupTree_->topLevelItem(i);
        if (node->data(0, kGroupRole).toInt() == groupId) {
            groupTree_->setCurrentItem(node);
            return;
        }
    }
}

void UIGroupSetupDlg::SelectChannels(const std::vector<std::pair<int, int>>& wanted) {
    channelTree_->clearSelection();
    for (QTreeWidgetItemIterator it(channelTree_); *it; ++it)
        for (const auto& dc : wanted)
            if (KindOf(*it) == kChannelItem && ChannelOf(*it) == dc) (*it)->setSelected(true);
}

void UIGroupSetupDlg::SelectMembers(const std::vector<std::pair<int, int>>& wanted) {
    groupTree_->clearSelection();
    for (QTreeWidgetItemIterator it(groupTree_); *it; ++it)
        for (const auto& dc : wanted)
            if (KindOf(*it) == kMemberItem && ChannelOf(*it) == dc) (*it)->setSelected(true);
}

void UIGroupSetupDlg::LogGroup(int subtype, const char* groupName, int device, int channel) {
    log_.LogWrite(kLogOperate, subtype, device, channel, groupName, CurrentSession().user().userName);
}

void UIGroupSetupDlg::AddGroup() {
    if (!CheckRight(this, kRightLoadDevice)) return;
    const std::string name = nameEdit_->text().trimmed().toStdString();
    const char* refusal = NewGroupRefusal(store_);
    if (refusal == nullptr) refusal = GroupNameRefusal(store_, name);
    if (refusal) {
        ShowMessage(this, refusal, kMsgWarning);
        return;
    }
    int id = -1;
    if (store_.AddGroup(name.c_str(), &id) != 0) {
        ShowMessage(this, "Failed to add the group!", kMsgError);
        return;
    }
    LogGroup(kLogAddGroup, name.c_str());
    Rebuild();
    SelectGroup(id);
}

void UIGroupSetupDlg::RenameGroup() {
    if (!CheckRight(this, kRightLoadDevice)) return;
    const GroupInfo* group = FindGroup(store_, SelectedGroupId());
    if (group == nullptr) {
        ShowMessage(this, "Please select a group!", kMsgWarning);
        return;
    }
    const int id = group->id;
    const std::string name = nameEdit_->text().trimmed().toStdString();
    if (const char* refusal = GroupNameRefusal(store_, name, id)) {
        ShowMessage(this, refusal, kMsgWarning);
        return;
    }
    if (store_.RenameGroup(id, name.c_str()) != 0) {
        ShowMessage(this, "Failed to modify the group!", kMsgError);
        return;
    }
    LogGroup(kLogModifyGroup, name.c_str());
    Rebuild();
}

void UIGroupSetupDlg::DeleteGroup() {
    if (!CheckRight(this, kRightLoadDevice)) return;
    const GroupInfo* group = FindGroup(store_, SelectedGroupId());
    if (group == nullptr) {
        ShowMessage(this, "Please select a group!", kMsgWarning);
        return;
    }
    const int id = group->id;
    const std::string name(FieldText(group->name));
    if (!ShowMessage(this, Tr("Do you want to delete the group?") + "\n" + QString::fromStdString(name), QString(),
                     kMsgAdvice))
        return;
    if (store_.DeleteGroup(id) != 0) {
        ShowMessage(this, "Failed to delete the group!", kMsgError);
        return;
    }
    LogGroup(kLogDeleteGroup, name.c_str());
    nameEdit_->clear();
    Rebuild();
}

void UIGroupSetupDlg::AddMembers() {
    if (!CheckRight(this, kRightLoadDevice)) return;
    const int groupId = SelectedGroupId();
    if (FindGroup(store_, groupId) == nullptr) {
        ShowMessage(this, "Please select a group!", kMsgWarning);
        return;
    }
    // A selected device stands for its free channels.
    std::vector<std::pair<int, int>> wanted;
    for (QTreeWidgetItem* item : channelTree_->selectedItems()) {
        if (KindOf(item) == kChannelItem) {
            wanted.push_back(ChannelOf(item));
        } else if (KindOf(item) == kDeviceItem) {
            for (int i = 0; i < item->childCount(); ++i)
                if (item->child(i)->flags() & Qt::ItemIsSelectable) wanted.push_back(ChannelOf(item->child(i)));
        }
    }
    if (wanted.empty()) {
        ShowMessage(this, "Please select a channel!", kMsgWarning);
        return;
    }
    std::set<std::pair<int, int>> seen;
    const char* refusal = nullptr;
    for (const auto& [device, channel] : wanted) {
        if (!seen.insert({device, channel}).second) continue;
        if ((refusal = AddMemberRefusal(store_, groupId, device, channel)) != nullptr) break;
        GroupMember member{};
        member.deviceIndex = device;
        member.channelIndex = channel;
        if (store_.AddGroupMember(groupId, &member) != 0) {
            refusal = "Failed to modify the group!";
            break;
        }
        LogGroup(kLogModifyGroup, FindGroup(store_, groupId)->name, device, channel);
    }
    Rebuild();
    if (refusal) ShowMessage(this, refusal, kMsgWarning);
}

void UIGroupSetupDlg::RemoveMembers() {
    if (!CheckRight(this, kRightLoadDevice)) return;
    std::vector<std::pair<int, int>> chosen;
    for (QTreeWidgetItem* item : groupTree_->selectedItems())
        if (KindOf(item) == kMemberItem) chosen.push_back(ChannelOf(item));
    if (chosen.empty()) {
        ShowMessage(this, "Please select a channel!", kMsgWarning);
        return;
    }
    for (const auto& [device, channel] : chosen) {
        const GroupInfo* group = GroupOfChannel(store_, device, channel);
        if (group == nullptr) continue;
        int memberId = -1;
        for (const GroupMember& m : group->members)
            if (m.deviceIndex == device && m.channelIndex == channel) memberId = m.memberId;
        const std::string name(FieldText(group->name));
        if (store_.DeleteGroupMember(memberId) != 0) {
            ShowMessage(this, "Failed to modify the group!", kMsgError);
            break;
        }
        LogGroup(kLogModifyGroup, name.c_str(), device, channel);
    }
    Rebuild();
}

}  // namespace ocv
