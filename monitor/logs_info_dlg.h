#pragma once
// The log window: searches the alarm, system and operation logs by log type, subtype group,
// user, device and time range on a thread of its own, lists the results in a virtual list
// (a Qt model: a year of logs scrolls without a widget per row) and exports them to text with
// progress and a cancel, writing the operation log's "Backup log" after an export. It opens on
// the alarm log of the days the retention keeps.
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "monitor/log_results.h"
#include "widgets/page.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QProgressDialog;
class QPushButton;
class QTableView;

namespace ocv {

class ChannelDirectory;
class ConfigStore;
class LogExportJob;
class LogSearchJob;
class LogTableModel;
class LogWriter;
struct LogQuery;

class UILogsInfoDlg : public QWidget, public Page {
    Q_OBJECT
public:
    struct Options {
        bool searchAtOpen = true;
    };
    UILogsInfoDlg(ConfigStore& store, LogWriter& log, const ChannelDirectory& directory, QWidget* parent,
                  Options options);
    ~UILogsInfoDlg() override;

    QWidget* Widget() override { return this; }

    // The search button: starts a search of the chosen fields (a running one is stopped first),
    // or stops the running one.
    void OnSearchButton();
    bool Search();
    void StopSearch();
    bool Searching() const { return search_ != nullptr; }
    // The backup button: the file is asked for, then ExportTo.
    void Backup();
    // Exports the results to path (appended); false when it did not start.
    bool ExportTo(const QString& path);
    bool Exporting() const { return export_ != nullptr; }
    void CancelExport();

    LogTableModel& model() { return *model_; }
    QTableView* list() const { return list_; }
    // The query the fields describe now.
    LogQuery CurrentQuery() const;

protected:
    bool event(QEvent* e) override;

private:
    void FillSubtypes();
    void FillUsersAndDevices();
    void TakeBatches();
    void OnExportProgress(size_t written, size_t total, bool ended);
    void UpdateButtons();

    ConfigStore& store_;
    LogWriter& log_;
    const ChannelDirectory& directory_;
    LogTableModel* model_;
    LogBatchBox box_;
    std::unique_ptr<LogSearchJob> search_;
    uint64_t searchNumber_ = 0;
    std::unique_ptr<LogExportJob> export_;
    QProgressDialog* progress_ = nullptr;
    QComboBox* logType_;
    QComboBox* subtype_;
    QComboBox* user_;
    QComboBox* device_;
    QDateTimeEdit* start_;
    QDateTimeEdit* end_;
    QPushButton* searchBtn_;
    QPushButton* backupBtn_;
    QLabel* msgLabel_;
    QTableView* list_;
};

}  // namespace ocv
