#include "setup/system_setup_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "base/clock.h"
#include "events/log_record.h"
#include "events/log_writer.h"
#include "platform/app_dir.h"
#include "platform/autostart.h"
#include "setup/system_display_config.h"
#include "store/config_files.h"
#include "store/config_store.h"
#include "widgets/client_context.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UISystemSetupDlg.h"

namespace ocv {
namespace {

constexpr int kMsgSurveyReady = kWmUser + 700;  // the survey worker has a new survey
constexpr int kLogSetSystemParameters = 27;
constexpr int kLogDefaultSystemParameters = 28;
constexpr int kMaxTemperatureRepeat = 99;

// The widgets of the sound rows, in SoundKind order.
const char* const kSoundNames[kSoundKindCount] = {"Motion", "Input", "VideoLoss", "DiskFull", "Temperature"};
const char* const kSoundTexts[kSoundKindCount] = {"Motion Detection", "Input alarm", "Video loss", "Disk full",
                                                  "Abnormal Temperature"};

enum DriveColumn { kDriveLetter, kDriveFolder, kDriveType, kDriveSpace, kDriveRecord, kDriveColumns };

QString GiB(uint64_t bytes) { return QString::number(static_cast<double>(bytes) / (1024.0 * 1024 * 1024), 'f', 1); }

void FillCounted(QComboBox* combo, int count, const char* unit) {
    for (int n = 1; n <= count; ++n) combo->addItem(QString::number(n) + " " + Tr(unit));
}

void FillTexts(QComboBox* combo, std::initializer_list<const char*> texts) {
    for (const char* t : texts) combo->addItem(Tr(t));
}

}  // namespace

UISystemSetupDlg::UISystemSetupDlg(ConfigStore& store, LogWriter& log, EventBridge& events, AlarmSoundControls sounds,
                                   QWidget* parent)
    : QWidget(parent), store_(store), log_(log), sounds_(std::move(sounds)) {
    Ui::UISystemSetupDlg ui;
    ui.setupUi(this);
    timeoutCombo_ = ui.timeoutCombo;
    recLengthCombo_ = ui.recLengthCombo;
    logMonthCombo_ = ui.logMonthCombo;
    streamModeCombo_ = ui.streamModeCombo;
    recStreamCombo_ = ui.recStreamCombo;
    photoTypeCombo_ = ui.photoTypeCombo;
    realplayCombo_ = ui.realplayCombo;
    tempUnitCombo_ = ui.tempUnitCombo;
    rotaLenCombo_ = ui.rotaLenCombo;
    rotaTypeCombo_ = ui.rotaTypeCombo;
    displayModeCombo_ = ui.displayModeCombo;
    alarmLenEdit_ = ui.alarmLenEdit;
    photoPathEdit_ = ui.photoPathEdit;
    preRecordSpin_ = ui.preRecordSpin;
    diskRemainSpin_ = ui.diskRemainSpin;
    syncHourSpin_ = ui.syncHourSpin;
    syncMinuteSpin_ = ui.syncMinuteSpin;
    syncSecondSpin_ = ui.syncSecondSpin;
    tempRepeatSpin_ = ui.tempRepeatSpin;
    coverOption_ = ui.coverOption;
    planRecOption_ = ui.planRecOption;
    armOption_ = ui.armOption;
    timeSyncOption_ = ui.timeSyncOption;
    sizeLockOption_ = ui.sizeLockOption;
    connectOption_ = ui.connectOption;
    autoLoginOption_ = ui.autoLoginOption;
    exitVerifyOption_ = ui.exitVerifyOption;
    autoStartOption_ = ui.autoStartOption;
    driveList_ = ui.driveList;

    const std::pair<QWidget*, const char*> texts[] = {
        {ui.recordGroup, "Recording"}, {ui.captureGroup, "Capture"}, {ui.timeGroup, "Time synchronisation"},
        {ui.viewGroup, "Devices and display"}, {ui.startGroup, "Start and exit"}, {ui.soundGroup, "Alarm sounds"},
        {ui.driveGroup, "Recording drives"}, {ui.recLengthLabel, "REC Length"}, {ui.recStreamLabel, "REC stream"},
        {ui.preRecordLabel, "Pre-record"}, {ui.diskRemainLabel, "Disk reserve"}, {ui.alarmLenLabel, "Alarm duration"},
        {ui.coverOption, "Disk automatically covered"}, {ui.planRecOption, "Plan recording"},
        {ui.armOption, "Alarm arming"}, {ui.photoTypeLabel, "Capture Image Format"},
        {ui.photoPathLabel, "Capture save path"}, {ui.photoPathBtn, "Browse"},
        {ui.timeSyncOption, "Automatically Timer"}, {ui.syncTimeLabel, "Time"},
        {ui.timeoutLabel, "Connection Timeout"}, {ui.streamModeLabel, "Stream mode"}, {ui.realplayLabel, "Realplay"},
        {ui.tempUnitLabel, "Temperature unit"}, {ui.rotaLenLabel, "Rota interval"}, {ui.rotaTypeLabel, "Rota mode"},
        {ui.displayModeLabel, "Display mode"}, {ui.sizeLockOption, "Lock the window size"},
        {ui.connectOption, "Start automatically connect devices"}, {ui.logMonthLabel, "Save the log time"},
        {ui.autoLoginOption, "Enable automatic login"}, {ui.exitVerifyOption, "Exit the client needs to verify"},
        {ui.autoStartOption, "Start automatically"}, {ui.tempRepeatLabel, "Temperature sound plays"},
        {ui.driveMapBtn, "Map folder..."}, {ui.driveUnmapBtn, "Remove map"}, {ui.driveRefreshBtn, "Refresh"},
        {ui.saveBtn, "Save"}, {ui.defaultBtn, "Default"}, {ui.exportDataBtn, "Export Data"},
        {ui.importDataBtn, "Import Data"},
    };
    for (const auto& [widget, english] : texts) {
        if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(Tr(english));
        else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(Tr(english));
        else if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(Tr(english));
    }

    FillCounted(timeoutCombo_, kTimeoutItems, "Sec");
    FillCounted(recLengthCombo_, kRecLengthItems, "Min");
    FillCounted(logMonthCombo_, kLogWeeksItems, "Week");
    FillTexts(streamModeCombo_, {"Single-stream mode", "Dual-stream mode"});
    FillTexts(recStreamCombo_, {"Main stream", "Sub stream"});
    FillTexts(photoTypeCombo_, {"JPEG", "BMP"});
    FillTexts(realplayCombo_, {"Real time priority", "Fluent priority"});
    FillTexts(tempUnitCombo_, {"Celsius degree", "Fahrenheit degree"});
    for (int seconds : kTourIntervalSeconds)
        rotaLenCombo_->addItem(seconds < 60 ? QString::number(seconds) + " " + Tr("Sec")
                                            : QString::number(seconds / 60) + " " + Tr("Min"));
    FillTexts(rotaTypeCombo_, {"Single screen rota", "Multi-screen rota"});
    FillTexts(displayModeCombo_, {"DIRECT DRAW", "DIRECT 3D"});
    preRecordSpin_->setRange(kMinPreRecordSeconds, kMaxPreRecordSeconds);
    preRecordSpin_->setSuffix(" " + Tr("Sec"));
    diskRemainSpin_->setRange(kMinDiskReserveGiB, kMaxDiskReserveGiB);
    diskRemainSpin_->setSuffix(" GiB");
    syncHourSpin_->setRange(0, 23);
    syncMinuteSpin_->setRange(0, 59);
    syncSecondSpin_->setRange(0, 59);
    for (QSpinBox* s : {syncHourSpin_, syncMinuteSpin_, syncSecondSpin_}) s->setWrapping(true);
    // 0 silences the abnormal-temperature sound; the alarm itself is still raised and logged.
    tempRepeatSpin_->setRange(0, kMaxTemperatureRepeat);
    tempRepeatSpin_->setSpecialValueText(Tr("Off"));
    alarmLenEdit_->setToolTip(Tr("The alarm time range from 5 to 1800 seconds"));

    for (int k = 0; k < kSoundKindCount; ++k) {
        const QString name = kSoundNames[k];
        findChild<QLabel*>("sound" + name + "Label")->setText(Tr(kSoundTexts[k]));
        soundState_[k] = findChild<QLabel*>("sound" + name + "State");
        auto* test = findChild<QPushButton*>("test" + name + "Btn");
        test->setText(Tr("Test"));
        const int kind = k;  // TestSound's numbers; 3 is "any other value": disk full
        connect(test, &QPushButton::clicked, this, [this, kind] { TestSound(kind); });
    }

    driveList_->setColumnCount(kDriveColumns);
    driveList_->setHorizontalHeaderLabels({Tr("Drive"), Tr("Folder"), Tr("Type"), Tr("Free space"), Tr("Record")});
    driveList_->horizontalHeader()->setSectionResizeMode(kDriveFolder, QHeaderView::Stretch);
    driveList_->setRowCount(drives::kMaxDrives);
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        auto* letter = new QTableWidgetItem(QString(QChar(drives::LetterOf(n))) + ":");
        driveList_->setItem(n, kDriveLetter, letter);
        for (int c = kDriveFolder; c <= kDriveSpace; ++c) driveList_->setItem(n, c, new QTableWidgetItem());
        auto* record = new QTableWidgetItem();
        record->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        driveList_->setItem(n, kDriveRecord, record);
    }
    driveList_->item(0, kDriveType)->setText(Tr("Reading..."));
    connect(driveList_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != kDriveRecord) return;
        const int32_t bit = int32_t{1} << item->row();
        diskMask_ = item->checkState() == Qt::Checked ? (diskMask_ | bit) : (diskMask_ & ~bit);
    });
    connect(driveList_, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        if (column != kDriveRecord) MapSelectedDrive();
    });
    connect(autoStartOption_, &QCheckBox::clicked, this, [this] { autostartTouched_ = true; });

    connect(ui.photoPathBtn, &QPushButton::clicked, this, &UISystemSetupDlg::BrowsePhotoPath);
    connect(ui.driveMapBtn, &QPushButton::clicked, this, &UISystemSetupDlg::MapSelectedDrive);
    connect(ui.driveUnmapBtn, &QPushButton::clicked, this, &UISystemSetupDlg::UnmapSelectedDrive);
    connect(ui.driveRefreshBtn, &QPushButton::clicked, this, [this] { survey_->Request(); });
    connect(ui.saveBtn, &QPushButton::clicked, this, &UISystemSetupDlg::Save);
    connect(ui.defaultBtn, &QPushButton::clicked, this, &UISystemSetupDlg::RestoreDefaults);
    connect(ui.exportDataBtn, &QPushButton::clicked, this, &UISystemSetupDlg::ExportData);
    connect(ui.importDataBtn, &QPushButton::clicked, this, &UISystemSetupDlg::ImportData);

    // Settings saved elsewhere (the tour popup, the login memory, an import) show here too.
    events.Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent& e) {
        const auto& changed = std::get<ConfigChanged>(e);
        if (changed.part == ConfigPart::kSettings || changed.part == ConfigPart::kAll) Fill();
    });

    survey_ = std::make_unique<SystemSurveyWorker>([this] { PostWindowMessage(this, kMsgSurveyReady, 0, 0); });
    Fill();
    survey_->Request();
}

