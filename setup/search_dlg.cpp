#include "setup/search_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimerEvent>
#include <cstring>

#include "base/trace.h"
#include "setup/config_records.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "ui_UIPermissionDlg.h"
#include "ui_UISearchDlg.h"

namespace ocv {
namespace {

// A found device on its way from the library's thread to the window.
class FoundDeviceMessage : public WindowMessage {
public:
    explicit FoundDeviceMessage(std::unique_ptr<QVX_FOUND_DEVICE> record)
        : WindowMessage(kMsgFoundDevice, reinterpret_cast<intptr_t>(record.get()), 0), record_(std::move(record)) {}

private:
    std::unique_ptr<QVX_FOUND_DEVICE> record_;  // freed with the message, delivered or not
};

// What the operator last typed as a unicast address, for the next search window.
QString& LastTarget() {
    static QString target;
    return target;
}

QTableWidgetItem* Cell(const QString& text) { return new QTableWidgetItem(text); }

}  // namespace

UISearchDlg::UISearchDlg(int mode, QWidget* parent)
    : QDialog(parent),
      mode_(mode),
      entries_(SearchModeEntries(mode)),
      run_([this](const QVX_FOUND_DEVICE& record) { OnFound(record); }) {
    Ui::UISearchDlg ui;
    ui.setupUi(this);
    list_ = ui.devList;
    combo_ = ui.protcolCombo;
    target_ = ui.targetEdit;
    searchBtn_ = ui.searchBtn;
    settingBtn_ = ui.settingBtn;
    okBtn_ = ui.okBtn;
    exitBtn_ = ui.exitBtn;
    closeBtn_ = ui.closeBtn;
    applyBtn_ = ui.hostCfgBtn;
    selectOption_ = ui.selectOption;
    progressBar_ = ui.searchProgress;
    content_ = ui.contentHor;
    progressPanel_ = ui.progressHor;
    settingsPanel_ = ui.devInfoHor;
    idEdit_ = ui.idEdit;
    hostEdit_ = ui.hostEdit;
    portEdit_ = ui.portEdit;
    maskEdit_ = ui.maskEdit;
    gatewayEdit_ = ui.gatewayEdit;
    dns1Edit_ = ui.fdnsEdit;
    dns2Edit_ = ui.sdnsEdit;
    macEdit_ = ui.macEdit;

    bool onvif = mode == kSearchModeOnvif;
    setWindowTitle(Tr(onvif ? "Onvif device search" : "Show online device"));
    ui.titleLabel->setText(windowTitle());
    closeBtn_->setText(QStringLiteral("\u2715"));
    list_->setHorizontalHeaderLabels({"", Tr("No."), Tr("Address"), Tr("Port"), Tr("Version"), Tr("MAC address"), Tr("Channel")});
    const int widths[] = {30, 30, 140, 40, 160, 110, 50};
    for (int c = 0; c < 7; ++c) list_->setColumnWidth(c, widths[c]);
    for (const SearchProtocolEntry& e : entries_) combo_->addItem(Tr(e.text), e.protocol);
    combo_->setVisible(SearchModeShowsCombo(mode) && !entries_.empty());
    ui.targetLabel->setText(Tr("Unicast address"));
    target_->setPlaceholderText("192.168.1.10[:port]");
    target_->setText(LastTarget());
    searchBtn_->setText(Tr("Search"));
    settingBtn_->setText(Tr("Setup"));
    selectOption_->setText(Tr("Select/Clear All"));
    okBtn_->setText(Tr("OK"));
    exitBtn_->setText(Tr("Cancel"));
    applyBtn_->setText(Tr("Modify"));
    ui.idLabel->setText(Tr("Device ID"));
    ui.hostLabel->setText(Tr("Address"));
    ui.portLabel->setText(Tr("Port"));
    ui.maskLabel->setText(Tr("Subnet mask"));
    ui.gatewayLabel->setText(Tr("Gateway"));
    ui.fdnsLabel->setText(Tr("Preferred DNS"));
    ui.sdnsLabel->setText(Tr("Alternate DNS"));
    ui.macLabel->setText(Tr("MAC address"));
    progressBar_->setRange(0, 100);
    settingsPanel_->hide();

    connect(searchBtn_, &QPushButton::clicked, this, &UISearchDlg::StartSearch);
    connect(settingBtn_, &QPushButton::clicked, this, [this] {
        if (SettingsShown()) {
            LeaveSettings();
            return;
        }
        int row = SelectedRow();
        if (row < 0) {
            ShowMessage(this, "Please select the device you want to modify!", kMsgWarning);
            return;
        }
        ShowSettings(row);
    });
    connect(applyBtn_, &QPushButton::clicked, this, &UISearchDlg::ApplySettings);
    connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) {
        QTableWidgetItem* item = list_->item(row, 0);
        SetRowChecked(row, item && item->checkState() != Qt::Checked);
    });
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (settingBtn_->isVisible()) ShowSettings(row);
    });
    connect(selectOption_, &QCheckBox::toggled, this, [this](bool on) {
        for (int row = 0; row < list_->rowCount(); ++row) SetRowChecked(row, on);
    });
    connect(okBtn_, &QPushButton::clicked, this, &UISearchDlg::AcceptChecked);
    connect(exitBtn_, &QPushButton::clicked, this, &QDialog::reject);
    connect(closeBtn_, &QPushButton::clicked, this, &QDialog::reject);
    StartSearch();
}

