#include "playback/backup_dlg.h"

#include <QCloseEvent>
#include <QPointer>
#include <algorithm>
#include <cstdio>
#include <QDateTimeEdit>
#include <QPushButton>

#include "base/clock.h"
#include "base/trace.h"
#include "events/log_writer.h"
#include "liveview/channel_text.h"
#include "platform/drives.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIBackupDlg.h"

namespace ocv::playback {
namespace {

backup::LocalDateTime FromQt(const QDateTime& t) {
    const QDate d = t.date();
    const QTime c = t.time();
    return backup::LocalDateTime{d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second()};
}

QDateTime ToQt(const Date& date, int second) {
    return QDateTime(QDate(date.year, date.month, date.day), QTime(second / 3600, second / 60 % 60, second % 60));
}

}  // namespace

UIBackupDlg::UIBackupDlg(const ChannelDirectory& directory, LogWriter* log, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::UIBackupDlg>()), directory_(directory), log_(log) {
    ui_->setupUi(this);
    setObjectName("UIBackupDlg");
    setWindowTitle(Tr("Backup"));
    ui_->backupOption->setText(Tr("Backup"));
    ui_->downloadOption->setText(Tr("Download"));
    ui_->devLabel->setText(Tr("Channel"));
    ui_->diskLabel->setText(Tr("Disk"));
    ui_->sTimeLabel->setText(Tr("Start time"));
    ui_->eTimeLabel->setText(Tr("End time"));
    ui_->typeLabel->setText(Tr("Type"));
    ui_->formatLabel->setText(Tr("Format"));
    ui_->okBtn->setText(Tr("OK"));
    ui_->cancelBtn->setText(Tr("Cancel"));
    for (const char* type : {"All REC", "Manual REC", "Alarm REC", "Plan REC"}) ui_->typeCombo->addItem(Tr(type));
    ui_->formatCombo->addItem("AVI", static_cast<int>(backup::ExportFormat::kAvi));
    ui_->formatCombo->addItem(Tr("Recording file"), static_cast<int>(backup::ExportFormat::kRecordFile));
    ui_->formatCombo->addItem("MP4", static_cast<int>(backup::ExportFormat::kMp4));
    ui_->backupProgress->setRange(0, 100);
    connect(ui_->okBtn, &QPushButton::clicked, this, [this] { Start(); });
    connect(ui_->cancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    // A download asks the device for a span of time: it has no type filter.
    connect(ui_->downloadOption, &QRadioButton::toggled, this,
            [this](bool download) { ui_->typeCombo->setEnabled(!download && ui_->okBtn->isEnabled()); });
    FillChannels(-1);
    FillDisks();
}

UIBackupDlg::~UIBackupDlg() {
    if (task_) task_->Cancel();
    // The task's destructor waits for its thread; its last message finds no window.
    task_.reset();
}

void UIBackupDlg::FillChannels(int selectChannel) {
    ui_->devCombo->clear();
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo* dev = directory_.Device(d);
        if (!dev) continue;
        for (int c = 0; c < kMaxChannels; ++c) {
            if (!IsValidChannelOf(dev, c)) continue;
            ui_->devCombo->addItem(QString::fromStdString(CellChannelLabel(*dev, c)), ChannelIdOf(d, c));
        }
    }
    const int found = ui_->devCombo->findData(selectChannel);
    ui_->devCombo->setCurrentIndex(found);
}

void UIBackupDlg::FillDisks() {
    const int keep = ui_->diskCombo->currentData().isValid() ? ui_->diskCombo->currentData().toInt() : -1;
    ui_->diskCombo->clear();
    for (int disk = 0; disk < 24; ++disk) {
        const char letter = drives::LetterOf(disk);
        if (drives::DriveDirectory(letter).empty()) continue;
        uint64_t freeBytes = 0;
        if (drives::GetFreeBytes(letter, &freeBytes) != 0) freeBytes = 0;
        char text[64];
        std::snprintf(text, sizeof text, "%c:%6.3f(GB)", letter, static_cast<double>(freeBytes) / (1024.0 * 1024.0 * 1024.0));
        ui_->diskCombo->addItem(QString::fromLatin1(text), disk);
    }
    const int found = ui_->diskCombo->findData(keep);
    ui_->diskCombo->setCurrentIndex(found >= 0 ? found : (ui_->diskCombo->count() > 0 ? 0 : -1));
}

void UIBackupDlg::Open(const BackupRequest& request) {
    if (!Running()) {
        FillChannels(request.channelId);
        FillDisks();
        ui_->sTimeBtn->setDateTime(ToQt(request.date, request.startSecond));
        ui_->eTimeBtn->setDateTime(ToQt(request.date, request.endSecond));
        (request.download ? ui_->downloadOption : ui_->backupOption)->setChecked(true);
        ui_->backupProgress->setValue(0);
        ui_->msgLabel->clear();
    }
    show();
    raise();
    activateWindow();
}

BackupForm UIBackupDlg::Form() const {
    BackupForm form;
    form.channelId = ui_->devCombo->currentIndex() >= 0 ? ui_->devCombo->currentData().toInt() : -1;
    form.disk = ui_->diskCombo->currentIndex() >= 0 ? ui_->diskCombo->currentData().toInt() : -1;
    form.start = FromQt(ui_->sTimeBtn->dateTime());
    form.end = FromQt(ui_->eTimeBtn->dateTime());
    form.typeFilter = std::max(0, ui_->typeCombo->currentIndex());
    form.format = static_cast<backup::ExportFormat>(ui_->formatCombo->currentData().toInt());
    form.download = ui_->downloadOption->isChecked();
    return form;
}

void UIBackupDlg::Start() {
    if (Running()) return;
    const BackupForm form = Form();
    if (const char* refusal = CheckBackupForm(form, directory_)) {
        ShowMessage(this, refusal, kMsgWarning);
        return;
    }
    if (form.disk < 0) {
        ShowMessage(this, "Please select a disk!", kMsgWarning);
        return;
    }
    const int device = DeviceIndexOf(form.channelId);
    const DeviceInfo* dev = directory_.Device(device);
    BackupTarget target{dev->host, dev->port, ChannelIndexOf(form.channelId),
                        directory_.Runtime().device(device).loginHandle.load()};
    QPointer<UIBackupDlg> self(this);
    task_.reset();
    task_ = std::make_unique<BackupTask>(form, target, clockSnapshot(), [self](int message, intptr_t w, intptr_t l) {
        if (self) PostWindowMessage(self, message, w, l);
    });
    if (task_->Start() != 0) {
        Trace("backup window: the job did not start\n");
        task_.reset();
        return;
    }
    if (log_) {
        const std::string user = operatorName_ ? operatorName_() : std::string();
        log_->LogWrite(kLogOperate, kLogBackupOperation, device, ChannelIndexOf(form.channelId), "", user.c_str());
    }
    ui_->backupProgress->setValue(0);
    ui_->msgLabel->setText(Tr(form.download ? "Downloading ..." : "Backing up ..."));
    SetInputsEnabled(false);
}

void UIBackupDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->backupOption, ui_->downloadOption, ui_->devCombo,
                                                     ui_->diskCombo, ui_->sTimeBtn, ui_->eTimeBtn, ui_->formatCombo,
                                                     ui_->okBtn})
        w->setEnabled(enabled);
    ui_->typeCombo->setEnabled(enabled && !ui_->downloadOption->isChecked());
}

