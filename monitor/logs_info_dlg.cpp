#include "monitor/logs_info_dlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>

#include "base/clock.h"
#include "device/channel_directory.h"
#include "events/log_search.h"
#include "events/log_writer.h"
#include "monitor/log_export_job.h"
#include "monitor/log_search_job.h"
#include "monitor/log_table_model.h"
#include "monitor/log_window_rules.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"
#include "ui_UILogsInfoDlg.h"

namespace ocv {
namespace {

constexpr int kMsgLogBatches = kWmUser + 506;      // batches wait in the box
constexpr int kMsgLogExportProgress = kWmUser + 507;  // wParam lines written, lParam lines in all
constexpr int kMsgLogExportEnded = kWmUser + 508;

QString RecordsText(size_t count) { return Tr("Records") + QString(": %1").arg(count); }

}  // namespace

UILogsInfoDlg::UILogsInfoDlg(ConfigStore& store, LogWriter& log, const ChannelDirectory& directory, QWidget* parent,
                             Options options)
    : QWidget(parent), store_(store), log_(log), directory_(directory) {
    Ui::UILogsInfoDlg ui;
    ui.setupUi(this);
    logType_ = ui.logTypeCombo;
    subtype_ = ui.subtypeCombo;
    user_ = ui.userCombo;
    device_ = ui.deviceCombo;
    start_ = ui.startTimeEdit;
    end_ = ui.endTimeEdit;
    searchBtn_ = ui.searchBtn;
    backupBtn_ = ui.backupBtn;
    msgLabel_ = ui.msgLabel;
    list_ = ui.logList;

    ui.typeLabel->setText(Tr("Log type"));
    ui.subtypeLabel->setText(Tr("Content"));
    ui.userLabel->setText(Tr("User"));
    ui.deviceLabel->setText(Tr("Device"));
    ui.startLabel->setText(Tr("Start time"));
    ui.endLabel->setText(Tr("End time"));
    backupBtn_->setText(Tr("Backup"));
    for (int t = 0; t < kLogTypeCount; ++t) logType_->addItem(Tr(LogTypeName(t)), t);
    FillSubtypes();
    FillUsersAndDevices();
    TimeRange range = DefaultLogRange(clockSnapshot().time, Relaxed(store_.settings().LOGMONTH));
    start_->setDateTime(QDateTime::fromSecsSinceEpoch(range.start));
    end_->setDateTime(QDateTime::fromSecsSinceEpoch(range.end));

    model_ = new LogTableModel(this);
    list_->setModel(model_);
    // Fixed row heights: the view never measures rows, so millions of them cost nothing.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(22);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const int widths[] = {70, 150, 80, 100, 180, 200};
    for (int c = 0; c < 6; ++c) list_->horizontalHeader()->resizeSection(c, widths[c]);

    connect(logType_, &QComboBox::currentIndexChanged, this, [this] {
        FillSubtypes();
        user_->setEnabled(logType_->currentData().toInt() == kLogOperate);
    });
    user_->setEnabled(false);
    connect(searchBtn_, &QPushButton::clicked, this, [this] { OnSearchButton(); });
    connect(backupBtn_, &QPushButton::clicked, this, [this] { Backup(); });
    UpdateButtons();
    if (options.searchAtOpen) Search();
}

UILogsInfoDlg::~UILogsInfoDlg() {
    export_.reset();  // cancels and waits: it reads the model's results
    search_.reset();
}

void UILogsInfoDlg::FillSubtypes() {
    subtype_->clear();
    for (const SubtypeChoice& c : SubtypeChoices(logType_->currentData().toInt())) subtype_->addItem(Tr(c.text), c.entry);
}

void UILogsInfoDlg::FillUsersAndDevices() {
    user_->clear();
    user_->addItem(Tr("All"));
    for (int s = 0; s < kMaxUsers; ++s) {
        const UserInfo& u = store_.user(s);
        if (u.userName[0] == '\0') continue;
        QByteArray name(u.userName, static_cast<qsizetype>(strnlen(u.userName, sizeof u.userName)));
        user_->addItem(QString::fromLocal8Bit(name), name);
    }
    device_->clear();
    device_->addItem(Tr("All"), -1);
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo* device = directory_.Device(d);
        if (device == nullptr) continue;
        QString label = QString("%1 (%2:%3)").arg(QString::fromLocal8Bit(device->name), QString::fromLocal8Bit(device->host))
                            .arg(device->port);
        device_->addItem(label, d);
    }
}

LogQuery UILogsInfoDlg::CurrentQuery() const {
    LogQuery q;
    q.logType = logType_->currentData().toInt();
    q.subtypeEntry = subtype_->currentData().toInt();
    q.startTime = start_->dateTime().toSecsSinceEpoch();
    q.endTime = end_->dateTime().toSecsSinceEpoch();
    if (user_->currentIndex() > 0) {
        q.anyUser = false;
        q.user = user_->currentData().toByteArray().toStdString();
    }
    int slot = device_->currentData().toInt();
    if (const DeviceInfo* device = slot >= 0 ? directory_.Device(slot) : nullptr) {
        q.anyDevice = false;
        q.deviceHost = device->host;
        q.devicePort = device->port;
    }
    return q;
}

void UILogsInfoDlg::OnSearchButton() {
    if (Searching()) StopSearch();
    else Search();
}

