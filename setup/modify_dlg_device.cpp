// The generic form window in device mode: the device's fields, their checks on OK, and "Test"
// and "GET CHN", which log in to the device on a thread of their own.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <pthread.h>

#include "base/device_types.h"
#include "setup/config_records.h"
#include "setup/modify_dlg.h"
#include "store/config_store.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "ui_UIModifyDlg.h"

namespace ocv {

UIModifyDlg::UIModifyDlg(const QString& title, const DeviceRecord& device, const ConfigStore& store, int editingSlot,
                         QWidget* parent)
    : QDialog(parent), deviceMode_(true), store_(&store), editingSlot_(editingSlot), device_(device) {
    BuildDeviceMode(device);
    setWindowTitle(title);
}

void UIModifyDlg::BuildDeviceMode(const DeviceRecord& device) {
    Ui::UIModifyDlg ui;
    ui.setupUi(this);
    ui.formStack->setCurrentWidget(ui.devicePage);
    resize(420, 300);
    devName_ = ui.editDeviceName;
    devHost_ = ui.editDeviceHost;
    devPort_ = ui.editDevicePort;
    devUser_ = ui.editDeviceUser;
    devPass_ = ui.editDevicePass;
    devChannels_ = ui.editDeviceChn;
    devType_ = ui.devTypeCombo;
    reportedType_ = ui.deviceTypeText;
    testBtn_ = ui.btnDeviceTest;
    channelsBtn_ = ui.btnDeviceChn;
    ui.deviceNameLabel->setText(Tr("Name"));
    ui.deviceHostLabel->setText(Tr("Address"));
    ui.devicePortLabel->setText(Tr("Port"));
    ui.deviceUserLabel->setText(Tr("Username"));
    ui.devicePassLabel->setText(Tr("Password"));
    ui.deviceChnLabel->setText(Tr("Channels"));
    ui.deviceProtocolLabel->setText(Tr("Protocol"));
    ui.deviceTypeLabel->setText(Tr("Device Type"));
    channelsBtn_->setText(Tr("GET CHN"));
    testBtn_->setText(Tr("Test"));
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    // What is typed is what the record's 31-byte fields keep.
    for (QLineEdit* edit : {devName_, devHost_, devUser_, devPass_}) LimitToUtf8Bytes(edit, kTextBytes - 1);

    for (int slot = 0; slot < kDeviceTypeSlots; ++slot) {
        const DeviceTypeRecord* t = DeviceTypeSlot(slot);
        if (t && t->inUse == 1) devType_->addItem(Tr(t->name), int(t->id));
    }
    int typeIndex = devType_->findData(device.type);
    if (typeIndex < 0) {
        // A type this client does not offer stays what it is unless the operator picks another.
        devType_->addItem(QString::number(device.type), device.type);
        typeIndex = devType_->count() - 1;
    }
    devType_->setCurrentIndex(typeIndex);

    DeviceFormFields f = FormFieldsOf(device);
    devName_->setText(QString::fromStdString(f.name));
    devHost_->setText(QString::fromStdString(f.host));
    devUser_->setText(QString::fromStdString(f.user));
    devPass_->setText(QString::fromStdString(f.password));
    devPort_->setText(device.port > 0 ? QString::fromStdString(f.port) : QString());
    devChannels_->setText(device.channelCount > 0 ? QString::fromStdString(f.channels) : QString());

    connect(testBtn_, &QPushButton::clicked, this, [this] { ProbeDevice(false); });
    connect(channelsBtn_, &QPushButton::clicked, this, [this] { ProbeDevice(true); });
    connect(ui.okBtn, &QPushButton::clicked, this, [this] {
        if (Collect()) accept();
    });
    connect(ui.exitBtn, &QPushButton::clicked, this, &QDialog::reject);
}

DeviceFormFields UIModifyDlg::DeviceFields() const {
    DeviceFormFields f;
    f.name = devName_->text().toStdString();
    f.host = devHost_->text().trimmed().toStdString();
    f.port = devPort_->text().toStdString();
    f.user = devUser_->text().toStdString();
    f.password = devPass_->text().toStdString();
    f.channels = devChannels_->text().toStdString();
    f.type = devType_->currentData().toInt();
    return f;
}

bool UIModifyDlg::CollectDevice() {
    DeviceFormFields f = DeviceFields();
    if (const char* refusal = ValidateDeviceForm(f, *store_, editingSlot_)) {
        ShowMessage(this, refusal, kMsgError);
        return false;
    }
    ApplyDeviceForm(f, &device_);
    return true;
}

void UIModifyDlg::ProbeDevice(bool getChannels) {
    if (!deviceMode_ || probing_) return;
    DeviceFormFields f = DeviceFields();
    if (f.host.empty()) {
        ShowMessage(this, "Address can not be empty!", kMsgError);
        return;
    }
    int port = 0;
    if (!ParseDecimal(f.port, &port) || port > 65535) port = 0;  // the login then fails
    if (probe_.joinable()) probe_.join();
    probing_ = true;
    testBtn_->setEnabled(false);
    channelsBtn_->setEnabled(false);
    probe_ = std::thread([this, f, port, getChannels] {
        pthread_setname_np(pthread_self(), "dev-probe");
        ProbeResult r = ocv::ProbeDevice(f.host, port, f.user, f.password, f.type);
        // The window waits for this thread before it goes, so the call finds it.
        QMetaObject::invokeMethod(this, [this, getChannels, r] { OnProbeResult(getChannels, r); }, Qt::QueuedConnection);
    });
}

void UIModifyDlg::OnProbeResult(bool getChannels, const ProbeResult& r) {
    probing_ = false;
    testBtn_->setEnabled(true);
    channelsBtn_->setEnabled(true);
    if (r.result == 0) reportedType_->setText(QString::fromStdString(r.deviceType));
    if (r.result != 0) {
        ShowMessage(this, "Connection Failed", kMsgError);
    } else if (getChannels) {
        devChannels_->setText(QString::asprintf("%d", r.channelCount));
    } else {
        const char* verdict = TestVerdict(r.result, r.deviceType);
        ShowMessage(this, verdict, IsNotVideoSource(r.deviceType) ? kMsgError : kMsgComplete);
    }
}

}  // namespace ocv