bool UIBackupDlg::event(QEvent* e) {
    if (e->type() != WindowMessage::EventType()) return QDialog::event(e);
    auto* m = static_cast<WindowMessage*>(e);
    if (m->message() == kMsgBackupProgress) {
        ui_->backupProgress->setValue(std::clamp(static_cast<int>(m->wParam()), 0, 100));
    } else if (m->message() == kMsgBackupDone) {
        Finished(static_cast<BackupOutcome>(m->wParam()));
    }
    return true;
}

void UIBackupDlg::Finished(BackupOutcome outcome) {
    if (!task_ || task_->Running()) return;
    const BackupTaskResult result = task_->Result();
    const bool download = Form().download;
    task_.reset();
    SetInputsEnabled(true);
    FillDisks();
    ui_->msgLabel->clear();
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        hide();
        return;
    }
    switch (outcome) {
        case BackupOutcome::kComplete:
            ui_->backupProgress->setValue(download ? 0 : 100);
            ShowMessage(this, download ? "Download is complete" : "Backup is complete", kMsgComplete);
            break;
        case BackupOutcome::kNoFiles:
            ShowMessage(this, "No file backup!", kMsgWarning);
            break;
        case BackupOutcome::kFailed:
            // Not a message box: the window shows why and the operator may try again.
            ui_->msgLabel->setText(QString::fromStdString(result.error));
            break;
        case BackupOutcome::kCancelled:
        case BackupOutcome::kRefused:
            ui_->backupProgress->setValue(0);
            break;
    }
}

bool UIBackupDlg::AskCancel() {
    if (!Running()) return true;
    if (!ShowMessage(this, "Video is being backed up, if you want to cancel?", kMsgAdvice)) return false;
    task_->Cancel();
    return true;
}

void UIBackupDlg::reject() {
    if (!Running()) {
        QDialog::reject();
        return;
    }
    // Cancel asks first; the window closes when the job has stopped.
    if (AskCancel()) closeWhenDone_ = true;
}

void UIBackupDlg::closeEvent(QCloseEvent* e) {
    if (!Running()) {
        QDialog::closeEvent(e);
        return;
    }
    e->ignore();
    if (AskCancel()) closeWhenDone_ = true;
}

}  // namespace ocv::playback