UISystemSetupDlg::~UISystemSetupDlg() {
    survey_.reset();  // joined before the window goes: its message never reaches a dead page
}

std::string UISystemSetupDlg::ConfigIni() const { return AppPath("config.ini"); }

void UISystemSetupDlg::OnShown() { survey_->Request(); }

bool UISystemSetupDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType() && static_cast<WindowMessage*>(e)->message() == kMsgSurveyReady) {
        ApplySurvey(survey_->Latest());
        return true;
    }
    return QWidget::event(e);
}

void UISystemSetupDlg::Fill() {
    ShowForm(FormFromSettings(store_.settings()));
    const std::string ini = ConfigIni();
    displayModeCombo_->setCurrentIndex(LoadDisplayMode(ini));
    sizeLockOption_->setChecked(LoadWindowSizeLock(ini).locked);
    SoundAttributes sounds = LoadSoundAttributes(ini);
    tempRepeatSpin_->setValue(sounds.TemperatureRepeat());
    autostartTouched_ = false;
    if (autostartKnown_) autoStartOption_->setChecked(autostartExisted_);
}

void UISystemSetupDlg::ShowForm(const SystemSettingsForm& f) {
    timeoutCombo_->setCurrentIndex(f.timeoutPosition);
    recLengthCombo_->setCurrentIndex(f.recLengthPosition);
    logMonthCombo_->setCurrentIndex(f.logWeeksPosition);
    streamModeCombo_->setCurrentIndex(f.streamMode);
    recStreamCombo_->setCurrentIndex(f.recStream);
    photoTypeCombo_->setCurrentIndex(f.photoType);
    realplayCombo_->setCurrentIndex(f.realplay);
    tempUnitCombo_->setCurrentIndex(f.tempUnit);
    rotaLenCombo_->setCurrentIndex(f.tourPosition);
    rotaTypeCombo_->setCurrentIndex(f.tourType);
    alarmLenEdit_->setText(QString::fromStdString(f.alarmSeconds));
    photoPathEdit_->setText(QString::fromStdString(f.photoPath));
    timeSyncOption_->setChecked(f.timeSync);
    syncHourSpin_->setValue(f.syncHour);
    syncMinuteSpin_->setValue(f.syncMinute);
    syncSecondSpin_->setValue(f.syncSecond);
    preRecordSpin_->setValue(f.preRecordSeconds);
    diskRemainSpin_->setValue(f.diskReserveGiB);
    coverOption_->setChecked(f.cover);
    planRecOption_->setChecked(f.planRecord);
    armOption_->setChecked(f.arming);
    autoLoginOption_->setChecked(f.autoLogin);
    connectOption_->setChecked(f.connectAtStart);
    exitVerifyOption_->setChecked(f.exitNeedsLogin);
    diskMask_ = f.diskMask;
    ShowDriveRecordBoxes();
}

