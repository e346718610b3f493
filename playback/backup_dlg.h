#pragma once
// The backup window (UIBackupDlg): one channel's recordings of a span of one day copied from the
// local disks as AVI, MP4 or recording files, or downloaded from the device. The job runs on its
// own thread (BackupTask); the window shows its progress and can cancel it. One job at a time.
#include <QDialog>
#include <memory>

#include "playback/backup_task.h"
#include "playback/playback_controller.h"

namespace Ui {
class UIBackupDlg;
}

namespace ocv {
class LogWriter;
}

namespace ocv::playback {

class UIBackupDlg : public QDialog {
    Q_OBJECT
public:
    UIBackupDlg(const ChannelDirectory& directory, LogWriter* log, QWidget* parent);
    // Cancels a running job and waits for its thread.
    ~UIBackupDlg() override;

    // Fills the form from the page's channel, date and span and shows the window.
    void Open(const BackupRequest& request);
    // OK: the form's checks, then the job. The operator's name goes into the operation log.
    void Start();
    bool Running() const { return task_ && task_->Running(); }
    BackupTask* task() { return task_.get(); }
    BackupForm Form() const;
    // Where the operator's name comes from (the page's session).
    void SetOperator(std::function<std::string()> name) { operatorName_ = std::move(name); }
    Ui::UIBackupDlg& ui() { return *ui_; }
    // Refills the disk list with each mapped drive's free space.
    void FillDisks();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void FillChannels(int selectChannel);
    void SetInputsEnabled(bool enabled);
    void Finished(BackupOutcome outcome);
    // true when no job runs any more (none ran, or the operator chose to cancel it).
    bool AskCancel();

    std::unique_ptr<Ui::UIBackupDlg> ui_;
    const ChannelDirectory& directory_;
    LogWriter* log_;
    std::function<std::string()> operatorName_;
    std::unique_ptr<BackupTask> task_;
    bool closeWhenDone_ = false;
};

}  // namespace ocv::playback
