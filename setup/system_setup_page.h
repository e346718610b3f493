#pragma once
// The system settings page ("systemSetup"): every setting of the settings record, the recording
// drives and their folders, the daily time synchronisation, start-up options, the display mode
// and window-size lock, the alarm sounds, and the whole-database backup and restore.
#include <QWidget>
#include <functional>
#include <memory>

#include "setup/system_settings_form.h"
#include "setup/system_survey.h"
#include "widgets/page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace ocv {

class ConfigStore;
class EventBridge;
class LogWriter;

class UISystemSetupDlg : public QWidget, public Page {
    Q_OBJECT
public:
    UISystemSetupDlg(ConfigStore& store, LogWriter& log, EventBridge& events, AlarmSoundControls sounds,
                     QWidget* parent);
    ~UISystemSetupDlg() override;
    QWidget* Widget() override { return this; }
    void OnShown() override;

    // The controls from the settings record and config.ini (the drives follow with the survey).
    void Fill();
    // The buttons' work.
    bool Save();
    bool RestoreDefaults();
    void ExportData();
    void ImportData();
    void MapSelectedDrive();
    void UnmapSelectedDrive();
    void TestSound(int kind);
    void BrowsePhotoPath();

    // Tests answer the file and folder dialogs: the hook gets the dialog's title and returns the
    // path chosen ("" for Cancel).
    using FileDialogHook = std::function<QString(const QString& title)>;
    void SetFileDialogHookForTesting(FileDialogHook hook) { fileHook_ = std::move(hook); }
    // The surveys shown so far (0 before the first arrives).
    int surveySerial() const { return shownSurvey_; }
    // The serial of the survey that will show the state as it is now.
    int RequestSurvey() { return survey_->Request(); }
    QTableWidget* driveList() const { return driveList_; }

protected:
    bool event(QEvent* e) override;

private:
    SystemSettingsForm CollectForm() const;
    void ShowForm(const SystemSettingsForm& form);
    void ApplySurvey(const SystemSurvey& survey);
    void ShowDriveRecordBoxes();
    int SelectedDriveIndex() const;
    bool EnsureRight();
    bool AdministratorOnly();
    QString AskSaveFile(const QString& title, const QString& suggestedName);
    QString AskOpenFile(const QString& title);
    QString AskFolder(const QString& title, const QString& start);
    std::string ConfigIni() const;

    ConfigStore& store_;
    LogWriter& log_;
    AlarmSoundControls sounds_;
    std::unique_ptr<SystemSurveyWorker> survey_;
    FileDialogHook fileHook_;
    int shownSurvey_ = 0;
    int32_t diskMask_ = 0;  // the drive boxes, saved with the rest
    bool filling_ = false;
    bool autostartKnown_ = false;
    bool autostartExisted_ = false;  // when the page learnt of it: what saving compares with
    bool autostartTouched_ = false;

    QComboBox* timeoutCombo_;
    QComboBox* recLengthCombo_;
    QComboBox* logMonthCombo_;
    QComboBox* streamModeCombo_;
    QComboBox* recStreamCombo_;
    QComboBox* photoTypeCombo_;
    QComboBox* realplayCombo_;
    QComboBox* tempUnitCombo_;
    QComboBox* rotaLenCombo_;
    QComboBox* rotaTypeCombo_;
    QComboBox* displayModeCombo_;
    QLineEdit* alarmLenEdit_;
    QLineEdit* photoPathEdit_;
    QSpinBox* preRecordSpin_;
    QSpinBox* diskRemainSpin_;
    QSpinBox* syncHourSpin_;
    QSpinBox* syncMinuteSpin_;
    QSpinBox* syncSecondSpin_;
    QSpinBox* tempRepeatSpin_;
    QCheckBox* coverOption_;
    QCheckBox* planRecOption_;
    QCheckBox* armOption_;
    QCheckBox* timeSyncOption_;
    QCheckBox* sizeLockOption_;
    QCheckBox* connectOption_;
    QCheckBox* autoLoginOption_;
    QCheckBox* exitVerifyOption_;
    QCheckBox* autoStartOption_;
    QLabel* soundState_[kSoundKindCount];
    QTableWidget* driveList_;
};

}  // namespace ocv