UISearchDlg::~UISearchDlg() {
    LastTarget() = target_->text();
    // DiscoveryRun's destructor destroys the handle (a search under way returns at once, no
    // callback follows) and waits for its threads; posted records are freed with their messages.
}

bool UISearchDlg::SettingsShown() const { return !settingsPanel_->isHidden(); }

int UISearchDlg::progressValue() const { return progressBar_->value(); }

bool UISearchDlg::ControlsEnabled() const { return searchBtn_->isEnabled(); }

int UISearchDlg::SelectedRow() const {
    int row = list_->currentRow();
    return row >= 0 && row < found_.size() && !list_->selectedItems().isEmpty() ? row : -1;
}

void UISearchDlg::SetControlsEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{closeBtn_, exitBtn_, okBtn_, searchBtn_, settingBtn_, combo_, selectOption_})
        w->setEnabled(on);
}

void UISearchDlg::StartSearch() {
    if (run_.Searching()) return;
    std::vector<SearchTarget> targets;
    QString typed = target_->text().trimmed();
    if (!typed.isEmpty()) {
        SearchTarget t;
        if (!ParseSearchTarget(typed.toStdString(), &t.address, &t.port)) {
            ShowMessage(this, "Invalid unicast address!", kMsgError);
            return;
        }
        targets.push_back(t);
    }
    LastTarget() = typed;
    found_.Clear();
    checkedIds_.clear();
    RebuildRows();
    progress_.Reset();
    progressBar_->setValue(0);
    if (timerId_) killTimer(timerId_), timerId_ = 0;
    protocol_ = SearchProtocolOf(mode_, entries_, combo_->currentIndex());
    settingBtn_->setVisible(SettingsOfferedFor(protocol_));
    if (run_.Start(protocol_, targets, true) != DiscoveryRun::kStarted) return;  // idle, controls on
    SetControlsEnabled(false);
    timerId_ = startTimer(SearchProgress::kTickMs);
}

void UISearchDlg::timerEvent(QTimerEvent* e) {
    if (e->timerId() != timerId_) return QDialog::timerEvent(e);
    bool handBack = progress_.Tick();
    progressBar_->setValue(progress_.value());
    if (handBack) {
        // The library's search may go on; what it still finds is listed as it comes.
        SetControlsEnabled(true);
        killTimer(timerId_);
        timerId_ = 0;
    }
}

void UISearchDlg::OnFound(const QVX_FOUND_DEVICE& record) {
    // The library's thread: the record travels to the window in a message of its own.
    auto copy = std::make_unique<QVX_FOUND_DEVICE>();
    std::memcpy(copy.get(), &record, sizeof record);
    QCoreApplication::postEvent(this, new FoundDeviceMessage(std::move(copy)));
}

bool UISearchDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == kMsgFoundDevice) {
            if (found_.Insert(*reinterpret_cast<const QVX_FOUND_DEVICE*>(m->wParam()))) RebuildRows();
            return true;
        }
    }
    return QDialog::event(e);
}

void UISearchDlg::RebuildRows() {
    const auto& records = found_.records();
    list_->setRowCount(int(records.size()));
    for (int row = 0; row < int(records.size()); ++row) {
        const QVX_FOUND_DEVICE& r = records[size_t(row)];
        auto* check = new QTableWidgetItem();
        check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        check->setCheckState(checkedIds_.count(FoundText(r.deviceId)) ? Qt::Checked : Qt::Unchecked);
        list_->setItem(row, 0, check);
        list_->setItem(row, 1, Cell(QString::asprintf("%d", row + 1)));
        list_->setItem(row, 2, Cell(QString::fromStdString(FoundText(r.address))));
        list_->setItem(row, 3, Cell(QString::asprintf("%d", int(r.port))));
        list_->setItem(row, 4, Cell(QString::fromStdString(FoundText(r.firmware))));
        list_->setItem(row, 5, Cell(QString::fromStdString(FoundText(r.mac))));
        list_->setItem(row, 6, Cell(QString::asprintf("%d", int(r.channels))));
    }
}

