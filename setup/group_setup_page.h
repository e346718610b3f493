#pragma once
// The channel group page ("loadDevice"): groups are created, renamed and deleted, and channels
// put into them and taken out again. The store publishes every change, so the live view and
// playback trees follow at once.
#include <QWidget>
#include <vector>

#include "widgets/page.h"

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace ocv {

class ConfigStore;
class EventBridge;
class LogWriter;

class UIGroupSetupDlg : public QWidget, public Page {
    Q_OBJECT
public:
    UIGroupSetupDlg(ConfigStore& store, LogWriter& log, EventBridge& events, QWidget* parent);
    QWidget* Widget() override { return this; }

    // Both trees from the store; the selected group stays selected.
    void Rebuild();
    // The buttons' work.
    void AddGroup();
    void RenameGroup();
    void DeleteGroup();
    void AddMembers();
    void RemoveMembers();

    // Tests.
    QTreeWidget* channelTree() const { return channelTree_; }
    QTreeWidget* groupTree() const { return groupTree_; }
    QLineEdit* nameEdit() const { return nameEdit_; }
    void SelectGroup(int groupId);
    void SelectChannels(const std::vector<std::pair<int, int>>& deviceChannels);
    void SelectMembers(const std::vector<std::pair<int, int>>& deviceChannels);

private:
    int SelectedGroupId() const;
    void LogGroup(int subtype, const char* groupName, int device = -1, int channel = -1);

    ConfigStore& store_;
    LogWriter& log_;
    QTreeWidget* channelTree_;
    QTreeWidget* groupTree_;
    QLineEdit* nameEdit_;
};

}  // namespace ocv
