#pragma once
// The weekly time editor: a grid of 7 days by 48 half hours that the operator drags over (the
// pressed cell turns over and the dragged rectangle follows it), inside the window that edits a
// channel's recording plan or arming times.
#include <QDialog>
#include <QWidget>
#include <optional>

#include "setup/week_schedule.h"

namespace ocv {

class WeekScheduleView : public QWidget {
    Q_OBJECT
public:
    explicit WeekScheduleView(QWidget* parent = nullptr);
    const WeekSchedule& schedule() const { return schedule_; }
    void SetSchedule(const WeekSchedule& schedule);
    // The cell under a point of the widget, clamped into the grid; false left of or above it.
    bool CellAt(const QPoint& point, int* day, int* halfHour) const;
    // The top-left corner of a cell (tests press there).
    QPoint CellOrigin(int day, int halfHour) const;

    QSize sizeHint() const override { return {kLabelWidth + 48 * 14 + 1, kHeaderHeight + 7 * 22 + 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr int kLabelWidth = 48;
    static constexpr int kHeaderHeight = 18;
    double CellWidth() const;
    double CellHeight() const;
    const WeekSchedule& Shown() const { return drag_ ? drag_->current() : schedule_; }

    WeekSchedule schedule_;
    std::optional<ScheduleDrag> drag_;
};

// The window around the editor: a title ("Plan REC time configuration", "Arming time
// configuration"), all / none, OK and Cancel.
class UITimeDlg : public QDialog {
    Q_OBJECT
public:
    UITimeDlg(const QString& title, const WeekSchedule& schedule, QWidget* parent);
    const WeekSchedule& schedule() const { return view_->schedule(); }
    WeekScheduleView* view() const { return view_; }

private:
    WeekScheduleView* view_;
};

}  // namespace ocv
