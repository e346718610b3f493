// The system settings page as an operator uses it: the record through its lists and their
// clamps, the refused alarm duration, restore defaults, the settings kept in config.ini, the
// alarm sound tests, the drive map (a missing folder is refused, never created) and the
// whole-database export and import, round trip included.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <filesystem>

#include "platform/autostart.h"
#include "platform/drives.h"
#include "platform/profile.h"
#include "setup/system_display_config.h"
#include "setup/system_setup_page.h"
#include "store/config_files.h"
#include "store/pending_import.h"
#include "store/text_field.h"
#include "tests/setup/setup_test_support.h"
#include "widgets/event_bridge.h"

namespace fs = std::filesystem;
using namespace ocv;
using ocv::test::ShellFixture;

namespace {

constexpr int kLogSetSystemParameters = 27;
constexpr int kLogDefaultSystemParameters = 28;

// A logged-in administrator, the page on the fixture's store, and the sound tests it asks for.
struct PageRig {
    explicit PageRig(ShellFixture& f) : fixture(f), bridge(f.service->hub()) {
        SetAutostartDirForTesting(f.dir / "autostart");
        LogInAs(f.store().user(f.SlotOf("admin")));
        AlarmSoundControls sounds{[this](int kind) { tested.push_back(kind); },
                                  [this](int plays) { temperaturePlays = plays; }};
        page = std::make_unique<UISystemSetupDlg>(f.store(), f.service->log(), bridge, sounds, nullptr);
        page->SetFileDialogHookForTesting([this](const QString& title) {
            titles << title;
            return chosen;
        });
    }
    ~PageRig() {
        page.reset();
        SetAutostartDirForTesting("");
    }
    template <class W>
    W* Find(const char* name) const {
        W* w = page->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Until a survey taken after this call is shown (one already running does not count).
    bool WaitForSurvey() {
        const int serial = page->RequestSurvey();
        return test::WaitFor([&] { return page->surveySerial() >= serial; });
    }
    void SelectDrive(char letter) {
        page->driveList()->setCurrentCell(letter - 'C', 0);
    }

    ShellFixture& fixture;
    EventBridge bridge;
    std::unique_ptr<UISystemSetupDlg> page;
    std::vector<int> tested;
    int temperaturePlays = 0;
    QString chosen;  // what the file and folder dialogs answer
    QStringList titles;
};

}  // namespace

TEST(SystemSetupPage, ListsShowTheRecordClampedAndSavingWritesWhatTheyShow) {
    ShellFixture f;
    ASSERT_TRUE(f.ok);
    SystemSettings s = f.store().settings();
    s.RECLEN = 500;
    s.LOGMONTH = 0;
    s.PHOTOTYPE = 2;
    s.CHECKTIME = 90000;
    s.ROTALEN = 50;
    s.netPriority = 1;
    s.tempUnit = 1;
    ASSERT_EQ(f.store().SaveSettings(s, false), 0);

    PageRig rig(f);
    EXPECT_EQ(rig.Find<QComboBox>("recLengthCombo")->currentIndex(), 119);
    EXPECT_EQ(rig.Find<QComboBox>("recLengthCombo")->currentText(), "120 Min");
    EXPECT_EQ(rig.Find<QComboBox>("logMonthCombo")->currentText(), "1 Week");
    EXPECT_EQ(rig.Find<QComboBox>("photoTypeCombo")->currentIndex(), 1);
    EXPECT_EQ(rig.Find<QSpinBox>("syncHourSpin")->value(), 23);
    EXPECT_EQ(rig.Find<QComboBox>("realplayCombo")->currentText(), "Fluent priority");
    EXPECT_EQ(rig.Find<QComboBox>("tempUnitCombo")->currentText(), "Fahrenheit degree");

    ASSERT_TRUE(rig.page->Save());
    EXPECT_EQ(f.Texts().back(), "Successfully saved!");
    // Read back from the database, not from memory.
    ASSERT_EQ(f.store().LoadSettings(), 0);
    const SystemSettings& saved = f.store().settings();
    EXPECT_EQ(saved.RECLEN, 120);
    EXPECT_EQ(saved.LOGMONTH, 1);
    EXPECT_EQ(saved.PHOTOTYPE, 1);
    EXPECT_EQ(saved.CHECKTIME, 86399);
    EXPECT_EQ(saved.ROTALEN, 40);
    EXPECT_EQ(saved.netPriority, 1);
    EXPECT_EQ(saved.tempUnit, 1);
    EXPECT_EQ(test::CountOf(test::OperationLog(f), kLogSetSystemParameters), 1);
}

TEST(SystemSetupPage, ChosenListPositionsAndTimeAreStoredAsTheirValues) {
    ShellFixture f;
    PageRig rig(f);
    rig.Find<QComboBox>("timeoutCombo")->setCurrentIndex(179);
    rig.Find<QComboBox>("recLengthCombo")->setCurrentIndex(0);
    rig.Find<QComboBox>("logMonthCombo")->setCurrentIndex(3);
    rig.Find<QComboBox>("streamModeCombo")->setCurrentIndex(0);
    rig.Find<QComboBox>("recStreamCombo")->setCurrentIndex(1);
    rig.Find<QComboBox>("rotaLenCombo")->setCurrentIndex(4);
    rig.Find<QCheckBox>("timeSyncOption")->setChecked(true);
    rig.Find<QSpinBox>("syncHourSpin")->setValue(1);
    rig.Find<QSpinBox>("syncMinuteSpin")->setValue(2);
    rig.Find<QSpinBox>("syncSecondSpin")->setValue(3);
    rig.Find<QCheckBox>("exitVerifyOption")->setChecked(true);
    // The Record boxes of the drive list are the DISK bits: C is bit 0, Z bit 23.
    QTableWidget* drives = rig.page->driveList();
    for (int row = 0; row < drives->rowCount(); ++row) drives->item(row, 4)->setCheckState(Qt::Unchecked);
    drives->item('E' - 'C', 4)->setCheckState(Qt::Checked);
    drives->item('Z' - 'C', 4)->setCheckState(Qt::Checked);
    rig.Find<QPushButton>("saveBtn")->click();
    EXPECT_EQ(f.Texts().back(), "Successfully saved!");

    ASSERT_EQ(f.store().LoadSettings(), 0);
    const SystemSettings& s = f.store().settings();
    EXPECT_EQ(s.TIMEOUT, 180);
    EXPECT_EQ(s.RECLEN, 1);
    EXPECT_EQ(s.LOGMONTH, 4);
    EXPECT_EQ(s.SHOWMODE, 0);
    EXPECT_EQ(s.RECSTREAM, 1);
    EXPECT_EQ(s.ROTALEN, 300);
    EXPECT_EQ(s.ENABLETIME, 1);
    EXPECT_EQ(s.CHECKTIME, 3723);
    EXPECT_EQ(s.ENABLEOSD, 1);
    EXPECT_EQ(s.DISK, (1 << 2) | (1 << 23));
}

TEST(SystemSetupPage, AlarmDurationOutOfRangeIsRefusedAndNothingIsSaved) {
    ShellFixture f;
    PageRig rig(f);
    QLineEdit* alarm = rig.Find<QLineEdit>("alarmLenEdit");
    QComboBox* recLength = rig.Find<QComboBox>("recLengthCombo");
    const std::string ini = f.dir / "config.ini";
    for (const char* typed : {"4", "1801", "", "ten"}) {
        f.messages.clear();
        alarm->setText(typed);
        recLength->setCurrentIndex(59);
        rig.Find<QComboBox>("displayModeCombo")->setCurrentIndex(1);
        EXPECT_FALSE(rig.page->Save()) << typed;
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_EQ(f.messages[0].text, "The alarm time range from 5 to 1800 seconds");
        EXPECT_EQ(f.messages[0].kind, kMsgError);
        ASSERT_EQ(f.store().LoadSettings(), 0);
        EXPECT_EQ(f.store().settings().RECLEN, 5) << typed;
        EXPECT_EQ(LoadDisplayMode(ini), 0) << "config.ini is not written either";
    }
    EXPECT_EQ(test::CountOf(test::OperationLog(f), kLogSetSystemParameters), 0);
    for (const char* typed : {"5", "1800"}) {
        alarm->setText(typed);
        EXPECT_TRUE(rig.page->Save()) << typed;
        ASSERT_EQ(f.store().LoadSettings(), 0);
        EXPECT_EQ(f.store().settings().ALARMLEN, std::atoi(typed));
    }
}

TEST(SystemSetupPage, RestoreDefaultsWritesTheDefaultsAndAsksFirst) {
    ShellFixture f;
    SystemSettings s = f.store().settings();
    s.ROTALEN = 60;
    s.DISK = 0x10;
    s.ALARMLEN = 300;
    s.RECTYPE = 3;
    ASSERT_EQ(f.store().SaveSettings(s, false), 0);
    PageRig rig(f);
    f.answer = false;  // Cancel: nothing happens
    EXPECT_FALSE(rig.page->RestoreDefaults());
    EXPECT_EQ(f.store().settings().ROTALEN, 60);
    f.answer = true;
    ASSERT_TRUE(rig.page->RestoreDefaults());
    ASSERT_EQ(f.store().LoadSettings(), 0);
    EXPECT_EQ(f.store().settings().ROTALEN, 20);
    EXPECT_EQ(f.store().settings().DISK, 2);
    EXPECT_EQ(f.store().settings().ALARMLEN, 5);
    EXPECT_EQ(f.store().settings().RECTYPE, 3);
    EXPECT_EQ(rig.Find<QLineEdit>("alarmLenEdit")->text(), "5");
    EXPECT_EQ(rig.Find<QComboBox>("rotaLenCombo")->currentIndex(), 0);
    EXPECT_EQ(rig.page->driveList()->item(1, 4)->checkState(), Qt::Checked);  // D:
    EXPECT_EQ(test::CountOf(test::OperationLog(f), kLogDefaultSystemParameters), 1);
}

TEST(SystemSetupPage, DisplayModeSizeLockAndSoundsGoToConfigIniAndTestButtonsPlayEachKind) {
    ShellFixture f;
    PageRig rig(f);
    const std::string ini = f.dir / "config.ini";
    rig.Find<QComboBox>("displayModeCombo")->setCurrentIndex(1);
    rig.Find<QCheckBox>("sizeLockOption")->setChecked(true);
    rig.Find<QSpinBox>("tempRepeatSpin")->setValue(3);
    ASSERT_TRUE(rig.page->Save());
    EXPECT_EQ(LoadDisplayMode(ini), 1);
    char drawMode[16] = {};
    GetPrivateProfileStringA("CONFIG", "DRAWMODE", "", drawMode, sizeof drawMode, ini.c_str());
    EXPECT_STREQ(drawMode, "ON");
    EXPECT_TRUE(LoadWindowSizeLock(ini).locked);
    EXPECT_EQ(LoadSoundAttributes(ini).words[0], 1);
    EXPECT_EQ(LoadSoundAttributes(ini).TemperatureRepeat(), 3);
    EXPECT_EQ(rig.temperaturePlays, 3);

    rig.Find<QCheckBox>("sizeLockOption")->setChecked(false);
    rig.Find<QComboBox>("displayModeCombo")->setCurrentIndex(0);
    rig.Find<QSpinBox>("tempRepeatSpin")->setValue(0);  // "Off": no temperature sound at all
    ASSERT_TRUE(rig.page->Save());
    EXPECT_FALSE(LoadWindowSizeLock(ini).locked);
    EXPECT_EQ(LoadDisplayMode(ini), 0);
    EXPECT_EQ(LoadSoundAttributes(ini).TemperatureRepeat(), 0);
    EXPECT_EQ(LoadSoundAttributes(ini).words[0], 1) << "the block stays configured";
    EXPECT_EQ(rig.temperaturePlays, 0);

    for (const char* button : {"testMotionBtn", "testInputBtn", "testVideoLossBtn", "testDiskFullBtn",
                               "testTemperatureBtn"})
        rig.Find<QPushButton>(button)->click();
    EXPECT_EQ(rig.tested, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(SystemSetupPage, StartAutomaticallyWritesAndRemovesTheAutostartEntry) {
    ShellFixture f;
    PageRig rig(f);
    ASSERT_TRUE(rig.WaitForSurvey());
    QCheckBox* box = rig.Find<QCheckBox>("autoStartOption");
    EXPECT_FALSE(box->isChecked());
    box->click();
    ASSERT_TRUE(rig.page->Save());
    EXPECT_TRUE(fs::exists(f.dir / "autostart/ocuvant.desktop"));
    ASSERT_TRUE(rig.WaitForSurvey());
    EXPECT_TRUE(box->isChecked());
    box->click();
    ASSERT_TRUE(rig.page->Save());
    EXPECT_FALSE(fs::exists(f.dir / "autostart/ocuvant.desktop"));
}

TEST(SystemSetupPage, DriveMappedToAMissingFolderIsRefusedClearlyAndNothingIsCreated) {
    ShellFixture f;
    PageRig rig(f);
    const std::string ini = f.dir / "config.ini";
    const std::string iniBefore = test::ReadText(ini);
    const std::string missing = f.dir / "disks/E";

    rig.SelectDrive('E');
    rig.chosen = QString::fromStdString(missing);
    rig.page->MapSelectedDrive();
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].kind, kMsgError);
    EXPECT_TRUE(f.messages[0].text.startsWith("The folder does not exist. Create it first, then choose it again."));
    EXPECT_TRUE(f.messages[0].text.contains(QString::fromStdString(missing)));
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(f.dir / "disks"));
    EXPECT_EQ(test::ReadText(ini), iniBefore);
    EXPECT_EQ(drives::DriveDirectory('E'), "");

