#include "monitor/log_table_model.h"

#include <time.h>

#include <cstdio>

#include "widgets/skin_image.h"

namespace ocv {

QString LogTimeText(uint32_t time) {
    time_t t = static_cast<time_t>(time);
    struct tm local {};
    localtime_r(&t, &local);
    char text[64];
    snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text);
}

LogTableModel::LogTableModel(QObject* parent) : QAbstractTableModel(parent) {
    for (int t = 0; t < kLogTypeCount; ++t) typeNames_[t] = Tr(LogTypeName(t));
    for (int s = 0; s < kLogSubtypeCount; ++s) subtypes_[s] = Tr(LogSubtypeText(s));
    const char* headers[kColumnCount] = {"No.", "Date time", "Type", "User", "Device", "Content", "Note"};
    for (int c = 0; c < kColumnCount; ++c) headers_[c] = Tr(headers[c]);
}

void LogTableModel::Clear() {
    beginResetModel();
    results_.Clear();
    endResetModel();
}

bool LogTableModel::Append(LogRowBatch&& batch) {
    if (!results_.Accepts(batch)) return false;
    if (batch.rows.empty()) return results_.Append(std::move(batch));
    const int first = static_cast<int>(results_.size());
    const int last = first + static_cast<int>(batch.rows.size()) - 1;
    beginInsertRows(QModelIndex(), first, last);
    results_.Append(std::move(batch));
    endInsertRows();
    return true;
}

int LogTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

int LogTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant LogTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
        static_cast<size_t>(index.row()) >= results_.size())
        return {};
    const LogRow& r = results_.row(static_cast<size_t>(index.row()));
    switch (index.column()) {
        case kNumber: return index.row() + 1;
        case kTime: return LogTimeText(r.time);
        case kType: return r.logType < kLogTypeCount ? typeNames_[r.logType] : QString();
        case kUser: return QString::fromLocal8Bit(results_.Text(r.user));
        case kDevice: return QString::fromLocal8Bit(results_.Text(r.device));
        case kContent: return r.subtype < kLogSubtypeCount ? subtypes_[r.subtype] : QString::number(r.subtype);
        case kNote: return QString::fromLocal8Bit(results_.Text(r.note));
        default: return {};
    }
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return headers_[section];
}

}  // namespace ocv
