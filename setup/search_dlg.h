#pragma once
// The search window: devices found on the network (our search datagrams, or WS-Discovery for
// ONVIF devices), checked for import into the device list, and the network settings of a found
// device changed remotely.
#include <QDialog>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "setup/discovery_run.h"
#include "setup/found_devices.h"
#include "widgets/window_message.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace ocv {

// A found device: wParam points to the record, which the message owns.
constexpr int kMsgFoundDevice = kWmUser + 110;  // 1134

class UISearchDlg : public QDialog {
    Q_OBJECT
public:
    UISearchDlg(int mode, QWidget* parent);
    ~UISearchDlg() override;

    // "Search" (also run when the window opens and when the settings panel is left): nothing
    // while the device library's search call still runs.
    void StartSearch();
    // "Setup" with a row selected, or a double-click: the settings panel for it; "Back" leaves it.
    void ShowSettings(int row);
    void LeaveSettings();
    // The settings panel's apply button: checks, then sends on a thread of its own; the answer
    // is shown when it comes back.
    void ApplySettings();
    bool Applying() const { return applying_; }
    bool SettingsShown() const;
    // "OK": the checked rows become the chosen devices, and the window closes.
    void AcceptChecked();
    const std::vector<QVX_FOUND_DEVICE>& Chosen() const { return chosen_; }

    // Told when a device took a new address or port (old host and port, new ones).
    using NetworkChangedFn =
        std::function<void(const std::string& oldHost, int oldPort, const std::string& newHost, int newPort)>;
    void SetNetworkChangedHandler(NetworkChangedFn fn) { networkChanged_ = std::move(fn); }
    // The credentials the "Permissions check" form starts with for a device (the device list's,
    // when it knows the device).
    using CredentialsFn = std::function<bool(const std::string& host, int port, std::string* user, std::string* password)>;
    void SetCredentialsLookup(CredentialsFn fn) { lookup_ = std::move(fn); }
    // Tests answer the "Permissions check" form: false for Cancel.
    using AskCredentialsFn = std::function<bool(std::string* user, std::string* password)>;
    void SetCredentialsHookForTesting(AskCredentialsFn fn) { askHook_ = std::move(fn); }

    QTableWidget* list() const { return list_; }
    const FoundDeviceList& found() const { return found_; }
    int progressValue() const;
    bool ControlsEnabled() const;
    bool Searching() const { return run_.Searching(); }
    void SetRowChecked(int row, bool on);
    // The field for an address beyond the LAN (multicast and broadcast do not cross routers).
    QLineEdit* targetEdit() const { return target_; }

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void OnFound(const QVX_FOUND_DEVICE& record);
    void RebuildRows();
    void SetControlsEnabled(bool on);
    bool AskCredentials(std::string* user, std::string* password);
    void OnApplied(int result, const QVX_FOUND_DEVICE& sent);
    int SelectedRow() const;

    const int mode_;
    std::vector<SearchProtocolEntry> entries_;
    int protocol_ = 0;
    DiscoveryRun run_;
    FoundDeviceList found_;
    std::set<std::string> checkedIds_;
    SearchProgress progress_;
    int timerId_ = 0;
    bool applying_ = false;
    QVX_FOUND_DEVICE editing_{};  // the record the settings panel shows
    std::vector<QVX_FOUND_DEVICE> chosen_;
    NetworkChangedFn networkChanged_;
    CredentialsFn lookup_;
    AskCredentialsFn askHook_;

    QTableWidget* list_;
    QComboBox* combo_;
    QLineEdit* target_;
    QPushButton* searchBtn_;
    QPushButton* settingBtn_;
    QPushButton* okBtn_;
    QPushButton* exitBtn_;
    QPushButton* closeBtn_;
    QPushButton* applyBtn_;
    QCheckBox* selectOption_;
    QProgressBar* progressBar_;
    QWidget* content_;
    QWidget* progressPanel_;
    QWidget* settingsPanel_;
    QLineEdit* idEdit_;
    QLineEdit* hostEdit_;
    QLineEdit* portEdit_;
    QLineEdit* maskEdit_;
    QLineEdit* gatewayEdit_;
    QLineEdit* dns1Edit_;
    QLineEdit* dns2Edit_;
    QLineEdit* macEdit_;
};

}  // namespace ocv
