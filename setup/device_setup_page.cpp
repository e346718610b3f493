#include "setup/device_setup_page.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <pthread.h>

#include "base/device_types.h"
#include "setup/search_dlg.h"
#include "store/config_store.h"
#include "store/text_field.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "ui_UIDeviceSetupDlg.h"
#include "ui_UIWaitDlg.h"

namespace ocv {
namespace {

enum Column { kColSelect, kColName, kColAddress, kColPort, kColChannels, kColProtocol };

QString TextOf(const char* field, size_t bytes) { return QString::fromUtf8(field, qsizetype(strnlen(field, bytes))); }

QString ProtocolName(int type) {
    const DeviceTypeRecord* t = FindDeviceType(type);
    return t ? Tr(t->name) : QString::number(type);
}

}  // namespace

UIDeviceSetupDlg::UIDeviceSetupDlg(ConfigStore& store, ChannelConnections& connections, LogWriter& log,
                                   EventBridge* events, QWidget* parent)
    : QWidget(parent), store_(store), log_(log), editor_(store, connections, log) {
    Ui::UIDeviceSetupDlg ui;
    ui.setupUi(this);
    list_ = ui.devList;
    selectOption_ = ui.selectOption;
    list_->setHorizontalHeaderLabels({Tr("Select"), Tr("Name"), Tr("Address"), Tr("Port"), Tr("Channels"), Tr("Protocol")});
    const int widths[] = {40, 200, 200, 80, 80, 80};
    for (int c = 0; c < 6; ++c) list_->setColumnWidth(c, widths[c]);
    ui.devAddBtn->setText(Tr("Add"));
    ui.devEditBtn->setText(Tr("Modify"));
    ui.devDelBtn->setText(Tr("Delete"));
    ui.selectOption->setText(Tr("Select/Clear All"));
    ui.devSearchBtn->setText(Tr("Show online device"));
    ui.onvifSearchBtn->setText(Tr("ONVIF"));
    ui.onvifSearchBtn->setToolTip(Tr("Onvif device search"));
    connect(ui.devAddBtn, &QPushButton::clicked, this, &UIDeviceSetupDlg::AddDevice);
    connect(ui.devEditBtn, &QPushButton::clicked, this, &UIDeviceSetupDlg::ModifyDevice);
    connect(ui.devDelBtn, &QPushButton::clicked, this, &UIDeviceSetupDlg::DeleteDevices);
    connect(ui.devSearchBtn, &QPushButton::clicked, this, [this] { SearchAndImport(kSearchModeDefault); });
    connect(ui.onvifSearchBtn, &QPushButton::clicked, this, [this] { SearchAndImport(kSearchModeOnvif); });
    connect(selectOption_, &QCheckBox::toggled, this, [this](bool on) {
        for (int row = 0; row < list_->rowCount(); ++row) SetRowChecked(row, on);
    });
    connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) { SetRowChecked(row, !RowChecked(row)); });
    if (events) {
        // Another window (an import of the configuration, the search's settings) changed devices.
        events->Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent& e) {
            const auto& c = std::get<ConfigChanged>(e);
            if (!deleting_ && (c.part == ConfigPart::kDevices || c.part == ConfigPart::kAll)) Refresh();
        }, [this] { if (!deleting_) Refresh(); });
    }
    Refresh();
}

UIDeviceSetupDlg::~UIDeviceSetupDlg() {
    if (deleteWorker_.joinable()) deleteWorker_.join();
    if (deleting_ && window() != this) window()->setEnabled(true);
}

std::string UIDeviceSetupDlg::Operator() const { return CurrentSession().user().userName; }

bool UIDeviceSetupDlg::Allowed() { return CheckRight(this, kRightDeviceConfig); }