SystemSettingsForm UISystemSetupDlg::CollectForm() const {
    SystemSettingsForm f;
    f.timeoutPosition = timeoutCombo_->currentIndex();
    f.recLengthPosition = recLengthCombo_->currentIndex();
    f.logWeeksPosition = logMonthCombo_->currentIndex();
    f.streamMode = streamModeCombo_->currentIndex();
    f.recStream = recStreamCombo_->currentIndex();
    f.photoType = photoTypeCombo_->currentIndex();
    f.realplay = realplayCombo_->currentIndex();
    f.tempUnit = tempUnitCombo_->currentIndex();
    f.tourPosition = rotaLenCombo_->currentIndex();
    f.tourType = rotaTypeCombo_->currentIndex();
    f.alarmSeconds = alarmLenEdit_->text().toStdString();
    f.photoPath = photoPathEdit_->text().toStdString();
    f.timeSync = timeSyncOption_->isChecked();
    f.syncHour = syncHourSpin_->value();
    f.syncMinute = syncMinuteSpin_->value();
    f.syncSecond = syncSecondSpin_->value();
    f.diskMask = diskMask_;
    f.preRecordSeconds = preRecordSpin_->value();
    f.diskReserveGiB = diskRemainSpin_->value();
    f.cover = coverOption_->isChecked();
    f.planRecord = planRecOption_->isChecked();
    f.arming = armOption_->isChecked();
    f.autoLogin = autoLoginOption_->isChecked();
    f.connectAtStart = connectOption_->isChecked();
    f.exitNeedsLogin = exitVerifyOption_->isChecked();
    return f;
}

