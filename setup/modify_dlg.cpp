// The generic form window in account mode; the device mode is in modify_dlg_device.cpp.
#include "setup/modify_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "store/text_field.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "widgets/user_session.h"
#include "ui_UIModifyDlg.h"

namespace ocv {

namespace {
const char* const kBoxNames[kRightCount] = {
    "opUserExit",     "opUserConnChn",   "opUserPtz",  "opUserSnap",       "opUserRecord",
    "opUserTime",     "opUserTalk",      "opUserPlayback", "opUserDevConfig", "opUserDevSetup",
    "opUserTvWall",   "opUserEmap",      "opUserLoadDevice", "opUserSystem"};
const char* const kBoxTexts[kRightCount] = {
    "Exit System", "Disconnected channel", "PTZ control", "Capture", "REC", "Talk", "Check time",
    "Playback", "Camera Settings", "Device Config", "TV wall", "Map", "Load Device", "System Settings"};
}  // namespace

UIModifyDlg::UIModifyDlg(const UserInfo* editing, QWidget* parent) : QDialog(parent) { BuildAccountMode(editing); }

UIModifyDlg::~UIModifyDlg() {
    // A login test under way answers into this window: it ends first.
    if (probe_.joinable()) probe_.join();
}

void UIModifyDlg::BuildAccountMode(const UserInfo* editing) {
    adding_ = editing == nullptr;
    Ui::UIModifyDlg ui;  // the layout comes from skin/ui; the widgets belong to this dialog
    ui.setupUi(this);
    ui.formStack->setCurrentWidget(ui.accountPage);
    setWindowTitle(Tr(adding_ ? "Add" : "Modify"));
    name_ = ui.editUserName;
    pass_ = ui.editUserPass;
    confirm_ = ui.editUserCkPass;
    level_ = ui.comboUserLevel;
    all_ = ui.opLevelAll;
    for (int l = 0; l < 3; ++l) level_->addItem(Tr(LevelText(l)));
    all_->setText(Tr("All"));
    ui.nameLabel->setText(Tr("Username"));
    ui.passLabel->setText(Tr("Password"));
    ui.ckPassLabel->setText(Tr("Confirm"));
    ui.levelLabel->setText(Tr("User Type"));
    for (int n = 0; n < kRightCount; ++n) {
        boxes_[n] = findChild<QCheckBox*>(kBoxNames[n]);
        boxes_[n]->setText(Tr(kBoxTexts[n]));
    }
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    // The fields hold bytes of UTF-8, not characters: say so, and take no more.
    ui.limitLabel->setText(Tr("Username and password: at most 31 bytes each (31 plain letters or digits, "
                              "fewer accented or other characters)."));
    for (QLineEdit* edit : {name_, pass_, confirm_}) LimitToUtf8Bytes(edit, static_cast<int>(kMaxAccountTextBytes));
    QPushButton* okBtn = ui.okBtn;
    QPushButton* exitBtn = ui.exitBtn;

    if (editing) {
        result_ = *editing;
        name_->setText(QString::fromLocal8Bit(editing->userName));
        name_->setEnabled(false);  // the account name never changes
        // What the login checks against: a password an older version cut in the middle of a
        // character shows (and is saved again) without the broken character.
        const std::string_view password = CheckedPassword(*editing);
        pass_->setText(QString::fromUtf8(password.data(), static_cast<qsizetype>(password.size())));
        confirm_->setText(pass_->text());
        level_->setCurrentIndex(editing->level >= 0 && editing->level <= 2 ? editing->level : 2);
        for (int n = 0; n < kRightCount; ++n) boxes_[n]->setChecked((editing->option >> n) & 1);
        if (CurrentSession().user().level != kLevelAdministrator) {
            level_->setEnabled(false);
            all_->setEnabled(false);
            for (QCheckBox* b : boxes_) b->setEnabled(false);
        }
    } else {
        ApplyPreset(0);
    }
    connect(level_, &QComboBox::currentIndexChanged, this, [this](int l) {
        if (adding_) ApplyPreset(l);
    });
    connect(all_, &QCheckBox::clicked, this, [this](bool on) {
        for (QCheckBox* b : boxes_) b->setChecked(on);
    });
    connect(okBtn, &QPushButton::clicked, this, [this] {
        if (Collect()) accept();
    });
    connect(exitBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void UIModifyDlg::ApplyPreset(int level) {
    int32_t preset = LevelPreset(level);
    for (int n = 0; n < kRightCount; ++n) boxes_[n]->setChecked((preset >> n) & 1);
    all_->setChecked(preset == kAllRights);
}

bool UIModifyDlg::Collect() { return deviceMode_ ? CollectDevice() : CollectAccount(); }

bool UIModifyDlg::CollectAccount() {
    std::string name = name_->text().toStdString();
    std::string pass = pass_->text().toStdString();
    if (const char* refusal = ValidateAccountForm(name, pass, confirm_->text().toStdString())) {
        ShowMessage(this, refusal, kMsgError);
        return false;
    }
    bool checked[kRightCount];
    for (int n = 0; n < kRightCount; ++n) checked[n] = boxes_[n]->isChecked();
    if (adding_) CopyText(result_.userName, name);
    CopyText(result_.password, pass);
    result_.level = level_->currentIndex();
    result_.option = OptionFromBoxes(checked);
    return true;
}

}  // namespace ocv