void UIDeviceSetupDlg::FillRow(int row, int slot) {
    const DeviceInfo& d = store_.device(slot);
    auto* check = new QTableWidgetItem();
    check->setData(Qt::UserRole, slot);
    check->setCheckState(Qt::Unchecked);
    check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list_->setItem(row, kColSelect, check);
    list_->setItem(row, kColName, new QTableWidgetItem(TextOf(d.name, sizeof d.name)));
    list_->setItem(row, kColAddress, new QTableWidgetItem(TextOf(d.host, sizeof d.host)));
    list_->setItem(row, kColPort, new QTableWidgetItem(QString::number(d.port)));
    list_->setItem(row, kColChannels, new QTableWidgetItem(QString::asprintf("%d", d.channelCount)));
    list_->setItem(row, kColProtocol, new QTableWidgetItem(ProtocolName(d.type)));
}

void UIDeviceSetupDlg::Refresh() {
    list_->setRowCount(0);
    for (int slot = 0; slot < kMaxDevices; ++slot) {
        if (store_.device(slot).IsEmpty()) continue;
        int row = list_->rowCount();
        list_->insertRow(row);
        FillRow(row, slot);
    }
}

int UIDeviceSetupDlg::SlotOfRow(int row) const {
    QTableWidgetItem* item = list_->item(row, kColSelect);
    if (!item) return -1;
    int slot = item->data(Qt::UserRole).toInt();
    return slot >= 0 && slot < kMaxDevices ? slot : -1;
}

int UIDeviceSetupDlg::RowOfSlot(int slot) const {
    for (int row = 0; row < list_->rowCount(); ++row)
        if (SlotOfRow(row) == slot) return row;
    return -1;
}

bool UIDeviceSetupDlg::RowChecked(int row) const {
    QTableWidgetItem* item = list_->item(row, kColSelect);
    return item && item->checkState() == Qt::Checked;
}