void UISystemSetupDlg::ShowDriveRecordBoxes() {
    filling_ = true;
    for (int n = 0; n < drives::kMaxDrives; ++n)
        driveList_->item(n, kDriveRecord)->setCheckState((diskMask_ >> n) & 1 ? Qt::Checked : Qt::Unchecked);
    filling_ = false;
}

void UISystemSetupDlg::ApplySurvey(const SystemSurvey& survey) {
    if (survey.serial == 0) return;
    shownSurvey_ = survey.serial;
    filling_ = true;
    for (const DriveRow& row : survey.drives) {
        const int n = row.letter - 'C';
        if (n < 0 || n >= drives::kMaxDrives) continue;
        driveList_->item(n, kDriveFolder)->setText(QString::fromStdString(row.directory));
        driveList_->item(n, kDriveType)->setText(Tr(DriveTypeText(row)));
        driveList_->item(n, kDriveSpace)->setText(
            row.spaceKnown ? GiB(row.freeBytes) + " / " + GiB(row.totalBytes) + " GiB" : QString());
    }
    filling_ = false;
    for (int k = 0; k < kSoundKindCount; ++k) {
        QString file = SoundFileName(static_cast<SoundKind>(k));
        soundState_[k]->setText(survey.soundFilePresent[k] ? file : file + " (" + Tr("missing") + ")");
    }
    autostartExisted_ = survey.autostart;
    if (!autostartKnown_ || !autostartTouched_) autoStartOption_->setChecked(survey.autostart);
    autostartKnown_ = true;
}

