#include "monitor/alarm_picture_wnd.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "device/channel_directory.h"
#include "liveview/channel_text.h"
#include "monitor/alarm_rows.h"
#include "widgets/skin_image.h"
#include "ui_UIAlarmPictureWnd.h"

namespace ocv {

UIAlarmPictureWnd::UIAlarmPictureWnd(const ChannelDirectory& directory, QWidget* parent)
    : QWidget(parent, Qt::Tool), directory_(directory) {
    Ui::UIAlarmPictureWnd ui;
    ui.setupUi(this);
    setWindowTitle(Tr("Abnormal Temperature"));
    caption_ = ui.captionLabel;
    picture_ = ui.pictureLabel;
    path_ = ui.pathLabel;
    counter_ = ui.countLabel;
    last_ = ui.lastBtn;
    next_ = ui.nextBtn;
    last_->setText(Tr("Previous"));
    next_->setText(Tr("Next"));
    ui.closeBtn->setText(Tr("Close"));
    connect(last_, &QPushButton::clicked, this, [this] { ShowIndex(current_ - 1); });
    connect(next_, &QPushButton::clicked, this, [this] { ShowIndex(current_ + 1); });
    connect(ui.closeBtn, &QPushButton::clicked, this, &QWidget::hide);
}

void UIAlarmPictureWnd::AddPictures(std::vector<AlarmPicture> pictures) {
    if (pictures.empty()) return;
    for (AlarmPicture& p : pictures) pictures_.push_back(std::move(p));
    while (pictures_.size() > kKept) pictures_.pop_front();
    ShowIndex(static_cast<int>(pictures_.size()) - 1);
    if (!placed_) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        placed_ = true;
    }
    show();
    raise();
}

bool UIAlarmPictureWnd::ShowReading(int channelId, uint32_t time) {
    for (int i = static_cast<int>(pictures_.size()) - 1; i >= 0; --i) {
        const AlarmPicture& p = pictures_[static_cast<size_t>(i)];
        if (p.channelId == channelId && p.time == time) {
            ShowIndex(i);
            show();
            raise();
            return true;
        }
    }
    return false;
}

const AlarmPicture* UIAlarmPictureWnd::CurrentPicture() const {
    return current_ >= 0 && static_cast<size_t>(current_) < pictures_.size() ? &pictures_[static_cast<size_t>(current_)]
                                                                             : nullptr;
}

void UIAlarmPictureWnd::ShowIndex(int index) {
    if (index < 0 || static_cast<size_t>(index) >= pictures_.size()) return;
    current_ = index;
    const AlarmPicture& p = pictures_[static_cast<size_t>(index)];
    const DeviceInfo* device = directory_.Device(DeviceIndexOf(p.channelId));
    QString where = device ? QString::fromStdString(CellChannelLabel(*device, ChannelIndexOf(p.channelId)))
                           : QString::number(p.channelId);
    caption_->setText(QString::fromStdString(AlarmTimeText(p.time)) + "  " + where + "  " +
                      QString::fromStdString(p.text));
    path_->setText(QString::fromStdString(p.savedPath));
    shown_.loadFromData(reinterpret_cast<const uchar*>(p.picture.data()), static_cast<uint>(p.picture.size()));
    counter_->setText(QString("%1 / %2").arg(index + 1).arg(pictures_.size()));
    last_->setEnabled(index > 0);
    next_->setEnabled(static_cast<size_t>(index) + 1 < pictures_.size());
    Redraw();
}

void UIAlarmPictureWnd::Redraw() {
    if (shown_.isNull()) {
        picture_->clear();
        return;
    }
    picture_->setPixmap(shown_.scaled(picture_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void UIAlarmPictureWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Redraw();
}

}  // namespace ocv