bool UILogsInfoDlg::Search() {
    if (Exporting()) return false;  // the export reads the list
    LogQuery q = CurrentQuery();
    if (q.startTime >= q.endTime) {
        ShowMessage(this, "Start time End time can not be greater than or equal", kMsgWarning);
        return false;
    }
    search_.reset();
    box_.TakeAll();
    model_->Clear();
    const uint64_t number = ++searchNumber_;
    search_ = std::make_unique<LogSearchJob>(log_.Directory(), q, number, [this](LogRowBatch&& batch) {
        if (box_.Put(std::move(batch))) PostWindowMessage(this, kMsgLogBatches, 0, 0);
    });
    msgLabel_->setText(Tr("Searching"));
    search_->Start();
    UpdateButtons();
    return true;
}

void UILogsInfoDlg::StopSearch() {
    if (!search_) return;
    search_.reset();  // stops and waits; its last batch is in the box
    TakeBatches();
}

void UILogsInfoDlg::TakeBatches() {
    for (LogRowBatch& batch : box_.TakeAll()) {
        if (batch.search != searchNumber_) continue;  // of a search replaced meanwhile
        const bool last = batch.last, truncated = batch.truncated;
        const size_t read = batch.filesRead, count = batch.fileCount;
        model_->Append(std::move(batch));
        const size_t rows = model_->results().size();
        if (last) {
            search_.reset();
            msgLabel_->setText(truncated ? RecordsText(rows) + "  " + Tr("More records match: narrow the search")
                                         : RecordsText(rows));
        } else {
            msgLabel_->setText(Tr("Searching") + QString(" %1/%2  ").arg(read).arg(count) + RecordsText(rows));
        }
    }
    UpdateButtons();
}

void UILogsInfoDlg::Backup() {
    if (Searching() || Exporting()) return;
    if (model_->results().size() == 0) {
        ShowMessage(this, "No log to be backup", kMsgWarning);
        return;
    }
    ClockSnapshot now = clockSnapshot();
    QString name = QString::asprintf("%d%02d%02d%02d%02d%02d.log", now.year, now.month, now.day, now.hour, now.minute,
                                     now.second);
    QString path = QFileDialog::getSaveFileName(this, Tr("Backup"), name, "log Files(*.log)");
    if (path.isEmpty()) return;
    if (!path.endsWith(".log", Qt::CaseInsensitive)) path += ".log";
    ExportTo(path);
}

bool UILogsInfoDlg::ExportTo(const QString& path) {
    if (Searching() || Exporting()) return false;
    if (model_->results().size() == 0) {
        ShowMessage(this, "No log to be backup", kMsgWarning);
        return false;
    }
    LogExportTexts texts = MakeLogExportTexts([](const char* english) { return Tr(english).toStdString(); });
    export_ = std::make_unique<LogExportJob>(
        model_->results(), path.toStdString(), std::move(texts), [this](size_t written, size_t total, bool ended) {
            PostWindowMessage(this, ended ? kMsgLogExportEnded : kMsgLogExportProgress, static_cast<intptr_t>(written),
                              static_cast<intptr_t>(total));
        });
    progress_ = new QProgressDialog(Tr("Backup"), Tr("Cancel"), 0, 1000, this);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(300);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_, &QProgressDialog::canceled, this, [this] { CancelExport(); });
    export_->Start();
    UpdateButtons();
    return true;
}

void UILogsInfoDlg::CancelExport() {
    if (export_) export_->Cancel();
}

void UILogsInfoDlg::OnExportProgress(size_t written, size_t total, bool ended) {
    if (!export_) return;
    if (progress_ && total > 0) progress_->setValue(static_cast<int>(written * 1000 / total));
    if (!ended) return;
    export_.reset();  // ended: this only joins
    if (progress_) {
        progress_->deleteLater();
        progress_ = nullptr;
    }
    UpdateButtons();
}

bool UILogsInfoDlg::event(QEvent* e) {
    if (e->type() != WindowMessage::EventType()) return QWidget::event(e);
    auto* m = static_cast<WindowMessage*>(e);
    switch (m->message()) {
        case kMsgLogBatches: TakeBatches(); break;
        case kMsgLogExportProgress:
            OnExportProgress(static_cast<size_t>(m->wParam()), static_cast<size_t>(m->lParam()), false);
            break;
        case kMsgLogExportEnded: {
            if (!export_) break;
            const int result = export_->result();
            const bool cancelled = export_->cancelled();
            const size_t written = export_->written();
            OnExportProgress(static_cast<size_t>(m->wParam()), static_cast<size_t>(m->lParam()), true);
            if (result != 0) {
                ShowMessage(this, "Backup log failed", kMsgError);
            } else if (cancelled) {
                msgLabel_->setText(Tr("Backup cancelled") + QString(": %1").arg(written));
            } else {
                log_.LogWrite(kLogOperate, kLogBackupLog, -1, -1, "", CurrentSession().user().userName);
                ShowMessage(this, "Export successful", kMsgComplete);
            }
            break;
        }
        default: break;
    }
    return true;
}

void UILogsInfoDlg::UpdateButtons() {
    searchBtn_->setText(Searching() ? Tr("Stop") : Tr("Search"));
    searchBtn_->setEnabled(!Exporting());
    backupBtn_->setEnabled(!Searching() && !Exporting());
}

}  // namespace ocv