bool UISystemSetupDlg::EnsureRight() { return CheckRight(this, kRightSystemSettings); }

bool UISystemSetupDlg::AdministratorOnly() {
    if (!EnsureRight()) return false;
    // The database holds every account's password: only an Administrator copies it out or in.
    if (CurrentSession().user().level != kLevelAdministrator) {
        ShowMessage(this, "Insufficient permissions to operate!", kMsgError);
        return false;
    }
    return true;
}

bool UISystemSetupDlg::Save() {
    if (!EnsureRight()) return false;
    SystemSettings settings = store_.settings();
    if (const char* refusal = SettingsFromForm(CollectForm(), &settings)) {
        ShowMessage(this, refusal, kMsgError);
        return false;
    }
    // config.ini first: the settings' change notice tells the main window to read it again.
    const std::string ini = ConfigIni();
    bool ok = SaveDisplayMode(ini, displayModeCombo_->currentIndex());
    WindowSizeLock stored = LoadWindowSizeLock(ini);
    if (sizeLockOption_->isChecked()) {
        // Locked at the size the window has now (a window too small to be one keeps the stored).
        WindowSizeLock lock{true, window()->width(), window()->height()};
        if (lock.width < 320 || lock.height < 240) lock = WindowSizeLock{true, stored.width, stored.height};
        ok = SaveWindowSizeLock(ini, lock) && ok;
    } else if (stored.locked) {
        stored.locked = false;
        ok = SaveWindowSizeLock(ini, stored) && ok;
    }
    SoundAttributes sounds = LoadSoundAttributes(ini);
    sounds.words[0] = 1;
    sounds.words[6] = tempRepeatSpin_->value();
    ok = SaveSoundAttributes(ini, sounds) && ok;
    if (ok && sounds_.setTemperatureRepeat) sounds_.setTemperatureRepeat(tempRepeatSpin_->value());
    ok = ok && store_.SaveSettings(settings, false) == 0;
    if (!ok) {
        ShowMessage(this, "Failed to save!", kMsgError);
        return false;
    }
    log_.LogWrite(kLogOperate, kLogSetSystemParameters, -1, -1, "", CurrentSession().user().userName);

    if (autostartKnown_ && autoStartOption_->isChecked() != autostartExisted_) {
        const bool wanted = autoStartOption_->isChecked();
        if (SetAutostart(wanted) != 0) {
            ShowMessage(this,
                        wanted ? "Registration failed, Please stop firewall or antivirus software!"
                               : "UnRegistration failed, Please stop firewall or antivirus software!",
                        kMsgError);
        } else {
            autostartExisted_ = wanted;
        }
        autostartTouched_ = false;
    }
    ShowMessage(this, "Successfully saved!", kMsgComplete);
    survey_->Request();
    return true;
}

bool UISystemSetupDlg::RestoreDefaults() {
    if (!EnsureRight()) return false;
    if (!ShowMessage(this, "Do you want to restore the default settings?", kMsgAdvice)) return false;
    if (store_.SaveSettings(store_.settings(), true) != 0) {
        ShowMessage(this, "Failed to save!", kMsgError);
        return false;
    }
    log_.LogWrite(kLogOperate, kLogDefaultSystemParameters, -1, -1, "", CurrentSession().user().userName);
    Fill();
    ShowMessage(this, "Successfully saved!", kMsgComplete);
    return true;
}

