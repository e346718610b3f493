#pragma once
// The device page: the site's device list, the device form to add and modify, deleting (a
// worker stops the devices while the window waits), and importing devices found on the network.
#include <QDialog>
#include <QWidget>
#include <functional>
#include <thread>
#include <vector>

#include "sdk/qvx_sdk.h"
#include "setup/device_list_editor.h"
#include "setup/modify_dlg.h"
#include "widgets/page.h"

class QCheckBox;
class QTableWidget;

namespace ocv {

class EventBridge;
class UISearchDlg;

class UIDeviceSetupDlg : public QWidget, public Page {
    Q_OBJECT
public:
    // events may be null (the list is then refreshed by this page's own changes only).
    UIDeviceSetupDlg(ConfigStore& store, ChannelConnections& connections, LogWriter& log, EventBridge* events,
                     QWidget* parent);
    ~UIDeviceSetupDlg() override;
    QWidget* Widget() override { return this; }

    void Refresh();
    // The buttons' work.
    void AddDevice();
    void ModifyDevice();
    void DeleteDevices();
    // The search window in a mode (0, or 101 for ONVIF devices), then the import of the
    // devices checked there.
    void SearchAndImport(int mode);
    bool Deleting() const { return deleting_; }

    // Tests fill the forms themselves: return false for Cancel.
    using FormHook = std::function<bool(UIModifyDlg& form)>;
    void SetFormHookForTesting(FormHook hook) { formHook_ = std::move(hook); }
    using SearchHook = std::function<bool(UISearchDlg& search)>;
    void SetSearchHookForTesting(SearchHook hook) { searchHook_ = std::move(hook); }

    QTableWidget* list() const { return list_; }
    // The device slot of a row, and its check box.
    int SlotOfRow(int row) const;
    bool RowChecked(int row) const;
    void SetRowChecked(int row, bool on);

private:
    bool Allowed();
    bool RunForm(UIModifyDlg& form);
    void FillRow(int row, int slot);
    int RowOfSlot(int slot) const;
    void OnDeviceStopped(int slot);
    void OnDeleteDone();
    std::string Operator() const;

    ConfigStore& store_;
    LogWriter& log_;
    DeviceListEditor editor_;
    QTableWidget* list_;
    QCheckBox* selectOption_;
    FormHook formHook_;
    SearchHook searchHook_;
    std::thread deleteWorker_;
    bool deleting_ = false;
    QDialog* waitDlg_ = nullptr;
};

}  // namespace ocv
