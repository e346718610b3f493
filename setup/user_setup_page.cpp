#include "setup/user_setup_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "events/log_writer.h"
#include "store/config_store.h"
#include "events/log_record.h"
#include "base/lang.h"
#include "widgets/client_context.h"
#include "widgets/message_box.h"
#include "widgets/login_dialog.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "store/text_field.h"
#include "ui_UIModifyDlg.h"
#include "ui_UIUserSetupDlg.h"

namespace ocv {

namespace {
const char* const kBoxNames[kRightCount] = {
    "opUserExit",     "opUserConnChn",   "opUserPtz",  "opUserSnap",       "opUserRecord",
    "opUserTime",     "opUserTalk",      "opUserPlayback", "opUserDevConfig", "opUserDevSetup",
    "opUserTvWall",   "opUserEmap",      "opUserLoadDevice", "opUserSystem"};
const char* const kBoxTexts[kRightCount] = {
    "Exit System", "Disconnected channel", "PTZ control", "Capture", "REC", "Talk", "Check time",
    "Playback", "Camera Settings", "Device Config", "TV wall", "Map", "Load Device", "System Settings"};
constexpr int kLogAddAccount = 24;
constexpr int kLogModifyAccount = 25;
// "Delete Account" in the log tables; 36 would read as "Stop manual REC".
constexpr int kLogDeleteAccount = 26;
}  // namespace

UIModifyDlg::UIModifyDlg(const UserInfo* editing, QWidget* parent) : QDialog(parent), adding_(editing == nullptr) {
    Ui::UIModifyDlg ui;  // the layout comes from skin/ui; the widgets belong to this dialog
    ui.setupUi(this);
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

bool UIModifyDlg::Collect() {
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

UIUserSetupDlg::UIUserSetupDlg(ConfigStore& store, LogWriter& log, QWidget* parent)
    : QWidget(parent), store_(store), log_(log) {
    Ui::UIUserSetupDlg ui;
    ui.setupUi(this);
    list_ = ui.userList;
    list_->setHorizontalHeaderLabels({Tr("Index"), Tr("Username"), Tr("Type")});
    QPushButton* addBtn = ui.addBtn;
    QPushButton* editBtn = ui.editBtn;
    QPushButton* delBtn = ui.delBtn;
    addBtn->setText(Tr("Add"));
    editBtn->setText(Shared().modify.empty() ? Tr("Modify") : QString::fromStdString(Shared().modify));
    delBtn->setText(Shared().remove.empty() ? Tr("Delete") : QString::fromStdString(Shared().remove));
    connect(addBtn, &QPushButton::clicked, this, &UIUserSetupDlg::AddAccount);
    connect(editBtn, &QPushButton::clicked, this, &UIUserSetupDlg::ModifyAccount);
    connect(delBtn, &QPushButton::clicked, this, &UIUserSetupDlg::DeleteAccount);
    Refresh();
}

void UIUserSetupDlg::Refresh() {
    list_->setRowCount(0);
    const ConfigStore& store = store_;
    for (int slot = 0; slot < kMaxUsers; ++slot) {
        const UserInfo& u = store.user(slot);
        if (u.userName[0] == '\0') continue;
        int row = list_->rowCount();
        list_->insertRow(row);
        auto* index = new QTableWidgetItem(QString::number(row + 1));
        index->setData(Qt::UserRole, slot);
        list_->setItem(row, 0, index);
        list_->setItem(row, 1, new QTableWidgetItem(QString::fromLocal8Bit(u.userName)));
        list_->setItem(row, 2, new QTableWidgetItem(Tr(LevelText(u.level))));
    }
}

int UIUserSetupDlg::SelectedSlot() const {
    int row = list_->currentRow();
    if (row < 0 || !list_->item(row, 0) || list_->selectedItems().isEmpty()) return -1;
    return list_->item(row, 0)->data(Qt::UserRole).toInt();
}

bool UIUserSetupDlg::EnsureLoggedIn() {
    // Nobody logged in (the page outlived a logout): whoever logs in now is who is checked.
    return CurrentSession().LoggedIn() || ShowLoginDialog(this, true);
}

bool UIUserSetupDlg::RunForm(UIModifyDlg& form) {
    if (formHook_) return formHook_(form) && form.Collect();
    return form.exec() == QDialog::Accepted;
}

void UIUserSetupDlg::AddAccount() {
    if (!EnsureLoggedIn()) return;
    if (CurrentSession().user().level != kLevelAdministrator) {
        ShowMessage(this, "Insufficient permissions!", kMsgError);
        return;
    }
    UIModifyDlg form(nullptr, this);
    if (!RunForm(form)) return;
    if (store_.AddUser(form.result()) != 0) {
        ShowMessage(this, "Create Account Failed!", kMsgError);
        return;
    }
    log_.LogWrite(kLogOperate, kLogAddAccount, -1, -1, form.result().userName,
                            CurrentSession().user().userName);
    ShowMessage(this, "New account successfully!", kMsgComplete);
    Refresh();
}

void UIUserSetupDlg::ModifyAccount() {
    if (!EnsureLoggedIn()) return;
    int slot = SelectedSlot();
    if (slot < 0) {
        ShowMessage(this, "Please select the account you want to modify!", kMsgWarning);
        return;
    }
    UserInfo account = store_.user(slot);
    // Only an Administrator changes other accounts; anybody else only their own password.
    if (const char* refusal = ModifyAccountRefusal(CurrentSession(), account)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    UIModifyDlg form(&account, this);
    if (!RunForm(form)) return;
    // Checked again for what is written: the session may have changed while the form was open,
    // and a form's disabled boxes are no guarantee of what it returns.
    if (const char* refusal = ModifyAccountRefusal(CurrentSession(), account)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    const UserInfo change = AccountChange(CurrentSession(), account, form.result());
    if (store_.ModifyUser(change) != 0) {
        ShowMessage(this, "Modify account failed!", kMsgError);
        return;
    }
    if (change.id == CurrentSession().user().id) CurrentSession().SetPassword(change.password);
    log_.LogWrite(kLogOperate, kLogModifyAccount, -1, -1, change.userName,
                            CurrentSession().user().userName);
    ShowMessage(this, "Edit account successfully!", kMsgComplete);
    Refresh();
}

void UIUserSetupDlg::DeleteAccount() {
    if (!EnsureLoggedIn()) return;
    if (CurrentSession().user().level != kLevelAdministrator) {
        ShowMessage(this, "Insufficient permissions!", kMsgError);
        return;
    }
    int slot = SelectedSlot();
    if (slot < 0) {
        ShowMessage(this, "Please select the account you want to delete!", kMsgWarning);
        return;
    }
    if (!ShowMessage(this, "Do you want to delete your account?", kMsgAdvice)) return;
    UserInfo account = store_.user(slot);
    if (const char* refusal = DeleteAccountRefusal(CurrentSession(), account)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    if (store_.DeleteUser(account) == 0)
        log_.LogWrite(kLogOperate, kLogDeleteAccount, -1, -1, account.userName,
                                CurrentSession().user().userName);
    Refresh();
}

}  // namespace ocv