QString UISystemSetupDlg::AskSaveFile(const QString& title, const QString& suggestedName) {
    if (fileHook_) return fileHook_(title);
    const QString cwd = QDir::currentPath();
    QString path = QFileDialog::getSaveFileName(this, title, QDir::home().filePath(suggestedName),
                                                "bak Files(*.bak)");
    QDir::setCurrent(cwd);
    return path;
}

QString UISystemSetupDlg::AskOpenFile(const QString& title) {
    if (fileHook_) return fileHook_(title);
    const QString cwd = QDir::currentPath();
    QString path = QFileDialog::getOpenFileName(this, title, QDir::homePath(), "bak Files(*.bak)");
    QDir::setCurrent(cwd);
    return path;
}

QString UISystemSetupDlg::AskFolder(const QString& title, const QString& start) {
    if (fileHook_) return fileHook_(title);
    return QFileDialog::getExistingDirectory(this, title, start.isEmpty() ? QDir::homePath() : start);
}

void UISystemSetupDlg::ExportData() {
    if (!AdministratorOnly()) return;
    QString path = AskSaveFile(Tr("backup file"), QString::fromStdString(BackupFileName(clockSnapshot())));
    if (path.isEmpty()) return;
    if (!path.endsWith(".bak", Qt::CaseInsensitive)) path += ".bak";
    if (::ocv::ExportData(AppPath(kLiveDatabaseName), path.toStdString()) != 0) {
        ShowMessage(this, Tr("Export failed!") + "\n" + path, QString(), kMsgError);
        return;
    }
    ShowMessage(this, "Export successful", kMsgComplete);
}

void UISystemSetupDlg::ImportData() {
    if (!AdministratorOnly()) return;
    const QString path = AskOpenFile(Tr("Open file"));
    if (path.isEmpty()) return;
    // Checked now, read-only, so a wrong file is named at once rather than at the next start.
    DatabaseCheck check;
    if (!OpenConfigDatabase(path.toStdString(), &check, true)) {
        ShowMessage(this, Tr("This file is not a configuration database!") + "\n" + path, QString(), kMsgError);
        return;
    }
    if (::ocv::ImportData(path.toStdString(), AppDir()) != 0) {
        ShowMessage(this, Tr("Import failed!") + "\n" + path, QString(), kMsgError);
        return;
    }
    ShowMessage(this, "Import successful, please restart the system", kMsgComplete);
}

int UISystemSetupDlg::SelectedDriveIndex() const {
    const int row = driveList_->currentRow();
    if (row < 0 || row >= drives::kMaxDrives || driveList_->selectedItems().isEmpty()) return -1;
    return row;
}

void UISystemSetupDlg::MapSelectedDrive() {
    if (!EnsureRight()) return;
    const int n = SelectedDriveIndex();
    if (n < 0) {
        ShowMessage(this, "Please select a drive!", kMsgWarning);
        return;
    }
    const char letter = drives::LetterOf(n);
    const QString chosen =
        AskFolder(Tr("Folder of drive") + " " + QChar(letter) + ":", driveList_->item(n, kDriveFolder)->text());
    if (chosen.isEmpty()) return;
    if (const char* refusal = MapDrive(letter, chosen.toStdString())) {
        ShowMessage(this, Tr(refusal) + "\n" + chosen, QString(), kMsgError);
        return;
    }
    survey_->Request();
}

void UISystemSetupDlg::UnmapSelectedDrive() {
    if (!EnsureRight()) return;
    const int n = SelectedDriveIndex();
    if (n < 0) {
        ShowMessage(this, "Please select a drive!", kMsgWarning);
        return;
    }
    if (const char* refusal = UnmapDrive(drives::LetterOf(n))) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    // A letter without a folder records nothing: its box goes with it (saved with the rest).
    diskMask_ &= ~(int32_t{1} << n);
    ShowDriveRecordBoxes();
    survey_->Request();
}

void UISystemSetupDlg::TestSound(int kind) {
    if (sounds_.test) sounds_.test(kind);
}

void UISystemSetupDlg::BrowsePhotoPath() {
    const QString chosen = AskFolder(Tr("Capture save path"), QString());
    if (!chosen.isEmpty()) photoPathEdit_->setText(chosen);
}

}  // namespace ocv