    // A file is not a folder either.
    test::WriteText(f.dir / "plain", "x");
    rig.chosen = QString::fromStdString(f.dir / "plain");
    rig.page->MapSelectedDrive();
    EXPECT_EQ(f.messages.back().text.section('\n', 0, 0), "This is a file, not a folder!");

    // An existing folder is mapped; C and D keep theirs once the section exists.
    fs::create_directories(missing);
    rig.chosen = QString::fromStdString(missing + "/");
    f.messages.clear();
    rig.page->MapSelectedDrive();
    EXPECT_TRUE(f.messages.empty()) << f.Texts().join("|").toStdString();
    EXPECT_EQ(drives::DriveDirectory('E'), missing);
    EXPECT_NE(drives::DriveDirectory('C'), "");
    EXPECT_NE(drives::DriveDirectory('D'), "");
    ASSERT_TRUE(rig.WaitForSurvey());
    EXPECT_EQ(rig.page->driveList()->item(2, 1)->text().toStdString(), missing);
    EXPECT_FALSE(rig.page->driveList()->item(2, 3)->text().isEmpty()) << "free space shown";

    // The same folder under a second letter is refused.
    rig.SelectDrive('F');
    rig.page->MapSelectedDrive();
    EXPECT_EQ(f.messages.back().text.section('\n', 0, 0), "The folder is already mapped to another drive!");
    EXPECT_EQ(drives::DriveDirectory('F'), "");

