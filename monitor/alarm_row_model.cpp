#include "monitor/alarm_row_model.h"

#include <QBrush>
#include <QColor>
#include <cstring>

#include "device/channel_directory.h"
#include "liveview/channel_text.h"
#include "widgets/skin_image.h"

namespace ocv {
namespace {
enum Description { kDescAbnormal, kDescReal, kDescMotion, kDescInput, kDescOther };
}

AlarmRowModel::AlarmRowModel(const ChannelDirectory& directory, size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), directory_(directory), rows_(capacity) {
    for (int code : {kEventMotionStart, kEventMotionStop, kEventInputStart, kEventInputStop, kEventAudioStart,
                     kEventAudioStop, kEventTemperatureNormal, kEventTemperatureAbnormal})
        names_[code] = Tr(AlarmEventName(code));
    unknownName_ = Tr(AlarmEventName(-1));
    const char* headers[kColumnCount] = {"Date time", "Device", "Content", "Note", "Description"};
    for (int c = 0; c < kColumnCount; ++c) headers_[c] = Tr(headers[c]);
    descriptions_[kDescAbnormal] = Tr("Abnormal Temperature");
    descriptions_[kDescReal] = Tr("Real Temperature");
    descriptions_[kDescMotion] = Tr("Motion Detection");
    descriptions_[kDescInput] = Tr("Input alarm");
    descriptions_[kDescOther] = Tr("Other alarms");
}

void AlarmRowModel::Add(const AlarmEvent& event) {
    if (rows_.Full()) {
        int last = static_cast<int>(rows_.size()) - 1;
        beginRemoveRows(QModelIndex(), last, last);
        rows_.DropOldest();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    rows_.Add(event);
    endInsertRows();
}

void AlarmRowModel::Clear() {
    beginResetModel();
    rows_.Clear();
    endResetModel();
}

int AlarmRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int AlarmRowModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QString AlarmRowModel::DeviceText(int channelId) const {
    if (!IsChannelId(channelId)) return QString();
    const DeviceInfo* device = directory_.Device(DeviceIndexOf(channelId));
    if (device == nullptr) return QString::number(channelId);
    return QString::fromStdString(CellChannelLabel(*device, ChannelIndexOf(channelId)));
}

QVariant AlarmRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= rows_.size()) return {};
    const AlarmEvent& e = rows_.at(static_cast<size_t>(index.row()));
    if (role == Qt::ForegroundRole) {
        if (IsAbnormalReading(e.code)) return QBrush(QColor::fromRgba(kAbnormalRowArgb));
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kTime: return QString::fromStdString(AlarmTimeText(e.time));
        case kDevice: return DeviceText(e.channelId);
        case kContent: {
            auto found = names_.find(e.code);
            return found == names_.end() ? unknownName_ : found->second;
        }
        case kNote: return QString::fromLocal8Bit(e.text, static_cast<qsizetype>(strnlen(e.text, sizeof e.text)));
        case kDescription:
            switch (e.code) {
                case kEventTemperatureAbnormal: return descriptions_[kDescAbnormal];
                case kEventTemperatureNormal: return descriptions_[kDescReal];
                case kEventMotionStart:
                case kEventMotionStop: return descriptions_[kDescMotion];
                case kEventInputStart:
                case kEventInputStop: return descriptions_[kDescInput];
                default: return descriptions_[kDescOther];
            }
        default: return {};
    }
}

QVariant AlarmRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return headers_[section];
}

}  // namespace ocv
