#pragma once
// One list of the alarm window as a Qt model over its bounded rows (newest first): "Date time",
// "Device", "Content", "Note", "Description"; abnormal readings in red.
#include <QAbstractTableModel>
#include <QString>
#include <map>

#include "monitor/alarm_rows.h"

namespace ocv {

class ChannelDirectory;

class AlarmRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTime, kDevice, kContent, kNote, kDescription, kColumnCount };

    AlarmRowModel(const ChannelDirectory& directory, size_t capacity, QObject* parent = nullptr);

    void Add(const AlarmEvent& event);
    void Clear();
    const AlarmRowList& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString DeviceText(int channelId) const;

    const ChannelDirectory& directory_;
    AlarmRowList rows_;
    // Texts translated once (the language table is read from its file on every look-up).
    std::map<int, QString> names_;
    QString unknownName_;
    QString headers_[kColumnCount];
    QString descriptions_[5];
};

}  // namespace ocv
