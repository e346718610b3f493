#pragma once
// The user management page (its account form is UIModifyDlg in account mode).
#include <QDialog>
#include <QWidget>
#include <functional>

#include "setup/modify_dlg.h"
#include "store/records.h"
#include "widgets/page.h"

class QTableWidget;

namespace ocv {

class ConfigStore;
class LogWriter;

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
