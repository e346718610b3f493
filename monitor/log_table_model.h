#pragma once
// The log window's results as a Qt model: no widget per row, rows drawn from the compact
// results only while they are on screen, so a year of logs scrolls like a day.
#include <QAbstractTableModel>
#include <QString>

#include "events/log_record.h"
#include "monitor/log_results.h"

namespace ocv {

class LogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kNumber, kTime, kType, kUser, kDevice, kContent, kNote, kColumnCount };

    explicit LogTableModel(QObject* parent = nullptr);

    const LogResults& results() const { return results_; }
    void Clear();
    // Appends a batch of the current search; false when the batch was refused.
    bool Append(LogRowBatch&& batch);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    LogResults results_;
    // Translated once: the language table is read from its file on every look-up.
    QString typeNames_[kLogTypeCount];
    QString subtypes_[kLogSubtypeCount];
    QString headers_[kColumnCount];
};

// "%d-%02d-%02d %02d:%02d:%02d" of a record time in local time, as the list shows it.
QString LogTimeText(uint32_t time);

}  // namespace ocv