void UIDeviceSetupDlg::SetRowChecked(int row, bool on) {
    if (QTableWidgetItem* item = list_->item(row, kColSelect)) item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

bool UIDeviceSetupDlg::RunForm(UIModifyDlg& form) {
    if (formHook_) return formHook_(form) && form.Collect();
    return form.exec() == QDialog::Accepted;
}

void UIDeviceSetupDlg::AddDevice() {
    if (deleting_ || !Allowed()) return;
    DeviceRecord blank{};
    UIModifyDlg form(Tr("Add Device"), blank, store_, -1, this);
    if (!RunForm(form)) return;
    int slot = -1;
    if (editor_.Add(form.deviceResult(), Operator(), &slot) != 0) {
        ShowMessage(this, "Add Device Failed!", kMsgError);
        return;
    }
    Refresh();
}

void UIDeviceSetupDlg::ModifyDevice() {
    if (deleting_ || !Allowed()) return;
    int row = list_->currentRow();
    int slot = row >= 0 && !list_->selectedItems().isEmpty() ? SlotOfRow(row) : -1;
    if (slot < 0 || store_.device(slot).IsEmpty()) {
        ShowMessage(this, "Please select the device you want to modify!", kMsgWarning);
        return;
    }
    DeviceRecord stored = store_.device(slot);
    UIModifyDlg form(Tr("Modify Device"), stored, store_, slot, this);
    if (!RunForm(form)) return;
    if (editor_.Modify(slot, form.deviceResult(), Operator()) != 0) {
        ShowMessage(this, "Modify Device Failed!", kMsgError);
        return;
    }
    if (int r = RowOfSlot(slot); r >= 0) {
        bool checked = RowChecked(r);
        FillRow(r, slot);
        SetRowChecked(r, checked);
    }
}

void UIDeviceSetupDlg::DeleteDevices() {
    if (deleting_ || !Allowed()) return;
    std::vector<int> chosen;
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (!RowChecked(row)) continue;
        int slot = SlotOfRow(row);
        if (slot < 0 || store_.device(slot).IsEmpty()) continue;
        if (editor_.InUse(slot)) {
            const DeviceInfo& d = store_.device(slot);
            ShowMessage(this,
                        QString::asprintf("%s:%d ", qPrintable(TextOf(d.host, sizeof d.host)), d.port) +
                            TextOf(d.name, sizeof d.name) + " " +
                            Tr("Equipment is in use, please try again after stopping device!"),
                        QString(), kMsgWarning);
            SetRowChecked(row, false);
            continue;
        }
        chosen.push_back(slot);
    }
    if (chosen.empty()) {
        ShowMessage(this, "Please check the device you want to delete!", kMsgWarning);
        return;
    }
    if (!ShowMessage(this, "Do you want to delete the selected device?", kMsgAdvice)) return;
    if (deleteWorker_.joinable()) deleteWorker_.join();

    deleting_ = true;
    if (window() != this) window()->setEnabled(false);
    waitDlg_ = new QDialog(this, Qt::Dialog | Qt::FramelessWindowHint);
    Ui::UIWaitDlg wait;
    wait.setupUi(waitDlg_);
    wait.waitText->setText(Tr("Deleting devices, please wait ..."));
    wait.waitProgress->setRange(0, 0);  // busy
    waitDlg_->show();
    deleteWorker_ = std::thread([this, chosen] {
        pthread_setname_np(pthread_self(), "dev-delete");
        for (int slot : chosen) {
            editor_.StopForDelete(slot);
            // The store changes on the window's thread, one device at a time as each stops.
            QMetaObject::invokeMethod(this, [this, slot] { OnDeviceStopped(slot); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(this, [this] { OnDeleteDone(); }, Qt::QueuedConnection);
    });
}

void UIDeviceSetupDlg::OnDeviceStopped(int slot) {
    editor_.Forget(slot, Operator());
    if (int row = RowOfSlot(slot); row >= 0) list_->removeRow(row);
}

void UIDeviceSetupDlg::OnDeleteDone() {
    if (deleteWorker_.joinable()) deleteWorker_.join();
    deleting_ = false;
    if (waitDlg_) {
        waitDlg_->close();
        waitDlg_->deleteLater();
        waitDlg_ = nullptr;
    }
    if (window() != this) window()->setEnabled(true);
    Refresh();
}

void UIDeviceSetupDlg::SearchAndImport(int mode) {
    if (deleting_ || !Allowed()) return;
    UISearchDlg search(mode, this);
    // A device given a new address or port there is followed to it at once.
    search.SetNetworkChangedHandler([this](const std::string& oldHost, int oldPort, const std::string& newHost, int newPort) {
        if (editor_.MoveDevice(oldHost, oldPort, newHost, newPort, Operator()) > 0) Refresh();
    });
    search.SetCredentialsLookup([this](const std::string& host, int port, std::string* user, std::string* password) {
        for (int slot = 0; slot < kMaxDevices; ++slot) {
            const DeviceInfo& d = store_.device(slot);
            if (d.IsEmpty() || FieldText(d.host) != host || d.port != port) continue;
            *user = std::string(FieldText(d.user));
            *password = std::string(FieldText(d.password));
            return true;
        }
        return false;
    });
    bool accepted = searchHook_ ? searchHook_(search) : search.exec() == QDialog::Accepted;
    if (!accepted) return;
    int added = 0, failed = 0;
    for (const QVX_FOUND_DEVICE& found : search.Chosen()) {
        int rc = editor_.Import(found, Operator());
        if (rc == 0) {
            ++added;
            continue;
        }
        ++failed;
        if (rc == -2)
            ShowMessage(this,
                        QString::asprintf("%s:%d ", FoundText(found.address).c_str(), int(found.port)) +
                            Tr("Equipment already exists!"),
                        QString(), kMsgWarning);
    }
    if (added > 0) Refresh();
    ShowMessage(this, QString("%1: %2  %3: %4").arg(Tr("Added successfully")).arg(added).arg(Tr("Add Failed")).arg(failed),
                QString(), kMsgComplete);
}

}  // namespace ocv