void UISearchDlg::SetRowChecked(int row, bool on) {
    if (row < 0 || row >= found_.size()) return;
    std::string id = FoundText(found_.records()[size_t(row)].deviceId);
    if (on) checkedIds_.insert(id);
    else checkedIds_.erase(id);
    if (QTableWidgetItem* item = list_->item(row, 0)) item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void UISearchDlg::ShowSettings(int row) {
    if (row < 0 || row >= found_.size()) return;
    std::memcpy(&editing_, &found_.records()[size_t(row)], sizeof editing_);
    content_->hide();
    progressPanel_->hide();
    settingsPanel_->show();
    settingBtn_->setText(Tr("Back"));
    hostEdit_->setText(QString::fromStdString(FoundText(editing_.address)));
    portEdit_->setText(QString::asprintf("%d", int(editing_.port)));
    macEdit_->setText(QString::fromStdString(FoundText(editing_.mac)));
    gatewayEdit_->setText(QString::fromStdString(FoundText(editing_.gateway)));
    maskEdit_->setText(QString::fromStdString(FoundText(editing_.mask)));
    dns1Edit_->setText(QString::fromStdString(FoundText(editing_.dns1)));
    dns2Edit_->setText(QString::fromStdString(FoundText(editing_.dns2)));
    idEdit_->setText(QString::fromStdString(FoundText(editing_.deviceId)));
}

void UISearchDlg::LeaveSettings() {
    settingsPanel_->hide();
    content_->show();
    progressPanel_->show();
    settingBtn_->setText(Tr("Setup"));
    StartSearch();
}

bool UISearchDlg::AskCredentials(std::string* user, std::string* password) {
    if (askHook_) return askHook_(user, password);
    QDialog form(this);
    Ui::UIPermissionDlg ui;
    ui.setupUi(&form);
    form.setWindowTitle(Tr("Permissions check"));
    ui.userLabel->setText(Tr("Username"));
    ui.passLabel->setText(Tr("Password"));
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    ui.userEdit->setText(QString::fromStdString(*user));
    ui.passEdit->setText(QString::fromStdString(*password));
    connect(ui.okBtn, &QPushButton::clicked, &form, &QDialog::accept);
    connect(ui.exitBtn, &QPushButton::clicked, &form, &QDialog::reject);
    if (form.exec() != QDialog::Accepted) return false;
    *user = ui.userEdit->text().toStdString();
    *password = ui.passEdit->text().toStdString();
    return true;
}

void UISearchDlg::ApplySettings() {
    if (!SettingsShown() || applying_) return;
    // The device proves the change with its own credentials: the form starts with what the
    // device list knows of it, else the usual defaults.
    std::string user = "admin", password = "kestr";
    if (lookup_) lookup_(FoundText(editing_.address), int(editing_.port), &user, &password);
    if (!AskCredentials(&user, &password)) return;
    QVX_FOUND_DEVICE sent;
    std::memcpy(&sent, &editing_, sizeof sent);
    NetworkEdits edits{hostEdit_->text().trimmed().toStdString(), portEdit_->text().toStdString(),
                       maskEdit_->text().trimmed().toStdString(),  gatewayEdit_->text().trimmed().toStdString(),
                       dns1Edit_->text().trimmed().toStdString(),  dns2Edit_->text().trimmed().toStdString()};
    if (const char* refusal = ApplyNetworkEdits(edits, &sent)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    if (sent.port != editing_.port &&
        !ShowMessage(this, "Port is changed, you need to restart the device to validate!", kMsgAdvice))
        return;
    bool started = run_.ApplyAsync(sent, user, password, [this, sent](int result) {
        // The window waits for this thread before it goes.
        QMetaObject::invokeMethod(this, [this, result, sent] { OnApplied(result, sent); }, Qt::QueuedConnection);
    });
    if (!started) {
        Trace("network settings of %s: no discovery handle to send them with\n", FoundText(editing_.address).c_str());
        return;
    }
    applying_ = true;
    applyBtn_->setEnabled(false);
}

void UISearchDlg::OnApplied(int result, const QVX_FOUND_DEVICE& sent) {
    applying_ = false;
    applyBtn_->setEnabled(true);
    if (result == 0) {
        std::string oldHost = FoundText(editing_.address), newHost = FoundText(sent.address);
        int oldPort = int(editing_.port), newPort = int(sent.port);
        std::memcpy(&editing_, &sent, sizeof editing_);
        if (networkChanged_ && (oldHost != newHost || oldPort != newPort)) networkChanged_(oldHost, oldPort, newHost, newPort);
        ShowMessage(this, "Successfully modified!", kMsgComplete);
    } else if (result == QVX_SCH_REFUSED) {
        ShowMessage(this, "Modification fails!", kMsgError);
    } else {
        Trace("network settings of %s: no answer (%d)\n", FoundText(sent.address).c_str(), result);
    }
}

void UISearchDlg::AcceptChecked() {
    chosen_.clear();
    for (const QVX_FOUND_DEVICE& r : found_.records())
        if (checkedIds_.count(FoundText(r.deviceId))) chosen_.push_back(r);
    accept();
}

}  // namespace ocv
