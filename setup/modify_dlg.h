#pragma once
// The generic form window: an account (account mode, on the users page) or a device (device
// mode, on the device page). One window class, two sets of fields.
#include <QDialog>
#include <thread>

#include "setup/device_form_rules.h"
#include "setup/device_probe.h"
#include "store/records.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ocv {

class ConfigStore;

class UIModifyDlg : public QDialog {
    Q_OBJECT
public:
    // Account mode: a new account when editing is null, else that account.
    UIModifyDlg(const UserInfo* editing, QWidget* parent);
    // Device mode: the form titled title, filled from device; editingSlot is the device's slot
    // when modifying (-1 when adding), which the duplicate check leaves out.
    UIModifyDlg(const QString& title, const DeviceRecord& device, const ConfigStore& store, int editingSlot,
                QWidget* parent);
    ~UIModifyDlg() override;

    // Validates and fills the result; shows the refusal and returns false otherwise.
    bool Collect();
    const UserInfo& result() const { return result_; }
    const DeviceRecord& deviceResult() const { return device_; }

    // Device mode, "Test" (getChannels false) and "GET CHN": a login with what the form holds,
    // on a thread of its own; the answer is shown when it comes back. Nothing while one runs.
    void ProbeDevice(bool getChannels);
    bool Probing() const { return probing_; }

private:
    void BuildAccountMode(const UserInfo* editing);
    void BuildDeviceMode(const DeviceRecord& device);
    void ApplyPreset(int level);
    bool CollectAccount();
    bool CollectDevice();
    DeviceFormFields DeviceFields() const;
    void OnProbeResult(bool getChannels, const ProbeResult& result);

    bool deviceMode_ = false;
    // Account mode.
    bool adding_ = false;
    UserInfo result_{};
    QLineEdit* name_ = nullptr;
    QLineEdit* pass_ = nullptr;
    QLineEdit* confirm_ = nullptr;
    QComboBox* level_ = nullptr;
    QCheckBox* boxes_[14] = {};
    QCheckBox* all_ = nullptr;
    // Device mode.
    const ConfigStore* store_ = nullptr;
    int editingSlot_ = -1;
    DeviceRecord device_{};
    QLineEdit* devName_ = nullptr;
    QLineEdit* devHost_ = nullptr;
    QLineEdit* devPort_ = nullptr;
    QLineEdit* devUser_ = nullptr;
    QLineEdit* devPass_ = nullptr;
    QLineEdit* devChannels_ = nullptr;
    QComboBox* devType_ = nullptr;
    QLabel* reportedType_ = nullptr;
    QPushButton* testBtn_ = nullptr;
    QPushButton* channelsBtn_ = nullptr;
    bool probing_ = false;
    std::thread probe_;
};

}  // namespace ocv
