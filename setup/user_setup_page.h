#pragma once
// The user management page and the account form.
#include <QDialog>
#include <QWidget>
#include <functional>

#include "store/records.h"
#include "widgets/page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;

namespace ocv {

class ConfigStore;
class LogWriter;

// The account form (account mode): a new account when editing is null, else that account.
class UIModifyDlg : public QDialog {
    Q_OBJECT
public:
    UIModifyDlg(const UserInfo* editing, QWidget* parent);
    // Validates and fills result(); shows the refusal and returns false otherwise.
    bool Collect();
    const UserInfo& result() const { return result_; }

private:
    void ApplyPreset(int level);

    bool adding_;
    UserInfo result_{};
    QLineEdit* name_;
    QLineEdit* pass_;
    QLineEdit* confirm_;
    QComboBox* level_;
    QCheckBox* boxes_[14];
    QCheckBox* all_;
};

class UIUserSetupDlg : public QWidget, public Page {
    Q_OBJECT
public:
    UIUserSetupDlg(ConfigStore& store, LogWriter& log, QWidget* parent);
    QWidget* Widget() override { return this; }
    void Refresh();
    // The buttons' work; the form is asked for through formHook in tests.
    void AddAccount();
    void ModifyAccount();
    void DeleteAccount();
    // Tests fill the account form themselves: return false for Cancel.
    using FormHook = std::function<bool(UIModifyDlg& form)>;
    void SetFormHookForTesting(FormHook hook) { formHook_ = std::move(hook); }
    QTableWidget* list() const { return list_; }

private:
    bool RunForm(UIModifyDlg& form);
    bool EnsureLoggedIn();
    int SelectedSlot() const;

    ConfigStore& store_;
    LogWriter& log_;
    QTableWidget* list_;
    FormHook formHook_;
};

}  // namespace ocv
