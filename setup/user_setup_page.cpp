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
#include "ui_UIUserSetupDlg.h"

namespace ocv {

namespace {
constexpr int kLogAddAccount = 24;
constexpr int kLogModifyAccount = 25;
// "Delete Account" in the log tables; 36 would read as "Stop manual REC".
constexpr int kLogDeleteAccount = 26;
}  // namespace

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
