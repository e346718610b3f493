#pragma once
// The alarm picture window: the pictures the alarm picture worker took of abnormal readings,
// the newest shown, the earlier ones (up to 16) a click away.
#include <QWidget>
#include <deque>

#include "monitor/alarm_picture_worker.h"

class QLabel;
class QPushButton;

namespace ocv {

class ChannelDirectory;

class UIAlarmPictureWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr size_t kKept = 16;

    UIAlarmPictureWnd(const ChannelDirectory& directory, QWidget* parent);

    // Adds pictures (oldest first) and shows the newest.
    void AddPictures(std::vector<AlarmPicture> pictures);
    // Shows the kept picture of a reading; false when none was taken of it.
    bool ShowReading(int channelId, uint32_t time);
    size_t count() const { return pictures_.size(); }
    int current() const { return current_; }
    const AlarmPicture* CurrentPicture() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowIndex(int index);
    void Redraw();

    const ChannelDirectory& directory_;
    std::deque<AlarmPicture> pictures_;  // oldest first
    int current_ = -1;
    QLabel* caption_;
    QLabel* picture_;
    QLabel* path_;
    QLabel* counter_;
    QPushButton* last_;
    QPushButton* next_;
    QPixmap shown_;
    bool placed_ = false;
};

}  // namespace ocv