    // Removing the map unticks the letter's recording box.
    rig.SelectDrive('E');
    rig.page->driveList()->item(2, 4)->setCheckState(Qt::Checked);
    rig.page->UnmapSelectedDrive();
    EXPECT_EQ(drives::DriveDirectory('E'), "");
    EXPECT_EQ(rig.page->driveList()->item(2, 4)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(fs::exists(missing)) << "the folder itself stays";
}

TEST(SystemSetupPage, ExportThenImportDataRoundTripsTheConfigurationAtTheNextStart) {
    ShellFixture f({{"127.0.0.1", 9, 4}});
    ASSERT_TRUE(f.ok);
    const std::string backup = f.dir / "backups/site";
    fs::create_directories(f.dir / "backups");
    {
        PageRig rig(f);
        rig.Find<QLineEdit>("alarmLenEdit")->setText("77");
        ASSERT_TRUE(rig.page->Save());
        rig.chosen = QString::fromStdString(backup);  // the ".bak" is added
        rig.page->ExportData();
        EXPECT_EQ(f.Texts().back(), "Export successful");
        ASSERT_TRUE(fs::exists(backup + ".bak"));
        EXPECT_EQ(rig.titles.back(), "backup file");

        // Changes after the backup...
        rig.Find<QLineEdit>("alarmLenEdit")->setText("99");
        ASSERT_TRUE(rig.page->Save());
        ASSERT_EQ(f.store().AddGroup("After the backup"), 0);

        // ...are undone by importing it: checked now, applied at the next start.
        rig.chosen = QString::fromStdString(backup + ".bak");
        rig.page->ImportData();
        EXPECT_EQ(f.Texts().back(), "Import successful, please restart the system");
        EXPECT_TRUE(fs::exists(f.dir / kPendingImportName));
    }
    LogOut();
    SetService(nullptr);
    f.service.reset();
    ASSERT_EQ(ApplyPendingImport(f.dir.str()), 1);
    f.service = std::make_unique<DeviceService>(f.dir / "QVXVMS.dat", f.dir / "Logx");
    SetService(f.service.get());
    EXPECT_EQ(f.store().settings().ALARMLEN, 77);
    ASSERT_EQ(f.store().groups().size(), 1u);
    EXPECT_EQ(FieldText(f.store().groups()[0].name), "Demo");
    EXPECT_FALSE(f.store().device(0).IsEmpty());
    EXPECT_FALSE(fs::exists(f.dir / kPendingImportName));
}

TEST(SystemSetupPage, ImportDataRefusesAFileThatIsNoDatabaseAndExportNeedsAnAdministrator) {
    ShellFixture f;
    PageRig rig(f);
    test::WriteText(f.dir / "junk.bak", std::string(4096, 'j'));
    rig.chosen = QString::fromStdString(f.dir / "junk.bak");
    rig.page->ImportData();
    EXPECT_TRUE(f.Texts().back().startsWith("This file is not a configuration database!"));
    EXPECT_FALSE(fs::exists(f.dir / kPendingImportName));

    // A Cancel in the dialog does nothing.
    f.messages.clear();
    rig.chosen.clear();
    rig.page->ImportData();
    rig.page->ExportData();
    EXPECT_TRUE(f.messages.empty());

    // An operator with the settings right but not an Administrator copies no database.
    bool rights[kRightCount] = {};
    rights[kRightSystemSettings] = true;
    const int slot = f.AddAccount("operator", "pw", 1, OptionFromBoxes(rights));
    ASSERT_GE(slot, 0);
    LogInAs(f.store().user(slot));
    rig.chosen = QString::fromStdString(f.dir / "out");
    rig.page->ExportData();
    EXPECT_EQ(f.Texts().back(), "Insufficient permissions to operate!");
    EXPECT_FALSE(fs::exists(f.dir / "out.bak"));
    // Settings themselves it may save.
    EXPECT_TRUE(rig.page->Save());
}
